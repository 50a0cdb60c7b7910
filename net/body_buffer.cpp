#include "net/body_buffer.h"

#include <windows.h>

namespace {

size_t pageRounded(size_t bytes)
{
    constexpr size_t kPage = 64 * 1024;  // commit in steps of 64 KiB: few calls, little waste
    return (bytes + kPage - 1) / kPage * kPage;
}

} // namespace

bool BodyBuffer::reserve(size_t maxBytes)
{
    release();
    const size_t bytes = pageRounded(maxBytes ? maxBytes : 1);
    base_ = static_cast<char*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS));
    if (!base_) return false;
    reserved_ = bytes;
    return true;
}

bool BodyBuffer::grow(size_t capacity)
{
    if (!base_ || capacity > reserved_) return false;
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
    reserved_ = committed_ = capacity_ = 0;
}
