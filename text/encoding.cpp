#include "text/encoding.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <windows.h>

namespace {

// Widens the leading run of ASCII bytes (below 0x80) into `out`, eight at a time where it can;
// returns how many there were. Code page 936 and UTF-8 both give such a byte, standing first or
// after others of its kind, as the one unit of the same value, so the system need not see them.
size_t widenAsciiRun(const char* text, size_t size, wchar_t* out)
{
    size_t at = 0;
    for (; at + 8 <= size; at += 8) {
        uint64_t block;
        std::memcpy(&block, text + at, 8);
        if (block & 0x8080808080808080ULL) break;
        for (size_t i = 0; i < 8; ++i) out[at + i] = static_cast<wchar_t>(static_cast<unsigned char>(text[at + i]));
    }
    for (; at < size && static_cast<unsigned char>(text[at]) < 0x80; ++at) out[at] = static_cast<wchar_t>(text[at]);
    return at;
}

} // namespace

std::wstring toUtf16(std::string_view text, unsigned codePage)
{
    if (text.empty() || text.size() > INT_MAX) return {};
    // No code page makes more UTF-16 units than it has bytes, so one pass into a buffer of that
    // size is enough; asking for the size first would read the whole text twice.
    std::wstring result(text.size(), L'\0');
    size_t ascii = 0;
    if (codePage == kTextCodePage || codePage == kUtf8CodePage) ascii = widenAsciiRun(text.data(), text.size(), result.data());
    if (ascii == text.size()) return result;  // the service's answers: ASCII throughout
    // From the first other byte on, the system converts: it starts there on a character's start.
    const int length = static_cast<int>(text.size() - ascii);
    const int units = MultiByteToWideChar(codePage, 0, text.data() + ascii, length, result.data() + ascii, length);
    if (units <= 0) return {};
    result.resize(ascii + static_cast<size_t>(units));
    return result;
}

std::string toNarrow(std::wstring_view text, unsigned codePage)
{
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string result(static_cast<size_t>(bytes), '\0');
    if (WideCharToMultiByte(codePage, 0, text.data(), length, result.data(), bytes, nullptr, nullptr) != bytes)
        return {};
    return result;
}

std::string utf8ToNarrow(std::string_view utf8)
{
    return toNarrow(toUtf16(utf8, kUtf8CodePage));
}
