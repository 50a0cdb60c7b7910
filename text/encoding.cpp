#include "text/encoding.h"

#include <climits>
#include <windows.h>

std::wstring toUtf16(std::string_view text, unsigned codePage)
{
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    // No code page makes more UTF-16 units than it has bytes, so one pass into a buffer of that
    // size is enough; asking for the size first would read the whole text twice.
    std::wstring result(text.size(), L'\0');
    const int units = MultiByteToWideChar(codePage, 0, text.data(), length, result.data(), length);
    if (units <= 0) return {};
    result.resize(static_cast<size_t>(units));
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
