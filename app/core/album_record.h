// What was listed and saved of an album, kept in its folder so that a later run (after a crash, a
// restart, or when the album gained photos) fetches only what is missing or new. Albums of one
// caption share a folder but not a record: record and journal are named by the album id.
//
// The record (".<id>") is rewritten whole, through a temporary file and a rename, when a download
// folds; between folds each saved picture appends one line to the journal (".<id>.journal"), so a
// run that is killed loses at most the line being written. Both files are hidden.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tasks/critical_section.h"
#include "tasks/unique_handle.h"
#include "text/album_record_text.h"

// The file names in the album folder: "." and the album id with every byte but [a-z0-9_-] written
// "%XX" (capitals too, as Windows names ignore case; an empty id is "%"), so that any id gives one
// plain name of its own, never a path, a device or a name ending in a dot or blank. An id too long
// for a name keeps its first part, then "%%" and a hash of the whole id.
std::wstring albumRecordName(std::string_view albumId);
std::wstring albumJournalName(std::string_view albumId);

// The record of `albumId` in the folder, with the journal's good lines over it: a line for a
// photo already there replaces its saved fields, a line for another photo is added at the end.
// A journal left by a killed run counts. A record that is missing, cut, altered, larger than
// 64 MB or of another album id counts as none; then the journal alone gives a ledger of total 0.
// Nothing usable in either gives nullopt: the album is listed and fetched in full.
[[nodiscard]] std::optional<AlbumLedger> readAlbumRecord(const std::wstring& albumFolder, std::string_view albumId);

// The journal of one album, appended to by the download's pool threads at once.
class AlbumJournal {
public:
    AlbumJournal() = default;
    ~AlbumJournal() { close(); }
    AlbumJournal(const AlbumJournal&) = delete;
    AlbumJournal& operator=(const AlbumJournal&) = delete;

    // Opens the journal for appending, made hidden when it is created; a journal already open is
    // closed first. A last line a killed run left without its end is ended, so it spoils no line
    // after it.
    [[nodiscard]] bool open(const std::wstring& albumFolder, std::string_view albumId);
    // Appends one saved photo's line with a single write; false when it is not open or the write
    // took fewer bytes than the line.
    [[nodiscard]] bool append(const SavedPhoto& photo);
    void close();

private:
    CriticalSection lock_;
    UniqueFile file_;
    bool torn_ = false;  // the last write took part of its line only
};

// Folds: writes the whole record to a hidden temporary file in the folder, flushes it, renames it
// over the record, then deletes the journal. The record is never half-written: it is the old one
// or the new one. A journal another writer still holds open goes once it is closed (every journal
// handle shares deletion). False when the record could not be replaced, or when the journal could
// not be deleted; its lines then repeat what the record holds.
[[nodiscard]] bool writeAlbumRecord(const std::wstring& albumFolder, const AlbumLedger& ledger);

// Deletes the temporary picture files a killed run left in the folder (isTemporaryPictureName);
// never a picture, a record or a journal. Call it before the download writes into the folder: a
// file being written is held open and stays.
void removeLeftoverTemporaries(const std::wstring& albumFolder);

// Whether the photo's file is in the folder as it was saved: a plain file name, the same length
// and the same last-write time.
[[nodiscard]] bool isStillAsSaved(const std::wstring& albumFolder, const SavedPhoto& photo);
