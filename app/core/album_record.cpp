#include "app/core/album_record.h"

#include <algorithm>
#include <unordered_map>
#include <windows.h>

#include "app/core/file_naming.h"
#include "app/core/file_store.h"
#include "tasks/debug_trace.h"

namespace {

// A hostile record or journal cannot make the program hold more than this.
constexpr uint64_t kLargestRead = 64ull << 20;
// With "." before it and ".journal" after it, far within the 255 units of a name.
constexpr size_t kLongestIdPart = 200;

constexpr wchar_t kUpperHex[] = L"0123456789ABCDEF";

// Uppercase letters are escaped too: Windows names ignore case, and the ids "a" and "A" must not
// share a record.
bool keptInName(unsigned char byte)
{
    return (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '_' || byte == '-';
}

std::wstring idInName(std::string_view albumId)
{
    if (albumId.empty()) return L"%";  // no escape is "%" alone
    std::wstring name;
    name.reserve(albumId.size());
    for (const char c : albumId) {
        const auto byte = static_cast<unsigned char>(c);
        if (keptInName(byte)) {
            name += static_cast<wchar_t>(byte);
        } else {
            name += L'%';
            name += kUpperHex[byte >> 4];
            name += kUpperHex[byte & 0xF];
        }
    }
    if (name.size() <= kLongestIdPart) return name;
    // "%%" never stands in an escaped id: what follows it is the whole id's hash.
    size_t cut = kLongestIdPart - 18;
    if (name[cut - 1] == L'%') cut -= 1;
    else if (name[cut - 2] == L'%') cut -= 2;
    name.resize(cut);
    name += L"%%";
    const uint64_t hash = fnv1a64(albumId);
    for (int shift = 60; shift >= 0; shift -= 4) name += kUpperHex[(hash >> shift) & 0xF];
    return name;
}

// The record is written under this name first; "." never stands in an escaped id, so it is no
// other album's record.
std::wstring temporaryRecordName(std::string_view albumId) { return L"." + idInName(albumId) + L".new"; }

// At most `limit` bytes of the file; `whole` tells whether that was all of it. False when the file
// cannot be opened or read.
bool readFileText(const std::wstring& path, uint64_t limit, std::string& text, bool& whole)
{
    // Shared every way: a journal being appended to and a record being replaced can be read.
    UniqueFile file(CreateFileW(fileFunctionPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return false;
    const uint64_t length = static_cast<uint64_t>(size.QuadPart);
    whole = length <= limit;
    text.resize(static_cast<size_t>(whole ? length : limit));
    size_t filled = 0;
    while (filled < text.size()) {
        const DWORD wanted = static_cast<DWORD>(std::min<size_t>(text.size() - filled, 1u << 20));
        DWORD read = 0;
        if (!ReadFile(file.get(), text.data() + filled, wanted, &read, nullptr)) return false;
        if (read == 0) break;  // shorter than it was a moment ago
        filled += read;
    }
    text.resize(filled);
    return true;
}

// Virus scanners and indexers open a new file for a moment: a rename that meets one is tried
// again every 100 ms for a second. 0 or the last error.
DWORD replaceFile(const std::wstring& temporary, const std::wstring& target)
{
    constexpr int kTries = 11;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return ERROR_SUCCESS;
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || attempt == kTries) return error;
        Sleep(100);
    }
}

// Ends a last line a killed run left without its line feed, so that the next line stands alone.
bool endLastLine(HANDLE file)
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) return false;
    if (size.QuadPart == 0) return true;
    LARGE_INTEGER last{};
    last.QuadPart = size.QuadPart - 1;
    char byte = 0;
    DWORD read = 0;
    if (!SetFilePointerEx(file, last, nullptr, FILE_BEGIN) || !ReadFile(file, &byte, 1, &read, nullptr) || read != 1) return false;
    if (byte == '\n') return true;
    DWORD written = 0;
    return WriteFile(file, "\n", 1, &written, nullptr) && written == 1;
}

} // namespace

// Guarded by AlbumRecord.HostileIdsStayInsideTheFolder.
std::wstring albumRecordName(std::string_view albumId) { return L"." + idInName(albumId); }

std::wstring albumJournalName(std::string_view albumId) { return L"." + idInName(albumId) + L".journal"; }

// Guarded by AlbumRecord.AJournalOverARecordReplacesAndAdds and ...ABadRecordCountsAsNoneButItsJournalStands.
std::optional<AlbumLedger> readAlbumRecord(const std::wstring& albumFolder, std::string_view albumId)
{
    if (albumFolder.empty()) return std::nullopt;
    const std::wstring folder = withBackslash(albumFolder);
    AlbumLedger ledger;
    bool found = false;
    std::string text;
    bool whole = false;
    if (readFileText(folder + albumRecordName(albumId), kLargestRead, text, whole) && whole &&
        parseAlbumRecord(text, ledger) && ledger.albumId == albumId)
        found = true;
    else
        ledger = AlbumLedger{std::string(albumId), 0, {}};

    // A journal past the limit is read up to it; its cut last line is skipped like a torn one.
    if (readFileText(folder + albumJournalName(albumId), kLargestRead, text, whole)) {
        std::vector<SavedPhoto> saved = parseJournal(text);
        if (!saved.empty()) found = true;
        std::unordered_map<std::string, size_t> byName;
        byName.reserve(ledger.photos.size() + saved.size());
        for (size_t i = 0; i < ledger.photos.size(); ++i) byName.emplace(ledger.photos[i].picName, i);
        for (SavedPhoto& photo : saved) {
            const auto [at, added] = byName.emplace(photo.picName, ledger.photos.size());
            if (added) ledger.photos.push_back(std::move(photo));
            else ledger.photos[at->second] = std::move(photo);
        }
    }
    if (!found) return std::nullopt;
    return ledger;
}

// Guarded by AlbumRecord.AKilledRunsTornLineSpoilsNoLaterLine.
bool AlbumJournal::open(const std::wstring& albumFolder, std::string_view albumId)
{
    Locked hold(lock_);
    file_.reset();
    torn_ = false;
    if (albumFolder.empty()) return false;
    const std::wstring path = fileFunctionPath(withBackslash(albumFolder) + albumJournalName(albumId));
    // The attribute given to CreateFileW reaches only a file it creates.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_HIDDEN))
        SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
    // Append access without write access: every write lands at the end, whatever the file pointer.
    UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                                // a replaced download of the album may still hold it open: both append
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file) {
        traceFailure(L"Opening an album journal", GetLastError());
        return false;
    }
    if (!endLastLine(file.get())) {
        traceFailure(L"Ending an album journal's last line", GetLastError());
        return false;
    }
    file_ = std::move(file);
    return true;
}

// Guarded by AlbumRecord.JournalLinesFromManyThreadsAllArrive.
bool AlbumJournal::append(const SavedPhoto& photo)
{
    std::string line = formatJournalLine(photo);
    Locked hold(lock_);
    if (!file_) return false;
    // A line cut short by a full disk is ended before the next one.
    if (torn_) line.insert(line.begin(), '\n');
    if (line.size() > MAXDWORD) return false;
    DWORD written = 0;
    const bool whole = WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr) && written == line.size();
    if (whole) torn_ = false;
    else if (written > 0) torn_ = true;
    return whole;
}

void AlbumJournal::close()
{
    Locked hold(lock_);
    file_.reset();
}

// Guarded by AlbumRecord.AFoldLeavesNoJournalAndNoTemporary.
bool writeAlbumRecord(const std::wstring& albumFolder, const AlbumLedger& ledger)
{
    if (albumFolder.empty()) return false;
    const std::wstring folder = withBackslash(albumFolder);
    const std::string text = formatAlbumRecord(ledger);
    if (text.size() > MAXDWORD) return false;
    const std::wstring temporary = fileFunctionPath(folder + temporaryRecordName(ledger.albumId));
    const std::wstring record = fileFunctionPath(folder + albumRecordName(ledger.albumId));
    // CREATE_ALWAYS over a hidden file fails with access denied unless the new attributes hold
    // FILE_ATTRIBUTE_HIDDEN too: a temporary left by a killed fold is hidden.
    UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!file) {
        traceFailure(L"Creating an album record", GetLastError());
        return false;
    }
    DWORD written = 0;
    DWORD error = ERROR_SUCCESS;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) error = GetLastError();
    else if (written != text.size()) error = ERROR_DISK_FULL;
    // On the disk before the rename, so that a crash leaves the old record or the whole new one.
    else if (!FlushFileBuffers(file.get())) error = GetLastError();
    if (!file.close() && error == ERROR_SUCCESS) error = GetLastError();
    if (error == ERROR_SUCCESS) error = replaceFile(temporary, record);
    if (error != ERROR_SUCCESS) {
        traceFailure(L"Writing an album record", error);
        DeleteFileW(temporary.c_str());
        return false;
    }
    const std::wstring journal = fileFunctionPath(folder + albumJournalName(ledger.albumId));
    if (!DeleteFileW(journal.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        traceFailure(L"Deleting an album journal", GetLastError());
        return false;
    }
    return true;
}

// Guarded by AlbumRecord.LeftoverTemporariesGoPicturesStay.
void removeLeftoverTemporaries(const std::wstring& albumFolder)
{
    if (albumFolder.empty()) return;
    const std::wstring folder = withBackslash(albumFolder);
    WIN32_FIND_DATAW found{};
    UniqueFind find(FindFirstFileExW(fileFunctionPath(folder + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        // Only what this program names so: a user's own "notes~v2" in the folder stays.
        if (!isTemporaryPictureName(found.cFileName) || !beginsWithPhotoTime(found.cFileName)) continue;
        DeleteFileW(fileFunctionPath(folder + found.cFileName).c_str());
    } while (FindNextFileW(find.get(), &found));
}

// Guarded by AlbumRecord.AChangedPictureIsNoLongerAsSaved.
bool isStillAsSaved(const std::wstring& albumFolder, const SavedPhoto& photo)
{
    // A record is only text on a disk: a name in it that is not a plain file name is refused.
    if (albumFolder.empty() || !isSafeName(photo.fileName)) return false;
    uint64_t size = 0, modified = 0;
    return fileStamp(withBackslash(albumFolder) + photo.fileName, size, modified) && size == photo.bytes &&
           modified == photo.modified;
}
