// Top-level windows, their events, keyboard conventions and loops, on real windows under Xvfb.
#include "ui/application.h"
#include "ui/top_level_window.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> gEvents;
intptr_t gRefuse = 0;

#define EVENT_HANDLER(name, result)                                                                 \
    intptr_t name(intptr_t, intptr_t a2, intptr_t a3, intptr_t, intptr_t, intptr_t, intptr_t)         \
    {                                                                                               \
        gEvents.push_back(std::string(#name) + ":" + std::to_string(a2) + "," + std::to_string(a3)); \
        return result;                                                                              \
    }

EVENT_HANDLER(onCreate, 0)
EVENT_HANDLER(onSize, 0)
EVENT_HANDLER(onMenuItemClick, 0)
EVENT_HANDLER(onFirstActivate, 0)
EVENT_HANDLER(onClose, gRefuse)
EVENT_HANDLER(onUserClose, gRefuse)

// Windows stay hidden: under a display without a window manager, Wine waits for the X server at
// every activation change of a visible window, which would make each test slow.
CreateOptions hidden()
{
    CreateOptions options;
    options.style = WS_CAPTION | WS_SYSMENU;
    return options;
}

class TopLevel : public ::testing::Test {
protected:
    void SetUp() override
    {
        gEvents.clear();
        gRefuse = 0;
    }
};

} // namespace

TEST_F(TopLevel, CreateRaisesOnCreateThenOnSizeAndUsesTheFixedBorder)
{
    TopLevelWindow window;
    window.OnCreate(onCreate);
    window.OnSize(onSize);
    CreateOptions options = hidden();
    options.title = "标题 Title";
    options.style = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;  // the border kind decides, not these bits
    ASSERT_TRUE(window.Create(options));
    EXPECT_FALSE(window.Create(options));  // already bound
    ASSERT_GE(gEvents.size(), 2u);
    EXPECT_EQ(gEvents[0], "onCreate:0,0");
    const RECT client = window.GetClientRect();
    EXPECT_EQ(gEvents[1], "onSize:" + std::to_string(client.right) + "," + std::to_string(client.bottom));
    EXPECT_FALSE(window.GetStyle() & WS_THICKFRAME);
    EXPECT_TRUE(window.GetStyle() & WS_CAPTION);
    EXPECT_EQ(window.GetText(), "标题 Title");
    EXPECT_EQ(window.GetClassName(), L"qvWindow");
    window.SetBorder(1);
    EXPECT_TRUE(window.GetStyle() & WS_THICKFRAME);
    DestroyWindow(window.GetHandle());
    EXPECT_EQ(window.GetHandle(), nullptr);
}

TEST_F(TopLevel, StartPositions)
{
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const POINT centred = startPosition(1, {0, 0}, {100, 50}, nullptr);
    EXPECT_EQ(centred.x, (area.right - area.left - 100 + 1) / 2);
    const POINT given = startPosition(0, {7, 9}, {100, 50}, nullptr);
    EXPECT_EQ(given.x, 7);
    TopLevelWindow owner;
    owner.SetStartPosition(0);
    CreateOptions options = hidden();
    options.position = {100, 100};
    options.size = {300, 200};
    ASSERT_TRUE(owner.Create(options));
    const POINT onOwner = startPosition(2, {0, 0}, {100, 50}, owner.GetHandle());
    EXPECT_EQ(onOwner.x, 100 + 100);
    EXPECT_EQ(onOwner.y, 100 + 75);
    DestroyWindow(owner.GetHandle());
}

TEST_F(TopLevel, EnterWithoutDefaultButtonIsSwallowedAndMenuCommandsArrive)
{
    TopLevelWindow window;
    window.OnMenuItemClick(onMenuItemClick);
    ASSERT_TRUE(window.Create(hidden()));
    window.Send(WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    window.Send(WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    EXPECT_TRUE(gEvents.empty());
    EXPECT_TRUE(window.IsWindow());  // Esc without EscClose closes nothing
    window.Send(WM_COMMAND, MAKEWPARAM(10003, 0), 0);
    window.Send(WM_COMMAND, MAKEWPARAM(0xFFFF, 1), 0);  // an accelerator with id -1
    ASSERT_EQ(gEvents.size(), 2u);
    EXPECT_EQ(gEvents[0], "onMenuItemClick:10003,0");
    EXPECT_EQ(gEvents[1], "onMenuItemClick:-1,0");
    window.EscClose(true, true);
    window.Send(WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
    EXPECT_FALSE(window.IsWindow());
}

namespace {

int gButtonClicks = 0;
intptr_t countClick(intptr_t, intptr_t message, intptr_t wParam, intptr_t, intptr_t, intptr_t, intptr_t)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) ++gButtonClicks;
    return 0;
}

} // namespace

TEST_F(TopLevel, EnterClicksTheDefaultButton)
{
    TopLevelWindow window;
    ASSERT_TRUE(window.Create(hidden()));
    window.OnWndMsg(countClick);
    WindowObject button;
    ASSERT_TRUE(button.CreateChildControl(window.GetHandle(), "&OK", {10, 10}, {80, 24}, L"button"));
    EXPECT_LT(GetDlgCtrlID(button.GetHandle()), 0);  // ids of their own, counting down
    EXPECT_EQ(button.Send(WM_GETFONT), reinterpret_cast<LRESULT>(GetStockObject(DEFAULT_GUI_FONT)));
    window.SetDefaultButton(&button);
    gButtonClicks = 0;
    window.Send(WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    EXPECT_EQ(gButtonClicks, 1);
    DestroyWindow(window.GetHandle());
}

TEST_F(TopLevel, UserCloseAndCloseAreSeparate)
{
    TopLevelWindow window;
    window.OnUserClose(onUserClose);
    window.OnClose(onClose);
    ASSERT_TRUE(window.Create(hidden()));
    gRefuse = 1;
    window.Send(WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(window.IsWindow());
    ASSERT_EQ(gEvents.size(), 1u);
    EXPECT_EQ(gEvents[0].substr(0, 11), "onUserClose");
    window.Send(WM_CLOSE);
    EXPECT_TRUE(window.IsWindow());
    EXPECT_EQ(gEvents.size(), 2u);
    EXPECT_EQ(gEvents[1].substr(0, 7), "onClose");
    gRefuse = 0;
    window.Send(WM_CLOSE);
    EXPECT_FALSE(window.IsWindow());
}

TEST_F(TopLevel, FirstActivateOnce)
{
    TopLevelWindow window;
    window.OnFirstActivate(onFirstActivate);
    ASSERT_TRUE(window.Create(hidden()));
    window.Send(WM_ACTIVATEAPP, 0, 0);
    EXPECT_TRUE(gEvents.empty());
    window.Send(WM_ACTIVATEAPP, 1, 0);
    window.Send(WM_ACTIVATEAPP, 1, 0);
    EXPECT_EQ(gEvents.size(), 1u);
    DestroyWindow(window.GetHandle());
}

namespace {

void CALLBACK closeWindow(HWND window, UINT, UINT_PTR id, DWORD)
{
    KillTimer(window, id);
    PostMessageW(window, WM_CLOSE, 0, 0);
}

intptr_t closeModalSoon(intptr_t window, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    handle_map::find(reinterpret_cast<HWND>(window))->properties.set("DialogResult", 42);
    PostQuitMessage(5);  // must neither end the modal loop nor reach the main one
    SetTimer(reinterpret_cast<HWND>(window), 1, 100, closeWindow);  // after the quit was taken
    return 0;
}

} // namespace

TEST_F(TopLevel, ModalWindowReturnsItsResultAndSwallowsQuit)
{
    TopLevelWindow owner;
    ASSERT_TRUE(owner.Create(hidden()));
    TopLevelWindow dialog;
    dialog.OnCreate(closeModalSoon);
    CreateOptions options = hidden();
    options.owner = &owner;
    EXPECT_EQ(dialog.ShowModal(options), 42);
    EXPECT_TRUE(IsWindowEnabled(owner.GetHandle()));  // a hidden owner is never disabled
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    DestroyWindow(owner.GetHandle());
}

TEST_F(TopLevel, MainLoopEndsWhenTheMainWindowIsGone)
{
    TopLevelWindow window;
    ASSERT_TRUE(window.Create(hidden()));
    PostMessageW(window.GetHandle(), WM_CLOSE, 0, 0);
    EXPECT_EQ(RunMessageLoop(window, false), 0);
    EXPECT_FALSE(window.IsWindow());
    TopLevelWindow never;
    EXPECT_EQ(RunMessageLoop(never, false), 1);
}

TEST_F(TopLevel, KeyboardFilterFollowsTheStyleBits)
{
    TopLevelWindow window;
    ASSERT_TRUE(window.Create(hidden()));
    WindowObject edit;
    ASSERT_TRUE(edit.CreateChildControl(window.GetHandle(), "", {0, 0}, {50, 20}, L"edit"));
    MSG tab{edit.GetHandle(), WM_KEYDOWN, VK_TAB, 0, 0, {}};
    MSG enter{edit.GetHandle(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    MSG left{edit.GetHandle(), WM_KEYDOWN, VK_LEFT, 0, 0, {}};
    MSG letter{edit.GetHandle(), WM_KEYDOWN, 'A', 0, 0, {}};
    EXPECT_TRUE(passesKeyboardFilter(tab));
    EXPECT_TRUE(passesKeyboardFilter(enter));
    EXPECT_FALSE(passesKeyboardFilter(letter));
    EXPECT_EQ(edit.StyleBitsAdd(2), 0);
    EXPECT_EQ(edit.StyleBitsAdd(4), 2);  // the bits set before
    EXPECT_TRUE(passesKeyboardFilter(tab));
    EXPECT_FALSE(passesKeyboardFilter(enter));
    EXPECT_FALSE(passesKeyboardFilter(left));
    edit.StyleBitsSet(1);
    EXPECT_FALSE(passesKeyboardFilter(tab));

    window.EscClose(true, true);
    MSG escape{edit.GetHandle(), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    EXPECT_FALSE(passesKeyboardFilter(escape));
    EXPECT_FALSE(window.IsWindow());  // the cancel command went to the parent, which closed
}

TEST_F(TopLevel, CommonOperations)
{
    TopLevelWindow window;
    ASSERT_TRUE(window.Create(hidden()));
    WindowObject child;
    ASSERT_TRUE(child.CreateChildControl(window.GetHandle(), "x", {10, 20}, {100, 30}, L"static"));
    EXPECT_TRUE(child.Move(kKeepValue, kKeepValue, 150));
    const RECT rect = child.GetRect();
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.top, 20);
    EXPECT_EQ(rect.right - rect.left, 150);
    EXPECT_EQ(rect.bottom - rect.top, 30);
    child.Disabled(true, true);
    EXPECT_TRUE(child.Disabled());
    child.Visible(false, true);
    EXPECT_FALSE(child.Visible());
    EXPECT_TRUE(child.SetText("中文"));
    EXPECT_EQ(child.GetText(), "中文");
    EXPECT_EQ(child.GetTextLength(), 2);
    child.SetWindowProp("mark", reinterpret_cast<HANDLE>(7));
    EXPECT_EQ(child.GetWindowProp("mark"), reinterpret_cast<HANDLE>(7));
    DestroyWindow(window.GetHandle());
}

namespace {

intptr_t endDialogSoon(intptr_t window, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    handle_map::find(reinterpret_cast<HWND>(window))->properties.set("DialogResult", 7);
    PostMessageW(reinterpret_cast<HWND>(window), WM_CLOSE, 0, 0);
    return 0;
}

} // namespace

TEST_F(TopLevel, DialogsFromMemoryTemplates)
{
    TopLevelWindow dialog;
    dialog.OnCreate(endDialogSoon);
    DialogOptions options;
    options.title = "对话框";
    options.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;  // hidden, see hidden()
    options.className = L"PicladeTestDialog";
    EXPECT_EQ(dialog.ShowDialogWindow(options), 7);
    EXPECT_EQ(dialog.GetHandle(), nullptr);

    TopLevelWindow modeless;
    ASSERT_TRUE(modeless.CreateDialogWindow(options));
    EXPECT_EQ(modeless.GetText(), "对话框");
    EXPECT_EQ(modeless.GetClassName(), L"PicladeTestDialog");
    modeless.Send(WM_CLOSE);  // OnCreate closed nothing: no handler bound on this one
    EXPECT_FALSE(modeless.IsWindow());
}

TEST_F(TopLevel, ApplicationFacts)
{
    Application::Initialise();
    EXPECT_EQ(Application::ProgramFileName(), "ui_window_test.exe");
    const std::string folder = Application::ProgramFolder();
    EXPECT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    EXPECT_FALSE(Application::CommandLine().empty());

    TopLevelWindow window;
    ASSERT_TRUE(window.Create(hidden()));
    WindowObject first, second;
    ASSERT_TRUE(first.CreateChildControl(window.GetHandle(), "a", {0, 0}, {20, 20}, L"button"));
    ASSERT_TRUE(second.CreateChildControl(window.GetHandle(), "b", {0, 30}, {20, 20}, L"button", WS_TABSTOP));
    EXPECT_EQ(Application::TopLevelAncestor(first.GetHandle()), window.GetHandle());
    EXPECT_EQ(Application::NextTabStop(first.GetHandle()), second.GetHandle());
    EXPECT_NE(window.GetIcon(true), nullptr);  // the class icon
    DestroyWindow(window.GetHandle());
    Application::Shutdown();
}
