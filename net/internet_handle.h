// Owners of WinHTTP handles: each session, connection and request is closed by exactly one holder.
#pragma once

#include <utility>

class InternetHandle {
public:
    InternetHandle() = default;
    explicit InternetHandle(void* handle) : handle_(handle) {}
    ~InternetHandle() { reset(); }
    InternetHandle(InternetHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    InternetHandle& operator=(InternetHandle&& other) noexcept
    {
        if (this != &other) reset(std::exchange(other.handle_, nullptr));
        return *this;
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;

    void* get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    // Closes the held handle (if any) and holds the new one.
    void reset(void* handle = nullptr);
    // Gives the handle up without closing it (someone else already closed it).
    void* release() { return std::exchange(handle_, nullptr); }

private:
    void* handle_ = nullptr;
};
