// The download job's answers to a service that limits it: the shared pause and its growth, the
// Retry-After values, giving up, waking a replaced job; the record that lets a second download
// skip what is already on disk; the final texts; the pictures' file times.
#include "app/jobs/download_run.h"
#include "app/core/file_store.h"
#include "app/core/job_threads.h"
#include "app/core/shared_objects.h"
#include "app/jobs/rate_gate.h"
#include "app/core/written_pictures.h"
#include "text/encoding.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <winhttp.h>

#include <string>
#include <vector>

#include "tests/support/job_wait.h"

namespace {

uint64_t gNow = 0;
uint64_t fakeClock() { return gNow; }

constexpr uint64_t kSecond = 1000;
constexpr uint64_t kMinute = 60 * kSecond;

// Waits out the gate's pause on the fake clock.
void passPause(RateGate& gate) { gNow += gate.msUntilResume(); }

std::wstring temporaryFolder(const wchar_t* name)
{
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId()) + L"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

} // namespace

TEST(RateGate, PausesDoubleUpToFiveMinutesAndASuccessEndsTheRow)
{
    gNow = 1000;
    RateGate gate(fakeClock);
    EXPECT_EQ(gate.msUntilResume(), 0u);

    const uint64_t round = gate.round();
    gate.limited(round, std::nullopt);
    EXPECT_EQ(gate.msUntilResume(), 30 * kSecond);
    // Answers to requests that were on their way when the pause began are the same limit.
    gNow += 5 * kSecond;
    gate.limited(round, std::nullopt);
    gate.limited(round, std::nullopt);
    EXPECT_EQ(gate.msUntilResume(), 25 * kSecond);

    std::vector<uint64_t> pauses;
    for (int limit = 0; limit < 5; ++limit) {
        passPause(gate);
        gate.limited(gate.round(), std::nullopt);
        pauses.push_back(gate.msUntilResume());
    }
    EXPECT_EQ(pauses, (std::vector<uint64_t>{60 * kSecond, 120 * kSecond, 240 * kSecond, 300 * kSecond, 300 * kSecond}));

    passPause(gate);
    gate.succeeded();
    gate.limited(gate.round(), std::nullopt);
    EXPECT_EQ(gate.msUntilResume(), 30 * kSecond);
    EXPECT_FALSE(gate.givenUp());
}

TEST(RateGate, RetryAfterDecidesTheWait)
{
    gNow = 0;
    RateGate gate(fakeClock);
    const uint64_t round = gate.round();
    gate.limited(round, 2 * kSecond);
    EXPECT_EQ(gate.msUntilResume(), 2 * kSecond);
    // A later answer of the same round that asks for longer is obeyed, a shorter one is not.
    gate.limited(round, 10 * kSecond);
    gate.limited(round, 1 * kSecond);
    EXPECT_EQ(gate.msUntilResume(), 10 * kSecond);

    passPause(gate);
    gate.limited(gate.round(), 0);  // never an immediate retry in a loop
    EXPECT_EQ(gate.msUntilResume(), RateGate::kShortestPauseMs);
}

TEST(RateGate, GivesUpAfterThirtyMinutesWithoutASuccess)
{
    gNow = 0;
    RateGate gate(fakeClock);
    // Limited on and off for 29 minutes, with a success just before: it goes on.
    gate.limited(gate.round(), std::nullopt);
    gNow += 29 * kMinute;
    gate.succeeded();
    gate.limited(gate.round(), std::nullopt);
    gNow += 29 * kMinute;
    gate.limited(gate.round(), std::nullopt);
    EXPECT_FALSE(gate.givenUp());
    // 30 minutes since the first limit after that success.
    gNow += 1 * kMinute;
    gate.limited(gate.round(), std::nullopt);
    EXPECT_TRUE(gate.givenUp());
}

TEST(RateGate, RetryAfterValues)
{
    EXPECT_EQ(retryAfterMs("5"), 5000u);
    EXPECT_EQ(retryAfterMs(" 12 "), 12000u);
    EXPECT_EQ(retryAfterMs("0"), 0u);
    EXPECT_FALSE(retryAfterMs(""));
    EXPECT_FALSE(retryAfterMs("soon"));
    EXPECT_FALSE(retryAfterMs("-3"));
    EXPECT_EQ(retryAfterMs("99999999999999999999"), RateGate::kGiveUpMs);

    EXPECT_EQ(retryAfterMs("Wed, 21 Oct 2015 07:28:00 GMT"), 0u);
    // A date two minutes from now, written as a server would.
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER later;
    later.LowPart = now.dwLowDateTime;
    later.HighPart = now.dwHighDateTime;
    later.QuadPart += 120ull * 10000000;
    const FILETIME laterTime{later.LowPart, later.HighPart};
    SYSTEMTIME date{};
    ASSERT_TRUE(FileTimeToSystemTime(&laterTime, &date));
    wchar_t text[WINHTTP_TIME_FORMAT_BUFSIZE / sizeof(wchar_t)] = {};
    ASSERT_TRUE(WinHttpTimeFromSystemTime(&date, text));
    const std::optional<uint64_t> wait = retryAfterMs(toNarrow(text));
    ASSERT_TRUE(wait);
    EXPECT_GT(*wait, 115 * kSecond);
    EXPECT_LE(*wait, 120 * kSecond);
}

TEST(DownloadRun, StatusTexts)
{
    EXPECT_EQ(pauseStatusText(30, 120, 500), "  状态:服务器限制了访问频率,30秒后继续下载;当前下载进度 120/500");
}

TEST(DownloadLimits, FinalLines)
{
    auto report = [](int pages, int pictures, int writes, int total, bool gaveUp) {
        DownloadReport r;
        r.failedPages = pages;
        r.failedPictures = pictures;
        r.failedWrites = writes;
        r.albumTotal = total;
        r.gaveUp = gaveUp;
        return r;
    };
    // Whole only when every queued photo is saved and nothing failed.
    EXPECT_EQ(finalStatusText({}, 33, 33), "  状态:全部下载完成,当前已下载 33张 共 33张 请单击鼠标右键打开目录;");
    EXPECT_EQ(finalStatusText({}, 0, 0), "  状态:全部下载完成,当前已下载 0张 共 0张 请单击鼠标右键打开目录;");
    EXPECT_EQ(finalStatusText({}, 31, 33), "  状态:下载未完成,当前已下载 31张 共 33张 请单击鼠标右键打开目录;");
    EXPECT_EQ(finalStatusText(report(0, 3, 0, 3, false), 0, 3),
              "  状态:下载未完成,3张图片获取失败,当前已下载 0张 共 3张 请单击鼠标右键打开目录;");
    EXPECT_EQ(finalStatusText(report(1, 0, 0, 33, false), 32, 32),
              "  状态:下载未完成,1页照片列表获取失败,当前已下载 32张 共 32张 相册共 33张 请单击鼠标右键打开目录;");
    EXPECT_EQ(finalStatusText(report(1, 0, 0, 0, false), 0, 0), "  状态:下载未完成,1页照片列表获取失败,当前已下载 0张 共 0张 请单击鼠标右键打开目录;");
    EXPECT_EQ(finalStatusText(report(0, 0, 0, 500, true), 120, 500),
              "  状态:下载未完成,服务器持续限制访问频率,已停止下载,当前已下载 120张 共 500张 请单击鼠标右键打开目录;");
    // Every reason that applies, in one order.
    EXPECT_EQ(finalStatusText(report(2, 4, 1, 100, true), 20, 60),
              "  状态:下载未完成,服务器持续限制访问频率,已停止下载,2页照片列表获取失败,4张图片获取失败,1张图片写入失败,"
              "当前已下载 20张 共 60张 相册共 100张 请单击鼠标右键打开目录;");
    // A full disk stopped the job: said first, and never whole.
    DownloadReport full = report(0, 0, 3, 0, false);
    full.diskFull = true;
    EXPECT_EQ(finalStatusText(full, 7, 500),
              "  状态:下载未完成,磁盘空间不足,已停止下载,3张图片写入失败,当前已下载 7张 共 500张 请单击鼠标右键打开目录;");
    full.failedWrites = 0;
    EXPECT_EQ(finalStatusText(full, 3, 3), "  状态:下载未完成,磁盘空间不足,已停止下载,当前已下载 3张 共 3张 请单击鼠标右键打开目录;");
    // A write that failed is never whole, even when the counts agree.
    EXPECT_EQ(finalStatusText(report(0, 0, 1, 0, false), 3, 3),
              "  状态:下载未完成,1张图片写入失败,当前已下载 3张 共 3张 请单击鼠标右键打开目录;");
}

// A download of every album: its progress names the album, its last line counts albums and pictures.
// What the taskbar button counts: an album's own pictures, or in a download of every album the
// account's, whose total never drops below what the album list promised.
TEST(DownloadLimits, AccountProgressCountsEveryAlbum)
{
    const RunProgress single = runProgress({}, 7, 33);
    EXPECT_EQ(single.done, 7);
    EXPECT_EQ(single.total, 33);

    AccountPlace place;
    place.position = 3;
    place.count = 5;
    place.savedBefore = 8;    // the first two albums: 8 of 9 saved
    place.listedBefore = 9;
    place.claimedHere = 6;    // the album list says this one holds 6 ...
    place.claimedAfter = 10;  // ... and the last two 10 together
    // Its listing has not come yet: the album list's 6 stand for it.
    RunProgress account = runProgress(place, 0, 0);
    EXPECT_EQ(account.done, 8);
    EXPECT_EQ(account.total, 25);
    // Partly listed, partly saved.
    account = runProgress(place, 2, 4);
    EXPECT_EQ(account.done, 10);
    EXPECT_EQ(account.total, 25);
    // It lists more than the album list said: the total grows with it.
    account = runProgress(place, 7, 8);
    EXPECT_EQ(account.done, 15);
    EXPECT_EQ(account.total, 27);
}

TEST(DownloadLimits, AccountLines)
{
    EXPECT_EQ(accountProgressText(3, 25, L"\u65C5\u884C\U0001F697", 2, 6),
              toUtf16("  状态:正在下载第3/25个相册[") + L"\u65C5\u884C\U0001F697" + toUtf16("],当前下载进度 2/6"));
    EXPECT_EQ(accountFinalText({25, 25, 100, 100, false, false}), "  状态:全部相册下载完成,共25个相册,当前已下载 100张 共 100张 请单击鼠标右键打开目录;");
    EXPECT_EQ(accountFinalText({25, 24, 96, 100, false, false}),
              "  状态:相册下载未完成,共25个相册,完整24个,未完成1个,当前已下载 96张 共 100张 请单击鼠标右键打开目录;");
    // Why the run stopped comes first, even when every album it reached was whole.
    AccountTally stopped{25, 3, 12, 12, true, false};
    EXPECT_EQ(accountFinalText(stopped),
              "  状态:相册下载未完成,磁盘空间不足,已停止下载,共25个相册,完整3个,未完成22个,当前已下载 12张 共 12张 请单击鼠标右键打开目录;");
    stopped.diskFull = false;
    stopped.gaveUp = true;
    EXPECT_EQ(accountFinalText(stopped),
              "  状态:相册下载未完成,服务器持续限制访问频率,已停止下载,共25个相册,完整3个,未完成22个,当前已下载 12张 共 12张 请单击鼠标右键打开目录;");

    // An album whose folder refused its pictures is never whole.
    DownloadReport refused;
    refused.folderRefused = true;
    EXPECT_FALSE(isWholeAlbum(refused, 0, 0));
    EXPECT_TRUE(isWholeAlbum({}, 4, 4));
    EXPECT_FALSE(isWholeAlbum({}, 3, 4));
}

namespace {

HANDLE gAccountRunDone = nullptr;

void accountRunJob(const JobContext& job)
{
    struct Done {
        ~Done() { SetEvent(gAccountRunDone); }
    } done;
    DownloadRun run(job, 1);
    // A single album's download never stops for a folder: each picture tells its own failure.
    EXPECT_FALSE(run.stopAlbumForFolder());
    EXPECT_FALSE(run.albumHalted());
    run.beginAlbum({1, 2, L"a"});
    EXPECT_TRUE(run.isAccountRun());
    // The first refusal of an album stops it and alone tells the user.
    EXPECT_TRUE(run.stopAlbumForFolder());
    EXPECT_FALSE(run.stopAlbumForFolder());
    EXPECT_TRUE(run.albumHalted());
    // The next album starts anew; once it wrote a picture, a refusal is that picture's own.
    run.pageFailed();
    run.beginAlbum({2, 2, L"b"});
    EXPECT_FALSE(run.albumHalted());
    EXPECT_EQ(run.report().failedPages, 0);
    run.pictureWritten();
    EXPECT_FALSE(run.stopAlbumForFolder());
    EXPECT_FALSE(run.albumHalted());
    // A full disk stays for every album after it.
    EXPECT_TRUE(run.stopForFullDisk());
    run.beginAlbum({3, 3, L"c"});
    EXPECT_TRUE(run.diskFull());
    EXPECT_TRUE(run.albumHalted());
}

} // namespace

TEST(DownloadRun, AccountAlbumsStartAnewButAFullDiskStays)
{
    gAccountRunDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(startJob(DownloadJob, accountRunJob));
    EXPECT_TRUE(waitServed(gAccountRunDone, 10000));
    CloseHandle(gAccountRunDone);
    gAccountRunDone = nullptr;
}

namespace {

struct WaitProbe {
    HANDLE waiting = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    volatile LONG resumed = -1;
    ~WaitProbe()
    {
        CloseHandle(waiting);
        CloseHandle(done);
    }
};

WaitProbe* gProbe = nullptr;

void limitedJob(const JobContext& job)
{
    DownloadRun run(job, 1);
    run.gate().limited(run.gate().round(), 10 * kMinute);
    SetEvent(gProbe->waiting);
    InterlockedExchange(&gProbe->resumed, run.waitForResume() ? 1 : 0);
    SetEvent(gProbe->done);
}

} // namespace

namespace {

void heldJob(const JobContext& job)
{
    DownloadRun run(job, 1);
    SetEvent(gProbe->waiting);
    InterlockedExchange(&gProbe->resumed, run.waitForResume() ? 1 : 0);
    SetEvent(gProbe->done);
}

} // namespace

// The user's pause holds every request of the download, not only the pool's next tasks: a page
// or a picture's next try waits at the same place as for a rate limit, and goes once let go.
TEST(DownloadRun, AHeldDownloadAsksForNothingUntilLetGo)
{
    ASSERT_TRUE(downloadPool().start(1, kDownloadWorkers));
    ASSERT_TRUE(downloadPool().pause());
    WaitProbe probe;
    gProbe = &probe;
    ASSERT_TRUE(startJob(DownloadJob, heldJob));
    ASSERT_TRUE(waitServed(probe.waiting, 5000));
    EXPECT_FALSE(waitServed(probe.done, 500));
    EXPECT_EQ(progressStatusText(3, 9), "  状态:下载已暂停,当前下载进度 3/9;右键选择\"继续下载\"继续;");
    ASSERT_TRUE(downloadPool().resume());
    ASSERT_TRUE(waitServed(probe.done, 5000));
    EXPECT_EQ(probe.resumed, 1);
    EXPECT_EQ(progressStatusText(3, 9), "  状态:正在下载中,请耐心等待,可能需要一阵子时间;当前下载进度 3/9");
    gProbe = nullptr;
    downloadPool().stop(0);
}

TEST(DownloadRun, AWaitEndsAtOnceWhenTheJobIsReplaced)
{
    WaitProbe probe;
    gProbe = &probe;
    ASSERT_TRUE(startJob(DownloadJob, limitedJob));
    ASSERT_TRUE(waitServed(probe.waiting, 5000));
    const ULONGLONG replaced = GetTickCount64();
    ASSERT_TRUE(startJob(DownloadJob, emptyJob));
    ASSERT_TRUE(waitServed(probe.done, 5000));
    EXPECT_LT(GetTickCount64() - replaced, 1000u);
    EXPECT_EQ(probe.resumed, 0);
    gProbe = nullptr;
}

TEST(WrittenPictures, OnlyFilesStillThereAtTheSameSizeCount)
{
    const std::wstring folder = temporaryFolder(L"piclade-written-");
    WrittenPictures written;
    ASSERT_EQ(writePictureFile(folder, L"a.jpg", "12345"), 0u);
    ASSERT_EQ(writePictureFile(folder, L"b.jpg", "12345"), 0u);
    ASSERT_EQ(writePictureFile(folder, L"c.jpg", "12345"), 0u);
    written.remember(folder, L"a.jpg", "/mw1024/", 5);
    written.remember(folder, L"b.jpg", "/mw1024/", 5);
    written.remember(folder, L"c.jpg", "/mw1024/", 5);

    EXPECT_TRUE(written.haveAlready(folder, L"a.jpg", "/mw1024/"));
    EXPECT_FALSE(written.haveAlready(folder, L"a.jpg", "/large/"));    // names do not carry the size
    EXPECT_FALSE(written.haveAlready(folder, L"d.jpg", "/mw1024/"));   // never written
    DeleteFileW((folder + L"b.jpg").c_str());
    EXPECT_FALSE(written.haveAlready(folder, L"b.jpg", "/mw1024/"));   // removed since
    ASSERT_EQ(writePictureFile(folder, L"c.jpg", "123"), 0u);
    EXPECT_FALSE(written.haveAlready(folder, L"c.jpg", "/mw1024/"));   // changed since
    // Replaced by another program with a file of the same length: its time tells.
    ASSERT_EQ(writePictureFile(folder, L"e.jpg", "12345", 1500000000), 0u);
    written.remember(folder, L"e.jpg", "/mw1024/", 5);
    EXPECT_TRUE(written.haveAlready(folder, L"e.jpg", "/mw1024/"));
    ASSERT_EQ(writePictureFile(folder, L"e.jpg", "54321", 1600000000), 0u);
    EXPECT_FALSE(written.haveAlready(folder, L"e.jpg", "/mw1024/"));
    // Written again at another size: the first size no longer matches.
    written.remember(folder, L"a.jpg", "/large/", 5);
    EXPECT_FALSE(written.haveAlready(folder, L"a.jpg", "/mw1024/"));
    EXPECT_TRUE(written.haveAlready(folder, L"a.jpg", "/large/"));

    for (const wchar_t* name : {L"a.jpg", L"c.jpg", L"e.jpg"}) DeleteFileW((folder + name).c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST(FileStore, PictureCarriesThePhotoTime)
{
    const std::wstring folder = temporaryFolder(L"piclade-times-");
    ASSERT_EQ(writePictureFile(folder, L"t.jpg", "bytes", 1500003600), 0u);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(GetFileAttributesExW((folder + L"t.jpg").c_str(), GetFileExInfoStandard, &data));
    ULARGE_INTEGER time;
    time.LowPart = data.ftLastWriteTime.dwLowDateTime;
    time.HighPart = data.ftLastWriteTime.dwHighDateTime;
    EXPECT_EQ(time.QuadPart / 10000000 - 11644473600ull, 1500003600u);
    DeleteFileW((folder + L"t.jpg").c_str());
    RemoveDirectoryW(folder.c_str());
}
