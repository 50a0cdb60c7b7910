// The whole road against the local service emulator, through the real main window: sign-in,
// analysis of homepages and the download of an album.
#include "app/albums.h"
#include "app/analysis.h"
#include "app/download.h"
#include "app/error_table.h"
#include "text/encoding.h"
#include "text/json_document.h"
#include "app/app_state.h"
#include "app/jobs.h"
#include "app/main_window.h"
#include "app/photos.h"
#include "app/runtime.h"
#include "app/sign_in.h"
#include "app/text_cut.h"
#include "ui/application.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(TextCut, CutBetweenAndJsonp)
{
    EXPECT_EQ(cutBetween("$CONFIG['oid']='123';x", "$CONFIG['oid']='", "';"), "123");
    EXPECT_EQ(cutBetween("no marker", "$CONFIG['oid']='", "';"), "");
    EXPECT_EQ(cutBetween("$CONFIG['oid']='123", "$CONFIG['oid']='", "';"), "");
    EXPECT_EQ(cutBetween("a[b]c[d]", "[", "]"), "b");
    EXPECT_EQ(stripJsonp("STK_1({\"a\":\"x)y\"});"), "{\"a\":\"x)y\"}");  // a ")" inside a value stays
    EXPECT_EQ(stripJsonp("no wrapper"), "");
    EXPECT_EQ(stripJsonp(")("), "");
}

TEST(ErrorTable, RowsAndLookups)
{
    EXPECT_EQ(errorText(0), "操作成功完成。");
    EXPECT_EQ(errorText(2), "系统找不到指定的文件。");
    EXPECT_EQ(errorText(3), "系统找不到指定的路径。");
    EXPECT_EQ(errorText(5), "拒绝访问。");
    EXPECT_EQ(errorText(8), "存储空间不足，无法处理此命令。");
    EXPECT_EQ(errorText(1393), "磁盘结构损坏且无法读取。");
    EXPECT_EQ(errorText(34), "");     // between listed codes
    EXPECT_EQ(errorText(1399), "");   // past the last row
    EXPECT_EQ(errorText(13), "数据无效。");  // "〖13〗" must not match inside "〖1393〗" or the reverse

    // Every row is "〖" code "〗-" message CR LF, codes ascending, 458 of them, none empty.
    const std::string table = kErrorTable;
    size_t rows = 0, at = 0;
    long previous = -1;
    while (at < table.size()) {
        const size_t end = table.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string row = table.substr(at, end - at);
        ASSERT_EQ(row.rfind("〖", 0), 0u) << row;
        const size_t close = row.find("〗-");
        ASSERT_NE(close, std::string::npos) << row;
        const long code = std::stol(row.substr(2, close - 2));
        EXPECT_GT(code, previous);
        EXPECT_GT(row.size(), close + 3) << row;
        EXPECT_EQ(errorText(static_cast<unsigned long>(code)), row.substr(close + 3));
        previous = code;
        ++rows;
        at = end + 2;
    }
    EXPECT_EQ(rows, 458u);
}

TEST(SignIn, StatusMessages)
{
    EXPECT_STREQ(qrStatusMessage(50114001), "请打开微博客户端\"扫一扫\"");
    EXPECT_STREQ(qrStatusMessage(50114009), "错误");
    EXPECT_STREQ(qrStatusMessage(0), "错误");
}

TEST(Analysis, RowTextsAndServiceAddresses)
{
    EXPECT_EQ(albumRowText("旅行", 35), "[旅行] 35张");
    const std::string port = std::to_string(PICLADE_TEST_PORT_BASE);
    EXPECT_TRUE(isServiceAddress("http://127.0.0.1:" + port + "/u/1?from=myfollow_all"));
    EXPECT_FALSE(isServiceAddress("http://127.0.0.2:" + port + "/u/1"));
    EXPECT_FALSE(isServiceAddress("http://evil.example/127.0.0.1:" + port + "/u/1"));
    EXPECT_FALSE(isServiceAddress("http://evil.example\\.127.0.0.1:" + port + "/u/1"));
    // The photo service's own host, exactly: another port on its address is not it.
    const std::string photoPort = std::to_string(PICLADE_TEST_PORT_BASE + 2);
    EXPECT_TRUE(isServiceAddress("http://127.0.0.1:" + photoPort + "/albums/get_all?uid=1"));
    EXPECT_FALSE(isServiceAddress("http://127.0.0.1:" + std::to_string(PICLADE_TEST_PORT_BASE + 10) + "/albums/get_all"));
    EXPECT_FALSE(isServiceAddress("http://127.0.0.2:" + photoPort + "/albums/get_all"));
    EXPECT_TRUE(isAddressOnHost("http://Photo.Example:80/x", "photo.example"));
    EXPECT_FALSE(isAddressOnHost("http://www.photo.example/x", "photo.example"));

    // A redirect rebuilt against the current host writes its port out, the default one too.
    EXPECT_TRUE(isAddressOnSite("http://site.example:80/u/1", "site.example"));
    EXPECT_TRUE(isAddressOnSite("HTTPS://www.Site.example:443/u/1", "site.example"));
    EXPECT_TRUE(isAddressOnSite("http://site.example/", "Site.Example"));
    EXPECT_FALSE(isAddressOnSite("http://site.example:8080/u/1", "site.example"));
    EXPECT_FALSE(isAddressOnSite("https://site.example:80/u/1", "site.example"));
    EXPECT_FALSE(isAddressOnSite("http://site.example:443/u/1", "site.example"));
    EXPECT_FALSE(isAddressOnSite("http://othersite.example:80/", "site.example"));
    EXPECT_FALSE(isAddressOnSite("http://site.example.evil:80/", "site.example"));
}

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

// How often the emulator has been asked for the photo list so far (any page).
int photoListRequests()
{
    JsonDocument state;
    state.Parse(fetchBytes("http://127.0.0.1:" + std::to_string(PICLADE_TEST_PORT_BASE + 9) + "/state"), true);
    return static_cast<int>(state.GetInteger("requests./photos/get_all"));
}

void analyse(MainWindow& m, const std::string& owner)
{
    m.homepageEdit.SetText("http://127.0.0.1:" + std::to_string(PICLADE_TEST_PORT_BASE) + "/u/" + owner + "?from=myfollow_all");
    m.analyseButton.Send(BM_CLICK);
}

} // namespace

TEST(PhotoStore, AReplacedDownloadReachesNothingOfItsSuccessor)
{
    PhotoStore& store = runtime().photos;
    const auto noJob = [](const JobContext&) {};
    const auto begin = [] { runtime().photos.beginDownload(); };
    ASSERT_TRUE(startJob(DownloadJob, noJob, 0, begin));
    const JobContext first(DownloadJob, currentJobGeneration(DownloadJob), 0);
    ASSERT_TRUE(store.setFolder(first, "A\\"));
    ASSERT_TRUE(store.append(first, PhotoRecord{"a", "http://h", "1.jpg", 0, {}, {}}));
    ASSERT_TRUE(store.append(first, PhotoRecord{"b", "http://h", "2.jpg", 0, {}, {}}));
    PhotoRecord photo;
    std::string folder;
    ASSERT_TRUE(store.take(first.generation(), photo, folder));
    EXPECT_EQ(photo.picName, "1.jpg");
    EXPECT_EQ(folder, "A\\");

    // A second download replaces the first: the first can take, count and add nothing more.
    ASSERT_TRUE(startJob(DownloadJob, noJob, 0, begin));
    const JobContext second(DownloadJob, currentJobGeneration(DownloadJob), 0);
    EXPECT_FALSE(store.take(first.generation(), photo, folder));
    EXPECT_EQ(store.countWritten(first.generation()), -1);
    EXPECT_FALSE(store.append(first, PhotoRecord{"c", "http://h", "old.jpg", 0, {}, {}}));
    EXPECT_FALSE(store.setFolder(first, "A\\"));
    EXPECT_EQ(appState().queuedCount, 0);
    EXPECT_EQ(appState().nextPhotoIndex, 0);

    // The second one starts from photo 1 of its own list.
    ASSERT_TRUE(store.setFolder(second, "B\\"));
    ASSERT_TRUE(store.append(second, PhotoRecord{"d", "http://h", "3.jpg", 0, {}, {}}));
    ASSERT_TRUE(store.take(second.generation(), photo, folder));
    EXPECT_EQ(photo.picName, "3.jpg");
    EXPECT_EQ(folder, "B\\");
    EXPECT_EQ(store.countWritten(second.generation()), 1);
    EXPECT_FALSE(store.take(second.generation(), photo, folder));  // every queued photo is taken
    EXPECT_EQ(appState().queuedCount, 1);
}

TEST(Jobs, SignInAnalyseAndDownload)
{
    Application::Initialise();
    downloadPool().start(1, 5);
    statusLock().create();
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::string saveFolder = toNarrow(temp) + "piclade-jobs-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryW(toUtf16(saveFolder).c_str(), nullptr);
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
    EXPECT_EQ(appState().ownerNick.get(), "摄影师小王");
    EXPECT_EQ(appState().userId.get(), "2000000001");

    // Download of the album of 33 photos: two pages, every picture in the chosen size. The first
    // page is asked for once for the total and once more in the page loop.
    const int listRequests = photoListRequests();
    m.albumList.Select(1);
    onMainMenuItem(0, kDownloadSelected, 0, 0, 0, 0, 0);
    EXPECT_TRUE(m.analyseButton.Disabled());
    const std::string finished = "  状态:全部下载完成,当前已下载 33张 共 33张 请单击鼠标右键打开目录;";
    EXPECT_EQ(waitForStatus(m, finished, 60000).back(), finished);
    EXPECT_EQ(photoListRequests() - listRequests, 3);
    EXPECT_FALSE(m.analyseButton.Disabled());
    const std::string albumFolder = saveFolder + "摄影师小王\\家人\\";
    EXPECT_EQ(appState().albumFolder.get(), albumFolder);
    const std::string firstName = "[2017.07.14-11.40]照片1-35500000020001pic.jpg";
    HANDLE file = CreateFileW(toUtf16(albumFolder + firstName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string written(100000, '\0');
    DWORD read = 0;
    ReadFile(file, written.data(), static_cast<DWORD>(written.size()), &read, nullptr);
    CloseHandle(file);
    written.resize(read);
    EXPECT_EQ(written, fetchBytes("http://127.0.0.1:" + std::to_string(PICLADE_TEST_PORT_BASE + 3) + "/mw1024/35500000020001pic.jpg"));
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(toUtf16(albumFolder + "*.jpg").c_str(), &found);
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
    EXPECT_EQ(albumsSnapshot().size(), 25u);
    EXPECT_EQ(m.albumList.GetItemText(7), "[没有封面] 3张");

    stopAllJobs(3000);
    destroyMainWindow();
    downloadPool().stop(0);
}
