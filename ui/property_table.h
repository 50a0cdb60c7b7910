// The named values of one window object: pointer-sized integers (handles, flags, handler
// addresses, references) under exact, case-sensitive byte-text names. A chained hash table whose
// entries live in a private heap that goes, whole, with the table.
//
// The heap has no lock (HEAP_NO_SERIALIZE): the table belongs to the thread that made it, the
// thread of its window. Builds with PICLADE_CHECK_WINDOW_THREAD (the test builds) end the process
// with exit code 3, after one line on the error output, when another thread uses it.
#pragma once

#include <cstdint>
#include <string_view>

constexpr unsigned kWrongThreadExitCode = 3;

class PropertyTable {
public:
    static constexpr int kInitialBuckets = 11;

    PropertyTable();
    ~PropertyTable();
    PropertyTable(const PropertyTable&) = delete;
    PropertyTable& operator=(const PropertyTable&) = delete;

    // 0 when the name is absent: to every reader but has(), 0 and absent mean the same.
    intptr_t get(std::string_view name) const;
    bool set(std::string_view name, intptr_t value);
    bool remove(std::string_view name);
    bool has(std::string_view name) const;

    int count() const { return count_; }
    // The only thread that may use the table. Set once, so any thread may read it.
    unsigned long ownerThread() const { return ownerThread_; }
    int bucketCount() const { return bucketCount_; }

    // h = h x 31 + byte over the name's bytes, 32-bit wrap-around.
    static uint32_t hashName(std::string_view name);

private:
    struct Entry;
    Entry* find(std::string_view name, uint32_t hash) const;
    bool grow();
    void checkThread(std::string_view name) const;

    const unsigned long ownerThread_;
    void* heap_ = nullptr;
    Entry** buckets_ = nullptr;
    int bucketCount_ = 0;
    int count_ = 0;
};
