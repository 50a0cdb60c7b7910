#include "text/json_reader.h"

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <string>
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

constexpr int kUnquoted = -1;
constexpr int kQuoted = 4;
constexpr int kOpenedArray = 5;
constexpr int kOpenedObject = 6;

class Reader {
public:
    Reader(JsonNode* root, std::wstring_view text, bool unicodeEscapes)
        : root_(root), text_(text), unicodeEscapes_(unicodeEscapes), stack_(8, GetProcessHeap()), arena_(Arena::create())
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
    wchar_t unitAt(size_t position) const { return position < text_.size() ? text_[position] : 0; }
    std::wstring_view slice(long long start, size_t length) const;
    JsonNode* top() const { return stack_.at(stack_.count() - 1); }
    void pop() { stack_.removeAt(stack_.count() - 1); }
    bool push(JsonNode* node) { return stack_.append(node) >= 0; }

    std::wstring_view decodedKey();
    bool adoptUnderKey(JsonNode* container, JsonNode* node);
    std::wstring_view decoded(std::wstring_view text, bool hasEscape, std::wstring& buffer) const;
    bool openContainer(JsonKind kind);
    bool quote(wchar_t c, size_t position);
    bool colon(size_t position);
    bool comma(size_t position);
    bool closeArray(size_t position);
    bool closeObject(size_t position);
    void closeContainer();
    bool storePending(bool asElement, size_t position);
    JsonNode* makeUnquoted(std::wstring_view text);

    JsonNode* root_;
    std::wstring_view text_;
    bool unicodeEscapes_;
    ElementList<JsonNode> stack_;  // open containers; the innermost is the last item
    Arena* arena_;                 // every node of this parse is carved from it

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
    static constexpr size_t kCachedKeys = 64;
    CachedKey keyCache_[kCachedKeys];
};

std::wstring_view Reader::slice(long long start, size_t length) const
{
    if (start < 0 || static_cast<size_t>(start) > text_.size()) return {};
    return text_.substr(static_cast<size_t>(start), length);
}

std::wstring_view Reader::decoded(std::wstring_view text, bool hasEscape, std::wstring& buffer) const
{
    if (!hasEscape) return text;  // the common case: no copy at all
    buffer.assign(text);
    decodeEscapes(buffer, unicodeEscapes_);
    return buffer;
}

std::wstring_view Reader::decodedKey() { return decoded(slice(keyStart_, keyLength_), keyHasEscape_, key_); }

// Stores the node under the current key, sharing the key's copy with the other objects of this
// parse. The root is not the arena's: its table copies keys of its own.
bool Reader::adoptUnderKey(JsonNode* container, JsonNode* node)
{
    const std::wstring_view key = decodedKey();
    if (container == root_) return container->adoptMember(key, node);
    const size_t length = key.size();
    CachedKey& cached =
        keyCache_[length ? (length * 31 + static_cast<size_t>(key[0]) * 7 + static_cast<size_t>(key[length - 1])) % kCachedKeys : 0];
    MemberTable::PreparedKey prepared;
    if (cached.copy && cached.length == length && std::wmemcmp(cached.copy, key.data(), length) == 0) {
        prepared.text = key;
        prepared.ownHash = cached.ownHash;
        prepared.chainHash = cached.chainHash;
        prepared.arenaCopy = cached.copy;
        return container->adoptMember(prepared, node);
    }
    prepared = MemberTable::prepareKey(key);
    if (!container->adoptMember(prepared, node)) return false;
    // The node holds its key's copy in this arena now (made for it, or the replaced member's).
    cached.copy = node->key;
    cached.length = length;
    cached.ownHash = prepared.ownHash;
    cached.chainHash = prepared.chainHash;
    return true;
}

bool Reader::run()
{
    if (text_.empty()) return true;
    if (!stack_.isValid() || !arena_) return false;
    root_->clearValue();

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
                size_t next = position + 1;
                while (next < text_.size() && text_[next] != quote_ && text_[next] != L'\\') ++next;
                position = next - 1;
            }
            continue;
        }
        if (!structural(c)) {
            // Blanks and unquoted values: only the unit that ends them matters.
            size_t next = position + 1;
            while (next < text_.size() && !structural(text_[next])) ++next;
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

bool Reader::openContainer(JsonKind kind)
{
    if (stack_.count() >= kJsonMaxDepth) return false;  // nested too deep: refused before anything is built
    emptyRawHolder_ = nullptr;
    afterColon_ = false;
    const bool isArray = kind == JsonKind::Array;
    if (stack_.count() == 0) {
        if (!(isArray ? root_->becomeArray() : root_->becomeObject())) return false;
        pending_ = kUnquoted;
        return push(root_);
    }
    JsonNode* parent = top();
    JsonNode* node = JsonNode::create(kind, arena_);
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

bool Reader::quote(wchar_t c, size_t position)
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
    quotedKey_ = !(top()->kind() == JsonKind::Array || afterColon_);
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

bool Reader::colon(size_t position)
{
    if (stack_.count() == 0 || top()->kind() == JsonKind::Array) return false;
    afterColon_ = true;
    valueStart_ = static_cast<long long>(position) + 1;
    return true;
}

bool Reader::comma(size_t position)
{
    if (stack_.count() == 0) return false;
    if (valueStart_ == -1) {
        valueStart_ = static_cast<long long>(position) + 1;
        return true;
    }
    if (pending_ != kQuoted) pending_ = kUnquoted;
    if (!storePending(top()->kind() == JsonKind::Array, position)) return false;
    pending_ = kUnquoted;
    afterColon_ = false;
    valueStart_ = static_cast<long long>(position) + 1;
    return true;
}

bool Reader::closeArray(size_t position)
{
    if (valueStart_ == -1) {
        pop();
        return true;
    }
    if (pending_ != kQuoted) {
        bool blankOnly = true;
        for (wchar_t unit : slice(valueStart_, position - static_cast<size_t>(valueStart_)))
            if (unit > 32) blankOnly = false;
        if (blankOnly && unitAt(static_cast<size_t>(valueStart_ - 1)) != L'[') return false;  // as in [1,]
        pending_ = kUnquoted;
    }
    if (!storePending(true, position)) return false;
    closeContainer();
    return true;
}

bool Reader::closeObject(size_t position)
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
void Reader::closeContainer()
{
    pending_ = kUnquoted;
    afterColon_ = false;
    keyStart_ = -1;
    valueStart_ = -1;
    pop();
}

JsonNode* Reader::makeUnquoted(std::wstring_view text)
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

bool Reader::storePending(bool asElement, size_t position)
{
    if (pending_ != kQuoted) valueLength_ = position - static_cast<size_t>(valueStart_);
    const std::wstring_view value = slice(valueStart_, valueLength_);

    JsonNode* node = nullptr;
    if (pending_ == kQuoted) {
        node = JsonNode::createString(decoded(value, valueHasEscape_, scratch_), arena_);
    } else {
        auto isBlank = [](wchar_t unit) { return unit == L' ' || unit == L'\t' || unit == L'\r' || unit == L'\n'; };
        std::wstring_view compact = value;
        if (std::any_of(value.begin(), value.end(), isBlank)) {
            scratch_.clear();
            for (wchar_t unit : value)
                if (!isBlank(unit)) scratch_.push_back(unit);
            compact = scratch_;
        }
        if (asElement && compact.empty()) return true;  // [] and [1,,2]
        if (compact.empty() && keyStart_ != -1 && keyStart_ == emptyRawKey_ && stack_.count() != 0 &&
            top() == emptyRawHolder_)
            return true;  // the member holds this very value already: storing it again changes nothing
        node = makeUnquoted(compact);
    }
    if (!node) return false;

    emptyRawHolder_ = nullptr;
    if (stack_.count() != 0) {
        JsonNode* container = top();
        if (asElement) return container->adoptElement(node);
        if (keyStart_ != -1) {
            const bool emptyRaw = node->kind() == JsonKind::Raw && node->rawText().empty();
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
    Reader reader(root, text, unicodeEscapes);
    return reader.run();
}
