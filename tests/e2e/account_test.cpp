// "下载全部相册": every album of the listing, one after another, in list order, each with every rule
// of a single download; a progress line that names the album, one line for the whole account at
// the end, and a state image on each row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/session.h"
#include "text/album_record_text.h"

namespace {

// The sample account: 25 albums, "账号相册 01" to "账号相册 25", the n-th with 2 + n % 5 photos.
const char* const kAccountOwner = "1000000007";
const wchar_t* const kAccountNick = L"整个账号";
constexpr int kAccountAlbums = 25;

int photosOf(int album) { return 2 + album % 5; }

std::wstring captionOf(int album)
{
    wchar_t number[8] = {};
    swprintf(number, 8, L"%02d", album);
    return std::wstring(L"账号相册 ") + number;
}

const std::wstring kAllDonePrefix = L"  状态:全部相册下载完成,";
const std::wstring kNotAllDonePrefix = L"  状态:相册下载未完成,";
const std::wstring kAccountProgressPrefix = L"  状态:正在下载第";

bool isAccountFinal(const std::wstring& line) { return line.rfind(kAllDonePrefix, 0) == 0 || line.rfind(kNotAllDonePrefix, 0) == 0; }

// Chooses "下载全部相册" and waits for the account's last line, answering message boxes on the way.
bool downloadAccount(ProgramSession& session, DWORD ms, std::vector<std::wstring>* seen, std::vector<MessageBoxSeen>* boxes)
{
    Pilot& pilot = session.pilot();
    if (!pilot.albumMenu(0, L"下载全部相册")) return false;
    pilot.waitUntil([&] { return !pilot.buttonEnabled(L"分析"); }, 2000);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MessageBoxSeen box;
        if (pilot.answerMessageBox(&box, 50)) {
            boxes->push_back(box);
            continue;
        }
        const std::wstring now = pilot.status();
        if (seen && (seen->empty() || seen->back() != now)) seen->push_back(now);
        if (isAccountFinal(now) && pilot.buttonEnabled(L"分析")) return true;
    }
    return false;
}

// "…第K/25个相册[caption],当前下载进度 D/Q": K and the caption; K is 0 for any other line.
int albumNamedIn(const std::wstring& line, std::wstring* caption)
{
    if (line.rfind(kAccountProgressPrefix, 0) != 0) return 0;
    const size_t slash = line.find(L'/', kAccountProgressPrefix.size());
    const size_t open = line.find(L'[');
    const size_t close = line.rfind(L']');
    if (slash == std::wstring::npos || open == std::wstring::npos || close == std::wstring::npos || close < open) return 0;
    *caption = line.substr(open + 1, close - open - 1);
    return std::stoi(line.substr(kAccountProgressPrefix.size(), slash - kAccountProgressPrefix.size()));
}

int accountPhotos()
{
    int total = 0;
    for (int album = 1; album <= kAccountAlbums; ++album) total += photosOf(album);
    return total;
}

// The last line of an account that ended whole, every album's files as the service holds them
// and every row's state image a tick.
void expectEveryAlbumWhole(ProgramSession& session)
{
    const std::wstring total = std::to_wstring(accountPhotos());
    EXPECT_EQ(session.pilot().status(), L"  状态:全部相册下载完成,共25个相册,当前已下载 " + total + L"张 共 " + total + L"张 请单击鼠标右键打开目录;");
    for (int album = 1; album <= kAccountAlbums; ++album) {
        EXPECT_TRUE(session.picturesIntact(session.albumFolder(kAccountNick, captionOf(album)), "/mw1024/", photosOf(album))) << album;
        EXPECT_EQ(session.pilot().albumState(album - 1), 2) << album;  // complete
    }
}

} // namespace

TEST(EndToEndAccount, EveryAlbumWholeInListOrderWithRowStatesAndOneLastLine)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse(kAccountOwner));
    Pilot& pilot = session.pilot();
    ASSERT_EQ(pilot.albumCount(), kAccountAlbums);
    ASSERT_TRUE(pilot.hasAlbumStateImages());
    for (int row = 0; row < kAccountAlbums; ++row) EXPECT_EQ(pilot.albumState(row), 1) << row;  // not saved yet

    std::vector<std::wstring> seen;
    std::vector<MessageBoxSeen> boxes;
    ASSERT_TRUE(downloadAccount(session, 180000, &seen, &boxes)) << utf8(pilot.status());
    EXPECT_TRUE(boxes.empty());
    expectEveryAlbumWhole(session);
    // The progress names each album it reaches, in list order, with its caption.
    int last = 0;
    for (const std::wstring& line : seen) {
        std::wstring caption;
        const int album = albumNamedIn(line, &caption);
        if (album == 0) continue;
        EXPECT_GE(album, last) << utf8(line);
        EXPECT_EQ(caption, captionOf(album)) << utf8(line);
        EXPECT_NE(line.find(L"/25个相册["), std::wstring::npos) << utf8(line);
        last = album;
    }
    EXPECT_GT(last, 0);
}

// The next album is listed, and its first pictures asked for, while the last pictures of the one
// before are still on their way; each picture is still told in its own album: its progress line,
// its folder and its record.
TEST(EndToEndAccount, NextAlbumsFirstPicturesWaitForTheirAlbum)
{
    ProgramSession session;
    ASSERT_TRUE(control("/faults?picture_latency=300"));
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse(kAccountOwner));
    std::vector<std::wstring> seen;
    std::vector<MessageBoxSeen> boxes;
    ASSERT_TRUE(downloadAccount(session, 180000, &seen, &boxes)) << utf8(session.pilot().status());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(session.pilot().status().rfind(kAllDonePrefix, 0), 0u) << utf8(session.pilot().status());

    // Album ids are the first ten characters of their pictures' names.
    std::map<std::string, std::pair<double, double>> firstAskedLastAnswered;
    for (const LoggedRequest& request : requestLog()) {
        if (request.kind != "picture") continue;
        const std::string album = request.path.substr(request.path.rfind('/') + 1, 10);
        auto [span, added] = firstAskedLastAnswered.try_emplace(album, request.time, request.answered);
        span->second.first = std::min(span->second.first, request.time);
        span->second.second = std::max(span->second.second, request.answered);
    }
    ASSERT_EQ(firstAskedLastAnswered.size(), static_cast<size_t>(kAccountAlbums));
    int overlapped = 0;
    for (auto before = firstAskedLastAnswered.begin(), after = std::next(before); after != firstAskedLastAnswered.end(); ++before, ++after)
        if (after->second.first < before->second.second) ++overlapped;
    EXPECT_GE(overlapped, kAccountAlbums / 2);

    // No line counts a picture of the next album in the one it names.
    for (const std::wstring& line : seen) {
        std::wstring caption;
        const int album = albumNamedIn(line, &caption);
        if (album == 0) continue;
        const size_t counts = line.rfind(L' ');
        const size_t slash = line.rfind(L'/');
        ASSERT_TRUE(counts != std::wstring::npos && slash != std::wstring::npos && slash > counts) << utf8(line);
        const int downloaded = std::stoi(line.substr(counts + 1, slash - counts - 1));
        const int queued = std::stoi(line.substr(slash + 1));
        EXPECT_LE(downloaded, queued) << utf8(line);
        EXPECT_LE(queued, photosOf(album)) << utf8(line);
    }
    // Each record holds its own album's photos, every one saved, and nothing of another album.
    for (int album = 1; album <= kAccountAlbums; ++album) {
        const std::wstring folder = session.albumFolder(kAccountNick, captionOf(album));
        const std::vector<std::wstring> records = hiddenFilesIn(folder);
        ASSERT_EQ(records.size(), 1u) << album;
        AlbumLedger ledger;
        ASSERT_TRUE(parseAlbumRecord(readWholeFile(folder + records[0]), ledger)) << album;
        EXPECT_EQ(static_cast<int>(ledger.photos.size()), photosOf(album)) << album;
        for (const SavedPhoto& photo : ledger.photos) {
            EXPECT_EQ(photo.picName.rfind(ledger.albumId, 0), 0u) << album << " " << photo.picName;
            EXPECT_EQ(photo.sizePath, "/mw1024/") << album << " " << photo.picName;
            EXPECT_GT(photo.bytes, 0u) << album << " " << photo.picName;
        }
        EXPECT_TRUE(session.picturesIntact(folder, "/mw1024/", photosOf(album))) << album;
    }
}

// A lapse met while the next album is readied (every photo list after the first album's is read
// so), and rate limits across the album boundaries: the run waits, goes on after the new sign-in,
// and every album ends whole with no picture asked for again once it came whole.
TEST(EndToEndAccount, ALapseAndLimitsAtAlbumBoundariesCostNoPicture)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    Pilot& pilot = session.pilot();
    COLORREF avatar = 0;
    ASSERT_TRUE(pilot.signInPictureCentre(&avatar));
    // The new code waits for the test's confirmation.
    ASSERT_TRUE(control("/qr_settings?scan_after=100000&confirm_after=100000"));
    // List requests 1-2 are the album list, 2n+1 and 2n+2 album n's first page (twice): the 14th,
    // album 6's, lapses.
    ASSERT_TRUE(control("/faults?picture_latency=50&limit_every=15&limit_ms=800&retry_after=1&limit_status=432"
                        "&expire_session_after=13&expire_session_times=1"));
    ASSERT_TRUE(session.analyse(kAccountOwner));
    ASSERT_TRUE(pilot.albumMenu(0, L"下载全部相册"));
    ASSERT_TRUE(pilot.waitStatusIs(L"  状态:登录已失效,请在\"登录\"页重新扫码,扫码后自动继续下载;", 60000)) << utf8(pilot.status());
    // Confirmed once the fresh code is there in place of the avatar.
    COLORREF code = 0;
    ASSERT_TRUE(pilot.showPage(0));
    ASSERT_TRUE(pilot.waitUntil([&] { return pilot.signInPictureCentre(&code) && code != avatar; }, 10000));
    ASSERT_TRUE(control("/qr?action=confirm"));
    ASSERT_TRUE(pilot.waitStatus([](const std::wstring& now) { return isAccountFinal(now); }, 180000)) << utf8(pilot.status());
    // Read before the files are compared, which starts the service's log anew.
    std::map<std::string, int> whole;
    int limited = 0;
    for (const LoggedRequest& request : requestLog()) {
        if (request.kind != "picture") continue;
        if (request.status == 200) ++whole[request.path];
        if (request.status == 432) ++limited;
    }
    EXPECT_GT(limited, 0);
    EXPECT_EQ(whole.size(), static_cast<size_t>(accountPhotos()));
    for (const auto& [path, times] : whole) EXPECT_EQ(times, 1) << path;
    expectEveryAlbumWhole(session);
}

// A held run stays held across its albums: nothing is asked for, the line says so, and "继续下载"
// ends the account whole.
TEST(EndToEndAccount, AHeldRunAsksForNothingUntilLetGo)
{
    ProgramSession session;
    ASSERT_TRUE(control("/faults?picture_latency=100"));
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse(kAccountOwner));
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.albumMenu(0, L"下载全部相册"));
    ASSERT_TRUE(pilot.waitStatus([](const std::wstring& now) { return now.rfind(L"  状态:正在下载第3/25个相册[", 0) == 0; }, 30000))
        << utf8(pilot.status());
    ASSERT_TRUE(pilot.albumMenu(0, L"暂停下载"));
    Sleep(1000);
    const double heldAt = emulatorNow();
    Sleep(3000);
    for (const LoggedRequest& request : requestLog())
        if (request.time > heldAt && (request.kind == "picture" || request.kind == "photo_list")) ADD_FAILURE() << request.path << " while held";
    EXPECT_EQ(pilot.status().rfind(L"  状态:下载已暂停,当前下载进度 ", 0), 0u) << utf8(pilot.status());
    ASSERT_TRUE(pilot.albumMenu(0, L"继续下载"));
    ASSERT_TRUE(pilot.waitStatus([](const std::wstring& now) { return isAccountFinal(now); }, 120000)) << utf8(pilot.status());
    EXPECT_EQ(pilot.status().rfind(kAllDonePrefix, 0), 0u) << utf8(pilot.status());
}

TEST(EndToEndAccount, UnwritableFolderStopsOnlyItsAlbum)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse(kAccountOwner));
    // A file where the third album's folder belongs: none of its pictures can be written.
    ASSERT_TRUE(CreateDirectoryW((session.folder() + kAccountNick).c_str(), nullptr));
    const std::wstring third = session.albumFolder(kAccountNick, captionOf(3));
    ASSERT_TRUE(blockFolder(third.substr(0, third.size() - 1)));
    std::vector<MessageBoxSeen> boxes;
    ASSERT_TRUE(downloadAccount(session, 180000, nullptr, &boxes)) << utf8(session.pilot().status());
    // One box for the album, not one per picture; every other album whole.
    EXPECT_EQ(boxes.size(), 1u);
    const int total = accountPhotos();
    EXPECT_EQ(session.pilot().status(), L"  状态:相册下载未完成,共25个相册,完整24个,未完成1个,当前已下载 " + std::to_wstring(total - photosOf(3)) +
                                            L"张 共 " + std::to_wstring(total) + L"张 请单击鼠标右键打开目录;");
    EXPECT_EQ(session.pilot().albumState(2), 3);  // incomplete
    EXPECT_EQ(session.pilot().albumState(3), 2);
    EXPECT_TRUE(session.picturesIntact(session.albumFolder(kAccountNick, captionOf(25)), "/mw1024/", photosOf(25)));
}

TEST(EndToEndAccount, SizeStaysAndASingleDownloadReplacesTheRun)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse(kAccountOwner));
    // Each photo list answers after 2 s: while an album is being listed no picture is on its way.
    ASSERT_TRUE(control("/faults?slow_path=/photos/get_all&slow_path_ms=2000"));
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.albumMenu(0, L"下载全部相册"));
    ASSERT_TRUE(pilot.waitStatus([](const std::wstring& now) { return now.rfind(L"  状态:正在下载第1/25个相册[", 0) == 0; }, 30000))
        << utf8(pilot.status());
    // No picture is on its way, yet the size in use stays for the whole run.
    ASSERT_TRUE(pilot.albumMenu(0, L"原图"));
    // "下载选中" replaces the run as it replaces any running download.
    ASSERT_TRUE(session.download(4, 60000)) << utf8(pilot.status());
    EXPECT_EQ(pilot.status(), finishedStatus(photosOf(5), photosOf(5)));
    EXPECT_EQ(imageRequests("/large/"), 0);
    // The replaced run asks for nothing more: no list page, no picture.
    const int pictures = imageRequests("/mw1024/");
    const int pages = emulatorCount("requests", "/photos/get_all");
    Sleep(1500);
    EXPECT_EQ(imageRequests("/mw1024/"), pictures);
    EXPECT_EQ(emulatorCount("requests", "/photos/get_all"), pages);
    EXPECT_EQ(pilot.status(), finishedStatus(photosOf(5), photosOf(5)));
    EXPECT_TRUE(session.picturesIntact(session.albumFolder(kAccountNick, captionOf(5)), "/mw1024/", photosOf(5)));
}
