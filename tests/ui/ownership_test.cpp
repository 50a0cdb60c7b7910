// Who owns what between the framework's objects and their windows, checked in both orders of
// going where it matters: image lists, status bar icons, attached menus, tab pages, the hidden
// taskbar owner; and the answers Windows reads from dialogs and buttons.
#include "ui/application.h"
#include "ui/held_property.h"
#include "ui/list_view.h"
#include "ui/menu.h"
#include "ui/panel.h"
#include "ui/status_bar.h"
#include "ui/tab_control.h"
#include "ui/text_controls.h"
#include "ui/top_level_window.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "tests/support/gdi_watermark.h"
#include "tests/support/window_test.h"

namespace {

class Ownership : public WindowTest {
protected:
    Ownership() : WindowTest({640, 540}) {}
};

ImageListObject listWithOneImage()
{
    ImageListObject list;
    list.Create(16, 16);
    HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
    list.AddIcon(icon);
    return list;
}

HICON iconOfPart(StatusBar& bar, int part) { return reinterpret_cast<HICON>(bar.Send(SB_GETICON, static_cast<WPARAM>(part))); }

bool isIcon(HICON icon)
{
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return false;
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return true;
}

intptr_t answerFortyTwo(intptr_t, intptr_t message, intptr_t, intptr_t, intptr_t handled, intptr_t, intptr_t)
{
    if (message != WM_APP + 5) return 0;
    *reinterpret_cast<int*>(handled) = 1;
    return 42;
}

} // namespace

TEST_F(Ownership, TheImageListOutlivesTheListViewWindowAndGoesWithTheObject)
{
    const long before = ImageListObject::LiveRecords();
    HIMAGELIST handle = nullptr;
    {
        ListView list;
        ASSERT_TRUE(list.Create(window.GetHandle(), {0, 0}, {200, 200}, LVS_ICON));
        EXPECT_TRUE(list.GetStyle() & LVS_SHAREIMAGELISTS);
        {
            ImageListObject covers = listWithOneImage();
            handle = covers.Handle();
            list.SetImageList(covers, 0);
        }
        DestroyWindow(list.GetHandle());
        // The control did not destroy the list the object still holds.
        EXPECT_EQ(ImageList_GetImageCount(handle), 1);
        EXPECT_EQ(ImageListObject::LiveRecords(), before + 1);
    }
    EXPECT_EQ(ImageListObject::LiveRecords(), before);
}

TEST_F(Ownership, AListViewObjectGoneBeforeItsWindowTakesItsImageListsAlong)
{
    const long before = ImageListObject::LiveRecords();
    auto list = std::make_unique<ListView>();
    ASSERT_TRUE(list->Create(window.GetHandle(), {0, 0}, {200, 200}, LVS_ICON));
    const HWND control = list->GetHandle();
    list->SetImageList(listWithOneImage(), 0);
    list->SetImageList(listWithOneImage(), 1);
    list.reset();
    EXPECT_EQ(ImageListObject::LiveRecords(), before);
    // The control paints on without them instead of with destroyed lists.
    EXPECT_EQ(SendMessageW(control, LVM_GETIMAGELIST, LVSIL_NORMAL, 0), 0);
    EXPECT_EQ(SendMessageW(control, LVM_GETIMAGELIST, LVSIL_SMALL, 0), 0);
    InvalidateRect(control, nullptr, TRUE);
    UpdateWindow(control);
    DestroyWindow(control);  // nothing left for the control to destroy a second time
}

TEST_F(Ownership, StatusBarIconCopiesGoWithTheWindowOrTheObject)
{
    HICON shown = nullptr;
    {
        StatusBar bar;
        ASSERT_TRUE(bar.Create(window.GetHandle()));
        ASSERT_TRUE(bar.SetPartIcon(0, LoadIconW(nullptr, IDI_APPLICATION)));
        const HICON first = iconOfPart(bar, 0);
        ASSERT_TRUE(isIcon(first));
        ASSERT_TRUE(bar.SetPartIcon(0, LoadIconW(nullptr, IDI_INFORMATION)));
        EXPECT_FALSE(isIcon(first));  // replaced copies are destroyed at once
        shown = iconOfPart(bar, 0);
        ASSERT_TRUE(isIcon(shown));
        DestroyWindow(bar.GetHandle());
    }
    EXPECT_FALSE(isIcon(shown));

    auto bar = std::make_unique<StatusBar>();
    ASSERT_TRUE(bar->Create(window.GetHandle()));
    ASSERT_TRUE(bar->SetPartIcon(0, LoadIconW(nullptr, IDI_APPLICATION)));
    shown = iconOfPart(*bar, 0);
    const HWND control = bar->GetHandle();
    bar.reset();
    EXPECT_FALSE(isIcon(shown));
    EXPECT_EQ(SendMessageW(control, SB_GETICON, 0, 0), 0);  // the bar does not show a destroyed icon
}

TEST_F(Ownership, AnAttachedMenuIsTheWindowsToDestroy)
{
    Menu bar;
    ASSERT_TRUE(bar.CreateMenuBar());
    ASSERT_TRUE(bar.AppendItem("文件", 100));
    ASSERT_TRUE(bar.AttachToWindow(window.GetHandle()));
    const HMENU menu = bar.Handle();
    bar.Destroy();
    EXPECT_TRUE(IsMenu(menu));  // still the window's
    EXPECT_EQ(GetMenu(window.GetHandle()), menu);
    DestroyWindow(window.GetHandle());
    EXPECT_FALSE(IsMenu(menu));

    Menu unattached;
    ASSERT_TRUE(unattached.CreatePopup());
    const HMENU popup = unattached.Handle();
    unattached.Destroy();
    EXPECT_FALSE(IsMenu(popup));  // a menu no window holds stays the object's
}

TEST_F(Ownership, TabsHoldTheirPagesUntilTheTabControlGoes)
{
    TabControl tabs;
    ASSERT_TRUE(tabs.Create(window.GetHandle(), {0, 0}, {300, 300}));
    auto page = std::make_unique<Panel>();
    ASSERT_TRUE(page->Create(tabs.GetHandle()));
    ASSERT_EQ(tabs.AddTab(*page, "第一页", -1, -1, "提示"), 0);
    EXPECT_EQ(tabs.AddTab(*page, "again", -1, -1, "second tip"), 1);  // one page, one reference
    const long live = liveWindowRecords();
    page.reset();
    EXPECT_EQ(liveWindowRecords(), live);  // the tab's item data still names a live record

    NMTTDISPINFOW info{};
    info.hdr = {nullptr, 0, static_cast<UINT>(TTN_GETDISPINFOW)};
    tabs.Send(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_NE(info.lpszText, nullptr);
    EXPECT_EQ(std::wstring(info.lpszText), L"second tip");
    tabs.SetCurSel(1);
    tabs.ShowSelectedPage();

    DestroyWindow(tabs.GetHandle());
    EXPECT_EQ(liveWindowRecords(), live - 1);
}

TEST_F(Ownership, TheHiddenTaskbarOwnerGoesWithItsWindow)
{
    TopLevelWindow owned;
    CreateOptions options;
    options.style = WS_CAPTION | WS_SYSMENU;
    options.taskbar = true;
    ASSERT_TRUE(owned.Create(options));
    const HWND owner = GetWindow(owned.GetHandle(), GW_OWNER);
    ASSERT_NE(owner, nullptr);
    EXPECT_FALSE(IsWindowVisible(owner));
    DestroyWindow(owned.GetHandle());
    EXPECT_FALSE(IsWindow(owner));
}

TEST_F(Ownership, ADialogAnswersColoursByReturnValueAndTheRestThroughItsResult)
{
    WindowObject dialog;
    dialog.OnWndMsg(answerFortyTwo);
    DialogOptions options;
    options.parent = window.GetHandle();
    options.style = WS_POPUP | WS_CAPTION;
    ASSERT_TRUE(dialog.CreateDialogWindow(options));
    Label label;
    ASSERT_TRUE(label.Create(dialog.GetHandle(), "标签", {5, 5}, {80, 20}));
    const HBRUSH brush = CreateSolidBrush(RGB(10, 20, 30));
    label.SetBackBrush(brush);

    HDC dc = GetDC(label.GetHandle());
    const LRESULT answer = dialog.Send(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label.GetHandle()));
    ReleaseDC(label.GetHandle(), dc);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(answer), brush);  // the brush itself, not "handled"
    EXPECT_EQ(dialog.Send(WM_APP + 5), 42);              // read from DWLP_MSGRESULT
    DestroyWindow(dialog.GetHandle());
}

TEST_F(Ownership, DefaultButtonsChangeThroughTheButtonStyleAndOnlyPushButtons)
{
    Button push, check, radio;
    ASSERT_TRUE(push.Create(window.GetHandle(), "确定", {0, 0}, {80, 25}));
    ASSERT_TRUE(check.Create(window.GetHandle(), "选项", {0, 30}, {80, 25}, 0, BS_CHECKBOX));
    ASSERT_TRUE(radio.Create(window.GetHandle(), "单选", {0, 60}, {80, 25}, 0, BS_RADIOBUTTON));
    const auto type = [](Button& button) { return button.GetStyle() & BS_TYPEMASK; };

    push.SetDefault(true);
    EXPECT_EQ(type(push), BS_DEFPUSHBUTTON);
    EXPECT_TRUE(push.GetStyle() & WS_TABSTOP);  // the other style bits stay
    push.SetDefault(false);
    EXPECT_EQ(type(push), BS_PUSHBUTTON);

    check.SetDefault(true);
    EXPECT_EQ(type(check), BS_CHECKBOX);
    check.SetDefault(false);
    EXPECT_EQ(type(check), BS_CHECKBOX);
    radio.SetDefault(true);
    EXPECT_EQ(type(radio), BS_RADIOBUTTON);
    radio.SetDefault(false);
}

TEST_F(Ownership, ControlBordersAreSetBeforeAndAfterCreation)
{
    Edit edit;
    edit.SetBorder(1);
    ASSERT_TRUE(edit.Create(window.GetHandle(), "text", {0, 0}, {200, 25}));
    EXPECT_TRUE(edit.GetExStyle() & WS_EX_CLIENTEDGE);
    edit.SetBorder(5);
    EXPECT_EQ(edit.Border(), 5);
    EXPECT_FALSE(edit.GetExStyle() & WS_EX_CLIENTEDGE);
    EXPECT_TRUE(edit.GetStyle() & WS_BORDER);
    edit.SetBorder(3);
    EXPECT_FALSE(edit.GetStyle() & WS_BORDER);
    EXPECT_TRUE(edit.GetExStyle() & WS_EX_STATICEDGE);

    Edit flat;
    ASSERT_TRUE(flat.Create(window.GetHandle(), "text", {0, 30}, {200, 25}));
    EXPECT_FALSE(flat.GetExStyle() & WS_EX_CLIENTEDGE);  // kind 0 strips the edge passed in
}

TEST(RecordReferences, SettingTheHeldRecordAgainKeepsOneReference)
{
    WindowRecord* owner = WindowRecord::create();
    WindowRecord* held = WindowRecord::create();
    const RecordReference reference("Held");
    reference.set(owner->properties, held);
    reference.set(owner->properties, held);
    EXPECT_EQ(held->refCount, 2);
    EXPECT_EQ(reference.get(owner->properties), held);
    reference.release(owner->properties);
    EXPECT_EQ(held->refCount, 1);
    EXPECT_FALSE(owner->properties.has("Held"));
    held->release();
    owner->release();
}

TEST_F(Ownership, BuildingAndDroppingControlsLeavesNoGdiObjects)
{
    const auto buildAndDrop = [this] {
        HWND barWindow = nullptr;
        {
            ListView list;
            list.Create(window.GetHandle(), {0, 0}, {100, 100}, LVS_ICON);
            list.SetImageList(listWithOneImage(), 0);
            StatusBar bar;
            bar.Create(window.GetHandle());
            bar.SetPartIcon(0, LoadIconW(nullptr, IDI_APPLICATION));
            barWindow = bar.GetHandle();
            Label label;
            label.Create(window.GetHandle(), "x", {0, 0}, {10, 10});
            label.SetBackBrush(CreateSolidBrush(RGB(1, 2, 3)));
            DestroyWindow(list.GetHandle());  // windows before their objects...
            DestroyWindow(label.GetHandle());
        }
        DestroyWindow(barWindow);  // ...and one after
    };
    buildAndDrop();  // first use may set up the system's own caches
    const unsigned before = gdiHandleWatermark();
    for (int i = 0; i < 50; ++i) buildAndDrop();
    EXPECT_LE(gdiHandleWatermark(), before + 10);  // one object left per round would take 50
}

TEST_F(Ownership, AReplacedFontOrBrushIsDeletedAndTheLastGoesWithTheWindow)
{
    auto label = std::make_unique<Label>();
    ASSERT_TRUE(label->Create(window.GetHandle(), "x", {0, 0}, {40, 20}));
    const HFONT first = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
    const HFONT second = CreateFontW(-14, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Tahoma");
    label->SetFont(first);
    label->SetFont(second);
    EXPECT_EQ(GetObjectType(first), 0u);
    EXPECT_EQ(GetObjectType(second), static_cast<DWORD>(OBJ_FONT));
    label->SetFont(second);  // the font held already stays alive
    EXPECT_EQ(GetObjectType(second), static_cast<DWORD>(OBJ_FONT));
    EXPECT_EQ(label->GetProperty("hFont"), reinterpret_cast<intptr_t>(second));

    const HBRUSH oldBrush = CreateSolidBrush(RGB(1, 1, 1));
    const HBRUSH newBrush = CreateSolidBrush(RGB(2, 2, 2));
    label->SetBackBrush(oldBrush);
    label->SetBackBrush(newBrush);
    EXPECT_EQ(GetObjectType(oldBrush), 0u);
    EXPECT_EQ(label->GetProperty("BackBrush"), reinterpret_cast<intptr_t>(newBrush));

    DestroyWindow(label->GetHandle());
    EXPECT_EQ(GetObjectType(second), 0u);  // the font goes with the window
    EXPECT_EQ(GetObjectType(newBrush), static_cast<DWORD>(OBJ_BRUSH));
    label.reset();
    EXPECT_EQ(GetObjectType(newBrush), 0u);  // the brush with the object
}
