// The folder-choice dialog's answer as the program reads it: any folder the system can name is
// kept with every character, whatever the system's code page.
#include "app/shell/folder_actions.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "ui/gdi_holders.h"

namespace {

// A folder in the temporary folder whose name holds letters of no one code page.
std::wstring folderOfAnyLetters()
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"piclade-J\u00F6rg-\uC0AC\uC9C4-\U0001F4F7-" + std::to_wstring(GetCurrentProcessId());
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
    RemoveDirectoryW(folder.c_str());
}

TEST(FolderActions, WhatTheDialogsOtherAnswersGive)
{
    const UniqueItemList root(ILCreateFromPathW(L"C:\\"));
    ASSERT_TRUE(root);
    EXPECT_EQ(chosenFolder(root.get(), L"C:"), L"C:\\");  // a drive root keeps its backslash
    EXPECT_EQ(chosenFolder(nullptr, L"  server  "), L"\\\\server");
    EXPECT_EQ(chosenFolder(nullptr, std::wstring(MAX_PATH - 1, L' ')), L"");  // cancelled
    EXPECT_EQ(chosenFolder(root.get(), L"??"), L"");  // a name the system itself could not show
}
