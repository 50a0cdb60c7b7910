// A growable array of pointers in heap storage (zero-filled; from an arena, only the entries up to
// the count are ever written or read): the member order of JSON objects and the JSON reader's
// stack. ElementList<T> is the typed face of it.
#pragma once

#include <vector>

class Arena;

class PointerList {
public:
    static constexpr int kDefaultCapacity = 8;

    // Storage comes from the arena when one is given (and is then never freed on its own), else
    // from the given Windows heap; with neither the list makes a private heap of its own and
    // destroys it with the list.
    explicit PointerList(int capacity = kDefaultCapacity, void* heap = nullptr, Arena* arena = nullptr);
    ~PointerList();
    PointerList(const PointerList&) = delete;
    PointerList& operator=(const PointerList&) = delete;

    bool isValid() const { return items_ != nullptr; }
    int count() const { return count_; }
    int capacity() const { return capacity_; }

    // Appending and inserting grow the storage to 2 x capacity + 1 entries when it is full.
    // Both return the item's index, or -1 (list unchanged) when out of range or out of memory.
    int append(void* item);
    int insertAt(int index, void* item);
    bool removeAt(int index);
    void* at(int index) const;
    // Overwrites an entry without releasing the old one.
    bool setAt(int index, void* item);
    int indexOf(const void* item) const;
    void clear();
    void* const* data() const { return items_; }
    std::vector<void*> snapshot() const;

    // Swaps entries in place; used for sorting.
    void swapItems(int a, int b);

private:
    bool growIfFull();
    void** allocateItems(int count);
    void freeItems(void** items, int count);

    Arena* arena_ = nullptr;  // not owned: whoever holds the list keeps the arena alive
    void* heap_ = nullptr;
    bool ownsHeap_ = false;
    void** items_ = nullptr;
    int count_ = 0;
    int capacity_ = 0;
};

template <typename T>
class ElementList {
public:
    explicit ElementList(int capacity = PointerList::kDefaultCapacity, void* heap = nullptr, Arena* arena = nullptr)
        : list_(capacity, heap, arena) {}

    bool isValid() const { return list_.isValid(); }
    int count() const { return list_.count(); }
    int capacity() const { return list_.capacity(); }
    int append(T* item) { return list_.append(item); }
    int insertAt(int index, T* item) { return list_.insertAt(index, item); }
    bool removeAt(int index) { return list_.removeAt(index); }
    T* at(int index) const { return static_cast<T*>(list_.at(index)); }
    bool setAt(int index, T* item) { return list_.setAt(index, item); }
    int indexOf(const T* item) const { return list_.indexOf(item); }
    void clear() { list_.clear(); }
    void swapItems(int a, int b) { list_.swapItems(a, b); }
    T* const* begin() const { return reinterpret_cast<T* const*>(list_.data()); }
    T* const* end() const { return begin() + list_.count(); }
    std::vector<T*> snapshot() const { return std::vector<T*>(begin(), end()); }

private:
    PointerList list_;
};
