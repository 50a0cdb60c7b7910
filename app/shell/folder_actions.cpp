#include "app/shell/folder_actions.h"

#include <shlobj.h>
#include <windows.h>

#include "app/core/file_store.h"
#include "tasks/message_pump.h"
#include "ui/gdi_holders.h"

namespace {

std::wstring trimmed(std::wstring text)
{
    const wchar_t* blanks = L" \t\r\n\v\f";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

} // namespace

// Guarded by FolderActions.ChosenFoldersKeepEveryCharacter.
std::wstring chosenFolder(PCIDLIST_ABSOLUTE item, std::wstring_view displayName)
{
    const std::wstring name = trimmed(std::wstring(displayName));
    std::wstring result;
    if (item) {
        // A chosen folder may lie deeper than MAX_PATH: the longest path the file functions take.
        std::wstring path(32768, L'\0');
        if (SHGetPathFromIDListEx(item, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT))
            result.assign(path.c_str());
        if (result.size() == 3) result.resize(2);  // "D:\" -> "D:", the backslash comes back below
    } else if (!name.empty() && name.find(L'?') == std::wstring::npos) {
        // A name typed without an item, unless the system itself could not show it.
        result = L"\\\\" + name;
    }
    if (result.size() == 2) result += L"\\";
    return result;
}

std::wstring browseForFolder(std::wstring_view title)
{
    UniqueItemList root;
    static_cast<void>(SHGetFolderLocation(nullptr, CSIDL_DESKTOP, nullptr, 0, root.put()));  // without it: the whole namespace
    wchar_t displayName[MAX_PATH];
    wmemset(displayName, L' ', MAX_PATH - 1);
    displayName[MAX_PATH - 1] = 0;
    const std::wstring wideTitle(title);
    BROWSEINFOW info{};
    info.pidlRoot = root.get();
    info.pszDisplayName = displayName;
    info.lpszTitle = wideTitle.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_STATUSTEXT | BIF_EDITBOX | BIF_VALIDATE | BIF_NEWDIALOGSTYLE;
    const UniqueItemList item(SHBrowseForFolderW(&info));
    return chosenFolder(item.get(), displayName);
}

bool openAlbumFolder(std::wstring_view path)
{
    const std::wstring wide(path);
    if (wide.empty() || GetFileAttributesW(fileFunctionPath(wide).c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    // The shell takes the ordinary form of the path.
    const UniqueItemList item(ILCreateFromPathW(wide.c_str()));
    pumpPendingMessages();
    if (!item) return false;
    return SHOpenFolderAndSelectItems(item.get(), 0, nullptr, 0) == S_OK;
}
