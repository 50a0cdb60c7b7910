#include "app/shell/download_signals.h"

#include <atomic>
#include <memory>
#include <optional>

#include "app/core/app_state.h"
#include "app/core/job_threads.h"
#include "app/core/shared_objects.h"
#include "app/jobs/download_run.h"
#include "app/shell/desktop_calls.h"
#include "app/shell/done_notice.h"
#include "app/shell/taskbar_progress.h"
#include "ui/private_messages.h"
#include "ui/top_level_window.h"

namespace {

enum class Phase { Idle, Working, Incomplete };  // incomplete: ended so, not yet seen by the user

class DownloadSignals {
public:
    explicit DownloadSignals(TopLevelWindow& window)
        : calls_(makeDesktopCalls()), button_(*calls_, window.GetHandle()), notice_(*calls_, window)
    {
    }
    DownloadSignals(const DownloadSignals&) = delete;
    DownloadSignals& operator=(const DownloadSignals&) = delete;
    ~DownloadSignals() { shutdown(); }

    void buttonCreated() { button_.buttonCreated(); }

    void began()
    {
        phase_ = Phase::Working;
        notice_.withdraw();  // the last download's news is old now
        // Nothing counted yet: the run of the download it replaces may still be the current one.
        button_.show({ButtonProgress::Normal, 0, 0});
        keepAwake(true);
    }

    // Guarded by EndToEndTaskbar.ButtonFollowsTheDownload.
    void refresh()
    {
        if (phase_ != Phase::Working) return;
        std::shared_ptr<DownloadRun> run = currentDownloadRun();
        if (run && !isCurrentJob(DownloadJob, run->generation())) run = nullptr;  // replaced, its successor not begun
        const bool heldByUser = downloadPool().isPaused();
        // A rate-limit wait or a lapsed sign-in holds the job as the user's pause does; the
        // system stays awake through them, as the job goes on by itself.
        const bool waiting = run && (run->gate().msUntilResume() > 0 || run->awaitingSignIn());
        const AppState& app = appState();
        const RunProgress progress = runProgress(run ? run->place() : AccountPlace{}, app.downloadedCount, app.queuedCount);
        const ButtonProgress state = heldByUser || waiting ? ButtonProgress::Paused : ButtonProgress::Normal;
        button_.show({state, static_cast<uint64_t>(progress.done > 0 ? progress.done : 0),
                      static_cast<uint64_t>(progress.total > 0 ? progress.total : 0)});
        keepAwake(!heldByUser);
    }

    void finished(bool whole, std::string_view finalLine)
    {
        keepAwake(false);
        phase_ = whole ? Phase::Idle : Phase::Incomplete;
        ButtonView view = button_.wanted();
        view.state = whole ? ButtonProgress::None : ButtonProgress::Error;
        button_.show(view);
        // After an account's download the owner's folder, which holds every album's.
        const std::shared_ptr<DownloadRun> run = currentDownloadRun();
        const std::wstring album = appState().albumFolder.get();
        notice_.downloadEnded(finalLine, run && run->isAccountRun() ? ownerFolderOf(album) : album);
    }

    // The user has seen the window: a red button has told its news.
    void activated()
    {
        if (phase_ != Phase::Incomplete) return;
        phase_ = Phase::Idle;
        button_.show({});
    }

    void trayEvent(intptr_t code) { notice_.trayEvent(code); }

    // The window goes: the system may sleep, and the icon leaves the notification area.
    void shutdown()
    {
        keepAwake(false);
        phase_ = Phase::Idle;
        notice_.withdraw();
    }

private:
    void keepAwake(bool awake)
    {
        if (awake == awake_) return;
        awake_ = awake;
        calls_->keepAwake(awake);
    }

    std::unique_ptr<DesktopCalls> calls_;
    TaskbarProgress button_;
    DoneNotice notice_;
    Phase phase_ = Phase::Idle;
    bool awake_ = false;
};

// Owned from the window's creation to its destruction, on the GUI thread.
std::unique_ptr<DownloadSignals> gSignals;
UINT gButtonCreatedMessage = 0;
// A look at the download waits in the window's queue: further moves add none.
std::atomic<bool> gLookPosted{false};

// Lets the shell's message through to a program that runs elevated. The function exists from
// Windows 7 on, so it is looked up rather than imported.
void allowFromShell(HWND window, UINT message)
{
    using Filter = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
    constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW
    const HMODULE user = GetModuleHandleW(L"user32.dll");
    const auto filter = user ? reinterpret_cast<Filter>(reinterpret_cast<void*>(GetProcAddress(user, "ChangeWindowMessageFilterEx")))
                             : nullptr;
    if (filter) static_cast<void>(filter(window, message, kAllow, nullptr));
}

} // namespace

void startDownloadSignals(TopLevelWindow& window)
{
    gButtonCreatedMessage = RegisterWindowMessageW(L"TaskbarButtonCreated");
    if (gButtonCreatedMessage) allowFromShell(window.GetHandle(), gButtonCreatedMessage);
    gSignals = std::make_unique<DownloadSignals>(window);
}

void stopDownloadSignals() { gSignals.reset(); }

void postDownloadMoved(HWND window)
{
    if (!window || gLookPosted.exchange(true)) return;
    if (!PostMessageW(window, kDownloadMovedMessage, 0, 0)) gLookPosted = false;
}

bool onDownloadSignalMessage(UINT message, WPARAM wParam)
{
    if (message == kDownloadMovedMessage) {
        gLookPosted = false;  // before the look: a move during it posts another
        downloadRefresh();
        return true;
    }
    if (!gSignals) return false;
    if (gButtonCreatedMessage && message == gButtonCreatedMessage) {
        gSignals->buttonCreated();
        return true;
    }
    if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) gSignals->activated();
    if (message == WM_DESTROY) gSignals->shutdown();
    return false;
}

void onDownloadNoticeEvent(intptr_t code)
{
    if (gSignals) gSignals->trayEvent(code);
}

void downloadBegan()
{
    if (gSignals) gSignals->began();
}

void downloadRefresh()
{
    if (gSignals) gSignals->refresh();
}

void downloadFinished(bool whole, std::string_view finalLine)
{
    if (gSignals) gSignals->finished(whole, finalLine);
}
