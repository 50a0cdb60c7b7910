#include "net/body_buffer.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <windows.h>

namespace {

size_t pageRounded(size_t bytes)
{
    constexpr size_t kPage = 64 * 1024;  // commit in steps of 64 KiB: few calls, little waste
    return (bytes + kPage - 1) / kPage * kPage;
}

} // namespace

bool BodyBuffer::reserve(size_t room, size_t roomLimit)
{
    release();
    const size_t bytes = pageRounded(room ? room : 1);
    base_ = static_cast<char*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS));
    if (!base_) return false;
    reserved_ = bytes;
    roomLimit_ = std::max(roomLimit, bytes);
    return true;
}

size_t nextBodyCapacity(size_t needed, int64_t contentLength)
{
    if (contentLength < 0 || needed > static_cast<uint64_t>(contentLength)) return needed + kBodyStartCapacity;
    const auto declared = static_cast<size_t>(contentLength);
    if (declared - needed > kBodyLargeStep) return needed + kBodyLargeStep;
    return declared;
}

bool BodyBuffer::grow(size_t capacity)
{
    if (!base_) return false;
    if (capacity > reserved_) {
        // A body longer than its room: a room twice as large, with what was read copied over.
        // Doubling keeps the copies of a long body to about its own length in all.
        const size_t room = std::max(capacity, std::min(reserved_ * 2, roomLimit_));
        BodyBuffer larger;
        if (!larger.reserve(room, roomLimit_) || !larger.grow(capacity)) return false;
        if (capacity_) memcpy(larger.base_, base_, capacity_);
        release();
        base_ = std::exchange(larger.base_, nullptr);
        reserved_ = std::exchange(larger.reserved_, 0);
        roomLimit_ = std::exchange(larger.roomLimit_, 0);
        committed_ = std::exchange(larger.committed_, 0);
        capacity_ = std::exchange(larger.capacity_, 0);
        return true;
    }
    const size_t needed = pageRounded(capacity);
    if (needed > committed_) {
        const size_t commit = needed < reserved_ ? needed : reserved_;
        if (!VirtualAlloc(base_ + committed_, commit - committed_, MEM_COMMIT, PAGE_READWRITE)) return false;
        committed_ = commit;
    }
    capacity_ = capacity;
    return true;
}

void BodyBuffer::release()
{
    if (base_) VirtualFree(base_, 0, MEM_RELEASE);
    base_ = nullptr;
    reserved_ = roomLimit_ = committed_ = capacity_ = 0;
}
