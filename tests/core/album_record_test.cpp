// The record and journal kept in an album's folder, on a real disk under Wine.
#include "app/core/album_record.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>
#include <windows.h>

#include "app/core/file_naming.h"
#include "app/core/file_store.h"

namespace {

// Calls `visit` with each entry's name and attributes, "." and ".." aside.
template <typename Visit>
void forEachEntry(const std::wstring& folder, Visit visit)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") visit(name, data.dwFileAttributes);
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

void removeTree(const std::wstring& folder)
{
    forEachEntry(folder, [&](const std::wstring& name, DWORD attributes) {
        SetFileAttributesW((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) removeTree(folder + name + L"\\");
        else DeleteFileW((folder + name).c_str());
    });
    RemoveDirectoryW(folder.c_str());
}

// A fresh, empty folder of its own for each test (Wine hands out process ids again, so a folder
// of an earlier run may be there).
std::wstring testFolder(const std::wstring& name)
{
    wchar_t path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, path);
    std::wstring folder = std::wstring(path) + L"piclade-record-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    folder += name + L"\\";
    removeTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// The names of the files (hidden ones too) in a folder.
std::set<std::wstring> filesIn(const std::wstring& folder)
{
    std::set<std::wstring> names;
    forEachEntry(folder, [&](const std::wstring& name, DWORD attributes) {
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) names.insert(name);
    });
    return names;
}

bool writeRaw(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool whole = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    return whole;
}

uint64_t sizeOf(const std::wstring& path)
{
    uint64_t size = 0, modified = 0;
    return fileStamp(path, size, modified) ? size : 0;
}

bool isHidden(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN);
}

SavedPhoto photo(const std::string& picName, const std::wstring& caption = L"\u5BB6\u4EBA")
{
    SavedPhoto saved;
    saved.picName = picName;
    saved.picHost = "http://ww1.sinaimg.cn";
    saved.caption = caption;
    saved.timestamp = 1504324800;
    saved.fileName = L"[2017.09.02-12.00]" + caption + L"-" + std::wstring(picName.begin(), picName.end());
    saved.sizePath = "/mw690/";
    saved.bytes = 4096;
    saved.modified = 131488000000000000ull;
    return saved;
}

// "t<thread>-<line>.jpg"
std::string threadLineName(int thread, int line)
{
    std::string name = "t";
    name += std::to_string(thread);
    name += '-';
    name += std::to_string(line);
    name += ".jpg";
    return name;
}

AlbumLedger ledgerOf(const std::string& albumId, int photos)
{
    AlbumLedger ledger;
    ledger.albumId = albumId;
    ledger.total = photos;
    for (int i = 0; i < photos; ++i) ledger.photos.push_back(photo("006p" + std::to_string(i) + ".jpg"));
    return ledger;
}

constexpr int kJournalLinesEach = 150;

struct JournalWriter {
    AlbumJournal* journal;
    int thread;
};

// One writer's lines, with long captions, so that lines would interleave if two writes ever
// overlapped; its exit code counts the appends that failed. A thread routine has the system's
// calling convention, which on x86 no lambda has.
DWORD WINAPI writeJournalLines(void* parameter)
{
    const auto& writer = *static_cast<const JournalWriter*>(parameter);
    DWORD failures = 0;
    for (int i = 0; i < kJournalLinesEach; ++i) {
        SavedPhoto saved = photo(threadLineName(writer.thread, i), std::wstring(300 + i, static_cast<wchar_t>(L'\u4E00' + writer.thread)));
        if (!writer.journal->append(saved)) ++failures;
    }
    return failures;
}

} // namespace

TEST(AlbumRecord, AWrittenRecordReadsBackEqual)
{
    const std::wstring folder = testFolder(L"read-back \u5BB6\u4EBA \uAC00");
    AlbumLedger ledger = ledgerOf("3555502164890927", 3);
    ledger.photos[0].caption = L"tab\tline\nback\\slash \U0001F600 \uAC00\uB098 \xD800";
    ledger.photos[1].caption.clear();
    ledger.photos[2].bytes = UINT64_MAX;
    ledger.photos[2].timestamp = INT64_MIN;
    ASSERT_TRUE(writeAlbumRecord(folder, ledger));
    const std::optional<AlbumLedger> read = readAlbumRecord(folder, ledger.albumId);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, ledger);
    // The folder without its trailing backslash names the same record.
    const std::optional<AlbumLedger> again = readAlbumRecord(folder.substr(0, folder.size() - 1), ledger.albumId);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(*again, ledger);

    // Two albums of one caption share the folder, not the record.
    EXPECT_FALSE(readAlbumRecord(folder, "3555502164890928").has_value());
    const AlbumLedger other = ledgerOf("3555502164890928", 1);
    ASSERT_TRUE(writeAlbumRecord(folder, other));
    EXPECT_EQ(readAlbumRecord(folder, other.albumId), other);
    EXPECT_EQ(readAlbumRecord(folder, ledger.albumId), ledger);
    EXPECT_FALSE(readAlbumRecord(L"", ledger.albumId).has_value());
}

// Under Wine every name that begins with "." reads as hidden; on Windows the attribute is the
// program's own doing.
TEST(AlbumRecord, RecordAndJournalAreHidden)
{
    const std::wstring folder = testFolder(L"hidden");
    ASSERT_TRUE(writeAlbumRecord(folder, ledgerOf("1001", 2)));
    AlbumJournal journal;
    ASSERT_TRUE(journal.open(folder, "1001"));
    ASSERT_TRUE(journal.append(photo("new.jpg")));
    EXPECT_TRUE(isHidden(folder + albumRecordName("1001")));
    EXPECT_TRUE(isHidden(folder + albumJournalName("1001")));
    journal.close();
    EXPECT_FALSE(journal.append(photo("closed.jpg")));
}

TEST(AlbumRecord, JournalLinesFromManyThreadsAllArrive)
{
    const std::wstring folder = testFolder(L"threads");
    static AlbumJournal journal;
    ASSERT_TRUE(journal.open(folder, "2002"));
    constexpr int kThreads = 8;
    constexpr int kLinesEach = kJournalLinesEach;
    static JournalWriter writers[kThreads];
    std::vector<HANDLE> threads;
    for (int t = 0; t < kThreads; ++t) {
        writers[t] = {&journal, t};
        threads.push_back(CreateThread(nullptr, 0, writeJournalLines, &writers[t], 0, nullptr));
        ASSERT_NE(threads.back(), nullptr);
    }
    for (HANDLE thread : threads) {
        EXPECT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
        DWORD failures = 1;
        EXPECT_TRUE(GetExitCodeThread(thread, &failures));
        EXPECT_EQ(failures, 0u);
        CloseHandle(thread);
    }
    // Read while still open, as a later look at a running download would.
    const std::optional<AlbumLedger> read = readAlbumRecord(folder, "2002");
    journal.close();
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->total, 0);
    ASSERT_EQ(read->photos.size(), static_cast<size_t>(kThreads * kLinesEach));
    std::set<std::string> names;
    for (const SavedPhoto& saved : read->photos) names.insert(saved.picName);
    EXPECT_EQ(names.size(), static_cast<size_t>(kThreads * kLinesEach));
    for (int t = 0; t < kThreads; ++t)
        for (int i = 0; i < kLinesEach; i += 37) EXPECT_EQ(names.count(threadLineName(t, i)), 1u);
}

TEST(AlbumRecord, AJournalOverARecordReplacesAndAdds)
{
    const std::wstring folder = testFolder(L"merge");
    AlbumLedger ledger = ledgerOf("3003", 2);
    ledger.total = 40;
    ASSERT_TRUE(writeAlbumRecord(folder, ledger));
    AlbumJournal journal;
    ASSERT_TRUE(journal.open(folder, "3003"));
    SavedPhoto resaved = ledger.photos[1];
    resaved.sizePath = "/large/";
    resaved.bytes = 99999;
    ASSERT_TRUE(journal.append(photo("added.jpg")));
    ASSERT_TRUE(journal.append(resaved));
    journal.close();  // left for the next run, as a killed run leaves it

    const std::optional<AlbumLedger> read = readAlbumRecord(folder, "3003");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->total, 40);
    ASSERT_EQ(read->photos.size(), 3u);
    EXPECT_EQ(read->photos[0], ledger.photos[0]);
    EXPECT_EQ(read->photos[1], resaved);  // in its place in the list
    EXPECT_EQ(read->photos[2].picName, "added.jpg");
}

// A cut record counts as none, and so does another album's record or one past the size limit;
// a journal beside a cut record still gives what it saved.
TEST(AlbumRecord, ABadRecordCountsAsNoneButItsJournalStands)
{
    const std::wstring folder = testFolder(L"bad");
    const std::wstring record = folder + albumRecordName("4004");
    ASSERT_TRUE(writeRaw(record, formatAlbumRecord(ledgerOf("5005", 2))));
    EXPECT_FALSE(readAlbumRecord(folder, "4004").has_value());
    ASSERT_TRUE(writeRaw(record, formatAlbumRecord(ledgerOf("4004", 2))));
    ASSERT_TRUE(readAlbumRecord(folder, "4004").has_value());
    // The same record 65 MB long (a sparse end): refused without reading it in.
    HANDLE file = CreateFileW(record.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER end{};
    end.QuadPart = 65ll << 20;
    EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    EXPECT_FALSE(readAlbumRecord(folder, "4004").has_value());

    ASSERT_TRUE(writeRaw(record, "piclade album record 1\nalbum\t4004\t7\n"));  // cut before its end
    EXPECT_FALSE(readAlbumRecord(folder, "4004").has_value());
    AlbumJournal journal;
    ASSERT_TRUE(journal.open(folder, "4004"));
    ASSERT_TRUE(journal.append(photo("kept.jpg")));
    journal.close();
    const std::optional<AlbumLedger> read = readAlbumRecord(folder, "4004");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(*read, (AlbumLedger{"4004", 0, {photo("kept.jpg")}}));
}

TEST(AlbumRecord, AFoldLeavesNoJournalAndNoTemporary)
{
    const std::wstring folder = testFolder(L"fold");
    ASSERT_EQ(writePictureFile(folder, L"picture.jpg", "bytes"), 0u);
    AlbumJournal journal;
    ASSERT_TRUE(journal.open(folder, "7007"));
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(journal.append(photo("p" + std::to_string(i) + ".jpg")));
    journal.close();
    std::optional<AlbumLedger> listed = readAlbumRecord(folder, "7007");
    ASSERT_TRUE(listed.has_value());
    listed->total = 5;
    // A temporary a killed fold left behind (hidden, as the fold makes it) is written over.
    const std::wstring leftover = folder + L".7007.new";
    ASSERT_TRUE(writeRaw(leftover, "half a rec"));
    ASSERT_TRUE(SetFileAttributesW(leftover.c_str(), FILE_ATTRIBUTE_HIDDEN));

    ASSERT_TRUE(writeAlbumRecord(folder, *listed));
    EXPECT_EQ(filesIn(folder), (std::set<std::wstring>{L"picture.jpg", albumRecordName("7007")}));
    EXPECT_EQ(readAlbumRecord(folder, "7007"), listed);
    // A journal still held open (by a replaced download's writer) does not stop the fold: it goes
    // once that writer closes it.
    ASSERT_TRUE(journal.open(folder, "7007"));
    EXPECT_TRUE(writeAlbumRecord(folder, *listed));
    journal.close();
    EXPECT_EQ(readAlbumRecord(folder, "7007"), listed);
    EXPECT_EQ(filesIn(folder), (std::set<std::wstring>{L"picture.jpg", albumRecordName("7007")}));
}

TEST(AlbumRecord, AKilledRunsTornLineSpoilsNoLaterLine)
{
    const std::wstring folder = testFolder(L"torn");
    const std::string good = formatJournalLine(photo("first.jpg"));
    const std::string torn = formatJournalLine(photo("torn.jpg"));
    ASSERT_TRUE(writeRaw(folder + albumJournalName("8008"), good + torn.substr(0, torn.size() / 2)));
    AlbumJournal journal;
    ASSERT_TRUE(journal.open(folder, "8008"));
    ASSERT_TRUE(journal.append(photo("after.jpg")));
    journal.close();
    EXPECT_TRUE(isHidden(folder + albumJournalName("8008")));  // made hidden though another made it
    const std::optional<AlbumLedger> read = readAlbumRecord(folder, "8008");
    ASSERT_TRUE(read.has_value());
    ASSERT_EQ(read->photos.size(), 2u);
    EXPECT_EQ(read->photos[0].picName, "first.jpg");
    EXPECT_EQ(read->photos[1].picName, "after.jpg");
}

TEST(AlbumRecord, HostileIdsStayInsideTheFolder)
{
    const std::wstring outer = testFolder(L"ids");
    const std::wstring folder = outer + L"a\\";
    ASSERT_TRUE(ensureFolder(folder));
    const std::vector<std::string> ids = {"..\\..\\escape_album", "..", ".", "", "CON", "nul", "a/b", "x:y", "A", "a",
                                          "trailing. ", "\xC4\xE3\xBA\xC3", "100%", std::string(1000, 'L'),
                                          std::string(999, 'L') + "M", std::string(300, '\\')};
    for (const std::string& id : ids) {
        const std::wstring name = albumRecordName(id);
        EXPECT_TRUE(isSafeName(name)) << name;
        EXPECT_TRUE(isSafeName(albumJournalName(id))) << name;
        EXPECT_LE(albumJournalName(id).size(), 220u);
        EXPECT_TRUE(isPathInside(folder + name, folder)) << name;
        ASSERT_TRUE(writeAlbumRecord(folder, ledgerOf(id, 1))) << name;
    }
    EXPECT_EQ(albumRecordName("..\\..\\escape_album"), L".%2E%2E%5C%2E%2E%5Cescape_album");
    // Each id its own record, read back as written; nothing outside the folder.
    EXPECT_EQ(filesIn(folder).size(), ids.size());
    EXPECT_TRUE(filesIn(outer).empty());
    for (const std::string& id : ids) EXPECT_EQ(readAlbumRecord(folder, id), ledgerOf(id, 1)) << albumRecordName(id);
}

TEST(AlbumRecord, LeftoverTemporariesGoPicturesStay)
{
    const std::wstring folder = testFolder(L"leftovers");
    const std::vector<std::wstring> pictures = {L"[2017.09.02-12.00]\u5BB6\u4EBA-006abc.jpg", L"[2017.09.02-12.00]-x~abc.png",
                                                L"[2017.09.02-12.00]-y~12.jpeg"};
    for (const std::wstring& name : pictures) ASSERT_EQ(writePictureFile(folder, name, "picture"), 0u);
    ASSERT_TRUE(writeAlbumRecord(folder, ledgerOf("9009", 1)));
    AlbumJournal journal;
    ASSERT_TRUE(journal.open(folder, "9009"));
    journal.close();
    ASSERT_TRUE(writeRaw(folder + L"notes.txt", "the owner's own"));
    // Named like a temporary, but not a picture's: never this program's.
    ASSERT_TRUE(writeRaw(folder + L"notes~v2ab", "the owner's own"));
    std::set<std::wstring> kept = filesIn(folder);
    // What killed runs' writer threads left, of every thread id's length.
    for (const unsigned long thread : {0ul, 36ul, 1295ul, 46656ul, 4294967295ul})
        for (const std::wstring& name : pictures) ASSERT_TRUE(writeRaw(folder + temporaryPictureName(name, thread), "part"));
    ASSERT_GT(filesIn(folder).size(), kept.size());
    removeLeftoverTemporaries(folder);
    EXPECT_EQ(filesIn(folder), kept);
    removeLeftoverTemporaries(folder.substr(0, folder.size() - 1));
    EXPECT_EQ(filesIn(folder), kept);
}

TEST(AlbumRecord, AChangedPictureIsNoLongerAsSaved)
{
    const std::wstring folder = testFolder(L"changed");
    const std::wstring name = L"[2017.09.02-12.00]\u5BB6\u4EBA-006abc.jpg";
    ASSERT_EQ(writePictureFile(folder, name, std::string(1000, 'p'), 1504324800), 0u);
    SavedPhoto saved = photo("006abc.jpg");
    saved.fileName = name;
    ASSERT_TRUE(fileStamp(folder + name, saved.bytes, saved.modified));
    EXPECT_EQ(saved.bytes, 1000u);
    EXPECT_TRUE(isStillAsSaved(folder, saved));

    // Another time, the same bytes.
    HANDLE file = CreateFileW((folder + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME later{};
    later.dwLowDateTime = static_cast<DWORD>(saved.modified + 10000000);
    later.dwHighDateTime = static_cast<DWORD>((saved.modified + 10000000) >> 32);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &later));
    CloseHandle(file);
    EXPECT_FALSE(isStillAsSaved(folder, saved));

    // Another length at the saved time.
    ASSERT_EQ(writePictureFile(folder, name, std::string(999, 'p'), 1504324800), 0u);
    uint64_t size = 0, modified = 0;
    ASSERT_TRUE(fileStamp(folder + name, size, modified));
    EXPECT_EQ(modified, saved.modified);
    EXPECT_FALSE(isStillAsSaved(folder, saved));
    ASSERT_EQ(writePictureFile(folder, name, std::string(1000, 'p'), 1504324800), 0u);
    EXPECT_TRUE(isStillAsSaved(folder, saved));

    // Gone, or a name that is no plain file name.
    ASSERT_TRUE(DeleteFileW((folder + name).c_str()));
    EXPECT_FALSE(isStillAsSaved(folder, saved));
    ASSERT_EQ(writePictureFile(testFolder(L"changed-outside"), L"x.jpg", std::string(1000, 'p'), 1504324800), 0u);
    saved.fileName = L"..\\changed-outside\\x.jpg";
    EXPECT_FALSE(isStillAsSaved(folder, saved));
}

TEST(AlbumRecord, AFoldCostsLinearBytes)
{
    const std::wstring folder = testFolder(L"linear");
    const AlbumLedger ledger = ledgerOf("3555502164890927", 2000);
    AlbumJournal journal;
    ASSERT_TRUE(journal.open(folder, ledger.albumId));
    for (const SavedPhoto& saved : ledger.photos) ASSERT_TRUE(journal.append(saved));
    journal.close();
    const uint64_t journalBytes = sizeOf(folder + albumJournalName(ledger.albumId));
    ASSERT_TRUE(writeAlbumRecord(folder, ledger));
    const uint64_t recordBytes = sizeOf(folder + albumRecordName(ledger.albumId));
    ASSERT_GT(recordBytes, 2000u * 50);
    EXPECT_LT(journalBytes + recordBytes, 3 * recordBytes);
    EXPECT_EQ(readAlbumRecord(folder, ledger.albumId), ledger);
}
