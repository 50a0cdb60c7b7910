// The program under automation: its process, started by us, and memory inside it for the
// control messages whose arguments Windows does not carry across processes.
#pragma once

#include <windows.h>

#include <string>

// One owned handle, closed once.
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle() { reset(); }
    OwnedHandle(OwnedHandle&& other) noexcept : handle_(other.release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = other.release();
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE release()
    {
        HANDLE taken = handle_;
        handle_ = nullptr;
        return taken;
    }
    void reset()
    {
        if (*this) CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

// A block of memory in another process, freed with it.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, size_t size);
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool valid() const { return address_ != nullptr; }
    void* address() const { return address_; }
    LPARAM param() const { return reinterpret_cast<LPARAM>(address_); }
    bool write(const void* data, size_t size, size_t offset = 0);
    bool read(void* data, size_t size, size_t offset = 0) const;

private:
    HANDLE process_;
    void* address_ = nullptr;
};

// A started program: its process and its main thread, and the exit code once it ended.
class RemoteProcess {
public:
    // Starts `commandLine` in `folder` (empty: the current one); false with the system's error
    // in lastError() when it could not start.
    bool start(const std::wstring& commandLine, const std::wstring& folder);
    // Adopts a program already running (the first with a window titled `title`).
    bool attach(HWND window);

    HANDLE handle() const { return process_.get(); }
    DWORD id() const { return id_; }
    DWORD lastError() const { return error_; }
    // Waits for the end; false when it is still running after `ms`.
    bool waitExit(DWORD ms, DWORD* exitCode) const;
    bool running() const;
    // The most memory the process has held, in bytes (peak working set).
    size_t peakMemory() const;
    // The memory only this process holds (private bytes) now.
    size_t privateBytes() const;
    // Processor time the process has used, user and kernel together, in milliseconds.
    double cpuMilliseconds() const;

private:
    OwnedHandle process_;
    DWORD id_ = 0;
    DWORD error_ = 0;
};
