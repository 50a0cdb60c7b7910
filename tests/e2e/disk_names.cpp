#include "tests/e2e/disk_names.h"

#include <cwctype>
#include <set>

namespace {

bool endingIn(const std::wstring& name, const std::set<std::wstring>& endings)
{
    const size_t dot = name.rfind(L'.');
    return dot != std::wstring::npos && endings.count(lowered(name.substr(dot + 1))) != 0;
}

} // namespace

std::wstring lowered(std::wstring text)
{
    for (wchar_t& unit : text) unit = static_cast<wchar_t>(std::towlower(unit));
    return text;
}

bool endsWith(const std::wstring& text, const std::wstring& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool isDeviceName(std::wstring name)
{
    name = name.substr(0, name.find(L'.'));
    while (!name.empty() && (name.back() == L' ' || name.back() == L'.')) name.pop_back();
    name = lowered(name);
    for (const wchar_t* device : {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"})
        if (name == device) return true;
    return name.size() == 4 && (name.compare(0, 3, L"com") == 0 || name.compare(0, 3, L"lpt") == 0) && name[3] >= L'0' &&
           name[3] <= L'9';
}

bool hasPictureEnding(const std::wstring& name)
{
    static const std::set<std::wstring> endings = {L"jpg", L"jpeg", L"jpe", L"jfif", L"png", L"gif", L"webp",
                                                   L"bmp", L"tif", L"tiff", L"heic", L"avif"};
    return endingIn(name, endings);
}

bool hasProgramEnding(const std::wstring& name)
{
    static const std::set<std::wstring> endings = {L"exe", L"com", L"bat", L"cmd", L"pif", L"scr", L"lnk", L"url", L"scf",
                                                   L"vbs", L"vbe", L"js", L"jse", L"wsf", L"wsh", L"hta", L"msi", L"msp",
                                                   L"cpl", L"ps1", L"reg", L"jar", L"inf", L"application", L"library-ms"};
    const size_t dot = name.rfind(L'.');
    return endingIn(name, endings) || (dot != std::wstring::npos && dot + 1 < name.size() && name[dot + 1] == L'{');
}

std::pair<long, long> finalLineCounts(const std::wstring& status)
{
    const std::wstring saved = L"当前已下载 ", queued = L"张 共 ";
    const size_t at = status.find(saved);
    if (at == std::wstring::npos) return {-1, -1};
    const size_t then = status.find(queued, at);
    return {_wtol(status.c_str() + at + saved.size()), then == std::wstring::npos ? -1 : _wtol(status.c_str() + then + queued.size())};
}
