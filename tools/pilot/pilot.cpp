#include "tools/pilot/pilot.h"

#include <commctrl.h>

#include <algorithm>

#include "tools/pilot/screenshot.h"

namespace {

constexpr const wchar_t* kTitlePrefix = L"PicladeV5.0";
constexpr UINT kPollMs = 20;

bool hasMainTitle(HWND window)
{
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    return wcsncmp(title, kTitlePrefix, wcslen(kTitlePrefix)) == 0;
}

bool isDialog(HWND window)
{
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    return wcscmp(className, L"#32770") == 0;
}

struct ClassSearch {
    const wchar_t* className;
    std::vector<HWND> found;
};

// An enumeration callback has the system's calling convention, which on x86 no lambda has.
BOOL CALLBACK collectOfClass(HWND window, LPARAM param)
{
    auto* s = reinterpret_cast<ClassSearch*>(param);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (_wcsicmp(name, s->className) == 0) s->found.push_back(window);
    return TRUE;
}

// Every descendant of `parent` of the class, in the order the system enumerates them.
std::vector<HWND> childrenOfClass(HWND parent, const wchar_t* className)
{
    ClassSearch search{className, {}};
    if (parent) EnumChildWindows(parent, collectOfClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Milliseconds since `started`, a QueryPerformanceCounter reading.
long millisecondsSince(const LARGE_INTEGER& started)
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<long>((now.QuadPart - started.QuadPart) * 1000 / frequency.QuadPart);
}

std::wstring windowText(HWND window)
{
    if (!window) return {};
    // One WM_GETTEXT is one consistent read (the system carries it across processes). Its length
    // is not asked first: a text changed in between would come cut short. A text that fills the
    // buffer may have been cut, so it is read again with a larger one.
    for (size_t capacity = 1024;; capacity *= 4) {
        std::wstring text(capacity, L'\0');
        const LRESULT copied = SendMessageW(window, WM_GETTEXT, capacity, reinterpret_cast<LPARAM>(text.data()));
        if (copied <= 0) return {};
        if (static_cast<size_t>(copied) + 1 < capacity || capacity >= (1u << 20)) {
            text.resize(static_cast<size_t>(copied));
            return text;
        }
    }
}

// The top edge of a window on screen, then its left edge: the order a reader sees fields in.
bool readsBefore(HWND a, HWND b)
{
    RECT ra{}, rb{};
    GetWindowRect(a, &ra);
    GetWindowRect(b, &rb);
    return ra.top != rb.top ? ra.top < rb.top : ra.left < rb.left;
}

// A mouse click as the window would get it from the user, at a point in its client area.
void postClick(HWND window, POINT at, bool right)
{
    const LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(window, WM_MOUSEMOVE, 0, where);
    PostMessageW(window, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, right ? MK_RBUTTON : MK_LBUTTON, where);
    PostMessageW(window, right ? WM_RBUTTONUP : WM_LBUTTONUP, 0, where);
}

void postKey(HWND window, UINT key)
{
    PostMessageW(window, WM_KEYDOWN, key, 1);
    PostMessageW(window, WM_KEYUP, key, 0xC0000001);
}

struct TopLevelSearch {
    DWORD processId;
    bool (*matches)(HWND);
    HWND found;
};

BOOL CALLBACK stopAtMatch(HWND window, LPARAM param)
{
    auto* s = reinterpret_cast<TopLevelSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((s->processId != 0 && owner != s->processId) || !IsWindowVisible(window) || !s->matches(window)) return TRUE;
    s->found = window;
    return FALSE;
}

} // namespace

// The first visible top-level window of the process (any process for 0) that `matches` accepts.
HWND topLevelWindow(DWORD processId, bool (*matches)(HWND))
{
    TopLevelSearch search{processId, matches, nullptr};
    EnumWindows(stopAtMatch, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool Pilot::launch(const std::wstring& exePath, DWORD ms)
{
    std::wstring folder = exePath.substr(0, exePath.find_last_of(L"\\/") + 1);
    if (!process_.start(L"\"" + exePath + L"\"", folder)) {
        error_ = process_.lastError();
        return false;
    }
    return attach(ms);
}

bool Pilot::attach(DWORD ms)
{
    const DWORD start = GetTickCount();
    do {
        if (const HWND found = topLevelWindow(process_.id(), hasMainTitle)) {
            main_ = found;
            status_ = nullptr;
            if (!process_.handle() && !process_.attach(main_)) return false;
            return settle();
        }
        if (process_.handle() && !process_.running()) return false;
        Sleep(kPollMs);
    } while (GetTickCount() - start < ms);
    error_ = ERROR_TIMEOUT;
    return false;
}

HWND Pilot::child(const wchar_t* className, const std::wstring& text, int index) const
{
    for (HWND candidate : childrenOfClass(main_, className)) {
        if (!text.empty() && windowText(candidate) != text) continue;
        if (index-- == 0) return candidate;
    }
    return nullptr;
}

HWND Pilot::field(int index) const
{
    std::vector<HWND> edits = childrenOfClass(main_, WC_EDITW);
    std::sort(edits.begin(), edits.end(), readsBefore);
    return index < static_cast<int>(edits.size()) ? edits[static_cast<size_t>(index)] : nullptr;
}

bool Pilot::settle() const
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &ignored) != 0;
}

bool Pilot::waitUntil(const std::function<bool()>& done, DWORD ms) const
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start >= ms || !settle()) return false;
        Sleep(kPollMs);
    }
    return true;
}

std::wstring Pilot::status() const
{
    if (!status_ || !IsWindow(status_)) status_ = child(STATUSCLASSNAMEW);
    LARGE_INTEGER before;
    QueryPerformanceCounter(&before);
    std::wstring text = windowText(status_);
    statusAnswerMs_ = millisecondsSince(before);
    return text;
}

bool Pilot::waitStatus(const std::function<bool(const std::wstring&)>& done, DWORD ms, std::vector<std::wstring>* seen,
                       DWORD pollMs) const
{
    const DWORD start = GetTickCount();
    for (;;) {
        const std::wstring now = status();
        if (seen && (seen->empty() || seen->back() != now)) seen->push_back(now);
        if (done(now)) return true;
        if (GetTickCount() - start >= ms) return false;
        Sleep(pollMs);
    }
}

bool Pilot::waitStatusIs(const std::wstring& wanted, DWORD ms, std::vector<std::wstring>* seen) const
{
    return waitStatus([&](const std::wstring& now) { return now == wanted; }, ms, seen);
}

bool Pilot::showPage(int page)
{
    const HWND tabs = child(WC_TABCONTROLW);
    if (!tabs) return false;
    RemoteBuffer rect(process_.handle(), sizeof(RECT));
    if (!rect.valid() || !SendMessageW(tabs, TCM_GETITEMRECT, page, rect.param())) return false;
    RECT item{};
    rect.read(&item, sizeof item);
    postClick(tabs, {(item.left + item.right) / 2, (item.top + item.bottom) / 2}, false);
    return waitUntil([&] { return currentPage() == page; }, 3000);
}

int Pilot::currentPage() const { return static_cast<int>(SendMessageW(child(WC_TABCONTROLW), TCM_GETCURSEL, 0, 0)); }

bool Pilot::typeHomepage(const std::wstring& text)
{
    const HWND edit = field(0);
    if (!edit) return false;
    // Select all and type over it, one character at a time.
    SendMessageW(edit, EM_SETSEL, 0, -1);
    PostMessageW(edit, WM_CHAR, VK_BACK, 1);
    for (wchar_t character : text) PostMessageW(edit, WM_CHAR, character, 1);
    return waitUntil([&] { return homepage() == text; }, 5000);
}

bool Pilot::setHomepage(const std::wstring& text)
{
    const HWND edit = field(0);
    return edit && SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) && homepage() == text;
}

std::wstring Pilot::homepage() const { return windowText(field(0)); }
std::wstring Pilot::saveFolder() const { return windowText(field(1)); }

bool Pilot::pressButton(const std::wstring& text)
{
    const HWND button = child(WC_BUTTONW, text);
    if (!button || !IsWindowEnabled(button)) return false;
    // Posted, as a click is: a button that opens a dialog must not hold us up.
    PostMessageW(button, BM_CLICK, 0, 0);
    return settle();
}

bool Pilot::buttonEnabled(const std::wstring& text) const
{
    const HWND button = child(WC_BUTTONW, text);
    return button && IsWindowEnabled(button);
}

int Pilot::albumCount() const { return static_cast<int>(SendMessageW(albumList(), LVM_GETITEMCOUNT, 0, 0)); }

int Pilot::albumState(int index) const
{
    const LRESULT state = SendMessageW(albumList(), LVM_GETITEMSTATE, static_cast<WPARAM>(index), LVIS_STATEIMAGEMASK);
    return static_cast<int>((state & LVIS_STATEIMAGEMASK) >> 12);
}

bool Pilot::hasAlbumStateImages() const { return SendMessageW(albumList(), LVM_GETIMAGELIST, LVSIL_STATE, 0) != 0; }

std::wstring Pilot::albumText(int index) const
{
    constexpr size_t kChars = 1024;
    RemoteBuffer remote(process_.handle(), sizeof(LVITEMW) + kChars * sizeof(wchar_t));
    if (!remote.valid()) return {};
    LVITEMW item{};
    item.iSubItem = 0;
    item.cchTextMax = kChars;
    item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote.address()) + sizeof(LVITEMW));
    remote.write(&item, sizeof item);
    const LRESULT length = SendMessageW(albumList(), LVM_GETITEMTEXTW, index, remote.param());
    std::wstring text(static_cast<size_t>(length), L'\0');
    if (length > 0) remote.read(text.data(), text.size() * sizeof(wchar_t), sizeof(LVITEMW));
    return text;
}

std::vector<std::wstring> Pilot::albums() const
{
    std::vector<std::wstring> rows;
    for (int i = 0, count = albumCount(); i < count; ++i) rows.push_back(albumText(i));
    return rows;
}

bool Pilot::itemCentre(HWND list, int index, POINT* centre) const
{
    // Scrolled into view first, as the user would.
    if (!list || !SendMessageW(list, LVM_ENSUREVISIBLE, index, FALSE)) return false;
    RemoteBuffer rect(process_.handle(), sizeof(RECT));
    RECT item{};
    item.left = LVIR_ICON;
    if (!rect.write(&item, sizeof item) || !SendMessageW(list, LVM_GETITEMRECT, index, rect.param())) return false;
    rect.read(&item, sizeof item);
    *centre = {(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    return true;
}

bool Pilot::selectAlbum(int index)
{
    const HWND list = albumList();
    POINT centre{};
    if (!itemCentre(list, index, &centre)) return false;
    postClick(list, centre, false);
    return waitUntil([&] { return selectedAlbum() == index; }, 3000);
}

int Pilot::selectedAlbum() const
{
    return static_cast<int>(SendMessageW(albumList(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

bool Pilot::albumMenu(int index, const std::wstring& command)
{
    // The menu as the user sees it: two commands, a separator, the sizes' submenu, a separator,
    // then the download of every album and the pause command under either of its names.
    static const wchar_t* const kCommands[] = {L"下载选中", L"打开目录"};
    static const wchar_t* const kSizes[] = {L"原图", L"高清", L"标清", L"缩略"};
    std::vector<UINT> keys;
    for (UINT i = 0; i < 2; ++i)
        if (command == kCommands[i]) keys.assign(i + 1, VK_DOWN);
    for (UINT i = 0; i < 4; ++i) {
        if (command != kSizes[i]) continue;
        keys.assign(3, VK_DOWN);  // the separator is skipped
        keys.push_back(VK_RIGHT);  // opens the submenu on its first item
        keys.insert(keys.end(), i, VK_DOWN);
    }
    // Both separators are skipped.
    if (command == L"下载全部相册") keys.assign(4, VK_DOWN);
    if (command == L"暂停下载" || command == L"继续下载") keys.assign(5, VK_DOWN);
    if (keys.empty()) return false;

    const HWND list = albumList();
    POINT centre{};
    if (!itemCentre(list, index, &centre)) return false;
    postClick(list, centre, true);

    // The menu is open once its window shows.
    const DWORD start = GetTickCount();
    HWND menu = nullptr;
    while (!(menu = FindWindowW(L"#32768", nullptr)) || !IsWindowVisible(menu)) {
        if (GetTickCount() - start > 5000) return false;
        Sleep(kPollMs);
    }
    for (UINT key : keys) postKey(main_, key);
    postKey(main_, VK_RETURN);
    // The command has run once the window answers again with the menu gone.
    while (FindWindowW(L"#32768", nullptr) && IsWindowVisible(FindWindowW(L"#32768", nullptr))) {
        if (GetTickCount() - start > 10000) return false;
        Sleep(kPollMs);
    }
    return settle();
}

bool Pilot::signInPictureCentre(COLORREF* colour) const
{
    // The sign-in page's picture: the static control of 182 × 182 pixels.
    HWND picture = nullptr;
    RECT area{};
    for (HWND candidate : childrenOfClass(main_, WC_STATICW)) {
        GetClientRect(candidate, &area);
        if (area.right == 182 && area.bottom == 182 && IsWindowVisible(candidate)) picture = candidate;
    }
    if (!picture) return false;
    // A picture set a moment ago may not be painted yet: what is pending is painted first.
    RedrawWindow(main_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    POINT centre{area.right / 2, area.bottom / 2};
    ClientToScreen(picture, &centre);
    HDC screen = GetDC(nullptr);
    *colour = GetPixel(screen, centre.x, centre.y);
    ReleaseDC(nullptr, screen);
    return *colour != CLR_INVALID;
}

bool Pilot::albumCoverCentre(int index, COLORREF* colour) const
{
    const HWND list = albumList();
    POINT centre{};
    if (!itemCentre(list, index, &centre)) return false;
    // Scrolled a moment ago: what is pending is painted first.
    RedrawWindow(list, nullptr, nullptr, RDW_UPDATENOW);
    ClientToScreen(list, &centre);
    HDC screen = GetDC(nullptr);
    *colour = GetPixel(screen, centre.x, centre.y);
    ReleaseDC(nullptr, screen);
    return *colour != CLR_INVALID;
}

HWND Pilot::focus() const
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(main_, nullptr);
    return thread && GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

std::wstring Pilot::focusName() const
{
    const HWND focused = focus();
    if (!focused) return {};
    if (focused == field(0)) return L"homepage";
    if (focused == field(1)) return L"saveFolder";
    if (focused == albumList()) return L"albums";
    if (focused == child(WC_TABCONTROLW)) return L"tabs";
    wchar_t className[64] = {};
    GetClassNameW(focused, className, 64);
    if (_wcsicmp(className, WC_BUTTONW) == 0) return windowText(focused);
    return className;
}

bool Pilot::clickField(int index)
{
    const HWND edit = field(index);
    if (!edit) return false;
    RECT area{};
    GetClientRect(edit, &area);
    postClick(edit, {area.right / 2, area.bottom / 2}, false);
    return waitUntil([&] { return focus() == edit; }, 3000);
}

bool Pilot::pressKey(WORD key, std::initializer_list<WORD> modifiers)
{
    SetForegroundWindow(main_);
    if (!waitUntil([&] { return GetForegroundWindow() == main_; }, 3000)) return false;
    std::vector<INPUT> inputs;
    auto add = [&](WORD code, bool up) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = code;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        inputs.push_back(input);
    };
    for (WORD modifier : modifiers) add(modifier, false);
    add(key, false);
    add(key, true);
    for (auto modifier = std::rbegin(modifiers); modifier != std::rend(modifiers); ++modifier) add(*modifier, true);
    const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    // Input reaches the window's queue; it has been handled once the window answers again.
    Sleep(100);
    return sent == inputs.size() && settle();
}

HWND Pilot::popupMenu() const
{
    const HWND menu = FindWindowW(L"#32768", nullptr);
    return menu && IsWindowVisible(menu) ? menu : nullptr;
}

bool Pilot::albumRect(int index, RECT* screen) const
{
    const HWND list = albumList();
    RemoteBuffer rect(process_.handle(), sizeof(RECT));
    RECT item{};
    item.left = LVIR_BOUNDS;
    if (!list || !rect.write(&item, sizeof item) || !SendMessageW(list, LVM_GETITEMRECT, index, rect.param())) return false;
    rect.read(&item, sizeof item);
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&item), 2);
    *screen = item;
    return true;
}

bool Pilot::answerMessageBox(MessageBoxSeen* seen, DWORD ms)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (const HWND box = process_.id() ? topLevelWindow(process_.id(), isDialog) : nullptr) {
            if (seen) {
                seen->caption = windowText(box);
                // The message is the box's static text (the icon is a static too, without text).
                seen->text.clear();
                for (HWND part = GetWindow(box, GW_CHILD); part; part = GetWindow(part, GW_HWNDNEXT)) {
                    wchar_t className[16] = {};
                    GetClassNameW(part, className, 16);
                    if (_wcsicmp(className, WC_STATICW) == 0 && seen->text.empty()) seen->text = windowText(part);
                }
            }
            const HWND ok = GetDlgItem(box, IDOK);
            PostMessageW(ok ? ok : box, ok ? BM_CLICK : WM_CLOSE, 0, 0);
            // Answered once the box is gone: a box still closing must not be read twice.
            while (IsWindow(box) && GetTickCount() - start < ms + 5000) Sleep(kPollMs);
            return !IsWindow(box);
        }
        if (GetTickCount() - start >= ms) return false;
        Sleep(kPollMs);
    }
}

bool Pilot::waitMessageBox(DWORD ms) const
{
    return waitUntil([&] { return process_.id() && topLevelWindow(process_.id(), isDialog) != nullptr; }, ms);
}

long Pilot::responseTime(DWORD ms) const
{
    LARGE_INTEGER before;
    QueryPerformanceCounter(&before);
    DWORD_PTR ignored = 0;
    if (!SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_NORMAL, ms, &ignored)) return -1;
    return millisecondsSince(before);
}

bool Pilot::screenshot(const std::wstring& pngPath)
{
    settle();
    RedrawWindow(main_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT frame{};
    GetWindowRect(main_, &frame);
    return saveScreenArea(frame, pngPath);
}

bool Pilot::close(DWORD ms, DWORD* exitCode)
{
    PostMessageW(main_, WM_CLOSE, 0, 0);
    return process_.waitExit(ms, exitCode);
}

bool Pilot::kill(DWORD ms)
{
    DWORD exitCode = 0;
    return process_.handle() && TerminateProcess(process_.handle(), 9) && process_.waitExit(ms, &exitCode);
}
