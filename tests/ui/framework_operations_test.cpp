// Operations of the window framework beyond those the main window uses, on real windows under Xvfb.
#include "text/encoding.h"
#include "ui/application.h"
#include "ui/image_list.h"
#include "ui/list_view.h"
#include "ui/menu.h"
#include "ui/panel.h"
#include "ui/picture_box.h"
#include "ui/status_bar.h"
#include "ui/text_controls.h"
#include "ui/top_level_window.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <string>

#include "tests/support/window_test.h"

namespace {

class FrameworkOperations : public WindowTest {
protected:
    FrameworkOperations() : WindowTest({400, 300}) {}
};

bool classExists(HINSTANCE instance, const wchar_t* name)
{
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    return GetClassInfoExW(instance, name, &info) != 0;
}

// A 32 x 16 bitmap file of 24-bit pixels: two 16 x 16 images side by side.
std::string bitmapFileBytes()
{
    const int width = 32, height = 16, rowBytes = width * 3;
    std::string bytes(54 + rowBytes * height, '\0');
    auto put32 = [&](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, static_cast<uint32_t>(bytes.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, width);
    put32(22, height);
    bytes[26] = 1;
    bytes[28] = 24;
    for (size_t i = 54; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    return bytes;
}

// A file under a name in program text with Chinese characters, so the 8-bit forms must convert it.
std::string writeBitmapFile()
{
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::string path = toNarrow(folder) + "图标条.bmp";
    HANDLE file = CreateFileW(toUtf16(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    const std::string bytes = bitmapFileBytes();
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

} // namespace

TEST_F(FrameworkOperations, TheApplicationObjectRecordsItsInstanceAndHostsActiveXOnlyWhenAsked)
{
    EXPECT_EQ(Application::Instance(), GetModuleHandleW(nullptr));
    EXPECT_FALSE(classExists(GetModuleHandleW(nullptr), L"AtlAxWin"));  // skipped unless asked for
    Application::Initialise(nullptr, false);
    EXPECT_TRUE(classExists(GetModuleHandleW(nullptr), L"AtlAxWin"));

    // A given instance is the one the framework registers its classes with.
    const HINSTANCE other = GetModuleHandleW(L"comctl32.dll");
    ASSERT_NE(other, nullptr);
    Application::Initialise(other);
    EXPECT_EQ(Application::Instance(), other);
    registerFrameworkClass(L"qvInstanceProbe");
    EXPECT_TRUE(classExists(other, L"qvInstanceProbe"));
    Application::Initialise();
    EXPECT_EQ(Application::Instance(), GetModuleHandleW(nullptr));
}

TEST_F(FrameworkOperations, WindowPropertiesOfTheSystemListAreEnumerated)
{
    ASSERT_TRUE(window.SetWindowProp("甲", reinterpret_cast<HANDLE>(1)));
    ASSERT_TRUE(window.SetWindowPropW(L"\u0105", reinterpret_cast<HANDLE>(2)));  // no code page 936 form
    EXPECT_EQ(window.GetWindowPropW(L"\u0105"), reinterpret_cast<HANDLE>(2));
    const auto narrow = window.EnumWindowProps();
    EXPECT_NE(std::find(narrow.begin(), narrow.end(), std::make_pair(std::string("甲"), reinterpret_cast<HANDLE>(1))), narrow.end());
    const auto wide = window.EnumWindowPropsW();
    EXPECT_NE(std::find(wide.begin(), wide.end(), std::make_pair(std::wstring(L"\u0105"), reinterpret_cast<HANDLE>(2))), wide.end());
    EXPECT_EQ(window.RemoveWindowPropW(L"\u0105"), reinterpret_cast<HANDLE>(2));
    EXPECT_EQ(window.EnumWindowPropsW().size(), wide.size() - 1);
    EXPECT_EQ(window.GetClassNameA(), "qvWindow");
}

TEST_F(FrameworkOperations, ADialogFromTheResourcesGetsTheClassItNames)
{
    Window dialog;
    const HWND made = dialog.CreateDialogFromTemplate(window.GetHandle(), MAKEINTRESOURCEW(100), L"qvTemplateDialog");
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(dialog.GetHandle(), made);
    EXPECT_EQ(dialog.GetClassNameA(), "qvTemplateDialog");
    DestroyWindow(made);

    Window unregistered;  // a template naming a class nobody registered cannot be made
    EXPECT_EQ(unregistered.CreateDialogFromTemplate(window.GetHandle(), MAKEINTRESOURCEW(101)), nullptr);
}

TEST_F(FrameworkOperations, StatusBarWithPositionSizeAndExtendedStyle)
{
    StatusBar status;
    ASSERT_TRUE(status.Create(window.GetHandle(), "状态", {5, 6}, {150, 30}, CCS_NOPARENTALIGN | CCS_NORESIZE, WS_EX_NOPARENTNOTIFY));
    const RECT rect = status.GetRect();
    EXPECT_EQ(rect.left, 5);
    EXPECT_EQ(rect.top, 6);
    EXPECT_EQ(rect.right - rect.left, 150);
    EXPECT_TRUE(status.GetExStyle() & WS_EX_NOPARENTNOTIFY);
    EXPECT_EQ(status.GetText(), "状态");

    StatusBar wide;
    ASSERT_TRUE(wide.CreateW(window.GetHandle(), L"\u0105\u00e9", {0, 40}, {150, 30}, CCS_NOPARENTALIGN | CCS_NORESIZE));
    EXPECT_EQ(wide.GetTextW(), L"\u0105\u00e9");
    ASSERT_TRUE(wide.SetPartTextW(0, L"\u0107"));
    EXPECT_EQ(wide.GetPartTextW(0), L"\u0107");
}

TEST_F(FrameworkOperations, AccessorsAnswerThePreviousValue)
{
    Panel panel;
    ASSERT_TRUE(panel.Create(window.GetHandle()));
    EXPECT_EQ(panel.Border(1, true), 0);
    EXPECT_TRUE(panel.GetExStyle() & WS_EX_CLIENTEDGE);
    EXPECT_EQ(panel.Border(5, true), 1);
    EXPECT_FALSE(panel.GetExStyle() & WS_EX_CLIENTEDGE);
    EXPECT_TRUE(panel.GetStyle() & WS_BORDER);
    EXPECT_EQ(panel.Border(), 5);
    panel.BackColor(RGB(1, 2, 3), true);
    EXPECT_EQ(panel.BackColor(RGB(4, 5, 6), true), RGB(1, 2, 3));
    EXPECT_EQ(panel.BackColor(), RGB(4, 5, 6));
    EXPECT_EQ(panel.ShowImageType(2, true), 0);
    EXPECT_EQ(panel.ShowImageType(), 2);
    EXPECT_TRUE(panel.BackImage().IsEmpty());

    EXPECT_EQ(window.Border(6, true), 2);
    EXPECT_TRUE(window.GetExStyle() & WS_EX_CLIENTEDGE);
    EXPECT_EQ(window.StartPosition(0, true), 2);
    EXPECT_EQ(window.DialogResult(7, true), 0);
    EXPECT_EQ(window.DialogResult(8, false), 7);

    Label label;
    ASSERT_TRUE(label.Create(window.GetHandle(), "文字", {0, 0}, {50, 20}));
    EXPECT_EQ(label.TextColor(RGB(9, 9, 9), true), 0u);
    EXPECT_EQ(label.TextColor(0, false), RGB(9, 9, 9));
    label.BackColor(-1, true);
    EXPECT_EQ(label.BackColor(0, true), -1);
}

TEST_F(FrameworkOperations, ImageListFilesDuplicatesAndDragging)
{
    const std::string path = writeBitmapFile();
    ImageListObject list;
    ASSERT_TRUE(list.Load(path, 16, 1));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.AddFile(path, 0), 2);  // the file at its own size: two more images
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.AddFile(path), 4);  // at the list's size: one image
    EXPECT_EQ(list.AddFile(path, 2), -1);
    DeleteFileW(toUtf16(path).c_str());

    HIMAGELIST copy = list.DuplicateHandle();
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, list.Handle());
    EXPECT_EQ(ImageList_GetImageCount(copy), 5);
    ImageList_Destroy(copy);

    ASSERT_TRUE(list.BeginDrag(0, 2, 2));
    EXPECT_TRUE(ImageListObject::DragEnter(window.GetHandle(), 10, 10));
    EXPECT_TRUE(ImageListObject::DragMove(20, 20));
    EXPECT_TRUE(ImageListObject::DragShow(false));
    EXPECT_TRUE(ImageListObject::DragLeave(window.GetHandle()));
    ImageListObject::EndDrag();
}

TEST_F(FrameworkOperations, MenuItemInformationAndBackgroundPicture)
{
    Menu menu;
    ASSERT_TRUE(menu.CreatePopup());
    ASSERT_TRUE(menu.AppendItem("一", 10));
    ASSERT_TRUE(menu.AppendItem("二", 11));
    std::wstring text = toUtf16("三");
    MENUITEMINFOW change{};
    change.fMask = MIIM_STRING;
    change.dwTypeData = text.data();
    ASSERT_TRUE(menu.SetItemInfo(11, change));
    EXPECT_EQ(menu.GetItemText(1), "三");
    ASSERT_TRUE(menu.AppendItemW(L"\u0105", 12));  // a letter code page 936 does not have
    EXPECT_EQ(menu.GetItemTextW(2), L"\u0105");
    MENUITEMINFOW read{};
    read.fMask = MIIM_ID;
    ASSERT_TRUE(menu.GetItemInfo(0, read, true));
    EXPECT_EQ(read.wID, 10u);

    auto background = [&] {
        MENUINFO info{};
        info.cbSize = sizeof info;
        info.fMask = MIM_BACKGROUND;
        GetMenuInfo(menu.Handle(), &info);
        return info.hbrBack;
    };
    ASSERT_TRUE(menu.SetBackColor(RGB(200, 0, 0)));
    const HBRUSH solid = background();
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 8, 8);
    ReleaseDC(nullptr, screen);
    ASSERT_TRUE(menu.SetBackImage(bitmap));
    const HBRUSH pattern = background();
    EXPECT_NE(pattern, solid);
    EXPECT_EQ(GetObjectType(solid), 0u);  // the replaced brush was deleted
    EXPECT_EQ(GetObjectType(pattern), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_FALSE(menu.SetBackImage(nullptr));
    EXPECT_EQ(background(), pattern);
    menu.Destroy();
    DeleteObject(bitmap);
}

HBRUSH menuBackground(HMENU menu)
{
    MENUINFO info{};
    info.cbSize = sizeof info;
    info.fMask = MIM_BACKGROUND;
    return GetMenuInfo(menu, &info) ? info.hbrBack : nullptr;
}

// A menu bar with one item and a coloured background, attached to a window; its brush.
HBRUSH attachColouredBar(Menu& bar, HWND window)
{
    if (!bar.CreateMenuBar() || !bar.AppendItem("文件", 20) || !bar.SetBackColor(RGB(0, 90, 0))) return nullptr;
    const HBRUSH brush = menuBackground(bar.Handle());
    return bar.AttachToWindow(window) ? brush : nullptr;
}

// A window destroys its menu but never the menu's brush: the object that set it deletes it, in
// either order of the two ends.
TEST_F(FrameworkOperations, MenuBackgroundOfAWindowsMenuIsDeletedOnce)
{
    HBRUSH brush = nullptr;
    {
        Menu bar;
        brush = attachColouredBar(bar, window.GetHandle());
        ASSERT_NE(brush, nullptr);
        DestroyWindow(window.GetHandle());
        EXPECT_EQ(GetObjectType(brush), static_cast<DWORD>(OBJ_BRUSH));  // still the object's
    }
    EXPECT_EQ(GetObjectType(brush), 0u);

    CreateOptions options;
    options.style = WS_CAPTION | WS_SYSMENU;
    TopLevelWindow second;
    ASSERT_TRUE(second.Create(options));
    HMENU attached = nullptr;
    {
        Menu bar;
        brush = attachColouredBar(bar, second.GetHandle());
        ASSERT_NE(brush, nullptr);
        attached = bar.Handle();
    }
    // The window's menu lives on without a brush that no longer exists.
    EXPECT_EQ(GetObjectType(brush), 0u);
    ASSERT_TRUE(IsMenu(attached));
    EXPECT_EQ(menuBackground(attached), nullptr);
    DestroyWindow(second.GetHandle());
}

TEST_F(FrameworkOperations, ListViewColumnImagesIndentsGroupsAndItemsWithoutText)
{
    ListView list;
    ASSERT_TRUE(list.Create(window.GetHandle(), {0, 0}, {300, 200}, LVS_REPORT));
    ASSERT_EQ(list.InsertColumn("列", 60, ListView::kAppend, 0, 2, true), 0);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_IMAGE;
    ASSERT_TRUE(list.Send(LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)));
    EXPECT_EQ(column.iImage, 2);
    EXPECT_TRUE(column.fmt & LVCFMT_BITMAP_ON_RIGHT);

    ASSERT_EQ(list.InsertItem(std::nullopt, -1, ListView::kAppend, -1, 0, 3), 0);
    EXPECT_EQ(list.GetItemText(0), "");
    ASSERT_TRUE(list.SetItemTextW(0, 0, L"\u0105"));
    EXPECT_EQ(list.GetItemTextW(0), L"\u0105");
    LVITEMW item{};
    item.mask = LVIF_INDENT;
    item.iItem = 0;
    ASSERT_TRUE(list.Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(item.iIndent, 3);

    list.Send(LVM_ENABLEGROUPVIEW, TRUE);
    std::wstring header = L"G";
    LVGROUP group{};
    group.cbSize = sizeof group;
    group.mask = LVGF_HEADER | LVGF_GROUPID;
    group.pszHeader = header.data();
    group.iGroupId = 5;
    ASSERT_NE(list.Send(LVM_INSERTGROUP, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&group)), -1);
    ASSERT_EQ(list.InsertItem("组", -1, ListView::kAppend, -1, 0, 0, 5), 1);
    // Wine's list view keeps no groups; where the control has them, the item is in its group.
    if (list.Send(LVM_HASGROUP, 5)) {
        item = {};
        item.mask = LVIF_GROUPID;
        item.iItem = 1;
        ASSERT_TRUE(list.Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        EXPECT_EQ(item.iGroupId, 5);
    }
}

TEST_F(FrameworkOperations, PictureBoxOnADialogItemAndWithAFont)
{
    const HWND item = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE, 0, 0, 40, 40, window.GetHandle(),
                                      reinterpret_cast<HMENU>(7), GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(item, nullptr);
    PictureBox attached;
    EXPECT_FALSE(attached.AttachDialogItem(window.GetHandle(), 99, true));
    ASSERT_TRUE(attached.AttachDialogItem(window.GetHandle(), 7, true));
    EXPECT_EQ(attached.GetHandle(), item);
    EXPECT_EQ(attached.GetStyle() & SS_TYPEMASK, SS_OWNERDRAW);
    EXPECT_EQ(attached.GetFont(), static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));

    HFONT font = CreateFontW(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
    PictureBox withFont;
    ASSERT_TRUE(withFont.Create(window.GetHandle(), "", {50, 0}, {40, 40}, 0, font));
    EXPECT_EQ(withFont.GetFont(), font);
    DestroyWindow(withFont.GetHandle());
    DeleteObject(font);
}
