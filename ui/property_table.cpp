#include "ui/property_table.h"

#include <cstdio>
#include <cstring>
#include <windows.h>

struct PropertyTable::Entry {
    Entry* next;
    uint32_t hash;
    intptr_t value;
    size_t length;
    char name[1];  // `length` bytes follow
};

namespace {

int thresholdFor(int buckets) { return static_cast<int>((3LL * buckets + 2) / 4); }

} // namespace

PropertyTable::PropertyTable() : ownerThread_(GetCurrentThreadId()), heap_(HeapCreate(HEAP_NO_SERIALIZE, 0, 0))
{
    if (!heap_) return;
    buckets_ = static_cast<Entry**>(HeapAlloc(heap_, HEAP_ZERO_MEMORY, kInitialBuckets * sizeof(Entry*)));
    if (buckets_) bucketCount_ = kInitialBuckets;
}

PropertyTable::~PropertyTable()
{
    if (heap_) HeapDestroy(heap_);  // every entry and key copy with it
}

uint32_t PropertyTable::hashName(std::string_view name)
{
    uint32_t hash = 0;
    for (const char c : name) hash = hash * 31 + static_cast<unsigned char>(c);
    return hash;
}

#ifdef PICLADE_CHECK_WINDOW_THREAD
void PropertyTable::checkThread(std::string_view name) const
{
    const DWORD current = GetCurrentThreadId();
    if (current == ownerThread_) return;
    // Nothing of the table is read: another thread may be changing it right now.
    char line[200];
    const int nameLength = name.size() < 80 ? static_cast<int>(name.size()) : 80;
    const int length = std::snprintf(line, sizeof line, "window property \"%.*s\" used on thread %lu; it belongs to thread %lu\n",
                                     nameLength, name.data(), current, ownerThread_);
    DWORD written = 0;
    if (length > 0) WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
    // At once and without clean-up: the owner may be inside the table, and unwinding the process
    // the ordinary way would run into it.
    TerminateProcess(GetCurrentProcess(), kWrongThreadExitCode);
}
#else
void PropertyTable::checkThread(std::string_view) const {}
#endif

PropertyTable::Entry* PropertyTable::find(std::string_view name, uint32_t hash) const
{
    if (!buckets_) return nullptr;
    for (Entry* entry = buckets_[(hash & 0x7FFFFFFF) % bucketCount_]; entry; entry = entry->next)
        if (entry->hash == hash && std::string_view(entry->name, entry->length) == name) return entry;
    return nullptr;
}

intptr_t PropertyTable::get(std::string_view name) const
{
    checkThread(name);
    const Entry* entry = find(name, hashName(name));
    return entry ? entry->value : 0;
}

bool PropertyTable::has(std::string_view name) const
{
    checkThread(name);
    return find(name, hashName(name)) != nullptr;
}

bool PropertyTable::set(std::string_view name, intptr_t value)
{
    checkThread(name);
    const uint32_t hash = hashName(name);
    if (Entry* entry = find(name, hash)) {
        entry->value = value;
        return true;
    }
    if (!buckets_) return false;
    if (count_ >= thresholdFor(bucketCount_) && !grow()) return false;
    auto* entry = static_cast<Entry*>(HeapAlloc(heap_, 0, sizeof(Entry) + name.size()));
    if (!entry) return false;
    entry->hash = hash;
    entry->value = value;
    entry->length = name.size();
    std::memcpy(entry->name, name.data(), name.size());
    Entry*& head = buckets_[(hash & 0x7FFFFFFF) % bucketCount_];
    entry->next = head;
    head = entry;
    ++count_;
    return true;
}

bool PropertyTable::remove(std::string_view name)
{
    checkThread(name);
    if (!buckets_) return false;
    const uint32_t hash = hashName(name);
    Entry** link = &buckets_[(hash & 0x7FFFFFFF) % bucketCount_];
    for (Entry* entry = *link; entry; link = &entry->next, entry = entry->next) {
        if (entry->hash == hash && std::string_view(entry->name, entry->length) == name) {
            *link = entry->next;
            HeapFree(heap_, 0, entry);
            --count_;
            return true;
        }
    }
    return false;
}

bool PropertyTable::grow()
{
    const int grownCount = 2 * bucketCount_ + 1;
    auto* grown = static_cast<Entry**>(HeapAlloc(heap_, HEAP_ZERO_MEMORY, grownCount * sizeof(Entry*)));
    if (!grown) return false;
    for (int i = 0; i < bucketCount_; ++i) {
        for (Entry* entry = buckets_[i]; entry;) {
            Entry* next = entry->next;
            Entry*& head = grown[(entry->hash & 0x7FFFFFFF) % grownCount];
            entry->next = head;
            head = entry;
            entry = next;
        }
    }
    HeapFree(heap_, 0, buckets_);
    buckets_ = grown;
    bucketCount_ = grownCount;
    return true;
}
