// Events, reflection, hover, dropped files and mnemonics on real windows (under Xvfb).
#include "ui/window_object.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <shlobj.h>
#include <string>
#include <vector>

namespace {

// Messages that reached a window's own procedure, i.e. were not marked handled by the framework.
std::vector<UINT> gReachedOldProc;
std::vector<std::wstring> gCommands;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    gReachedOldProc.push_back(message);
    if (message == WM_COMMAND) gCommands.push_back(std::to_wstring(LOWORD(wParam)));
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND makeWindow(HWND parent = nullptr, const wchar_t* className = L"PicladeTestPlain", const wchar_t* text = L"",
                int id = 0)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = recordingProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"PicladeTestPlain";
        RegisterClassW(&windowClass);
        registered = true;
    }
    const DWORD style = parent ? WS_CHILD | WS_VISIBLE : WS_OVERLAPPEDWINDOW;
    return CreateWindowExW(0, className, text, style, 0, 0, 200, 100, parent, reinterpret_cast<HMENU>(static_cast<intptr_t>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

bool reached(UINT message)
{
    for (UINT seen : gReachedOldProc)
        if (seen == message) return true;
    return false;
}

struct Call {
    std::string event;
    intptr_t a1, a2, a3, a4;
};
std::vector<Call> gCalls;

template <intptr_t Result>
intptr_t recordCall(const char* event, intptr_t a1, intptr_t a2, intptr_t a3, intptr_t a4)
{
    gCalls.push_back({event, a1, a2, a3, a4});
    return Result;
}

#define RECORDING_HANDLER(name, event, result)                                                               \
    intptr_t name(intptr_t a1, intptr_t a2, intptr_t a3, intptr_t a4, intptr_t, intptr_t, intptr_t)            \
    {                                                                                                        \
        return recordCall<result>(event, a1, a2, a3, a4);                                                    \
    }

RECORDING_HANDLER(onDownZero, "down", 0)
RECORDING_HANDLER(onDownOne, "down", 1)
RECORDING_HANDLER(onTimerZero, "timer", 0)
RECORDING_HANDLER(onWndMsgPassing, "wndmsg", 99)
RECORDING_HANDLER(onMouseIn, "in", 0)
RECORDING_HANDLER(onMouseLeave, "leave", 0)

intptr_t onWndMsgHandling(intptr_t, intptr_t message, intptr_t, intptr_t, intptr_t handled, intptr_t, intptr_t)
{
    if (message == WM_LBUTTONDOWN) *reinterpret_cast<int*>(handled) = 1;
    return 7;
}

std::wstring gDropped;
intptr_t onDropFiles(intptr_t, intptr_t text, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    gDropped = reinterpret_cast<const wchar_t*>(text);
    return 0;
}

class WindowEvents : public ::testing::Test {
protected:
    void SetUp() override
    {
        gReachedOldProc.clear();
        gCalls.clear();
        gCommands.clear();
        window = makeWindow();
        ASSERT_NE(window, nullptr) << GetLastError();
    }
    void TearDown() override
    {
        if (IsWindow(window)) DestroyWindow(window);
    }
    HWND window = nullptr;
};

} // namespace

TEST_F(WindowEvents, MouseButtonsAreHandledOnlyForANonzeroAnswer)
{
    WindowObject object;
    ASSERT_TRUE(object.Attach(window));
    object.OnLButtonDown(onDownZero);
    SendMessageW(window, WM_LBUTTONDOWN, 0, MAKELPARAM(12, -3));
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].a1, reinterpret_cast<intptr_t>(window));
    EXPECT_EQ(gCalls[0].a2, 12);
    EXPECT_EQ(gCalls[0].a3, -3);  // sign-extended
    EXPECT_TRUE(reached(WM_LBUTTONDOWN));

    gReachedOldProc.clear();
    object.OnLButtonDown(onDownOne);
    EXPECT_EQ(SendMessageW(window, WM_LBUTTONDOWN, 0, 0), 1);
    EXPECT_FALSE(reached(WM_LBUTTONDOWN));
}

TEST_F(WindowEvents, TimerIsHandledWhateverTheHandlerAnswers)
{
    WindowObject object;
    ASSERT_TRUE(object.Attach(window));
    object.OnTimer(onTimerZero);
    SendMessageW(window, WM_TIMER, 5, 0);
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].a2, 5);
    EXPECT_FALSE(reached(WM_TIMER));
}

TEST_F(WindowEvents, OnWndMsgThatLeavesTheFlagClearDoesNotSuppressEvents)
{
    WindowObject object;
    ASSERT_TRUE(object.Attach(window));
    object.OnWndMsg(onWndMsgPassing);
    object.OnLButtonDown(onDownOne);
    SendMessageW(window, WM_LBUTTONDOWN, 0, 0);
    ASSERT_EQ(gCalls.size(), 2u);
    EXPECT_EQ(gCalls[0].event, "wndmsg");
    EXPECT_EQ(gCalls[1].event, "down");

    gCalls.clear();
    object.OnWndMsg(onWndMsgHandling);
    EXPECT_EQ(SendMessageW(window, WM_LBUTTONDOWN, 0, 0), 7);
    EXPECT_TRUE(gCalls.empty());
}

TEST_F(WindowEvents, HoverTrackingByPresenceAndMouseLeaveClearsIsMoveIn)
{
    WindowObject object;
    ASSERT_TRUE(object.Attach(window));
    object.OnMouseIn(onMouseIn);
    object.OnMouseLeave(onMouseLeave);
    object.SetProperty("EnlableHover", 0);  // still present: tracking stays on
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(3, 4));
    SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(5, 6));
    ASSERT_EQ(gCalls.size(), 1u);
    EXPECT_EQ(gCalls[0].event, "in");
    EXPECT_EQ(object.GetProperty("isMoveIn"), 1);
    object.Bind("OnMouseLeave", nullptr);
    SendMessageW(window, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(object.GetProperty("isMoveIn"), 0);
    SendMessageW(window, WM_MOUSEMOVE, 0, 0);
    EXPECT_EQ(gCalls.size(), 2u);
    EXPECT_EQ(gCalls[1].event, "in");

    object.RemoveProperty("EnlableHover");
    SendMessageW(window, WM_MOUSELEAVE, 0, 0);
    SendMessageW(window, WM_MOUSEMOVE, 0, 0);
    EXPECT_EQ(gCalls.size(), 2u);
}

TEST_F(WindowEvents, DroppedFilesAreJoinedByLineBreaks)
{
    WindowObject object;
    ASSERT_TRUE(object.Attach(window));
    object.OnDropFiles(onDropFiles);
    const std::wstring names[] = {L"C:\\a.jpg", L"C:\\\u76F8\u518C\\b.png", L"D:\\c"};
    std::wstring list;
    for (const auto& name : names) list += name + L'\0';
    list += L'\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_EQ(gDropped, names[0] + L"\r\n" + names[1] + L"\r\n" + names[2]);
    EXPECT_FALSE(reached(WM_DROPFILES));
}

TEST_F(WindowEvents, MnemonicsClickSiblingButtonsIgnoringCase)
{
    HWND field = makeWindow(window, L"PicladeTestPlain", L"", 10);
    HWND save = makeWindow(window, L"button", L"&Save", 11);
    HWND plain = makeWindow(window, L"button", L"Open", 12);
    ASSERT_TRUE(field && save && plain);
    WindowObject object;
    ASSERT_TRUE(object.Attach(field));
    EXPECT_EQ(SendMessageW(field, WM_SYSCHAR, L's', 0), 0);
    ASSERT_EQ(gCommands.size(), 1u);
    EXPECT_EQ(gCommands[0], L"11");
    SendMessageW(field, WM_SYSCHAR, L'S', 0);
    EXPECT_EQ(gCommands.size(), 2u);
    gReachedOldProc.clear();
    SendMessageW(field, WM_SYSCHAR, L'o', 0);  // "Open" has no ampersand
    EXPECT_EQ(gCommands.size(), 2u);
    EXPECT_TRUE(reached(WM_SYSCHAR));
}

namespace {

int gReflectedToParent = 0;
int gReflectedToTooltip = 0;

intptr_t countParent(WindowRecord*, HWND, UINT message, WPARAM, LPARAM, int* handled)
{
    if (message == WM_NOTIFY) ++gReflectedToParent;
    *handled = 1;
    return 0;
}

intptr_t countTooltip(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int*)
{
    ++gReflectedToTooltip;
    return 0;
}

} // namespace

TEST_F(WindowEvents, TooltipTextRequestsGoToTheWindowItself)
{
    gReflectedToParent = 0;
    gReflectedToTooltip = 0;
    HWND tip = makeWindow(window, L"PicladeTestPlain", L"", 20);
    WindowObject parent, tooltip;
    ASSERT_TRUE(parent.Attach(window));
    ASSERT_TRUE(tooltip.Attach(tip));
    parent.Record()->slots.handleReflected = countParent;
    tooltip.Record()->slots.handleReflected = countTooltip;
    NMHDR header{tip, 20, static_cast<UINT>(TTN_GETDISPINFOW)};
    SendMessageW(window, WM_NOTIFY, 20, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(gReflectedToParent, 1);
    EXPECT_EQ(gReflectedToTooltip, 0);
    header.code = NM_CLICK;
    SendMessageW(window, WM_NOTIFY, 20, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(gReflectedToTooltip, 1);
}

TEST_F(WindowEvents, TwoObjectsShareOneRecordAndRecordsAreFreedOnce)
{
    const long before = liveWindowRecords();
    {
        WindowObject first, second;
        ASSERT_TRUE(first.Attach(window));
        ASSERT_TRUE(second.Attach(window));
        EXPECT_EQ(first.Record(), second.Record());
        EXPECT_EQ(liveWindowRecords(), before + 1);
        second.SetProperty("shared", 5);
        EXPECT_EQ(first.GetProperty("shared"), 5);
        DestroyWindow(window);
        EXPECT_EQ(first.GetHandle(), nullptr);  // detached at WM_NCDESTROY
        EXPECT_EQ(handle_map::find(window), nullptr);
    }
    EXPECT_EQ(liveWindowRecords(), before);
}

TEST_F(WindowEvents, DetachRestoresTheWindowProcedure)
{
    WindowObject object;
    ASSERT_TRUE(object.Attach(window));
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(commonWindowProc));
    object.Detach();
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(recordingProc));
    EXPECT_EQ(object.GetHandle(), nullptr);
    EXPECT_FALSE(object.Attach(reinterpret_cast<HWND>(0x1234)));
}

TEST_F(WindowEvents, WindowOwnsItsControlsUntilDestroyed)
{
    const long before = liveWindowRecords();
    HWND childWindow = makeWindow(window, L"PicladeTestPlain", L"", 30);
    {
        Window parent;
        ASSERT_TRUE(parent.Attach(window));
        {
            WindowObject child;
            ASSERT_TRUE(child.Attach(childWindow));
            EXPECT_TRUE(parent.AddControl(child));
        }
        EXPECT_NE(parent.FindControl(childWindow), nullptr);  // kept alive by the parent
        EXPECT_EQ(liveWindowRecords(), before + 2);
        DestroyWindow(window);
        EXPECT_EQ(liveWindowRecords(), before + 1);  // the child's record went with the window
    }
    EXPECT_EQ(liveWindowRecords(), before);
}
