// A reference-counted bump allocator: everything the JSON reader builds for one parse comes from
// one arena, so a parse costs a few large allocations instead of one per value. Memory is given
// back only when the last user lets go. While its one parse runs, small pieces given back (a
// replaced member and its text) are handed out again, so text that replaces one value over and
// over costs no more than text that holds it once; afterwards a freed piece waits for the arena's
// end, because nodes of one arena may then be released on different threads.
#pragma once

#include <cstddef>

// Under AddressSanitizer (the native test build) a piece given back is poisoned until it is handed
// out again, so a use after release is caught even though the memory stays in the arena.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PICLADE_ARENA_POISONS 1
#endif
#endif

class Arena {
public:
    static constexpr size_t kAlign = 8;  // every piece's alignment: a double's, as nodes and texts need

    // A new arena with one reference, or null when memory runs out.
    static Arena* create();

    // Aligned to 8 bytes and zero-filled; null when memory runs out.
    void* allocate(size_t bytes);
    // The same without the zero fill, for pieces written whole at once (nodes, texts, keys).
    void* allocateRaw(size_t bytes)
    {
        bytes = (bytes + kAlign - 1 + (bytes == 0)) & ~(kAlign - 1);
#ifndef PICLADE_ARENA_POISONS
        if (recycling_ && bytes / kAlign < kRecycledClasses) {
            if (void* piece = recycled_[bytes / kAlign]) {  // a piece given back during the parse
                recycled_[bytes / kAlign] = *static_cast<void**>(piece);
                return piece;
            }
        }
#else
        if (recycling_ && bytes / kAlign < kRecycledClasses && recycled_[bytes / kAlign]) return carve(bytes);
#endif
        if (static_cast<size_t>(end_ - cursor_) < bytes) return carve(bytes);
        void* piece = cursor_;  // the common case: the next piece of the current chunk
        cursor_ += bytes;
        return piece;
    }

    // Keeps a piece of `bytes` bytes from allocate() for reuse while recycling is on; does nothing
    // otherwise. Only the arena's one user may turn recycling on, holding a reference of its own,
    // and only while no other thread can reach what it built. References taken and dropped
    // meanwhile are counted without interlocked operations and settled when it is turned off.
    void recycle(void* piece, size_t bytes)
    {
#ifndef PICLADE_ARENA_POISONS
        if (!recycling_ || !piece) return;  // the piece waits for the arena's end
        const size_t sizeClass = (bytes + kAlign - 1 + (bytes == 0)) / kAlign;
        if (sizeClass < kRecycledClasses) {
            *static_cast<void**>(piece) = recycled_[sizeClass];
            recycled_[sizeClass] = piece;
        }
#else
        recyclePiece(piece, bytes);
#endif
    }
    void setRecycling(bool on);
    // While recycling, what the arena's user built is reachable by its thread alone: the counts
    // of its nodes may then change without interlocked operations too.
    bool isRecycling() const { return recycling_; }

    void addRef()
    {
        if (recycling_) {
            ++localRefs_;
        } else {
            addRefShared();
        }
    }
    void release();
    void release(long count);  // as many references at once

    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    struct Chunk;

private:
    Arena() = default;
    static Chunk* newChunk(size_t bytes);
    void recyclePiece(void* piece, size_t bytes);
    void* carve(size_t rounded);
    void addRefShared();
    ~Arena();

    volatile long refCount_ = 1;
    Chunk* chunks_ = nullptr;
    char* cursor_ = nullptr;
    char* end_ = nullptr;
    static constexpr size_t kRecycledClasses = 65;  // pieces up to 512 bytes, by 8-byte class
    bool recycling_ = false;
    long localRefs_ = 0;  // references taken (less those dropped) while recycling
    void* recycled_[kRecycledClasses] = {};
};
