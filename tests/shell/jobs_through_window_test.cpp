// The whole road against the local service emulator, through the real main window: sign-in,
// analysis of homepages and the download of an album.
#include "app/core/job_threads.h"
#include "app/core/shared_objects.h"
#include "app/jobs/analysis.h"
#include "app/shell/main_window.h"
#include "text/encoding.h"
#include "text/json_document.h"
#include "ui/application.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>





namespace {

// Serves messages until the status line reads `wanted` (or time runs out); the statuses seen.
std::vector<std::string> waitForStatus(MainWindow& m, const std::string& wanted, DWORD ms)
{
    std::vector<std::string> statuses;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        const std::string status = m.status.GetText();
        if (statuses.empty() || statuses.back() != status) statuses.push_back(status);
        if (status == wanted) break;
        Sleep(10);
    }
    return statuses;
}


// An enumeration callback has the system's calling convention, which on x86 no lambda has.
BOOL CALLBACK answerBox(HWND window, LPARAM seen)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (process == GetCurrentProcessId() && std::wstring(className) == L"#32770" && IsWindowVisible(window)) {
        reinterpret_cast<std::set<HWND>*>(seen)->insert(window);
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

// Closes every message box of this process that is open now; each one is counted once in `seen`.
void answerBoxes(std::set<HWND>& seen)
{
    EnumWindows(answerBox, reinterpret_cast<LPARAM>(&seen));
}

// Serves messages and answers message boxes until the status line starts with `prefix`.
std::string waitForStatusAnsweringBoxes(MainWindow& m, const std::string& prefix, DWORD ms, std::set<HWND>& boxes)
{
    const DWORD start = GetTickCount();
    std::string status;
    while (GetTickCount() - start < ms) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        answerBoxes(boxes);
        status = m.status.GetText();
        if (status.rfind(prefix, 0) == 0) break;
        Sleep(20);
    }
    return status;
}

// How many requests the emulator had so far for the paths that begin with `path`. Paths hold
// dots, so the counts are read as the children of "requests", key by key.
int requestsUnder(const std::string& path)
{
    JsonDocument state;
    state.Parse(fetchBytes("http://127.0.0.1:" + std::to_string(PICLADE_TEST_PORT_BASE + 9) + "/state"), true);
    std::vector<std::string> keys;
    std::vector<JsonDocument> counts;
    state.GetKeys("requests", keys);
    state.GetChildren("requests", counts);
    int total = 0;
    for (size_t i = 0; i < keys.size() && i < counts.size(); ++i)
        if (keys[i].rfind(path, 0) == 0) total += static_cast<int>(counts[i].GetInteger());
    return total;
}

// How often the emulator has been asked for the photo list so far (any page).
int photoListRequests() { return requestsUnder("/photos/get_all"); }
// How many pictures the image host was asked for so far, in one size ("/mw1024/").
int pictureRequests(const std::string& sizePath) { return requestsUnder(sizePath); }

void analyse(MainWindow& m, const std::string& owner)
{
    m.homepageEdit.SetText("http://127.0.0.1:" + std::to_string(PICLADE_TEST_PORT_BASE) + "/u/" + owner + "?from=myfollow_all");
    m.analyseButton.Send(BM_CLICK);
}

} // namespace


TEST(Jobs, SignInAnalyseAndDownload)
{
    Application::Initialise();
    downloadPool().start(1, kDownloadWorkers);
    statusLock().create();
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    // Wine hands out process ids again: the time makes the folder one no earlier run left an
    // album record in.
    const std::wstring saveFolder = std::wstring(temp) + L"piclade-jobs-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(GetTickCount64()) + L"\\";
    CreateDirectoryW(saveFolder.c_str(), nullptr);
    appState().saveFolder.set(saveFolder);
    ASSERT_TRUE(createMainWindow(nullptr));  // OnCreate starts the sign-in
    MainWindow& m = *mainWindow();

    const std::string done = "  状态:登录成功,请输入微博主页分析相册";
    const std::vector<std::string> statuses = waitForStatus(m, done, 30000);
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), done);
    auto seen = [&](const std::string& text) {
        for (const std::string& status : statuses)
            if (status == text) return true;
        return false;
    };
    EXPECT_TRUE(seen("  状态:请打开微博客户端\"扫一扫\""));
    EXPECT_TRUE(seen("  状态:成功扫描，请在手机点击确认以登录"));
    EXPECT_NE(appState().cookies.get().find("SUB="), std::string::npos);
    EXPECT_EQ(appState().cookies.get().find("ALF="), std::string::npos);  // the deleted one is not kept
    EXPECT_EQ(m.signInPicture.Image().Width(), 140);  // the avatar replaced the QR code

    // Analysis of a homepage: three albums of 32, 33 and 0 photos, each with its cover.
    const std::string listed = "  状态:获取相册信息完成,请选择相册单击鼠标右键开始下载;";
    analyse(m, "1000000001");
    EXPECT_EQ(m.status.GetText(), "  状态:正在分析用户信息,获取相册列表中;");
    EXPECT_EQ(waitForStatus(m, listed, 20000).back(), listed);
    ASSERT_EQ(m.albumList.GetItemCount(), 3);
    EXPECT_EQ(m.albumList.GetItemText(0), "[旅行 2017] 32张");
    EXPECT_EQ(m.albumList.GetItemText(1), "[家人] 33张");
    EXPECT_EQ(m.albumList.GetItemText(2), "[空相册] 0张");
    EXPECT_EQ(m.covers.Count(), 3);
    EXPECT_EQ(appState().ownerNick.get(), L"摄影师小王");
    EXPECT_EQ(appState().userId.get(), "2000000001");

    // Download of the album of 33 photos: two pages, every picture in the chosen size. The first
    // page is asked for once for the total and once more in the page loop.
    const int listRequests = photoListRequests();
    m.albumList.Select(1);
    onMainMenuItem(0, IDM_DOWNLOAD_SELECTED, 0, 0, 0, 0, 0);
    EXPECT_TRUE(m.analyseButton.Disabled());
    const std::string finished = "  状态:全部下载完成,当前已下载 33张 共 33张 请单击鼠标右键打开目录;";
    EXPECT_EQ(waitForStatus(m, finished, 60000).back(), finished);
    EXPECT_EQ(photoListRequests() - listRequests, 3);
    EXPECT_FALSE(m.analyseButton.Disabled());
    const std::wstring albumFolder = saveFolder + L"摄影师小王\\家人\\";
    EXPECT_EQ(appState().albumFolder.get(), albumFolder);
    const std::wstring firstName = L"[2017.07.14-11.40]照片1-35500000020001pic.jpg";
    HANDLE file = CreateFileW((albumFolder + firstName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string written(100000, '\0');
    DWORD read = 0;
    ReadFile(file, written.data(), static_cast<DWORD>(written.size()), &read, nullptr);
    CloseHandle(file);
    written.resize(read);
    EXPECT_EQ(written, fetchBytes("http://127.0.0.1:" + std::to_string(PICLADE_TEST_PORT_BASE + 3) + "/mw1024/35500000020001pic.jpg"));
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((albumFolder + L"*.jpg").c_str(), &found);
    int files = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do ++files; while (FindNextFileW(search, &found));
        FindClose(search);
    }
    EXPECT_EQ(files, 33);

    // More than one page of albums: every album gets its row, the one without a cover too.
    analyse(m, "1000000002");
    EXPECT_EQ(waitForStatus(m, listed, 30000).back(), listed);
    EXPECT_EQ(m.albumList.GetItemCount(), 25);
    EXPECT_EQ(m.covers.Count(), 25);
    EXPECT_EQ(albumStore().snapshot().size(), 25u);
    EXPECT_EQ(m.albumList.GetItemText(7), "[没有封面] 3张");

    // A full disk: one box for the first write that finds it full, then the job stops, and its
    // last line says so first. (CI mounts a 64 KiB disk; elsewhere this part is left out.)
    wchar_t smallDisk[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"PICLADE_SMALL_DISK", smallDisk, MAX_PATH) && GetFileAttributesW(smallDisk) != INVALID_FILE_ATTRIBUTES) {
        appState().saveFolder.set(std::wstring(smallDisk) + L"\\");
        analyse(m, "1000000004");  // one album of 500 photos
        EXPECT_EQ(waitForStatus(m, listed, 30000).back(), listed);
        const int before = pictureRequests("/mw1024/");
        m.albumList.Select(0);
        onMainMenuItem(0, IDM_DOWNLOAD_SELECTED, 0, 0, 0, 0, 0);
        std::set<HWND> boxes;
        const std::string last = waitForStatusAnsweringBoxes(m, "  状态:下载未完成", 120000, boxes);
        EXPECT_EQ(last.rfind("  状态:下载未完成,磁盘空间不足,已停止下载,", 0), 0u) << toNarrow(toUtf16(last), kUtf8CodePage);
        EXPECT_EQ(boxes.size(), 1u);
        // The pictures in flight when the disk filled up, and no more.
        EXPECT_LT(pictureRequests("/mw1024/") - before, 100);
        EXPECT_FALSE(m.analyseButton.Disabled());

        // A download of every album stops at the full disk too, with one box for the whole run.
        analyse(m, "1000000007");  // 25 albums
        EXPECT_EQ(waitForStatus(m, listed, 30000).back(), listed);
        const int beforeAccount = pictureRequests("/mw1024/");
        onMainMenuItem(0, IDM_DOWNLOAD_ALL, 0, 0, 0, 0, 0);
        std::set<HWND> accountBoxes;
        const std::string accountLast = waitForStatusAnsweringBoxes(m, "  状态:相册下载未完成", 120000, accountBoxes);
        EXPECT_EQ(accountLast.rfind("  状态:相册下载未完成,磁盘空间不足,已停止下载,共25个相册,", 0), 0u) << toNarrow(toUtf16(accountLast), kUtf8CodePage);
        EXPECT_EQ(accountBoxes.size(), 1u);
        EXPECT_LT(pictureRequests("/mw1024/") - beforeAccount, 10);  // the first album's pictures at most
        EXPECT_FALSE(m.analyseButton.Disabled());
    }

    stopAllJobs(3000);
    destroyMainWindow();
    downloadPool().stop(0);
}
