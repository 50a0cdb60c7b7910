// The main window at 150 % and 200 % display scaling: every rectangle of the layout scaled from
// 96 DPI, the controls in the message font of the window's DPI with their texts fitting, covers and
// state images at the scaled size, and a move to another DPI laid out anew.
//
// The process runs itself once more with the user's DPI set to 144 (Wine takes it from the
// registry when a process starts) and the setting put back afterwards.
#include "app/core/shared_objects.h"
#include "app/jobs/job_window.h"
#include "app/shell/main_window.h"
#include "app/shell/program_lifetime.h"
#include "ui/dpi.h"
#include "ui/gdiplus_include.h"
#include "ui/image_object.h"

#include <gtest/gtest.h>
#include <uxtheme.h>
#include <vssym32.h>
#include <winver.h>
#include <cwchar>
#include <string>
#include <vector>

#include "piclade_version.h"
#include "tests/support/other_thread.h"
#include "tests/support/program_path.h"

namespace {

constexpr UINT kTestDpi = 144;
const wchar_t kChildMark[] = L"PICLADE_SCALE_TEST_CHILD";

class MainWindowScaleTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        startProgram(GetModuleHandleW(nullptr), L"C:\\");
        ASSERT_TRUE(createMainWindow(nullptr));
        // The window's own sign-in job would show its pictures (and poll the service, if one is
        // there) beside the tests': one that does nothing replaces it.
        ASSERT_TRUE(startJob(SignInJob, [](const JobContext&) {}));
        serveMessagesFor(600);
    }
    static void TearDownTestSuite() { endProgram(3000); }
    MainWindow& m() { return *mainWindow(); }
};

// A length of the layout at 96 DPI, at the window's scale.
int at(double length, UINT dpi) { return static_cast<int>(length * dpi / 96.0); }

// The control's rectangle in its parent's client coordinates.
RECT placeOf(const WindowOperations& control) { return control.GetRect(); }

void expectRect(const char* what, const RECT& seen, int x, int y, int width, int height)
{
    EXPECT_NEAR(seen.left, x, 1) << what;
    EXPECT_NEAR(seen.top, y, 1) << what;
    EXPECT_NEAR(seen.right - seen.left, width, 1) << what;
    EXPECT_NEAR(seen.bottom - seen.top, height, 1) << what;
}

LOGFONTW fontOf(const WindowOperations& control)
{
    LOGFONTW font{};
    const HFONT handle = control.GetFont();
    if (handle) GetObjectW(handle, sizeof font, &font);
    return font;
}

LONG messageFontHeight(UINT dpi)
{
    const HFONT font = createMessageFont(dpi);
    LOGFONTW description{};
    GetObjectW(font, sizeof description, &description);
    DeleteObject(font);
    return description.lfHeight;
}

// How wide the text is in the control's own font.
int textWidth(const WindowOperations& control, const std::wstring& text)
{
    const HDC dc = GetDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, control.GetFont());
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return extent.cx;
}

// Every rectangle of the layout, the fonts and the image sizes at `dpi`.
void expectLaidOutFor(MainWindow& m, UINT dpi)
{
    const auto s = [dpi](double length) { return at(length, dpi); };
    const RECT client = m.window.GetClientRect();
    expectRect("tab control", placeOf(m.tabs), s(10), s(10), client.right - s(20), client.bottom - s(40));

    const RECT page = m.operationPage.GetClientRect();
    const int width = page.right, height = page.bottom;
    expectRect("homepage label", placeOf(m.homepageLabel), s(20), s(20), s(70), s(25));
    expectRect("analyse button", placeOf(m.analyseButton), width - s(90), s(20), s(70), s(25));
    expectRect("save label", placeOf(m.saveLabel), s(20), s(50), s(70), s(25));
    expectRect("browse button", placeOf(m.browseButton), width - s(90), s(50), s(70), s(25));
    expectRect("homepage edit", placeOf(m.homepageEdit), s(100), s(20), width - s(200), s(25));
    expectRect("save folder edit", placeOf(m.saveFolderEdit), s(100), s(50), width - s(200), s(25));
    expectRect("album list", placeOf(m.albumList), s(20), s(80), width - s(40), height - s(100));

    const RECT about = m.aboutPage.GetClientRect();
    expectRect("changelog", placeOf(m.changelog), s(20), s(20), about.right - s(240), about.bottom);
    expectRect("about picture", placeOf(m.aboutPicture), about.right - s(220), s(20), s(201), s(272));

    const RECT tab = m.tabs.GetClientRect();
    const double f = dpi / 96.0;
    expectRect("sign-in picture", placeOf(m.signInPicture), static_cast<int>(tab.right / 2.0 - 91 * f),
               static_cast<int>(tab.bottom / 2.0 - 91 * f), s(182), s(182));

    int side = 0, ignored = 0;
    ASSERT_TRUE(m.covers.GetIconSize(side, ignored));
    EXPECT_EQ(side, s(140));
    ASSERT_TRUE(m.albumStates.GetIconSize(side, ignored));
    EXPECT_EQ(side, s(16));

    const LONG height96 = messageFontHeight(96), wanted = messageFontHeight(dpi);
    EXPECT_NE(wanted, height96);  // the font is the one made for this DPI, not the 96-DPI one
    const WindowOperations* controls[] = {&m.tabs,          &m.status,       &m.homepageLabel, &m.saveLabel,      &m.changelog,
                                          &m.analyseButton, &m.browseButton, &m.homepageEdit,  &m.saveFolderEdit, &m.albumList};
    for (const WindowOperations* control : controls) EXPECT_EQ(fontOf(*control).lfHeight, wanted) << control->GetClassNameA();

    // Each text fits the control that shows it.
    const WindowOperations* labelled[] = {&m.homepageLabel, &m.saveLabel, &m.analyseButton, &m.browseButton, &m.status};
    for (const WindowOperations* control : labelled) {
        EXPECT_LE(textWidth(*control, control->GetTextW()), control->GetClientWidth()) << control->GetClassNameA();
    }
    for (int index = 0; index < 3; ++index) {
        RECT item{};
        ASSERT_TRUE(m.tabs.Send(TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)));
        wchar_t text[32] = {};
        TCITEMW query{};
        query.mask = TCIF_TEXT;
        query.pszText = text;
        query.cchTextMax = 32;
        m.tabs.Send(TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&query));
        EXPECT_LE(textWidth(m.tabs, text), item.right - item.left) << index;
    }
}

} // namespace

TEST_F(MainWindowScaleTest, EveryRectangleFontAndImageAtOneAndAHalf)
{
    ASSERT_EQ(windowDpi(m().window.GetHandle()), kTestDpi) << "the DPI setting did not reach this process";
    EXPECT_EQ(m().scale.dpi(), kTestDpi);
    const SIZE size = m().window.GetSize();
    EXPECT_EQ(size.cx, 960);
    EXPECT_EQ(size.cy, 810);
    expectLaidOutFor(m(), kTestDpi);
}

TEST_F(MainWindowScaleTest, CoversAreTheWholePictureAtTheScaledSize)
{
    // A 100 x 50 cover: left half red, right half blue. Scaled whole, the red stays on the left.
    {
        Gdiplus::GpBitmap* bitmap = nullptr;
        ASSERT_EQ(Gdiplus::DllExports::GdipCreateBitmapFromScan0(100, 50, 0, PixelFormat32bppARGB, nullptr, &bitmap), Gdiplus::Ok);
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 100; ++x) Gdiplus::DllExports::GdipBitmapSetPixel(bitmap, x, y, x < 50 ? 0xFFFF0000 : 0xFF0000FF);
        ImageObject source;
        source.AttachNative(bitmap);
        const JobContext job(AnalysisJob, currentJobGeneration(AnalysisJob), 0);
        const int rowsBefore = m().albumList.GetItemCount();
        runOnOtherThread([&] { addAlbumRow(job, L"[\u5BB6\u4EBA] 3\u5F20", source); });
        ASSERT_EQ(m().albumList.GetItemCount(), rowsBefore + 1);
    }
    const int index = m().covers.Count() - 1;
    ASSERT_GE(index, 0);
    IMAGEINFO info{};
    ASSERT_TRUE(m().covers.GetImageInfo(index, info));
    EXPECT_EQ(info.rcImage.right - info.rcImage.left, 210);
    EXPECT_EQ(info.rcImage.bottom - info.rcImage.top, 210);
    const HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bits{};
    bits.bmiHeader.biSize = sizeof bits.bmiHeader;
    bits.bmiHeader.biWidth = 210;
    bits.bmiHeader.biHeight = -210;
    bits.bmiHeader.biPlanes = 1;
    bits.bmiHeader.biBitCount = 32;
    void* pixels = nullptr;
    const HBITMAP target = CreateDIBSection(dc, &bits, DIB_RGB_COLORS, &pixels, nullptr, 0);
    const HGDIOBJ old = SelectObject(dc, target);
    m().covers.Draw(index, dc, 0, 0);
    const auto* row = static_cast<const uint32_t*>(pixels) + 105 * 210;
    EXPECT_EQ(row[20] & 0xFFFFFF, 0xFF0000u);  // red, left
    EXPECT_EQ(row[190] & 0xFFFFFF, 0x0000FFu);  // blue, right
    SelectObject(dc, old);
    DeleteObject(target);
    DeleteDC(dc);
}

TEST_F(MainWindowScaleTest, MovingToTwiceTheDpiLaysEverythingOutAgain)
{
    RECT now{};
    GetWindowRect(m().window.GetHandle(), &now);
    RECT suggested{now.left, now.top, now.left + 1280, now.top + 1080};
    m().window.Send(WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(m().scale.dpi(), 192u);
    const SIZE size = m().window.GetSize();
    EXPECT_EQ(size.cx, 1280);
    EXPECT_EQ(size.cy, 1080);
    expectLaidOutFor(m(), 192);
    // The rows keep their covers, now at the new size.
    EXPECT_EQ(m().covers.Count(), m().albumList.GetItemCount());
    // And back, as when the window returns to the first monitor.
    suggested = {now.left, now.top, now.left + 960, now.top + 810};
    m().window.Send(WM_DPICHANGED, MAKEWPARAM(kTestDpi, kTestDpi), reinterpret_cast<LPARAM>(&suggested));
    expectLaidOutFor(m(), kTestDpi);
}

namespace {

// The page or control drawn into a bitmap of its client size, as a top-down array of pixels.
class Snapshot {
public:
    Snapshot(int width, int height) : width_(width)
    {
        BITMAPINFO bits{};
        bits.bmiHeader.biSize = sizeof bits.bmiHeader;
        bits.bmiHeader.biWidth = width;
        bits.bmiHeader.biHeight = -height;
        bits.bmiHeader.biPlanes = 1;
        bits.bmiHeader.biBitCount = 32;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &bits, DIB_RGB_COLORS, reinterpret_cast<void**>(&pixels_), nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        PatBlt(dc_, 0, 0, width, height, BLACKNESS);
    }
    ~Snapshot()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;
    HDC dc() const { return dc_; }
    uint32_t at(int x, int y) const
    {
        GdiFlush();
        return pixels_[y * width_ + x] & 0xFFFFFF;
    }

private:
    int width_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    uint32_t* pixels_ = nullptr;
};

} // namespace

// Under a visual style (the Wine prefix has one) the pages show the tab control's body and the
// labels show the page through them.
TEST_F(MainWindowScaleTest, PagesPaintTheTabBodyAndLabelsShowIt)
{
    ASSERT_TRUE(IsAppThemed()) << "the Wine prefix has no visual style";
    const RECT page = m().operationPage.GetClientRect();
    Snapshot expected(page.right, page.bottom), erased(page.right, page.bottom);
    const HTHEME theme = OpenThemeData(m().tabs.GetHandle(), L"TAB");
    ASSERT_NE(theme, nullptr);
    ASSERT_EQ(DrawThemeBackground(theme, expected.dc(), TABP_BODY, 0, &page, nullptr), S_OK);
    CloseThemeData(theme);
    EXPECT_EQ(m().operationPage.Send(WM_ERASEBKGND, reinterpret_cast<WPARAM>(erased.dc())), 1);
    for (const POINT point : {POINT{2, 2}, POINT{page.right / 2, page.bottom - 3}, POINT{page.right - 3, page.bottom / 3}})
        EXPECT_EQ(erased.at(point.x, point.y), expected.at(point.x, point.y)) << point.x << "," << point.y;

    // The label's corner, where no text is, shows what the page shows at that place.
    const RECT label = m().homepageLabel.GetRect();
    Snapshot drawn(label.right - label.left, label.bottom - label.top);
    m().homepageLabel.Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(drawn.dc()), PRF_CLIENT | PRF_ERASEBKGND);
    EXPECT_EQ(drawn.at(1, 1), expected.at(label.left + 1, label.top + 1));
    EXPECT_NE(drawn.at(1, 1), 0u);  // drawn at all
}

namespace {

// How many pixels of the sign-in picture are neither black nor white, shown with a 4 x 4
// black-and-white checkerboard.
int greyPixelsOfSignInPicture(MainWindow& m, bool smooth)
{
    Gdiplus::GpBitmap* bitmap = nullptr;
    Gdiplus::DllExports::GdipCreateBitmapFromScan0(4, 4, 0, PixelFormat32bppARGB, nullptr, &bitmap);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) Gdiplus::DllExports::GdipBitmapSetPixel(bitmap, x, y, (x + y) % 2 ? 0xFFFFFFFF : 0xFF000000);
    ImageObject checkerboard;
    checkerboard.AttachNative(bitmap);
    runOnOtherThread([&] { showSignInPicture(checkerboard, smooth); });
    const RECT box = m.signInPicture.GetClientRect();
    Snapshot drawn(box.right, box.bottom);
    m.signInPicture.Send(WM_ERASEBKGND, reinterpret_cast<WPARAM>(drawn.dc()));
    int grey = 0;
    for (int y = 0; y < box.bottom; ++y)
        for (int x = 0; x < box.right; ++x) grey += drawn.at(x, y) != 0 && drawn.at(x, y) != 0xFFFFFF;
    return grey;
}

} // namespace

// The QR code keeps square pixels at any scale, so a phone still reads it; the avatar is a photo
// and is scaled smoothly.
TEST_F(MainWindowScaleTest, TheQrCodeKeepsItsPixelsTheAvatarIsSmoothed)
{
    EXPECT_EQ(greyPixelsOfSignInPicture(m(), false), 0);
    EXPECT_GT(greyPixelsOfSignInPicture(m(), true), 100);
}

namespace {

// The manifest compiled into the program; empty when there is none.
std::string programManifest()
{
    const std::wstring program = builtProgramPath();
    const HMODULE module = LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return {};
    std::string manifest;
    if (const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), reinterpret_cast<LPCWSTR>(RT_MANIFEST)))
        manifest.assign(static_cast<const char*>(LockResource(LoadResource(module, found))), SizeofResource(module, found));
    FreeLibrary(module);
    return manifest;
}

} // namespace

TEST(ProgramManifest, DeclaresPerMonitorAwareness)
{
    const std::string manifest = programManifest();
    EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
}

// Explorer's Properties → Details: the version details as Windows reads them, 5.0 and the build
// number in the fixed part and the texts, and the manifest's assembly of the same version.
TEST(ProgramManifest, VersionDetailsMatchTheManifest)
{
    const std::wstring program = builtProgramPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(program.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_GE(length, sizeof *fixed);
    EXPECT_EQ(fixed->dwSignature, static_cast<DWORD>(VS_FFI_SIGNATURE));
    const DWORD major = MAKELONG(PICLADE_VERSION_MINOR, PICLADE_VERSION_MAJOR);
    const DWORD build = MAKELONG(0, PICLADE_VERSION_BUILD);
    EXPECT_EQ(fixed->dwFileVersionMS, major);
    EXPECT_EQ(fixed->dwFileVersionLS, build);
    EXPECT_EQ(fixed->dwProductVersionMS, major);
    EXPECT_EQ(fixed->dwProductVersionLS, build);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

    // The texts are found under the language and code page the Translation value names.
    struct Translation {
        WORD language;
        WORD codePage;
    }* translation = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length));
    ASSERT_GE(length, sizeof *translation);
    wchar_t table[64];
    swprintf(table, 64, L"\\StringFileInfo\\%04x%04x\\", translation->language, translation->codePage);
    const std::wstring version = L"5.0." + std::to_wstring(PICLADE_VERSION_BUILD);
    const struct {
        const wchar_t* name;
        std::wstring value;
    } texts[] = {
        {L"ProductName", L"Piclade"},
        {L"FileDescription", L"Piclade 相册下载工具"},
        {L"OriginalFilename", L"Piclade.exe"},
        {L"LegalCopyright", L"\u00a9 the Piclade authors"},
        {L"FileVersion", version},
        {L"ProductVersion", version},
    };
    for (const auto& text : texts) {
        wchar_t* value = nullptr;
        const bool found = VerQueryValueW(block.data(), (table + std::wstring(text.name)).c_str(), reinterpret_cast<void**>(&value), &length);
        EXPECT_TRUE(found && std::wstring(value) == text.value) << text.name;
    }

    const std::string assembly = "name=\"Piclade\" version=\"5.0." + std::to_string(PICLADE_VERSION_BUILD) + ".0\"";
    EXPECT_NE(programManifest().find(assembly), std::string::npos) << assembly;
}

namespace {

// The user's DPI in the registry, set for the child and put back as it was.
class UserDpiSetting {
public:
    explicit UserDpiSetting(DWORD dpi)
    {
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                            nullptr) != ERROR_SUCCESS)
            return;
        DWORD size = sizeof old_;
        had_ = RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&old_), &size) == ERROR_SUCCESS;
        RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    }
    ~UserDpiSetting()
    {
        if (!key_) return;
        if (had_) RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&old_), sizeof old_);
        else RegDeleteValueW(key_, L"LogPixels");
        RegCloseKey(key_);
    }
    UserDpiSetting(const UserDpiSetting&) = delete;
    UserDpiSetting& operator=(const UserDpiSetting&) = delete;

private:
    HKEY key_ = nullptr;
    DWORD old_ = 0;
    bool had_ = false;
};

int runAsChild()
{
    UserDpiSetting setting(kTestDpi);
    SetEnvironmentVariableW(kChildMark, L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring command = GetCommandLineW();
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) return 2;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 2;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

} // namespace

int main(int argc, char** argv)
{
    if (GetEnvironmentVariableW(kChildMark, nullptr, 0) == 0) return runAsChild();
    // As the program's manifest asks: per-monitor aware, version 2 where there is one.
    using SetAwarenessCall = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    const auto setAwareness = reinterpret_cast<SetAwarenessCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (setAwareness) setAwareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
