#include "ui/status_bar.h"

#include "text/encoding.h"

namespace {

intptr_t statusReflected(WindowRecord* record, HWND, UINT message, WPARAM, LPARAM lParam, int*)
{
    if (message != WM_NOTIFY) return 0;
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    const auto control = reinterpret_cast<intptr_t>(header->hwndFrom);
    switch (header->code) {
    case NM_CLICK: raiseEvent(record, "OnClick", nullptr, control); break;
    case NM_DBLCLK: raiseEvent(record, "OnDBLClick", nullptr, control); break;
    case NM_RCLICK: raiseEvent(record, "OnRClick", nullptr, control); break;
    case SBN_SIMPLEMODECHANGE: raiseEvent(record, "SimpleModeChange", nullptr, control); break;
    default: break;
    }
    return 0;
}

// The bar never destroys part icons itself; the copies SetPartIcon gave it are destroyed with the
// window (at WM_DESTROY: the bar lets go of its parts before WM_NCDESTROY), or taken back when
// the object goes first.
void destroyPartIcons(WindowRecord* record)
{
    const HWND bar = record->handle();
    if (!bar || !IsWindow(bar)) return;
    const int parts = static_cast<int>(SendMessageW(bar, SB_GETPARTS, 0, 0));
    for (int part = -1; part < parts; ++part) {
        const auto icon = reinterpret_cast<HICON>(SendMessageW(bar, SB_GETICON, static_cast<WPARAM>(part), 0));
        if (!icon) continue;
        const UniqueIcon copy(icon);
        SendMessageW(bar, SB_SETICON, static_cast<WPARAM>(part), 0);
    }
}

intptr_t statusHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled)
{
    if (message == WM_DESTROY) destroyPartIcons(record);
    return windowBaseHandleMessage(record, window, message, wParam, lParam, handled);
}

} // namespace

StatusBar::StatusBar()
{
    if (!record_) return;
    record_->slots.handleReflected = statusReflected;
    record_->slots.handleMessage = statusHandleMessage;
    record_->slots.onFinalRelease = finalReleaseAfter<destroyPartIcons>;
}

bool StatusBar::Create(HWND parent, std::string_view text, DWORD style, int id)
{
    return CreateChildControl(parent, text, {0, 0}, {200, 32}, STATUSCLASSNAMEW, style, 0, id);
}

bool StatusBar::SetPartText(int part, std::string_view text) { return SetPartTextW(part, toUtf16(text)); }

bool StatusBar::SetPartTextW(int part, std::wstring_view text)
{
    const std::wstring copy(text);
    return Send(SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(copy.c_str())) != 0;
}

std::string StatusBar::GetPartText(int part) { return toNarrow(GetPartTextW(part)); }

std::wstring StatusBar::GetPartTextW(int part)
{
    const int length = LOWORD(Send(SB_GETTEXTLENGTHW, static_cast<WPARAM>(part)));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    Send(SB_GETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

RECT StatusBar::GetPartRect(int part)
{
    RECT rect{};
    Send(SB_GETRECT, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(&rect));
    return rect;
}

bool StatusBar::SetPartIcon(int part, HICON icon)
{
    // The bar shows the copy but never destroys it: the previous one goes here.
    const UniqueIcon previous(reinterpret_cast<HICON>(Send(SB_GETICON, static_cast<WPARAM>(part))));
    UniqueIcon copy(icon ? CopyIcon(icon) : nullptr);
    return Send(SB_SETICON, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(copy.release())) != 0;
}

bool StatusBar::Create(HWND parent, std::string_view text, POINT position, SIZE size, DWORD style, DWORD exStyle, int id)
{
    return CreateChildControl(parent, text, position, size, STATUSCLASSNAMEW, style, exStyle, id);
}

bool StatusBar::CreateW(HWND parent, std::wstring_view text, POINT position, SIZE size, DWORD style, DWORD exStyle, int id)
{
    if (!CreateChildControl(parent, {}, position, size, STATUSCLASSNAMEW, style, exStyle, id)) return false;
    SetTextW(text);
    return true;
}
