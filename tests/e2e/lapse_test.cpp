// A session that lapses in the middle of a download: the download waits, the sign-in page shows a
// fresh QR code, and once it is confirmed the album goes on where it stopped and ends whole, no
// picture asked for or counted twice.
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/session.h"

namespace {

const std::wstring kLapsed = L"  状态:登录已失效,请在\"登录\"页重新扫码,扫码后自动继续下载;";

// The lapse comes as the service sends it: a redirect to the sign-on host, or its sign-in page
// where the list belongs.
void downloadThroughALapse(const char* shape)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    Pilot& pilot = session.pilot();
    COLORREF avatar = 0;
    ASSERT_TRUE(pilot.signInPictureCentre(&avatar));
    // The new code waits for the test's confirmation; the first session lapses after its album
    // list and 8 photo-list pages, half of the album's 16.
    ASSERT_TRUE(control("/qr_settings?scan_after=100000&confirm_after=100000"));
    ASSERT_TRUE(control(std::string("/faults?picture_latency=20&expire_session_after=9&expire_session_times=1&expire_session_shape=") + shape));
    ASSERT_TRUE(session.analyse("1000000004"));
    ASSERT_TRUE(pilot.albumMenu(0, L"下载选中"));
    ASSERT_TRUE(pilot.waitStatusIs(kLapsed, 60000)) << utf8(pilot.status());

    // A fresh code in place of the avatar; the line stays while the download waits.
    COLORREF code = 0;
    ASSERT_TRUE(pilot.showPage(0));
    ASSERT_TRUE(pilot.waitUntil([&] { return pilot.signInPictureCentre(&code) && code != avatar; }, 10000));
    const int listed = emulatorCount("requests", "/photos/get_all");
    Sleep(1500);
    EXPECT_EQ(pilot.status(), kLapsed);
    EXPECT_EQ(emulatorCount("requests", "/photos/get_all"), listed);  // no list page while signed out

    ASSERT_TRUE(control("/qr?action=confirm"));
    ASSERT_TRUE(pilot.waitStatusIs(finishedStatus(500, 500), 90000)) << utf8(pilot.status());
    EXPECT_EQ(imageRequests("/mw1024/"), 500);  // none twice
    EXPECT_TRUE(session.picturesIntact(session.albumFolder(L"大相册", L"五百张"), "/mw1024/", 500));
}

} // namespace

TEST(EndToEndSession, ALapsedSessionIsRenewedAndTheAlbumEndsWhole)
{
    downloadThroughALapse("redirect");
}

TEST(EndToEndSession, ASignInPageWhereTheListBelongsIsALapseToo)
{
    downloadThroughALapse("html");
}
