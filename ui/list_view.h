// The list view (SysListView32): items, columns and check boxes through LVM messages, its
// notifications as named events, and counted ownership of the image lists attached to it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/image_list.h"
#include "ui/window_object.h"

class ListView : public Window {
public:
    static constexpr int kAppend = -1;

    ListView();

    bool Create(HWND parent, POINT position = {0, 0}, SIZE size = {220, 180}, DWORD style = 0,
                DWORD exStyle = WS_EX_CLIENTEDGE, int id = 0);
    // An image given is shown in the header (LVCF_IMAGE); on the right of the title with the flag.
    int InsertColumn(std::string_view title, int width = 50, int index = kAppend, int format = 0, std::optional<int> image = {},
                     bool imageOnRight = false);
    bool DeleteColumn(int index) { return Send(LVM_DELETECOLUMN, static_cast<WPARAM>(index)) != 0; }
    int GetColumnWidth(int index) { return static_cast<int>(Send(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(index))); }
    // check -1: no check box state; 0 unchecked; 1 checked. Without a text the item gets none (no
    // LVIF_TEXT); a group id given places it in that group.
    int InsertItem(std::optional<std::string_view> text, int image = -1, int index = kAppend, int check = -1, LPARAM data = 0,
                   int indent = 0, std::optional<int> groupId = {});
    int InsertItemW(std::optional<std::wstring_view> text, int image = -1, int index = kAppend, int check = -1, LPARAM data = 0,
                    int indent = 0, std::optional<int> groupId = {});
    bool SetItemText(int item, int column, std::string_view text);
    std::string GetItemText(int item, int column = 0);
    bool SetItemTextW(int item, int column, std::wstring_view text);
    std::wstring GetItemTextW(int item, int column = 0);
    bool SetItemData(int item, LPARAM data);
    LPARAM GetItemData(int item);
    bool SetCheck(int item, int check = -1);
    std::vector<int> GetCheckedItems();
    std::vector<int> GetSelectedItems();
    int GetFirstSelected() { return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED)); }
    bool IsSelected(int item) { return Send(LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_SELECTED) == LVIS_SELECTED; }
    bool Select(int item) { return setState(item, LVIS_SELECTED, LVIS_SELECTED); }
    bool Deselect(int item) { return setState(item, 0, LVIS_SELECTED); }
    // The item's image from the LVSIL_STATE list, 1-based; 0 shows none.
    bool SetStateImage(int item, int index) { return setState(item, INDEXTOSTATEIMAGEMASK(index), LVIS_STATEIMAGEMASK); }
    int GetStateImage(int item)
    {
        return static_cast<int>((Send(LVM_GETITEMSTATE, static_cast<WPARAM>(item), LVIS_STATEIMAGEMASK) & LVIS_STATEIMAGEMASK) >> 12);
    }
    int GetSelectedCount() { return static_cast<int>(Send(LVM_GETSELECTEDCOUNT)); }
    int GetItemCount() { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }
    bool DeleteItem(int item) { return Send(LVM_DELETEITEM, static_cast<WPARAM>(item)) != 0; }
    bool DeleteAllItems() { return Send(LVM_DELETEALLITEMS) != 0; }
    bool SortItems(LPARAM value, PFNLVCOMPARE compare) { return Send(LVM_SORTITEMS, static_cast<WPARAM>(value), reinterpret_cast<LPARAM>(compare)) != 0; }
    void SetExtendedStyle(DWORD bits) { Send(LVM_SETEXTENDEDLISTVIEWSTYLE, bits, bits); }
    DWORD GetExtendedStyle() { return static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
    // kind 0 normal, 1 small, 2 state, 3 group header; the list view keeps a reference.
    void SetImageList(const ImageListObject& list, int kind);

    void OnItemChange(EventHandler h) { Bind("OnItemChange", h); }
    void OnHotTrack(EventHandler h) { Bind("OnHotTrack", h); }
    void OnColumnClick(EventHandler h) { Bind("OnColumnClick", h); }
    void OnItemActivate(EventHandler h) { Bind("OnItemActivate", h); }
    void OnBeginEdit(EventHandler h) { Bind("OnBeginEdit", h); }
    void OnEndEdit(EventHandler h) { Bind("OnEndEdit", h); }
    void OnClick(EventHandler h) { Bind("OnClick", h); }
    void OnRClick(EventHandler h) { Bind("OnRClick", h); }
    void OnDBClick(EventHandler h) { Bind("OnDBClick", h); }
    void OnCheckChange(EventHandler h) { Bind("OnCheckChange", h); }
    void OnBeginDrag(EventHandler h) { Bind("OnBeginDrag", h); }

private:
    bool setState(int item, UINT state, UINT mask);
};

intptr_t listViewReflected(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled);
