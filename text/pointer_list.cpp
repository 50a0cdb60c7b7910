#include "text/pointer_list.h"

#include <climits>
#include <cstring>
#include <windows.h>

#include "text/arena.h"

PointerList::PointerList(int capacity, void* heap, Arena* arena) : arena_(arena), heap_(heap)
{
    if (!heap_ && !arena_) {
        heap_ = HeapCreate(0, 0, 0);
        ownsHeap_ = heap_ != nullptr;
    }
    if (capacity < 0) capacity = kDefaultCapacity;
    if (heap_ || arena_) {
        items_ = allocateItems(capacity ? capacity : 1);
        if (items_) capacity_ = capacity;
    }
}

PointerList::~PointerList()
{
    if (ownsHeap_) {
        HeapDestroy(heap_);
    } else if (items_) {
        freeItems(items_, capacity_ ? capacity_ : 1);
    }
}

void** PointerList::allocateItems(int count)
{
    const size_t bytes = static_cast<size_t>(count) * sizeof(void*);
    // Entries past the count are never read: arena storage need not be cleared first.
    return static_cast<void**>(arena_ ? arena_->allocateRaw(bytes) : HeapAlloc(heap_, HEAP_ZERO_MEMORY, bytes));
}

void PointerList::freeItems(void** items, int count)
{
    if (arena_) {
        arena_->recycle(items, static_cast<size_t>(count) * sizeof(void*));
    } else {
        HeapFree(heap_, 0, items);
    }
}

bool PointerList::growIfFull()
{
    if (!items_) return false;
    if (count_ < capacity_) return true;
    if (capacity_ > (INT_MAX - 1) / 2) return false;
    const int grown = 2 * capacity_ + 1;
    void** bigger = allocateItems(grown);
    if (!bigger) return false;
    std::memcpy(bigger, items_, count_ * sizeof(void*));
    freeItems(items_, capacity_ ? capacity_ : 1);
    items_ = bigger;
    capacity_ = grown;
    return true;
}

int PointerList::append(void* item)
{
    if (items_ && count_ < capacity_) {  // room at the end: nothing to move
        items_[count_] = item;
        return count_++;
    }
    return insertAt(count_, item);
}

int PointerList::insertAt(int index, void* item)
{
    if (index < 0 || index > count_ || !growIfFull()) return -1;
    std::memmove(items_ + index + 1, items_ + index, (count_ - index) * sizeof(void*));
    items_[index] = item;
    ++count_;
    return index;
}

bool PointerList::removeAt(int index)
{
    if (index < 0 || index >= count_) return false;
    std::memmove(items_ + index, items_ + index + 1, (count_ - index - 1) * sizeof(void*));
    items_[--count_] = nullptr;
    return true;
}

void* PointerList::at(int index) const
{
    return index >= 0 && index < count_ ? items_[index] : nullptr;
}

bool PointerList::setAt(int index, void* item)
{
    if (index < 0 || index >= count_) return false;
    items_[index] = item;
    return true;
}

int PointerList::indexOf(const void* item) const
{
    for (int i = 0; i < count_; ++i)
        if (items_[i] == item) return i;
    return -1;
}

void PointerList::clear()
{
    if (items_) std::memset(items_, 0, count_ * sizeof(void*));
    count_ = 0;
}

std::vector<void*> PointerList::snapshot() const { return std::vector<void*>(items_, items_ + count_); }

void PointerList::swapItems(int a, int b)
{
    if (a < 0 || b < 0 || a >= count_ || b >= count_) return;
    void* held = items_[a];
    items_[a] = items_[b];
    items_[b] = held;
}
