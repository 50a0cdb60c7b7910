// One run of the real program for an end-to-end test: a fresh folder holding a copy of
// Piclade.exe (so that its pictures land there), the pilot that drives it, and the emulator's
// control and image hosts for setting faults and fetching the pictures to compare against.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tools/pilot/pilot.h"

// The emulator's ports for the test build of the program.
constexpr int kImagePort = PICLADE_TEST_PORT_BASE + 3;
constexpr int kControlPort = PICLADE_TEST_PORT_BASE + 9;

extern const wchar_t* const kSignedIn;
extern const wchar_t* const kListed;
extern const wchar_t* const kFinishedPrefix;

// A plain GET against the emulator; empty on any failure.
std::string httpGet(int port, const std::string& path);
// A control request (faults, QR settings, reset); true when the emulator said ok.
bool control(const std::string& pathAndQuery);
// One request as the emulator's hosts saw it: the host it named, its method, path and query, its
// headers as sent, and its Cookie header; `hasCookie` is false when it carried none at all.
struct LoggedRequest {
    std::string service;
    std::string kind;  // "picture", "photo_list", "album_list", "sign_in", ...
    double time = 0;   // when it arrived, on the emulator's clock (emulatorNow), in seconds
    double answered = 0;  // when the last byte of its answer went out (0: no answer went out)
    double closed = 0;    // when the client closed the connection while its answer was held back (0: never)
    int status = 0;       // the status of its answer (0: none went out)
    std::string retryAfter;  // the Retry-After of its answer, if it had one
    int port = 0;      // the client's port: one per connection
    std::string method;
    std::string host;
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers;  // in the order sent
    std::string cookie;
    bool hasCookie = false;
};
// Every request since the last reset, oldest first.
std::vector<LoggedRequest> requestLog();
// The emulator's clock, that of the request log's times, in seconds.
double emulatorNow();
// A moment of the system's clock (a process's exit time, say) on the emulator's clock.
double emulatorTimeOf(const FILETIME& systemTime);
// The bytes the image host gives for a picture in one size ("/mw1024/" + name).
std::string pictureBytes(const std::string& sizePath, const std::string& name);

std::string readWholeFile(const std::wstring& path);
// The names of the files a folder shows (hidden ones left out), sorted.
std::vector<std::wstring> filesIn(const std::wstring& folder);
// The names of the hidden files in a folder (the albums' records), sorted.
std::vector<std::wstring> hiddenFilesIn(const std::wstring& folder);
// The names of the folders in a folder, sorted.
std::vector<std::wstring> foldersIn(const std::wstring& folder);
// How often the emulator was asked for a path since the last reset (`kind` "requests"), or
// answered it whole ("answered"); with a trailing "/" every path under it together.
int emulatorCount(const char* kind, const std::string& path);
// How many picture requests the image host had since the last reset, for one size ("/mw1024/").
inline int imageRequests(const std::string& sizePath) { return emulatorCount("requests", sizePath); }
// A file where a folder belongs, so that the folder can never be made.
bool blockFolder(const std::wstring& path);
// The address of a sample owner's homepage on the emulator's main site.
std::wstring homepageAddress(const std::string& ownerId, const std::wstring& query = L"from=myfollow_all");
// A picture's name while it is being written: the final name with its tail replaced by "~" and
// the writer thread's id in base 36 (no "." after the "~").
bool isTemporaryPictureName(const std::wstring& name);
// No picture being written (a temporary name) is left in the folder.
bool noPartialFiles(const std::wstring& folder);
// The final status line of a download with these counts.
std::wstring finishedStatus(int downloaded, int queued);
// The final status line of a download that is not whole: `reasons` are the failures it names, each
// with its comma ("3张图片获取失败,").
std::wstring incompleteStatus(const std::wstring& reasons, int downloaded, int queued);
// The pictures done in a progress line ("…当前下载进度 12/500"); -1 when it is no progress line.
int downloadedIn(const std::wstring& status);
// Whether a status line is a download's last, whole or not.
bool isFinalStatus(const std::wstring& now);

// Closes a file browser the program opened, so that none outlives the test.
void closeBrowser(HWND shown);

class ProgramSession {
public:
    // The run's folder is "piclade-e2e-<process id>-<run>" with `folderSuffix` after it, in the
    // temporary folder.
    explicit ProgramSession(const std::wstring& folderSuffix = {});
    ~ProgramSession();
    ProgramSession(const ProgramSession&) = delete;
    ProgramSession& operator=(const ProgramSession&) = delete;

    // Starts the program; with `signIn` also waits until it is signed in.
    bool start(bool signIn = true);
    // Ends the program (closed, or killed as by a crash) and starts it again in the same folder,
    // signed in.
    bool restart(bool kill);
    // Types a homepage of the sample owner, presses "分析" and waits for the list.
    bool analyse(const std::string& ownerId);
    // Chooses "下载选中" on the album's menu and waits for the final status line.
    bool download(int album, DWORD ms = 90000);
    // The same, for any final status line (a download that could not fetch everything); every
    // status seen on the way goes to `seen`.
    bool downloadToEnd(int album, DWORD ms, std::vector<std::wstring>* seen = nullptr);
    // The same, answering the message boxes met on the way (a picture that cannot be written
    // shows one and waits); their texts go to `boxes`.
    bool downloadAnsweringBoxes(int album, DWORD ms, std::vector<MessageBoxSeen>* boxes);

    Pilot& pilot() { return pilot_; }
    const std::wstring& folder() const { return folder_; }
    std::wstring albumFolder(const std::wstring& owner, const std::wstring& album) const
    {
        return folder_ + owner + L"\\" + album + L"\\";
    }
    // Every picture of the album folder holds exactly the image host's bytes for `sizePath`.
    ::testing::AssertionResult picturesIntact(const std::wstring& albumFolder, const std::string& sizePath, size_t expected) const;

private:
    std::wstring folder_;
    Pilot pilot_;
};
