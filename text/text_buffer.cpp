#include "text/text_buffer.h"

#include <cstring>
#include <new>

namespace {

// Capacities count bytes of UTF-16 units; storage is allocated in units, whatever size a
// wchar_t has where the buffer is built.
constexpr size_t kUnitBytes = 2;

} // namespace

TextBuffer::TextBuffer()
    : storage_(new (std::nothrow) wchar_t[kInitialCapacityBytes / kUnitBytes]())
{
    if (storage_) capacityBytes_ = kInitialCapacityBytes;
}

bool TextBuffer::reserveFor(size_t extraUnits)
{
    const size_t needed = kUnitBytes * (length_ + extraUnits + 1);
    if (storage_ && capacityBytes_ >= needed) return true;
    const size_t grown = (storage_ ? 2 * capacityBytes_ : 0) + kUnitBytes * (extraUnits + 1);
    auto bigger = std::unique_ptr<wchar_t[]>(new (std::nothrow) wchar_t[grown / kUnitBytes]());
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
