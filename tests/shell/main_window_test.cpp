// The main window as the program builds it, and the program itself starting and ending.
#include "app/core/shared_objects.h"
#include "app/core/job_threads.h"
#include "app/jobs/job_window.h"
#include "app/shell/main_window.h"
#include "app/shell/program_lifetime.h"
#include "text/encoding.h"
#include "ui/application.h"
#include "ui/window_calls.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <objbase.h>
#include <string>

#include "tests/support/other_thread.h"
#include "tests/support/program_path.h"

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    // The program's own start-up and end, on this (the GUI) thread.
    static void SetUpTestSuite()
    {
        comReady = startProgram(GetModuleHandleW(nullptr), L"C:\\");
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

TEST_F(MainWindowTest, TheAboutPictureIsDecodedWhenItsPageIsFirstShown)
{
    // Not before the window appears (its decoder costs the start-up tens of milliseconds), but as
    // soon as the page is chosen, at the size the resource holds.
    ASSERT_NE(m().tabs.GetCurSel(), 2);
    EXPECT_TRUE(m().aboutPicture.Image().IsEmpty());
    ASSERT_TRUE(m().tabs.SelectAsUser(2));
    float width = 0, height = 0;
    ASSERT_TRUE(m().aboutPicture.Image().Dimension(width, height));
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
    ASSERT_TRUE(m().tabs.SelectAsUser(0));
    EXPECT_FALSE(m().aboutPicture.Image().IsEmpty());  // kept once decoded
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
    EXPECT_TRUE(m().sizeMenu.IsChecked(IDM_SIZE_MIDDLE));
    onMainMenuItem(0, IDM_SIZE_SMALL, 0, 0, 0, 0, 0);
    EXPECT_EQ(appState().sizePath.get(), "/mw690/");
    EXPECT_TRUE(m().sizeMenu.IsChecked(IDM_SIZE_SMALL));
    EXPECT_FALSE(m().sizeMenu.IsChecked(IDM_SIZE_MIDDLE));
    onMainMenuItem(0, IDM_SIZE_MIDDLE, 0, 0, 0, 0, 0);
}

namespace {

HANDLE gRelease = nullptr;
void holdPool(intptr_t, intptr_t) { WaitForSingleObject(gRelease, 5000); }

} // namespace

TEST_F(MainWindowTest, SizeChangesAreRefusedWhilePicturesAreOnTheirWay)
{
    gRelease = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(downloadPool().submit(holdPool));
    onMainMenuItem(0, IDM_SIZE_LARGE, 0, 0, 0, 0, 0);
    EXPECT_EQ(appState().sizePath.get(), "/mw1024/");
    EXPECT_TRUE(m().sizeMenu.IsChecked(IDM_SIZE_MIDDLE));
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
    appState().queuedCount = 7;
    onMainMenuItem(0, IDM_DOWNLOAD_SELECTED, 0, 0, 0, 0, 0);
    EXPECT_FALSE(m().analyseButton.Disabled());
    EXPECT_FALSE(m().browseButton.Disabled());
    EXPECT_EQ(appState().queuedCount, 7);  // nothing was reset or started
}

TEST_F(MainWindowTest, DownloadWithoutASaveFolderDoesNothing)
{
    // The program's folder could not be named: the save folder stays empty, never a drive's root.
    struct Restore {
        std::wstring saveFolder = appState().saveFolder.get();
        ~Restore()
        {
            appState().saveFolder.set(saveFolder);
            mainWindow()->albumList.DeleteAllItems();
        }
    } restore;
    appState().saveFolder.set(L"");
    const int row = m().albumList.InsertItem("[家人] 3张");
    ASSERT_GE(row, 0);
    ASSERT_TRUE(m().albumList.Select(row));
    const long downloads = currentJobGeneration(DownloadJob);
    appState().queuedCount = 7;
    onMainMenuItem(0, IDM_DOWNLOAD_SELECTED, 0, 0, 0, 0, 0);
    EXPECT_EQ(currentJobGeneration(DownloadJob), downloads);
    EXPECT_FALSE(m().analyseButton.Disabled());
    EXPECT_EQ(appState().queuedCount, 7);
}

namespace {

// The window's sign-in job polls a service that is not there and writes the status line twice a
// second; a job that does nothing replaces it, and its last write lands meanwhile.
void quietSignIn()
{
    ASSERT_TRUE(startJob(SignInJob, [](const JobContext&) {}));
    serveMessagesFor(600);
}

// A cover of the list's size, from a GIF of one pixel.
ImageObject coverPicture()
{
    const std::string gif = std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF", 19) +
                            std::string("\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;", 16);
    ImageObject pixel;
    ImageObject cover;
    if (pixel.LoadBytes(gif)) pixel.Thumbnail(140, 140, cover);
    return cover;
}

} // namespace

TEST_F(MainWindowTest, AnotherThreadChangesTheControlsOnlyThroughTheWindowsThread)
{
    quietSignIn();
    const std::string typed = m().homepageEdit.GetText();
    m().homepageEdit.SetText("http://127.0.0.1/u/42?typed=1");
    const int rows = m().albumList.GetItemCount();
    const int covers = m().covers.Count();
    const ImageObject cover = coverPicture();
    ASSERT_EQ(cover.Width(), 140);
    const long generation = currentJobGeneration(AnalysisJob);
    const JobContext current(AnalysisJob, generation, 0);
    const JobContext replaced(AnalysisJob, generation - 1, 0);
    std::string homepage;
    runOnOtherThread([&] {
        setStatus("  状态:另一个线程写的");
        enableJobButtons(false);
        homepage = homepageText();
        addAlbumRow(current, L"[家人] 3张", cover);
        addAlbumRow(replaced, L"[旧的] 1张", cover);  // an analysis replaced meanwhile: dropped
        showSignInPicture(cover);
    });
    EXPECT_EQ(m().status.GetText(), "  状态:另一个线程写的");
    EXPECT_TRUE(m().analyseButton.Disabled());
    EXPECT_TRUE(m().browseButton.Disabled());
    EXPECT_EQ(homepage, "http://127.0.0.1/u/42?typed=1");
    ASSERT_EQ(m().albumList.GetItemCount(), rows + 1);
    EXPECT_EQ(m().albumList.GetItemText(rows), "[家人] 3张");
    EXPECT_EQ(m().covers.Count(), covers + 1);
    EXPECT_EQ(m().signInPicture.Image().Width(), 140);
    EXPECT_EQ(window_calls::pending(), 0);

    // A caller that holds the status lock already writes the line without taking it again.
    runOnOtherThread([&] {
        {
            StatusHold hold;
            setStatusHeld("  状态:锁已拿到");
        }
        enableJobButtons(true);
    });
    EXPECT_EQ(m().status.GetText(), "  状态:锁已拿到");
    EXPECT_FALSE(m().analyseButton.Disabled());
    EXPECT_FALSE(m().browseButton.Disabled());

    m().homepageEdit.SetText(typed);
    m().covers.Remove(-1);
    m().albumList.DeleteAllItems();
}

TEST_F(MainWindowTest, AJobsLastStepsRunOnTheWindowsThreadOnlyWhileItIsCurrent)
{
    quietSignIn();
    const long generation = currentJobGeneration(AnalysisJob);
    const JobContext current(AnalysisJob, generation, 0);
    const JobContext replaced(AnalysisJob, generation - 1, 0);
    const DWORD windowThread = GetCurrentThreadId();
    DWORD ranOn = 0;
    bool replacedRan = false;
    runOnOtherThread([&] {
        whileCurrentOnWindow(current, [&] { ranOn = GetCurrentThreadId(); });
        whileCurrentOnWindow(replaced, [&] { replacedRan = true; });
    });
    EXPECT_EQ(ranOn, windowThread);
    EXPECT_FALSE(replacedRan);
}

TEST(MainWindowGone, AnotherThreadsCallsAreDroppedOnceTheWindowIsDestroyed)
{
    startProgram(GetModuleHandleW(nullptr), L"C:\\");
    ASSERT_TRUE(createMainWindow(nullptr));
    MainWindow& m = *mainWindow();
    // As closing the window does: the objects stay until the program ends.
    const HWND main = m.window.GetHandle();
    DestroyWindow(main);
    ASSERT_FALSE(IsWindow(main));
    const ImageObject cover = coverPicture();
    const JobContext current(AnalysisJob, currentJobGeneration(AnalysisJob), 0);
    std::string homepage = "not asked";
    runOnOtherThread([&] {
        setStatus("  状态:没有窗口");
        enableJobButtons(false);
        homepage = homepageText();
        addAlbumRow(current, L"[家人] 3张", cover);
        showSignInPicture(cover);
    });
    // Nothing was carried out, on either thread: the rows' covers were never added.
    EXPECT_EQ(homepage, "");
    EXPECT_EQ(m.covers.Count(), 0);
    EXPECT_EQ(window_calls::pending(), 0);
    EXPECT_TRUE(endProgram(3000));
}

namespace {

struct TitledWindowSearch {
    DWORD process;
    std::wstring title;
    HWND found;
};

// An enumeration callback has the system's calling convention, which on x86 no lambda has.
BOOL CALLBACK stopAtTitledWindow(HWND candidate, LPARAM parameter)
{
    auto& s = *reinterpret_cast<TitledWindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(candidate, &owner);
    wchar_t text[128] = {};
    GetWindowTextW(candidate, text, 128);
    if (owner != s.process || s.title != text) return TRUE;
    s.found = candidate;
    return FALSE;
}

} // namespace

TEST(Program, StartsAndEndsWithExitCodeZero)
{
    const std::wstring program = builtProgramPath();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // Once in a CI run Wine refused to start a process at all (the program never ran); a second
    // try a moment later tells that apart from a program that cannot be started.
    bool started = false;
    DWORD error = 0;
    for (int attempt = 0; attempt < 2 && !started; ++attempt) {
        if (attempt) Sleep(500);
        started = CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
        if (!started) {
            error = GetLastError();
            std::fprintf(stderr, "CreateProcessW failed with error %lu\n", error);
        }
    }
    ASSERT_TRUE(started) << "error " << error;
    // The window of this process: a program left over from an earlier test may show the same title.
    TitledWindowSearch search{process.dwProcessId, toUtf16(kWindowTitle), nullptr};
    for (int i = 0; i < 200 && !search.found; ++i) {
        Sleep(50);
        EnumWindows(stopAtTitledWindow, reinterpret_cast<LPARAM>(&search));
    }
    const HWND window = search.found;
    if (!window) TerminateProcess(process.hProcess, 1);
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    const DWORD waited = WaitForSingleObject(process.hProcess, 20000);
    EXPECT_EQ(waited, WAIT_OBJECT_0);
    // A program that did not end must not outlive the test and hold ctest's output pipe.
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}
