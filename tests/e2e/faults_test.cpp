// The real program against a misbehaving service: an expiring QR code, slow, failing, dropped and
// truncated picture answers, and an album folder that cannot be written.
#include <gtest/gtest.h>

#include "tests/e2e/session.h"

namespace {

const std::wstring kOwner = L"摄影师小王";
const std::wstring kSecondOwner = L"多相册用户";
constexpr int kSmallAlbum = 7;  // "没有封面", 3 photos

bool finished(const std::wstring& now) { return isFinalStatus(now); }

} // namespace

TEST(EndToEndFaults, ExpiredCodeIsReplacedBeforeItsMessage)
{
    ProgramSession session;
    ASSERT_TRUE(control("/qr_settings?expire_after=2&scan_after=0&confirm_after=0"));
    ASSERT_TRUE(session.start(false));
    Pilot& pilot = session.pilot();
    const std::wstring waiting = L"  状态:请打开微博客户端\"扫一扫\"";
    const std::wstring expired = L"  状态:该二维码已过期，请重新扫描";
    ASSERT_TRUE(pilot.waitStatusIs(waiting, 20000));
    COLORREF firstCode = 0;
    ASSERT_TRUE(pilot.signInPictureCentre(&firstCode));

    // When the message shows, the new code is already on screen.
    ASSERT_TRUE(pilot.waitStatusIs(expired, 20000));
    COLORREF secondCode = 0;
    ASSERT_TRUE(pilot.signInPictureCentre(&secondCode));
    EXPECT_NE(firstCode, secondCode);

    // The new code goes on to a normal sign-in.
    ASSERT_TRUE(control("/qr_settings?expire_after=0&scan_after=1&confirm_after=2"));
    EXPECT_TRUE(pilot.waitStatusIs(kSignedIn, 30000));
}

TEST(EndToEndFaults, SessionRefusedAfterConfirmationIsReported)
{
    ProgramSession session;
    ASSERT_TRUE(control("/faults?refuse_sessions=1"));
    ASSERT_TRUE(session.start(false));
    // The code is confirmed, but the site does not know the session: the program says so.
    MessageBoxSeen box;
    ASSERT_TRUE(session.pilot().answerMessageBox(&box, 30000));
    EXPECT_EQ(box.caption, L"信息");
    EXPECT_EQ(box.text, L"TestCookies = 假");
    EXPECT_NE(session.pilot().status(), kSignedIn);
}

TEST(EndToEndFaults, FailingAnswersAreRetriedAndSlowOnesWaitedFor)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    // Every picture fails once and is slow: the retries bring every one of them.
    ASSERT_TRUE(control("/faults?fail_first=1&picture_latency=100"));
    ASSERT_TRUE(session.download(1));
    EXPECT_EQ(session.pilot().status(), finishedStatus(33, 33));
    const std::wstring album = session.albumFolder(kOwner, L"家人");
    EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", 33));
    EXPECT_TRUE(noPartialFiles(album));
}

TEST(EndToEndFaults, DroppedAndTruncatedPicturesAreNeverCountedOrKept)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    // Half of the answers break off or come short, whatever the attempt: some pictures fail
    // three times. The count is the truth, and what is on disk is whole.
    ASSERT_TRUE(control("/faults?drop_rate=0.35&short_rate=0.35&seed=7"));
    ASSERT_TRUE(session.downloadToEnd(0, 90000));
    const std::wstring album = session.albumFolder(kOwner, L"旅行 2017");
    const size_t kept = filesIn(album).size();
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, 32u);
    const int lost = 32 - static_cast<int>(kept);
    EXPECT_EQ(session.pilot().status(), incompleteStatus(std::to_wstring(lost) + L"张图片获取失败,", static_cast<int>(kept), 32));
    EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", kept));
    EXPECT_TRUE(noPartialFiles(album));
}

TEST(EndToEndFaults, ServerErrorsOnEveryTryLeaveNothing)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000002"));
    ASSERT_TRUE(control("/faults?error_rate=1"));
    ASSERT_TRUE(session.downloadToEnd(kSmallAlbum, 90000));
    // Not "全部下载完成": nothing came, and the line says so.
    EXPECT_EQ(session.pilot().status(), incompleteStatus(L"3张图片获取失败,", 0, 3));
    EXPECT_TRUE(filesIn(session.albumFolder(kSecondOwner, L"没有封面")).empty());
}

TEST(EndToEndFaults, UnwritableAlbumFolderShowsTheSystemMessage)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000002"));
    // A file where the owner's folder belongs: no folder can be made, no picture written.
    ASSERT_TRUE(blockFolder(session.folder() + kSecondOwner));

    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.albumMenu(kSmallAlbum, L"下载选中"));
    // One box per picture, each named after its file; the test answers them as a user would.
    int boxes = 0;
    while (!finished(pilot.status()) && boxes < 10) {
        MessageBoxSeen box;
        if (!pilot.answerMessageBox(&box, 500)) continue;
        ++boxes;
        EXPECT_EQ(box.text, L"系统找不到指定的路径。");
        EXPECT_EQ(box.caption.rfind(L"[", 0), 0u) << utf8(box.caption);  // "[time]caption-name"
    }
    ASSERT_TRUE(pilot.waitStatus(finished, 60000));
    EXPECT_EQ(boxes, 3);
    EXPECT_EQ(pilot.status(), incompleteStatus(L"3张图片写入失败,", 0, 3));
    // The window stayed responsive while the boxes were open.
    EXPECT_GE(pilot.responseTime(), 0);
}
