// A growable UTF-16 buffer: the JSON writer's output.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

class TextBuffer {
public:
    static constexpr size_t kInitialCapacityBytes = 12;

    TextBuffer();
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    // Storage grows to 2 x capacity + 2 x n + 2 bytes whenever n more units and a terminator
    // would not fit. False (and the buffer unchanged) when memory runs out.
    bool append(std::wstring_view units);
    bool append(wchar_t unit);

    // The units written so far, as UTF-16 text.
    std::wstring take() const;

    size_t length() const { return length_; }
    size_t capacityBytes() const { return capacityBytes_; }

private:
    bool reserveFor(size_t extraUnits);

    std::unique_ptr<wchar_t[]> storage_;
    size_t capacityBytes_ = 0;
    size_t length_ = 0;
};
