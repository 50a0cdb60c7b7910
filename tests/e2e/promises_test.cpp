// What the program promises its user, checked on the real program against the emulator: the
// session's cookies go to the service's own hosts only, a replaced download leaves nothing of
// itself in the new one, a picture is tried three times at most, and a picture takes its final
// name only once every byte of it is written. scripts/mutate breaks each of these on purpose to
// show that these tests notice.
#include <gtest/gtest.h>

#include "tests/e2e/session.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

const std::wstring kOwner = L"摄影师小王";
const std::wstring kSecondOwner = L"多相册用户";
constexpr int kSmallAlbum = 7;  // "没有封面", 3 photos

bool finished(const std::wstring& now) { return isFinalStatus(now); }
bool inProgress(const std::wstring& now) { return now.find(L"当前下载进度") != std::wstring::npos; }

std::string lowered(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The request whose path holds `marker`, if the emulator has seen it.
bool findRequest(const std::string& marker, LoggedRequest* found)
{
    for (const LoggedRequest& request : requestLog()) {
        if (request.path.find(marker) == std::string::npos) continue;
        *found = request;
        return true;
    }
    return false;
}

// How the names of a folder came and went while it was watched (ReadDirectoryChangesW, file
// names only). The system keeps reporting between two collect() calls, so polling loses nothing
// unless its buffer overflows, which collect() reports.
class FolderWatch {
public:
    struct Change {
        DWORD action;
        std::wstring name;
    };

    explicit FolderWatch(const std::wstring& folder)
        : folder_(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr)),
          done_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
        pending_ = folder_ != INVALID_HANDLE_VALUE && done_ && arm();
    }
    ~FolderWatch()
    {
        DWORD ignored = 0;
        if (pending_ && CancelIoEx(folder_, &overlapped_)) GetOverlappedResult(folder_, &overlapped_, &ignored, TRUE);
        if (folder_ != INVALID_HANDLE_VALUE) CloseHandle(folder_);
        if (done_) CloseHandle(done_);
    }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Takes in what was reported so far; false once the watch failed or changes were lost.
    bool collect()
    {
        while (pending_ && WaitForSingleObject(done_, 0) == WAIT_OBJECT_0) {
            DWORD bytes = 0;
            if (!GetOverlappedResult(folder_, &overlapped_, &bytes, FALSE)) {
                if (GetLastError() != ERROR_NOTIFY_ENUM_DIR) {
                    pending_ = false;
                    break;
                }
                bytes = 0;
            }
            if (bytes == 0) lost_ = true;  // more changes than the buffer holds
            for (size_t at = 0; bytes != 0;) {
                const auto* info = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(reinterpret_cast<const char*>(buffer_) + at);
                changes_.push_back({info->Action, std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t))});
                if (info->NextEntryOffset == 0) break;
                at += info->NextEntryOffset;
            }
            pending_ = arm();
        }
        return pending_ && !lost_;
    }
    const std::vector<Change>& changes() const { return changes_; }

private:
    bool arm()
    {
        ResetEvent(done_);
        overlapped_ = {};
        overlapped_.hEvent = done_;
        return ReadDirectoryChangesW(folder_, buffer_, sizeof buffer_, FALSE, FILE_NOTIFY_CHANGE_FILE_NAME, nullptr, &overlapped_,
                                     nullptr) != 0;
    }

    HANDLE folder_;
    HANDLE done_;
    OVERLAPPED overlapped_{};
    DWORD buffer_[16384] = {};  // 64 KB, DWORD-aligned as the call requires
    bool pending_ = false;
    bool lost_ = false;
    std::vector<Change> changes_;
};

} // namespace

TEST(EndToEndPromises, SessionCookiesGoOnlyToTheServiceOwnHosts)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.showPage(1));

    // The emulator's main site answers on 127.0.0.1 whatever name the address uses, so
    // "localhost" reaches it as a host that is not the service's.
    const std::wstring port = std::to_wstring(PICLADE_TEST_PORT_BASE);
    const std::wstring own = L"127.0.0.1:" + port;
    const std::string foreign = "localhost:" + utf8(port);
    const struct {
        const char* probe;
        std::wstring address;
        bool own;
    } probes[] = {
        {"own", L"http://" + own + L"/u/1000000001?probe=own", true},
        {"capitals", L"HTTP://" + own + L"/u/1000000001?probe=capitals", true},
        {"mixed-case", L"http://LocalHost:" + port + L"/u/1000000001?probe=mixed-case", false},
        {"in-path", L"http://localhost:" + port + L"/" + own + L"/u/1000000001?probe=in-path", false},
        {"in-user-info", L"http://" + own + L"@localhost:" + port + L"/u/1000000001?probe=in-user-info", false},
        {"backslash", L"http://localhost:" + port + L"\\." + own + L"/u/1000000001?probe=backslash", false},
        {"in-query", L"http://localhost:" + port + L"/u/1000000001?probe=in-query&next=http://" + own + L"/", false},
        // Sent on by an answer: each hop is judged by its own host. The onward address is
        // escaped, so only the hop itself carries the marker.
        {"sent-away", L"http://" + own + L"/go?to=http%3A%2F%2Flocalhost%3A" + port + L"%2Fu%2F1000000001%3Fprobe%3Dsent-away", false},
        {"sent-home", L"http://localhost:" + port + L"/go?to=http%3A%2F%2F" + own + L"%2Fu%2F1000000001%3Fprobe%3Dsent-home", true},
        {"sent-along", L"http://" + own + L"/go?to=%2Fu%2F1000000001%3Fprobe%3Dsent-along", true},
    };
    for (const auto& probe : probes) {
        ASSERT_TRUE(pilot.typeHomepage(probe.address)) << probe.probe;
        ASSERT_TRUE(pilot.pressButton(L"分析")) << probe.probe;
        LoggedRequest seen;
        ASSERT_TRUE(pilot.waitUntil([&] { return findRequest(std::string("probe=") + probe.probe, &seen); }, 20000)) << probe.probe;
        if (probe.own) {
            EXPECT_EQ(seen.host, utf8(own)) << probe.probe;
            EXPECT_TRUE(seen.hasCookie) << probe.probe;
            EXPECT_NE(seen.cookie.find("SUB="), std::string::npos) << probe.probe << ": " << seen.cookie;
        } else {
            EXPECT_EQ(lowered(seen.host), foreign) << probe.probe;
            EXPECT_FALSE(seen.hasCookie) << probe.probe << " was sent \"" << seen.cookie << "\"";
        }
    }
}

TEST(EndToEndPromises, ReplacedDownloadLeavesNothingInTheNewOne)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    Pilot& pilot = session.pilot();

    // Slow pictures: five are on their way at a time and the rest of the 33 wait in the queue
    // when the second album is chosen.
    ASSERT_TRUE(control("/faults?picture_latency=800"));
    ASSERT_TRUE(pilot.albumMenu(1, L"下载选中"));
    ASSERT_TRUE(pilot.waitStatus(inProgress, 30000));
    ASSERT_TRUE(pilot.albumMenu(0, L"下载选中"));
    std::vector<std::wstring> statuses;
    ASSERT_TRUE(pilot.waitStatus(finished, 90000, &statuses));

    // The new job counts its own 32 pictures, each once, and has them all.
    EXPECT_EQ(statuses.back(), finishedStatus(32, 32));
    EXPECT_TRUE(session.picturesIntact(session.albumFolder(kOwner, L"旅行 2017"), "/mw1024/", 32));

    // The replaced job's queued pictures were dropped, never fetched nor written.
    const std::wstring replaced = session.albumFolder(kOwner, L"家人");
    const size_t kept = filesIn(replaced).size();
    EXPECT_LT(kept, 33u);
    EXPECT_TRUE(session.picturesIntact(replaced, "/mw1024/", kept));
}

TEST(EndToEndPromises, EachPictureIsTriedThreeTimesAtMost)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000002"));
    const std::wstring album = session.albumFolder(kSecondOwner, L"没有封面");

    // The first two answers for every picture fail: the third try brings each one.
    ASSERT_TRUE(control("/faults?fail_first=2"));
    ASSERT_TRUE(session.download(kSmallAlbum));
    EXPECT_EQ(session.pilot().status(), finishedStatus(3, 3));
    EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", 3));

    // Three failures are final: each picture (in another size, so counted afresh) is asked for
    // three times, then given up, neither written nor counted.
    ASSERT_TRUE(control("/faults?fail_first=3"));
    ASSERT_TRUE(session.pilot().albumMenu(kSmallAlbum, L"原图"));
    ASSERT_TRUE(session.downloadToEnd(kSmallAlbum, 90000));
    EXPECT_EQ(session.pilot().status(), incompleteStatus(L"3张图片获取失败,", 0, 3));
    std::map<std::string, int> tries;
    for (const LoggedRequest& request : requestLog())
        if (request.service == "images" && request.path.rfind("/large/", 0) == 0) ++tries[request.path];
    EXPECT_EQ(tries.size(), 3u);
    for (const auto& [path, count] : tries) EXPECT_EQ(count, 3) << path;
    EXPECT_EQ(filesIn(album).size(), 3u);  // the pictures of the first size, untouched
}

TEST(EndToEndPromises, PicturesTakeTheirFinalNameOnlyWhenComplete)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));

    // The album's folder is made first, so that it is watched before the first picture.
    const std::wstring album = session.albumFolder(kOwner, L"家人");
    ASSERT_TRUE(CreateDirectoryW((session.folder() + kOwner).c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(album.c_str(), nullptr));
    FolderWatch watch(album);
    ASSERT_TRUE(watch.collect());

    // Some bodies break off midway, a few of them on every try.
    ASSERT_TRUE(control("/faults?drop_rate=0.3&seed=5"));
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.albumMenu(1, L"下载选中"));
    ASSERT_TRUE(pilot.waitUntil(
        [&] {
            watch.collect();
            return pilot.buttonEnabled(L"分析") && finished(pilot.status());
        },
        90000));
    const std::vector<std::wstring> names = filesIn(album);
    const int kept = static_cast<int>(names.size());
    EXPECT_EQ(pilot.status(), kept == 33 ? finishedStatus(33, 33) : incompleteStatus(std::to_wstring(33 - kept) + L"张图片获取失败,", kept, 33));

    // Every picture on disk got its name by a rename of a temporary file; no final name was ever
    // created, so none could have been seen half-written.
    std::set<std::wstring> renamed;
    EXPECT_TRUE(pilot.waitUntil(
        [&] {
            watch.collect();
            for (const FolderWatch::Change& change : watch.changes())
                if (change.action == FILE_ACTION_RENAMED_NEW_NAME) renamed.insert(change.name);
            return std::all_of(names.begin(), names.end(), [&](const std::wstring& name) { return renamed.count(name) != 0; });
        },
        10000))
        << renamed.size() << " of " << names.size() << " pictures were renamed into place";
    EXPECT_TRUE(watch.collect());
    const std::vector<FolderWatch::Change>& changes = watch.changes();
    // The album's record (".<id>") is the same: written as ".<id>.new", then renamed; its journal is
    // only ever appended to.
    const std::wstring record = L".3550000002";
    for (size_t i = 0; i < changes.size(); ++i) {
        const bool ofTheRecord = changes[i].name.rfind(record, 0) == 0;
        if (changes[i].action == FILE_ACTION_ADDED) {
            if (ofTheRecord) {
                EXPECT_NE(changes[i].name, record) << "the record was created under its final name";
            } else {
                EXPECT_TRUE(isTemporaryPictureName(changes[i].name)) << utf8(changes[i].name) << " was created under its final name";
            }
        }
        if (changes[i].action == FILE_ACTION_RENAMED_NEW_NAME) {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(changes[i - 1].action, static_cast<DWORD>(FILE_ACTION_RENAMED_OLD_NAME));
            if (ofTheRecord) {
                EXPECT_EQ(changes[i - 1].name, record + L".new");
            } else {
                EXPECT_TRUE(isTemporaryPictureName(changes[i - 1].name)) << utf8(changes[i - 1].name);
            }
        }
    }
    for (const std::wstring& name : names) EXPECT_FALSE(isTemporaryPictureName(name)) << utf8(name);
    EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", names.size()));
}

TEST(EndToEndPromises, ForgedCertificateFailsTheSignIn)
{
    ProgramSession session;
    ASSERT_TRUE(control("/certificate?forged=1"));
    ASSERT_TRUE(session.start(false));
    Pilot& pilot = session.pilot();

    // The sign-on host shows a certificate nobody vouches for: no poll gets through to it.
    ASSERT_TRUE(pilot.waitStatusIs(L"  状态:错误", 20000));
    for (const LoggedRequest& request : requestLog()) EXPECT_NE(request.service, "sso") << request.path;

    // With its true certificate back, the same program signs in.
    ASSERT_TRUE(control("/certificate?forged=0"));
    EXPECT_TRUE(pilot.waitStatusIs(kSignedIn, 30000));
}

TEST(EndToEndPromises, WindowAnswersWhileTheServiceIsSlow)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    Pilot& pilot = session.pilot();
    ASSERT_TRUE(pilot.showPage(1));
    ASSERT_TRUE(pilot.typeHomepage(homepageAddress("1000000001", L"probe=slow")));

    // Every answer of the service takes 5 s from now on: the analysis waits, the window does not.
    ASSERT_TRUE(control("/faults?latency=5000"));
    ASSERT_TRUE(pilot.pressButton(L"分析"));
    LoggedRequest seen;
    ASSERT_TRUE(pilot.waitUntil([&] { return findRequest("probe=slow", &seen); }, 10000));
    EXPECT_GE(pilot.responseTime(2000), 0);  // answered while the homepage's answer is still seconds away

    ASSERT_TRUE(control("/faults?latency=0"));
    EXPECT_TRUE(pilot.waitStatusIs(kListed, 30000));
}
