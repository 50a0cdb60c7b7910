#include "app/core/file_store.h"

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

std::string withSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    return folder;
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

TEST(FileStore, AFileHeldForAMomentIsReplacedOnceItIsLetGo)
{
    // A scanner or indexer that opens the picture for a moment delays the rename, never fails it.
    const std::string folder = tempRoot() + "scanned\\";
    ASSERT_TRUE(ensureFolder(folder));
    ASSERT_EQ(writePictureFile(folder, "a.jpg", "old"), 0u);
    HANDLE held = CreateFileW(toUtf16(folder + "a.jpg").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HANDLE releaser = CreateThread(nullptr, 0, [](void* file) -> DWORD {
        Sleep(300);
        CloseHandle(file);
        return 0;
    }, held, 0, nullptr);
    ASSERT_NE(releaser, nullptr);
    EXPECT_EQ(writePictureFile(folder, "a.jpg", "new"), 0u);
    WaitForSingleObject(releaser, INFINITE);
    CloseHandle(releaser);
    EXPECT_EQ(readFile(folder + "a.jpg"), "new");
    EXPECT_EQ(filesIn(folder), 1);
}

TEST(FileStore, PathsInsideTheSaveFolder)
{
    const std::string root = tempRoot() + "save\\";
    EXPECT_TRUE(isPathInside(root + "owner\\album\\", root));
    EXPECT_TRUE(isPathInside(root + "owner\\a.jpg", root.substr(0, root.size() - 1)));
    EXPECT_TRUE(isPathInside(root + "....escape\\", root));  // dots inside a name are a name
    EXPECT_FALSE(isPathInside(root, root));
    EXPECT_FALSE(isPathInside(root + "..\\..\\escape_oid\\", root));
    EXPECT_FALSE(isPathInside(root + "owner\\..\\..\\x.jpg", root));
    EXPECT_FALSE(isPathInside(root + "owner/../../x.jpg", root));
    EXPECT_FALSE(isPathInside(root.substr(0, root.size() - 1) + "-beside\\x.jpg", root));  // a sibling sharing the prefix
    EXPECT_FALSE(isPathInside("C:\\elsewhere\\x.jpg", root));
    // Case does not make another folder on Windows.
    std::string upper = root;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    EXPECT_TRUE(isPathInside(upper + "x.jpg", root));
}

// A disk too small for the picture: CI mounts one (PICLADE_SMALL_DISK names it, as Wine sees it).
TEST(FileStore, AShortWriteOnAFullDiskIsAFailureAndLeavesNothing)
{
    char disk[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("PICLADE_SMALL_DISK", disk, sizeof disk) || GetFileAttributesA(disk) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no small disk mounted";
    const std::string folder = withSlash(disk);
    const std::string picture(122880, 'p');
    const unsigned long error = writePictureFile(folder, "big.jpg", picture);
    EXPECT_EQ(error, static_cast<unsigned long>(ERROR_DISK_FULL));
    EXPECT_EQ(readFile(folder + "big.jpg"), "<missing>");
    EXPECT_EQ(filesIn(folder), 0);  // the temporary file is gone too
}

namespace {

std::string readLongPath(const std::string& path) { return readFile("\\\\?\\" + path); }

} // namespace

TEST(FileStore, PicturesArriveInAFolderDeeperThanMaxPath)
{
    std::string folder = tempRoot();
    for (int level = 0; folder.size() <= 300; ++level) {
        folder += "第" + std::to_string(level) + "层" + std::string(40, 'd') + "\\";
        ASSERT_TRUE(ensureFolder(folder)) << folder.size();
    }
    const std::string name = "[2017.09.02-12.00]" + std::string(60, 'p') + "-picture.jpg";
    ASSERT_GT(toUtf16(folder + name).size(), static_cast<size_t>(MAX_PATH));
    EXPECT_EQ(writePictureFile(folder, name, "deep bytes"), 0u);
    EXPECT_EQ(readLongPath(folder + name), "deep bytes");
    EXPECT_EQ(writePictureFile(folder, name, "replaced"), 0u);
    EXPECT_EQ(readLongPath(folder + name), "replaced");
}

TEST(FileStore, ANameAtTheLengthLimitIsWrittenThroughATemporaryNameThatFitsToo)
{
    const std::string folder = tempRoot() + "limit\\";
    ASSERT_TRUE(ensureFolder(folder));
    const std::string name = std::string(251, 'n') + ".jpg";  // 255 units, the longest a name can be
    EXPECT_EQ(writePictureFile(folder, name, "bytes"), 0u);
    EXPECT_EQ(readFile(folder + name), "bytes");
    EXPECT_EQ(filesIn(folder), 1);
}

TEST(FileStore, TemporaryNamesAreNoLongerThanTheNameAndNeverAPictures)
{
    const std::wstring name = L"[2017.09.02-12.00]旅行-abc.jpg";
    const std::wstring first = temporaryPictureName(name, 0x24);
    const std::wstring second = temporaryPictureName(name, 0x25);
    EXPECT_EQ(first.size(), name.size());
    EXPECT_NE(first, second);  // one per writer thread
    EXPECT_EQ(first.substr(first.size() - 4).find(L'.'), std::wstring::npos);  // no extension at its end
    EXPECT_EQ(first.compare(0, 10, name, 0, 10), 0);
    EXPECT_LE(temporaryPictureName(L"a.jpg", 4294967295u).size(), 5u);
    // Never half of a character outside the basic plane.
    const std::wstring wide = L"[2017]\U0002A6A5\U0002A6A5\U0002A6A5.png";
    for (unsigned long thread : {1ul, 36ul * 36ul * 36ul, 4294967295ul}) {
        const std::wstring temporary = temporaryPictureName(wide, thread);
        EXPECT_LE(temporary.size(), wide.size());
        for (size_t i = 0; i < temporary.size(); ++i) {
            const bool high = temporary[i] >= 0xD800 && temporary[i] <= 0xDBFF;
            if (high) {
                EXPECT_TRUE(i + 1 < temporary.size() && temporary[i + 1] >= 0xDC00 && temporary[i + 1] <= 0xDFFF) << thread;
            }
        }
    }
}

TEST(FileStore, LongPathsTakeTheExtendedFormShortOnesStayAsTheyAre)
{
    EXPECT_EQ(fileFunctionPath(L"C:\\相册\\a.jpg"), L"C:\\相册\\a.jpg");
    const std::wstring deep = L"D:\\" + std::wstring(300, L'x') + L"/a.jpg";
    EXPECT_EQ(fileFunctionPath(deep), L"\\\\?\\D:\\" + std::wstring(300, L'x') + L"\\a.jpg");
    EXPECT_EQ(fileFunctionPath(L"\\\\server\\share\\" + std::wstring(300, L'y')),
              L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L'y'));
    EXPECT_EQ(fileFunctionPath(L"\\\\?\\D:\\" + std::wstring(300, L'z')), L"\\\\?\\D:\\" + std::wstring(300, L'z'));
}
