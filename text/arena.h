// A reference-counted bump allocator: everything the JSON reader builds for one parse comes from
// one arena, so a parse costs a few large allocations instead of one per value. Memory is given
// back only when the last user lets go; a freed piece is not reused before then.
#pragma once

#include <cstddef>

class Arena {
public:
    // A new arena with one reference, or null when memory runs out.
    static Arena* create();

    // Aligned to 16 bytes; null when memory runs out.
    void* allocate(size_t bytes);

    void addRef();
    void release();

    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    struct Chunk;

private:
    Arena() = default;
    static Chunk* newChunk(size_t bytes);
    ~Arena();

    volatile long refCount_ = 1;
    Chunk* chunks_ = nullptr;
    char* cursor_ = nullptr;
    char* end_ = nullptr;
};
