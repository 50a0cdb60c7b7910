#include "app/core/file_naming.h"

#include <cstdio>

#include "text/encoding.h"

namespace {

constexpr size_t kMaxCaptionBytes = 200;
constexpr size_t kMaxNameUnits = 240;

// Endings Explorer opens as pictures; any other ending (".url", ".lnk", ".exe", ...) is never
// left as the last one of a saved picture.
constexpr std::wstring_view kPictureEndings[] = {L"jpg", L"jpeg", L"jpe", L"jfif", L"png", L"gif", L"webp",
                                                 L"bmp", L"tif", L"tiff", L"heic", L"avif"};

// Endings that make Explorer run, open or redirect what carries them; a folder "x.{class id}" shows
// as a system folder. A folder name ending so has its last "." made a "_".
constexpr std::wstring_view kProgramEndings[] = {L"exe", L"com", L"bat", L"cmd", L"pif", L"scr", L"lnk", L"url", L"scf",
                                                 L"vbs", L"vbe", L"js", L"jse", L"wsf", L"wsh", L"hta", L"msi", L"msp",
                                                 L"cpl", L"ps1", L"reg", L"jar", L"inf", L"application", L"library-ms"};

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

bool isHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// The longest run of whole characters that fits in `limit` bytes of code page 936.
std::string cutToBytes(const std::wstring& text, size_t limit)
{
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t units = (i + 1 < text.size() && isHighSurrogate(text[i])) ? 2 : 1;
        const std::string piece = toNarrow(std::wstring_view(text).substr(i, units));
        if (result.size() + piece.size() > limit) break;
        result += piece;
        i += units - 1;
    }
    return result;
}

wchar_t upper(wchar_t unit) { return unit >= L'a' && unit <= L'z' ? static_cast<wchar_t>(unit - L'a' + L'A') : unit; }

bool equalIgnoringCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

bool isDeviceName(std::wstring name)
{
    const size_t dot = name.find(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    while (!name.empty() && name.back() == L' ') name.pop_back();
    for (wchar_t& unit : name) unit = upper(unit);
    if (name == L"CON" || name == L"PRN" || name == L"AUX" || name == L"NUL" || name == L"CONIN$" || name == L"CONOUT$")
        return true;
    // COM and LPT with a digit 1 to 9, or a superscript one, two or three.
    const bool digit = name.size() == 4 && ((name[3] >= L'1' && name[3] <= L'9') || name[3] == 0xB9 || name[3] == 0xB2 ||
                                            name[3] == 0xB3);
    return digit && (name.compare(0, 3, L"COM") == 0 || name.compare(0, 3, L"LPT") == 0);
}

// Letter case aside, as Explorer compares endings.
template <size_t N>
bool isOneOf(std::wstring_view ending, const std::wstring_view (&known)[N])
{
    for (const std::wstring_view one : known)
        if (equalIgnoringCase(ending, one)) return true;
    return false;
}

bool isProgramEnding(std::wstring_view ending)
{
    return (!ending.empty() && ending.front() == L'{') || isOneOf(ending, kProgramEndings);
}

// A folder name's cleaning, before the last check.
std::wstring cleanedFolderName(std::string_view name)
{
    std::wstring cleaned = toUtf16(cutToBytes(withoutForbidden(toUtf16(name), false), 200));
    while (!cleaned.empty() && (cleaned.back() == L'.' || cleaned.back() == L' ')) cleaned.pop_back();
    if (!cleaned.empty() && isDeviceName(cleaned)) cleaned.insert(0, L"_");
    const size_t dot = cleaned.rfind(L'.');
    if (dot != std::wstring::npos && isProgramEnding(std::wstring_view(cleaned).substr(dot + 1))) cleaned[dot] = L'_';
    return cleaned;
}

bool isPictureEnding(std::wstring_view ending) { return isOneOf(ending, kPictureEndings); }

// The first `units` of the text, never ending in the first half of a surrogate pair.
std::wstring cutToUnits(std::wstring_view text, size_t units)
{
    if (text.size() <= units) return std::wstring(text);
    if (units > 0 && isHighSurrogate(text[units - 1])) --units;
    return std::wstring(text.substr(0, units));
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

// Guarded by FileNaming.SafeFolderNames and EndToEndHostile.HostileNamesStayInsideTheSaveFolder.
bool isSafeName(std::wstring_view name)
{
    if (name.empty() || name.size() > kMaxNameUnits || name == L"." || name == L"..") return false;
    for (const wchar_t unit : name)
        if (isForbidden(unit)) return false;
    if (name.back() == L'.' || name.back() == L' ') return false;
    return !isDeviceName(std::wstring(name));
}

// Guarded by FileNaming.SafeFolderNames.
std::string safeName(std::string_view name, std::string_view fallback)
{
    for (const std::string_view candidate : {name, fallback}) {
        const std::wstring cleaned = cleanedFolderName(candidate);
        if (isSafeName(cleaned)) return toNarrow(cleaned);
    }
    return "_";
}

// Guarded by FileNaming.PictureFileNames and FileNaming.PictureNamesKeepTheirEndingWithinTheLimit.
std::string pictureFileName(int64_t timestamp, std::string_view caption, std::string_view picName, int copy)
{
    const size_t slash = picName.find_last_of("/\\");
    const std::string_view lastSegment = slash == std::string_view::npos ? picName : picName.substr(slash + 1);
    const std::string prefix = photoTimePrefix(timestamp);
    const std::string cleanedCaption = cleanCaption(caption);
    // Cleaned like a folder name but not cut: the length rule below cuts it, keeping its ending.
    std::wstring widePictureName = withoutForbidden(toUtf16(lastSegment), false);
    while (!widePictureName.empty() && (widePictureName.back() == L'.' || widePictureName.back() == L' ')) widePictureName.pop_back();
    std::string picture = widePictureName.empty() ? std::string("picture") : toNarrow(widePictureName);
    // ".jpg" when the last four bytes of the whole name hold no "."; then once more when what
    // ends the name is no picture's ending.
    const std::string whole = prefix + cleanedCaption + "-" + picture;
    const std::string_view tail = std::string_view(whole).substr(whole.size() >= 4 ? whole.size() - 4 : 0);
    if (tail.find('.') == std::string_view::npos) picture += ".jpg";
    std::wstring widePicture = toUtf16(picture);
    const size_t dot = widePicture.rfind(L'.');
    if (dot == std::wstring::npos || !isPictureEnding(std::wstring_view(widePicture).substr(dot + 1))) widePicture += L".jpg";

    const size_t endingAt = widePicture.rfind(L'.');
    const std::wstring ending = widePicture.substr(endingAt);
    std::wstring stem = widePicture.substr(0, endingAt);
    const std::wstring copyMark = copy > 1 ? L" (" + std::to_wstring(copy) + L")" : std::wstring();
    const std::wstring widePrefix = toUtf16(prefix);
    std::wstring wideCaption = toUtf16(cleanedCaption);
    // The caption gives way first, then the picture's own name; the prefix, "-", the copy mark
    // and the ending always fit.
    const size_t fixed = widePrefix.size() + 1 + copyMark.size() + ending.size();
    const size_t room = kMaxNameUnits > fixed ? kMaxNameUnits - fixed : 0;
    if (wideCaption.size() + stem.size() > room) {
        wideCaption = cutToUnits(wideCaption, room > stem.size() ? room - stem.size() : 0);
        stem = cutToUnits(stem, room - wideCaption.size());
    }
    const std::wstring name = widePrefix + wideCaption + L"-" + stem + copyMark + ending;
    if (isSafeName(name)) return toNarrow(name);
    return "_";
}
