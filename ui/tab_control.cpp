#include "ui/tab_control.h"

#include <unordered_map>

#include "text/encoding.h"
#include "ui/held_property.h"

namespace {

// The records of the pages the tabs carry as item data, each held by one counted reference, with
// the tooltip text of its tab. A tab's item data thus never names a record that is gone.
struct TabPages {
    std::unordered_map<WindowRecord*, std::wstring> tooltips;
    ~TabPages()
    {
        for (auto& [page, tooltip] : tooltips) page->release();
    }
};
constexpr OwnedObject<TabPages> kTabPages("HashToolTips");

void releasePages(WindowRecord* record) { kTabPages.release(record->properties); }

WindowRecord* pageOf(HWND tabs, int index)
{
    TCITEMW item{};
    item.mask = TCIF_PARAM;
    if (!SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<WindowRecord*>(item.lParam);
}

void showSelectedPage(HWND tabs)
{
    const int selected = static_cast<int>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0));
    const int count = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        if (WindowRecord* page = pageOf(tabs, i)) ShowWindow(page->handle(), i == selected ? SW_SHOW : SW_HIDE);
}

// The tabs go with the window, and their pages are let go with them.
intptr_t tabHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled)
{
    if (message == WM_NCDESTROY) releasePages(record);
    return windowBaseHandleMessage(record, window, message, wParam, lParam, handled);
}

} // namespace

TabControl::TabControl()
{
    if (!record_) return;
    record_->slots.handleReflected = tabReflected;
    record_->slots.handleMessage = tabHandleMessage;
    record_->slots.onFinalRelease = finalReleaseAfter<releasePages>;
}

bool TabControl::Create(HWND parent, POINT position, SIZE size, DWORD style, DWORD exStyle, int id)
{
    return CreateChildControl(parent, "", position, size, WC_TABCONTROLW, style | WS_CLIPCHILDREN, exStyle | WS_EX_CONTROLPARENT, id);
}

bool TabControl::SelectAsUser(int index)
{
    const HWND tabs = GetHandle();
    if (!tabs || index < 0 || index >= GetItemCount() || index == GetCurSel()) return false;
    NMHDR header{tabs, static_cast<UINT_PTR>(GetDlgCtrlID(tabs)), static_cast<UINT>(TCN_SELCHANGING)};
    const HWND parent = ::GetParent(tabs);
    if (SendMessageW(parent, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header))) return false;
    SetCurSel(index);
    header.code = static_cast<UINT>(TCN_SELCHANGE);
    SendMessageW(parent, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
    return true;
}

RECT TabControl::DisplayArea()
{
    RECT area = GetClientRect();
    Send(TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    return area;
}

int TabControl::AddTab(WindowObject& page, std::string_view text, int index, int image, std::string_view tooltip)
{
    if (!record_ || !page.Record()) return -1;
    std::wstring wide = toUtf16(text);
    TCITEMW item{};
    item.mask = TCIF_PARAM;
    item.lParam = reinterpret_cast<LPARAM>(page.Record());
    if (!text.empty()) {
        item.mask |= TCIF_TEXT;
        item.pszText = wide.data();
    }
    if (image >= 0) {
        item.mask |= TCIF_IMAGE;
        item.iImage = image;
    }
    if (page.GetHandle()) ::SetParent(page.GetHandle(), GetHandle());
    const int at = index < 0 ? GetItemCount() : index;
    const int added = static_cast<int>(Send(TCM_INSERTITEMW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&item)));
    if (added < 0) return -1;
    auto [entry, fresh] = kTabPages.ensure(record_->properties).tooltips.try_emplace(page.Record());
    if (fresh) page.Record()->addRef();
    entry->second = toUtf16(tooltip);
    if (page.GetHandle()) {
        // The page covers the area under the tabs.
        const RECT area = DisplayArea();
        MoveWindow(page.GetHandle(), area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
    }
    ShowSelectedPage();
    return added;
}

void TabControl::ShowSelectedPage() { showSelectedPage(GetHandle()); }

intptr_t tabReflected(WindowRecord* record, HWND, UINT message, WPARAM, LPARAM lParam, int* handled)
{
    if (message != WM_NOTIFY) return 0;
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    const auto control = reinterpret_cast<intptr_t>(header->hwndFrom);
    switch (header->code) {
    case TCN_SELCHANGE:
        showSelectedPage(header->hwndFrom);
        raiseEvent(record, "OnSelChange", nullptr, control);
        return 0;
    case TCN_SELCHANGING:
        if (raiseEvent(record, "OnSelChanging", nullptr, control)) {
            *handled = 1;
            return 1;
        }
        return 0;
    case NM_CLICK: raiseEvent(record, "OnClick", nullptr, control); return 0;
    case NM_RCLICK: raiseEvent(record, "OnRClick", nullptr, control); return 0;
    case TTN_GETDISPINFOW: {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
        const HWND tabs = record->handle();
        const TabPages* pages = kTabPages.get(record->properties);
        WindowRecord* page = pageOf(tabs, static_cast<int>(header->idFrom));
        if (pages && page) {
            const auto found = pages->tooltips.find(page);
            if (found != pages->tooltips.end()) info->lpszText = const_cast<wchar_t*>(found->second.c_str());
        }
        return 0;
    }
    default: return 0;
    }
}
