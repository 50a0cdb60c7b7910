#include "app/shell/desktop_calls.h"

#include <shellapi.h>
#include <shobjidl.h>

#include "tasks/unique_handle.h"
#include "ui/top_level_window.h"

namespace {

void releaseTaskbarList(ITaskbarList3* list) { list->Release(); }
using UniqueTaskbarList = UniqueResource<ITaskbarList3*, releaseTaskbarList>;

TBPFLAG taskbarFlag(ButtonProgress state)
{
    switch (state) {
    case ButtonProgress::Normal: return TBPF_NORMAL;
    case ButtonProgress::Paused: return TBPF_PAUSED;
    case ButtonProgress::Error: return TBPF_ERROR;
    case ButtonProgress::None: break;
    }
    return TBPF_NOPROGRESS;
}

class SystemDesktopCalls final : public DesktopCalls {
public:
    bool taskbarButtonCreated(HWND) override
    {
        // Made on the GUI thread, in its apartment, and only once the button exists; a restarted
        // taskbar announces its new button again and the same list serves it.
        if (list_) return true;
        ITaskbarList3* made = nullptr;
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3, reinterpret_cast<void**>(&made))))
            return false;
        UniqueTaskbarList list(made);
        if (FAILED(list.get()->HrInit())) return false;
        list_ = std::move(list);
        return true;
    }

    void setProgressState(HWND window, ButtonProgress state) override
    {
        if (list_) static_cast<void>(list_.get()->SetProgressState(window, taskbarFlag(state)));
    }

    void setProgressValue(HWND window, uint64_t done, uint64_t total) override
    {
        if (list_) static_cast<void>(list_.get()->SetProgressValue(window, done, total));
    }

    // The state belongs to the calling thread: set and released on the GUI thread alone.
    void keepAwake(bool awake) override
    {
        static_cast<void>(SetThreadExecutionState(awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS));
    }

    void flash(HWND window) override
    {
        FLASHWINFO info{};
        info.cbSize = sizeof info;
        info.hwnd = window;
        info.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
        static_cast<void>(FlashWindowEx(&info));
    }

    bool showBalloon(TopLevelWindow& window, std::string_view title, std::string_view text) override
    {
        if (!window.AddTrayIcon(window.GetIcon(false), "Piclade")) return false;
        if (window.ShowBalloon(text, title, NIIF_INFO)) return true;
        // No balloon means no click or time-out to take the icon away later.
        static_cast<void>(window.RemoveTrayIcon());
        return false;
    }

    void removeBalloon(TopLevelWindow& window) override { static_cast<void>(window.RemoveTrayIcon()); }

private:
    UniqueTaskbarList list_;
};

} // namespace

std::unique_ptr<DesktopCalls> makeDesktopCalls()
{
    if (std::unique_ptr<DesktopCalls> recorder = makeDesktopRecorder()) return recorder;
    return std::make_unique<SystemDesktopCalls>();
}
