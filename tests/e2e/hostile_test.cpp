// The real program against a service that answers in bad faith: names that climb out of the save
// folder, name devices or end as programs; list pages that come back as something other than a
// list; picture bodies broken off inside a chunked transfer; lists sent on to a stranger host.
#include <gtest/gtest.h>

#include "tests/e2e/disk_names.h"
#include "tests/e2e/session.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <set>

namespace {

const std::wstring kOwner = L"摄影师小王";
const std::wstring kSecondOwner = L"多相册用户";
constexpr int kFamily = 1;      // "家人": 33 photos, two list pages
constexpr int kSmallAlbum = 7;  // "没有封面", 3 photos
const std::wstring kPaused = L"  状态:服务器限制了访问频率,";
const std::wstring kSecondPageMissing =
    L"  状态:下载未完成,1页照片列表获取失败,当前已下载 32张 共 32张 相册共 33张 请单击鼠标右键打开目录;";

// The names in a folder, files and folders alike ("." and ".." left out); false when it cannot
// be listed.
bool entriesIn(const std::wstring& folder, std::set<std::wstring>* names)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names->insert(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return true;
}

struct Entry {
    std::wstring path;  // below the folder walked, "\"-separated
    std::wstring name;
    bool folder;
    bool hidden;  // an album's record or journal
};

// Everything below a folder, depth first.
void walk(const std::wstring& folder, const std::wstring& below, std::vector<Entry>* entries)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + below + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::wstring> folders;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries->push_back({below + name, name, isFolder, (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0});
        if (isFolder) folders.push_back(below + name + L"\\");
    } while (FindNextFileW(search, &found));
    FindClose(search);
    for (const std::wstring& next : folders) walk(folder, next, entries);
}

void removeTree(const std::wstring& path)
{
    std::vector<Entry> entries;
    walk(path + L"\\", L"", &entries);
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        const std::wstring full = path + L"\\" + entry->path;
        if (entry->folder) RemoveDirectoryW(full.c_str());
        else DeleteFileW(full.c_str());
    }
    if (!RemoveDirectoryW(path.c_str())) DeleteFileW(path.c_str());
}

// The names the escaping owner's ids end in, once they have climbed out.
bool isEscapedName(const std::wstring& name)
{
    return name.find(L"escape_oid") != std::wstring::npos || name.find(L"escape_album") != std::wstring::npos;
}

// The folders above the save folder: a climbing name lands in one of them. Watched from
// construction on; whatever appears in them is reported. What escaped is removed, before (left
// by a run that was killed) and after, so that one run never hides the next one's escape.
class FoldersAbove {
public:
    FoldersAbove(const std::wstring& saveFolder, int levels)
    {
        std::wstring folder = saveFolder;
        for (int level = 0; level < levels; ++level) {
            if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
            const size_t cut = folder.rfind(L'\\');
            if (cut == std::wstring::npos) break;
            folder.resize(cut + 1);
            std::set<std::wstring> names;
            if (!entriesIn(folder, &names) || names.empty()) continue;  // only a folder whose listing is known is judged
            for (auto name = names.begin(); name != names.end();) {
                if (!isEscapedName(*name)) {
                    ++name;
                    continue;
                }
                removeTree(folder + *name);
                name = names.erase(name);
            }
            before_[folder] = names;
        }
    }
    ~FoldersAbove()
    {
        for (const std::wstring& path : appeared())
            if (isEscapedName(path.substr(path.rfind(L'\\') + 1))) removeTree(path);
    }
    FoldersAbove(const FoldersAbove&) = delete;
    FoldersAbove& operator=(const FoldersAbove&) = delete;

    size_t watched() const { return before_.size(); }
    // Full paths of the entries that are there now and were not before.
    std::vector<std::wstring> appeared() const
    {
        std::vector<std::wstring> paths;
        for (const auto& [folder, names] : before_) {
            std::set<std::wstring> now;
            entriesIn(folder, &now);
            for (const std::wstring& name : now)
                if (!names.count(name)) paths.push_back(folder + name);
        }
        return paths;
    }

private:
    std::map<std::wstring, std::set<std::wstring>> before_;
};

// The picture files below the save folder (the program's own copy left out), by path.
std::set<std::wstring> picturesBelow(const std::wstring& folder)
{
    std::vector<Entry> entries;
    walk(folder, L"", &entries);
    std::set<std::wstring> files;
    for (const Entry& entry : entries)
        if (!entry.folder && !entry.hidden && entry.path != L"Piclade.exe") files.insert(entry.path);
    return files;
}

// The album as never downloaded: its pictures and its record gone (the record would spare the
// second page its request).
void emptyFolder(const std::wstring& album)
{
    for (const std::wstring& name : filesIn(album)) DeleteFileW((album + name).c_str());
    for (const std::wstring& name : hiddenFilesIn(album)) DeleteFileW((album + name).c_str());
}

// How many times the photo service (or the stranger) was asked for a page of a photo list.
int pageRequests(const std::string& albumId, int page)
{
    const std::string marker = "album_id=" + albumId + "&", pageMarker = "&page=" + std::to_string(page) + "&";
    int count = 0;
    for (const LoggedRequest& request : requestLog())
        if (request.path.find(marker) != std::string::npos && request.path.find(pageMarker) != std::string::npos) ++count;
    return count;
}

} // namespace

TEST(EndToEndHostile, HostileNamesStayInsideTheSaveFolder)
{
    ProgramSession session;
    const FoldersAbove above(session.folder(), 4);
    ASSERT_GE(above.watched(), 1u);
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000005"));
    Pilot& pilot = session.pilot();
    ASSERT_EQ(pilot.albumCount(), 4);

    // Each album in turn: an id that climbs ("..\..\escape_album", no caption), "CON", pictures
    // named as programs and shortcuts, and a caption of 10 kB; the owner's id climbs too and its
    // nick is "..". Whatever each one saves, its status line counts.
    const int photos[] = {3, 2, 9, 1};
    std::set<std::wstring> known = picturesBelow(session.folder());
    std::map<int, std::set<std::wstring>> saved;
    for (int album = 0; album < 4; ++album) {
        std::vector<MessageBoxSeen> boxes;
        ASSERT_TRUE(session.downloadAnsweringBoxes(album, 90000, &boxes)) << album;
        for (const MessageBoxSeen& box : boxes) ADD_FAILURE() << "album " << album << ": " << utf8(box.caption) << ": " << utf8(box.text);
        const std::set<std::wstring> now = picturesBelow(session.folder());
        for (const std::wstring& path : now)
            if (!known.count(path)) saved[album].insert(path);
        known = now;
        const std::wstring status = pilot.status();
        EXPECT_EQ(status, finishedStatus(photos[album], photos[album])) << "album " << album << ": " << utf8(status);
        const auto [savedCount, queued] = finalLineCounts(status);
        EXPECT_EQ(savedCount, static_cast<long>(saved[album].size())) << "album " << album << ": " << utf8(status);
        EXPECT_EQ(queued, savedCount) << "album " << album;
    }

    // Nothing appeared beside the save folder or in the folders above it.
    for (const std::wstring& path : above.appeared()) ADD_FAILURE() << utf8(path) << " was made outside the save folder";

    // Below it, every name is one the system keeps as it is, and every file is a picture or an
    // album's hidden record, whose name is "." and the album id made safe.
    std::vector<Entry> entries;
    walk(session.folder(), L"", &entries);
    for (const Entry& entry : entries) {
        EXPECT_TRUE(entry.name != L"." && entry.name != L".." && !entry.name.empty()) << utf8(entry.path);
        EXPECT_FALSE(isDeviceName(entry.name)) << utf8(entry.path);
        EXPECT_FALSE(!entry.name.empty() && (entry.name.back() == L'.' || entry.name.back() == L' ')) << utf8(entry.path);
        EXPECT_EQ(entry.name.find_first_of(L"/\\:*?\"<>|"), std::wstring::npos) << utf8(entry.path);
        if (!entry.folder && !entry.hidden && entry.path != L"Piclade.exe") {
            EXPECT_TRUE(hasPictureEnding(entry.name)) << utf8(entry.path);
        }
        if (entry.hidden) {
            EXPECT_EQ(entry.name[0], L'.') << utf8(entry.path);
        }
        if (entry.folder) {
            EXPECT_FALSE(hasProgramEnding(entry.name)) << utf8(entry.path);
        }
    }

    // The album of dangerous names: every picture kept once, under a picture's ending, with the
    // bytes of its own photo; the two names that differ only in case are two files.
    const std::set<std::wstring>& named = saved[2];
    std::map<std::string, std::string> truth;  // pic_name -> the image host's bytes
    for (const char* picture : {"shortcut.url", "link.lnk", "explorer.scf", "run.bat", "setup.exe", "Same.jpg", "same.jpg", "ok.jpg",
                                "twice.jpg"})
        truth[picture] = pictureBytes("/mw1024/", picture);
    std::map<std::string, int> byPicture;  // pic_name -> files holding its bytes
    for (const std::wstring& path : named) {
        const std::string bytes = readWholeFile(session.folder() + path);
        for (const auto& [picture, wanted] : truth)
            if (!wanted.empty() && bytes == wanted) ++byPicture[picture];
    }
    for (const char* picture : {"shortcut.url", "link.lnk", "explorer.scf", "run.bat", "setup.exe"}) {
        EXPECT_EQ(byPicture[picture], 1) << picture;
        const std::wstring ending = L"-" + fromUtf8(picture) + L".jpg";
        EXPECT_TRUE(std::any_of(named.begin(), named.end(), [&](const std::wstring& path) { return endsWith(path, ending); }))
            << picture << " is not saved as …" << utf8(ending);
    }
    EXPECT_EQ(byPicture["Same.jpg"], 1);
    EXPECT_EQ(byPicture["same.jpg"], 1);
    EXPECT_EQ(byPicture["ok.jpg"], 1);
    EXPECT_EQ(byPicture["twice.jpg"], 1);
    EXPECT_EQ(named.size(), 9u);
    for (const std::wstring& path : named) EXPECT_NE(path.find(L"危险的名字_lnk\\"), std::wstring::npos) << utf8(path);
    // Wine keeps "Same" and "same" apart as Linux does; Windows would make them one file. No two
    // names may be equal but for letter case.
    std::set<std::wstring> folded;
    for (const std::wstring& path : named) {
        std::wstring lower = path;
        CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
        EXPECT_TRUE(folded.insert(lower).second) << utf8(path) << " is another picture's name on Windows";
    }
}

TEST(EndToEndHostile, ErrorObjectPageIsRetriedNotTakenAsEmpty)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000001"));
    const std::wstring album = session.albumFolder(kOwner, L"家人");
    Pilot& pilot = session.pilot();

    // An error object for page 2, once: a failed try, and the second brings the page.
    ASSERT_TRUE(control("/faults?fail_page=2&fail_page_times=1&fail_page_shape=error_object"));
    ASSERT_TRUE(session.downloadToEnd(kFamily, 60000));
    EXPECT_EQ(pilot.status(), finishedStatus(33, 33));
    EXPECT_EQ(pageRequests("3550000002", 2), 2);
    EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", 33));  // (resets the emulator)

    // Page 2 never comes as a list, in whatever shape: it is reported, never taken for the end.
    for (const char* shape : {"error_object", "empty", "html", "not_json", "no_list", "cut"}) {
        emptyFolder(album);
        ASSERT_TRUE(control("/reset"));
        ASSERT_TRUE(control(std::string("/faults?fail_page=2&fail_page_times=-1&fail_page_shape=") + shape));
        ASSERT_TRUE(session.downloadToEnd(kFamily, 60000)) << shape;
        EXPECT_EQ(pilot.status(), kSecondPageMissing) << shape;
        EXPECT_EQ(pageRequests("3550000002", 2), 3) << shape;
        EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", 32)) << shape;
    }

    // A 403 for a list page is first taken for a rate limit (a shared wait), then for a failure.
    emptyFolder(album);
    ASSERT_TRUE(control("/reset"));
    // Waits of 3 s: pictures already on their way end within the first second and write their
    // progress over the pause's line; the countdown then shows alone.
    ASSERT_TRUE(control("/faults?fail_page=2&fail_page_times=-1&fail_page_shape=403&retry_after=3"));
    std::vector<std::wstring> seen;
    ASSERT_TRUE(session.downloadToEnd(kFamily, 180000, &seen));
    EXPECT_EQ(pilot.status(), kSecondPageMissing);
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](const std::wstring& status) { return status.rfind(kPaused, 0) == 0; }));
    EXPECT_GE(pageRequests("3550000002", 2), 6);  // three waits, then three failed tries
    EXPECT_TRUE(session.picturesIntact(album, "/mw1024/", 32));
}

TEST(EndToEndHostile, ErrorObjectAlbumPageIsRetriedNotTakenAsTheEnd)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    // The second album page (albums 21 to 25) comes once as an error object, once as the first
    // half of its JSON: a failed try each time, and the next try lists the page whole.
    for (const char* shape : {"error_object", "not_json"}) {
        ASSERT_TRUE(control(std::string("/faults?fail_album_page=2&fail_page_times=1&fail_page_shape=") + shape));
        ASSERT_TRUE(session.analyse("1000000002")) << shape;
        EXPECT_EQ(session.pilot().albumCount(), 25) << shape;
    }
}

TEST(EndToEndHostile, CutChunkedPicturesAreNeverKept)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    ASSERT_TRUE(session.analyse("1000000002"));
    // Every picture comes chunked and breaks off halfway, with no last chunk, on every try.
    ASSERT_TRUE(control("/faults?chunked_cut=1"));
    ASSERT_TRUE(session.downloadToEnd(kSmallAlbum, 60000));
    EXPECT_EQ(session.pilot().status(), L"  状态:下载未完成,3张图片获取失败,当前已下载 0张 共 3张 请单击鼠标右键打开目录;");
    EXPECT_TRUE(filesIn(session.albumFolder(kSecondOwner, L"没有封面")).empty());
    std::map<std::string, int> tries;
    for (const LoggedRequest& request : requestLog())
        if (request.service == "images" && request.path.rfind("/mw1024/", 0) == 0) ++tries[request.path];
    EXPECT_EQ(tries.size(), 3u);
    for (const auto& [path, count] : tries) EXPECT_EQ(count, 3) << path;
}

TEST(EndToEndHostile, ListRedirectsNeverCarryTheSession)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    // Every album and photo list is sent on to 127.0.0.2, which lists for anybody.
    ASSERT_TRUE(control("/faults?redirect_lists=1"));
    ASSERT_TRUE(session.analyse("1000000001"));
    EXPECT_EQ(session.pilot().albumCount(), 3);
    ASSERT_TRUE(session.downloadToEnd(0, 60000));
    EXPECT_EQ(session.pilot().status(), finishedStatus(32, 32));

    std::map<std::string, int> own, stranger;  // list path -> requests seen
    for (const LoggedRequest& request : requestLog()) {
        const std::string path = request.path.substr(0, request.path.find('?'));
        if (path != "/albums/get_all" && path != "/photos/get_all") continue;
        if (request.service == "photos") {
            // The service's own host gets the session on the first hop.
            ++own[path];
            EXPECT_NE(request.cookie.find("SUB="), std::string::npos) << request.path << ": " << request.cookie;
        } else if (request.service == "stranger") {
            ++stranger[path];
            EXPECT_EQ(request.cookie.find("SUB="), std::string::npos) << request.path << " was sent " << request.cookie;
            EXPECT_FALSE(request.hasCookie) << request.path << " was sent \"" << request.cookie << "\"";
        }
    }
    EXPECT_GE(own["/albums/get_all"], 1);
    EXPECT_GE(own["/photos/get_all"], 1);
    EXPECT_GE(stranger["/albums/get_all"], 1);
    EXPECT_GE(stranger["/photos/get_all"], 1);
    EXPECT_TRUE(session.picturesIntact(session.albumFolder(kOwner, L"旅行 2017"), "/mw1024/", 32));
}

TEST(EndToEndHostile, PagingEndsWhenTheServiceRepeatsItself)
{
    ProgramSession session;
    ASSERT_TRUE(session.start());
    // Every list page is the first one, and each list claims 100,000 entries.
    ASSERT_TRUE(control("/faults?repeat_pages=1&claim_total=100000"));
    ASSERT_TRUE(session.analyse("1000000002"));
    // 20 albums on the first page; the second brings none not listed yet, and the listing ends.
    EXPECT_EQ(session.pilot().albumCount(), 20);
    EXPECT_EQ(emulatorCount("requests", "/albums/get_all"), 2);

    // "家人" (33 photos, so the album list says): the first page twice (for the total, then in
    // the loop), the second page repeats the first and ends the listing.
    ASSERT_TRUE(control("/reset"));
    ASSERT_TRUE(control("/faults?repeat_pages=1&claim_total=100000"));
    ASSERT_TRUE(session.analyse("1000000001"));
    ASSERT_TRUE(session.downloadToEnd(1, 60000));
    EXPECT_EQ(emulatorCount("requests", "/photos/get_all"), 3);
    EXPECT_EQ(session.pilot().status(), finishedStatus(32, 32));
    EXPECT_EQ(filesIn(session.albumFolder(kOwner, L"家人")).size(), 32u);
}
