// The folder-choice dialog's answer as the program reads it: any folder the system can name is
// kept with every character, whatever the system's code page.
#include "app/shell/folder_actions.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "ui/gdi_holders.h"

namespace {

// The temporary folder in its long form, as the shell names it (Windows may give a short one).
std::wstring temporaryFolder()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring longForm(32768, L'\0');
    const DWORD length = GetLongPathNameW(temp, longForm.data(), static_cast<DWORD>(longForm.size()));
    if (length == 0 || length >= longForm.size()) return temp;
    longForm.resize(length);
    return longForm;
}

// A folder in the temporary folder whose name holds letters of no one code page.
std::wstring folderOfAnyLetters()
{
    const std::wstring folder =
        temporaryFolder() + L"piclade-J\u00F6rg-\uC0AC\uC9C4-\U0001F4F7-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

} // namespace

TEST(FolderActions, ChosenFoldersKeepEveryCharacter)
{
    const std::wstring folder = folderOfAnyLetters();
    const UniqueItemList item(ILCreateFromPathW(folder.c_str()));
    ASSERT_TRUE(item);
    const std::wstring name = folder.substr(folder.rfind(L'\\') + 1);
    EXPECT_EQ(chosenFolder(item.get(), L"  " + name + L"\t "), folder);
    // A chosen item is taken by its path, whatever its display name shows.
    EXPECT_EQ(chosenFolder(item.get(), L"?"), folder);
    RemoveDirectoryW(folder.c_str());
}

TEST(FolderActions, WhatTheDialogsOtherAnswersGive)
{
    const UniqueItemList root(ILCreateFromPathW(L"C:\\"));
    ASSERT_TRUE(root);
    EXPECT_EQ(chosenFolder(root.get(), L"C:"), L"C:\\");  // a drive root keeps its backslash
    EXPECT_EQ(chosenFolder(nullptr, L"  server  "), L"\\\\server");
    EXPECT_EQ(chosenFolder(nullptr, std::wstring(MAX_PATH - 1, L' ')), L"");  // cancelled
    EXPECT_EQ(chosenFolder(nullptr, L"??"), L"");  // a typed name the system itself could not show
}
