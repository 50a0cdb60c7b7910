#include "app/jobs/download_run.h"

#include "app/core/app_state.h"
#include "app/core/shared_objects.h"
#include "app/jobs/job_window.h"
#include "text/encoding.h"

namespace {

struct CurrentRun {
    CriticalSection lock;
    std::shared_ptr<DownloadRun> run;
};

CurrentRun& current()
{
    static CurrentRun slot;
    return slot;
}

} // namespace

bool isWholeAlbum(const DownloadReport& report, long downloaded, long queued)
{
    return downloaded == queued && !report.failedPages && !report.failedPictures && !report.failedWrites && !report.gaveUp &&
           !report.diskFull && !report.folderRefused;
}

// Guarded by EndToEndHostile.ErrorObjectPageIsRetriedNotTakenAsEmpty and DownloadLimits.FinalLines.
std::string finalStatusText(const DownloadReport& report, long downloaded, long queued)
{
    const std::string counts = "当前已下载 " + std::to_string(downloaded) + "张 共 " + std::to_string(queued) + "张";
    if (isWholeAlbum(report, downloaded, queued)) return "  状态:全部下载完成," + counts + " 请单击鼠标右键打开目录;";
    std::string text = "  状态:下载未完成,";
    if (report.diskFull) text += "磁盘空间不足,已停止下载,";
    if (report.gaveUp) text += "服务器持续限制访问频率,已停止下载,";
    if (report.failedPages) text += std::to_string(report.failedPages) + "页照片列表获取失败,";
    if (report.failedPictures) text += std::to_string(report.failedPictures) + "张图片获取失败,";
    if (report.failedWrites) text += std::to_string(report.failedWrites) + "张图片写入失败,";
    text += counts;
    if (report.albumTotal > queued) text += " 相册共 " + std::to_string(report.albumTotal) + "张";
    return text + " 请单击鼠标右键打开目录;";
}

std::string pauseStatusText(unsigned seconds, long downloaded, long queued)
{
    return "  状态:服务器限制了访问频率," + std::to_string(seconds) + "秒后继续下载;当前下载进度 " + std::to_string(downloaded) + "/" +
           std::to_string(queued);
}

std::string heldStatusText(long downloaded, long queued)
{
    return "  状态:下载已暂停,当前下载进度 " + std::to_string(downloaded) + "/" + std::to_string(queued) + ";右键选择\"继续下载\"继续;";
}

std::string progressStatusText(long downloaded, long queued)
{
    if (downloadPool().isPaused()) return heldStatusText(downloaded, queued);
    return "  状态:正在下载中,请耐心等待,可能需要一阵子时间;当前下载进度 " + std::to_string(downloaded) + "/" + std::to_string(queued);
}

std::wstring accountProgressText(int position, int count, std::wstring_view caption, long downloaded, long queued)
{
    std::wstring text = toUtf16("  状态:正在下载第" + std::to_string(position) + "/" + std::to_string(count) + "个相册[");
    text += caption;
    text += toUtf16("],当前下载进度 " + std::to_string(downloaded) + "/" + std::to_string(queued));
    return text;
}

// Guarded by DownloadLimits.AccountLines and EndToEndAccount.*.
std::string accountFinalText(const AccountTally& tally)
{
    const std::string counts = "当前已下载 " + std::to_string(tally.downloaded) + "张 共 " + std::to_string(tally.listed) +
                               "张 请单击鼠标右键打开目录;";
    const std::string albums = "共" + std::to_string(tally.albums) + "个相册,";
    if (tally.complete == tally.albums && !tally.diskFull && !tally.gaveUp) return "  状态:全部相册下载完成," + albums + counts;
    std::string reasons;
    if (tally.diskFull) reasons += "磁盘空间不足,已停止下载,";
    if (tally.gaveUp) reasons += "服务器持续限制访问频率,已停止下载,";
    return "  状态:相册下载未完成," + reasons + albums + "完整" + std::to_string(tally.complete) + "个,未完成" +
           std::to_string(tally.albums - tally.complete) + "个," + counts;
}

// Guarded by DownloadLimits.AccountProgressCountsEveryAlbum and EndToEndTaskbar.AccountNoticeAndTheAccountsPictures.
RunProgress runProgress(const AccountPlace& place, long downloaded, long queued)
{
    if (place.position == 0) return {downloaded, queued};
    const long here = queued > place.claimedHere ? queued : place.claimedHere;
    return {place.savedBefore + downloaded, place.listedBefore + here + place.claimedAfter};
}

std::wstring currentProgressText(long downloaded, long queued)
{
    const std::shared_ptr<DownloadRun> run = currentDownloadRun();
    if (run && run->awaitingSignIn() && isCurrentJob(DownloadJob, run->generation())) return toUtf16(kSessionLapsedStatus);
    if (!downloadPool().isPaused() && run && run->isAccountRun()) {
        const AccountPlace place = run->place();
        return accountProgressText(place.position, place.count, place.caption, downloaded, queued);
    }
    return toUtf16(progressStatusText(downloaded, queued));
}

DownloadRun::DownloadRun(const JobContext& job, long generation, RateGate::Clock clock)
    : PatientJob(job, clock), generation_(generation)
{
}

void DownloadRun::showPause(uint64_t msLeft)
{
    // The user's pause holds the line; a rate limit met just before it is waited out unseen.
    if (heldByUser()) return;
    const unsigned seconds = static_cast<unsigned>((msLeft + 999) / 1000);
    const uint64_t round = gate().round();
    {
        // One waiter writes each second of each pause; the others find it shown.
        Locked hold(lock_);
        if (round == shownRound_ && seconds == shownSeconds_) return;
        shownRound_ = round;
        shownSeconds_ = seconds;
    }
    const AppState& state = appState();
    setStatus(pauseStatusText(seconds, state.downloadedCount, state.queuedCount));
    downloadMoved();  // the taskbar button shows the wait
}

// The pool's pause is the user's: its workers take no new picture, and this holds the rest.
bool DownloadRun::heldByUser() const { return downloadPool().isPaused(); }

void DownloadRun::showSignedInAgain()
{
    const AppState& state = appState();
    setStatus(currentProgressText(state.downloadedCount, state.queuedCount));
}

void DownloadRun::pageFailed()
{
    Locked hold(lock_);
    ++report_.failedPages;
}

void DownloadRun::pictureFailed()
{
    Locked hold(lock_);
    ++report_.failedPictures;
}

void DownloadRun::writeFailed()
{
    Locked hold(lock_);
    ++report_.failedWrites;
}

bool DownloadRun::stopForFullDisk()
{
    Locked hold(lock_);
    if (report_.diskFull) return false;
    report_.diskFull = true;
    return true;
}

bool DownloadRun::diskFull() const
{
    Locked hold(lock_);
    return report_.diskFull;
}

void DownloadRun::setAlbumTotal(int total)
{
    Locked hold(lock_);
    report_.albumTotal = total;
}

void DownloadRun::beginAlbum(const AccountPlace& place)
{
    Locked hold(lock_);
    place_ = place;
    const bool diskFull = report_.diskFull;
    report_ = DownloadReport{};
    report_.diskFull = diskFull;
    albumWrote_ = false;
}

void DownloadRun::openJournal(const std::wstring& albumFolder, const std::string& albumId)
{
    Locked hold(lock_);
    saved_.clear();
    // Without a journal the pictures are still saved; the next run only knows less of them.
    static_cast<void>(journal_.open(albumFolder, albumId));
}

void DownloadRun::journalPicture(const SavedPhoto& photo)
{
    static_cast<void>(journal_.append(photo));  // the file is saved either way
}

void DownloadRun::pictureSaved(const SavedPhoto& photo)
{
    Locked hold(lock_);
    saved_.insert_or_assign(photo.picName, SavedStamp{photo.sizePath, photo.bytes, photo.modified});
}

std::map<std::string, SavedStamp> DownloadRun::closeJournal()
{
    Locked hold(lock_);
    journal_.close();
    return std::move(saved_);
}

AccountPlace DownloadRun::place() const
{
    Locked hold(lock_);
    return place_;
}

bool DownloadRun::isAccountRun() const
{
    Locked hold(lock_);
    return place_.position > 0;
}

void DownloadRun::pictureWritten()
{
    Locked hold(lock_);
    albumWrote_ = true;
}

bool DownloadRun::stopAlbumForFolder()
{
    Locked hold(lock_);
    if (place_.position == 0 || albumWrote_ || report_.folderRefused) return false;
    report_.folderRefused = true;
    return true;
}

bool DownloadRun::albumHalted() const
{
    Locked hold(lock_);
    return report_.diskFull || report_.folderRefused;
}

DownloadReport DownloadRun::report() const
{
    Locked hold(lock_);
    DownloadReport report = report_;
    report.gaveUp = gate().givenUp();
    return report;
}

std::shared_ptr<DownloadRun> startDownloadRun(const JobContext& job, long generation)
{
    auto run = std::make_shared<DownloadRun>(job, generation);
    Locked hold(current().lock);
    // A replaced job whose thread starts late never takes the place of its successor's run.
    if (!current().run || current().run->generation() < generation) current().run = run;
    return run;
}

std::shared_ptr<DownloadRun> currentDownloadRun()
{
    Locked hold(current().lock);
    return current().run;
}
