#include "app/file_naming.h"

#include <cstdio>

#include "text/encoding.h"

namespace {

constexpr size_t kMaxCaptionBytes = 200;

bool isForbidden(wchar_t unit)
{
    return unit < 32 || unit == L'/' || unit == L'\\' || unit == L':' || unit == L'*' || unit == L'?' || unit == L'"' ||
           unit == L'<' || unit == L'>' || unit == L'|';
}

// Characters are judged whole (in UTF-16): a byte-wise filter would cut through double-byte
// characters whose second byte happens to be "\" or "|" in code page 936.
std::wstring withoutForbidden(std::wstring_view text, bool dropBlanks)
{
    std::wstring kept;
    kept.reserve(text.size());
    for (const wchar_t unit : text)
        if (!isForbidden(unit) && !(dropBlanks && unit == L' ')) kept.push_back(unit);
    return kept;
}

// The longest run of whole characters that fits in `limit` bytes of code page 936.
std::string cutToBytes(const std::wstring& text, size_t limit)
{
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t units = (i + 1 < text.size() && (text[i] >= 0xD800 && text[i] <= 0xDBFF)) ? 2 : 1;
        const std::string piece = toNarrow(std::wstring_view(text).substr(i, units));
        if (result.size() + piece.size() > limit) break;
        result += piece;
        i += units - 1;
    }
    return result;
}

bool isDeviceName(std::wstring name)
{
    const size_t dot = name.find(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    while (!name.empty() && name.back() == L' ') name.pop_back();
    for (wchar_t& unit : name)
        if (unit >= L'a' && unit <= L'z') unit = static_cast<wchar_t>(unit - L'a' + L'A');
    if (name == L"CON" || name == L"PRN" || name == L"AUX" || name == L"NUL") return true;
    return name.size() == 4 && (name.compare(0, 3, L"COM") == 0 || name.compare(0, 3, L"LPT") == 0) && name[3] >= L'1' &&
           name[3] <= L'9';
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(int64_t days, int64_t& year, unsigned& month, unsigned& day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthIndex = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

} // namespace


std::string withBackslash(std::string_view path)
{
    std::string result(path);
    if (result.empty() || result.back() != '\\') result += '\\';
    return result;
}

std::string photoTimePrefix(int64_t timestamp)
{
    const int64_t local = timestamp + 8 * 3600;
    int64_t days = local / 86400;
    int64_t seconds = local % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    int64_t year = 0;
    unsigned month = 0, day = 0;
    civilFromDays(days, year, month, day);
    char text[48];
    std::snprintf(text, sizeof text, "[%lld.%02u.%02u-%02u.%02u]", static_cast<long long>(year), month, day,
                  static_cast<unsigned>(seconds / 3600), static_cast<unsigned>(seconds % 3600 / 60));
    return text;
}

// Guarded by FileNaming.CleanCaptionDropsWhatNamesCannotHold, FileNaming.LongCaptionsAreCutWithoutSplittingACharacter.
std::string cleanCaption(std::string_view caption)
{
    // First the cut to 200 bytes (never through a character), then the deletions.
    const std::string cut = cutToBytes(toUtf16(caption), kMaxCaptionBytes);
    return toNarrow(withoutForbidden(toUtf16(cut), true));
}

// Guarded by FileNaming.SafeFolderNames.
std::string safeName(std::string_view name, std::string_view fallback)
{
    std::wstring cleaned = withoutForbidden(toUtf16(name), false);
    while (!cleaned.empty() && (cleaned.back() == L'.' || cleaned.back() == L' ')) cleaned.pop_back();
    if (cleaned.empty()) return std::string(fallback);
    if (isDeviceName(cleaned)) cleaned.insert(0, L"_");
    return cutToBytes(cleaned, 200);
}

std::string pictureFileName(int64_t timestamp, std::string_view caption, std::string_view picName)
{
    const size_t slash = picName.find_last_of("/\\");
    const std::string_view lastSegment = slash == std::string_view::npos ? picName : picName.substr(slash + 1);
    std::string name = photoTimePrefix(timestamp) + cleanCaption(caption) + "-" + safeName(lastSegment, "picture");
    const std::string_view tail = std::string_view(name).substr(name.size() >= 4 ? name.size() - 4 : 0);
    if (tail.find('.') == std::string_view::npos) name += ".jpg";
    return name;
}
