// The whole road through the real program, driven from outside as a user would: sign-in,
// analysis, the album menu, downloads in every size, a second album and the folder command.
#include <gtest/gtest.h>

#include "tests/e2e/session.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdlib>

namespace {

const std::wstring kOwner = L"摄影师小王";

// The first number after `marker` in a status line ("…进度 7/33" with "进度 " gives 7).
int numberAfter(const std::wstring& text, const std::wstring& marker)
{
    const size_t at = text.find(marker);
    return at == std::wstring::npos ? -1 : _wtoi(text.c_str() + at + marker.size());
}

// True when `colour` is one of the colours around the centre of the PNG picture: the program
// scales the picture to its box, so the centre may land a few pixels away.
bool nearPictureCentre(COLORREF colour, const std::string& png)
{
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (png.empty() || Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
    bool matched = false;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, png.size());
    IStream* stream = nullptr;
    if (memory) {
        memcpy(GlobalLock(memory), png.data(), png.size());
        GlobalUnlock(memory);
        if (CreateStreamOnHGlobal(memory, TRUE, &stream) != S_OK) GlobalFree(memory);
    }
    if (stream) {
        Gdiplus::Bitmap picture(stream);
        const int cx = static_cast<int>(picture.GetWidth()) / 2, cy = static_cast<int>(picture.GetHeight()) / 2;
        for (int y = cy - 3; y <= cy + 3 && !matched; ++y) {
            for (int x = cx - 3; x <= cx + 3 && !matched; ++x) {
                Gdiplus::Color pixel;
                if (picture.GetPixel(x, y, &pixel) != Gdiplus::Ok) continue;
                matched = abs(pixel.GetR() - GetRValue(colour)) <= 8 && abs(pixel.GetG() - GetGValue(colour)) <= 8 &&
                       abs(pixel.GetB() - GetBValue(colour)) <= 8;
            }
        }
        stream->Release();
    }
    Gdiplus::GdiplusShutdown(token);
    return matched;
}

} // namespace

TEST(EndToEnd, RunsInTheLocaleItWasGiven)
{
    // The ctest entries run this suite under two system code pages; nothing else may change.
    const char* expected = std::getenv("PICLADE_EXPECT_ACP");
    ASSERT_NE(expected, nullptr);
    EXPECT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
}

TEST(EndToEnd, WholeRoadOfOneDownload)
{
    ProgramSession session;
    ASSERT_TRUE(session.start(false));
    Pilot& pilot = session.pilot();

    // Sign-in: the first poll (no code yet) is refused, then the QR code is waited on, scanned
    // and confirmed; the avatar replaces the code.
    std::vector<std::wstring> statuses;
    ASSERT_TRUE(pilot.waitStatusIs(kSignedIn, 30000, &statuses));
    const std::vector<std::wstring> expected = {L"  状态:等待操作！", L"  状态:二维码错误", L"  状态:请打开微博客户端\"扫一扫\"",
                                                L"  状态:成功扫描，请在手机点击确认以登录", kSignedIn};
    EXPECT_EQ(statuses, expected);
    COLORREF centre = 0;
    ASSERT_TRUE(pilot.signInPictureCentre(&centre));
    EXPECT_TRUE(nearPictureCentre(centre, httpGet(kImagePort, "/avatar/2000000001.png")));

    // Analysis: three rows with their exact texts.
    ASSERT_TRUE(session.analyse("1000000001"));
    const std::vector<std::wstring> rows = {L"[旅行 2017] 32张", L"[家人] 33张", L"[空相册] 0张"};
    EXPECT_EQ(pilot.albums(), rows);

    // The album's menu downloads it; the progress rises to the final count.
    ASSERT_TRUE(pilot.albumMenu(1, L"下载选中"));
    EXPECT_TRUE(pilot.waitUntil([&] { return !pilot.buttonEnabled(L"分析") && !pilot.buttonEnabled(L"浏览"); }, 5000));
    statuses.clear();
    ASSERT_TRUE(pilot.waitStatus([](const std::wstring& now) { return now.rfind(kFinishedPrefix, 0) == 0; }, 60000, &statuses));
    EXPECT_EQ(statuses.back(), finishedStatus(33, 33));
    int previous = 0, progressLines = 0;
    for (const std::wstring& status : statuses) {
        const int done = numberAfter(status, L"当前下载进度 ");
        if (done < 0) continue;
        EXPECT_GT(done, previous) << utf8(status);
        previous = done;
        ++progressLines;
    }
    EXPECT_GT(progressLines, 0);
    EXPECT_TRUE(pilot.buttonEnabled(L"分析"));
    EXPECT_TRUE(pilot.buttonEnabled(L"浏览"));

    // The files: 33 pictures in "高清", named from their time and caption, nothing half-written.
    const std::wstring album = session.albumFolder(kOwner, L"家人");
    EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", 33));
    const std::vector<std::wstring> names = filesIn(album);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.front(), L"[2017.07.14-11.40]照片1-35500000020001pic.jpg");

    DWORD exitCode = 1;
    EXPECT_TRUE(pilot.close(10000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

TEST(EndToEnd, EachSizeBringsItsOwnPictures)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    const std::wstring album = session.albumFolder(kOwner, L"旅行 2017");
    const struct {
        const wchar_t* menuText;
        const char* path;
    } sizes[] = {{L"原图", "/large/"}, {L"标清", "/mw690/"}, {L"缩略", "/small/"}, {L"高清", "/mw1024/"}};
    for (const auto& size : sizes) {
        ASSERT_TRUE(session.pilot().albumMenu(0, size.menuText)) << utf8(size.menuText);
        ASSERT_TRUE(session.download(0)) << utf8(size.menuText);
        EXPECT_EQ(session.pilot().status(), finishedStatus(32, 32));
        EXPECT_TRUE(session.picturesIntact(album, size.path, 32)) << utf8(size.menuText);
    }
}

TEST(EndToEnd, SecondAlbumGoesIntoItsOwnFolder)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(session.download(1));
    ASSERT_TRUE(session.download(0));
    EXPECT_EQ(session.pilot().status(), finishedStatus(32, 32));
    EXPECT_TRUE(session.picturesIntact(session.albumFolder(kOwner, L"家人"), "/mw1024/", 33));
    EXPECT_TRUE(session.picturesIntact(session.albumFolder(kOwner, L"旅行 2017"), "/mw1024/", 32));

    // The empty album: no pages, both counts 0, and its folder exists empty.
    ASSERT_TRUE(session.download(2));
    EXPECT_EQ(session.pilot().status(), finishedStatus(0, 0));
    EXPECT_NE(GetFileAttributesW(session.albumFolder(kOwner, L"空相册").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(EndToEnd, AnalysisPressedTwiceQuicklyListsEachAlbumOnce)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.showPage(1));
    ASSERT_TRUE(pilot.typeHomepage(L"http://127.0.0.1:" + std::to_wstring(PICLADE_TEST_PORT_BASE) + L"/u/1000000002?from=myfollow_all"));
    ASSERT_TRUE(pilot.pressButton(L"分析"));
    ASSERT_TRUE(pilot.pressButton(L"分析"));
    ASSERT_TRUE(pilot.waitStatusIs(kListed, 30000));
    Sleep(500);  // a replaced job that still added rows would show them by now
    const std::vector<std::wstring> rows = pilot.albums();
    EXPECT_EQ(rows.size(), 25u);
    ASSERT_EQ(rows.size(), 25u);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), std::wstring(L"[没有封面] 3张")), 1);
    EXPECT_EQ(rows[7], L"[没有封面] 3张");
}

TEST(EndToEnd, SizeChangeIsRefusedWhileDownloading)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(control("/faults?picture_latency=300"));
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.albumMenu(1, L"下载选中"));
    ASSERT_TRUE(pilot.waitStatus([](const std::wstring& now) { return now.find(L"当前下载进度") != std::wstring::npos; }, 20000));
    ASSERT_TRUE(pilot.albumMenu(1, L"原图"));  // refused: pictures are on their way
    ASSERT_TRUE(pilot.waitStatus([](const std::wstring& now) { return now.rfind(kFinishedPrefix, 0) == 0; }, 60000));
    EXPECT_TRUE(session.picturesIntact(session.albumFolder(kOwner, L"家人"), "/mw1024/", 33));

    // Once idle the change is taken.
    ASSERT_TRUE(control("/faults?picture_latency=0"));
    ASSERT_TRUE(pilot.albumMenu(1, L"原图"));
    ASSERT_TRUE(session.download(1));
    EXPECT_TRUE(session.picturesIntact(session.albumFolder(kOwner, L"家人"), "/large/", 33));
}

TEST(EndToEnd, OpenFolderShowsTheAlbumFolder)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(session.download(1));
    ASSERT_TRUE(session.pilot().albumMenu(1, L"打开目录"));
    // The system's file browser opens the owner's folder with the album folder selected.
    HWND shown = nullptr;
    for (int waited = 0; waited < 15000 && !shown; waited += 100) {
        Sleep(100);
        for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
            wchar_t title[512] = {};
            GetWindowTextW(window, title, 512);
            if (IsWindowVisible(window) && wcsstr(title, kOwner.c_str())) shown = window;
        }
    }
    ASSERT_NE(shown, nullptr);
    closeBrowser(shown);
}
