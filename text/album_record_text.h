// The text of an album's record and journal: what was listed and saved of one album, kept in its
// folder so that a later run fetches only what is missing or new. Pure formatting and parsing;
// the files themselves are app/core/album_record's.
//
// A record is UTF-8 text, one item a line:
//   piclade album record 1
//   album <TAB> album id <TAB> total
//   photo <TAB> pic name <TAB> pic host <TAB> caption <TAB> timestamp <TAB> file name <TAB> size path <TAB> bytes <TAB> modified
//   ...
//   end <TAB> photo lines <TAB> FNV-1a 64 of every byte before this line, 16 lowercase hex digits
// A journal is lines appended one per saved picture, each checked alone:
//   journal 1 <TAB> the eight photo fields <TAB> FNV-1a 64 of the line before this tab
//
// In a field "\" is written "\\", tab "\t", line feed "\n", carriage return "\r". 8-bit fields
// (ids, names as in addresses, hosts, size paths) keep their bytes exactly: every other byte below
// 0x20, 0x7F and every byte from 0x80 is "\xHH". Wide fields are UTF-8; their other control
// characters (below U+0020, U+007F to U+009F) and any lone surrogate are "\uHHHH", so every
// UTF-16 text comes back unit for unit. Numbers are plain decimal: no sign but a leading "-" on
// the signed ones, no leading zero, nothing outside their type's range.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct SavedPhoto {            // one photo as listed and saved
    std::string picName;       // the photo's pic_name as the service gave it (its key; 8-bit as in addresses)
    std::string picHost;       // "http://host"
    std::wstring caption;      // caption_render
    int64_t timestamp = 0;
    std::wstring fileName;     // its file name in the album folder
    std::string sizePath;      // "/large/", "/mw1024/", "/mw690/" or "/small/"
    uint64_t bytes = 0;        // file length as written
    uint64_t modified = 0;     // file's last-write time as a FILETIME value when written

    bool operator==(const SavedPhoto&) const = default;
};

struct AlbumLedger {
    std::string albumId;
    int64_t total = 0;                 // page 1's data.total when listed
    std::vector<SavedPhoto> photos;    // in list order (the service lists newest first)

    bool operator==(const AlbumLedger&) const = default;
};

// The whole record text, in one pass over the photos.
// The 64-bit FNV-1a hash of the bytes: the checksum of records and journal lines.
uint64_t fnv1a64(std::string_view bytes);

std::string formatAlbumRecord(const AlbumLedger& ledger);

// False for a record cut anywhere, altered, of another version or not a record at all: the
// caller then lists the album in full. `out` is changed only on success.
[[nodiscard]] bool parseAlbumRecord(std::string_view text, AlbumLedger& out);

// One journal line, ending "\n".
std::string formatJournalLine(const SavedPhoto& photo);

// The good lines of a journal, in their order. A line that is cut (no final "\n") or damaged is
// skipped alone.
std::vector<SavedPhoto> parseJournal(std::string_view text);
