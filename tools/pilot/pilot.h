// Drives the real Piclade window from another process, as a user would: finds the main window,
// switches pages, types the homepage, presses buttons, picks albums and menu commands, reads the
// status line and the album rows, answers message boxes and takes screenshots.
#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "text/encoding.h"
#include "tools/pilot/remote_process.h"

// A message box of the program: its caption and text.
struct MessageBoxSeen {
    std::wstring caption;
    std::wstring text;
};

// The first visible top-level window of the process (any process for 0) that `matches` accepts.
HWND topLevelWindow(DWORD processId, bool (*matches)(HWND));

class Pilot {
public:
    // Starts the program (its folder is the working folder) and waits for its main window.
    bool launch(const std::wstring& exePath, DWORD ms = 20000);
    // Takes over a program already running.
    bool attach(DWORD ms = 20000);

    HWND mainWindow() const { return main_; }
    RemoteProcess& process() { return process_; }
    DWORD lastError() const { return error_; }

    std::wstring status() const;
    // How long the window took to answer the last status read, in milliseconds: the read is a
    // message to the window's own thread, so a frozen window shows here.
    long lastStatusAnswerMs() const { return statusAnswerMs_; }
    // Polls the status line every `pollMs` until `done` accepts it; every distinct status seen goes to `seen`.
    bool waitStatus(const std::function<bool(const std::wstring&)>& done, DWORD ms, std::vector<std::wstring>* seen = nullptr,
                    DWORD pollMs = 20) const;
    bool waitStatusIs(const std::wstring& wanted, DWORD ms, std::vector<std::wstring>* seen = nullptr) const;

    // Polls `done` until it holds while the window keeps answering. Input is posted, and posted
    // messages are overtaken by sent ones, so effects of input are awaited, never assumed.
    bool waitUntil(const std::function<bool()>& done, DWORD ms) const;

    // Clicks the tab of a page: 0 sign-in, 1 operation, 2 about.
    bool showPage(int page);
    int currentPage() const;
    // Replaces the homepage field's text by typing it.
    bool typeHomepage(const std::wstring& text);
    // Replaces the homepage field's text at once, as a paste or a drop would.
    bool setHomepage(const std::wstring& text);
    std::wstring homepage() const;
    std::wstring saveFolder() const;
    bool pressButton(const std::wstring& text);
    bool buttonEnabled(const std::wstring& text) const;

    int albumCount() const;
    // The row's state image (1-based; 0: none), and whether the list has a state image list at all.
    int albumState(int index) const;
    bool hasAlbumStateImages() const;
    std::wstring albumText(int index) const;
    std::vector<std::wstring> albums() const;
    bool selectAlbum(int index);
    int selectedAlbum() const;
    // Right-clicks the album and picks a command of its menu by its text: "下载选中", "打开目录",
    // one of the picture sizes under "下载类型" ("原图", "高清", "标清", "缩略"), "下载全部相册", or "暂停下载"
    // ("继续下载" while a download is held).
    bool albumMenu(int index, const std::wstring& command);
    // The colour on screen at the centre of the sign-in page's picture (the QR code, later the
    // avatar); false when the page or its picture cannot be seen.
    bool signInPictureCentre(COLORREF* colour) const;
    // The colour on screen at the centre of the album's cover, the row scrolled into view first;
    // false when the row cannot be seen. Under Wine the screen may show a scrolled list a moment
    // after it was painted: a caller reads again until the colour holds.
    bool albumCoverCentre(int index, COLORREF* colour) const;

    // The keyboard focus of the program's window thread, and a name for it: "homepage" and
    // "saveFolder" for the fields, a button's text, "albums", "tabs", else the class name.
    HWND focus() const;
    std::wstring focusName() const;
    // Clicks into a field (0 the homepage, 1 the save folder), which takes the focus.
    bool clickField(int index);
    // Real keystrokes: `modifiers` (VK_SHIFT, VK_CONTROL) held while `key` goes down and up, sent
    // as input to the program's window made the foreground window first.
    bool pressKey(WORD key, std::initializer_list<WORD> modifiers = {});
    // The open popup menu's window (class "#32768"), if one shows.
    HWND popupMenu() const;
    // The album's rectangle on the screen.
    bool albumRect(int index, RECT* screen) const;

    // Waits for a message box of the program, reads it and presses its button.
    bool answerMessageBox(MessageBoxSeen* seen, DWORD ms);
    // Waits until the program shows a message box, without answering it.
    bool waitMessageBox(DWORD ms) const;
    // How long the main window took to answer a message, in milliseconds (-1: no answer in ms).
    long responseTime(DWORD ms = 5000) const;
    // Saves the main window as it is on screen to a PNG file.
    bool screenshot(const std::wstring& pngPath);

    // Closes the main window as the user would and waits for the program to end.
    bool close(DWORD ms, DWORD* exitCode);
    // Ends the program at once, as a crash or the task manager would: nothing of it runs on.
    bool kill(DWORD ms = 10000);

private:
    HWND child(const wchar_t* className, const std::wstring& text = {}, int index = 0) const;
    // The edit fields top to bottom: 0 the homepage, 1 the save folder.
    HWND field(int index) const;
    bool itemCentre(HWND list, int index, POINT* centre) const;
    HWND albumList() const { return child(L"SysListView32"); }
    // Answers once every message posted before it was handled by the window's thread.
    bool settle() const;

    RemoteProcess process_;
    HWND main_ = nullptr;
    // Found once per window: looking through every child at each read would weigh on the program
    // whose window is watched (many system calls every 5 ms).
    mutable HWND status_ = nullptr;
    mutable long statusAnswerMs_ = 0;
    DWORD error_ = 0;
};

// The program's window texts are read as UTF-16, whatever the system's code page; scripts and
// printed results are UTF-8.
inline std::string utf8(const std::wstring& text) { return toNarrow(text, CP_UTF8); }
inline std::wstring fromUtf8(const std::string& text) { return toUtf16(text, CP_UTF8); }
