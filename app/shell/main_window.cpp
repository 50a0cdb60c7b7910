#include "app/shell/main_window.h"

#include <functional>
#include <memory>
#include <string>

#include "app/core/album_store.h"
#include "app/core/app_state.h"
#include "app/core/file_naming.h"
#include "app/shell/album_covers.h"
#include "app/shell/album_state_images.h"
#include "app/shell/download_signals.h"
#include "app/shell/folder_actions.h"
#include "app/shell/keyboard.h"
#include "app/jobs/analysis.h"
#include "app/jobs/download.h"
#include "app/jobs/download_run.h"
#include "app/jobs/sign_in.h"
#include "app/core/job_threads.h"
#include "app/core/shared_objects.h"
#include "app/jobs/job_window.h"
#include "app/jobs/service_hosts.h"
#include "text/encoding.h"
#include "ui/private_messages.h"
#include "ui/window_calls.h"

const char* const kWindowTitle = "PicladeV5.0 https://piclade.example";
const char* const kChangelog =
    "What's new:\r\n2017.09.02\r\n================================\r\n1.修复二维码获取失败的问题；\r\n"
    "2.重写架构,修复内存泄漏及多线程安全隐患；\r\n\r\nWhat's new:\r\n2017.06.23\r\n================================\r\n"
    "1.修复二维码获取失败的问题；\r\n\r\nWhat's new:\r\n2016.11.23\r\n================================\r\n"
    "1.修复下载图片出现的卡死；\r\n2.重新设计界面,更加简便好用；\r\n\r\nWhat's new:\r\n2016.11.11\r\n"
    "================================\r\n1.修复打开提示“数据或数组类型不匹配”错误；\r\n"
    "2.将程序图标升级为64*64大小,更加适合Win7以上用户；\r\n";

namespace {

// Every length of the layout is given at 96 DPI and scaled to the window's DPI by its `scale`.
constexpr int kCoverSide = 140;
constexpr int kAboutTab = 2;  // the tabs: sign-in, operation, about
constexpr int kStateImageSide = 16;
constexpr int kProgressColumnWidth = 50, kStateColumnWidth = 450;

// The one main window, owned here from createMainWindow to destroyMainWindow; gMain borrows it.
std::unique_ptr<MainWindow> gOwner;
MainWindow* gMain = nullptr;

// How other threads reach the window: its thread and the handles of the controls they change,
// taken once on that thread when the window is made, before any job starts. Other threads read
// only these, never the window objects, whose properties belong to the window's thread.
struct WindowHandles {
    DWORD thread = 0;
    HWND main = nullptr;
    HWND status = nullptr;
    HWND analyseButton = nullptr;
    HWND browseButton = nullptr;
    HWND homepageEdit = nullptr;
};
WindowHandles gHandles;

// kMainCallMessage carries another thread's call to the window's thread (lParam: its number in
// the table of window calls).

void onDpiChanged(UINT dpi, const RECT& suggested);

intptr_t onMainMessage(intptr_t window, intptr_t message, intptr_t wParam, intptr_t lParam, intptr_t handled, intptr_t, intptr_t)
{
    if (message == WM_DPICHANGED) {
        *reinterpret_cast<int*>(handled) = 1;
        onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    }
    if (onDownloadSignalMessage(static_cast<UINT>(message), static_cast<WPARAM>(wParam))) {
        *reinterpret_cast<int*>(handled) = 1;
        return 0;
    }
    if (message != kMainCallMessage) return 0;
    *reinterpret_cast<int*>(handled) = 1;
    window_calls::serve(reinterpret_cast<HWND>(window), lParam);
    return 0;
}

bool onWindowThread() { return gHandles.thread == GetCurrentThreadId(); }

// Runs `call` on the window's thread, the caller waiting; nothing when the window is gone.
void onMainThread(const std::function<void()>& call)
{
    if (onWindowThread()) {
        call();
        return;
    }
    (void)window_calls::send(gHandles.main, kMainCallMessage, call);
}

// What the jobs may do to the window (see job_window.h). The window's own thread changes its
// controls directly; other threads reach them through the handles taken at creation, or carry the
// call to the window's thread.
class MainWindowView final : public JobWindow {
public:
    // The window's thread never waits for the status lock: a worker may hold that lock across a
    // message box for as long as the user leaves it open, and the window must go on answering.
    void setStatus(std::wstring_view text) override
    {
        if (onWindowThread()) {
            setStatusHeld(text);
            return;
        }
        if (!gHandles.status) return;
        StatusHold hold;
        setStatusHeld(text);
    }

    void setStatusHeld(std::wstring_view text) override
    {
        if (onWindowThread()) {
            if (gMain) gMain->status.SetTextW(text);
            return;
        }
        const std::wstring wide(text);
        if (gHandles.status) SendMessageW(gHandles.status, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }

    void enableJobButtons(bool enabled) override
    {
        if (onWindowThread()) {
            if (!gMain) return;
            gMain->analyseButton.Disabled(!enabled, true);
            gMain->browseButton.Disabled(!enabled, true);
            return;
        }
        if (!gHandles.analyseButton) return;
        StatusHold hold;
        // EnableWindow sends what the buttons need to their own thread.
        EnableWindow(gHandles.analyseButton, enabled);
        EnableWindow(gHandles.browseButton, enabled);
    }

    std::string homepageText() override
    {
        if (onWindowThread()) return gMain ? gMain->homepageEdit.GetText() : std::string();
        const HWND edit = gHandles.homepageEdit;
        if (!edit) return {};
        // The user may type between the two messages: a text that filled the room is asked again.
        for (size_t room = static_cast<size_t>(SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0)) + 2;; room *= 2) {
            std::wstring text(room, L'\0');
            const auto copied = static_cast<size_t>(SendMessageW(edit, WM_GETTEXT, room, reinterpret_cast<LPARAM>(text.data())));
            if (copied + 1 < room) {
                text.resize(copied);
                return toNarrow(text);
            }
        }
    }

    void showSignInPicture(const ImageObject& image, bool smooth) override
    {
        onMainThread([&] {
            if (!gMain) return;
            gMain->signInPicture.SetSmoothScaling(smooth);
            gMain->signInPicture.SetImage(image);
        });
    }

    void addAlbumRow(const JobContext& job, std::wstring_view text, const ImageObject& cover) override
    {
        onMainThread([&] {
            // A replaced analysis may have sent its row just before the list was cleared for the new one.
            if (!gMain || job.stopping()) return;
            MainWindow& m = *gMain;
            // Rows and covers stay matched by index: every row adds exactly one image.
            const int side = m.scale(kCoverSide);
            m.coverSources.push_back(cover);
            m.covers.AddImage(coverAtSize(cover, side));
            // The row and its state image with the list's redraw held: it lays itself out and
            // updates its scroll bar once, where each change would (tens of milliseconds a row
            // under Wine, as long as a row's cover takes to come). Shown again as a whole after.
            m.albumList.SuspendRedraw();
            const int row = m.albumList.InsertItemW(text, m.albumList.GetItemCount());
            if (row >= 0) m.albumList.SetStateImage(row, static_cast<int>(AlbumState::NotDownloaded));
            m.albumList.ResumeRedraw();
            m.albumList.Invalidate(false);
        });
    }

    void showAlbumState(const JobContext& job, int row, AlbumState state) override
    {
        onMainThread([&] {
            if (!gMain || job.stopping() || row < 0 || row >= gMain->albumList.GetItemCount()) return;
            gMain->albumList.SetStateImage(row, static_cast<int>(state));
        });
    }

    // The check and the step together on the window's thread, where a new job is started.
    void whileCurrent(const JobContext& job, const std::function<void()>& step) override
    {
        onMainThread([&] {
            if (!job.stopping()) step();
        });
    }

    void downloadMoved() override { postDownloadMoved(gHandles.main); }

    void downloadEnded(bool whole, std::string_view finalLine) override
    {
        onMainThread([&] { downloadFinished(whole, finalLine); });
    }
};

MainWindowView gView;

struct SizeChoice {
    UINT command;
    const char* text;
    const char* path;
};
const SizeChoice kSizes[] = {
    {IDM_SIZE_LARGE, "原图", "/large/"},
    {IDM_SIZE_MIDDLE, "高清", "/mw1024/"},
    {IDM_SIZE_SMALL, "标清", "/mw690/"},
    {IDM_SIZE_THUMBNAIL, "缩略", "/small/"},
};

// The about picture, carried among the program's resources.
std::string aboutPictureBytes()
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_ABOUT_PICTURE), reinterpret_cast<LPCWSTR>(RT_RCDATA));
    HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data ? std::string(static_cast<const char*>(data), SizeofResource(nullptr, found)) : std::string();
}

int truncated(double value) { return static_cast<int>(value); }

SIZE tabClientSize()
{
    const RECT area = gMain->tabs.GetClientRect();
    return {area.right, area.bottom};
}

// The sign-in picture, centred on the tab control's client area.
RECT signInPictureRect()
{
    const DpiScale& s = gMain->scale;
    const SIZE tab = tabClientSize();
    const int left = truncated(tab.cx / 2.0 - 91 * s.factor()), top = truncated(tab.cy / 2.0 - 91 * s.factor());
    return {left, top, left + s(182), top + s(182)};
}

intptr_t onSignInPageCreate(intptr_t page, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    const RECT r = signInPictureRect();
    gMain->signInPicture.Create(reinterpret_cast<HWND>(page), "", {r.left, r.top}, {r.right - r.left, r.bottom - r.top});
    return 0;
}

intptr_t ignoreSize(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t) { return 0; }

intptr_t onButtonClick(intptr_t, intptr_t id, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t);
// "暂停下载" while a download runs, "继续下载" while it is held, greyed while none runs.
// Guarded by EndToEndPause.*.
void showPauseItem(Menu& menu)
{
    const bool held = downloadPool().isPaused();
    std::wstring text = held ? L"继续下载" : L"暂停下载";
    MENUITEMINFOW item{};
    item.fMask = MIIM_STRING | MIIM_STATE;
    item.dwTypeData = text.data();
    item.fState = isJobRunning(DownloadJob) ? MFS_ENABLED : MFS_GRAYED;
    static_cast<void>(menu.SetItemInfo(IDM_PAUSE_DOWNLOAD, item));
}

// Holds the running download (the pool's workers take no new picture, its requests wait), or
// lets it go on.
void pauseOrContinueDownload(MainWindow& m)
{
    const AppState& state = appState();
    if (downloadPool().isPaused()) {
        static_cast<void>(downloadPool().resume());
        m.status.SetTextW(currentProgressText(state.downloadedCount, state.queuedCount));
    } else if (isJobRunning(DownloadJob) && downloadPool().pause()) {
        m.status.SetText(heldStatusText(state.downloadedCount, state.queuedCount));
    }
    downloadRefresh();
}

intptr_t onAlbumListRClick(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t);
void showAlbumMenu(POINT screen);

// The photos and counters are reset once the running download has been told to stop and before
// the new one exists, so no task of the old one can reach the new one's. A new download is never
// born held.
void beginDownload()
{
    photoStore().beginDownload();
    static_cast<void>(downloadPool().resume());
    downloadBegan();
}

// No thread for the download: nothing will end it, so the buttons, the taskbar button and the
// system's sleep are given back here.
void downloadNeverStarted()
{
    enableJobButtons(true);
    downloadFinished(true, {});
}

bool isAccountRunGoingOn()
{
    const std::shared_ptr<DownloadRun> run = currentDownloadRun();
    return run && run->isAccountRun() && isJobRunning(DownloadJob) && isCurrentJob(DownloadJob, run->generation());
}

intptr_t onOperationPageCreate(intptr_t page, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    const HWND parent = reinterpret_cast<HWND>(page);
    MainWindow& m = *gMain;
    const DpiScale& s = m.scale;
    m.covers.Create(s(kCoverSide), s(kCoverSide));
    m.albumList.Create(parent, {s(20), s(80)}, {s(560), s(360)}, LVS_ICON | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_AUTOARRANGE,
                       WS_EX_CLIENTEDGE);
    m.albumList.AddStyle(WS_BORDER);
    m.albumList.SetExtendedStyle(LVS_EX_DOUBLEBUFFER);
    m.albumList.InsertColumn("进度", s(kProgressColumnWidth));
    m.albumList.InsertColumn("运行状态", s(kStateColumnWidth));
    m.albumList.SetImageList(m.covers, 0);
    if (makeAlbumStateImages(m.albumStates, s(kStateImageSide))) m.albumList.SetImageList(m.albumStates, 2);
    m.albumList.OnRClick(onAlbumListRClick);
    m.homepageLabel.Create(parent, "用户主页：", {s(20), s(20)}, {s(70), s(25)}, SS_RIGHT | SS_CENTERIMAGE);
    m.analyseButton.Create(parent, "分析", {0, s(20)}, {s(70), s(25)}, IDC_ANALYSE);
    m.analyseButton.OnClick(onButtonClick);
    m.saveLabel.Create(parent, "保存目录：", {s(20), s(50)}, {s(70), s(25)}, SS_RIGHT | SS_CENTERIMAGE);
    m.browseButton.Create(parent, "浏览", {0, s(50)}, {s(70), s(25)}, IDC_BROWSE);
    m.browseButton.OnClick(onButtonClick);
    const std::string sample = std::string("http://") + PICLADE_MAIN_SITE_HOST + "/u/1000000001?from=myfollow_all";
    // The sunken client edge users know edit fields by.
    m.homepageEdit.SetBorder(1);
    m.saveFolderEdit.SetBorder(1);
    m.homepageEdit.Create(parent, sample, {s(100), s(20)}, {s(300), s(25)});
    m.saveFolderEdit.Create(parent, "", {s(100), s(50)}, {s(300), s(25)});
    m.saveFolderEdit.SetTextW(appState().saveFolder.get());
    return 0;
}

void layOutOperationPage(int width, int height)
{
    MainWindow& m = *gMain;
    const DpiScale& s = m.scale;
    m.homepageLabel.Move(s(20), s(20), s(70), s(25));
    m.analyseButton.Move(width - s(90), s(20), s(70), s(25));
    m.saveLabel.Move(s(20), s(50), s(70), s(25));
    m.browseButton.Move(width - s(90), s(50), s(70), s(25));
    m.homepageEdit.Move(s(100), s(20), width - s(200), s(25));
    m.saveFolderEdit.Move(s(100), s(50), width - s(200), s(25));
    m.albumList.Move(s(20), s(80), width - s(40), height - s(100));
}

intptr_t onOperationPageSize(intptr_t, intptr_t w, intptr_t h, intptr_t, intptr_t, intptr_t, intptr_t)
{
    layOutOperationPage(static_cast<int>(w), static_cast<int>(h));
    return 0;
}

intptr_t onAboutPageCreate(intptr_t page, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    const HWND parent = reinterpret_cast<HWND>(page);
    MainWindow& m = *gMain;
    const DpiScale& s = m.scale;
    m.changelog.Create(parent, kChangelog, {s(20), s(20)}, {s(300), s(300)});
    m.aboutPicture.Create(parent, "", {s(300), s(20)}, {s(201), s(272)});
    m.aboutPicture.SetSmoothScaling(true);
    return 0;
}

// The about picture is decoded when its page is first shown: its decoder takes tens of
// milliseconds to load, which the window would otherwise spend before it appears.
intptr_t onTabChanged(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    MainWindow& m = *gMain;
    if (m.tabs.GetCurSel() == kAboutTab && m.aboutPicture.Image().IsEmpty()) m.aboutPicture.SetImageData(aboutPictureBytes());
    return 0;
}

void layOutAboutPage(int width, int height)
{
    MainWindow& m = *gMain;
    const DpiScale& s = m.scale;
    m.changelog.Move(s(20), s(20), width - s(240), height);
    m.aboutPicture.Move(width - s(220), s(20), s(201), s(272));
}

intptr_t onAboutPageSize(intptr_t, intptr_t w, intptr_t h, intptr_t, intptr_t, intptr_t, intptr_t)
{
    layOutAboutPage(static_cast<int>(w), static_cast<int>(h));
    return 0;
}

// Each control in the message font made for the window's DPI (the stock font of creation is
// made for 96 DPI only).
void setFonts(MainWindow& m)
{
    WindowOperations* const controls[] = {&m.tabs,        &m.status,       &m.homepageLabel, &m.saveLabel,      &m.changelog,
                                          &m.analyseButton, &m.browseButton, &m.homepageEdit,  &m.saveFolderEdit, &m.albumList};
    for (WindowOperations* control : controls) {
        if (HFONT font = createMessageFont(m.scale.dpi())) control->SetFont(font);
    }
}

intptr_t onMainCreate(intptr_t window, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    MainWindow& m = *gMain;
    const HWND main = reinterpret_cast<HWND>(window);
    m.scale = DpiScale(windowDpi(main));

    m.sizeMenu.CreatePopup();
    for (const SizeChoice& size : kSizes) m.sizeMenu.AppendItem(size.text, size.command);
    m.sizeMenu.CheckRadio(0, 0, 3);
    m.contextMenu.CreatePopup();
    m.contextMenu.AppendItem("下载选中", IDM_DOWNLOAD_SELECTED);
    m.contextMenu.AppendItem("打开目录", IDM_OPEN_FOLDER);
    m.contextMenu.AppendSeparator();
    m.contextMenu.AppendSubMenu(m.sizeMenu, "下载类型");
    m.contextMenu.AppendSeparator();
    m.contextMenu.AppendItem("下载全部相册", IDM_DOWNLOAD_ALL);
    m.contextMenu.AppendItem("暂停下载", IDM_PAUSE_DOWNLOAD);
    onMainMenuItem(window, IDM_SIZE_MIDDLE, 0, 0, 0, 0, 0);

    m.signInPage.OnCreate(onSignInPageCreate);
    m.operationPage.OnCreate(onOperationPageCreate);
    m.aboutPage.OnCreate(onAboutPageCreate);
    m.tabs.Create(main, {m.scale(10), m.scale(10)}, {m.scale(600), m.scale(460)});
    m.signInPage.Create(m.tabs.GetHandle());
    m.operationPage.Create(m.tabs.GetHandle());
    m.aboutPage.Create(m.tabs.GetHandle());
    m.signInPage.OnSize(ignoreSize);
    m.operationPage.OnSize(onOperationPageSize);
    m.aboutPage.OnSize(onAboutPageSize);
    m.tabs.OnSelChange(onTabChanged);

    m.status.Create(main, "", SBARS_SIZEGRIP);
    m.status.SetText("  状态:等待操作！");
    m.tabs.AddTab(m.signInPage, "登录");
    m.tabs.AddTab(m.operationPage, "操作");
    m.tabs.AddTab(m.aboutPage, "关于");
    setFonts(m);
    setUpKeyboard({&m.window, &m.tabs, &m.homepageEdit, &m.analyseButton, &m.saveFolderEdit, &m.browseButton, &m.albumList, &m.keys},
                  showAlbumMenu);

    gHandles = {GetCurrentThreadId(), main, m.status.GetHandle(), m.analyseButton.GetHandle(), m.browseButton.GetHandle(),
                m.homepageEdit.GetHandle()};
    startJob(SignInJob, signInJob);
    return 0;
}

void layOutMain(int width, int height)
{
    MainWindow& m = *gMain;
    const DpiScale& s = m.scale;
    m.tabs.Move(s(10), s(10), width - s(20), height - s(40));
    m.status.Send(WM_SIZE);
    // The pages cover the tab control's display area.
    const RECT area = m.tabs.DisplayArea();
    for (Panel* page : {&m.signInPage, &m.operationPage, &m.aboutPage})
        page->Move(area.left, area.top, area.right - area.left, area.bottom - area.top);
    const RECT picture = signInPictureRect();
    m.signInPicture.Move(picture.left, picture.top, picture.right - picture.left, picture.bottom - picture.top);
}

intptr_t onMainSize(intptr_t, intptr_t w, intptr_t h, intptr_t, intptr_t, intptr_t, intptr_t)
{
    if (!gMain->tabs.GetHandle()) return 0;
    layOutMain(static_cast<int>(w), static_cast<int>(h));
    return 0;
}

// The window moved to a monitor of another DPI (or the user changed its scale): new fonts, covers
// and state images at the new size, the suggested rectangle, and every control laid out again,
// whether or not its size changed.
void onDpiChanged(UINT dpi, const RECT& suggested)
{
    MainWindow& m = *gMain;
    m.scale = DpiScale(dpi);
    setFonts(m);
    ImageListObject covers, states;
    if (makeCoverList(covers, m.coverSources, m.scale(kCoverSide))) {
        m.albumList.SetImageList(covers, 0);
        m.covers = covers;  // the list view shares the list and let go of the old one above
    }
    if (makeAlbumStateImages(states, m.scale(kStateImageSide))) {
        m.albumList.SetImageList(states, 2);
        m.albumStates = states;
    }
    SetWindowPos(m.window.GetHandle(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    const RECT client = m.window.GetClientRect();
    layOutMain(client.right, client.bottom);
    const RECT page = m.operationPage.GetClientRect();
    layOutOperationPage(page.right, page.bottom);
    layOutAboutPage(page.right, page.bottom);
    m.albumList.Send(LVM_SETCOLUMNWIDTH, 0, m.scale(kProgressColumnWidth));
    m.albumList.Send(LVM_SETCOLUMNWIDTH, 1, m.scale(kStateColumnWidth));
    m.albumList.Send(LVM_ARRANGE, LVA_DEFAULT);
}

intptr_t onButtonClick(intptr_t, intptr_t id, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    MainWindow& m = *gMain;
    if (id == IDC_ANALYSE) {
        m.status.SetText("  状态:正在分析用户信息,获取相册列表中;");
        m.covers.Remove(-1);
        m.coverSources.clear();
        m.albumList.DeleteAllItems();
        startJob(AnalysisJob, analysisJob);
    } else if (id == IDC_BROWSE) {
        const std::wstring chosen = browseForFolder(L"请选择保存目录");
        if (!chosen.empty()) {
            appState().saveFolder.set(withBackslash(chosen));
            m.saveFolderEdit.SetTextW(appState().saveFolder.get());
        }
    }
    return 0;
}

intptr_t onTrayEvent(intptr_t, intptr_t code, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    onDownloadNoticeEvent(code);
    return 0;
}

intptr_t onAlbumListRClick(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    POINT cursor{};
    GetCursorPos(&cursor);
    showAlbumMenu(cursor);
    return 0;
}

// The album list's menu, from a right click or from the keyboard.
void showAlbumMenu(POINT screen)
{
    showPauseItem(gMain->contextMenu);
    gMain->contextMenu.Popup(screen.x, screen.y, gMain->window.GetHandle());
}

} // namespace

MainWindow* mainWindow() { return gMain; }

intptr_t onMainMenuItem(intptr_t, intptr_t command, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t)
{
    MainWindow& m = *gMain;
    AppState& state = appState();
    if (keyboardCommand(command)) return 0;
    if (command == IDM_DOWNLOAD_SELECTED) {
        const int selected = m.albumList.GetFirstSelected();
        if (selected < 0 || state.saveFolder.get().empty()) return 0;
        enableJobButtons(false);
        if (!startJob(DownloadJob, albumJob, selected + 1, beginDownload)) downloadNeverStarted();
        return 0;
    }
    if (command == IDM_DOWNLOAD_ALL) {
        // Nothing to do before a listing; a running download is replaced as by "下载选中".
        if (albumStore().snapshot().empty() || state.saveFolder.get().empty()) return 0;
        enableJobButtons(false);
        if (!startJob(DownloadJob, accountJob, 0, beginDownload)) downloadNeverStarted();
        return 0;
    }
    if (command == IDM_PAUSE_DOWNLOAD) {
        pauseOrContinueDownload(m);
        return 0;
    }
    if (command == IDM_OPEN_FOLDER) {
        openAlbumFolder(state.albumFolder.get());
        return 0;
    }
    for (int position = 0; position < 4; ++position) {
        if (kSizes[position].command != static_cast<UINT>(command)) continue;
        // The size in use stays while pictures are on their way, and for the whole of a download
        // of every album.
        if (!downloadPool().isIdle() || isAccountRunGoingOn()) return 0;
        state.sizePath.set(kSizes[position].path);
        m.sizeMenu.CheckRadio(static_cast<UINT>(position), 0, 3);
    }
    return 0;
}

bool createMainWindow(HICON icon)
{
    if (gMain) return false;
    gOwner = std::make_unique<MainWindow>();
    gMain = gOwner.get();
    // Before creation: the window starts the sign-in job while it is being made.
    connectJobWindow(&gView);
    MainWindow& m = *gMain;
    m.window.SetStartPosition(2);
    m.window.OnCreate(onMainCreate);
    m.window.OnSize(onMainSize);
    m.window.OnMenuItemClick(onMainMenuItem);
    m.window.OnWndMsg(onMainMessage);
    m.window.OnNotifIcon(onTrayEvent);
    CreateOptions options;
    options.title = kWindowTitle;
    // Made for the DPI of the primary monitor, where it starts centred.
    const DpiScale start(systemDpi());
    options.size = {start(640), start(540)};
    options.style = WS_OVERLAPPEDWINDOW;
    m.window.SetBorder(1);  // WS_OVERLAPPEDWINDOW: a sizable frame
    if (!m.window.Create(options)) return false;
    // A monitor whose scale changed since sign-in has another DPI than the system's: the size too
    // is the window's own DPI's.
    if (m.scale.dpi() != start.dpi())
        SetWindowPos(m.window.GetHandle(), nullptr, 0, 0, m.scale(640), m.scale(540), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (icon) {
        m.window.SetIcon(icon, true);
        m.window.SetIcon(icon, false);
    }
    startDownloadSignals(m.window);
    return true;
}

void destroyMainWindow()
{
    if (!gMain) return;
    if (gMain->window.IsWindow()) DestroyWindow(gMain->window.GetHandle());
    stopDownloadSignals();
    // No other thread is left to use the handles: the window goes only once every job ended.
    connectJobWindow(nullptr);
    gHandles = {};
    gMain = nullptr;
    gOwner.reset();
}
