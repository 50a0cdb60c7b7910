// A thin owner of a Win32 mutex: the lock that guards state shared by the program's threads.
#pragma once

#include <atomic>
#include <string_view>

class Mutex {
public:
    static constexpr unsigned kInfinite = 0xFFFFFFFF;

    Mutex() = default;
    ~Mutex() { close(); }
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    // Both do nothing and answer true when the mutex already has a handle. Names are 8-bit
    // program text; an empty name makes an unnamed mutex.
    bool create(bool initialOwner = false, std::string_view name = {});
    bool openExisting(bool inherit, std::string_view name);
    // True when the handle was closed, or there was none.
    bool close();

    bool isValid() const { return handle_ != nullptr; }
    void* getHandle() const { return handle_; }
    // Takes ownership of the given handle, closing the one held before.
    void setHandle(void* handle);

    // True only when the mutex was acquired (an abandoned mutex counts as not acquired).
    bool lock(unsigned timeoutMs = kInfinite);
    bool unlock();

private:
    std::atomic<void*> handle_ = nullptr;
};

// Holds a Mutex for one scope.
class MutexLock {
public:
    explicit MutexLock(Mutex& mutex) : mutex_(mutex), held_(mutex.lock()) {}
    ~MutexLock()
    {
        if (held_) mutex_.unlock();
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;
    bool isHeld() const { return held_; }

private:
    Mutex& mutex_;
    bool held_;
};
