// The storage of one response body: address space reserved for a room and pages committed as the
// body grows, so growing inside the room never copies what was already read. A body that outgrows
// its room moves to one twice as large, its bytes copied over: a 32-bit process has too little
// address space to reserve the size limit for every body in flight.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kBodyStartCapacity = 10240;
constexpr size_t kBodyLargeStep = 1048576;
// The room a body reserves before its first read (its announced length when smaller).
constexpr size_t kBodyFirstRoom = kBodyLargeStep;

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

    // Drops the old storage and reserves a room of `room` bytes, none of them usable yet. Rooms
    // that follow double, up to `roomLimit` (to `room` itself when not given).
    [[nodiscard]] bool reserve(size_t room, size_t roomLimit = 0);
    // Makes the first `capacity` bytes usable. Past the room the bytes move to a larger one, at
    // least `capacity` long. False when the system refuses the memory; what was there stays.
    [[nodiscard]] bool grow(size_t capacity);
    void release();

    char* data() const { return base_; }
    size_t capacity() const { return capacity_; }
    size_t reserved() const { return reserved_; }

private:
    char* base_ = nullptr;
    size_t reserved_ = 0;
    size_t roomLimit_ = 0;
    size_t committed_ = 0;
    size_t capacity_ = 0;
};
