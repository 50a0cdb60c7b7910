// Window backgrounds painted through the off-screen buffer, and the notification-area icon.
#include "ui/application.h"
#include "ui/gdiplus_include.h"
#include "ui/top_level_window.h"
#include "ui/tray_icon.h"
#include "ui/window_background.h"

#include <gtest/gtest.h>
#include <vector>

using namespace Gdiplus::DllExports;

namespace {

ImageObject solidImage(int width, int height, Gdiplus::ARGB colour)
{
    Gdiplus::GpBitmap* bitmap = nullptr;
    GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) GdipBitmapSetPixel(bitmap, x, y, colour);
    ImageObject image;
    image.AttachNative(bitmap);
    return image;
}

// Asks the window to erase into a memory bitmap of its client size and reads pixels from there.
class Canvas {
public:
    explicit Canvas(HWND window)
    {
        RECT client{};
        GetClientRect(window, &client);
        HDC screen = GetDC(nullptr);
        dc_ = CreateCompatibleDC(screen);
        bitmap_ = CreateCompatibleBitmap(screen, client.right, client.bottom);
        ReleaseDC(nullptr, screen);
        previous_ = SelectObject(dc_, bitmap_);
        erased_ = SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc_), 0);
    }
    ~Canvas()
    {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    COLORREF at(int x, int y) const { return GetPixel(dc_, x, y); }
    LRESULT erased() const { return erased_; }

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
    LRESULT erased_;
};

CreateOptions hiddenWindow(int width, int height)
{
    CreateOptions options;
    options.style = WS_POPUP;
    options.size = {width, height};
    return options;
}

class Background : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Application::Initialise(); }
};

} // namespace

TEST_F(Background, AspectFitKeepsProportionsCentred)
{
    const RECT wide = aspectFitRect(200, 100, 400, 400);
    EXPECT_EQ(wide.left, 0);
    EXPECT_EQ(wide.top, 100);
    EXPECT_EQ(wide.right, 400);
    EXPECT_EQ(wide.bottom, 300);
    const RECT tall = aspectFitRect(100, 200, 400, 400);
    EXPECT_EQ(tall.left, 100);
    EXPECT_EQ(tall.top, 0);
    EXPECT_EQ(tall.right, 300);
    EXPECT_EQ(tall.bottom, 400);
    const RECT same = aspectFitRect(50, 50, 400, 400);
    EXPECT_EQ(same.right, 400);
}

TEST_F(Background, NothingToPaintLeavesErasingToTheSystem)
{
    TopLevelWindow window;
    window.SetBorder(0);
    ASSERT_TRUE(window.Create(hiddenWindow(100, 80)));
    Canvas canvas(window.GetHandle());
    EXPECT_EQ(canvas.erased(), 1);  // the default erase, not ours, but nothing must break
    EXPECT_EQ(window.BackColor(), RGB(0, 0, 0));
    DestroyWindow(window.GetHandle());
}

TEST_F(Background, ColourOnlyAndImageOverButtonFace)
{
    TopLevelWindow window;
    window.SetBorder(0);
    ASSERT_TRUE(window.Create(hiddenWindow(100, 80)));
    window.BackColor(RGB(200, 10, 20), true);
    EXPECT_EQ(window.BackColor(), RGB(200, 10, 20));
    EXPECT_EQ(window.GetProperty("BackColor"), static_cast<intptr_t>(0xFFC80A14u));
    {
        Canvas canvas(window.GetHandle());
        EXPECT_EQ(canvas.erased(), 1);
        EXPECT_EQ(canvas.at(10, 10), RGB(200, 10, 20));
        EXPECT_EQ(canvas.at(99, 79), RGB(200, 10, 20));
    }
    window.BackColor(0, true);
    window.RemoveProperty("BackColor");
    const ImageObject green = solidImage(10, 10, 0xFF00FF00);
    window.BackImage(&green, true);
    window.ShowImageType(1, true);
    {
        Canvas canvas(window.GetHandle());
        EXPECT_EQ(canvas.at(5, 5), RGB(0, 255, 0));
        EXPECT_EQ(canvas.at(50, 50), GetSysColor(COLOR_BTNFACE));
    }
    window.ShowImageType(0, true);  // tiled over the whole area
    {
        Canvas canvas(window.GetHandle());
        EXPECT_EQ(canvas.at(55, 75), RGB(0, 255, 0));
    }
    window.ShowImageType(2, true);  // stretched
    {
        Canvas canvas(window.GetHandle());
        EXPECT_EQ(canvas.at(95, 75), RGB(0, 255, 0));
    }
    const long before = ImageObject::LiveRecords();
    DestroyWindow(window.GetHandle());
    EXPECT_EQ(ImageObject::LiveRecords(), before);  // `green` still holds it
}

TEST_F(Background, AspectFitPaintsOnlyTheFittedRectangle)
{
    TopLevelWindow window;
    window.SetBorder(0);
    ASSERT_TRUE(window.Create(hiddenWindow(400, 400)));
    window.BackColor(RGB(0, 0, 255), true);
    const ImageObject wide = solidImage(200, 100, 0xFFFF0000);
    window.BackImage(&wide, true);
    window.ShowImageType(3, true);
    Canvas canvas(window.GetHandle());
    EXPECT_EQ(canvas.at(200, 50), RGB(0, 0, 255));
    EXPECT_EQ(canvas.at(200, 200), RGB(255, 0, 0));
    EXPECT_EQ(canvas.at(200, 350), RGB(0, 0, 255));
    DestroyWindow(window.GetHandle());
}

namespace {

std::vector<intptr_t> gTrayCodes;
intptr_t onNotifIcon(intptr_t, intptr_t code, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    gTrayCodes.push_back(code);
    return 0;
}

} // namespace

TEST_F(Background, TrayRecordBalloonAndRestart)
{
    TopLevelWindow window;
    ASSERT_TRUE(window.Create(hiddenWindow(50, 50)));
    EXPECT_FALSE(window.SetTrayTip("nothing yet"));
    window.AddTrayIcon(LoadIconW(nullptr, IDI_APPLICATION), "提示");
    const NOTIFYICONDATAW* data = trayRecord(window.Record());
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->cbSize, static_cast<DWORD>(NOTIFYICONDATAW_V2_SIZE));
    EXPECT_EQ(data->hWnd, window.GetHandle());
    EXPECT_EQ(data->uID, 1u);
    EXPECT_EQ(data->uCallbackMessage, kTrayCallbackMessage);
    EXPECT_EQ(data->uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(std::wstring(data->szTip), L"\u63D0\u793A");
    EXPECT_NE(data->hIcon, nullptr);

    window.SetTrayTip(std::string(300, 'x'));
    EXPECT_EQ(std::wstring(data->szTip).size(), 127u);  // cut to the field
    window.ShowBalloon("done");
    EXPECT_EQ(data->uTimeout, 10000u);
    EXPECT_EQ(data->dwInfoFlags, 1u);
    EXPECT_EQ(data->uFlags & NIF_INFO, static_cast<UINT>(NIF_INFO));

    // The taskbar restarted: the icon goes back with what the record holds.
    window.Send(RegisterWindowMessageW(L"TaskbarCreated"));
    EXPECT_EQ(data->uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(std::wstring(data->szTip).size(), 127u);

    window.OnNotifIcon(onNotifIcon);
    gTrayCodes.clear();
    window.Send(kTrayCallbackMessage, 1, WM_LBUTTONDOWN);
    EXPECT_TRUE(gTrayCodes.empty());
    EXPECT_EQ(GetCapture(), window.GetHandle());
    window.Send(kTrayCallbackMessage, 1, WM_LBUTTONUP);
    EXPECT_EQ(GetCapture(), nullptr);
    window.Send(kTrayCallbackMessage, 1, WM_RBUTTONUP);
    window.Send(kTrayCallbackMessage, 1, 0x405);
    EXPECT_EQ(gTrayCodes, (std::vector<intptr_t>{1, 2, 8}));

    DestroyWindow(window.GetHandle());
    EXPECT_FALSE(window.HasProperty("NotifyiconData"));
}
