// The real program with names code page 936 cannot hold: a program folder named with ö, Hangul and
// an emoji, an owner and albums whose names carry emoji, and captions of Hangul far past a file
// name's length. Every character reaches the album rows and the disk as the service sent it.
#include <gtest/gtest.h>

#include "tests/e2e/disk_names.h"
#include "tests/e2e/session.h"

#include <set>

namespace {

// The emulator's owner of such names (/u/1000000006).
const char* const kWanderer = "1000000006";
const std::wstring kWandererNick = L"旅人🚗";

// `count` Hangul syllables from 가 on, one after another: the emulator's 300-syllable caption, or
// its start.
std::wstring hangulRun(size_t count)
{
    std::wstring run;
    for (size_t k = 0; k < count; ++k) run.push_back(static_cast<wchar_t>(0xAC00 + k));
    return run;
}

// What a caption is cut to for a name: at most 200 bytes, code page 936's own bytes for the
// characters it has (two for each Chinese one) and UTF-8's for those it lacks (three for Hangul,
// four for an emoji). The 300 syllables keep 66 (198 bytes); "中文" and 30 times "😀한a" keep
// 4 + 24 × 8 + 4 = 200 bytes, up to the 25th emoji.
std::wstring mixedRunKept()
{
    std::wstring kept = L"中文";
    for (int k = 0; k < 24; ++k) kept += L"😀한a";
    return kept + L"😀";
}

std::string shown(const std::vector<std::wstring>& names)
{
    std::string text;
    for (const std::wstring& name : names) text += "\n  " + utf8(name);
    return text;
}

std::string shown(const std::set<std::wstring>& names) { return shown(std::vector<std::wstring>(names.begin(), names.end())); }

// Downloads an album to its final line; any message box on the way fails the test.
void downloadWhole(ProgramSession& session, int album, int photos)
{
    std::vector<MessageBoxSeen> boxes;
    ASSERT_TRUE(session.downloadAnsweringBoxes(album, 60000, &boxes)) << "album " << album << ": " << utf8(session.pilot().status());
    for (const MessageBoxSeen& box : boxes) ADD_FAILURE() << "album " << album << ": " << utf8(box.caption) << ": " << utf8(box.text);
    EXPECT_EQ(session.pilot().status(), finishedStatus(photos, photos)) << "album " << album;
}

} // namespace

TEST(EndToEndNames, EveryCharacterOfTheServiceNamesReachesTheRowsAndTheDisk)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse(kWanderer));
    Pilot& pilot = session.pilot();

    // The rows show each caption whole, emoji and all, up to 100 characters: the last one's 300
    // syllables show their first 100 and "…" (a chosen row's whole label covers the rows after it).
    const std::vector<std::wstring> rows = {L"[旅行✈] 2张", L"[旅行🚗] 3张", L"[" + hangulRun(100) + L"\u2026] 2张"};
    EXPECT_EQ(pilot.albums(), rows) << shown(pilot.albums());

    for (int album = 0; album < 3; ++album) downloadWhole(session, album, album == 1 ? 3 : 2);

    // One owner folder named with its emoji; captions that differ only in their emoji are two
    // folders; the long caption's folder is cut as the picture names' captions are.
    std::set<std::wstring> albums;  // "owner\album" below the save folder
    for (const std::wstring& owner : foldersIn(session.folder()))
        for (const std::wstring& album : foldersIn(session.folder() + owner + L"\\")) albums.insert(owner + L"\\" + album);
    const std::set<std::wstring> expectedAlbums = {kWandererNick + L"\\旅行✈", kWandererNick + L"\\旅行🚗",
                                                   kWandererNick + L"\\" + hangulRun(66)};
    EXPECT_EQ(albums, expectedAlbums) << shown(albums);

    // Picture names keep ö, Hangul and emoji, lose blanks and quotes, and cut long captions at
    // the same 200 bytes, never inside a character. Each file holds its own photo's bytes. The two
    // long names take 238 and 242 bytes of UTF-8: Wine keeps a name on the Linux disk only up to
    // 255 such bytes, cutting or refusing a longer one.
    const struct {
        std::wstring caption;
        std::vector<std::wstring> names;
    } expected[] = {
        {L"旅行✈",
         {L"[2017.07.14-10.41]Jörg사진✈1-42200000010001pic.jpg", L"[2017.07.14-10.42]Jörg사진✈2-42200000010002pic.jpg"}},
        {L"旅行🚗",
         {L"[2017.07.14-10.41]路上🚗1-42200000020001pic.jpg", L"[2017.07.14-10.42]路上🚗2-42200000020002pic.jpg",
          L"[2017.07.14-10.43]路上🚗3-42200000020003pic.jpg"}},
        {hangulRun(66),
         {L"[2017.07.14-10.41]" + hangulRun(66) + L"-42200000030001pic.jpg",
          L"[2017.07.14-10.42]" + mixedRunKept() + L"-42200000030002pic.jpg"}},
    };
    for (const auto& album : expected) {
        const std::wstring folder = session.albumFolder(kWandererNick, album.caption);
        const std::vector<std::wstring> names = filesIn(folder);
        EXPECT_EQ(names, album.names) << utf8(album.caption) << ":" << shown(names);
        EXPECT_TRUE(session.picturesIntact(folder, "/mw1024/", album.names.size())) << utf8(album.caption);
    }
}

TEST(EndToEndNames, ProgramInAFolderNamedOutsideTheCodePageSavesIntoIt)
{
    // Only the program's own folder holds such characters here: the owner and album are named in
    // code page 936.
    ProgramSession session(L"-Jörg-사진-📷");
    ASSERT_TRUE(session.start());
    Pilot& pilot = session.pilot();
    EXPECT_EQ(lowered(pilot.saveFolder()), lowered(session.folder())) << utf8(pilot.saveFolder());
    ASSERT_TRUE(session.analyse("1000000002"));
    constexpr int kNoCover = 7;  // "没有封面", 3 photos
    downloadWhole(session, kNoCover, 3);
    EXPECT_TRUE(session.picturesIntact(session.albumFolder(L"多相册用户", L"没有封面"), "/mw1024/", 3));
}
