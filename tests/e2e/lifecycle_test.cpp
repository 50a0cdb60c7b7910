// The real program under a user's fast hands and a server that stalls: the window closed in the
// middle of a download (the requests on their way given up before the process ends), a download
// replaced by another, a download chosen while an error box is open, and an analysis replaced
// while its homepage is still on its way.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/e2e/session.h"

namespace {

const std::wstring kOwner = L"摄影师小王";
const std::wstring kSecondOwner = L"多相册用户";
constexpr int kSmallAlbum = 7;  // "没有封面", 3 photos

bool finished(const std::wstring& now) { return isFinalStatus(now); }
bool downloading(const std::wstring& now) { return now.rfind(L"  状态:正在下载中", 0) == 0; }

// The requests whose answers the emulator still held back were given up by the program itself:
// each connection closed by the client before its process ended (a process that merely ends
// closes them after its end), and nothing asked for after the first close.
::testing::AssertionResult heldRequestsClosedBeforeTheEnd(HANDLE process)
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return ::testing::AssertionFailure() << "no exit time";
    const double end = emulatorTimeOf(exited);
    const std::vector<LoggedRequest> log = requestLog();
    int held = 0;
    double firstClose = end;
    for (const LoggedRequest& request : log) {
        if (request.answered > 0) continue;
        ++held;
        if (request.closed <= 0) return ::testing::AssertionFailure() << request.path << " was never closed";
        if (request.closed >= end)
            return ::testing::AssertionFailure() << request.path << " was closed " << request.closed - end << " s after the program ended";
        firstClose = std::min(firstClose, request.closed);
    }
    if (held == 0) return ::testing::AssertionFailure() << "no request was held back";
    for (const LoggedRequest& request : log)
        if (request.time > firstClose) return ::testing::AssertionFailure() << request.path << " was asked for after the close";
    return ::testing::AssertionSuccess() << held << " held requests closed";
}

} // namespace

TEST(EndToEndLifecycle, ClosingDuringAStalledDownloadEndsAtOnce)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    // Every picture answer is held back for a minute: five requests hang in the pool's workers.
    ASSERT_TRUE(control("/faults?picture_latency=60000"));
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.albumMenu(1, L"下载选中"));
    ASSERT_TRUE(pilot.waitUntil([] { return emulatorCount("requests", "/mw1024/") >= 5; }, 20000));
    // The process must be gone well within a few seconds, with code 0 and nothing half written.
    const DWORD start = GetTickCount();
    DWORD exitCode = 1;
    ASSERT_TRUE(pilot.close(15000, &exitCode)) << "the program is still running";
    EXPECT_LT(GetTickCount() - start, 6000u);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(noPartialFiles(session.albumFolder(kOwner, L"家人")));
}

TEST(EndToEndLifecycle, ClosingGivesUpThePicturesInFlightBeforeTheEnd)
{
    ProgramSession session;
    // The site refuses the session once the code is confirmed, and the sign-in says so in a box
    // that stays open: the program's end then waits its whole budget for that thread, and the
    // process outlives the close of the requests by seconds, not milliseconds.
    ASSERT_TRUE(control("/faults?refuse_sessions=1"));
    ASSERT_TRUE(session.start(false));
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.waitMessageBox(30000));
    ASSERT_TRUE(control("/faults?refuse_sessions=0"));  // the session was good all along
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(control("/faults?picture_latency=60000"));
    ASSERT_TRUE(pilot.albumMenu(1, L"下载选中"));
    ASSERT_TRUE(pilot.waitUntil([] { return emulatorCount("requests", "/mw1024/") >= 5; }, 20000));
    DWORD exitCode = 1;
    ASSERT_TRUE(pilot.close(15000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(heldRequestsClosedBeforeTheEnd(pilot.process().handle()));
}

TEST(EndToEndLifecycle, ASecondDownloadCountsOnlyItsOwnPhotos)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    Pilot& pilot = session.pilot();
    // The first album's pictures are slow, so most of its tasks are still queued when the
    // second download replaces it.
    ASSERT_TRUE(control("/faults?picture_latency=400"));
    ASSERT_TRUE(pilot.albumMenu(0, L"下载选中"));
    ASSERT_TRUE(pilot.waitStatus(downloading, 30000));
    ASSERT_TRUE(control("/faults?picture_latency=20"));
    ASSERT_TRUE(pilot.albumMenu(1, L"下载选中"));
    ASSERT_TRUE(pilot.waitUntil([&] { return pilot.buttonEnabled(L"分析") && finished(pilot.status()); }, 90000));

    // Every photo of the second album taken once, none of the first counted or written there.
    EXPECT_EQ(pilot.status(), finishedStatus(33, 33));
    EXPECT_TRUE(session.picturesIntact(session.albumFolder(kOwner, L"家人"), "/mw1024/", 33));
    const size_t firstKept = filesIn(session.albumFolder(kOwner, L"旅行 2017")).size();
    EXPECT_GT(firstKept, 0u);
    EXPECT_LT(firstKept, 32u);
}

TEST(EndToEndLifecycle, DownloadChosenWhileAnErrorBoxIsOpenKeepsTheWindowAnswering)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000002"));
    // A file where the owner's folder belongs: every picture write fails with a message box.
    ASSERT_TRUE(blockFolder(session.folder() + kSecondOwner));

    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.albumMenu(kSmallAlbum, L"下载选中"));
    ASSERT_TRUE(pilot.waitMessageBox(30000));
    // With the box open, the same album is chosen again; the window goes on taking input.
    ASSERT_TRUE(pilot.albumMenu(kSmallAlbum, L"下载选中"));
    EXPECT_TRUE(pilot.showPage(2)) << "the window stopped taking input";
    EXPECT_TRUE(pilot.showPage(1));

    // Then the boxes are answered, and the second download ends with its own counts.
    int boxes = 0;
    while (!(pilot.buttonEnabled(L"分析") && finished(pilot.status())) && boxes < 12) {
        if (pilot.answerMessageBox(nullptr, 500)) ++boxes;
    }
    ASSERT_TRUE(pilot.waitStatus(finished, 60000));
    EXPECT_EQ(pilot.status(), incompleteStatus(L"3张图片写入失败,", 0, 3));
    EXPECT_GE(boxes, 3);
}

TEST(EndToEndLifecycle, AReplacedAnalysisWithASlowHomepageChangesNothing)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    Pilot& pilot = session.pilot();
    // The second owner's homepage answers late; the first owner's is analysed meanwhile.
    ASSERT_TRUE(control("/faults?slow_path=/u/1000000002&slow_path_ms=2500"));
    ASSERT_TRUE(pilot.showPage(1));
    ASSERT_TRUE(pilot.typeHomepage(L"http://127.0.0.1:" + std::to_wstring(PICLADE_TEST_PORT_BASE) + L"/u/1000000002?from=myfollow_all"));
    ASSERT_TRUE(pilot.pressButton(L"分析"));
    ASSERT_TRUE(pilot.waitUntil([] { return emulatorCount("requests", "/u/1000000002") >= 1; }, 10000));
    ASSERT_TRUE(session.analyse("1000000001"));
    // The late answer has gone out whole and been read before the download starts.
    ASSERT_TRUE(pilot.waitUntil([] { return emulatorCount("answered", "/u/1000000002") >= 1; }, 20000));
    EXPECT_GE(pilot.responseTime(), 0);
    EXPECT_EQ(pilot.albumCount(), 3);

    // The download goes to the first owner's folder: the late owner was never taken.
    ASSERT_TRUE(session.download(2));
    EXPECT_EQ(pilot.status(), finishedStatus(0, 0));
    EXPECT_EQ(GetFileAttributesW((session.folder() + kSecondOwner).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(session.albumFolder(kOwner, L"空相册").c_str()), INVALID_FILE_ATTRIBUTES);
}
