#include <gtest/gtest.h>

#include "tests/e2e/session.h"

#include <winhttp.h>

#include "net/internet_handle.h"
#include "text/json_document.h"

#include <algorithm>
#include <cstdlib>
#include <cwctype>

const wchar_t* const kSignedIn = L"  状态:登录成功,请输入微博主页分析相册";
const wchar_t* const kListed = L"  状态:获取相册信息完成,请选择相册单击鼠标右键开始下载;";
const wchar_t* const kFinishedPrefix = L"  状态:全部下载完成";

namespace {

void removeTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) removeTree(folder + name + L"\\");
            else DeleteFileW((folder + name).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

} // namespace

std::string httpGet(int port, const std::string& path)
{
    // A plain WinHTTP exchange, not the program's client: the reference bytes come independently.
    const InternetHandle session(WinHttpOpen(L"piclade-e2e", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0));
    const InternetHandle connection(session ? WinHttpConnect(session.get(), L"127.0.0.1", static_cast<INTERNET_PORT>(port), 0) : nullptr);
    const std::wstring object = fromUtf8(path);
    const InternetHandle request(connection ? WinHttpOpenRequest(connection.get(), L"GET", object.c_str(), nullptr, nullptr, nullptr, 0) : nullptr);
    if (!request || !WinHttpSendRequest(request.get(), nullptr, 0, nullptr, 0, 0, 0) || !WinHttpReceiveResponse(request.get(), nullptr))
        return {};
    std::string body;
    for (;;) {
        char chunk[16384];
        DWORD read = 0;
        if (!WinHttpReadData(request.get(), chunk, sizeof chunk, &read) || read == 0) break;
        body.append(chunk, read);
    }
    return body;
}

bool control(const std::string& pathAndQuery)
{
    return httpGet(kControlPort, pathAndQuery).find("\"ok\":true") != std::string::npos;
}

std::vector<LoggedRequest> requestLog()
{
    JsonDocument answer;
    std::vector<LoggedRequest> requests;
    if (!answer.Parse(httpGet(kControlPort, "/request_log"), true)) return requests;
    for (int i = 0, count = answer.GetCount("requests"); i < count; ++i) {
        const std::string entry = "requests.[" + std::to_string(i) + "]";
        LoggedRequest request;
        request.service = answer.GetText(entry + ".service");
        request.host = answer.GetText(entry + ".host");
        request.path = answer.GetText(entry + ".path");
        request.kind = answer.GetText(entry + ".kind");
        request.time = answer.GetFloat(entry + ".time");
        request.answered = answer.GetFloat(entry + ".answered");
        request.closed = answer.GetFloat(entry + ".closed");
        request.status = static_cast<int>(answer.GetInteger(entry + ".status"));
        request.retryAfter = answer.GetText(entry + ".retry_after");
        request.port = static_cast<int>(answer.GetInteger(entry + ".port"));
        request.method = answer.GetText(entry + ".method");
        for (int h = 0, headers = answer.GetCount(entry + ".headers"); h < headers; ++h) {
            const std::string header = entry + ".headers.[" + std::to_string(h) + "]";
            request.headers.emplace_back(answer.GetText(header + ".[0]"), answer.GetText(header + ".[1]"));
        }
        request.hasCookie = answer.HasMember(entry, "cookie");
        request.cookie = answer.GetText(entry + ".cookie");
        requests.push_back(request);
    }
    return requests;
}

double emulatorNow()
{
    JsonDocument answer;
    return answer.Parse(httpGet(kControlPort, "/state"), true) ? answer.GetFloat("now") : 0;
}

double emulatorTimeOf(const FILETIME& systemTime)
{
    JsonDocument answer;
    if (!answer.Parse(httpGet(kControlPort, "/state"), true)) return 0;
    ULARGE_INTEGER since1601;
    since1601.LowPart = systemTime.dwLowDateTime;
    since1601.HighPart = systemTime.dwHighDateTime;
    constexpr uint64_t k1970In1601Units = 116444736000000000ULL;  // 100 ns units from 1601 to 1970
    const double unixSeconds = (static_cast<double>(since1601.QuadPart) - static_cast<double>(k1970In1601Units)) / 1e7;
    // The two clocks read at one moment: their difference turns one into the other.
    return unixSeconds - (answer.GetFloat("wall") - answer.GetFloat("now"));
}

std::string pictureBytes(const std::string& sizePath, const std::string& name) { return httpGet(kImagePort, sizePath + name); }

std::string readWholeFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char chunk[65536];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read) bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

namespace {

enum class Entries { Folders, Files, HiddenFiles };

// The names of the folders ("." and ".." left out), of the files shown, or of the hidden files in
// a folder, sorted.
std::vector<std::wstring> entriesIn(const std::wstring& folder, Entries kind)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool hidden = (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0;
        const Entries entry = isFolder ? Entries::Folders : hidden ? Entries::HiddenFiles : Entries::Files;
        if (entry == kind && name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

std::vector<std::wstring> filesIn(const std::wstring& folder) { return entriesIn(folder, Entries::Files); }

std::vector<std::wstring> hiddenFilesIn(const std::wstring& folder) { return entriesIn(folder, Entries::HiddenFiles); }

std::vector<std::wstring> foldersIn(const std::wstring& folder) { return entriesIn(folder, Entries::Folders); }

int emulatorCount(const char* kind, const std::string& path)
{
    JsonDocument state;
    state.Parse(httpGet(kControlPort, "/state"), true);
    // Paths hold dots, so the values are read as the object's children, in the keys' order.
    std::vector<std::string> keys;
    std::vector<JsonDocument> values;
    state.GetKeys(kind, keys);
    state.GetChildren(kind, values);
    int count = 0;
    for (size_t i = 0; i < keys.size() && i < values.size(); ++i) {
        if (path.back() == '/' ? keys[i].rfind(path, 0) != 0 : keys[i] != path) continue;
        count += static_cast<int>(values[i].GetInteger());
    }
    return count;
}

bool blockFolder(const std::wstring& path)
{
    HANDLE blocker = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (blocker == INVALID_HANDLE_VALUE) return false;
    CloseHandle(blocker);
    return true;
}

std::wstring homepageAddress(const std::string& ownerId, const std::wstring& query)
{
    return L"http://127.0.0.1:" + std::to_wstring(PICLADE_TEST_PORT_BASE) + L"/u/" + fromUtf8(ownerId) + L"?" + query;
}

bool isTemporaryPictureName(const std::wstring& name)
{
    const size_t tilde = name.rfind(L'~');
    if (tilde == std::wstring::npos || name.size() - tilde < 4) return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(tilde) + 1, name.end(),
                       [](wchar_t unit) { return (unit >= L'0' && unit <= L'9') || (unit >= L'a' && unit <= L'z'); });
}

bool noPartialFiles(const std::wstring& folder)
{
    const std::vector<std::wstring> names = filesIn(folder);
    return std::none_of(names.begin(), names.end(), isTemporaryPictureName);
}

std::wstring incompleteStatus(const std::wstring& reasons, int downloaded, int queued)
{
    return L"  状态:下载未完成," + reasons + L"当前已下载 " + std::to_wstring(downloaded) + L"张 共 " + std::to_wstring(queued) +
           L"张 请单击鼠标右键打开目录;";
}

void closeBrowser(HWND shown)
{
    DWORD browserId = 0;
    GetWindowThreadProcessId(shown, &browserId);
    HANDLE browser = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, browserId);
    PostMessageW(shown, WM_CLOSE, 0, 0);
    if (browser) {
        if (WaitForSingleObject(browser, 5000) != WAIT_OBJECT_0) TerminateProcess(browser, 0);
        CloseHandle(browser);
    }
}

bool isFinalStatus(const std::wstring& now)
{
    const std::wstring ending = L"请单击鼠标右键打开目录;";
    return now.size() >= ending.size() && now.compare(now.size() - ending.size(), ending.size(), ending) == 0;
}

std::wstring finishedStatus(int downloaded, int queued)
{
    return L"  状态:全部下载完成,当前已下载 " + std::to_wstring(downloaded) + L"张 共 " + std::to_wstring(queued) +
           L"张 请单击鼠标右键打开目录;";
}

ProgramSession::ProgramSession(const std::wstring& folderSuffix)
{
    static int runs = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"piclade-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++runs) +
              folderSuffix + L"\\";
    removeTree(folder_);
    CreateDirectoryW(folder_.c_str(), nullptr);
    CopyFileW(fromUtf8(PICLADE_EXE).c_str(), (folder_ + L"Piclade.exe").c_str(), FALSE);
    control("/reset");
}

ProgramSession::~ProgramSession()
{
    DWORD exitCode = 0;
    if (pilot_.process().running()) {
        if (!pilot_.close(10000, &exitCode)) TerminateProcess(pilot_.process().handle(), 1);
    } else {
        pilot_.process().waitExit(0, &exitCode);
    }
    // The test build's program ends itself with 3 when a thread uses a window's properties off the
    // window's thread, whatever the test was looking at then.
    EXPECT_NE(exitCode, 3u) << "Piclade.exe used a window's properties off the window's thread";
    control("/reset");
    removeTree(folder_);
}

bool ProgramSession::start(bool signIn)
{
    if (!pilot_.launch(folder_ + L"Piclade.exe")) return false;
    return !signIn || pilot_.waitStatusIs(kSignedIn, 30000);
}

bool ProgramSession::restart(bool kill)
{
    DWORD exitCode = 0;
    if (kill ? !pilot_.kill() : !pilot_.close(20000, &exitCode)) return false;
    return start();
}

bool ProgramSession::analyse(const std::string& ownerId)
{
    return pilot_.showPage(1) && pilot_.typeHomepage(homepageAddress(ownerId)) && pilot_.pressButton(L"分析") &&
           pilot_.waitStatusIs(kListed, 30000);
}

bool ProgramSession::download(int album, DWORD ms)
{
    if (!pilot_.albumMenu(album, L"下载选中")) return false;
    // The job has begun once the buttons are disabled (a job with nothing to fetch may already be
    // over); it is done when they are enabled again with the final status.
    pilot_.waitUntil([&] { return !pilot_.buttonEnabled(L"分析"); }, 2000);
    return pilot_.waitUntil([&] { return pilot_.buttonEnabled(L"分析") && pilot_.status().rfind(kFinishedPrefix, 0) == 0; }, ms);
}

bool ProgramSession::downloadToEnd(int album, DWORD ms, std::vector<std::wstring>* seen)
{
    if (!pilot_.albumMenu(album, L"下载选中")) return false;
    pilot_.waitUntil([&] { return !pilot_.buttonEnabled(L"分析"); }, 2000);
    return pilot_.waitStatus([&](const std::wstring& now) { return isFinalStatus(now) && pilot_.buttonEnabled(L"分析"); }, ms, seen);
}

bool ProgramSession::downloadAnsweringBoxes(int album, DWORD ms, std::vector<MessageBoxSeen>* boxes)
{
    if (!pilot_.albumMenu(album, L"下载选中")) return false;
    pilot_.waitUntil([&] { return !pilot_.buttonEnabled(L"分析"); }, 2000);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MessageBoxSeen box;
        if (pilot_.answerMessageBox(&box, 300)) {
            boxes->push_back(box);
            continue;
        }
        if (isFinalStatus(pilot_.status()) && pilot_.buttonEnabled(L"分析")) return true;
    }
    return false;
}

::testing::AssertionResult ProgramSession::picturesIntact(const std::wstring& albumFolder, const std::string& sizePath, size_t expected) const
{
    // The true bytes come from a service without faults.
    control("/reset");
    const std::vector<std::wstring> names = filesIn(albumFolder);
    if (names.size() != expected)
        return ::testing::AssertionFailure() << names.size() << " files in the album folder, expected " << expected;
    for (const std::wstring& name : names) {
        // The image host's name of the picture follows the last "-".
        const std::string picName = utf8(name.substr(name.rfind(L'-') + 1));
        const std::string wanted = pictureBytes(sizePath, picName);
        if (wanted.empty() || readWholeFile(albumFolder + name) != wanted)
            return ::testing::AssertionFailure() << utf8(name) << " differs from " << sizePath << picName;
    }
    return ::testing::AssertionSuccess();
}

int downloadedIn(const std::wstring& status)
{
    const std::wstring marker = L"当前下载进度 ";
    const size_t at = status.find(marker);
    if (at == std::wstring::npos || at + marker.size() >= status.size() || !iswdigit(status[at + marker.size()])) return -1;
    return static_cast<int>(std::wcstol(status.c_str() + at + marker.size(), nullptr, 10));
}
