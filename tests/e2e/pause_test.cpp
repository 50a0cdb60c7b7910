// Holding a download and letting it go on: "暂停下载" on the album menu stops every new request of
// the job within a second, the status line says so, and "继续下载" finishes the album whole.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/session.h"

namespace {

const std::wstring kHeldPrefix = L"  状态:下载已暂停,当前下载进度 ";
const std::wstring kHeldEnding = L";右键选择\"继续下载\"继续;";

// Every request the download makes: its pictures and its photo-list pages.
int downloadRequests() { return imageRequests("/mw1024/") + emulatorCount("requests", "/photos/get_all"); }

} // namespace

TEST(EndToEndPause, NoRequestWhileHeldAndTheAlbumEndsWholeAfterwards)
{
    ProgramSession session;
    ASSERT_TRUE(control("/faults?picture_latency=100"));
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000004"));  // one album of 500 photos
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.albumMenu(0, L"下载选中"));
    ASSERT_TRUE(pilot.waitStatus([](const std::wstring& now) { return downloadedIn(now) >= 20; }, 30000)) << utf8(pilot.status());

    ASSERT_TRUE(pilot.albumMenu(0, L"暂停下载"));
    // Pictures already on their way may still land within the first second; then nothing.
    Sleep(1000);
    const int held = downloadRequests();
    const std::wstring heldLine = pilot.status();
    Sleep(3000);
    EXPECT_EQ(downloadRequests(), held);
    EXPECT_EQ(heldLine.rfind(kHeldPrefix, 0), 0u) << utf8(heldLine);
    EXPECT_EQ(heldLine.substr(heldLine.size() - kHeldEnding.size()), kHeldEnding) << utf8(heldLine);
    EXPECT_EQ(pilot.status(), heldLine);
    EXPECT_LT(downloadedIn(heldLine), 500);

    ASSERT_TRUE(pilot.albumMenu(0, L"继续下载"));
    ASSERT_TRUE(pilot.waitStatusIs(finishedStatus(500, 500), 90000)) << utf8(pilot.status());
    EXPECT_TRUE(session.picturesIntact(session.albumFolder(L"大相册", L"五百张"), "/mw1024/", 500));
    // Every picture was asked for once: nothing held was dropped and asked for again.
    EXPECT_EQ(imageRequests("/mw1024/"), 500);
}

TEST(EndToEndPause, ClosingWhileHeldExitsAsUsual)
{
    ProgramSession session;
    ASSERT_TRUE(control("/faults?picture_latency=100"));
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000004"));
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.albumMenu(0, L"下载选中"));
    ASSERT_TRUE(pilot.waitStatus([](const std::wstring& now) { return downloadedIn(now) >= 5; }, 30000)) << utf8(pilot.status());
    ASSERT_TRUE(pilot.albumMenu(0, L"暂停下载"));
    ASSERT_TRUE(pilot.waitStatus([](const std::wstring& now) { return now.rfind(kHeldPrefix, 0) == 0; }, 5000));
    const ULONGLONG closing = GetTickCount64();
    DWORD exitCode = 1;
    ASSERT_TRUE(pilot.close(10000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_LT(GetTickCount64() - closing, 5000u);
}
