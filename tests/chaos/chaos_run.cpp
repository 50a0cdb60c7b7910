// The chaos run: for each seed the real Piclade.exe against the emulator in chaos mode, whose
// faults and hostile names all follow from the seed. It signs in, analyses the chaos owner's
// homepage, downloads every listed album in turn and closes the program, then checks what the
// program promises, never its exact texts: nothing made outside the save folder and no unsafe
// name, every picture file holding its picture's true bytes, each final line's count matching the
// files and "全部下载完成" only where the emulator's record shows everything came whole, no session
// cookie for the stranger host, a window that keeps answering, a clean exit and no heap report.
// On one album per seed it also chooses "暂停下载" and checks that nothing is asked for while the
// download is held; with "--with expire_session" the emulator may let the session lapse, and the
// download must go on after the new sign-in (the code confirms itself) with every promise kept.
//
//   chaos_run [--level ci|full] [--require-coverage] [--keep] [--without FAULTS] [--plain FIELDS] [--with FAULTS]
//             [--seeds-file FILE] SEED|FIRST-LAST ...
//
// One line per seed ("RESULT seed=… outcome=… seconds=…"), its failures below it, a coverage
// table per seed and summed; exit code 1 when any seed failed (or, with --require-coverage, when a
// fault class or hostile class got nothing in all).
#include "tests/e2e/disk_names.h"
#include "tests/e2e/session.h"

#include "text/address_part.h"
#include "text/json_document.h"
#include "text/json_node.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <thread>

namespace {

const std::wstring kFinalEnding = L"请单击鼠标右键打开目录;";
const std::wstring kPaused = L"服务器限制了访问频率";
const std::wstring kHeld = L"  状态:下载已暂停,";
const std::wstring kLapsed = L"  状态:登录已失效,";
constexpr long kSlowestAnswerMs = 2000;  // the window never goes longer without answering
constexpr DWORD kCloseMs = 5000;

struct Options {
    std::string level = "full";
    bool requireCoverage = false;
    bool keep = false;  // a failed seed's save folder is kept (renamed "…-kept")
    // For narrowing a failure down: faults left out ("html", "html@picture") and fields whose values
    // are made plain ("pic_name"), comma-separated; everything else stays as the seed has it.
    std::string without, plain;
    std::string with;  // faults that are off unless asked for ("expire_session")
    std::vector<long> seeds;
};

// -- small helpers --------------------------------------------------------------------------------

// A text for a report line: control characters written out, a long one cut in the middle (a
// name's end says as much as its start).
std::string shown(const std::wstring& text, size_t most = 160)
{
    std::wstring out;
    for (const wchar_t unit : text) {
        if (unit < 0x20 || unit == 0x7f) {
            wchar_t escaped[8];
            swprintf(escaped, 8, L"\\x%02x", static_cast<unsigned>(unit));
            out += escaped;
        } else {
            out += unit;
        }
    }
    if (out.size() > most) out = out.substr(0, most / 3) + L"…(" + std::to_wstring(out.size()) + L")…" + out.substr(out.size() - most / 2);
    return utf8(out);
}

std::string shortened(const std::string& text, size_t most = 160) { return shown(fromUtf8(text), most); }

void say(const std::string& line)
{
    fwrite(line.data(), 1, line.size(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

const char* const kUsage =
    "usage: chaos_run [--level ci|full] [--require-coverage] [--keep] [--without FAULTS] [--plain FIELDS] [--with FAULTS] "
    "[--seeds-file FILE] SEED|FIRST-LAST ...";

double secondsSince(ULONGLONG start) { return static_cast<double>(GetTickCount64() - start) / 1000.0; }

// -- the emulator's record of the chaos owner's requests -------------------------------------------

struct Answer {
    std::string service, kind, key, size, fault, target, unresolved;
    int album = -1, page = 0, hop = 0;
    long targetLength = 0;
    bool resolved = false, whole = false, done = false, retryAfter = false;
    bool exact = true;  // a picture asked for by the very name its list gave
    std::vector<std::string> listed;  // the photos a whole photo-list answer listed, by key
};

bool readRecord(size_t since, std::vector<Answer>* answers, size_t* total)
{
    JsonDocument record;
    if (!record.Parse(httpGet(kControlPort, "/chaos/record?since=" + std::to_string(since)), true) || !record.GetBool("ok"))
        return false;
    *total = static_cast<size_t>(record.GetInteger("total"));
    std::vector<JsonDocument> entries;
    record.GetChildren("entries", entries);
    for (JsonDocument& entry : entries) {
        Answer answer;
        answer.service = entry.GetText("service");
        answer.kind = entry.GetText("kind");
        answer.key = entry.GetText("key");
        answer.size = entry.GetText("size");
        answer.fault = entry.GetText("fault");
        answer.target = utf8(entry.GetTextW(L"target"));
        answer.targetLength = static_cast<long>(entry.GetInteger("target_length"));
        answer.unresolved = entry.GetText("unresolved");
        answer.album = static_cast<int>(entry.GetInteger("album"));
        answer.page = static_cast<int>(entry.GetInteger("page"));
        answer.hop = static_cast<int>(entry.GetInteger("hop"));
        answer.resolved = entry.GetBool("resolved");
        answer.whole = entry.GetBool("whole");
        answer.done = entry.GetBool("done");
        answer.retryAfter = entry.GetType("retry_after") == static_cast<int>(JsonKind::Integer);
        answer.exact = !entry.Exists("exact") || entry.GetBool("exact");
        for (int i = 0, count = entry.GetCount("listed"); i < count; ++i)
            answer.listed.push_back(entry.GetText("listed.[" + std::to_string(i) + "]"));
        answers->push_back(answer);
    }
    return true;
}

size_t recordTotal()
{
    std::vector<Answer> ignored;
    size_t total = 0;
    // Only the count is wanted: ask from far past the end.
    readRecord(1u << 30, &ignored, &total);
    return total;
}

// -- coverage -------------------------------------------------------------------------------------

// Answers per fault class and kind of request, and hostile values per class, in the emulator's
// order (the order of first appearance is kept).
struct Coverage {
    std::vector<std::string> faultRows, kinds, valueRows;
    std::map<std::string, std::map<std::string, long>> faults;
    std::map<std::string, long> values;

    void add(const Coverage& other)
    {
        for (const std::string& row : other.faultRows)
            if (std::find(faultRows.begin(), faultRows.end(), row) == faultRows.end()) faultRows.push_back(row);
        for (const std::string& kind : other.kinds)
            if (std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) kinds.push_back(kind);
        for (const std::string& row : other.valueRows)
            if (std::find(valueRows.begin(), valueRows.end(), row) == valueRows.end()) valueRows.push_back(row);
        for (const auto& [row, byKind] : other.faults)
            for (const auto& [kind, count] : byKind) faults[row][kind] += count;
        for (const auto& [row, count] : other.values) values[row] += count;
    }

    long faultTotal(const std::string& row) const
    {
        long sum = 0;
        const auto found = faults.find(row);
        if (found != faults.end())
            for (const auto& [kind, count] : found->second) sum += count;
        return sum;
    }

    std::string table(const std::string& title) const
    {
        std::ostringstream out;
        char line[256];
        out << title << "\n";
        snprintf(line, sizeof line, "  %-26s", "fault");
        out << line;
        for (const std::string& kind : kinds) {
            snprintf(line, sizeof line, " %10s", kind.c_str());
            out << line;
        }
        out << "      total\n";
        for (const std::string& row : faultRows) {
            snprintf(line, sizeof line, "  %-26s", row.c_str());
            out << line;
            const auto found = faults.find(row);
            for (const std::string& kind : kinds) {
                const long count = found == faults.end() || !found->second.count(kind) ? 0 : found->second.at(kind);
                snprintf(line, sizeof line, " %10ld", count);
                out << line;
            }
            snprintf(line, sizeof line, " %10ld\n", faultTotal(row));
            out << line;
        }
        snprintf(line, sizeof line, "  %-26s %10s\n", "hostile value", "values");
        out << line;
        for (const std::string& row : valueRows) {
            snprintf(line, sizeof line, "  %-26s %10ld\n", row.c_str(), values.count(row) ? values.at(row) : 0);
            out << line;
        }
        return out.str();
    }

    // One line a script can sum: "COVERAGE fault|kind|count ... value|class|count ...".
    std::string machineLine() const
    {
        std::string line = "COVERAGE";
        for (const std::string& row : faultRows)
            for (const std::string& kind : kinds) {
                const auto found = faults.find(row);
                const long count = found == faults.end() || !found->second.count(kind) ? 0 : found->second.at(kind);
                line += "\tfault|" + row + "|" + kind + "|" + std::to_string(count);
            }
        for (const std::string& row : valueRows) line += "\tvalue|" + row + "|" + std::to_string(values.count(row) ? values.at(row) : 0);
        return line;
    }
};

bool readCoverage(Coverage* coverage)
{
    JsonDocument answer;
    if (!answer.Parse(httpGet(kControlPort, "/chaos/coverage"), true) || !answer.GetBool("ok")) return false;
    for (int k = 0, count = answer.GetCount("coverage.kinds"); k < count; ++k)
        coverage->kinds.push_back(answer.GetText("coverage.kinds.[" + std::to_string(k) + "]"));
    for (int i = 0, count = answer.GetCount("coverage.faults"); i < count; ++i) {
        const std::string row = "coverage.faults.[" + std::to_string(i) + "].";
        const std::string name = answer.GetText(row + "name");
        coverage->faultRows.push_back(name);
        for (size_t k = 0; k < coverage->kinds.size(); ++k)
            coverage->faults[name][coverage->kinds[k]] = static_cast<long>(answer.GetInteger(row + "counts.[" + std::to_string(k) + "]"));
    }
    for (int i = 0, count = answer.GetCount("coverage.values"); i < count; ++i) {
        const std::string row = "coverage.values.[" + std::to_string(i) + "].";
        const std::string name = answer.GetText(row + "name");
        coverage->valueRows.push_back(name);
        coverage->values[name] = static_cast<long>(answer.GetInteger(row + "count"));
    }
    return true;
}

// -- the file system ------------------------------------------------------------------------------

struct Node {
    std::wstring path;  // as found, full
    bool folder = false;
    ULONGLONG size = 0;
    ULONGLONG written = 0;
};
// By full path as found: under Wine two names that differ only in case can both exist, and both count.
using Snapshot = std::map<std::wstring, Node>;

// Everything below `root` (never below `skip`), at most `budget` entries, 40 levels deep.
void walk(const std::wstring& root, const std::wstring& skip, Snapshot* into, size_t budget, int depth = 0)
{
    if (depth > 40 || into->size() >= budget) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((root + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> folders;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = root + name;
        const bool folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!skip.empty() && lowered(path + L"\\") == lowered(skip)) continue;
        Node node{path, folder, (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow,
                  (static_cast<ULONGLONG>(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime};
        (*into)[path] = node;
        // Reparse points are not followed: a link must not take the walk elsewhere.
        if (folder && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) folders.push_back(path + L"\\");
    } while (into->size() < budget && FindNextFileW(search, &found));
    FindClose(search);
    for (const std::wstring& next : folders) walk(next, skip, into, budget, depth + 1);
}

// The folder `levels` above `folder` ("C:\a\b\c\" two above: "C:\a\").
std::wstring folderAbove(std::wstring folder, int levels)
{
    for (int level = 0; level < levels; ++level) {
        if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
        const size_t cut = folder.rfind(L'\\');
        if (cut == std::wstring::npos) break;
        folder.resize(cut + 1);
    }
    return folder;
}

std::wstring nameOf(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }
std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\') + 1); }

// What is wrong with a name the program made ("device", "dot-or-blank", "executable", "control",
// "forbidden", "empty"), or empty.
std::string unsafeName(const std::wstring& name)
{
    if (name.empty()) return "empty";
    if (isDeviceName(name)) return "device";
    if (name.back() == L'.' || name.back() == L' ') return "dot-or-blank";
    if (hasProgramEnding(name)) return "executable";
    for (const wchar_t unit : name) {
        if (unit < 0x20) return "control";  // DEL is allowed in Windows names
        if (wcschr(L"\\/:*?\"<>|", unit)) return "forbidden";
    }
    return {};
}

// Wine keeps a name to 255 bytes of UTF-8 on a Linux disk, cutting it without a word (the program
// keeps names to 240 UTF-16 units, as Windows disks take): such a name has lost its end.
bool cutByWine(const std::wstring& name) { return utf8(name).size() >= 250; }

// -- one seed -------------------------------------------------------------------------------------

struct SeedRun {
    long seed = 0;
    std::string level;
    std::vector<std::string> failures;
    std::vector<std::string> notes;
    Coverage coverage;
    double seconds = 0;
    int boxes = 0;
    int albums = 0;
    int holds = 0;   // downloads held by "暂停下载" and let go
    int lapses = 0;  // downloads that waited for a new sign-in
    long pictures = 0;

    // A failure under a short tag that names what broke ("bytes", "whole", "name-…"), for the sums.
    void fail(const std::string& tag, const std::string& what) { failures.push_back("[" + tag + "] " + what); }
};

// The program, started with its own output and error output in a file of ours (outside the
// sandbox), so that anything it reports there is seen.
class Program {
public:
    Program(ProgramSession& session, const std::wstring& errorFile) : session_(session), errorFile_(errorFile) {}
    ~Program()
    {
        if (process_) {
            if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) TerminateProcess(process_, 1);
            CloseHandle(process_);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool start(std::string* why)
    {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE output = CreateFileW(errorFile_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, 0, nullptr);
        HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input;
        startup.hStdOutput = output;
        startup.hStdError = output;
        const std::wstring exe = session_.folder() + L"Piclade.exe";
        std::wstring line = L"\"" + exe + L"\"";
        PROCESS_INFORMATION started{};
        const BOOL ok = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, session_.folder().c_str(), &startup, &started);
        if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
        if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
        if (!ok) {
            *why = "the program did not start (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        CloseHandle(started.hThread);
        process_ = started.hProcess;
        id_ = started.dwProcessId;
        WaitForInputIdle(process_, 10000);
        if (!session_.pilot().attach(20000)) {
            *why = "no main window";
            return false;
        }
        DWORD owner = 0;
        GetWindowThreadProcessId(session_.pilot().mainWindow(), &owner);
        if (owner != id_) {
            *why = "the window found belongs to another Piclade (process " + std::to_string(owner) + ")";
            return false;
        }
        return true;
    }

    HANDLE handle() const { return process_; }
    // What the program wrote to its output and error output; the file goes once read.
    std::string takeErrorOutput() const
    {
        const std::string text = readWholeFile(errorFile_);
        DeleteFileW(errorFile_.c_str());
        return text;
    }

private:
    ProgramSession& session_;
    std::wstring errorFile_;
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// Asks the window every quarter second how long it takes to answer; the slowest is kept.
class ResponseWatch {
public:
    explicit ResponseWatch(const Pilot& pilot)
        : thread_([this, &pilot] {
              for (int round = 0; round < 40 * 60 * 4 && !stop_; ++round) {
                  const long ms = pilot.responseTime(2 * kSlowestAnswerMs);
                  const long taken = ms < 0 ? 2 * kSlowestAnswerMs : ms;
                  if (taken > slowest_) slowest_ = taken;
                  Sleep(250);
              }
          })
    {
    }
    ~ResponseWatch() { finish(); }
    ResponseWatch(const ResponseWatch&) = delete;
    ResponseWatch& operator=(const ResponseWatch&) = delete;

    long finish()
    {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return slowest_;
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<long> slowest_{0};
    std::thread thread_;
};

class ChaosSeed {
public:
    ChaosSeed(long seed, const Options& options) : level_(options.level), keep_(options.keep), options_(options)
    {
        run_.seed = seed, run_.level = options.level;
    }

    SeedRun go()
    {
        const ULONGLONG start = GetTickCount64();
        {
            ProgramSession session;  // a fresh folder, the emulator reset
            execute(session);
            control("/reset");
            if (keep_ && !run_.failures.empty()) {
                // Out of the session's reach: it removes only its own folder.
                const std::wstring from = folder_.substr(0, folder_.size() - 1), to = from + L"-kept";
                if (MoveFileW(from.c_str(), to.c_str())) run_.notes.push_back("kept in " + shown(to));
            }
        }
        run_.seconds = secondsSince(start);
        return run_;
    }

private:
    void execute(ProgramSession& session)
    {
        // A quick sign-in: the code is scanned and confirmed after a poll or two.
        if (!control("/qr_settings?scan_after=1&confirm_after=2")) return run_.fail("driver", "the emulator does not answer");
        JsonDocument plan;
        const std::string asked = "/chaos?seed=" + std::to_string(run_.seed) + "&level=" + level_ + "&without=" +
                                  addressPart(options_.without) + "&plain=" + addressPart(options_.plain) +
                                  (options_.with.empty() ? std::string() : "&with=" + addressPart(options_.with));
        if (!plan.Parse(httpGet(kControlPort, asked), true) || !plan.GetBool("ok"))
            return run_.fail("driver", "the emulator refused chaos mode: " + plan.GetText("error"));
        plannedAlbums_ = static_cast<int>(plan.GetInteger("plan.albums"));
        for (int i = 0, count = plan.GetCount("plan.sizes"); i < count; ++i) sizes_.push_back(plan.GetText("plan.sizes.[" + std::to_string(i) + "]"));

        folder_ = session.folder();
        sandbox_ = folderAbove(folder_, 3);
        const std::wstring drive = folder_.substr(0, 3);
        Snapshot before, rootBefore;
        walk(sandbox_, folder_, &before, 200000);
        walk(drive, {}, &rootBefore, 5000, 40);  // the drive's top level only

        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        Program program(session, folderOf(self) + L"chaos-output-" + std::to_wstring(GetCurrentProcessId()) + L".txt");
        std::string why;
        if (!program.start(&why)) return run_.fail("start", why);
        Pilot& pilot = session.pilot();
        {
            ResponseWatch watch(pilot);
            if (pilot.waitStatusIs(kSignedIn, 30000)) {
                const std::wstring saveFolder = pilot.saveFolder();
                if (lowered(saveFolder) != lowered(folder_)) run_.notes.push_back("save folder " + shown(saveFolder));
                if (analyse(pilot)) downloadEach(session);
            } else {
                run_.fail("sign-in", "not signed in after 30 s: " + shown(pilot.status()));
            }
            const long slowest = watch.finish();
            if (slowest > kSlowestAnswerMs) run_.fail("window", "the window went " + std::to_string(slowest) + " ms without answering");
        }

        // Closing ends the program soon, and well.
        DWORD exitCode = 0;
        if (!pilot.close(kCloseMs, &exitCode)) {
            run_.fail("close", "still running " + std::to_string(kCloseMs / 1000) + " s after its window was closed");
            if (WaitForSingleObject(program.handle(), 10000) != WAIT_OBJECT_0) TerminateProcess(program.handle(), 1);
        } else if (exitCode != 0) {
            run_.fail("exit", "exit code " + std::to_string(exitCode) + (exitCode == 3 ? " (a thread check)" : ""));
        }
        std::istringstream errors(program.takeErrorOutput());
        for (std::string line; std::getline(errors, line);)
            if (!line.empty() && line != "\r") run_.fail("stderr", "the program's error output: " + shortened(line, 300));

        checkCookies();
        checkFiles(before, rootBefore, drive);
        readCoverage(&run_.coverage);
        if (!run_.failures.empty()) listFolder();
    }

    // What the save folder holds, for the report of a failed seed.
    void listFolder()
    {
        Snapshot inside;
        walk(folder_, {}, &inside, 100000);
        int shownEntries = 0;
        for (const auto& [id, node] : inside) {
            if (++shownEntries > 80) {
                run_.notes.push_back("(" + std::to_string(inside.size() - 80) + " more)");
                break;
            }
            run_.notes.push_back("holds " + shown(node.path.substr(folder_.size()), 220) +
                                 (node.folder ? "\\" : " " + std::to_string(node.size) + " bytes"));
        }
    }

    // Analyses the chaos owner's homepage until albums are listed, at most five times: a homepage
    // that fails leaves the analysis without a word, as its user would see, and is tried again.
    bool analyse(Pilot& pilot)
    {
        if (!pilot.showPage(1) || !pilot.typeHomepage(homepageAddress("3000000000"))) {
            run_.fail("driver", "could not type the homepage");
            return false;
        }
        const DWORD patience = level_ == "ci" ? 150000 : 900000;
        for (int attempt = 1; attempt <= 5; ++attempt) {
            const size_t cursor = recordTotal();
            if (!pilot.pressButton(L"分析")) {
                run_.fail("driver", "could not press 分析: " + shown(pilot.status()));
                return false;
            }
            const ULONGLONG start = GetTickCount64();
            ULONGLONG quietSince = start;
            size_t lastTotal = cursor, lastDone = 0;
            bool listed = false;
            while (GetTickCount64() - start < patience) {
                Sleep(100);
                const std::wstring now = pilot.status();
                if (now == kListed && pilot.buttonEnabled(L"分析")) {
                    listed = true;
                    break;
                }
                std::vector<Answer> answers;
                size_t total = 0;
                readRecord(cursor, &answers, &total);
                const size_t done = static_cast<size_t>(std::count_if(answers.begin(), answers.end(), [](const Answer& a) { return a.done; }));
                if (total != lastTotal || done != lastDone || now.find(kPaused) != std::wstring::npos) {
                    lastTotal = total, lastDone = done;
                    quietSince = GetTickCount64();
                }
                // Nothing on its way and nothing new for 4 s: this analysis has given up.
                if (done == answers.size() && GetTickCount64() - quietSince > 4000) break;
            }
            // The owner's id goes back to the service as the homepage gave it.
            std::vector<Answer> answers;
            size_t total = 0;
            readRecord(cursor, &answers, &total);
            for (const Answer& answer : answers) {
                if (answer.kind != "album_list" || answer.resolved || ownerFailed_) continue;
                ownerFailed_ = true;
                run_.fail("list-id", "an album list the service could not answer (" + answer.unresolved + "): " + shortened(answer.target));
            }
            const int rows = pilot.albumCount();
            if (listed && (rows > 0 || plannedAlbums_ == 0)) {
                run_.albums = rows;
                if (attempt > 1) run_.notes.push_back("listed at analysis " + std::to_string(attempt));
                return true;
            }
            if (ownerFailed_) break;  // the same id would go again
        }
        run_.notes.push_back("no album listed: " + shown(pilot.status()));
        return false;
    }

    static const wchar_t* sizeCommand(const std::string& size)
    {
        if (size == "/large/") return L"原图";
        if (size == "/mw690/") return L"标清";
        if (size == "/small/") return L"缩略";
        return L"高清";
    }

    const std::string& reference(const std::string& size, const std::string& key)
    {
        const std::string id = size + key;
        auto found = references_.find(id);
        if (found == references_.end())
            found = references_.emplace(id, httpGet(kControlPort, "/chaos/reference?size=" + addressPart(size) + "&key=" + addressPart(key))).first;
        return found->second;
    }

    // Final picture files below the save folder (the program's own copy left out).
    Snapshot finalFiles() const
    {
        Snapshot all, files;
        walk(folder_, {}, &all, 100000);
        // Pictures' names begin with their time; the albums' records and journals with ".".
        for (const auto& [key, node] : all)
            if (!node.folder && !isTemporaryPictureName(nameOf(node.path)) && nameOf(node.path)[0] != L'.' &&
                lowered(node.path) != lowered(folder_ + L"Piclade.exe"))
                files[key] = node;
        return files;
    }

    void downloadEach(ProgramSession& session)
    {
        Pilot& pilot = session.pilot();
        const DWORD patience = level_ == "ci" ? 240000 : 1500000;
        for (int row = 0; row < run_.albums; ++row) {
            const std::string size = row < static_cast<int>(sizes_.size()) ? sizes_[static_cast<size_t>(row)] : "/mw1024/";
            const Snapshot before = finalFiles();
            const size_t cursor = recordTotal();
            const std::wstring lineBefore = pilot.status();
            // Under way once the buttons are off, a list was asked for or the line changed. A click
            // can miss a row (one with a caption of 10 kB is drawn tall), so the row is chosen first
            // and the menu tried again when nothing moved.
            const auto underWay = [&] {
                size_t total = 0;
                std::vector<Answer> ignored;
                return !pilot.buttonEnabled(L"分析") || pilot.status() != lineBefore || (readRecord(1u << 30, &ignored, &total), total > cursor);
            };
            bool started = false;
            for (int attempt = 0; attempt < 3 && !started; ++attempt) {
                pilot.selectAlbum(row);
                started = pilot.albumMenu(row, sizeCommand(size)) && pilot.albumMenu(row, L"下载选中") && pilot.waitUntil(underWay, 3000);
            }
            if (!started) {
                run_.fail("driver", "row " + std::to_string(row) + ": the download did not start: " + shown(pilot.status()));
                return;
            }
            const ULONGLONG start = GetTickCount64();
            bool ended = false;
            bool lapsed = false;
            // One album per seed is held once its first picture landed.
            bool hold = row == static_cast<int>(run_.seed % std::max(run_.albums, 1));
            while (GetTickCount64() - start < patience) {
                const std::wstring now = pilot.status();
                if (!lapsed && now.rfind(kLapsed, 0) == 0) {
                    lapsed = true;
                    ++run_.lapses;
                }
                if (hold && downloadedIn(now) > 0) {
                    hold = false;
                    holdAndLetGo(pilot, row);
                }
                MessageBoxSeen box;
                if (pilot.answerMessageBox(&box, 200)) {
                    ++run_.boxes;
                    run_.notes.push_back("row " + std::to_string(row) + " box " + shown(box.caption, 60) + ": " + shown(box.text, 120));
                    continue;
                }
                if (endsWith(pilot.status(), kFinalEnding) && pilot.buttonEnabled(L"分析")) {
                    ended = true;
                    break;
                }
            }
            if (!ended) {
                run_.fail("final-line", "row " + std::to_string(row) + ": no final line after " + std::to_string(patience / 1000) + " s: " + shown(pilot.status()));
                return;
            }
            checkAlbum(row, size, pilot.status(), before, cursor);
        }
    }

    // "暂停下载": from a second after it, no picture or list request for two seconds, and the line
    // says the download is held; then "继续下载". A download that ended first is left alone.
    void holdAndLetGo(Pilot& pilot, int row)
    {
        const std::string where = "row " + std::to_string(row) + " held: ";
        if (!pilot.albumMenu(row, L"暂停下载")) return run_.notes.push_back(where + "the menu did not open");
        if (!pilot.waitStatus([](const std::wstring& now) { return now.rfind(kHeld, 0) == 0 || endsWith(now, kFinalEnding); }, 3000))
            return run_.fail("hold", where + "no held line: " + shown(pilot.status()));
        if (pilot.status().rfind(kHeld, 0) != 0) return;  // ended before it could be held
        const double heldAt = emulatorNow();
        Sleep(3000);
        // Pictures already on their way land while held; when they were the album's last, the
        // download ends and its final line follows.
        const std::wstring line = pilot.status();
        const bool stillHeld = line.rfind(kHeld, 0) == 0 || endsWith(line, kFinalEnding);
        for (const LoggedRequest& request : requestLog()) {
            const bool ofTheJob = request.kind == "picture" || request.kind == "photo_list";
            if (ofTheJob && request.time >= heldAt + 1 && request.time <= heldAt + 3)
                run_.fail("hold", where + "asked for " + shortened(request.path) + " " + std::to_string(request.time - heldAt) + " s after");
        }
        if (!stillHeld) run_.fail("hold", where + "the line moved on while held: " + shown(line));
        if (endsWith(line, kFinalEnding)) return;
        if (!pilot.albumMenu(row, L"继续下载")) return run_.fail("hold", where + "could not choose 继续下载");
        ++run_.holds;
    }

    // One album's final line against its files and the emulator's record.
    void checkAlbum(int row, const std::string& size, const std::wstring& line, const Snapshot& before, size_t cursor)
    {
        const std::string where = "row " + std::to_string(row) + " (" + size + "): ";
        std::vector<Answer> answers;
        size_t total = 0;
        readRecord(cursor, &answers, &total);
        const auto [saved, queued] = finalLineCounts(line);
        if (saved < 0 || queued < 0) return run_.fail("final-line", where + "a final line without counts: " + shown(line));
        run_.pictures += saved;

        std::set<int> albums;
        std::set<std::string> keys;             // every photo this download met
        std::set<std::string> listedKeys;       // those listed by a whole photo-list answer
        std::map<int, bool> pages;              // photo-list page -> came whole at least once
        std::set<std::string> wholePictures;    // keys answered whole in the size asked for
        std::map<std::string, std::vector<std::string>> faultsByKey;
        for (const Answer& answer : answers) {
            if (answer.kind == "photo_list") {
                if (!answer.resolved) {
                    run_.fail("list-id", where + "a photo list the service could not answer (" + answer.unresolved + "): " +
                                             shortened(answer.target) + " (" + std::to_string(answer.targetLength) + " characters)");
                    continue;
                }
                albums.insert(answer.album);
                pages[answer.page] = pages[answer.page] || answer.whole;
                for (const std::string& key : answer.listed) listedKeys.insert(key), keys.insert(key);
            } else if (answer.kind == "picture") {
                if (!answer.resolved) {
                    run_.notes.push_back(where + "a picture address that names no photo: " + shortened(answer.target));
                    continue;
                }
                keys.insert(answer.key);
                if (!answer.exact)
                    run_.fail("picture-address", where + "the picture " + answer.key + " was asked for under a name its list never gave: " +
                                                     shortened(answer.target));
                if (!answer.fault.empty()) faultsByKey[answer.key].push_back(answer.fault);
                if (answer.whole && answer.size == size) wholePictures.insert(answer.key);
            }
        }
        if (albums.size() > 1) run_.fail("list-id", where + "one download asked for the lists of " + std::to_string(albums.size()) + " albums");

        // The files this download made or changed, each matched to its picture by its bytes.
        const Snapshot after = finalFiles();
        std::map<std::string, std::vector<std::wstring>> filesByKey;
        long matched = 0;
        int cut = 0;
        std::set<std::wstring> folders;
        for (const auto& [id, node] : after) {
            const auto old = before.find(id);
            if (old != before.end() && old->second.size == node.size && old->second.written == node.written) continue;
            const std::string bytes = readWholeFile(node.path);
            std::string owner;
            for (const std::string& key : keys)
                if (!bytes.empty() && reference(size, key) == bytes) owner = key;
            if (owner.empty()) {
                std::string other;
                for (const std::string& key : keys)
                    for (const char* anySize : {"/large/", "/mw1024/", "/mw690/", "/small/"})
                        if (!bytes.empty() && reference(anySize, key) == bytes) other = std::string(anySize) + key;
                run_.fail("bytes", where + shown(node.path.substr(folder_.size())) + " (" + std::to_string(bytes.size()) + " bytes) holds " +
                          (other.empty() ? "no picture of this album" : "the picture " + other + ", not the size asked for") +
                          (bytes.size() < 200 ? ": " + shortened(bytes, 120) : ""));
                continue;
            }
            ++matched;
            filesByKey[owner].push_back(node.path);
            folders.insert(lowered(folderOf(node.path)));
            if (cutByWine(nameOf(node.path))) ++cut;
        }
        for (const auto& [key, paths] : filesByKey)
            if (paths.size() > 1) run_.fail("duplicate", where + "the picture " + key + " is saved " + std::to_string(paths.size()) + " times");
        if (folders.size() > 1) run_.fail("folders", where + "its pictures went to " + std::to_string(folders.size()) + " folders");
        // Names that Wine cut to 255 bytes may have met on the disk: then the line may count more.
        if (saved != matched && !(cut && saved > matched))
            run_.fail("count", where + "the line says " + std::to_string(saved) + " saved, " + std::to_string(matched) + " picture files came: " + shown(line));
        if (cut) run_.notes.push_back(where + std::to_string(cut) + " file names cut to 255 bytes by Wine");

        if (line.rfind(kFinishedPrefix, 0) != 0) return;
        // "全部下载完成": every page came, and every photo listed was answered whole in this size.
        if (saved != queued) run_.fail("whole-count", where + "whole, but " + std::to_string(saved) + " of " + std::to_string(queued));
        for (const auto& [page, whole] : pages)
            if (!whole) run_.fail("whole-page", where + "全部下载完成, but page " + std::to_string(page) + " of the photo list never came whole");
        std::string missing;
        int missed = 0;
        for (const std::string& key : listedKeys) {
            if (wholePictures.count(key)) continue;
            if (++missed > 6) continue;
            std::string faults;
            for (const std::string& fault : faultsByKey[key]) faults += (faults.empty() ? "" : " ") + fault;
            missing += " " + key + " (" + (faults.empty() ? std::string("never asked for") : faults) + ")";
        }
        if (missed)
            run_.fail("whole-photo", where + "全部下载完成, but " + std::to_string(missed) + " listed photos were never answered whole:" + missing +
                                         (missed > 6 ? " …" : ""));
        if (!pages.empty() && queued != static_cast<long>(listedKeys.size()))
            run_.fail("whole-queued", where + "全部下载完成 of " + std::to_string(queued) + " pictures, but the lists named " + std::to_string(listedKeys.size()) +
                                          ": " + shown(line));
    }

    // The stranger host never sees the session.
    void checkCookies()
    {
        int stranger = 0;
        for (const LoggedRequest& request : requestLog()) {
            if (request.service != "stranger") continue;
            ++stranger;
            if (request.hasCookie) run_.fail("cookie", "the stranger got a Cookie header (" + shortened(request.cookie, 60) + ") with " + shortened(request.path));
        }
        if (stranger) run_.notes.push_back(std::to_string(stranger) + " requests reached the stranger");
    }

    void checkFiles(const Snapshot& before, const Snapshot& rootBefore, const std::wstring& drive)
    {
        // Nothing new beside the save folder, up to three levels above it, or at the drive's top.
        Snapshot after, rootAfter;
        walk(sandbox_, folder_, &after, 200000);
        walk(drive, {}, &rootAfter, 5000, 40);
        for (const auto& [id, node] : after)
            if (!before.count(id)) run_.fail("outside", "made outside the save folder: " + shown(node.path));
        for (const auto& [id, node] : rootAfter)
            if (!rootBefore.count(id)) run_.fail("outside", "made at the top of the drive: " + shown(node.path));

        // Below it: no unsafe name, and no picture left under a temporary name.
        Snapshot inside;
        walk(folder_, {}, &inside, 100000);
        for (const auto& [id, node] : inside) {
            const std::wstring name = nameOf(node.path);
            if (lowered(node.path) == lowered(folder_ + L"Piclade.exe")) continue;
            const std::string problem = unsafeName(name);
            if (!problem.empty() && !(problem == "dot-or-blank" && cutByWine(name))) run_.fail("name-" + problem, "the name " + shown(node.path.substr(folder_.size())) + " is unsafe (" + problem + ")");
            if (!node.folder && isTemporaryPictureName(name)) run_.fail("temporary", "left under a temporary name: " + shown(node.path.substr(folder_.size())));
        }
    }

    std::string level_;
    bool keep_ = false;
    const Options& options_;
    SeedRun run_;
    int plannedAlbums_ = 0;
    bool ownerFailed_ = false;
    std::vector<std::string> sizes_;
    std::wstring folder_, sandbox_;
    std::map<std::string, std::string> references_;
};

bool parseSeeds(const std::string& text, std::vector<long>* seeds)
{
    const size_t dash = text.find('-', 1);
    char* end = nullptr;
    const long first = strtol(text.c_str(), &end, 10);
    if (dash == std::string::npos) {
        if (*end) return false;
        seeds->push_back(first);
        return true;
    }
    const long last = strtol(text.c_str() + dash + 1, &end, 10);
    if (*end || last < first || last - first > 100000) return false;
    for (long seed = first; seed <= last; ++seed) seeds->push_back(seed);
    return true;
}

// The kept seeds: "SEED LEVEL NAME" a line, "#" comments; only those of this level are run.
bool readSeedsFile(const std::string& path, const std::string& level, std::vector<long>* seeds)
{
    std::ifstream file(path);
    if (!file) return false;
    for (std::string line; std::getline(file, line);) {
        std::istringstream fields(line);
        std::string seed, seedLevel;
        if (!(fields >> seed) || seed[0] == '#' || !(fields >> seedLevel)) continue;
        if (seedLevel == level && !parseSeeds(seed, seeds)) return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--level" && i + 1 < argc) {
            options.level = argv[++i];
        } else if (argument == "--without" && i + 1 < argc) {
            options.without = argv[++i];
        } else if (argument == "--plain" && i + 1 < argc) {
            options.plain = argv[++i];
        } else if (argument == "--with" && i + 1 < argc) {
            options.with = argv[++i];
        } else if (argument == "--keep") {
            options.keep = true;
        } else if (argument == "--require-coverage") {
            options.requireCoverage = true;
        } else if (argument == "--seeds-file" && i + 1 < argc) {
            if (!readSeedsFile(argv[++i], options.level, &options.seeds)) {
                say("cannot read the seeds file " + std::string(argv[i]));
                return 2;
            }
        } else if (!parseSeeds(argument, &options.seeds)) {
            say(kUsage);
            return 2;
        }
    }
    if ((options.level != "ci" && options.level != "full") || options.seeds.empty()) {
        say(kUsage);
        return 2;
    }
    // A seed named twice (on the command line and among the kept ones) runs once.
    std::vector<long> once;
    for (const long seed : options.seeds) {
        if (std::find(once.begin(), once.end(), seed) == once.end()) once.push_back(seed);
    }
    options.seeds = once;

    Coverage summed;
    int failed = 0;
    const ULONGLONG start = GetTickCount64();
    for (const long seed : options.seeds) {
        SeedRun run = ChaosSeed(seed, options).go();
        char line[200];
        snprintf(line, sizeof line, "RESULT seed=%ld level=%s outcome=%s seconds=%.1f albums=%d pictures=%ld boxes=%d holds=%d lapses=%d",
                 seed, options.level.c_str(), run.failures.empty() ? "ok" : "FAIL", run.seconds, run.albums, run.pictures, run.boxes,
                 run.holds, run.lapses);
        say(line);
        for (const std::string& failure : run.failures) say("  FAIL " + failure);
        for (const std::string& note : run.notes) say("  note " + note);
        say(run.coverage.table("coverage of seed " + std::to_string(seed)));
        say(run.coverage.machineLine());
        summed.add(run.coverage);
        if (!run.failures.empty()) ++failed;
    }
    say(summed.table("coverage of " + std::to_string(options.seeds.size()) + " seeds at level " + options.level));
    char totals[160];
    snprintf(totals, sizeof totals, "%zu seeds, %d failed, %.0f s", options.seeds.size(), failed, secondsSince(start));
    say(totals);
    if (options.requireCoverage) {
        for (const std::string& row : summed.faultRows)
            if (summed.faultTotal(row) == 0) say("NO COVERAGE of the fault " + row), failed += failed == 0;
        for (const std::string& row : summed.valueRows)
            if (!summed.values[row]) say("NO COVERAGE of the hostile value " + row), failed += failed == 0;
        if (summed.faultRows.empty()) say("NO COVERAGE read from the emulator"), failed += failed == 0;
    }
    return failed ? 1 : 0;
}
