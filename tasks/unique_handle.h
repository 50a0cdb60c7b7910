// Move-only owners of Windows handles: one type per release function and empty value, so that a
// raw handle in this program is borrowed and a Unique* one is owned. The kernel, file and COM
// memory owners are here; ui/gdi_holders.h adds those of GDI objects, icons, cursors and item lists.
#pragma once

#include <cstdint>
#include <utility>
#include <windows.h>

#include <objbase.h>

// `Empty` is an integer because a handle constant such as INVALID_HANDLE_VALUE cannot be a
// template argument.
template <typename T, auto Release, intptr_t Empty = 0>
class UniqueResource {
public:
    using pointer = T;
    static T empty() { return reinterpret_cast<T>(Empty); }

    UniqueResource() = default;
    explicit UniqueResource(T value) : value_(value) {}
    ~UniqueResource() { reset(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != empty(); }
    // Gives the handle up unreleased; the caller owns it now.
    [[nodiscard]] T release() { return std::exchange(value_, empty()); }
    // Releases the handle held and takes `value`; taking the held one again keeps it.
    void reset(T value = empty())
    {
        const T previous = std::exchange(value_, value);
        if (previous != empty() && previous != value) Release(previous);
    }
    // Releases the handle now and says whether that worked: closing a file may be where its last
    // write fails. (For release functions that report success.)
    [[nodiscard]] bool close()
    {
        const T value = release();
        return value == empty() || Release(value);
    }
    // Where a creating call writes its new handle, after the one held is released.
    T* put()
    {
        reset();
        return &value_;
    }

private:
    T value_ = empty();
};

using UniqueHandle = UniqueResource<HANDLE, CloseHandle>;
// CreateFile fails with INVALID_HANDLE_VALUE, not null.
using UniqueFile = UniqueResource<HANDLE, CloseHandle, -1>;
// FindFirstFile fails with INVALID_HANDLE_VALUE too, and its handle is closed by FindClose.
using UniqueFind = UniqueResource<HANDLE, FindClose, -1>;
using UniqueCoTaskMem = UniqueResource<void*, CoTaskMemFree>;
// Memory of GlobalAlloc and LocalAlloc (what CommandLineToArgvW and FormatMessage hand back).
using UniqueHGlobal = UniqueResource<HGLOBAL, GlobalFree>;
template <typename T>
using UniqueLocal = UniqueResource<T, LocalFree>;
