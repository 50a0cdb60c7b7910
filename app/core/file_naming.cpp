#include "app/core/file_naming.h"

#include <cstdio>
#include <cwctype>

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

bool isHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The UTF-16 units of the character that starts at `at`: a surrogate pair is one character.
size_t characterUnits(std::wstring_view text, size_t at)
{
    return at + 1 < text.size() && isHighSurrogate(text[at]) && isLowSurrogate(text[at + 1]) ? 2 : 1;
}

// Characters are judged whole (in UTF-16): a byte-wise filter would cut through double-byte
// characters whose second byte happens to be "\" or "|" in code page 936. Half of a surrogate
// pair alone (a broken escape) is no character and goes too.
std::wstring withoutForbidden(std::wstring_view text, bool dropBlanks)
{
    std::wstring kept;
    kept.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t units = characterUnits(text, at);
        const wchar_t unit = text[at];
        const bool loneHalf = units == 1 && (isHighSurrogate(unit) || isLowSurrogate(unit));
        if (!loneHalf && !isForbidden(unit) && !(dropBlanks && unit == L' ')) kept.append(text.substr(at, units));
        at += units;
    }
    return kept;
}

// The bytes one character takes in code page 936, or in UTF-8 when that code page lacks it: a
// code page 936 name is cut where its own bytes say, and a name of other letters stays within
// what a file system of UTF-8 names holds.
size_t characterBytes(std::wstring_view character)
{
    const wchar_t first = character.front();
    if (first < 0x80) return 1;
    if (first >= 0x4E00 && first <= 0x9FA5) return 2;  // the common ideographs, all in code page 936
    const std::string narrow = toNarrow(character);
    if (toUtf16(narrow) == character) return narrow.size();
    if (character.size() == 2) return 4;
    return first < 0x800 ? 2 : 3;
}

// The longest run of whole characters that fits in `limit` bytes.
std::wstring cutToBytes(std::wstring_view text, size_t limit)
{
    size_t bytes = 0;
    size_t at = 0;
    while (at < text.size()) {
        const size_t units = characterUnits(text, at);
        bytes += characterBytes(text.substr(at, units));
        if (bytes > limit) break;
        at += units;
    }
    return std::wstring(text.substr(0, at));
}

// Whether a "." is among the characters that hold the last `limit` bytes of the text. Code page
// 936 never has a "." as the second byte of a character, so for its texts this is the byte test.
bool dotInLastBytes(std::wstring_view text, size_t limit)
{
    size_t bytes = 0;
    size_t at = text.size();
    while (at > 0 && bytes < limit) {
        const size_t units = at >= 2 && isHighSurrogate(text[at - 2]) && isLowSurrogate(text[at - 1]) ? 2 : 1;
        at -= units;
        if (text[at] == L'.') return true;
        bytes += characterBytes(text.substr(at, units));
    }
    return false;
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
std::wstring cleanedFolderName(std::wstring_view name)
{
    std::wstring cleaned = cutToBytes(withoutForbidden(name, false), kMaxCaptionBytes);
    while (!cleaned.empty() && (cleaned.back() == L'.' || cleaned.back() == L' ')) cleaned.pop_back();
    if (!cleaned.empty() && isDeviceName(cleaned)) cleaned.insert(0, L"_");
    const size_t dot = cleaned.rfind(L'.');
    if (dot != std::wstring::npos && isProgramEnding(std::wstring_view(cleaned).substr(dot + 1))) cleaned[dot] = L'_';
    return cleaned;
}

bool isPictureEnding(std::wstring_view ending) { return isOneOf(ending, kPictureEndings); }

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

std::wstring cutToUnits(std::wstring_view text, size_t units)
{
    if (text.size() <= units) return std::wstring(text);
    if (units > 0 && isHighSurrogate(text[units - 1])) --units;
    return std::wstring(text.substr(0, units));
}

std::wstring withBackslash(std::wstring_view path)
{
    std::wstring result(path);
    if (result.empty() || result.back() != L'\\') result += L'\\';
    return result;
}

bool beginsWithPhotoTime(std::wstring_view name)
{
    // "[", the year (a sign before it for times before year 0), then ".MM.DD-hh.mm]".
    size_t at = 0;
    if (at >= name.size() || name[at++] != L'[') return false;
    if (at < name.size() && name[at] == L'-') ++at;
    const size_t yearStart = at;
    while (at < name.size() && iswdigit(name[at])) ++at;
    if (at == yearStart) return false;
    for (const wchar_t separator : {L'.', L'.', L'-', L'.'}) {
        if (at + 3 > name.size() || name[at] != separator || !iswdigit(name[at + 1]) || !iswdigit(name[at + 2])) return false;
        at += 3;
    }
    return at < name.size() && name[at] == L']';
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
std::wstring cleanCaption(std::wstring_view caption)
{
    // First the cut to 200 bytes (never through a character), then the deletions.
    return withoutForbidden(cutToBytes(caption, kMaxCaptionBytes), true);
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
std::wstring safeName(std::wstring_view name, std::wstring_view fallback)
{
    for (const std::wstring_view candidate : {name, fallback}) {
        std::wstring cleaned = cleanedFolderName(candidate);
        if (isSafeName(cleaned)) return cleaned;
    }
    return L"_";
}

// Guarded by FileNaming.PictureFileNames and FileNaming.PictureNamesKeepTheirEndingWithinTheLimit.
std::wstring pictureFileName(int64_t timestamp, std::wstring_view caption, std::wstring_view picName, int copy)
{
    const size_t slash = picName.find_last_of(L"/\\");
    const std::wstring_view lastSegment = slash == std::wstring_view::npos ? picName : picName.substr(slash + 1);
    const std::wstring prefix = toUtf16(photoTimePrefix(timestamp));
    std::wstring wideCaption = cleanCaption(caption);
    // Cleaned like a folder name but not cut: the length rule below cuts it, keeping its ending.
    std::wstring picture = withoutForbidden(lastSegment, false);
    while (!picture.empty() && (picture.back() == L'.' || picture.back() == L' ')) picture.pop_back();
    if (picture.empty()) picture = L"picture";
    // ".jpg" when the last four bytes of the whole name hold no "."; then once more when what
    // ends the name is no picture's ending.
    if (!dotInLastBytes(prefix + wideCaption + L"-" + picture, 4)) picture += L".jpg";
    const size_t dot = picture.rfind(L'.');
    if (dot == std::wstring::npos || !isPictureEnding(std::wstring_view(picture).substr(dot + 1))) picture += L".jpg";

    const size_t endingAt = picture.rfind(L'.');
    const std::wstring ending = picture.substr(endingAt);
    std::wstring stem = picture.substr(0, endingAt);
    const std::wstring copyMark = copy > 1 ? L" (" + std::to_wstring(copy) + L")" : std::wstring();
    // The caption gives way first, then the picture's own name; the prefix, "-", the copy mark
    // and the ending always fit.
    const size_t fixed = prefix.size() + 1 + copyMark.size() + ending.size();
    const size_t room = kMaxNameUnits > fixed ? kMaxNameUnits - fixed : 0;
    if (wideCaption.size() + stem.size() > room) {
        wideCaption = cutToUnits(wideCaption, room > stem.size() ? room - stem.size() : 0);
        stem = cutToUnits(stem, room - wideCaption.size());
    }
    std::wstring name = prefix + wideCaption + L"-" + stem + copyMark + ending;
    if (isSafeName(name)) return name;
    return L"_";
}

bool isPictureFileName(std::wstring_view name)
{
    const size_t dot = name.rfind(L'.');
    return isSafeName(name) && beginsWithPhotoTime(name) && dot != std::wstring_view::npos && isPictureEnding(name.substr(dot + 1));
}
