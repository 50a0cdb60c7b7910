#include "text/member_table.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <ctime>
#include <random>
#include <windows.h>

#include "text/arena.h"

namespace {

// bucket count x 0.75, rounded: 11 -> 8, 23 -> 17, 47 -> 35. Integer arithmetic, exactly as
// rounding the float product would give.
int thresholdFor(int bucketCount) { return static_cast<int>((3LL * bucketCount + 2) / 4); }

} // namespace

MemberTable::HeapHolder::HeapHolder(void* given, bool needed) : heap(given)
{
    if (!heap && needed) {
        heap = HeapCreate(0, 0, 0);
        owned = heap != nullptr;
    }
}

MemberTable::HeapHolder::~HeapHolder()
{
    if (owned) HeapDestroy(heap);
}

namespace {

// The sizes growth goes through (2 x n + 1 each time), the first that holds the members expected.
int bucketsFor(int members)
{
    int buckets = MemberTable::kInitialBuckets;
    while (thresholdFor(buckets) < members && buckets <= (INT_MAX - 1) / 4) buckets = 2 * buckets + 1;
    return buckets;
}

int orderCapacityFor(int members)
{
    int capacity = PointerList::kDefaultCapacity;
    while (capacity < members && capacity <= (INT_MAX - 1) / 4) capacity = 2 * capacity + 1;
    return capacity;
}

} // namespace

MemberTable::MemberTable(void* heap, Arena* arena) : MemberTable(heap, arena, 0) {}

MemberTable::MemberTable(void* heap, Arena* arena, HoldArena) : MemberTable(heap, arena, 0)
{
    if (arena) {
        arena->addRef();
        arenaHolder_.held = arena;
    }
}

MemberTable::ArenaHolder::~ArenaHolder()
{
    if (held) held->release();
}

MemberTable::MemberTable(void* heap, Arena* arena, int expectedMembers)
    : arena_(arena), heap_(heap, arena == nullptr), order_(orderCapacityFor(expectedMembers), heap_.heap, arena)
{
    if (!heap_.heap && !arena_) return;
    const int buckets = bucketsFor(expectedMembers);
    buckets_ = static_cast<MemberEntry**>(allocate(static_cast<size_t>(buckets) * sizeof(MemberEntry*)));
    if (buckets_) {
        bucketCount_ = buckets;
        threshold_ = thresholdFor(bucketCount_);
    }
}

MemberTable::~MemberTable()
{
    // Entries may outlive the table; leave none pointing into its storage. An owned heap goes
    // whole with HeapHolder.
    for (MemberEntry* entry : order_) {
        if (heap_.owned) entry->key = nullptr;
        freeKey(entry);
        entry->nextInChain = nullptr;
    }
    if (!heap_.owned && buckets_) deallocate(buckets_, bucketCount_ * sizeof(MemberEntry*));
}

void* MemberTable::allocate(size_t bytes)
{
    return arena_ ? arena_->allocate(bytes) : HeapAlloc(heap_.heap, HEAP_ZERO_MEMORY, bytes);
}

void MemberTable::deallocate(void* block, size_t bytes)
{
    if (!block) return;
    if (arena_) {
        arena_->recycle(block, bytes);
    } else {
        HeapFree(heap_.heap, 0, block);
    }
}

uint32_t MemberTable::hashKey(std::wstring_view key)
{
    uint32_t hash = 0;
    for (const wchar_t unit : key) hash = hash * 31 + static_cast<uint16_t>(unit);
    return hash * 31;  // the terminating zero unit
}

namespace {

uint64_t chainSecret()
{
    static const uint64_t secret = [] {
        // The time and where this program was loaded, should the system have no random source.
        uint64_t value = static_cast<uint64_t>(std::time(nullptr)) * 0x9E3779B97F4A7C15ULL ^
                         reinterpret_cast<uintptr_t>(&chainSecret);
        try {
            std::random_device source;
            value ^= static_cast<uint64_t>(source()) << 32 | source();
        } catch (...) {
        }
        return value | 1;
    }();
    return secret;
}

// One step of the chain hash over one unit, and its end.
inline uint64_t chainStep(uint64_t hash, wchar_t unit)
{
    hash = (hash ^ static_cast<uint16_t>(unit)) * 0x9E3779B97F4A7C15ULL;
    return hash ^ (hash >> 29);
}

inline uint32_t chainEnd(uint64_t hash, uint64_t secret) { return static_cast<uint32_t>((hash * secret) >> 32); }

} // namespace

uint32_t MemberTable::chainHashOf(std::wstring_view key)
{
    const uint64_t secret = chainSecret();
    uint64_t hash = secret ^ key.size();
    for (const wchar_t unit : key) hash = chainStep(hash, unit);
    return chainEnd(hash, secret);
}

MemberEntry* MemberTable::find(std::wstring_view key) const
{
    if (!buckets_) return nullptr;
    const uint32_t chain = chainHashOf(key);
    // Keys match on their exact code units, case-sensitive.
    for (MemberEntry* entry = buckets_[bucketOf(chain, bucketCount_)]; entry; entry = entry->nextInChain)
        if (entry->chainHash == chain && entry->keyView() == key) return entry;
    return nullptr;
}

wchar_t* MemberTable::copyKey(std::wstring_view key)
{
    const size_t bytes = (key.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(arena_ ? arena_->allocateRaw(bytes) : allocate(bytes));
    if (!copy) return nullptr;
    if (!key.empty()) std::memcpy(copy, key.data(), key.size() * sizeof(wchar_t));
    copy[key.size()] = 0;
    return copy;
}

void MemberTable::freeKey(MemberEntry* entry)
{
    // An arena's key texts may be shared between its tables: they go only with the arena.
    if (entry && entry->key && !arena_) deallocate(entry->key, (entry->keyLength + 1) * sizeof(wchar_t));
    if (entry) {
        entry->key = nullptr;
        entry->keyLength = 0;
    }
}

MemberTable::PreparedKey MemberTable::prepareKey(std::wstring_view key)
{
    // Both hashes in one pass over the key: a new member needs its own hash as well.
    const uint64_t secret = chainSecret();
    uint64_t chainState = secret ^ key.size();
    uint32_t ownHash = 0;
    for (const wchar_t unit : key) {
        chainState = chainStep(chainState, unit);
        ownHash = ownHash * 31 + static_cast<uint16_t>(unit);
    }
    ownHash *= 31;  // the terminating zero unit, as hashKey counts it
    PreparedKey prepared;
    prepared.text = key;
    prepared.ownHash = ownHash;
    prepared.chainHash = chainEnd(chainState, secret);
    return prepared;
}

MemberTable::InsertResult MemberTable::insertOrReplace(std::wstring_view key, MemberEntry* entry,
                                                       MemberEntry** replaced)
{
    if (replaced) *replaced = nullptr;
    if (!isValid() || !entry || key.size() > UINT32_MAX) return InsertResult::Failed;
    return insertOrReplace(prepareKey(key), entry, replaced);
}

MemberTable::InsertResult MemberTable::insertOrReplace(const PreparedKey& prepared, MemberEntry* entry,
                                                       MemberEntry** replaced)
{
    if (replaced) *replaced = nullptr;
    const std::wstring_view key = prepared.text;
    if (!isValid() || !entry || key.size() > UINT32_MAX) return InsertResult::Failed;
    const uint32_t ownHash = prepared.ownHash;
    const uint32_t chain = prepared.chainHash;
    int bucket = bucketOf(chain, bucketCount_);

    MemberEntry* previous = nullptr;
    for (MemberEntry* old = buckets_[bucket]; old; previous = old, old = old->nextInChain) {
        if (old->chainHash != chain || old->keyView() != key) continue;
        const int position = old->orderIndex;
        entry->orderIndex = position;
        old->orderIndex = -1;
        entry->nextInChain = old->nextInChain;
        (previous ? previous->nextInChain : buckets_[bucket]) = entry;
        entry->keyHash = old->keyHash;
        entry->chainHash = chain;
        entry->key = old->key;
        entry->keyLength = old->keyLength;
        old->key = nullptr;
        old->keyLength = 0;
        old->nextInChain = nullptr;
        order_.setAt(position, entry);
        if (replaced) *replaced = old;
        return InsertResult::Replaced;
    }

    if (memberCount_ >= threshold_) {
        if (!grow()) return InsertResult::Failed;
        bucket = bucketOf(chain, bucketCount_);
    }
    const bool shared = prepared.arenaCopy && arena_;
    wchar_t* keyCopy = shared ? const_cast<wchar_t*>(prepared.arenaCopy) : copyKey(key);
    if (!keyCopy) return InsertResult::Failed;
    const int position = order_.append(entry);
    if (position < 0) {
        if (!shared) deallocate(keyCopy, (key.size() + 1) * sizeof(wchar_t));
        return InsertResult::Failed;
    }
    entry->orderIndex = position;
    entry->keyHash = ownHash;
    entry->chainHash = chain;
    entry->key = keyCopy;
    entry->keyLength = static_cast<uint32_t>(key.size());
    entry->nextInChain = buckets_[bucket];
    buckets_[bucket] = entry;
    ++memberCount_;
    return InsertResult::Inserted;
}

bool MemberTable::grow()
{
    if (bucketCount_ > (INT_MAX - 1) / 2) return false;
    const int grownCount = 2 * bucketCount_ + 1;
    auto* grown = static_cast<MemberEntry**>(allocate(grownCount * sizeof(MemberEntry*)));
    if (!grown) return false;
    for (int i = 0; i < bucketCount_; ++i) {
        MemberEntry* entry = buckets_[i];
        while (entry) {
            MemberEntry* next = entry->nextInChain;
            const int bucket = bucketOf(entry->chainHash, grownCount);
            entry->nextInChain = grown[bucket];
            grown[bucket] = entry;
            entry = next;
        }
    }
    deallocate(buckets_, bucketCount_ * sizeof(MemberEntry*));
    buckets_ = grown;
    bucketCount_ = grownCount;
    threshold_ = thresholdFor(bucketCount_);
    return true;
}

void MemberTable::unlink(MemberEntry* entry, MemberEntry* previous, int bucket)
{
    (previous ? previous->nextInChain : buckets_[bucket]) = entry->nextInChain;
    entry->nextInChain = nullptr;
    --memberCount_;
    const int position = entry->orderIndex;
    order_.removeAt(position);
    entry->orderIndex = -1;
    renumberFrom(position);
    freeKey(entry);
}

void MemberTable::renumberFrom(int position)
{
    for (int i = position < 0 ? 0 : position; i < order_.count(); ++i) order_.at(i)->orderIndex = i;
}

MemberEntry* MemberTable::removeByKey(std::wstring_view key)
{
    if (!buckets_) return nullptr;
    const uint32_t chain = chainHashOf(key);
    const int bucket = bucketOf(chain, bucketCount_);
    MemberEntry* previous = nullptr;
    for (MemberEntry* entry = buckets_[bucket]; entry; previous = entry, entry = entry->nextInChain) {
        if (entry->chainHash == chain && entry->keyView() == key) {
            unlink(entry, previous, bucket);
            return entry;
        }
    }
    return nullptr;
}

bool MemberTable::removeEntry(MemberEntry* target)
{
    if (!buckets_ || !target) return false;
    for (int bucket = 0; bucket < bucketCount_; ++bucket) {
        MemberEntry* previous = nullptr;
        for (MemberEntry* entry = buckets_[bucket]; entry; previous = entry, entry = entry->nextInChain) {
            if (entry == target) {
                unlink(entry, previous, bucket);
                return true;
            }
        }
    }
    return false;
}

void MemberTable::detachEntries()
{
    for (MemberEntry* entry : order_) {
        entry->key = nullptr;
        entry->keyLength = 0;
        entry->nextInChain = nullptr;
    }
}

void MemberTable::clear()
{
    for (MemberEntry* entry : order_) {
        freeKey(entry);
        entry->nextInChain = nullptr;
        entry->orderIndex = -1;
    }
    order_.clear();
    if (buckets_) std::memset(buckets_, 0, bucketCount_ * sizeof(MemberEntry*));
    memberCount_ = 0;
}

int MemberTable::longestChain() const
{
    int longest = 0;
    for (int bucket = 0; buckets_ && bucket < bucketCount_; ++bucket) {
        int length = 0;
        for (const MemberEntry* entry = buckets_[bucket]; entry; entry = entry->nextInChain) ++length;
        longest = std::max(longest, length);
    }
    return longest;
}

std::vector<std::wstring> MemberTable::keys() const
{
    std::vector<std::wstring> result;
    result.reserve(order_.count());
    for (const MemberEntry* entry : order_) result.emplace_back(entry->keyView());
    return result;
}

void MemberTable::sortByKey(bool descending)
{
    std::vector<MemberEntry*> sorted = order_.snapshot();
    std::sort(sorted.begin(), sorted.end(), [descending](const MemberEntry* a, const MemberEntry* b) {
        const int order = lstrcmpW(a->key, b->key);
        return descending ? order > 0 : order < 0;
    });
    for (int i = 0; i < static_cast<int>(sorted.size()); ++i) {
        order_.setAt(i, sorted[i]);
        sorted[i]->orderIndex = i;
    }
}
