// The real program against hosts that hold their answers: a picture that drips a byte now and
// then is given up after its tries, and the pictures of a replaced download, however slow, never
// hold its successor.
#include <gtest/gtest.h>

#include "tests/e2e/session.h"

namespace {

const std::wstring kSecondOwner = L"多相册用户";
constexpr int kSmallAlbum = 7;     // "没有封面", 3 photos
constexpr int kReplacedAlbum = 10;  // "相册 11", 3 photos

} // namespace

TEST(EndToEndStalls, ADrippingPictureIsGivenUpAfterItsTries)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000002"));
    // A byte every 0.2 s: each try is cut off after one stall window, three tries a picture.
    ASSERT_TRUE(control("/faults?drip=1"));
    const DWORD start = GetTickCount();
    ASSERT_TRUE(session.downloadToEnd(kSmallAlbum, 120000));
    EXPECT_LT(GetTickCount() - start, 60000u);
    EXPECT_EQ(session.pilot().status(), incompleteStatus(L"3张图片获取失败,", 0, 3));
    EXPECT_TRUE(filesIn(session.albumFolder(kSecondOwner, L"没有封面")).empty());
}

TEST(EndToEndStalls, AReplacedDownloadsSlowPicturesDoNotHoldItsSuccessor)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000002"));
    // Slow but never stalled (500 bytes a second): only the replacement can end these exchanges.
    ASSERT_TRUE(control("/faults?drip=100"));
    ASSERT_TRUE(session.pilot().albumMenu(kReplacedAlbum, L"下载选中"));
    ASSERT_TRUE(session.pilot().waitUntil([] { return imageRequests("/mw1024/") >= 3; }, 20000));
    ASSERT_TRUE(control("/faults?drip=0"));
    const DWORD start = GetTickCount();
    ASSERT_TRUE(session.download(kSmallAlbum, 60000));
    EXPECT_LT(GetTickCount() - start, 4000u) << "the successor waited for its predecessor's pictures";
    EXPECT_EQ(session.pilot().status(), finishedStatus(3, 3));
    EXPECT_TRUE(session.picturesIntact(session.albumFolder(kSecondOwner, L"没有封面"), "/mw1024/", 3));
}
