#include "text/text_buffer.h"

#include <cstring>
#include <new>

TextBuffer::TextBuffer()
    : storage_(new (std::nothrow) wchar_t[kInitialCapacityBytes / sizeof(wchar_t)]())
{
    if (storage_) capacityBytes_ = kInitialCapacityBytes;
}

bool TextBuffer::reserveFor(size_t extraUnits)
{
    const size_t needed = 2 * (length_ + extraUnits) + 2;
    if (storage_ && capacityBytes_ >= needed) return true;
    const size_t grown = storage_ ? 2 * capacityBytes_ + 2 * extraUnits + 2 : 2 * extraUnits + 2;
    auto bigger = std::unique_ptr<wchar_t[]>(new (std::nothrow) wchar_t[grown / sizeof(wchar_t)]());
    if (!bigger) return false;
    if (storage_) std::memcpy(bigger.get(), storage_.get(), length_ * sizeof(wchar_t));
    storage_ = std::move(bigger);
    capacityBytes_ = grown;
    return true;
}

bool TextBuffer::append(std::wstring_view units)
{
    if (units.empty()) return true;
    if (!reserveFor(units.size())) return false;
    std::memcpy(storage_.get() + length_, units.data(), units.size() * sizeof(wchar_t));
    length_ += units.size();
    return true;
}

bool TextBuffer::append(wchar_t unit) { return append(std::wstring_view(&unit, 1)); }

std::wstring TextBuffer::take() const
{
    if (!storage_) return {};
    return std::wstring(storage_.get(), length_);
}
