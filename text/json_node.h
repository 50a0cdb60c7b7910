// One value of a JSON tree. Nodes are reference counted with interlocked operations; a container
// holds one counted reference to each child, and each child points back to the container it was
// inserted into last without counting.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/arena.h"
#include "text/member_table.h"

enum class JsonKind : int { Raw = -1, Null = 0, Float = 1, Integer = 2, Bool = 3, String = 4, Array = 5, Object = 6 };

class JsonNode : public MemberEntry {
public:
    // A new node with one reference, owned by the caller. Null on allocation failure. With an
    // arena the node, its text and its containers are carved from it (the reader's way); the
    // node keeps the arena alive until it is freed.
    static JsonNode* create(JsonKind kind = JsonKind::Object, Arena* arena = nullptr);
    // An empty object with room for the members expected (the reader's guess from the object
    // before it in the same array).
    static JsonNode* createObject(Arena* arena, int expectedMembers);
    static JsonNode* createString(std::wstring_view text, Arena* arena = nullptr);
    static JsonNode* createFloat(double value, std::wstring_view raw = {}, Arena* arena = nullptr);
    static JsonNode* createInteger(int64_t value, std::wstring_view raw = {}, Arena* arena = nullptr);
    static JsonNode* createBool(bool value, Arena* arena = nullptr);
    static JsonNode* createRaw(std::wstring_view raw, Arena* arena = nullptr);
    // A String node of ASCII text (every byte below 0x80), each byte the UTF-16 unit of its value.
    static JsonNode* createAsciiString(std::string_view ascii, Arena* arena = nullptr);
    // Number and Raw nodes that take over their text as written: `length` units and a terminating
    // zero, carved from the arena by allocateRaw (the reader's way: no second copy). The text goes
    // back to the arena when the node cannot be made.
    static JsonNode* createFloatTaking(double value, wchar_t* text, size_t length, Arena* arena);
    static JsonNode* createIntegerTaking(int64_t value, wchar_t* text, size_t length, Arena* arena);
    static JsonNode* createRawTaking(wchar_t* text, size_t length, Arena* arena);

    void addRef();
    // Drops one reference; the last one frees the node and releases its children (without
    // recursion, so a tree of any depth is freed on any stack).
    static void release(JsonNode* node);

    JsonKind kind() const { return kind_; }
    JsonNode* parent() const { return parent_; }
    void setParent(JsonNode* parent) { parent_ = parent; }

    // Scalar values (0 for a container).
    double floatValue() const { return isContainer() ? 0 : number_.real; }
    int64_t integerValue() const { return isContainer() ? 0 : number_.integer; }
    bool boolValue() const { return !isContainer() && number_.flag != 0; }
    std::wstring_view stringValue() const { return text(); }
    // The value as written: "null", "true"/"false", a number's text, a Raw text; empty otherwise.
    std::wstring rawText() const;

    // Drops the old value and raw text and turns the node into the given kind, keeping its
    // place in its parent. False when a container cannot be allocated.
    bool becomeNull();
    bool becomeBool(bool value);
    bool becomeFloat(double value);
    bool becomeInteger(int64_t value);
    bool becomeString(std::wstring_view text);
    bool becomeArray();
    bool becomeObject();
    bool becomeObject(int expectedMembers);
    // For the reader's root, a node of no arena: an empty object whose members' storage (keys,
    // buckets, order) comes from the parse's arena, which the table then keeps alive.
    bool becomeObjectIn(Arena* storage);
    bool inArena() const { return arena_ != nullptr; }
    // Empties the value but keeps the kind.
    void clearValue();

    // Arrays. Children passed in are referenced by the array (the caller keeps its own reference).
    int elementCount() const;
    JsonNode* element(int index) const;
    bool appendElement(JsonNode* child);
    // Like appendElement and setMember, but the container takes over the caller's reference,
    // which is dropped when the child cannot be stored (the reader's way: no count goes up and
    // down again for every value).
    bool adoptElement(JsonNode* child);
    bool replaceElement(int index, JsonNode* child);
    bool removeElement(int index);
    int indexOfElement(const JsonNode* child) const;

    // Objects.
    int memberCount() const;
    JsonNode* member(std::wstring_view key) const;
    // Stores the child under the key, replacing (and releasing) an existing member in place.
    bool setMember(std::wstring_view key, JsonNode* child);
    bool adoptMember(std::wstring_view key, JsonNode* child);
    // The same with the key's hashes worked out beforehand (and perhaps a copy of it to share).
    bool adoptMember(const MemberTable::PreparedKey& key, JsonNode* child);
    bool removeMember(std::wstring_view key);
    bool removeMemberNode(JsonNode* child);
    JsonNode* memberAt(int position) const;  // in member order
    void sortMembers(bool descending);

    // True when storing the child here would make a node contain itself: the child is this node
    // or one of its ancestors through any owner, not only the last one the parent link names.
    bool wouldContainItself(const JsonNode* child) const;

    JsonNode(const JsonNode&) = delete;
    JsonNode& operator=(const JsonNode&) = delete;

private:
    explicit JsonNode(Arena* arena) : arena_(arena) {}
    ~JsonNode();
    struct ArenaReleases;
    static void destroy(JsonNode* node, ArenaReleases* releases = nullptr);
    bool dropReference();  // true when it was the last
    static JsonNode* createWithText(JsonKind kind, std::wstring_view text, Arena* arena);
    static JsonNode* createTaking(JsonKind kind, wchar_t* text, size_t length, Arena* arena);
    void dropValue();
    bool storeElement(JsonNode* child, bool adopt);
    bool storeMember(const MemberTable::PreparedKey& key, JsonNode* child, bool adopt);
    void takeChild(JsonNode* child, bool adopt);
    // The container drops its reference to a child it held.
    void letGoOf(JsonNode* child);
    bool holdsInSubtree(const JsonNode* target) const;
    std::wstring_view text() const { return std::wstring_view(text_ ? text_ : L"", textLength_); }
    // Texts given at creation may live in the arena; later changes go to the process heap, so a
    // tree that is changed again and again never grows its arena.
    bool assignText(std::wstring_view text, bool inArena);
    void freeText();
    void destroyContainers();

    bool isContainer() const { return kind_ == JsonKind::Array || kind_ == JsonKind::Object; }
    // An array's elements: `elementCount_` of them in storage of capacityFor(count) entries (the
    // capacities run 1, 3, 7, 15...: full whenever the count is one of them).
    static int capacityFor(int count);
    bool growElements();
    void freeElements();

    // Laid out tight (88 bytes on 64-bit systems, 64 on 32-bit): a tree holds one node per value.
    volatile long refCount_ = 1;
    int owners_ = 0;  // containers holding the node; more than the parent link shows when shared
    JsonKind kind_ = JsonKind::Null;
    int elementCount_ = 0;
    JsonNode* parent_ = nullptr;  // not counted
    Arena* arena_ = nullptr;      // counted: one reference per node carved from it
    wchar_t* text_ = nullptr;     // String value, or the raw text of a number or Raw; zero-terminated
    size_t textLength_ : sizeof(size_t) * 8 - 1 = 0;
    size_t textOnHeap_ : 1 = 0;
    // A scalar's value, or a container's storage: the one a node of its kind uses.
    union {
        double real;
        int64_t integer;
        int32_t flag;
        JsonNode** elements;  // Array: null until the first element
        MemberTable* members;  // Object: null only when it could not be allocated
    } number_{};
};
