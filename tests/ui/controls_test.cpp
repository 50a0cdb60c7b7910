// The controls the main window is made of, on real windows under Xvfb.
#include "ui/application.h"
#include "ui/list_view.h"
#include "ui/menu.h"
#include "ui/panel.h"
#include "ui/status_bar.h"
#include "ui/tab_control.h"
#include "ui/text_controls.h"
#include "ui/top_level_window.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "tests/support/window_test.h"

namespace {

std::vector<std::string> gEvents;

#define EVENT(name, result)                                                                          \
    intptr_t name(intptr_t, intptr_t a2, intptr_t a3, intptr_t, intptr_t, intptr_t, intptr_t)          \
    {                                                                                                \
        gEvents.push_back(std::string(#name) + ":" + std::to_string(a2) + "," + std::to_string(a3));  \
        return result;                                                                               \
    }

EVENT(onItemChange, 0)
EVENT(onCheckChange, 0)
EVENT(onRClick, 77)
EVENT(onTextChange, 0)
EVENT(onClick, 0)
EVENT(onMenuItemClick, 0)
EVENT(refuseChange, 1)

class Controls : public WindowTest {
protected:
    Controls() : WindowTest({640, 540}) {}
    void SetUp() override
    {
        gEvents.clear();
        WindowTest::SetUp();
    }
};

} // namespace

TEST_F(Controls, ListViewItemsChecksAndSelection)
{
    ListView list;
    ASSERT_TRUE(list.Create(window.GetHandle(), {20, 80}, {400, 300}, LVS_REPORT));
    list.InsertColumn("进度", 50);
    list.InsertColumn("运行状态", 450);
    EXPECT_EQ(list.GetColumnWidth(1), 450);
    EXPECT_EQ(list.InsertItem("[旅行] 32张"), 0);
    EXPECT_EQ(list.InsertItem("second", -1, ListView::kAppend, 0, 42), 1);
    EXPECT_EQ(list.InsertItem("third", -1, ListView::kAppend, 1), 2);
    EXPECT_EQ(list.GetItemCount(), 3);
    EXPECT_EQ(list.GetItemText(0), "[旅行] 32张");
    EXPECT_EQ(list.GetItemData(1), 42);
    // Item 0 has no check state at all and is listed with the checked one; item 1 is unchecked.
    EXPECT_EQ(list.GetCheckedItems(), (std::vector<int>{0, 2}));
    list.SetExtendedStyle(LVS_EX_CHECKBOXES);
    list.SetCheck(0, 0);
    list.SetCheck(1, 0);
    list.SetCheck(2, 1);
    EXPECT_EQ(list.GetCheckedItems(), (std::vector<int>{2}));

    list.OnCheckChange(onCheckChange);
    list.SetCheck(1, 1);
    list.SetCheck(1, 0);
    ASSERT_EQ(gEvents.size(), 2u);
    EXPECT_EQ(gEvents[0], "onCheckChange:1,1");
    EXPECT_EQ(gEvents[1], "onCheckChange:1,0");

    gEvents.clear();
    list.OnItemChange(onItemChange);
    EXPECT_EQ(list.GetFirstSelected(), -1);
    list.Select(1);
    EXPECT_EQ(list.GetFirstSelected(), 1);
    list.Deselect(1);
    std::vector<std::string> itemChanges;
    for (const std::string& event : gEvents)
        if (event.rfind("onItemChange", 0) == 0) itemChanges.push_back(event);
    ASSERT_EQ(itemChanges.size(), 1u);  // selecting raises it, deselecting does not
    EXPECT_EQ(itemChanges[0], "onItemChange:1,42");
}

TEST_F(Controls, ListViewRightClickAnswerAndImageListRelease)
{
    ListView list;
    ASSERT_TRUE(list.Create(window.GetHandle(), {20, 80}, {400, 300}, LVS_ICON | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_AUTOARRANGE));
    list.OnRClick(onRClick);
    NMITEMACTIVATE click{};
    click.hdr = {list.GetHandle(), static_cast<UINT_PTR>(GetDlgCtrlID(list.GetHandle())), static_cast<UINT>(NM_RCLICK)};
    click.iItem = 3;
    EXPECT_EQ(window.Send(WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click)), 77);
    ASSERT_EQ(gEvents.size(), 1u);
    EXPECT_EQ(gEvents[0], "onRClick:3,0");

    const long before = ImageListObject::LiveRecords();
    {
        ImageListObject first;
        first.Create(140, 140);
        list.SetImageList(first, 1);
    }
    EXPECT_EQ(ImageListObject::LiveRecords(), before + 1);  // held by the list view
    ImageListObject second;
    second.Create(16, 16);
    list.SetImageList(second, 1);
    EXPECT_EQ(ImageListObject::LiveRecords(), before + 1);  // the first was released once
    EXPECT_EQ(reinterpret_cast<HIMAGELIST>(list.Send(LVM_GETIMAGELIST, LVSIL_SMALL)), second.Handle());
}

namespace {

// Shown by its own style (the test window itself stays hidden).
bool shown(HWND window) { return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

HWND gFirstPage = nullptr;
HWND gSecondPage = nullptr;
intptr_t onSelChange(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    gEvents.push_back(std::string("change:") + (shown(gFirstPage) ? "1" : "0") + (shown(gSecondPage) ? "1" : "0"));
    return 0;
}

void notifyTabs(TopLevelWindow& window, TabControl& tabs, int code)
{
    NMHDR header{tabs.GetHandle(), static_cast<UINT_PTR>(GetDlgCtrlID(tabs.GetHandle())), static_cast<UINT>(code)};
    window.Send(WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
}

} // namespace

TEST_F(Controls, TabPagesFollowTheSelection)
{
    TabControl tabs;
    ASSERT_TRUE(tabs.Create(window.GetHandle(), {10, 10}, {600, 480}));
    Panel first, second, third;
    ASSERT_TRUE(first.Create(tabs.GetHandle()));
    ASSERT_TRUE(second.Create(tabs.GetHandle()));
    ASSERT_TRUE(third.Create(tabs.GetHandle()));
    EXPECT_EQ(first.GetClassName(), L"qvPanel");
    gFirstPage = first.GetHandle();
    gSecondPage = second.GetHandle();
    EXPECT_EQ(tabs.AddTab(first, "登录"), 0);
    EXPECT_EQ(tabs.AddTab(second, "操作"), 1);
    EXPECT_TRUE(shown(first.GetHandle()));
    EXPECT_FALSE(shown(second.GetHandle()));
    const RECT area = tabs.DisplayArea();
    const RECT page = first.GetRect();
    EXPECT_EQ(page.left, area.left);
    EXPECT_EQ(page.bottom, area.bottom);

    tabs.OnSelChanging(refuseChange);
    notifyTabs(window, tabs, TCN_SELCHANGING);
    EXPECT_TRUE(shown(first.GetHandle()));

    tabs.OnSelChanging(nullptr);
    tabs.OnSelChange(onSelChange);
    tabs.SetCurSel(1);
    notifyTabs(window, tabs, TCN_SELCHANGE);
    ASSERT_EQ(gEvents.size(), 2u);
    EXPECT_EQ(gEvents[1], "change:01");  // pages switched before the event

    EXPECT_EQ(tabs.AddTab(third, "关于"), 2);
    EXPECT_FALSE(shown(third.GetHandle()));  // a new tab stays hidden
}

TEST_F(Controls, LabelColoursAndTransparentBackground)
{
    Label label;
    ASSERT_TRUE(label.Create(window.GetHandle(), "用户主页：", {20, 20}, {70, 25}, SS_RIGHT | SS_CENTERIMAGE));
    label.SetTextColor(RGB(10, 20, 30));
    HDC dc = CreateCompatibleDC(nullptr);
    // Without a brush the system answers (and paints its own colours).
    EXPECT_EQ(window.Send(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label.GetHandle())),
              DefWindowProcW(window.GetHandle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label.GetHandle())));
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    label.SetBackBrush(brush);
    label.SetBackColor(-1);
    EXPECT_EQ(window.Send(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label.GetHandle())),
              reinterpret_cast<LRESULT>(brush));
    EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
    EXPECT_EQ(GetTextColor(dc), RGB(10, 20, 30));
    label.SetBackColor(RGB(4, 5, 6));
    window.Send(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label.GetHandle()));
    EXPECT_EQ(GetBkColor(dc), RGB(4, 5, 6));
    DeleteDC(dc);
}

TEST_F(Controls, EditRaisesTextChangeAndButtonsClick)
{
    Edit edit;
    ASSERT_TRUE(edit.Create(window.GetHandle(), "", {100, 20}, {300, 25}));
    edit.OnTextChange(onTextChange);
    edit.OnClick(onClick);
    edit.SetText("http://example/u/1");
    edit.SetText("http://example/u/2");
    ASSERT_EQ(gEvents.size(), 2u);
    EXPECT_EQ(gEvents[0].substr(0, 12), "onTextChange");

    gEvents.clear();
    Button button;
    ASSERT_TRUE(button.Create(window.GetHandle(), "分析", {500, 20}, {70, 25}, 20001));
    button.OnClick(onClick);
    button.Send(BM_CLICK);
    ASSERT_EQ(gEvents.size(), 1u);
    EXPECT_EQ(gEvents[0], "onClick:20001,0");

    // Enter in the edit field presses the default button of its window.
    gEvents.clear();
    button.SetDefault(true);
    EXPECT_TRUE(button.GetStyle() & BS_DEFPUSHBUTTON);
    edit.Send(WM_KEYDOWN, VK_RETURN, 0);
    EXPECT_EQ(gEvents.size(), 1u);
}

namespace {

intptr_t seeSizeOnly(intptr_t, intptr_t message, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    if (message == WM_SIZE) gEvents.push_back("wndmsg");
    return 0;
}

intptr_t swallowSize(intptr_t, intptr_t message, intptr_t, intptr_t, intptr_t handled, intptr_t, intptr_t)
{
    if (message == WM_SIZE) *reinterpret_cast<int*>(handled) = 1;
    return 0;
}

EVENT(onPanelSize, 0)

} // namespace

TEST_F(Controls, PanelSizeComesAfterItsOwnMessageHook)
{
    Panel panel;
    ASSERT_TRUE(panel.Create(window.GetHandle(), {0, 0}, {100, 100}));
    panel.OnWndMsg(seeSizeOnly);
    panel.OnSize(onPanelSize);
    panel.SetSize(120, 90);
    ASSERT_EQ(gEvents.size(), 2u);
    EXPECT_EQ(gEvents[0], "wndmsg");
    EXPECT_EQ(gEvents[1], "onPanelSize:120,90");
    gEvents.clear();
    panel.OnWndMsg(swallowSize);
    panel.SetSize(130, 90);
    EXPECT_TRUE(gEvents.empty());
}

TEST_F(Controls, StatusBarShowsTheWindowText)
{
    StatusBar status;
    ASSERT_TRUE(status.Create(window.GetHandle()));
    status.SetText("  状态:等待操作！");
    EXPECT_EQ(status.GetPartText(0), "  状态:等待操作！");
    EXPECT_EQ(status.GetText(), "  状态:等待操作！");
}

TEST_F(Controls, MenusByPositionAndASecondPopupFails)
{
    Menu sizes;
    ASSERT_TRUE(sizes.CreatePopup());
    const HMENU first = sizes.Handle();
    EXPECT_FALSE(sizes.CreatePopup());
    EXPECT_EQ(sizes.Handle(), first);
    sizes.AppendItem("原图", 10002);
    sizes.AppendItem("高清", 10003);
    sizes.AppendItem("标清", 10004);
    sizes.AppendItem("缩略", 10005);
    EXPECT_TRUE(sizes.CheckRadio(1, 0, 3));
    EXPECT_TRUE(sizes.IsChecked(10003));
    EXPECT_FALSE(sizes.IsChecked(10002));
    EXPECT_EQ(sizes.GetItemText(3), "缩略");

    Menu context;
    ASSERT_TRUE(context.CreatePopup());
    context.AppendItem("下载选中", 10000);
    context.AppendItem("打开目录", 10001);
    context.AppendSeparator();
    EXPECT_TRUE(context.AppendSubMenu(sizes, "下载类型"));
    EXPECT_EQ(context.GetItemCount(), 4);
    EXPECT_EQ(context.GetSubMenu(3), first);
}

TEST_F(Controls, APopupChoiceArrivesAsMenuItemClick)
{
    window.OnMenuItemClick(onMenuItemClick);
    window.Show();
    Menu context;
    ASSERT_TRUE(context.CreatePopup());
    context.AppendItem("下载选中", 10000);
    context.AppendItem("打开目录", 10001);
    // Keys queued before the menu opens are read by its own loop: down, down, Enter.
    const HWND owner = window.GetHandle();
    PostMessageW(owner, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(owner, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageW(owner, WM_KEYDOWN, VK_RETURN, 0);
    context.Popup(100, 100, owner);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    ASSERT_EQ(gEvents.size(), 1u);
    EXPECT_EQ(gEvents[0], "onMenuItemClick:10001,0");
}
