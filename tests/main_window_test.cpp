// The main window as the program builds it, and the program itself starting and ending.
#include "app/app_state.h"
#include "app/jobs.h"
#include "app/main_window.h"
#include "app/program_lifetime.h"
#include "text/encoding.h"
#include "ui/application.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <string>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    // The program's own start-up and end, on this (the GUI) thread.
    static void SetUpTestSuite()
    {
        comReady = startProgram(GetModuleHandleW(nullptr), "C:\\");
        ASSERT_TRUE(createMainWindow(nullptr));
    }
    static void TearDownTestSuite() { endProgram(3000); }
    static inline bool comReady = false;
    MainWindow& m() { return *mainWindow(); }
};

} // namespace

TEST_F(MainWindowTest, TitleTabsStatusAndSize)
{
    EXPECT_EQ(m().window.GetText(), "PicladeV5.0 https://piclade.example");
    EXPECT_EQ(m().tabs.GetItemCount(), 3);
    EXPECT_EQ(m().status.GetText(), "  状态:等待操作！");
    EXPECT_EQ(m().window.GetStyle() & WS_OVERLAPPEDWINDOW, static_cast<LONG_PTR>(WS_OVERLAPPEDWINDOW));
    const SIZE size = m().window.GetSize();
    EXPECT_EQ(size.cx, 640);
    EXPECT_EQ(size.cy, 540);
    EXPECT_EQ(m().homepageEdit.GetText().rfind("http://127.0.0.1:" + std::to_string(PICLADE_TEST_PORT_BASE) + "/u/", 0), 0u);  // the emulator's main site
    EXPECT_NE(m().homepageEdit.GetText().find("from=myfollow_all"), std::string::npos);
    EXPECT_EQ(m().saveFolderEdit.GetText(), "C:\\");
}

TEST_F(MainWindowTest, TheWindowThreadIsASingleThreadedApartment)
{
    // What the folder dialog and "open folder" need of the thread that calls them.
    ASSERT_TRUE(comReady);
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    ASSERT_EQ(CoGetApartmentType(&type, &qualifier), S_OK);
    EXPECT_TRUE(type == APTTYPE_MAINSTA || type == APTTYPE_STA) << type;
    EXPECT_EQ(GetWindowThreadProcessId(m().window.GetHandle(), nullptr), GetCurrentThreadId());
}

TEST_F(MainWindowTest, EditFieldsHaveTheClientEdgeAndTheListSharesItsCovers)
{
    EXPECT_TRUE(m().homepageEdit.GetExStyle() & WS_EX_CLIENTEDGE);
    EXPECT_TRUE(m().saveFolderEdit.GetExStyle() & WS_EX_CLIENTEDGE);
    // The covers belong to the program's image list object, not to the control.
    EXPECT_TRUE(m().albumList.GetStyle() & LVS_SHAREIMAGELISTS);
    EXPECT_EQ(reinterpret_cast<HIMAGELIST>(m().albumList.Send(LVM_GETIMAGELIST, LVSIL_NORMAL)), m().covers.Handle());
}

TEST_F(MainWindowTest, MiddleSizeIsCheckedAtFirst)
{
    EXPECT_EQ(appState().sizePath.get(), "/mw1024/");
    EXPECT_TRUE(m().sizeMenu.IsChecked(kSizeMiddle));
    onMainMenuItem(0, kSizeSmall, 0, 0, 0, 0, 0);
    EXPECT_EQ(appState().sizePath.get(), "/mw690/");
    EXPECT_TRUE(m().sizeMenu.IsChecked(kSizeSmall));
    EXPECT_FALSE(m().sizeMenu.IsChecked(kSizeMiddle));
    onMainMenuItem(0, kSizeMiddle, 0, 0, 0, 0, 0);
}

namespace {

HANDLE gRelease = nullptr;
void holdPool(intptr_t, intptr_t) { WaitForSingleObject(gRelease, 5000); }

} // namespace

TEST_F(MainWindowTest, SizeChangesAreRefusedWhilePicturesAreOnTheirWay)
{
    gRelease = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(downloadPool().submit(holdPool));
    onMainMenuItem(0, kSizeLarge, 0, 0, 0, 0, 0);
    EXPECT_EQ(appState().sizePath.get(), "/mw1024/");
    EXPECT_TRUE(m().sizeMenu.IsChecked(kSizeMiddle));
    SetEvent(gRelease);
    while (!downloadPool().isIdle()) Sleep(5);
    CloseHandle(gRelease);
}

TEST_F(MainWindowTest, LayoutFollowsTheWindowSize)
{
    m().window.SetSize(800, 600);
    const RECT client = m().window.GetClientRect();
    const RECT tabs = m().tabs.GetRect();
    EXPECT_EQ(tabs.left, 10);
    EXPECT_EQ(tabs.top, 10);
    EXPECT_EQ(tabs.right - tabs.left, client.right - 20);
    EXPECT_EQ(tabs.bottom - tabs.top, client.bottom - 40);
    const int pageWidth = m().operationPage.GetClientWidth();
    const int pageHeight = m().operationPage.GetClientHeight();
    const RECT analyse = m().analyseButton.GetRect();
    EXPECT_EQ(analyse.left, pageWidth - 90);
    const RECT list = m().albumList.GetRect();
    EXPECT_EQ(list.right - list.left, pageWidth - 40);
    EXPECT_EQ(list.bottom - list.top, pageHeight - 100);
    const RECT edit = m().homepageEdit.GetRect();
    EXPECT_EQ(edit.right - edit.left, pageWidth - 200);
    const SIZE tab = {m().tabs.GetClientWidth(), m().tabs.GetClientHeight()};
    const RECT picture = m().signInPicture.GetRect();
    EXPECT_EQ(picture.left, static_cast<int>(tab.cx / 2.0 - 91));
    EXPECT_EQ(picture.top, static_cast<int>(tab.cy / 2.0 - 91));
}

TEST_F(MainWindowTest, DownloadWithoutSelectionDoesNothing)
{
    InterlockedExchange(&appState().queuedCount, 7);
    onMainMenuItem(0, kDownloadSelected, 0, 0, 0, 0, 0);
    EXPECT_FALSE(m().analyseButton.Disabled());
    EXPECT_FALSE(m().browseButton.Disabled());
    EXPECT_EQ(appState().queuedCount, 7);  // nothing was reset or started
}

TEST(Program, StartsAndEndsWithExitCodeZero)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program(self);
    program.resize(program.rfind(L'\\'));
    program.resize(program.rfind(L'\\') + 1);
    program += L"app\\Piclade.exe";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    HWND window = nullptr;
    const std::wstring title = toUtf16(kWindowTitle);
    for (int i = 0; i < 200 && !window; ++i) {
        Sleep(50);
        window = FindWindowW(L"qvWindow", title.c_str());
    }
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}
