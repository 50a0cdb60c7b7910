#include "text/json_reader.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <windows.h>

#include "text/arena.h"
#include "text/escapes.h"
#include "text/json_node.h"
#include "text/numbers.h"
#include "text/pointer_list.h"

namespace {

// The units the reader acts on outside strings; everything else is skipped in runs.
constexpr bool isStructural(wchar_t c)
{
    switch (c) {
    case L'\\': case L'{': case L'[': case L'"': case L'\'': case L':': case L',': case L']': case L'}': return true;
    default: return false;
    }
}

struct StructuralTable {
    bool units[128] = {};
    constexpr StructuralTable()
    {
        for (int c = 0; c < 128; ++c) units[c] = isStructural(static_cast<wchar_t>(c));
    }
};
constexpr StructuralTable kStructural;

inline bool structural(wchar_t c) { return static_cast<unsigned>(c) < 128 && kStructural.units[static_cast<unsigned>(c)]; }


// A unit of either kind of text as the UTF-16 unit it stands for (8-bit text reaches the reader
// only when it is ASCII, where the two agree).
inline wchar_t widenUnit(wchar_t unit) { return unit; }
inline wchar_t widenUnit(char unit) { return static_cast<wchar_t>(static_cast<unsigned char>(unit)); }

// Keys are short: a plain loop beats a call into the C library.
template <typename Unit>
inline bool sameUnits(const wchar_t* a, const Unit* b, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (a[i] != widenUnit(b[i])) return false;
    return true;
}

template <typename Unit>
inline size_t findEitherPlain(const Unit* text, size_t from, size_t size, wchar_t a, wchar_t b)
{
    while (from < size && widenUnit(text[from]) != a && widenUnit(text[from]) != b) ++from;
    return from;
}

// The first position at or after `from` holding `a` or `b`, or `size`: eight bytes, or four UTF-16
// units where wchar_t is one, at a time (a lane equal to the wanted unit XORs to zero, which the
// borrow finds).
template <typename Unit>
inline size_t findEither(const Unit* text, size_t from, size_t size, wchar_t a, wchar_t b)
{
    if constexpr (sizeof(Unit) <= 2) {
        constexpr uint64_t kOnes = sizeof(Unit) == 1 ? 0x0101010101010101ULL : 0x0001000100010001ULL;
        constexpr uint64_t kHighs = kOnes << (sizeof(Unit) * 8 - 1);
        constexpr size_t kLanes = 8 / sizeof(Unit);
        const uint64_t wantA = kOnes * static_cast<uint64_t>(static_cast<uint16_t>(a));
        const uint64_t wantB = kOnes * static_cast<uint64_t>(static_cast<uint16_t>(b));
        for (; from + kLanes <= size; from += kLanes) {
            uint64_t block;
            std::memcpy(&block, text + from, sizeof block);
            const uint64_t x = block ^ wantA;
            const uint64_t y = block ^ wantB;
            const uint64_t found = ((x - kOnes) & ~x & kHighs) | ((y - kOnes) & ~y & kHighs);
            // The lowest lane flagged is a true match (a borrow only flags lanes above one); in
            // memory order where the system is little-endian, as every Windows system is.
            if (found) return std::endian::native == std::endian::little
                                  ? from + static_cast<size_t>(std::countr_zero(found)) / (8 * sizeof(Unit))
                                  : findEitherPlain(text, from, size, a, b);
        }
    }
    return findEitherPlain(text, from, size, a, b);
}

constexpr int kUnquoted = -1;
constexpr int kQuoted = 4;
constexpr int kOpenedArray = 5;
constexpr int kOpenedObject = 6;

// Reads UTF-16 text, or ASCII text as the UTF-16 it widens to (no copy of the whole text).
template <typename Unit>
class Reader {
public:
    using View = std::basic_string_view<Unit>;
    Reader(JsonNode* root, View text, bool unicodeEscapes)
        : root_(root), text_(text), unicodeEscapes_(unicodeEscapes), stack_(8, GetProcessHeap()), arena_(Arena::create()),
          valuesLeft_(kJsonFreeValues + text.size() / kJsonBytesPerValue)
    {
        // Until the parse ends only this reader reaches the arena's nodes: what a replaced value
        // gives back can be handed out again.
        if (arena_) arena_->setRecycling(true);
    }
    ~Reader()
    {
        if (!arena_) return;
        arena_->setRecycling(false);
        arena_->release();  // the nodes built keep it alive as long as they live
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    bool run();

private:
    wchar_t unitAt(size_t position) const { return position < text_.size() ? widenUnit(text_[position]) : 0; }
    View slice(long long start, size_t length) const;
    JsonNode* top() const { return top_; }
    void pop()
    {
        stack_.removeAt(stack_.count() - 1);
        top_ = stack_.at(stack_.count() - 1);  // null once the stack is empty
        topIsArray_ = top_ && top_->kind() == JsonKind::Array;
    }
    // Counts a value about to be built; false once the text has used up its allowance.
    bool takeValue()
    {
        if (valuesLeft_ == 0) return false;
        --valuesLeft_;
        return true;
    }
    bool push(JsonNode* node)
    {
        if (stack_.append(node) < 0) return false;
        top_ = node;
        topIsArray_ = node->kind() == JsonKind::Array;
        return true;
    }

    std::wstring_view decodedKey();
    bool adoptUnderKey(JsonNode* container, JsonNode* node);
    // The root as an object whose members' storage is this parse's arena, when it is no arena's
    // node: then its keys are shared like any object's of the parse.
    bool becomeObjectRoot()
    {
        if (!root_->becomeObjectIn(arena_)) return false;
        rootInArena_ = !root_->inArena();
        return true;
    }
    std::wstring_view decoded(View text, bool hasEscape, std::wstring& buffer) const;
    bool openContainer(JsonKind kind);
    bool quote(wchar_t c, size_t position);
    bool colon(size_t position);
    bool comma(size_t position);
    bool closeArray(size_t position);
    bool closeObject(size_t position);
    void closeContainer();
    bool storePending(bool asElement, size_t position);
    JsonNode* makeUnquoted(std::wstring_view text);
    JsonNode* makeUnquotedAscii(std::string_view text);

    JsonNode* root_;
    View text_;
    bool unicodeEscapes_;
    ElementList<JsonNode> stack_;  // open containers; the innermost is the last item
    JsonNode* top_ = nullptr;      // that innermost one, null when none is open
    bool rootInArena_ = false;     // the root's members are stored in this parse's arena
    bool topIsArray_ = false;      // and whether it is an array (a container keeps its kind while open)
    Arena* arena_;                 // every node of this parse is carved from it
    size_t valuesLeft_;            // values the text may still add to the tree

    wchar_t quote_ = 0;
    bool keyHasEscape_ = false;    // a backslash inside the last key: it needs decoding
    bool valueHasEscape_ = false;  // likewise for the last quoted value
    bool quotedKey_ = false;  // the open string is a key, not a value
    long long keyStart_ = -1;
    size_t keyLength_ = 0;
    long long valueStart_ = -1;
    size_t valueLength_ = 0;
    bool afterColon_ = false;
    int pending_ = kUnquoted;
    std::wstring scratch_;
    std::wstring key_;
    // The container and key that the last store put an empty raw value under, when nothing was
    // stored or opened since. A run of commas stores that same value there again and again.
    const JsonNode* emptyRawHolder_ = nullptr;
    long long emptyRawKey_ = -1;

    // Keys met lately, with their hashes and their one copy in the arena, which the objects of
    // this parse share: an answer repeats the same few keys in every object of a list. Picked by
    // length and end units; a key that misses is hashed and copied as usual.
    struct CachedKey {
        const wchar_t* copy = nullptr;
        size_t length = 0;
        uint32_t ownHash = 0;
        uint32_t chainHash = 0;
    };
    static constexpr int kCachedKeyBits = 8;
    static constexpr size_t kCachedKeys = size_t{1} << kCachedKeyBits;
    CachedKey keyCache_[kCachedKeys];
};

template <typename Unit>
typename Reader<Unit>::View Reader<Unit>::slice(long long start, size_t length) const
{
    if (start < 0 || static_cast<size_t>(start) > text_.size()) return {};
    return text_.substr(static_cast<size_t>(start), length);
}

template <typename Unit>
std::wstring_view Reader<Unit>::decoded(View text, bool hasEscape, std::wstring& buffer) const
{
    if constexpr (std::is_same_v<Unit, wchar_t>) {
        if (!hasEscape) return text;  // the common case: no copy at all
        buffer.assign(text);
    } else {
        buffer.resize(text.size());
        for (size_t i = 0; i < text.size(); ++i) buffer[i] = widenUnit(text[i]);
        if (!hasEscape) return buffer;
    }
    decodeEscapes(buffer, unicodeEscapes_);
    return buffer;
}

template <typename Unit>
std::wstring_view Reader<Unit>::decodedKey() { return decoded(slice(keyStart_, keyLength_), keyHasEscape_, key_); }

// Stores the node under the current key, sharing the key's copy with the other objects of this
// parse (the root's too, when its members are stored in this parse's arena).
template <typename Unit>
bool Reader<Unit>::adoptUnderKey(JsonNode* container, JsonNode* node)
{
    if (container == root_ && !rootInArena_) return container->adoptMember(decodedKey(), node);
    // A key without escapes is looked up as it stands in the text (8-bit text is not widened for
    // that); an escaped one once decoded.
    const View raw = slice(keyStart_, keyLength_);
    std::wstring_view decodedText;
    if (keyHasEscape_) decodedText = decodedKey();
    const size_t length = keyHasEscape_ ? decodedText.size() : raw.size();
    auto unitOf = [&](size_t i) { return keyHasEscape_ ? decodedText[i] : widenUnit(raw[i]); };
    uint32_t mix = static_cast<uint32_t>(length);
    if (length) mix = ((mix * 31 + unitOf(0)) * 31 + unitOf(length / 2)) * 31 + unitOf(length - 1);
    CachedKey& cached = keyCache_[(mix * 0x9E3779B1u) >> (32 - kCachedKeyBits)];
    MemberTable::PreparedKey prepared;
    if (cached.copy && cached.length == length &&
        (keyHasEscape_ ? sameUnits(cached.copy, decodedText.data(), length) : sameUnits(cached.copy, raw.data(), length))) {
        prepared.text = std::wstring_view(cached.copy, length);  // the same units
        prepared.ownHash = cached.ownHash;
        prepared.chainHash = cached.chainHash;
        prepared.arenaCopy = cached.copy;
        return container->adoptMember(prepared, node);
    }
    prepared = MemberTable::prepareKey(keyHasEscape_ ? decodedText : decodedKey());
    if (!container->adoptMember(prepared, node)) return false;
    // The node holds its key's copy in this arena now (made for it, or the replaced member's);
    // keys in the arena go only with it.
    cached.copy = node->key;
    cached.length = length;
    cached.ownHash = prepared.ownHash;
    cached.chainHash = prepared.chainHash;
    return true;
}

template <typename Unit>
bool Reader<Unit>::run()
{
    if (text_.empty()) return true;
    if (!stack_.isValid() || !arena_) return false;
    root_->clearValue();
    if (root_->kind() == JsonKind::Object && !becomeObjectRoot()) return false;

    bool ok = true;
    for (size_t position = 0; ok && position <= text_.size(); ++position) {
        const wchar_t c = unitAt(position);
        if (c == L'\\') {
            if (quote_) (quotedKey_ ? keyHasEscape_ : valueHasEscape_) = true;
            const wchar_t next = unitAt(position + 1);
            if (next == L'"' || next == L'\'' || next == L'\\') ++position;  // the loop adds the second
            continue;
        }
        if (quote_) {
            if (c == quote_) {
                ok = quote(c, position);
            } else {
                // Inside a string only its quote and backslashes matter: skip the rest quickly.
                position = findEither(text_.data(), position + 1, text_.size(), quote_, L'\\') - 1;
            }
            continue;
        }
        if (!structural(c)) {
            // Blanks and unquoted values: only the unit that ends them matters.
            size_t next = position + 1;
            while (next < text_.size() && !structural(widenUnit(text_[next]))) ++next;
            position = next - 1;
            continue;
        }
        switch (c) {
        case L'{': ok = openContainer(JsonKind::Object); break;
        case L'[':
            valueStart_ = static_cast<long long>(position) + 1;
            ok = openContainer(JsonKind::Array);
            break;
        case L'"':
        case L'\'': ok = quote(c, position); break;
        case L':': ok = colon(position); break;
        case L',': ok = comma(position); break;
        case L']': ok = closeArray(position); break;
        case L'}': ok = closeObject(position); break;
        default: break;
        }
    }
    if (!ok || stack_.count() != 0) {
        root_->clearValue();
        return false;
    }
    return true;
}

template <typename Unit>
bool Reader<Unit>::openContainer(JsonKind kind)
{
    if (stack_.count() >= kJsonMaxDepth) return false;  // nested too deep: refused before anything is built
    emptyRawHolder_ = nullptr;
    afterColon_ = false;
    const bool isArray = kind == JsonKind::Array;
    if (stack_.count() == 0) {
        if (!(isArray ? root_->becomeArray() : becomeObjectRoot())) return false;
        pending_ = kUnquoted;
        return push(root_);
    }
    if (!takeValue()) return false;
    JsonNode* parent = top();
    JsonNode* node = nullptr;
    if (!isArray && topIsArray_ && parent->elementCount() > 0) {
        // An object in a list: most likely it has the members of the one before it. Up to a few
        // dozen, so that a guess costs little when wrong.
        const JsonNode* previous = parent->element(parent->elementCount() - 1);
        node = JsonNode::createObject(arena_, std::min(previous->memberCount(), 64));
    } else {
        node = JsonNode::create(kind, arena_);
    }
    if (!node) return false;
    bool stored = false;
    if (parent->kind() == JsonKind::Array) {
        stored = parent->adoptElement(node);
    } else if (keyStart_ != -1) {
        stored = adoptUnderKey(parent, node);
    } else {
        JsonNode::release(node);
    }
    // The parent holds the node now, or it is gone.
    if (!stored || !push(node)) return false;
    if (isArray) {
        pending_ = kOpenedArray;  // the key stays, the value starts after the bracket
    } else {
        keyStart_ = -1;
        valueStart_ = -1;
        pending_ = kOpenedObject;
    }
    return true;
}

template <typename Unit>
bool Reader<Unit>::quote(wchar_t c, size_t position)
{
    const long long after = static_cast<long long>(position) + 1;
    if (quote_) {  // closing
        if (quotedKey_) {
            keyLength_ = position - static_cast<size_t>(keyStart_);
        } else {
            valueLength_ = position - static_cast<size_t>(valueStart_);
        }
        quote_ = 0;
        return true;
    }
    if (stack_.count() == 0) return false;
    quote_ = c;
    quotedKey_ = !(topIsArray_ || afterColon_);
    if (quotedKey_) {
        keyStart_ = after;
        keyHasEscape_ = false;
    } else {
        pending_ = kQuoted;
        valueStart_ = after;
        valueHasEscape_ = false;
    }
    return true;
}

template <typename Unit>
bool Reader<Unit>::colon(size_t position)
{
    if (!top_ || topIsArray_) return false;
    afterColon_ = true;
    valueStart_ = static_cast<long long>(position) + 1;
    return true;
}

template <typename Unit>
bool Reader<Unit>::comma(size_t position)
{
    if (stack_.count() == 0) return false;
    if (valueStart_ == -1) {
        valueStart_ = static_cast<long long>(position) + 1;
        return true;
    }
    if (pending_ != kQuoted && !topIsArray_ && static_cast<size_t>(valueStart_) == position && keyStart_ != -1 &&
        keyStart_ == emptyRawKey_ && top_ == emptyRawHolder_) {
        // A comma straight after the one that stored an empty value under this key: storing it
        // again would change nothing (a run of commas costs no more than its length).
        pending_ = kUnquoted;
        afterColon_ = false;
        valueStart_ = static_cast<long long>(position) + 1;
        return true;
    }
    if (pending_ != kQuoted) pending_ = kUnquoted;
    if (!storePending(topIsArray_, position)) return false;
    pending_ = kUnquoted;
    afterColon_ = false;
    valueStart_ = static_cast<long long>(position) + 1;
    return true;
}

template <typename Unit>
bool Reader<Unit>::closeArray(size_t position)
{
    if (valueStart_ == -1) {
        pop();
        return true;
    }
    if (pending_ != kQuoted) {
        bool blankOnly = true;
        for (const Unit unit : slice(valueStart_, position - static_cast<size_t>(valueStart_)))
            if (widenUnit(unit) > 32) blankOnly = false;
        if (blankOnly && unitAt(static_cast<size_t>(valueStart_ - 1)) != L'[') return false;  // as in [1,]
        pending_ = kUnquoted;
    }
    if (!storePending(true, position)) return false;
    closeContainer();
    return true;
}

template <typename Unit>
bool Reader<Unit>::closeObject(size_t position)
{
    if (valueStart_ == -1) {
        pop();
        return true;
    }
    if (pending_ != kQuoted) pending_ = kUnquoted;
    if (!storePending(false, position)) return false;
    closeContainer();
    return true;
}

// After the last value of a container: nothing is pending any more, and the container ends.
template <typename Unit>
void Reader<Unit>::closeContainer()
{
    pending_ = kUnquoted;
    afterColon_ = false;
    keyStart_ = -1;
    valueStart_ = -1;
    pop();
}

template <typename Unit>
JsonNode* Reader<Unit>::makeUnquoted(std::wstring_view text)
{
    if (text == L"null") return JsonNode::create(JsonKind::Null, arena_);
    if (text == L"true") return JsonNode::createBool(true, arena_);
    if (text == L"false") return JsonNode::createBool(false, arena_);
    switch (classifyNumber(text)) {
    case NumberKind::Decimal: return JsonNode::createFloat(readDecimal(text), text, arena_);
    case NumberKind::Integer: return JsonNode::createInteger(readInteger(text), text, arena_);
    default: return JsonNode::createRaw(text, arena_);
    }
}

// An unquoted value of ASCII text without blanks, as makeUnquoted reads its UTF-16: a number's
// or a Raw value's text is widened once, straight into the arena, and the node keeps that copy.
template <typename Unit>
JsonNode* Reader<Unit>::makeUnquotedAscii(std::string_view text)
{
    if (text == "null") return JsonNode::create(JsonKind::Null, arena_);
    if (text == "true") return JsonNode::createBool(true, arena_);
    if (text == "false") return JsonNode::createBool(false, arena_);
    if (text.empty()) return JsonNode::createRaw({}, arena_);
    auto* units = static_cast<wchar_t*>(arena_->allocateRaw((text.size() + 1) * sizeof(wchar_t)));
    if (!units) return nullptr;
    for (size_t i = 0; i < text.size(); ++i) units[i] = widenUnit(text[i]);
    units[text.size()] = 0;
    const std::wstring_view wide(units, text.size());
    switch (classifyNumber(wide)) {
    case NumberKind::Decimal: return JsonNode::createFloatTaking(readDecimal(wide), units, text.size(), arena_);
    case NumberKind::Integer: return JsonNode::createIntegerTaking(readInteger(wide), units, text.size(), arena_);
    default: return JsonNode::createRawTaking(units, text.size(), arena_);
    }
}

template <typename Unit>
bool Reader<Unit>::storePending(bool asElement, size_t position)
{
    if (pending_ != kQuoted) valueLength_ = position - static_cast<size_t>(valueStart_);
    const View value = slice(valueStart_, valueLength_);

    JsonNode* node = nullptr;
    bool emptyValue = false;  // an unquoted value of nothing but blanks: an empty Raw node
    if (pending_ == kQuoted) {
        if (!takeValue()) return false;
        if constexpr (std::is_same_v<Unit, char>) {
            if (!valueHasEscape_) node = JsonNode::createAsciiString(value, arena_);  // widened once, into the node
        }
        if (!node) node = JsonNode::createString(decoded(value, valueHasEscape_, scratch_), arena_);
    } else {
        auto isBlank = [](Unit unit) { return unit == ' ' || unit == '\t' || unit == '\r' || unit == '\n'; };
        const bool blanks = std::any_of(value.begin(), value.end(), isBlank);
        std::wstring_view compact;  // the value without its blanks, as UTF-16
        size_t compactSize = value.size();
        if (blanks) {
            scratch_.clear();
            for (const Unit unit : value)
                if (!isBlank(unit)) scratch_.push_back(widenUnit(unit));
            compact = scratch_;
            compactSize = scratch_.size();
        } else if constexpr (std::is_same_v<Unit, wchar_t>) {
            compact = value;
        }
        if (asElement && compactSize == 0) return true;  // [] and [1,,2]
        if (compactSize == 0 && keyStart_ != -1 && keyStart_ == emptyRawKey_ && stack_.count() != 0 &&
            top() == emptyRawHolder_)
            return true;  // the member holds this very value already: storing it again changes nothing
        if (!takeValue()) return false;
        emptyValue = compactSize == 0;
        if constexpr (std::is_same_v<Unit, char>) {
            node = blanks ? makeUnquoted(compact) : makeUnquotedAscii(value);  // ASCII: widened once, into the node
        } else {
            node = makeUnquoted(compact);
        }
    }
    if (!node) return false;

    emptyRawHolder_ = nullptr;
    if (stack_.count() != 0) {
        JsonNode* container = top();
        if (asElement) return container->adoptElement(node);
        if (keyStart_ != -1) {
            const bool emptyRaw = node->kind() == JsonKind::Raw && emptyValue;
            if (!adoptUnderKey(container, node)) return false;
            if (emptyRaw) {
                emptyRawHolder_ = container;
                emptyRawKey_ = keyStart_;
            }
            return true;
        }
    }
    JsonNode::release(node);
    return false;
}

} // namespace

bool parseJsonInto(JsonNode* root, std::wstring_view text, bool unicodeEscapes)
{
    if (!root) return false;
    Reader<wchar_t> reader(root, text, unicodeEscapes);
    return reader.run();
}

bool parseAsciiJsonInto(JsonNode* root, std::string_view text, bool unicodeEscapes)
{
    if (!root) return false;
    Reader<char> reader(root, text, unicodeEscapes);
    return reader.run();
}
