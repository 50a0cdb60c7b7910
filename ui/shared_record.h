// A counted handle on a record that several objects share (a picture, an image list): copies add
// a reference, and the last one lets the record release its resources and frees it. The record
// type provides `std::atomic<long> refs` (starting at 1) and `releaseResources()`.
#pragma once

#include <atomic>

template <typename Record>
class SharedRecord {
public:
    SharedRecord() = default;
    ~SharedRecord() { reset(); }
    SharedRecord(const SharedRecord& other) : record_(other.record_)
    {
        if (record_) ++record_->refs;
    }
    SharedRecord& operator=(const SharedRecord& other)
    {
        if (other.record_) ++other.record_->refs;
        reset();
        record_ = other.record_;
        return *this;
    }
    SharedRecord(SharedRecord&& other) noexcept : record_(other.record_) { other.record_ = nullptr; }
    SharedRecord& operator=(SharedRecord&& other) noexcept
    {
        if (this != &other) {
            reset();
            record_ = other.record_;
            other.record_ = nullptr;
        }
        return *this;
    }

    Record* get() const { return record_; }
    Record* operator->() const { return record_; }
    explicit operator bool() const { return record_ != nullptr; }

    // The record, made on first use.
    Record* ensure()
    {
        if (!record_) {
            record_ = new Record();
            ++live_;
        }
        return record_;
    }

    // Records alive in the process (for leak checks).
    static long live() { return live_; }

private:
    void reset()
    {
        if (record_ && --record_->refs == 0) {
            record_->releaseResources();
            delete record_;
            --live_;
        }
        record_ = nullptr;
    }

    Record* record_ = nullptr;
    static inline std::atomic<long> live_ = 0;
};
