// The real program against a service that limits it: rate limits on pictures and on photo-list
// pages, list pages that fail, hotlink protection, a second download that fetches only what is
// missing, and picture files that carry their photos' times.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "tests/e2e/session.h"

namespace {

const std::wstring kOwner = L"摄影师小王";
constexpr int kFamily = 1;  // "家人": 33 photos, two list pages
const std::wstring kPaused = L"  状态:服务器限制了访问频率,";

bool startsWith(const std::wstring& text, const std::wstring& start) { return text.rfind(start, 0) == 0; }

bool sawStatus(const std::vector<std::wstring>& seen, const std::wstring& start)
{
    for (const std::wstring& status : seen)
        if (startsWith(status, start)) return true;
    return false;
}

uint64_t secondsSince1601(const FILETIME& time)
{
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return value.QuadPart / 10000000;
}

// Every picture's last-write time is the photo's time. The photos of the sample albums are taken
// on whole minutes, and the name's "[2017.07.14-11.40]" shows that time in UTC+8.
::testing::AssertionResult fileTimesArePhotoTimes(const std::wstring& folder, size_t expected)
{
    const std::vector<std::wstring> names = filesIn(folder);
    if (names.size() != expected) return ::testing::AssertionFailure() << names.size() << " files, expected " << expected;
    for (const std::wstring& name : names) {
        SYSTEMTIME shown{};
        if (swscanf(name.c_str(), L"[%hu.%hu.%hu-%hu.%hu]", &shown.wYear, &shown.wMonth, &shown.wDay, &shown.wHour, &shown.wMinute) != 5)
            return ::testing::AssertionFailure() << utf8(name) << " has no time in its name";
        FILETIME photoTime{};
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!SystemTimeToFileTime(&shown, &photoTime) ||
            !GetFileAttributesExW((folder + name).c_str(), GetFileExInfoStandard, &data))
            return ::testing::AssertionFailure() << utf8(name) << " cannot be read";
        const uint64_t wanted = secondsSince1601(photoTime) - 8 * 3600;
        const uint64_t actual = secondsSince1601(data.ftLastWriteTime);
        if (actual != wanted)
            return ::testing::AssertionFailure() << utf8(name) << " was last written " << static_cast<long long>(actual - wanted)
                                                 << " s away from its photo's time";
    }
    return ::testing::AssertionSuccess();
}

// The most picture requests the image host was answering at one moment: each counts from its
// arrival to its answer's last byte, which the program reads before it sends another.
int mostPicturesAtOnce(const std::vector<LoggedRequest>& log)
{
    std::vector<std::pair<double, int>> changes;
    for (const LoggedRequest& request : log) {
        if (request.kind != "picture") continue;
        changes.push_back({request.time, 1});
        // An answer that never went out held its place to the end.
        changes.push_back({request.answered > 0 ? request.answered : 1e300, -1});
    }
    std::sort(changes.begin(), changes.end());  // an end before a start at the same moment
    int now = 0, most = 0;
    for (const auto& change : changes) most = std::max(most, now += change.second);
    return most;
}

// No request of the job arrived while it waited out a limit: from a little after each limit answer
// (requests already on their way when it went out) to the end of the wait its Retry-After asked for.
::testing::AssertionResult nothingAskedWhileLimited(const std::vector<LoggedRequest>& log)
{
    constexpr double kOnTheirWay = 0.3;
    int limits = 0;
    for (const LoggedRequest& limit : log) {
        if (limit.status != 418 || limit.retryAfter.empty() || limit.answered <= 0) continue;
        ++limits;
        const double wait = std::atof(limit.retryAfter.c_str());
        for (const LoggedRequest& request : log) {
            const double into = request.time - limit.answered;
            if (into > kOnTheirWay && into < wait - kOnTheirWay)
                return ::testing::AssertionFailure() << request.path << " was asked for " << into << " s into a wait of " << wait << " s";
        }
    }
    if (limits == 0) return ::testing::AssertionFailure() << "no limit was answered";
    return ::testing::AssertionSuccess();
}

} // namespace

// Five pictures in flight, never more, however many workers the pool has; and five, not fewer.
TEST(EndToEndLimits, PicturesInFlightNeverPassFive)
{
    ProgramSession session;  // resets the emulator
    ASSERT_TRUE(control("/account?photos=100"));
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000007"));
    ASSERT_TRUE(control("/faults?picture_latency=200"));
    ASSERT_TRUE(session.downloadToEnd(0, 60000));
    EXPECT_EQ(session.pilot().status(), finishedStatus(100, 100));
    const std::vector<LoggedRequest> log = requestLog();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const LoggedRequest& r) { return r.kind == "picture"; }), 100);
    EXPECT_EQ(mostPicturesAtOnce(log), 5);
}

TEST(EndToEndLimits, LimitedPicturesWaitTogetherAndEveryOneArrives)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    // A burst of limits while the image host also refuses pictures without the main site's Referer:
    // the five pictures in flight, then one more. Fewer limits than the pool has workers, and
    // pictures slow enough to keep a worker whose own request met none busy through a wait, had
    // it not waited as well.
    ASSERT_TRUE(control("/faults?need_referer=1&limit_count=6&retry_after=2&picture_latency=100"));
    std::vector<std::wstring> seen;
    ASSERT_TRUE(session.downloadToEnd(kFamily, 90000, &seen));
    EXPECT_EQ(session.pilot().status(), finishedStatus(33, 33));
    // Every request of the job waits: the one that met the limit and all the others.
    EXPECT_TRUE(nothingAskedWhileLimited(requestLog()));
    // The pause is shown and counts down.
    EXPECT_TRUE(sawStatus(seen, kPaused + L"2秒后继续下载;当前下载进度 0/"));
    EXPECT_TRUE(sawStatus(seen, kPaused + L"1秒后继续下载;当前下载进度 "));
    const std::wstring album = session.albumFolder(kOwner, L"家人");
    EXPECT_TRUE(fileTimesArePhotoTimes(album, 33));
    EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", 33));
}

TEST(EndToEndLimits, ListPagesLimitedOrFailingTwiceAreAskedAgain)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(control("/faults?scope=pages&limit_count=2&retry_after=1&fail_page=2&fail_page_times=2"));
    std::vector<std::wstring> seen;
    ASSERT_TRUE(session.downloadToEnd(kFamily, 90000, &seen));
    EXPECT_EQ(session.pilot().status(), finishedStatus(33, 33));
    EXPECT_TRUE(sawStatus(seen, kPaused));
    EXPECT_TRUE(session.picturesIntact(session.albumFolder(kOwner, L"家人"), "/mw1024/", 33));
}

TEST(EndToEndLimits, AMissingPageIsReportedAndTheNextDownloadFetchesOnlyWhatIsMissing)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    // The second list page never comes, and some pictures fail on every try.
    ASSERT_TRUE(control("/faults?fail_page=2&fail_page_times=-1&error_rate=0.5&seed=5"));
    ASSERT_TRUE(session.downloadToEnd(kFamily, 90000));
    const std::wstring album = session.albumFolder(kOwner, L"家人");
    const std::vector<std::wstring> kept = filesIn(album);
    ASSERT_GT(kept.size(), 1u);
    ASSERT_LT(kept.size(), 33u);
    const int keptCount = static_cast<int>(kept.size());
    // The listed pictures not kept failed on every try, and the line names them too.
    const std::wstring lost = keptCount < 32 ? std::to_wstring(32 - keptCount) + L"张图片获取失败," : std::wstring();
    EXPECT_EQ(session.pilot().status(), L"  状态:下载未完成,1页照片列表获取失败," + lost + L"当前已下载 " + std::to_wstring(keptCount) +
                                            L"张 共 32张 相册共 33张 请单击鼠标右键打开目录;");

    // Again, with one of the saved pictures deleted meanwhile: only the missing ones are fetched.
    ASSERT_TRUE(DeleteFileW((album + kept.front()).c_str()));
    ASSERT_TRUE(control("/reset"));
    ASSERT_TRUE(session.downloadToEnd(kFamily, 90000));
    EXPECT_EQ(session.pilot().status(), finishedStatus(33, 33));
    EXPECT_EQ(imageRequests("/mw1024/"), 33 - keptCount + 1);
    EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", 33));

    // Another size: file names do not tell it, so every picture is fetched again.
    ASSERT_TRUE(session.pilot().albumMenu(kFamily, L"原图"));
    ASSERT_TRUE(control("/reset"));
    ASSERT_TRUE(session.downloadToEnd(kFamily, 90000));
    EXPECT_EQ(session.pilot().status(), finishedStatus(33, 33));
    EXPECT_EQ(imageRequests("/large/"), 33);
    EXPECT_TRUE(session.picturesIntact(album, "/large/", 33));
}

TEST(EndToEndLimits, ClosingTheWindowEndsALongPauseAtOnce)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(control("/faults?limit_count=1000&retry_after=120"));
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.albumMenu(kFamily, L"下载选中"));
    ASSERT_TRUE(pilot.waitStatus([](const std::wstring& now) { return startsWith(now, kPaused + L"120秒后继续下载"); }, 30000));
    // The pool waits 5 s for its tasks on the way out: a pause that went on would be seen here.
    DWORD exitCode = 1;
    EXPECT_TRUE(pilot.close(4000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}
