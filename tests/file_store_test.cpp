#include "app/file_store.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "text/encoding.h"

namespace {

std::string tempRoot()
{
    wchar_t path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, path);
    std::string root = toNarrow(path) + "piclade-test-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryW(toUtf16(root).c_str(), nullptr);
    return root;
}

std::string readFile(const std::string& path)
{
    HANDLE file = CreateFileW(toUtf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[4096];
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer, &read, nullptr);
    CloseHandle(file);
    return std::string(buffer, read);
}

int filesIn(const std::string& folder)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(toUtf16(folder + "*").c_str(), &data);
    int count = 0;
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++count;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return count;
}

} // namespace

TEST(FileStore, FoldersWithChineseNames)
{
    const std::string root = tempRoot();
    const std::string owner = root + "摄影师小王\\";
    EXPECT_TRUE(ensureFolder(owner));
    EXPECT_TRUE(ensureFolder(owner));  // already there
    EXPECT_TRUE(ensureFolder(owner + "旅行 2017"));
    EXPECT_FALSE(ensureFolder(root + "missing\\deeper"));  // only the last level is made
}

TEST(FileStore, WritesReplaceAndLeaveNoTemporaryFile)
{
    const std::string folder = tempRoot() + "相册\\";
    ASSERT_TRUE(ensureFolder(folder));
    EXPECT_EQ(writePictureFile(folder, "[1970.01.01-08.00]-abc.jpg", "first"), 0u);
    EXPECT_EQ(writePictureFile(folder, "[1970.01.01-08.00]-abc.jpg", "second"), 0u);
    EXPECT_EQ(readFile(folder + "[1970.01.01-08.00]-abc.jpg"), "second");
    EXPECT_EQ(writePictureFile(folder, "empty.jpg", ""), 0u);
    EXPECT_EQ(readFile(folder + "empty.jpg"), "");
    EXPECT_EQ(filesIn(folder), 2);
}

TEST(FileStore, AMissingFolderFailsWithItsCodeAndLeavesNothing)
{
    const std::string folder = tempRoot() + "nowhere\\";
    EXPECT_EQ(writePictureFile(folder, "a.jpg", "bytes"), static_cast<unsigned long>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(readFile(folder + "a.jpg"), "<missing>");
}

TEST(FileStore, AFileHeldOpenElsewhereIsNotReplaced)
{
    const std::string folder = tempRoot() + "held\\";
    ASSERT_TRUE(ensureFolder(folder));
    ASSERT_EQ(writePictureFile(folder, "a.jpg", "old"), 0u);
    HANDLE held = CreateFileW(toUtf16(folder + "a.jpg").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_NE(writePictureFile(folder, "a.jpg", "new"), 0u);
    CloseHandle(held);
    EXPECT_EQ(readFile(folder + "a.jpg"), "old");
    EXPECT_EQ(filesIn(folder), 1);  // the temporary file is gone
}
