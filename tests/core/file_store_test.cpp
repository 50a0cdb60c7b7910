#include "app/core/file_store.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "text/encoding.h"

namespace {

std::wstring tempRoot()
{
    wchar_t path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, path);
    std::wstring root = std::wstring(path) + L"piclade-test-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(root.c_str(), nullptr);
    return root;
}

std::string readFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[4096];
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer, &read, nullptr);
    CloseHandle(file);
    return std::string(buffer, read);
}

std::wstring withSlash(std::wstring folder)
{
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    return folder;
}

int filesIn(const std::wstring& folder)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
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
    const std::wstring root = tempRoot();
    const std::wstring owner = root + L"摄影师小王\\";
    EXPECT_TRUE(ensureFolder(owner));
    EXPECT_TRUE(ensureFolder(owner));  // already there
    EXPECT_TRUE(ensureFolder(owner + L"旅行 2017"));
    EXPECT_FALSE(ensureFolder(root + L"missing\\deeper"));  // only the last level is made
}

TEST(FileStore, WritesReplaceAndLeaveNoTemporaryFile)
{
    const std::wstring folder = tempRoot() + L"相册\\";
    ASSERT_TRUE(ensureFolder(folder));
    EXPECT_EQ(writePictureFile(folder, L"[1970.01.01-08.00]-abc.jpg", "first"), 0u);
    EXPECT_EQ(writePictureFile(folder, L"[1970.01.01-08.00]-abc.jpg", "second"), 0u);
    EXPECT_EQ(readFile(folder + L"[1970.01.01-08.00]-abc.jpg"), "second");
    EXPECT_EQ(writePictureFile(folder, L"empty.jpg", ""), 0u);
    EXPECT_EQ(readFile(folder + L"empty.jpg"), "");
    EXPECT_EQ(filesIn(folder), 2);
}

TEST(FileStore, AMissingFolderFailsWithItsCodeAndLeavesNothing)
{
    const std::wstring folder = tempRoot() + L"nowhere\\";
    EXPECT_EQ(writePictureFile(folder, L"a.jpg", "bytes"), static_cast<unsigned long>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(readFile(folder + L"a.jpg"), "<missing>");
}

TEST(FileStore, AFileHeldOpenElsewhereIsNotReplaced)
{
    const std::wstring folder = tempRoot() + L"held\\";
    ASSERT_TRUE(ensureFolder(folder));
    ASSERT_EQ(writePictureFile(folder, L"a.jpg", "old"), 0u);
    HANDLE held = CreateFileW((folder + L"a.jpg").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_NE(writePictureFile(folder, L"a.jpg", "new"), 0u);
    CloseHandle(held);
    EXPECT_EQ(readFile(folder + L"a.jpg"), "old");
    EXPECT_EQ(filesIn(folder), 1);  // the temporary file is gone
}

namespace {

// A thread routine has the system's calling convention, which on x86 no lambda has.
DWORD WINAPI closeAfterAMoment(void* file)
{
    Sleep(300);
    CloseHandle(file);
    return 0;
}

} // namespace

TEST(FileStore, AFileHeldForAMomentIsReplacedOnceItIsLetGo)
{
    // A scanner or indexer that opens the picture for a moment delays the rename, never fails it.
    const std::wstring folder = tempRoot() + L"scanned\\";
    ASSERT_TRUE(ensureFolder(folder));
    ASSERT_EQ(writePictureFile(folder, L"a.jpg", "old"), 0u);
    HANDLE held = CreateFileW((folder + L"a.jpg").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    HANDLE releaser = CreateThread(nullptr, 0, closeAfterAMoment, held, 0, nullptr);
    ASSERT_NE(releaser, nullptr);
    EXPECT_EQ(writePictureFile(folder, L"a.jpg", "new"), 0u);
    WaitForSingleObject(releaser, INFINITE);
    CloseHandle(releaser);
    EXPECT_EQ(readFile(folder + L"a.jpg"), "new");
    EXPECT_EQ(filesIn(folder), 1);
}

// Names of letters no one code page holds reach the disk as they are, as a program folder or
// profile folder of such a name does.
TEST(FileStore, FoldersAndPicturesOfAnyLetters)
{
    const std::wstring save = tempRoot() + L"J\u00F6rg-\uC0AC\uC9C4-\U0001F4F7\\";
    ASSERT_TRUE(ensureFolder(save));
    const std::wstring album = save + L"\u65C5\u4EBA\U0001F697\\\u65C5\u884C\u2708\\";
    ASSERT_TRUE(ensureFolder(save + L"\u65C5\u4EBA\U0001F697\\"));
    ASSERT_TRUE(ensureFolder(album));
    EXPECT_TRUE(isPathInside(album, save));
    EXPECT_FALSE(isPathInside(save + L"..\\x\\", save));
    const std::wstring name = L"[1970.01.01-08.00]\uAE40\U0001F697-p.jpg";
    EXPECT_EQ(writePictureFile(album, name, "bytes"), 0u);
    EXPECT_EQ(readFile(album + name), "bytes");
    EXPECT_EQ(filesIn(album), 1);
}

TEST(FileStore, PathsInsideTheSaveFolder)
{
    const std::wstring root = tempRoot() + L"save\\";
    EXPECT_TRUE(isPathInside(root + L"owner\\album\\", root));
    EXPECT_TRUE(isPathInside(root + L"owner\\a.jpg", root.substr(0, root.size() - 1)));
    EXPECT_TRUE(isPathInside(root + L"....escape\\", root));  // dots inside a name are a name
    EXPECT_FALSE(isPathInside(root, root));
    EXPECT_FALSE(isPathInside(root + L"..\\..\\escape_oid\\", root));
    EXPECT_FALSE(isPathInside(root + L"owner\\..\\..\\x.jpg", root));
    EXPECT_FALSE(isPathInside(root + L"owner/../../x.jpg", root));
    EXPECT_FALSE(isPathInside(root.substr(0, root.size() - 1) + L"-beside\\x.jpg", root));  // a sibling sharing the prefix
    EXPECT_FALSE(isPathInside(L"C:\\elsewhere\\x.jpg", root));
    // Case does not make another folder on Windows.
    std::wstring upper = root;
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    EXPECT_TRUE(isPathInside(upper + L"x.jpg", root));
}

// A disk too small for the picture: CI mounts one (PICLADE_SMALL_DISK names it, as Wine sees it).
TEST(FileStore, AShortWriteOnAFullDiskIsAFailureAndLeavesNothing)
{
    wchar_t disk[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"PICLADE_SMALL_DISK", disk, MAX_PATH) || GetFileAttributesW(disk) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no small disk mounted";
    const std::wstring folder = withSlash(disk);
    const std::string picture(122880, 'p');
    const unsigned long error = writePictureFile(folder, L"big.jpg", picture);
    EXPECT_EQ(error, static_cast<unsigned long>(ERROR_DISK_FULL));
    EXPECT_EQ(readFile(folder + L"big.jpg"), "<missing>");
    EXPECT_EQ(filesIn(folder), 0);  // the temporary file is gone too
}

namespace {

std::string readLongPath(const std::wstring& path) { return readFile(L"\\\\?\\" + path); }

} // namespace

TEST(FileStore, PicturesArriveInAFolderDeeperThanMaxPath)
{
    std::wstring folder = tempRoot();
    for (int level = 0; folder.size() <= 300; ++level) {
        folder += L"第" + std::to_wstring(level) + L"层" + std::wstring(40, L'd') + L"\\";
        ASSERT_TRUE(ensureFolder(folder)) << folder.size();
    }
    const std::wstring name = L"[2017.09.02-12.00]" + std::wstring(60, L'p') + L"-picture.jpg";
    ASSERT_GT((folder + name).size(), static_cast<size_t>(MAX_PATH));
    EXPECT_EQ(writePictureFile(folder, name, "deep bytes"), 0u);
    EXPECT_EQ(readLongPath(folder + name), "deep bytes");
    EXPECT_EQ(writePictureFile(folder, name, "replaced"), 0u);
    EXPECT_EQ(readLongPath(folder + name), "replaced");
}

TEST(FileStore, ANameAtTheLengthLimitIsWrittenThroughATemporaryNameThatFitsToo)
{
    const std::wstring folder = tempRoot() + L"limit\\";
    ASSERT_TRUE(ensureFolder(folder));
    const std::wstring name = std::wstring(251, L'n') + L".jpg";  // 255 units, the longest a name can be
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

TEST(FileStore, TemporaryNamesAreRecognisedAndPicturesNever)
{
    const std::wstring pictures[] = {L"[2017.09.02-12.00]\u65C5\u884C-abc.jpg", L"[2017]-x~abc.png", L"a~bcd.jpeg", L"x.jpg",
                                     L"[2017]\U0002A6A5\U0002A6A5.gif", L"[2017]-" + std::wstring(232, L'n') + L".webp"};
    for (const std::wstring& name : pictures) {
        EXPECT_FALSE(isTemporaryPictureName(name)) << name.size();
        for (const unsigned long thread : {0ul, 35ul, 36ul * 36ul * 36ul, 4294967295ul})
            EXPECT_TRUE(isTemporaryPictureName(temporaryPictureName(name, thread))) << name.size() << " " << thread;
    }
    // An album's record and journal, and names ending in something else than base-36 digits.
    for (const wchar_t* name : {L".3555502164890927", L".3555502164890927.journal", L".%2E%2E%5Cx.new", L"notes~AB12",
                                L"notes~12", L"notes~ab.c", L"~"})
        EXPECT_FALSE(isTemporaryPictureName(name)) << name;
}
