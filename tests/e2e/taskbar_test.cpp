// What the real program shows of a download outside its window: progress on its taskbar button,
// the system kept awake, and a notice at the end for a user busy in another window. Wine shows
// none of it, so the test build's program writes each such call to a file (PICLADE_DESKTOP_LOG)
// and the tests read it; the shell's part (the button's creation, a click on the balloon) is
// played by messages sent as the shell sends them.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/session.h"
#include "ui/private_messages.h"

namespace {

// The file the program writes its desktop calls to, one per line; set for programs started while
// it lives.
class DesktopLog {
public:
    explicit DesktopLog(const std::wstring& path) : path_(path) { SetEnvironmentVariableW(L"PICLADE_DESKTOP_LOG", path.c_str()); }
    ~DesktopLog() { SetEnvironmentVariableW(L"PICLADE_DESKTOP_LOG", nullptr); }
    DesktopLog(const DesktopLog&) = delete;
    DesktopLog& operator=(const DesktopLog&) = delete;

    std::vector<std::string> lines(size_t from = 0) const
    {
        std::vector<std::string> all;
        const std::string text = sharedRead();
        for (size_t start = 0; start < text.size();) {
            const size_t end = text.find('\n', start);
            if (end == std::string::npos) break;
            all.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return from < all.size() ? std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(from), all.end())
                                 : std::vector<std::string>();
    }
    size_t mark() const { return lines().size(); }
    bool has(const std::string& line, size_t from = 0) const { return indexOf(line, from) >= 0; }
    // The position of the first such line at or after `from`, counted from `from`; -1 when none.
    int indexOf(const std::string& line, size_t from = 0) const
    {
        const std::vector<std::string> seen = lines(from);
        for (size_t i = 0; i < seen.size(); ++i)
            if (seen[i] == line) return static_cast<int>(i);
        return -1;
    }
    bool waitFor(const std::string& line, size_t from, DWORD ms) const
    {
        for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(50))
            if (has(line, from)) return true;
        return has(line, from);
    }
    // The last line starting with `start` at or after `from`; empty when none.
    std::string last(const std::string& start, size_t from = 0) const
    {
        std::string found;
        for (const std::string& line : lines(from))
            if (line.rfind(start, 0) == 0) found = line;
        return found;
    }

private:
    // Read while the program may be writing: every kind of sharing allowed.
    std::string sharedRead() const
    {
        HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return {};
        std::string bytes;
        char chunk[4096];
        DWORD read = 0;
        while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read) bytes.append(chunk, read);
        CloseHandle(file);
        return bytes;
    }

    std::wstring path_;
};

std::string joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// Another program's window, on a thread of its own that serves it, which can take the front.
class OtherWindow {
public:
    OtherWindow()
    {
        thread_ = std::thread([this] {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = DefWindowProcW;
            windowClass.hInstance = GetModuleHandleW(nullptr);
            windowClass.lpszClassName = L"PicladeTestOtherWindow";
            RegisterClassW(&windowClass);
            const HWND made = CreateWindowExW(0, windowClass.lpszClassName, L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300,
                                              200, 300, 200, nullptr, nullptr, windowClass.hInstance, nullptr);
            threadId_ = GetCurrentThreadId();
            window_ = made;
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                if (message.message == kFrontMessage) {
                    SetForegroundWindow(made);
                    continue;
                }
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            DestroyWindow(made);
        });
        while (!window_) Sleep(10);
    }
    ~OtherWindow()
    {
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    OtherWindow(const OtherWindow&) = delete;
    OtherWindow& operator=(const OtherWindow&) = delete;

    bool toFront() { return PostMessageW(window_, kFrontMessage, 0, 0) && waitFront(window_); }

    static bool waitFront(HWND window)
    {
        for (int waited = 0; waited < 5000; waited += 50) {
            if (GetForegroundWindow() == window) return true;
            Sleep(50);
        }
        return false;
    }

private:
    static constexpr UINT kFrontMessage = WM_APP + 7;
    std::atomic<DWORD> threadId_{0};
    std::atomic<HWND> window_{nullptr};
    std::thread thread_;
};

// As the shell says the window's taskbar button is there.
bool announceTaskbarButton(Pilot& pilot)
{
    return PostMessageW(pilot.mainWindow(), RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0);
}

// The tray icon's callback, as the notification area sends it for a balloon.
bool balloonEvent(Pilot& pilot, UINT event) { return PostMessageW(pilot.mainWindow(), kTrayCallbackMessage, 1, event); }

// A visible window whose title holds `part`, of another process; waits up to `ms`.
HWND windowTitled(const std::wstring& part, DWORD ms)
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(100)) {
        for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
            wchar_t title[512] = {};
            GetWindowTextW(window, title, 512);
            if (IsWindowVisible(window) && wcsstr(title, part.c_str())) return window;
        }
    }
    return nullptr;
}

const std::wstring kOwner = L"摄影师小王";
const std::string kFamilyDone = utf8(L"Piclade|全部下载完成,当前已下载 33张 共 33张 请单击鼠标右键打开目录;");
const std::string kTravelDone = utf8(L"Piclade|全部下载完成,当前已下载 32张 共 32张 请单击鼠标右键打开目录;");

} // namespace

TEST(EndToEndTaskbar, ButtonFollowsTheDownload)
{
    ProgramSession session;
    DesktopLog log(session.folder() + L"desktop.log");
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    Pilot& pilot = session.pilot();
    // Piclade in front: no notice joins the lines below.
    SetForegroundWindow(pilot.mainWindow());
    ASSERT_TRUE(OtherWindow::waitFront(pilot.mainWindow()));

    // Before the shell announced the button nothing reaches it; the system is kept awake anyway.
    ASSERT_TRUE(session.download(2));  // the empty album
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"awake on", "awake off"})) << joined(log.lines());
    ASSERT_TRUE(announceTaskbarButton(pilot));
    ASSERT_TRUE(log.waitFor("state none", 0, 5000)) << joined(log.lines());
    EXPECT_EQ(log.indexOf("button"), 2) << joined(log.lines());

    // Rate-limited pictures: green, yellow while the job waits, green again, and none when whole.
    size_t mark = log.mark();
    ASSERT_TRUE(control("/faults?limit_count=8&retry_after=2&picture_latency=50"));
    ASSERT_TRUE(session.download(1));
    std::vector<std::string> seen = log.lines(mark);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), "state normal") << joined(seen);
    const int paused = log.indexOf("state paused", mark);
    ASSERT_GE(paused, 0) << joined(seen);
    EXPECT_TRUE(log.has("state normal", mark + static_cast<size_t>(paused))) << joined(seen);
    EXPECT_EQ(log.last("value ", mark), "value 33/33") << joined(seen);
    EXPECT_EQ(log.last("state ", mark), "state none") << joined(seen);
    EXPECT_EQ(log.indexOf("awake on", mark), 1) << joined(seen);
    EXPECT_EQ(log.last("awake ", mark), "awake off") << joined(seen);

    // The user's pause: yellow, and the system may sleep; going on again keeps it awake.
    ASSERT_TRUE(control("/reset"));
    ASSERT_TRUE(control("/faults?picture_latency=400"));
    mark = log.mark();
    ASSERT_TRUE(pilot.albumMenu(0, L"下载选中"));
    ASSERT_TRUE(pilot.waitStatus([](const std::wstring& now) { return downloadedIn(now) >= 3; }, 30000)) << utf8(pilot.status());
    ASSERT_TRUE(pilot.albumMenu(0, L"暂停下载"));
    ASSERT_TRUE(log.waitFor("state paused", mark, 5000)) << joined(log.lines(mark));
    ASSERT_TRUE(log.waitFor("awake off", mark, 5000)) << joined(log.lines(mark));
    const size_t held = log.mark();
    ASSERT_TRUE(pilot.albumMenu(0, L"继续下载"));
    ASSERT_TRUE(log.waitFor("awake on", held, 5000)) << joined(log.lines(held));
    ASSERT_TRUE(log.waitFor("state normal", held, 5000)) << joined(log.lines(held));
    ASSERT_TRUE(pilot.waitStatusIs(finishedStatus(32, 32), 60000)) << utf8(pilot.status());
    ASSERT_TRUE(log.waitFor("awake off", held, 5000)) << joined(log.lines(held));
    EXPECT_EQ(log.last("state ", held), "state none") << joined(log.lines(held));

    // An incomplete end is red, and stays so until the user comes to the window. (The pilot's
    // click brings Piclade to the front: another window takes it while the download runs.)
    OtherWindow other;
    ASSERT_TRUE(control("/reset"));
    ASSERT_TRUE(control("/faults?fail_page=1&fail_page_times=-1"));
    mark = log.mark();
    ASSERT_TRUE(pilot.albumMenu(2, L"下载选中"));
    ASSERT_TRUE(other.toFront());
    ASSERT_TRUE(pilot.waitUntil([&] { return isFinalStatus(pilot.status()) && pilot.buttonEnabled(L"分析"); }, 60000));
    EXPECT_EQ(pilot.status().rfind(L"  状态:下载未完成,1页照片列表获取失败,", 0), 0u) << utf8(pilot.status());
    ASSERT_TRUE(log.waitFor("state error", mark, 5000)) << joined(log.lines(mark));
    EXPECT_EQ(log.last("awake ", mark), "awake off") << joined(log.lines(mark));
    Sleep(500);
    EXPECT_EQ(log.last("state ", mark), "state error") << joined(log.lines(mark));
    const size_t red = log.mark();
    SetForegroundWindow(pilot.mainWindow());
    ASSERT_TRUE(OtherWindow::waitFront(pilot.mainWindow()));
    ASSERT_TRUE(log.waitFor("state none", red, 5000)) << joined(log.lines(red));

    // Closing the window in the middle of a download lets the system sleep again.
    ASSERT_TRUE(control("/reset"));
    ASSERT_TRUE(control("/faults?picture_latency=500"));
    ASSERT_TRUE(pilot.albumMenu(1, L"原图"));
    mark = log.mark();
    ASSERT_TRUE(pilot.albumMenu(1, L"下载选中"));
    ASSERT_TRUE(log.waitFor("awake on", mark, 5000)) << joined(log.lines(mark));
    const size_t working = log.mark();
    DWORD exitCode = 1;
    ASSERT_TRUE(pilot.close(10000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(log.last("awake ", working), "awake off") << joined(log.lines(working));
}

TEST(EndToEndTaskbar, NoticeOnlyWhenAnotherWindowIsInFront)
{
    ProgramSession session;
    DesktopLog log(session.folder() + L"desktop.log");
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    Pilot& pilot = session.pilot();
    OtherWindow other;

    // Elsewhere: the button flashes and the balloon tells the final line; it goes when it times
    // out. (The pilot's click brings Piclade to the front: another window takes it meanwhile.)
    ASSERT_TRUE(control("/faults?picture_latency=300"));
    size_t mark = log.mark();
    ASSERT_TRUE(pilot.albumMenu(1, L"下载选中"));
    ASSERT_TRUE(other.toFront());
    ASSERT_TRUE(pilot.waitStatusIs(finishedStatus(33, 33), 60000)) << utf8(pilot.status());
    ASSERT_TRUE(log.waitFor("balloon " + kFamilyDone, mark, 5000)) << joined(log.lines(mark));
    EXPECT_TRUE(log.has("flash", mark)) << joined(log.lines(mark));
    ASSERT_TRUE(balloonEvent(pilot, NIN_BALLOONTIMEOUT));
    ASSERT_TRUE(log.waitFor("balloon removed", mark, 5000)) << joined(log.lines(mark));

    // Once more, and this time the user clicks the balloon: the album's folder opens as "打开目录"
    // opens it, and the icon goes.
    mark = log.mark();
    ASSERT_TRUE(pilot.albumMenu(0, L"下载选中"));
    ASSERT_TRUE(other.toFront());
    ASSERT_TRUE(pilot.waitStatusIs(finishedStatus(32, 32), 60000)) << utf8(pilot.status());
    ASSERT_TRUE(log.waitFor("balloon " + kTravelDone, mark, 5000)) << joined(log.lines(mark));
    ASSERT_TRUE(balloonEvent(pilot, NIN_BALLOONUSERCLICK));
    const HWND shown = windowTitled(kOwner, 15000);
    ASSERT_NE(shown, nullptr);
    closeBrowser(shown);
    EXPECT_TRUE(log.waitFor("balloon removed", mark, 5000)) << joined(log.lines(mark));

    // With Piclade in front the user sees the line there: no flash, no balloon.
    SetForegroundWindow(pilot.mainWindow());
    ASSERT_TRUE(OtherWindow::waitFront(pilot.mainWindow()));
    mark = log.mark();
    ASSERT_TRUE(session.download(1));
    ASSERT_TRUE(OtherWindow::waitFront(pilot.mainWindow()));
    Sleep(500);
    EXPECT_FALSE(log.has("flash", mark)) << joined(log.lines(mark));
    EXPECT_EQ(log.last("balloon", mark), "") << joined(log.lines(mark));
}

TEST(EndToEndTaskbar, AccountNoticeAndTheAccountsPictures)
{
    ProgramSession session;
    DesktopLog log(session.folder() + L"desktop.log");
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000007"));  // 25 albums, 100 photos in all
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(announceTaskbarButton(pilot));
    ASSERT_TRUE(log.waitFor("button", 0, 5000));
    OtherWindow other;

    ASSERT_TRUE(control("/faults?picture_latency=100"));
    const size_t mark = log.mark();
    ASSERT_TRUE(pilot.albumMenu(0, L"下载全部相册"));
    ASSERT_TRUE(other.toFront());
    const std::wstring done = L"  状态:全部相册下载完成,共25个相册,当前已下载 100张 共 100张 请单击鼠标右键打开目录;";
    ASSERT_TRUE(pilot.waitStatusIs(done, 180000)) << utf8(pilot.status());
    const std::string balloon = "balloon Piclade|" + utf8(done.substr(5));
    ASSERT_TRUE(log.waitFor(balloon, mark, 5000)) << joined(log.lines(mark));
    // The button counts the account's pictures from the first album on, not each album's.
    const std::vector<std::string> seen = log.lines(mark);
    int values = 0;
    for (const std::string& line : seen) {
        if (line.rfind("value ", 0) != 0) continue;
        ++values;
        EXPECT_EQ(line.substr(line.find('/')), "/100") << line;
    }
    EXPECT_GT(values, 5) << joined(seen);
    EXPECT_EQ(log.last("value ", mark), "value 100/100") << joined(seen);
    EXPECT_EQ(log.last("state ", mark), "state none") << joined(seen);
    EXPECT_TRUE(log.has("flash", mark)) << joined(seen);

    // A click opens the owner's folder, which holds every album's: the browser shows the save
    // folder with it selected.
    ASSERT_TRUE(balloonEvent(pilot, NIN_BALLOONUSERCLICK));
    std::wstring saveFolderName = session.folder().substr(0, session.folder().size() - 1);
    saveFolderName = saveFolderName.substr(saveFolderName.rfind(L'\\') + 1);
    const HWND shown = windowTitled(saveFolderName, 15000);
    ASSERT_NE(shown, nullptr);
    wchar_t title[512] = {};
    GetWindowTextW(shown, title, 512);
    EXPECT_EQ(wcsstr(title, L"整个账号"), nullptr) << utf8(title);
    closeBrowser(shown);
    EXPECT_TRUE(log.waitFor("balloon removed", mark, 5000)) << joined(log.lines(mark));
}
