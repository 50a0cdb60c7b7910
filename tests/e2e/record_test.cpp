// The record each album keeps in its folder: a download killed half-way and started again asks
// only for what is missing; an album downloaded again asks for nothing, or only for the photos it
// gained; another size fetches it all again; a damaged record costs a full listing, never a wrong
// album.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/session.h"
#include "text/album_record_text.h"

namespace {

// Photo-list requests since the last reset for pages after the first (the first page is asked
// for twice by every download: once for the album's total, once as the listing's first page).
int laterPageRequests()
{
    int later = 0;
    for (const LoggedRequest& request : requestLog())
        if (request.path.rfind("/photos/get_all", 0) == 0 && request.path.find("&page=1&") == std::string::npos) ++later;
    return later;
}

// The image host's names of the pictures asked for in one size since the last reset.
std::vector<std::string> picturesAskedFor(const std::string& sizePath)
{
    std::vector<std::string> names;
    for (const LoggedRequest& request : requestLog())
        if (request.path.rfind(sizePath, 0) == 0) names.push_back(request.path.substr(sizePath.size()));
    return names;
}

// The image host's name of a saved picture: what follows its last "-".
std::string picNameOf(const std::wstring& fileName) { return utf8(fileName.substr(fileName.rfind(L'-') + 1)); }

// Writes an album's record over with other text. The record is hidden: a plain CREATE_ALWAYS
// would be refused on Windows.
bool overwriteRecord(const std::wstring& record, const std::string& text)
{
    HANDLE file = CreateFileW(record.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool wrote = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    return CloseHandle(file) && wrote;
}

} // namespace

TEST(EndToEndRecord, AKilledDownloadResumesWithOnlyWhatIsMissing)
{
    ProgramSession session;
    ASSERT_TRUE(control("/faults?picture_latency=50"));
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000004"));  // one album of 500 photos
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.albumMenu(0, L"下载选中"));
    ASSERT_TRUE(pilot.waitStatus([](const std::wstring& now) { return downloadedIn(now) >= 100; }, 60000)) << utf8(pilot.status());
    ASSERT_TRUE(session.restart(true));

    const std::wstring album = session.albumFolder(L"大相册", L"五百张");
    const std::vector<std::wstring> before = filesIn(album);
    ASSERT_GE(before.size(), 100u);
    ASSERT_LT(before.size(), 500u);
    std::set<std::string> complete;
    for (const std::wstring& name : before) complete.insert(picNameOf(name));

    ASSERT_TRUE(control("/reset"));
    ASSERT_TRUE(session.analyse("1000000004"));
    ASSERT_TRUE(session.download(0, 120000)) << utf8(pilot.status());
    // Counted with the pictures the killed run saved.
    EXPECT_EQ(pilot.status(), finishedStatus(500, 500));
    const std::vector<std::string> asked = picturesAskedFor("/mw1024/");
    EXPECT_LE(asked.size(), 500 - before.size() + 5);
    // The killed run left no record, only its journal: the album is listed once, in full.
    EXPECT_LE(laterPageRequests(), 15);
    for (const std::string& name : asked) EXPECT_EQ(complete.count(name), 0u) << name << " was complete, and asked for again";
    EXPECT_TRUE(noPartialFiles(album));
    EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", 500));
    EXPECT_EQ(hiddenFilesIn(album), std::vector<std::wstring>{L".3880000001"});
}

TEST(EndToEndRecord, ARerunAsksForNothingAndAGrownAlbumOnlyForItsNewPhotos)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(session.download(1));  // 家人: 33 photos, two list pages
    const std::wstring album = session.albumFolder(L"摄影师小王", L"家人");
    ASSERT_EQ(hiddenFilesIn(album), std::vector<std::wstring>{L".3550000002"});

    // A new start knows the album from its record: one list page, no picture.
    ASSERT_TRUE(session.restart(false));
    ASSERT_TRUE(control("/reset"));
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(session.download(1));
    EXPECT_EQ(session.pilot().status(), finishedStatus(33, 33));
    EXPECT_EQ(imageRequests("/mw1024/"), 0);
    EXPECT_EQ(laterPageRequests(), 0);

    // Three photos more, listed first: exactly those three are fetched, from the first page alone.
    ASSERT_TRUE(session.restart(false));
    ASSERT_TRUE(control("/reset"));
    ASSERT_TRUE(control("/grow?album_id=3550000002&count=3"));
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(session.download(1));
    EXPECT_EQ(session.pilot().status(), finishedStatus(36, 36));
    std::vector<std::string> asked = picturesAskedFor("/mw1024/");
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(asked, (std::vector<std::string>{"3550000002new1pic.jpg", "3550000002new2pic.jpg", "3550000002new3pic.jpg"}));
    EXPECT_EQ(laterPageRequests(), 0);  // the new photos and the record's first ones are on the first page
    EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", 36));

    // Another size is another download: every picture again, replacing the files.
    ASSERT_TRUE(control("/grow?album_id=3550000002&count=3"));
    ASSERT_TRUE(session.pilot().albumMenu(1, L"原图"));
    ASSERT_TRUE(session.download(1));
    EXPECT_EQ(session.pilot().status(), finishedStatus(36, 36));
    EXPECT_EQ(imageRequests("/large/"), 36);
    EXPECT_TRUE(session.picturesIntact(album, "/large/", 36));
}

TEST(EndToEndRecord, ADamagedRecordMeansAFullCorrectListing)
{
    for (const char* damage : {"cut", "garbage"}) {
        ProgramSession session;
        ASSERT_TRUE(session.start());
        ASSERT_TRUE(session.analyse("1000000001"));
        ASSERT_TRUE(session.download(1));
        const std::wstring album = session.albumFolder(L"摄影师小王", L"家人");
        const std::wstring record = album + L".3550000002";
        std::string text = readWholeFile(record);
        ASSERT_GT(text.size(), 100u);
        text = std::string(damage) == "cut" ? text.substr(0, text.size() / 2) : std::string(text.size(), '\x7f');
        ASSERT_TRUE(overwriteRecord(record, text));

        ASSERT_TRUE(session.restart(false));
        ASSERT_TRUE(control("/reset"));
        ASSERT_TRUE(control("/grow?album_id=3550000002&count=1"));
        ASSERT_TRUE(session.analyse("1000000001"));
        ASSERT_TRUE(session.download(1));
        EXPECT_EQ(session.pilot().status(), finishedStatus(34, 34)) << damage;
        EXPECT_EQ(laterPageRequests(), 1) << damage;  // both pages, as without a record
        EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", 34)) << damage;
        // The next download has a sound record again.
        ASSERT_TRUE(session.restart(false));
        ASSERT_TRUE(control("/reset"));
        ASSERT_TRUE(control("/grow?album_id=3550000002&count=1"));
        ASSERT_TRUE(session.analyse("1000000001"));
        ASSERT_TRUE(session.download(1));
        EXPECT_EQ(imageRequests("/mw1024/"), 0) << damage;
        EXPECT_EQ(laterPageRequests(), 0) << damage;
    }
}

// A record is text on a disk: whatever names it holds, pictures are written only under names the
// program makes, inside the album's folder.
TEST(EndToEndRecord, NamesInARecordAreNeverTrusted)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(session.download(1));
    const std::wstring album = session.albumFolder(L"摄影师小王", L"家人");
    const std::wstring record = album + L".3550000002";
    AlbumLedger ledger;
    ASSERT_TRUE(parseAlbumRecord(readWholeFile(record), ledger));
    ASSERT_EQ(ledger.photos.size(), 33u);
    // Sealed with a true checksum, as anyone could: a shortcut, a settings file, a climb.
    ledger.photos[0].fileName = L"[2017.07.14-10.40]-x.lnk";
    ledger.photos[1].fileName = L"desktop.ini";
    ledger.photos[2].fileName = L"..\\..\\[2017.07.14-10.40]-escape.jpg";
    ASSERT_TRUE(overwriteRecord(record, formatAlbumRecord(ledger)));

    ASSERT_TRUE(session.restart(false));
    ASSERT_TRUE(control("/reset"));
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(session.download(1));
    EXPECT_EQ(session.pilot().status(), finishedStatus(33, 33));
    EXPECT_EQ(imageRequests("/mw1024/"), 3);  // the three whose names were refused, fetched again
    EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", 33));
    EXPECT_EQ(GetFileAttributesW((album + L"desktop.ini").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW((session.folder() + L"[2017.07.14-10.40]-escape.jpg").c_str()), INVALID_FILE_ATTRIBUTES);
    for (const std::wstring& name : filesIn(album)) EXPECT_EQ(name.find(L".lnk"), std::wstring::npos) << utf8(name);
}

// A page that fails costs no picture saved before: the record keeps what it knew of the photos
// the failed listing could not reach, and the next download asks only for what is missing.
TEST(EndToEndRecord, AFailedPageForgetsNoSavedPicture)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(session.download(1));  // 家人: 33 photos
    const std::wstring album = session.albumFolder(L"摄影师小王", L"家人");

    // Forty new photos: the first page and part of the second; the second page never comes.
    ASSERT_TRUE(session.restart(false));
    ASSERT_TRUE(control("/reset"));
    ASSERT_TRUE(control("/grow?album_id=3550000002&count=40"));
    ASSERT_TRUE(control("/faults?scope=pages&fail_page=2&fail_page_times=-1&fail_page_shape=500"));
    ASSERT_TRUE(session.analyse("1000000001"));
    std::vector<std::wstring> seen;
    ASSERT_TRUE(session.downloadToEnd(1, 60000, &seen));
    EXPECT_EQ(session.pilot().status().rfind(L"  状态:下载未完成,1页照片列表获取失败,", 0), 0u) << utf8(session.pilot().status());

    // The whole list again: the new photos of the second page are all that is asked for.
    ASSERT_TRUE(session.restart(false));
    ASSERT_TRUE(control("/reset"));
    ASSERT_TRUE(control("/grow?album_id=3550000002&count=40"));
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(session.download(1));
    EXPECT_EQ(session.pilot().status(), finishedStatus(73, 73));
    EXPECT_EQ(imageRequests("/mw1024/"), 8);
    EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", 73));
}
