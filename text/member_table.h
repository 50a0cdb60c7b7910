// An insertion-ordered chained hash table from key to member: the members of a JSON object.
// The members themselves are the chain entries (intrusive); the table owns their key texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "text/pointer_list.h"

struct MemberEntry {
    uint32_t keyHash = 0;
    int orderIndex = -1;  // position in the member order, so a replacement needs no search
    wchar_t* key = nullptr;  // owned by the table that holds the entry; zero-terminated
    uint32_t keyLength = 0;
    uint32_t chainHash = 0;  // picks the bucket; see MemberTable::chainHashOf
    MemberEntry* nextInChain = nullptr;

    std::wstring_view keyView() const { return key ? std::wstring_view(key, keyLength) : std::wstring_view(); }
};

class MemberTable {
public:
    static constexpr int kInitialBuckets = 11;
    static constexpr float kLoadFactor = 0.75f;

    // Buckets and key texts come from the arena when one is given (freed only with it, as a key
    // text there may be shared by the tables of that arena), else from
    // the given Windows heap; with neither the table makes a private heap and destroys it whole
    // with the table.
    explicit MemberTable(void* heap = nullptr, Arena* arena = nullptr);
    // The same with room made at once for the members expected: the buckets and the member order
    // start as large as they would have grown for that many.
    MemberTable(void* heap, Arena* arena, int expectedMembers);
    // A table whose storage comes from an arena that its holder does not keep alive: the table
    // holds a reference to it of its own, dropped once the table is gone.
    enum class HoldArena { Yes };
    MemberTable(void* heap, Arena* arena, HoldArena);
    ~MemberTable();
    MemberTable(const MemberTable&) = delete;
    MemberTable& operator=(const MemberTable&) = delete;

    bool isValid() const { return buckets_ != nullptr && order_.isValid(); }

    // h = h x 31 + unit over every unit and finally the terminating zero, with 32-bit wrap-around.
    static uint32_t hashKey(std::wstring_view key);
    // The hash that picks a key's bucket: mixed with a secret chosen at random once per process,
    // so that a server cannot send thousands of keys that share one chain (with hashKey alone,
    // "Aa" and "BB" collide, and so does every string of such pairs). A key never longer than
    // 2^32 units, which no text the program reads can hold.
    static uint32_t chainHashOf(std::wstring_view key);

    MemberEntry* find(std::wstring_view key) const;

    // A key with both its hashes worked out, and optionally a copy of its text, zero-terminated,
    // that this table may use instead of copying the key again: the reader's way, one copy per
    // distinct key of a parse. Only a table in that copy's arena may be given one.
    struct PreparedKey {
        std::wstring_view text;
        uint32_t ownHash = 0;    // hashKey
        uint32_t chainHash = 0;  // chainHashOf
        const wchar_t* arenaCopy = nullptr;
    };
    static PreparedKey prepareKey(std::wstring_view key);

    enum class InsertResult { Failed = -1, Inserted = 0, Replaced = 1 };
    // A new key is linked at its chain's head and appended to the member order (the table grows
    // first when full). An existing key is replaced in place: the new entry takes the old one's
    // chain link, key text and position, and the old entry is handed back through `replaced` for
    // the caller to release.
    InsertResult insertOrReplace(std::wstring_view key, MemberEntry* entry, MemberEntry** replaced = nullptr);
    InsertResult insertOrReplace(const PreparedKey& key, MemberEntry* entry, MemberEntry** replaced = nullptr);

    // Unlink the entry from its chain and the member order and free its key; the caller releases
    // the entry itself.
    MemberEntry* removeByKey(std::wstring_view key);
    bool removeEntry(MemberEntry* entry);

    // Frees every key and forgets every entry; the bucket count stays.
    void clear();
    // Leaves no entry pointing into the table, as the destructor does, for a table of an arena
    // that is dropped without its destructor: all it holds waits for the arena's end.
    void detachEntries();

    int count() const { return memberCount_; }
    int bucketCount() const { return bucketCount_; }
    int threshold() const { return threshold_; }
    int longestChain() const;  // entries in the fullest bucket
    const ElementList<MemberEntry>& order() const { return order_; }
    std::vector<std::wstring> keys() const;

    // Reorders the member order (not the chains) by key with the system's string comparison.
    void sortByKey(bool descending);

private:
    bool grow();
    void unlink(MemberEntry* entry, MemberEntry* previous, int bucket);
    void renumberFrom(int position);
    wchar_t* copyKey(std::wstring_view key);
    void freeKey(MemberEntry* entry);
    int bucketOf(uint32_t hash, int bucketCount) const { return static_cast<int>((hash & 0x7FFFFFFF) % bucketCount); }

    // Declared before the member order so that an owned heap outlives the order's storage in it.
    struct HeapHolder {
        HeapHolder(void* given, bool needed);
        ~HeapHolder();
        HeapHolder(const HeapHolder&) = delete;
        HeapHolder& operator=(const HeapHolder&) = delete;
        void* heap = nullptr;
        bool owned = false;
    };

    void* allocate(size_t bytes);
    void deallocate(void* block, size_t bytes);

    // A reference to the arena when the table holds one (HoldArena); declared first, so that it
    // is dropped after everything else of the table is gone.
    struct ArenaHolder {
        ~ArenaHolder();
        Arena* held = nullptr;
    };
    ArenaHolder arenaHolder_;
    Arena* arena_ = nullptr;  // not owned: whoever holds the table keeps the arena alive
    HeapHolder heap_;
    MemberEntry** buckets_ = nullptr;
    int bucketCount_ = 0;
    int memberCount_ = 0;
    int threshold_ = 0;
    ElementList<MemberEntry> order_;
};
