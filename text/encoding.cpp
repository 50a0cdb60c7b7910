#include "text/encoding.h"

#include <climits>
#include <windows.h>

std::wstring toUtf16(std::string_view text, unsigned codePage)
{
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (units <= 0) return {};
    std::wstring result(static_cast<size_t>(units), L'\0');
    if (MultiByteToWideChar(codePage, 0, text.data(), length, result.data(), units) != units) return {};
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
