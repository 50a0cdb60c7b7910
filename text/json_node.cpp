#include "text/json_node.h"

#include <climits>
#include <cstring>
#include <new>
#include <unordered_set>
#include <utility>
#include <vector>
#include <windows.h>

#include "text/numbers.h"

namespace {

void* processHeap()
{
    static void* const heap = GetProcessHeap();
    return heap;
}

} // namespace

namespace {

void* allocateFrom(Arena* arena, size_t bytes)
{
    return arena ? arena->allocate(bytes) : HeapAlloc(processHeap(), HEAP_ZERO_MEMORY, bytes);
}

template <typename T, typename... Args>
T* makeIn(Arena* arena, Args&&... args)
{
    void* memory = allocateFrom(arena, sizeof(T));
    return memory ? new (memory) T(std::forward<Args>(args)...) : nullptr;
}

template <typename T>
void destroyIn(Arena* arena, T* object)
{
    if (!object) return;
    object->~T();
    if (arena) {
        arena->recycle(object, sizeof(T));
    } else {
        HeapFree(processHeap(), 0, object);
    }
}

} // namespace

JsonNode* JsonNode::create(JsonKind kind, Arena* arena)
{
    // Every field is set by the constructor: arena memory need not be cleared first.
    void* memory = arena ? arena->allocateRaw(sizeof(JsonNode)) : allocateFrom(nullptr, sizeof(JsonNode));
    if (!memory) return nullptr;
    if (arena) arena->addRef();
    auto* node = new (memory) JsonNode(arena);
    bool made = true;
    switch (kind) {
    case JsonKind::Array: made = node->becomeArray(); break;
    case JsonKind::Object: made = node->becomeObject(); break;
    default: node->kind_ = kind; break;
    }
    if (!made) {
        destroy(node);
        return nullptr;
    }
    return node;
}

// The arena references of the nodes a release frees, dropped together at its end: one
// interlocked operation instead of one per node.
struct JsonNode::ArenaReleases {
    Arena* arena = nullptr;
    long count = 0;
    void add(Arena* of)
    {
        if (of != arena) {
            flush();
            arena = of;
        }
        ++count;
    }
    void flush()
    {
        if (arena) arena->release(count);
        arena = nullptr;
        count = 0;
    }
};

JsonNode* JsonNode::createObject(Arena* arena, int expectedMembers)
{
    JsonNode* node = create(JsonKind::Null, arena);
    if (node && !node->becomeObject(expectedMembers)) {
        destroy(node);
        return nullptr;
    }
    return node;
}

void JsonNode::destroy(JsonNode* node, ArenaReleases* releases)
{
    Arena* arena = node->arena_;
#ifndef PICLADE_ARENA_POISONS
    if (arena && !arena->isRecycling()) {
        // Once its parse is over an arena takes nothing back before its end: of such a node only
        // a text on the heap and the links of its members into its table need undoing.
        if (node->text_ && node->textOnHeap_) HeapFree(processHeap(), 0, node->text_);
        if (node->kind_ == JsonKind::Object && node->number_.members) node->number_.members->detachEntries();
        if (releases) {
            releases->add(arena);
        } else {
            arena->release();
        }
        return;
    }
#endif
    node->~JsonNode();
    if (arena) {
        arena->recycle(node, sizeof(JsonNode));
        if (releases) {
            releases->add(arena);
        } else {
            arena->release();
        }
    } else {
        HeapFree(processHeap(), 0, node);
    }
}

JsonNode* JsonNode::createWithText(JsonKind kind, std::wstring_view text, Arena* arena)
{
    JsonNode* node = create(kind, arena);
    if (node && !node->assignText(text, true)) {
        destroy(node);
        return nullptr;
    }
    return node;
}

JsonNode* JsonNode::createString(std::wstring_view text, Arena* arena)
{
    return createWithText(JsonKind::String, text, arena);
}

JsonNode* JsonNode::createFloat(double value, std::wstring_view raw, Arena* arena)
{
    JsonNode* node = createWithText(JsonKind::Float, raw.empty() ? std::wstring_view(formatNumberW(value)) : raw, arena);
    if (node) node->number_.real = value;
    return node;
}

JsonNode* JsonNode::createInteger(int64_t value, std::wstring_view raw, Arena* arena)
{
    JsonNode* node = createWithText(JsonKind::Integer, raw.empty() ? std::wstring_view(formatNumberW(value)) : raw, arena);
    if (node) node->number_.integer = value;
    return node;
}

JsonNode* JsonNode::createBool(bool value, Arena* arena)
{
    JsonNode* node = create(JsonKind::Bool, arena);
    if (node) node->number_.flag = value ? 1 : 0;
    return node;
}

JsonNode* JsonNode::createRaw(std::wstring_view raw, Arena* arena) { return createWithText(JsonKind::Raw, raw, arena); }

JsonNode* JsonNode::createTaking(JsonKind kind, wchar_t* text, size_t length, Arena* arena)
{
    JsonNode* node = create(kind, arena);
    if (!node) {
        arena->recycle(text, (length + 1) * sizeof(wchar_t));
        return nullptr;
    }
    node->text_ = text;
    node->textLength_ = length;
    node->textOnHeap_ = 0;
    return node;
}

JsonNode* JsonNode::createFloatTaking(double value, wchar_t* text, size_t length, Arena* arena)
{
    JsonNode* node = createTaking(JsonKind::Float, text, length, arena);
    if (node) node->number_.real = value;
    return node;
}

JsonNode* JsonNode::createIntegerTaking(int64_t value, wchar_t* text, size_t length, Arena* arena)
{
    JsonNode* node = createTaking(JsonKind::Integer, text, length, arena);
    if (node) node->number_.integer = value;
    return node;
}

JsonNode* JsonNode::createRawTaking(wchar_t* text, size_t length, Arena* arena)
{
    return createTaking(JsonKind::Raw, text, length, arena);
}

JsonNode* JsonNode::createAsciiString(std::string_view ascii, Arena* arena)
{
    JsonNode* node = create(JsonKind::String, arena);
    if (!node || ascii.empty()) return node;
    // As assignText, widening on the way.
    const size_t bytes = (ascii.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(arena ? arena->allocateRaw(bytes) : allocateFrom(nullptr, bytes));
    if (!copy) {
        destroy(node);
        return nullptr;
    }
    for (size_t i = 0; i < ascii.size(); ++i) copy[i] = static_cast<wchar_t>(static_cast<unsigned char>(ascii[i]));
    copy[ascii.size()] = 0;
    node->text_ = copy;
    node->textLength_ = ascii.size();
    node->textOnHeap_ = arena == nullptr ? 1 : 0;
    return node;
}

JsonNode::~JsonNode()
{
    destroyContainers();
    freeText();
}

bool JsonNode::assignText(std::wstring_view text, bool inArena)
{
    if (isContainer()) return text.empty();  // a container holds no text
    freeText();
    if (text.empty()) return true;
    Arena* arena = inArena ? arena_ : nullptr;
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(arena ? arena->allocateRaw(bytes) : allocateFrom(nullptr, bytes));
    if (!copy) return false;
    std::memcpy(copy, text.data(), text.size() * sizeof(wchar_t));
    copy[text.size()] = 0;
    text_ = copy;
    textLength_ = text.size();
    textOnHeap_ = arena == nullptr ? 1 : 0;
    return true;
}

void JsonNode::freeText()
{
    if (text_ && textOnHeap_) {
        HeapFree(processHeap(), 0, text_);
    } else if (text_ && arena_) {
        arena_->recycle(text_, (textLength_ + 1) * sizeof(wchar_t));
    }
    text_ = nullptr;
    textLength_ = 0;
    textOnHeap_ = 0;
}

void JsonNode::destroyContainers()
{
    if (kind_ == JsonKind::Array) {
        freeElements();
    } else if (kind_ == JsonKind::Object) {
        destroyIn(arena_, number_.members);
        number_.members = nullptr;
    }
}

int JsonNode::capacityFor(int count)
{
    int capacity = 1;
    while (capacity < count) capacity = 2 * capacity + 1;
    return capacity;
}

bool JsonNode::growElements()
{
    // Full when the count is one of the capacities (0 included: no storage yet, or storage left
    // by removals, whose true capacity may be larger than the count says; growing anew is right
    // either way).
    const int count = elementCount_;
    if (number_.elements && (count & (count + 1)) != 0) return true;
    if (count > (INT_MAX - 1) / 2) return false;
    const int grown = 2 * count + 1;
    const size_t bytes = static_cast<size_t>(grown) * sizeof(JsonNode*);
    auto** bigger = static_cast<JsonNode**>(arena_ ? arena_->allocateRaw(bytes) : HeapAlloc(processHeap(), 0, bytes));
    if (!bigger) return false;
    if (count) std::memcpy(bigger, number_.elements, static_cast<size_t>(count) * sizeof(JsonNode*));
    freeElements();
    number_.elements = bigger;
    elementCount_ = count;
    return true;
}

void JsonNode::freeElements()
{
    if (number_.elements) {
        if (arena_) {
            arena_->recycle(number_.elements, static_cast<size_t>(capacityFor(elementCount_)) * sizeof(JsonNode*));
        } else {
            HeapFree(processHeap(), 0, number_.elements);
        }
    }
    number_.elements = nullptr;
    elementCount_ = 0;
}

void JsonNode::addRef()
{
    if (arena_ && arena_->isRecycling()) {
        refCount_ = refCount_ + 1;
    } else {
        InterlockedIncrement(&refCount_);
    }
}

bool JsonNode::dropReference()
{
    if (arena_ && arena_->isRecycling()) {
        refCount_ = refCount_ - 1;
        return refCount_ == 0;
    }
    return InterlockedDecrement(&refCount_) == 0;
}

void JsonNode::release(JsonNode* node)
{
    if (!node || !node->dropReference()) return;
    if (node->elementCount() == 0 && node->memberCount() == 0) {
        destroy(node);  // a scalar or an empty container: nothing below it to walk
        return;
    }
    std::vector<JsonNode*> dying{node};
    ArenaReleases releases;
    while (!dying.empty()) {
        JsonNode* current = dying.back();
        dying.pop_back();
        auto letGo = [&](JsonNode* child) {
            --child->owners_;
            if (child->parent_ == current) child->parent_ = nullptr;
            if (child->dropReference()) dying.push_back(child);
        };
        if (current->kind_ == JsonKind::Array) {
            for (int i = 0; i < current->elementCount_; ++i) letGo(current->number_.elements[i]);
        } else if (current->kind_ == JsonKind::Object && current->number_.members) {
            for (MemberEntry* entry : current->number_.members->order()) letGo(static_cast<JsonNode*>(entry));
        }
        // The member table frees its children's keys as it goes; the children it names are still
        // alive here, waiting in `dying`.
        destroy(current, &releases);
    }
    releases.flush();
}

std::wstring JsonNode::rawText() const
{
    switch (kind_) {
    case JsonKind::Null: return L"null";
    case JsonKind::Bool: return number_.flag ? L"true" : L"false";
    case JsonKind::Float:
    case JsonKind::Integer:
    case JsonKind::Raw: return std::wstring(text());
    default: return {};
    }
}

void JsonNode::dropValue()
{
    if (kind_ == JsonKind::Array) {
        // Taken off the node first: what a child's release does never sees a half-emptied array.
        JsonNode** elements = number_.elements;
        const int count = elementCount_;
        number_.elements = nullptr;
        elementCount_ = 0;
        for (int i = 0; i < count; ++i) letGoOf(elements[i]);
        if (elements) {
            if (arena_) {
                arena_->recycle(elements, static_cast<size_t>(capacityFor(count)) * sizeof(JsonNode*));
            } else {
                HeapFree(processHeap(), 0, elements);
            }
        }
    } else if (kind_ == JsonKind::Object && number_.members) {
        std::vector<MemberEntry*> members = number_.members->order().snapshot();
        destroyIn(arena_, number_.members);  // frees the keys
        number_.members = nullptr;
        for (MemberEntry* entry : members) letGoOf(static_cast<JsonNode*>(entry));
    }
    freeText();
    number_.integer = 0;
}

bool JsonNode::becomeNull()
{
    dropValue();
    kind_ = JsonKind::Null;
    return true;
}

bool JsonNode::becomeBool(bool value)
{
    dropValue();
    kind_ = JsonKind::Bool;
    number_.flag = value ? 1 : 0;
    return true;
}

bool JsonNode::becomeFloat(double value)
{
    dropValue();
    kind_ = JsonKind::Float;
    number_.real = value;
    return assignText(formatNumberW(value), false);
}

bool JsonNode::becomeInteger(int64_t value)
{
    dropValue();
    kind_ = JsonKind::Integer;
    number_.integer = value;
    return assignText(formatNumberW(value), false);
}

bool JsonNode::becomeString(std::wstring_view text)
{
    dropValue();
    kind_ = JsonKind::String;
    return assignText(text, false);
}

bool JsonNode::becomeArray()
{
    if (kind_ == JsonKind::Array) return true;
    dropValue();
    kind_ = JsonKind::Array;
    number_.elements = nullptr;  // storage comes with the first element
    elementCount_ = 0;
    return true;
}

bool JsonNode::becomeObject() { return becomeObject(0); }

bool JsonNode::becomeObjectIn(Arena* storage)
{
    if (arena_ || !storage) return becomeObject();  // an arena node keeps to its own arena
    if (kind_ == JsonKind::Object && number_.members && number_.members->count() != 0) return true;
    auto* table = makeIn<MemberTable>(nullptr, processHeap(), storage, MemberTable::HoldArena::Yes);
    if (!table || !table->isValid()) {
        destroyIn<MemberTable>(nullptr, table);
        return false;
    }
    dropValue();
    kind_ = JsonKind::Object;
    number_.members = table;
    return true;
}

bool JsonNode::becomeObject(int expectedMembers)
{
    if (kind_ == JsonKind::Object && number_.members) return true;
    auto* table = makeIn<MemberTable>(arena_, processHeap(), arena_, expectedMembers);
    if (!table || !table->isValid()) {
        destroyIn(arena_, table);
        return false;
    }
    dropValue();
    kind_ = JsonKind::Object;
    number_.members = table;
    return true;
}

void JsonNode::clearValue()
{
    const JsonKind kind = kind_;
    dropValue();
    kind_ = kind;
    if (kind == JsonKind::Array) becomeArray();
    if (kind == JsonKind::Object) becomeObject();
    // A container that could not be allocated again leaves the node empty of its kind's storage;
    // every container operation then answers as for an empty one.
}

void JsonNode::takeChild(JsonNode* child, bool adopt)
{
    if (!adopt) child->addRef();
    ++child->owners_;
    child->parent_ = this;
}

void JsonNode::letGoOf(JsonNode* child)
{
    --child->owners_;
    if (child->parent_ == this) child->parent_ = nullptr;
    release(child);
}

int JsonNode::elementCount() const { return kind_ == JsonKind::Array ? elementCount_ : 0; }

JsonNode* JsonNode::element(int index) const
{
    return kind_ == JsonKind::Array && index >= 0 && index < elementCount_ ? number_.elements[index] : nullptr;
}

bool JsonNode::appendElement(JsonNode* child) { return storeElement(child, false); }

bool JsonNode::adoptElement(JsonNode* child)
{
    if (storeElement(child, true)) return true;
    release(child);
    return false;
}

bool JsonNode::storeElement(JsonNode* child, bool adopt)
{
    if (!child || wouldContainItself(child)) return false;
    if ((kind_ != JsonKind::Array && !becomeArray()) || !growElements()) return false;
    number_.elements[elementCount_++] = child;
    takeChild(child, adopt);
    return true;
}

bool JsonNode::replaceElement(int index, JsonNode* child)
{
    if (!child || wouldContainItself(child)) return false;
    JsonNode* old = element(index);
    if (!old) return false;
    if (old == child) return true;
    takeChild(child, false);
    number_.elements[index] = child;
    letGoOf(old);
    return true;
}

bool JsonNode::removeElement(int index)
{
    JsonNode* old = element(index);
    if (!old) return false;
    std::memmove(number_.elements + index, number_.elements + index + 1,
                 static_cast<size_t>(elementCount_ - index - 1) * sizeof(JsonNode*));
    --elementCount_;
    letGoOf(old);
    return true;
}

int JsonNode::indexOfElement(const JsonNode* child) const
{
    for (int i = 0; i < elementCount(); ++i)
        if (number_.elements[i] == child) return i;
    return -1;
}

int JsonNode::memberCount() const { return kind_ == JsonKind::Object && number_.members ? number_.members->count() : 0; }

JsonNode* JsonNode::member(std::wstring_view key) const
{
    return kind_ == JsonKind::Object && number_.members ? static_cast<JsonNode*>(number_.members->find(key)) : nullptr;
}

JsonNode* JsonNode::memberAt(int position) const
{
    return kind_ == JsonKind::Object && number_.members ? static_cast<JsonNode*>(number_.members->order().at(position)) : nullptr;
}

bool JsonNode::setMember(std::wstring_view key, JsonNode* child)
{
    return storeMember(MemberTable::prepareKey(key), child, false);
}

bool JsonNode::adoptMember(std::wstring_view key, JsonNode* child)
{
    if (storeMember(MemberTable::prepareKey(key), child, true)) return true;
    release(child);
    return false;
}

bool JsonNode::adoptMember(const MemberTable::PreparedKey& key, JsonNode* child)
{
    if (storeMember(key, child, true)) return true;
    release(child);
    return false;
}

bool JsonNode::storeMember(const MemberTable::PreparedKey& key, JsonNode* child, bool adopt)
{
    if (!child || wouldContainItself(child)) return false;
    if ((kind_ != JsonKind::Object || !number_.members) && !becomeObject()) return false;
    if (child->key) {
        // A member's chain link and key live in the node itself, so a node can be a member of
        // one object only; storing it again would corrupt the first object's chains.
        if (number_.members->find(key.text) != child) return false;
        if (adopt) release(child);  // already held here: the caller's reference is not needed
        return true;
    }
    MemberEntry* replaced = nullptr;
    if (number_.members->insertOrReplace(key, child, &replaced) == MemberTable::InsertResult::Failed) return false;
    takeChild(child, adopt);
    if (auto* old = static_cast<JsonNode*>(replaced)) letGoOf(old);
    return true;
}

bool JsonNode::removeMember(std::wstring_view key)
{
    if (kind_ != JsonKind::Object || !number_.members) return false;
    auto* old = static_cast<JsonNode*>(number_.members->removeByKey(key));
    if (!old) return false;
    letGoOf(old);
    return true;
}

bool JsonNode::removeMemberNode(JsonNode* child)
{
    if (kind_ != JsonKind::Object || !number_.members || !number_.members->removeEntry(child)) return false;
    letGoOf(child);
    return true;
}

void JsonNode::sortMembers(bool descending)
{
    if (kind_ == JsonKind::Object && number_.members) number_.members->sortByKey(descending);
}

bool JsonNode::wouldContainItself(const JsonNode* child) const
{
    // An empty child cannot hold this node; only a filled one needs a look.
    if (child == this) return true;
    if (child->elementCount() == 0 && child->memberCount() == 0) return false;
    // The parent links name every ancestor as long as no node on the way up has an owner they do
    // not show; then the walk up is the whole answer.
    bool everyOwnerSeen = true;
    for (const JsonNode* at = this; at; at = at->parent_) {
        if (at == child) return true;
        if (at->owners_ > (at->parent_ ? 1 : 0)) everyOwnerSeen = false;
    }
    return !everyOwnerSeen && child->holdsInSubtree(this);
}

bool JsonNode::holdsInSubtree(const JsonNode* target) const
{
    std::vector<const JsonNode*> work{this};
    std::unordered_set<const JsonNode*> seen{this};
    while (!work.empty()) {
        const JsonNode* node = work.back();
        work.pop_back();
        const bool isArray = node->kind_ == JsonKind::Array;
        const int count = isArray ? node->elementCount() : node->memberCount();
        for (int i = 0; i < count; ++i) {
            const JsonNode* child = isArray ? node->element(i) : node->memberAt(i);
            if (child == target) return true;
            if ((child->elementCount() || child->memberCount()) && seen.insert(child).second) work.push_back(child);
        }
    }
    return false;
}
