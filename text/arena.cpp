#include "text/arena.h"

#include <cstring>
#include <new>
#include <windows.h>

struct Arena::Chunk {
    SLIST_ENTRY cacheLink;  // first, for the 16-byte alignment the interlocked list needs
    Chunk* next;
    size_t bytes;
};

// Poisoning under AddressSanitizer: see arena.h.
#ifdef PICLADE_ARENA_POISONS
#include <sanitizer/asan_interface.h>
#define ARENA_POISON(piece, bytes) ASAN_POISON_MEMORY_REGION(piece, bytes)
#define ARENA_UNPOISON(piece, bytes) ASAN_UNPOISON_MEMORY_REGION(piece, bytes)
#endif
#ifndef ARENA_POISON
#define ARENA_POISON(piece, bytes) ((void)(piece), (void)(bytes))
#define ARENA_UNPOISON(piece, bytes) ((void)(piece), (void)(bytes))
#endif

namespace {

// Chunks themselves come from the heap aligned for the interlocked list.
constexpr size_t kAlign = Arena::kAlign;
constexpr size_t kHeader = (sizeof(Arena::Chunk*) * 4 + kAlign - 1) & ~(kAlign - 1);
static_assert(sizeof(Arena::Chunk) <= kHeader, "a chunk's header fits before its pieces");
// Chunks stay below the size at which the heap maps fresh pages for every block: a chunk is
// then recycled by the heap from one parse to the next instead of costing page faults.
constexpr size_t kChunkBytes = 32 * 1024 - 64;

// Released standard-size chunks wait here for the next parse, up to 2 MiB in all: giving them back
// to the heap and asking again costs more than the parse itself.
constexpr USHORT kCachedChunks = 64;

struct ChunkCache {
    ChunkCache() { InitializeSListHead(&head); }
    alignas(16) SLIST_HEADER head;
};

ChunkCache& chunkCache()
{
    static ChunkCache cache;
    return cache;
}

size_t roundUp(size_t bytes) { return (bytes + kAlign - 1) & ~(kAlign - 1); }

} // namespace

Arena* Arena::create()
{
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(Arena));
    return memory ? new (memory) Arena() : nullptr;
}

Arena::~Arena()
{
    ChunkCache& cache = chunkCache();
    while (chunks_) {
        Chunk* next = chunks_->next;
        if (chunks_->bytes == kChunkBytes && QueryDepthSList(&cache.head) < kCachedChunks) {
            InterlockedPushEntrySList(&cache.head, &chunks_->cacheLink);
        } else {
            ARENA_UNPOISON(chunks_, chunks_->bytes);
            HeapFree(GetProcessHeap(), 0, chunks_);
        }
        chunks_ = next;
    }
}

Arena::Chunk* Arena::newChunk(size_t bytes)
{
    if (bytes == kChunkBytes) {
        if (auto* cached = reinterpret_cast<Chunk*>(InterlockedPopEntrySList(&chunkCache().head))) {
            ARENA_UNPOISON(reinterpret_cast<char*>(cached) + kHeader, kChunkBytes - kHeader);
            return cached;
        }
    }
    // Not zero-filled: allocate() clears each piece it hands out, allocateRaw() leaves it to the
    // caller, who writes it whole.
    return static_cast<Chunk*>(HeapAlloc(GetProcessHeap(), 0, bytes));
}

void Arena::recyclePiece(void* piece, size_t bytes)
{
    if (!piece) return;
    const size_t rounded = roundUp(bytes ? bytes : 1);
    const size_t sizeClass = rounded / kAlign;
    if (recycling_ && sizeClass < kRecycledClasses) {
        *static_cast<void**>(piece) = recycled_[sizeClass];
        recycled_[sizeClass] = piece;
    }
    ARENA_POISON(piece, rounded);
}

void* Arena::allocate(size_t bytes)
{
    bytes = roundUp(bytes ? bytes : 1);
    void* piece = carve(bytes);
    if (piece) std::memset(piece, 0, bytes);  // zero-filled, recycled or fresh alike
    return piece;
}


void* Arena::carve(size_t bytes)
{
    if (recycling_ && bytes / kAlign < kRecycledClasses) {
        if (void* piece = recycled_[bytes / kAlign]) {
            ARENA_UNPOISON(piece, bytes);
            recycled_[bytes / kAlign] = *static_cast<void**>(piece);
            return piece;
        }
    }
    if (static_cast<size_t>(end_ - cursor_) < bytes) {
        const size_t chunkBytes = bytes + kHeader > kChunkBytes ? bytes + kHeader : kChunkBytes;
        Chunk* chunk = newChunk(chunkBytes);
        if (!chunk) return nullptr;
        chunk->next = chunks_;
        chunk->bytes = chunkBytes;
        chunks_ = chunk;
        cursor_ = reinterpret_cast<char*>(chunk) + kHeader;
        end_ = reinterpret_cast<char*>(chunk) + chunkBytes;
    }
    void* result = cursor_;
    cursor_ += bytes;
    return result;
}

void Arena::setRecycling(bool on)
{
    if (!on && recycling_ && localRefs_ != 0) {
        InterlockedExchangeAdd(&refCount_, localRefs_);
        localRefs_ = 0;
    }
    recycling_ = on;
}

void Arena::addRefShared() { InterlockedIncrement(&refCount_); }

void Arena::release() { release(1); }

void Arena::release(long count)
{
    if (recycling_) {
        localRefs_ -= count;  // the recycling user's own reference keeps the arena alive meanwhile
        return;
    }
    if (InterlockedExchangeAdd(&refCount_, -count) != count) return;
    this->~Arena();
    HeapFree(GetProcessHeap(), 0, this);
}
