#include "app/shell/done_notice.h"

#include "app/shell/folder_actions.h"
#include "ui/top_level_window.h"

namespace {

constexpr intptr_t kBalloonGone = 7;
constexpr intptr_t kBalloonClicked = 8;

} // namespace

bool programInFront()
{
    const HWND front = GetForegroundWindow();
    DWORD process = 0;
    if (front) GetWindowThreadProcessId(front, &process);
    return front && process == GetCurrentProcessId();
}

std::string_view noticeText(std::string_view finalLine)
{
    constexpr std::string_view kStatusStart = "  状态:";
    if (finalLine.substr(0, kStatusStart.size()) == kStatusStart) finalLine.remove_prefix(kStatusStart.size());
    return finalLine;
}

std::wstring ownerFolderOf(const std::wstring& albumFolder)
{
    if (albumFolder.size() < 2) return {};
    const size_t slash = albumFolder.rfind(L'\\', albumFolder.size() - 2);
    return slash == std::wstring::npos ? std::wstring() : albumFolder.substr(0, slash + 1);
}

// Guarded by EndToEndTaskbar.NoticeOnlyWhenAnotherWindowIsInFront.
void DoneNotice::downloadEnded(std::string_view finalLine, const std::wstring& folder)
{
    if (finalLine.empty() || programInFront()) return;
    const HWND window = window_.GetHandle();
    calls_.flash(window);
    // A balloon of an earlier download still up is replaced by this one, and so is its folder.
    folder_ = folder;
    shown_ = calls_.showBalloon(window_, "Piclade", noticeText(finalLine)) || shown_;
}

void DoneNotice::trayEvent(intptr_t code)
{
    if (code != kBalloonGone && code != kBalloonClicked) return;
    if (!shown_) return;
    // Opened before the icon goes: the browser comes to the front from the user's click.
    if (code == kBalloonClicked) static_cast<void>(openAlbumFolder(folder_));
    withdraw();
}

void DoneNotice::withdraw()
{
    if (!shown_) return;
    shown_ = false;
    calls_.removeBalloon(window_);
}
