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

} // namespace

StatusBar::StatusBar()
{
    if (record_) record_->slots.handleReflected = statusReflected;
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
    if (const auto previous = reinterpret_cast<HICON>(Send(SB_GETICON, static_cast<WPARAM>(part)))) DestroyIcon(previous);
    return Send(SB_SETICON, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(icon ? CopyIcon(icon) : nullptr)) != 0;
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
