// Linux stand-ins for the few Windows calls the text layer makes, so that it can be built natively
// with clang's sanitizers and libFuzzer. Only the native fuzz build puts this folder on its include
// path; the program itself always uses the real <windows.h>.
//
// Heaps track their blocks so that destroying a heap frees them, as on Windows. Code page 936 is
// converted through iconv's GBK table, code page 65001 as UTF-8; UTF-16 units travel in wchar_t,
// one unit per wchar_t, as they do on Windows. lstrcmpW compares code units, not by locale.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>

using BOOL = int;
using UINT = unsigned int;
using DWORD = uint32_t;
using USHORT = unsigned short;
using LONG = long;
using HANDLE = void*;
using LPCWSTR = const wchar_t*;
using LPWSTR = wchar_t*;
using LPCSTR = const char*;
using LPSTR = char*;
using LPBOOL = BOOL*;
using SIZE_T = size_t;

constexpr DWORD HEAP_ZERO_MEMORY = 0x8;

// ---- Heaps ----

namespace win_shim {

struct Block {
    Block* previous;
    Block* next;
    struct Heap* heap;
    size_t bytes;
};
static_assert(sizeof(Block) % 16 == 0, "blocks keep 16-byte alignment");

struct Heap {
    std::mutex lock;
    Block* blocks = nullptr;
};

inline Heap& processHeap()
{
    static Heap* heap = new Heap;  // lives to the end, like the process heap
    return *heap;
}

} // namespace win_shim

inline HANDLE GetProcessHeap() { return &win_shim::processHeap(); }

inline HANDLE HeapCreate(DWORD, SIZE_T, SIZE_T) { return new win_shim::Heap; }

inline void* HeapAlloc(HANDLE heapHandle, DWORD, SIZE_T bytes)
{
    auto* heap = static_cast<win_shim::Heap*>(heapHandle);
    auto* block = static_cast<win_shim::Block*>(std::calloc(1, sizeof(win_shim::Block) + bytes));
    if (!block) return nullptr;
    block->heap = heap;
    block->bytes = bytes;
    std::lock_guard<std::mutex> hold(heap->lock);
    block->next = heap->blocks;
    if (heap->blocks) heap->blocks->previous = block;
    heap->blocks = block;
    return block + 1;
}

inline BOOL HeapFree(HANDLE, DWORD, void* memory)
{
    if (!memory) return 1;
    auto* block = static_cast<win_shim::Block*>(memory) - 1;
    win_shim::Heap* heap = block->heap;
    {
        std::lock_guard<std::mutex> hold(heap->lock);
        (block->previous ? block->previous->next : heap->blocks) = block->next;
        if (block->next) block->next->previous = block->previous;
    }
    std::free(block);
    return 1;
}

inline BOOL HeapDestroy(HANDLE heapHandle)
{
    auto* heap = static_cast<win_shim::Heap*>(heapHandle);
    for (win_shim::Block* block = heap->blocks; block;) {
        win_shim::Block* next = block->next;
        std::free(block);
        block = next;
    }
    delete heap;
    return 1;
}

// ---- Interlocked operations ----

inline long InterlockedIncrement(volatile long* value) { return __atomic_add_fetch(value, 1, __ATOMIC_SEQ_CST); }
inline long InterlockedDecrement(volatile long* value) { return __atomic_sub_fetch(value, 1, __ATOMIC_SEQ_CST); }
inline long InterlockedExchangeAdd(volatile long* value, long add) { return __atomic_fetch_add(value, add, __ATOMIC_SEQ_CST); }

struct alignas(16) SLIST_ENTRY {
    SLIST_ENTRY* Next;
};
struct alignas(16) SLIST_HEADER {
    SLIST_ENTRY* first;
    USHORT depth;
};
using PSLIST_ENTRY = SLIST_ENTRY*;

namespace win_shim {
inline std::mutex& listLock()
{
    static std::mutex lock;
    return lock;
}
} // namespace win_shim

inline void InitializeSListHead(SLIST_HEADER* head)
{
    head->first = nullptr;
    head->depth = 0;
}

inline PSLIST_ENTRY InterlockedPushEntrySList(SLIST_HEADER* head, SLIST_ENTRY* entry)
{
    std::lock_guard<std::mutex> hold(win_shim::listLock());
    SLIST_ENTRY* old = head->first;
    entry->Next = old;
    head->first = entry;
    ++head->depth;
    return old;
}

inline PSLIST_ENTRY InterlockedPopEntrySList(SLIST_HEADER* head)
{
    std::lock_guard<std::mutex> hold(win_shim::listLock());
    SLIST_ENTRY* entry = head->first;
    if (entry) {
        head->first = entry->Next;
        --head->depth;
    }
    return entry;
}

inline USHORT QueryDepthSList(SLIST_HEADER* head)
{
    std::lock_guard<std::mutex> hold(win_shim::listLock());
    return head->depth;
}

// ---- Strings and code pages ----

inline int lstrcmpW(LPCWSTR a, LPCWSTR b)
{
    const int order = std::wcscmp(a ? a : L"", b ? b : L"");
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes, LPWSTR out, int capacity);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int units, LPSTR out, int capacity,
                        LPCSTR defaultChar, LPBOOL usedDefault);
