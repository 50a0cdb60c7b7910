#include "ui/list_view.h"

#include "text/encoding.h"
#include "ui/held_property.h"

namespace {

// The image lists the list view object holds, by kind (normal, small, state, group header). The
// control is made with LVS_SHAREIMAGELISTS, so these references are the lists' only owners.
constexpr OwnedObject<ImageListObject> kImageLists[] = {
    OwnedObject<ImageListObject>("pImageListBig"), OwnedObject<ImageListObject>("pImageListSmall"),
    OwnedObject<ImageListObject>("pImageListState"), OwnedObject<ImageListObject>("pImageListGroup")};
const int kImageListKinds[] = {LVSIL_NORMAL, LVSIL_SMALL, LVSIL_STATE, 3 /* LVSIL_GROUPHEADER */};

UINT checkState(int check) { return static_cast<UINT>(check + 1) << 12; }

void releaseImageLists(WindowRecord* record)
{
    const HWND window = record->handle();
    for (int kind = 0; kind < 4; ++kind) {
        if (!kImageLists[kind].get(record->properties)) continue;
        // A control that outlives its object must not paint with a list that goes now.
        if (window && IsWindow(window)) SendMessageW(window, LVM_SETIMAGELIST, static_cast<WPARAM>(kImageListKinds[kind]), 0);
        kImageLists[kind].release(record->properties);
    }
}

} // namespace

ListView::ListView()
{
    if (!record_) return;
    record_->slots.handleReflected = listViewReflected;
    record_->slots.onFinalRelease = finalReleaseAfter<releaseImageLists>;
}

bool ListView::Create(HWND parent, POINT position, SIZE size, DWORD style, DWORD exStyle, int id)
{
    // The object's counted references own the image lists, never the control.
    if (!CreateChildControl(parent, "", position, size, WC_LISTVIEWW, style | LVS_SHAREIMAGELISTS, exStyle, id)) return false;
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_SUBITEMIMAGES | LVS_EX_INFOTIP);
    return true;
}

int ListView::InsertColumn(std::string_view title, int width, int index, int format, std::optional<int> image, bool imageOnRight)
{
    std::wstring text = toUtf16(title);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    if (image) {
        column.mask |= LVCF_IMAGE;
        column.iImage = *image;
    }
    column.fmt = format | (imageOnRight ? LVCFMT_BITMAP_ON_RIGHT : 0);
    column.cx = width;
    column.pszText = text.data();
    const int at = index == kAppend ? Header_GetItemCount(ListView_GetHeader(GetHandle())) : index;
    return static_cast<int>(Send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&column)));
}

int ListView::InsertItem(std::optional<std::string_view> text, int image, int index, int check, LPARAM data, int indent,
                         std::optional<int> groupId)
{
    std::optional<std::wstring> wide;
    if (text) wide = toUtf16(*text);
    return InsertItemW(wide, image, index, check, data, indent, groupId);
}

int ListView::InsertItemW(std::optional<std::wstring_view> text, int image, int index, int check, LPARAM data, int indent,
                          std::optional<int> groupId)
{
    std::wstring wide = text ? std::wstring(*text) : std::wstring();
    LVITEMW item{};
    item.mask = LVIF_IMAGE | LVIF_PARAM | LVIF_STATE | LVIF_INDENT;
    item.iItem = index == kAppend ? GetItemCount() : index;
    item.iImage = image;
    item.lParam = data;
    item.iIndent = indent;
    item.state = checkState(check);
    item.stateMask = 0xF000;
    if (text) {
        item.mask |= LVIF_TEXT;
        item.pszText = wide.data();
    }
    if (groupId) {
        item.mask |= LVIF_GROUPID;
        item.iGroupId = *groupId;
    }
    return static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool ListView::SetItemText(int item, int column, std::string_view text) { return SetItemTextW(item, column, toUtf16(text)); }

bool ListView::SetItemTextW(int item, int column, std::wstring_view text)
{
    std::wstring wide(text);
    LVITEMW entry{};
    entry.mask = LVIF_TEXT;
    entry.iItem = item;
    entry.iSubItem = column;
    entry.pszText = wide.data();
    return Send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&entry)) != 0;
}

std::string ListView::GetItemText(int item, int column) { return toNarrow(GetItemTextW(item, column)); }

std::wstring ListView::GetItemTextW(int item, int column)
{
    wchar_t buffer[260] = {};
    LVITEMW entry{};
    entry.mask = LVIF_TEXT;
    entry.iItem = item;
    entry.iSubItem = column;
    entry.pszText = buffer;
    entry.cchTextMax = 260;
    if (!Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&entry))) return {};
    return entry.pszText ? entry.pszText : L"";
}

bool ListView::SetItemData(int item, LPARAM data)
{
    LVITEMW entry{};
    entry.mask = LVIF_PARAM;
    entry.iItem = item;
    entry.lParam = data;
    return Send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&entry)) != 0;
}

LPARAM ListView::GetItemData(int item)
{
    LVITEMW entry{};
    entry.mask = LVIF_PARAM;
    entry.iItem = item;
    return Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&entry)) ? entry.lParam : 0;
}

bool ListView::setState(int item, UINT state, UINT mask)
{
    LVITEMW entry{};
    entry.state = state;
    entry.stateMask = mask;
    return Send(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&entry)) != 0;
}

bool ListView::SetCheck(int item, int check)
{
    LVITEMW entry{};
    entry.mask = LVIF_STATE;
    entry.iItem = item;
    entry.state = checkState(check);
    entry.stateMask = 0xF000;
    return Send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&entry)) != 0;
}

std::vector<int> ListView::GetCheckedItems()
{
    std::vector<int> checked;
    const int count = GetItemCount();
    for (int i = 0; i < count; ++i)
        if (Send(LVM_GETITEMSTATE, static_cast<WPARAM>(i), 0xF000) != 0x1000) checked.push_back(i);
    return checked;
}

std::vector<int> ListView::GetSelectedItems()
{
    std::vector<int> selected;
    const int count = GetItemCount();
    for (int i = 0; i < count; ++i)
        if (IsSelected(i)) selected.push_back(i);
    return selected;
}

void ListView::SetImageList(const ImageListObject& list, int kind)
{
    if (kind >= 0 && kind <= 3 && record_) {
        // The control takes the new list before the one it showed can be destroyed.
        auto* held = new ImageListObject(list);
        Send(LVM_SETIMAGELIST, static_cast<WPARAM>(kImageListKinds[kind]), reinterpret_cast<LPARAM>(list.Handle()));
        kImageLists[kind].reset(record_->properties, held);
        return;
    }
    Send(LVM_SETIMAGELIST, static_cast<WPARAM>(kind), reinterpret_cast<LPARAM>(list.Handle()));
}

intptr_t listViewReflected(WindowRecord* record, HWND, UINT message, WPARAM, LPARAM lParam, int* handled)
{
    if (message != WM_NOTIFY) return 0;
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    const auto control = reinterpret_cast<intptr_t>(header->hwndFrom);
    const auto* change = reinterpret_cast<const NMLISTVIEW*>(lParam);
    const auto* activate = reinterpret_cast<const NMITEMACTIVATE*>(lParam);
    bool bound = false;
    switch (header->code) {
    case LVN_ITEMCHANGED:
        if (change->uNewState & LVIS_SELECTED) raiseEvent(record, "OnItemChange", nullptr, control, change->iItem, change->lParam);
        return 0;
    case LVN_HOTTRACK: {
        const intptr_t result = raiseEvent(record, "OnHotTrack", &bound, control, change->iItem, change->iSubItem);
        if (bound) *handled = 1;
        return result;
    }
    case LVN_COLUMNCLICK: raiseEvent(record, "OnColumnClick", nullptr, control, change->iSubItem); return 0;
    case LVN_ITEMACTIVATE:
        raiseEvent(record, "OnItemActivate", &bound, control, activate->iItem, activate->iSubItem);
        if (bound) *handled = 1;
        return 0;
    case LVN_BEGINLABELEDITW: {
        const auto* edit = reinterpret_cast<const NMLVDISPINFOW*>(lParam);
        const intptr_t result = raiseEvent(record, "OnBeginEdit", &bound, control, edit->item.iItem);
        if (bound) *handled = 1;
        return result;
    }
    case LVN_ENDLABELEDITW: {
        const auto* edit = reinterpret_cast<const NMLVDISPINFOW*>(lParam);
        const intptr_t result =
            raiseEvent(record, "OnEndEdit", &bound, control, edit->item.iItem, reinterpret_cast<intptr_t>(edit->item.pszText));
        if (bound) *handled = 1;
        return result;
    }
    case NM_CLICK:
    case NM_DBLCLK:
    case NM_RCLICK: {
        const char* event = header->code == NM_CLICK ? "OnClick" : header->code == NM_DBLCLK ? "OnDBClick" : "OnRClick";
        const intptr_t result = raiseEvent(record, event, &bound, control, activate->iItem, activate->iSubItem,
                                           activate->ptAction.x, activate->ptAction.y, activate->uKeyFlags);
        if (bound && header->code == NM_RCLICK) {
            *handled = 1;
            return result;
        }
        return 0;
    }
    case LVN_ITEMCHANGING:
        if ((change->uNewState & 0xF000) && change->uNewState != change->uOldState)
            raiseEvent(record, "OnCheckChange", nullptr, control, change->iItem, static_cast<intptr_t>(change->uNewState >> 12) - 1);
        return 0;
    case LVN_BEGINDRAG: raiseEvent(record, "OnBeginDrag", nullptr, control, change->iItem); return 0;
    default: return 0;
    }
}
