// The storage of one response body: address space reserved for the whole body at once and pages
// committed as it grows, so growing inside the reservation never copies what was already read.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kBodyStartCapacity = 10240;
constexpr size_t kBodyLargeStep = 1048576;

// The capacity a body grows to when `needed` bytes no longer fit: 10240 bytes more when its
// length is unknown (-1) or already passed, 1 MiB more while more than that remains, else
// exactly the announced length.
size_t nextBodyCapacity(size_t needed, int64_t contentLength);

class BodyBuffer {
public:
    BodyBuffer() = default;
    ~BodyBuffer() { release(); }
    BodyBuffer(const BodyBuffer&) = delete;
    BodyBuffer& operator=(const BodyBuffer&) = delete;

    // Drops the old storage and reserves room for up to `maxBytes`, none of it usable yet.
    [[nodiscard]] bool reserve(size_t maxBytes);
    // Makes the first `capacity` bytes usable. Past the reservation the bytes move to a larger
    // one. False when the system refuses the memory; what was there stays.
    [[nodiscard]] bool grow(size_t capacity);
    void release();

    char* data() const { return base_; }
    size_t capacity() const { return capacity_; }
    size_t reserved() const { return reserved_; }

private:
    char* base_ = nullptr;
    size_t reserved_ = 0;
    size_t committed_ = 0;
    size_t capacity_ = 0;
};
