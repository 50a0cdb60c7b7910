// Test memory with an inaccessible page right after (or right before) the data, so that any read
// or write outside a text faults at once instead of passing unnoticed.
#pragma once

#include <cstring>
#include <string_view>
#include <windows.h>

class GuardedUnits {
public:
    enum class Guard { After, Before };

    explicit GuardedUnits(Guard guard, size_t maxUnits = 16384) : guard_(guard)
    {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        dataBytes_ = ((maxUnits * sizeof(wchar_t) + page_ - 1) / page_) * page_;
        base_ = static_cast<char*>(VirtualAlloc(nullptr, dataBytes_ + page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        char* guardPage = guard_ == Guard::After ? base_ + dataBytes_ : base_;
        VirtualProtect(guardPage, page_, PAGE_NOACCESS, &old);
    }
    ~GuardedUnits() { VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedUnits(const GuardedUnits&) = delete;
    GuardedUnits& operator=(const GuardedUnits&) = delete;

    bool isValid() const { return base_ != nullptr; }

    // Copies the text so that it ends exactly at the guard page, or starts right after it.
    wchar_t* place(std::wstring_view text)
    {
        wchar_t* at = guard_ == Guard::After
                          ? reinterpret_cast<wchar_t*>(base_ + dataBytes_) - text.size()
                          : reinterpret_cast<wchar_t*>(base_ + page_);
        if (!text.empty()) std::memcpy(at, text.data(), text.size() * sizeof(wchar_t));
        return at;
    }

private:
    Guard guard_;
    size_t page_ = 4096;
    size_t dataBytes_ = 0;
    char* base_ = nullptr;
};
