"""The deliberate breaks scripts/mutate applies, one at a time, to a scratch copy of the tree, and
the tests that must notice each. A break is a list of exact text replacements: when a text is no
longer found the code has moved on, and the break is reported as not applicable rather than
silently skipped.

    python3 scripts/mutations.py list
    python3 scripts/mutations.py copy SOURCE_TREE SCRATCH_TREE   (only files that differ are written)
    python3 scripts/mutations.py apply NAME SCRATCH_TREE          (prints the ctest regex and gtest filter)
    python3 scripts/mutations.py restore NAME SOURCE_TREE SCRATCH_TREE
    python3 scripts/mutations.py union [NAME...]                  (the tests of these breaks, or of all, at once)
"""

import shutil
import subprocess
import sys
from pathlib import Path

E2E = "end_to_end_zh_CN"
# The chaos run on the CI seeds, the kept seeds among them.
CHAOS = "chaos_ci_zh_CN"

# A folder name that fails its check gives way to its fallback as it is.
UNCLEANED_FALLBACKS = [
    ("app/core/file_naming.cpp", "    for (const std::wstring_view candidate : {name, fallback}) {",
     "    for (const std::wstring_view candidate : {name}) {"),
    ("app/core/file_naming.cpp", "        if (isSafeName(cleaned)) return cleaned;\n    }\n    return L\"_\";",
     "        if (isSafeName(cleaned)) return cleaned;\n    }\n    return std::wstring(fallback);"),
]

# name: (why it matters, [(file, old text, new text)], ctest regex, gtest filter or "")
BREAKS = {
    "cookies-to-every-host": (
        "the homepage request carries the session's cookies whatever its host",
        [("app/jobs/service_exchange.cpp", "        if (!request.cookies.empty() && isServiceAddress(next)) static_cast<void>(client.setCookies(request.cookies));",
          "        if (!request.cookies.empty()) static_cast<void>(client.setCookies(request.cookies));")],
        E2E, "EndToEndPromises.SessionCookies*:EndToEndHostile.ListRedirects*"),
    "winhttp-follows-redirects": (
        "WinHTTP follows the redirects of cookie-carrying requests, repeating the first hop's cookies on every hop",
        [("app/jobs/service_exchange.cpp", "    client.setAutoRedirect(false);\n", "")],
        E2E, "EndToEndPromises.SessionCookies*:EndToEndHostile.ListRedirects*"),
    "service-host-anywhere-in-address": (
        "an address that merely mentions the service's host counts as the service",
        [("app/jobs/service_exchange.cpp", "    if (host == site) return true;",
          "    if (host == site || std::string(address).find(site) != std::string::npos) return true;")],
        E2E, "EndToEndPromises.SessionCookies*"),
    "no-generation-check-at-task-start": (
        "a queued task of a replaced download still runs",
        [("app/core/photo_store.cpp", "    if (!isCurrentJob(DownloadJob, generation)) return false;\n", ""),
         ("app/jobs/picture_task.cpp", "if (!run || run->generation() != generation) return;", "if (!run) return;")],
        E2E, "EndToEndPromises.ReplacedDownload*"),
    "no-generation-check-after-fetch": (
        "a picture of a replaced download whose exchange goes on is still written and counted",
        [("app/jobs/picture_task.cpp", " || !isCurrentJob(DownloadJob, generation)) {", ") {"),
         ("app/jobs/exchange_watch.cpp", "        if (!isCurrentJob(entry.kind, entry.generation)) {\n            entry.client->cancel();",
          "        if (!isCurrentJob(entry.kind, entry.generation)) {"),
         ("app/core/photo_store.cpp", "    if (!isCurrentJob(DownloadJob, generation)) return -1;\n", "")],
        E2E, "EndToEndPromises.ReplacedDownload*"),
    "pictures-straight-to-final-name": (
        "pictures are written under their final name, no temporary file, no rename",
        [("app/core/file_store.cpp",
          "const std::wstring temporary = fileFunctionPath(wideFolder + temporaryPictureName(wideName, GetCurrentThreadId()));",
          "const std::wstring& temporary = target;"),
         ("app/core/file_store.cpp", "    if (error == ERROR_SUCCESS) error = renameIntoPlace(temporary, target);\n", "")],
        "core_test|" + E2E, "FileStore.*:EndToEndPromises.PicturesTake*"),
    "caption-cleaning-off": (
        "captions reach file names with the characters Windows forbids",
        [("app/core/file_naming.cpp", "    return withoutForbidden(cutToBytes(caption, kMaxCaptionBytes), true);",
          "    return std::wstring(caption);")],
        "core_test", ""),
    "device-names-kept": (
        "a folder named after a device (CON, NUL, COM1) is made as it is",
        [("app/core/file_naming.cpp", "    if (!cleaned.empty() && isDeviceName(cleaned)) cleaned.insert(0, L\"_\");\n", "")],
        "core_test", ""),
    "folder-names-keep-forbidden": (
        "owner and album names reach folder names with the characters Windows forbids",
        [("app/core/file_naming.cpp", "std::wstring cleaned = cutToBytes(withoutForbidden(name, false), kMaxCaptionBytes);",
          "std::wstring cleaned = cutToBytes(name, kMaxCaptionBytes);")],
        "core_test", ""),
    "trailing-dots-kept": (
        "folder names keep their trailing dots and blanks",
        [("app/core/file_naming.cpp",
          "    while (!cleaned.empty() && (cleaned.back() == L'.' || cleaned.back() == L' ')) cleaned.pop_back();\n", "")],
        "core_test", ""),
    "path-segments-kept": (
        "a picture's name keeps the path segments before its last slash",
        [("app/core/file_naming.cpp", "const size_t slash = picName.find_last_of(L\"/\\\\\");",
          "const size_t slash = std::wstring_view::npos;")],
        "core_test", ""),
    "error-text-not-from-table": (
        "a failed write is reported with the bare error number instead of the table's message",
        [("app/core/error_table.cpp", "    return cutBetween(kErrorTable, key, \"\\r\\n\");", "    return key;")],
        "core_test|" + E2E, "ErrorTable.*:EndToEndFaults.UnwritableAlbumFolder*"),
    "no-retry": (
        "a picture that fails once is given up",
        [("app/jobs/patient_fetch.cpp", "constexpr int kTries = 3;", "constexpr int kTries = 1;")],
        E2E, "EndToEndFaults.FailingAnswers*:EndToEndPromises.EachPicture*"),
    "one-retry-fewer": (
        "a picture is tried twice instead of three times",
        [("app/jobs/patient_fetch.cpp", "constexpr int kTries = 3;", "constexpr int kTries = 2;")],
        E2E, "EndToEndPromises.EachPicture*"),
    "one-retry-more": (
        "a picture is tried four times",
        [("app/jobs/patient_fetch.cpp", "constexpr int kTries = 3;", "constexpr int kTries = 4;")],
        E2E, "EndToEndPromises.EachPicture*"),
    "empty-pictures-counted": (
        "a picture that could not be fetched is written empty and counted",
        [("app/jobs/picture_task.cpp", "    if (fetched != FetchResult::Fetched || !isCurrentJob(DownloadJob, generation)) {",
          "    if (fetched == FetchResult::Abandoned || !isCurrentJob(DownloadJob, generation)) {")],
        E2E, "EndToEndFaults.ServerErrors*"),
    "short-bodies-kept": (
        "a body shorter than its Content-Length is taken as the picture",
        [("app/jobs/patient_fetch.cpp", "return status >= 200 && status <= 299 && client.responseComplete();",
          "return status >= 200 && status <= 299;")],
        E2E, "EndToEndFaults.DroppedAndTruncated*"),
    "final-status-blank": (
        "the final status line loses a blank",
        [("app/jobs/download_run.cpp", "\"当前已下载 \" + std::to_string(downloaded)", "\"当前已下载\" + std::to_string(downloaded)")],
        "shell_jobs_test", "Jobs.*"),
    "certificates-not-checked": (
        "every HTTPS exchange ignores certificate errors",
        [("net/http_client.cpp", "    if (ignoreCertErrorsPending_) {", "    if (true) {")],
        "net_test|" + E2E, "HttpClientTest.Certificates*:EndToEndPromises.ForgedCertificate*"),
    "reader-takes-trailing-comma": (
        "the JSON reader accepts [1,]",
        [("text/json_reader.cpp", "if (blankOnly && unitAt(static_cast<size_t>(valueStart_ - 1)) != L'[') return false;",
          "(void)blankOnly;")],
        "json_test", ""),
    "reader-depth-off-by-one": (
        "the JSON reader takes one level of nesting past its limit of 10,000",
        [("text/json_reader.cpp", "if (stack_.count() >= kJsonMaxDepth) return false;",
          "if (stack_.count() > kJsonMaxDepth) return false;")],
        "json_test", "JsonReader.StructuresAndFailures"),
    "reader-values-uncounted": (
        "the JSON reader builds a tree of any number of values, so a text of bare brackets costs fifty times its size",
        [("text/json_reader.cpp", "        if (valuesLeft_ == 0) return false;", "")],
        "json_test", "JsonRobustness.TextsDenseWithValues*"),
    "about-picture-never-shown": (
        "the about picture, decoded only when its page is first shown, is never decoded at all",
        [("app/shell/main_window.cpp", "    m.tabs.OnSelChange(onTabChanged);\n", "")],
        "shell_window_test", "MainWindowTest.TheAboutPicture*"),
    "row-shows-the-whole-caption": (
        "an album row shows a caption of any length, so one of 10 kB covers the list and no other album can be chosen",
        [("app/jobs/analysis.cpp", "    text += cutToUnits(caption, kLongestCaptionShown);", "    text += caption;")],
        "jobs_test", "Analysis.RowTextsAndServiceAddresses"),
    "pool-idle-ignores-queue": (
        "the worker pool reads as idle while tasks still wait in its queue",
        [("tasks/thread_pool.h", "return queuedTasks_ == 0 && busyThreads_ == 0;", "return busyThreads_ == 0;")],
        "tasks_test", ""),
    "analysis-on-the-window-thread": (
        "the analysis runs on the window's thread, which waits on the network",
        [("app/shell/main_window.cpp", "        startJob(AnalysisJob, analysisJob);", "        analysisJob(JobContext(AnalysisJob, 0, 0));")],
        E2E, "EndToEndPromises.WindowAnswers*"),
    "replaced-analysis-goes-on": (
        "a job replaced by a newer one of its kind never hears that it should stop",
        [("app/core/job_threads.cpp", "return !isCurrentJob(kind_, generation_);", "return gEnding != 0;")],
        E2E, "EndToEnd.AnalysisPressedTwice*"),
    "name-fallbacks-uncleaned": (
        "a folder name that fails its check gives way to its fallback as it is (\"..\\\\..\\\\escape\")",
        UNCLEANED_FALLBACKS,
        "core_test|" + E2E, "FileNaming.*:EndToEndHostile.HostileNames*"),
    "names-climb-out": (
        "a folder name that fails its check gives way to its fallback as it is, and no path is held to the save folder",
        UNCLEANED_FALLBACKS + [
            ("app/core/file_store.cpp", "    if (inner.empty() || outer.empty()) return false;", "    return true;")],
        CHAOS, ""),
    "executable-endings-kept": (
        "a picture named \"x.url\" or \"setup.exe\" is saved under that ending",
        [("app/core/file_naming.cpp",
          "    if (dot == std::wstring::npos || !isPictureEnding(std::wstring_view(picture).substr(dot + 1))) picture += L\".jpg\";",
          "    if (dot == std::wstring::npos) picture += L\".jpg\";")],
        "core_test|" + E2E, "FileNaming.*:EndToEndHostile.HostileNames*"),
    "same-names-replace": (
        "two pictures whose names are one file on Windows: the later replaces the earlier",
        [("app/jobs/album_download.cpp", "            if (files_.insert(photo.fileName).second) return true;", "            return true;")],
        E2E, "EndToEndHostile.HostileNames*"),
    "paging-follows-the-claimed-total": (
        "the listings page on for as long as the service's totals say, repeated pages and all",
        [("app/jobs/album_download.cpp", "    const bool ranOut = page > 1 && added == 0 && answer.HasRoot();", "    const bool ranOut = false;"),
         ("app/jobs/album_download.cpp", "std::min<int64_t>((claimed + kPhotosPerPage - 1) / kPhotosPerPage + 2, kMostPhotoPages)", "kMostPhotoPages"),
         ("app/jobs/analysis.cpp", "        if (!anyNew) break;\n", "")],
        E2E, "EndToEndHostile.PagingEnds*"),
    "path-check-off": (
        "any path counts as lying below the save folder",
        [("app/core/file_store.cpp", "    if (inner.empty() || outer.empty()) return false;", "    return true;")],
        "core_test", "FileStore.*"),
    "cut-chunked-pictures-kept": (
        "a picture without a length is taken however its bytes end",
        [("app/jobs/picture_task.cpp", "(client.contentLength() > 0 || pictureEnd(bytes) != PictureEnd::Cut)", "true")],
        E2E, "EndToEndHostile.CutChunked*"),
    "short-write-counted": (
        "a write that took fewer bytes than it was given counts as done",
        [("app/core/file_store.cpp", "    else if (written != bytes.size()) error = ERROR_DISK_FULL;\n", "")],
        "core_test", "FileStore.*"),
    "rename-gives-up-at-once": (
        "a rename that meets a scanner's open handle fails at once",
        [("app/core/file_store.cpp", "if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || attempt == kTries) return error;",
          "return error;")],
        "core_test", "FileStore.*"),
    "error-object-taken-as-empty-page": (
        "a photo-list page that is no list (an error object, HTML, nothing) is taken as an empty page",
        [("app/jobs/album_download.cpp", "    if (answer.GetType() != static_cast<int>(JsonKind::Object)) return false;", "    return true;")],
        E2E, "EndToEndHostile.ErrorObjectPage*"),
    "final-line-claims-complete": (
        "\"全部下载完成\" whatever pictures failed, as long as every page came",
        [("app/jobs/download_run.cpp",
          "    return downloaded == queued && !report.failedPages && !report.failedPictures && !report.failedWrites && !report.gaveUp &&\n"
          "           !report.diskFull && !report.folderRefused;",
          "    return !report.failedPages && !report.gaveUp;")],
        "jobs_test|" + E2E, "DownloadLimits.*:EndToEndFaults.ServerErrors*"),
    "stalls-not-watched": (
        "a picture that drips a byte now and then holds its worker for as long as its host likes",
        [("app/jobs/patient_fetch.cpp", "        const WatchedExchange watch(client, run.job());\n", "")],
        E2E, "EndToEndStalls.ADripping*"),
    "replaced-exchanges-go-on": (
        "the exchanges of a replaced job go on until their hosts end them",
        [("app/jobs/exchange_watch.cpp", "        if (!isCurrentJob(entry.kind, entry.generation)) {\n            entry.client->cancel();",
          "        if (!isCurrentJob(entry.kind, entry.generation)) {")],
        "jobs_test|" + E2E, "ExchangeWatch.*:EndToEndStalls.AReplaced*"),
    "cancelled-handle-used-again": (
        "a cancelled exchange passes its closed request handle on, whose value may name another thread's new request",
        [("net/http_cancel.cpp", "    return cancelled_ ? nullptr : request_.get();", "    return request_.get();")],
        "net_test", "HttpCancel.*"),
    "cancel-reads-as-a-system-failure": (
        "an exchange ended by a cancel reports the system's error of the interrupted call instead of the cancel",
        [("net/http_client.cpp", "    if (isCancelled()) kind = HttpFailure::Kind::Cancelled;\n", "")],
        "net_test", "HttpCancel.*"),
    "job-reaches-into-the-window": (
        "a job includes the main window's header and with it every control",
        [("app/jobs/download_run.cpp", '#include "app/jobs/job_window.h"\n', '#include "app/jobs/job_window.h"\n#include "app/shell/main_window.h"\n')],
        "layers_check", ""),
    "core-knows-the-stores-owner": (
        "the photo store counts through the shared objects instead of the state it was given",
        [("app/core/photo_store.cpp", '#include "app/core/app_state.h"\n', '#include "app/core/app_state.h"\n#include "app/core/shared_objects.h"\n')],
        "layers_check", ""),
    "error-pages-kept-as-pictures": (
        "a picture answered 200 with the service's error object is saved and counted",
        [("app/jobs/picture_task.cpp", "return !bytes.empty() && !isTextPage(bytes) && (", "return !bytes.empty() && (")],
        CHAOS, ""),
    "first-page-total-believed": (
        "a first photo-list page whose total is below one has its listed photos dropped",
        [("app/jobs/album_download.cpp", "(first.GetCount(\"data.photo_list\") > 0 ? mostPages : 0)", "0")],
        CHAOS, ""),
    "service-values-through-code-page": (
        "ids and picture names outside code page 936 are asked for with \"?\" in their place",
        [("app/jobs/service_exchange.cpp", "return addressPart(toNarrow(answer.GetTextW(toUtf16(path)), kUtf8CodePage));",
          "return toNarrow(answer.GetTextW(toUtf16(path)));"),
         ("app/jobs/analysis.cpp", "state.ownerIdInAddress.set(addressPart(ownerId));", "state.ownerIdInAddress.set(utf8ToNarrow(ownerId));")],
        CHAOS, ""),
    "folders-end-as-programs": (
        "an album folder named \"run.exe\" or \"x.{class id}\" is made as named",
        [("app/core/file_naming.cpp", "isProgramEnding(std::wstring_view(cleaned).substr(dot + 1))) cleaned[dot] = L'_';",
          "isProgramEnding(std::wstring_view(cleaned).substr(dot + 1))) {}")],
        "core_test|" + CHAOS, "FileNaming.FolderNames*"),
    "download-into-no-save-folder": (
        "with no save folder (the program's own could not be named) a download saves to the drive's root",
        [("app/shell/main_window.cpp", "        if (selected < 0 || state.saveFolder.get().empty()) return 0;", "        if (selected < 0) return 0;")],
        "shell_window_test", "MainWindowTest.DownloadWithoutASaveFolder*"),
    "late-steps-of-replaced-jobs": (
        "a replaced job's final line, buttons and album folder land after its successor's",
        [("app/shell/main_window.cpp", "        if (!job.stopping()) step();", "        step();")],
        "shell_window_test", "MainWindowTest.AJobsLastSteps*"),
    "workers-set-the-status-directly": (
        "a worker writes the status line through the window's control object, whose properties belong to the window's thread",
        [("app/shell/main_window.cpp", "        if (onWindowThread()) {\n            if (gMain) gMain->status.SetTextW(text);",
          "        if (gMain) {\n            gMain->status.SetTextW(text);")],
        "jobs_test", "Jobs.*"),
    "service-names-through-code-page": (
        "album captions are read as code page 936 text, so \"旅行✈\" and \"旅行🚗\" share one folder",
        [("app/jobs/analysis.cpp", "album.caption = answer.GetTextW(toUtf16(entry + \"caption\"));",
          "album.caption = toUtf16(answer.GetText(entry + \"caption\"));")],
        E2E, "EndToEndNames.*"),
    "program-folder-through-code-page": (
        "the program's own folder passes through code page 936, so a folder named outside it saves nothing",
        [("app/shell/main.cpp", "#include \"ui/gdi_holders.h\"\n", "#include \"text/encoding.h\"\n#include \"ui/gdi_holders.h\"\n"),
         ("app/shell/main.cpp", "std::wstring() : path.substr(0, slash + 1);", "std::wstring() : toUtf16(toNarrow(path.substr(0, slash + 1)));")],
        E2E, "EndToEndNames.*"),
    "code-page-letters-counted-in-utf8": (
        "full-width signs, kana and the euro sign count their UTF-8 bytes, so code page 936 captions are cut shorter than before",
        [("app/core/file_naming.cpp", "    if (toUtf16(narrow) == character) return narrow.size();\n", "")],
        "core_test", "FileNaming.*"),
    "full-disk-box-per-picture": (
        "a full disk shows one error box per picture and the job goes on asking for pictures",
        [("app/jobs/picture_task.cpp", "        if (diskFull && !run->stopForFullDisk()) return;\n", "        if (diskFull) static_cast<void>(run->stopForFullDisk());\n"),
         ("app/jobs/picture_task.cpp", "    if (early ? run->diskFull() : run->albumHalted()) return;\n", "")],
        "shell_jobs_test", ""),
    "pause-does-nothing": (
        "\"暂停下载\" shows the held line but the download goes on asking for pictures",
        [("app/shell/main_window.cpp", "    } else if (isJobRunning(DownloadJob) && downloadPool().pause()) {", "    } else if (isJobRunning(DownloadJob)) {")],
        E2E, "EndToEndPause.*"),
    "pictures-take-no-slot": (
        "pictures go out without a place among the five in flight: as many as the pool has workers",
        [("app/jobs/patient_fetch.cpp", "            if (!slot.take(run.job())) return FetchResult::Abandoned;\n", "")],
        E2E, "EndToEndLimits.PicturesInFlightNeverPassFive"),
    "slot-ignores-a-pause": (
        "a picture that waited for its place goes out though the user paused meanwhile",
        [("app/jobs/patient_fetch.cpp", "            if (!run.mayStartNow()) continue;\n", "")],
        E2E, "EndToEndPause.*"),
    "pause-holds-only-the-pool": (
        "a held download's pages and retries go on: only the pool's next tasks wait",
        [("app/jobs/download_run.cpp", "bool DownloadRun::heldByUser() const { return downloadPool().isPaused(); }",
          "bool DownloadRun::heldByUser() const { return false; }")],
        "jobs_test", "DownloadRun.*"),
    "other-letters-cut-as-one-byte": (
        "a letter code page 936 lacks counts one byte in the 200-byte cut, so Hangul and emoji names outgrow 255 UTF-8 bytes",
        [("app/core/file_naming.cpp", "    if (character.size() == 2) return 4;\n    return first < 0x800 ? 2 : 3;", "    return 1;")],
        "core_test", "FileNaming.*"),
    "chosen-folder-only-in-code-page": (
        "a folder chosen with \"浏览\" whose name holds letters outside code page 936 is refused",
        [("app/shell/folder_actions.cpp", "    if (result.size() == 2) result += L\"\\\\\";\n    return result;",
          "    if (result.size() == 2) result += L\"\\\\\";\n    for (const wchar_t unit : result)\n"
          "        if (unit > 0x7F && (unit < 0x4E00 || unit > 0x9FA5)) return {};\n    return result;")],
        "shell_window_test", "FolderActions.*"),
    "account-run-skips-the-first-album": (
        "\"下载全部相册\" starts at the second album of the list",
        [("app/jobs/download.cpp", "    for (int position = 1; position <= tally.albums; ++position) {",
          "    for (int position = 2; position <= tally.albums; ++position) {")],
        E2E, "EndToEndAccount.Every*"),
    "account-counts-every-album-whole": (
        "the account's last line counts an album that ended incomplete as complete",
        [("app/jobs/download.cpp", "            if (isWholeAlbum(outcome.report, outcome.downloaded, outcome.queued)) ++tally.complete;",
          "            ++tally.complete;")],
        E2E, "EndToEndAccount.Unwritable*"),
    "refused-folder-box-per-picture": (
        "in a download of every album, a folder that takes no picture shows a box per picture and its album goes on",
        [("app/jobs/download_run.cpp", "    if (place_.position == 0 || albumWrote_ || report_.folderRefused) return false;",
          "    return false;")],
        "jobs_test|" + E2E, "DownloadRun.Account*:EndToEndAccount.Unwritable*"),
    "rows-without-state-images": (
        "the album rows show no state image",
        [("app/shell/main_window.cpp", "    if (makeAlbumStateImages(m.albumStates, s(kStateImageSide))) m.albumList.SetImageList(m.albumStates, 2);\n", "")],
        E2E, "EndToEndAccount.Every*"),
    "record-never-consulted": (
        "a picture the album's record knows as saved is fetched again",
        [("app/jobs/album_download.cpp", "    photo.alreadySaved = saved && saved->fileName == photo.fileName && known_.isSaved(*saved);",
          "    photo.alreadySaved = false;")],
        E2E, "EndToEndRecord.*"),
    "grown-album-read-in-full": (
        "an album that gained photos is listed and compared in full, never from its record",
        [("app/jobs/known_photos.cpp", "    if (!hasListing() || total < ledger_->total) return Overlap::Differs;",
          "    if (!hasListing() || total != ledger_->total) return Overlap::Differs;")],
        "jobs_test", "KnownPhotos.*"),
    "killed-run-forgotten": (
        "no journal line is written as pictures are saved, so a killed download starts again from nothing",
        [("app/jobs/download_run.cpp", "    static_cast<void>(journal_.append(photo));  // the file is saved either way\n", "    static_cast<void>(photo);\n")],
        E2E, "EndToEndRecord.AKilled*"),
    "owners-files-swept-as-leftovers": (
        "the sweep of a killed run's temporary files also deletes the owner's own files named like them",
        [("app/core/album_record.cpp", " || !beginsWithPhotoTime(found.cFileName)", "")],
        "core_test", "AlbumRecord.Leftover*"),
    "record-names-trusted": (
        "a file name read from an album's record is written as it stands, a shortcut's or a settings file's",
        [("app/jobs/album_download.cpp", "        if (known && isPictureFileName(known->fileName)) {", "        if (known && !known->fileName.empty()) {")],
        E2E, "EndToEndRecord.NamesInARecord*"),
    "failed-listing-wipes-the-record": (
        "a listing that failed part-way replaces the record with what it listed: pictures saved before are fetched again",
        [("app/jobs/album_download.cpp", "    if (!wholeListing) {\n        std::set<std::string_view> listed;\n", "    if (false) {\n        std::set<std::string_view> listed;\n")],
        E2E, "EndToEndRecord.AFailedPage*"),
    "next-album-waits-for-the-last-picture": (
        "a download of every album lists its next album only once every picture of the one before has landed",
        [("app/jobs/download.cpp", "            if (position < tally.albums && !run->diskFull() && !run->gate().givenUp()) {",
          "            if (false) {")],
        E2E, "EndToEndAccount.NextAlbums*"),
    "next-albums-pictures-told-in-the-album-before": (
        "a picture of the next album fetched while the one before ends is written, counted and journaled at once, in the album before",
        [("app/jobs/picture_task.cpp", "    if (early && (!photoStore().waitForAlbum(generation, album) || run->albumHalted())) return;\n", "")],
        E2E, "EndToEndAccount.NextAlbums*"),
    "album-ends-with-pictures-in-flight": (
        "an album of a download of every album ends once its photos are taken, its last pictures still on their way",
        [("app/core/photo_store.cpp", "    return static_cast<size_t>(state_.nextPhotoIndex) >= photos_.size() && busy_ == 0;",
          "    return static_cast<size_t>(state_.nextPhotoIndex) >= photos_.size();")],
        "core_test", "PhotoStore.*"),
    "staged-album-dropped-by-a-replaced-run": (
        "a replaced download of every album, ending late, drops the album its successor staged",
        [("app/core/photo_store.cpp", "    if (staged_.generation != job.generation()) return;\n", "")],
        "core_test", "PhotoStore.*"),
    "account-size-changes-between-albums": (
        "the size can be changed in a download of every album while no picture is on its way",
        [("app/shell/main_window.cpp", "        if (!downloadPool().isIdle() || isAccountRunGoingOn()) return 0;", "        if (!downloadPool().isIdle()) return 0;")],
        E2E, "EndToEndAccount.SizeStays*"),
    "lapsed-session-is-a-failed-try": (
        "a list answer that sends the session to the sign-on host is a failed try: the album ends incomplete",
        [("app/jobs/patient_fetch.cpp", "                run.sessionLapsed(session);\n                continue;\n", "")],
        E2E, "EndToEndSession.*"),
    "tab-order-as-created": (
        "Tab goes through the operation page in the order the controls were made, the album list first",
        [("app/shell/keyboard.cpp", "        SetWindowPos(control, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);\n", "")],
        E2E, "EndToEndKeyboard.TabVisits*"),
    "enter-in-homepage-ignored": (
        "Enter in the homepage field does not start the analysis",
        [("app/shell/keyboard.cpp", "    if (message == WM_KEYDOWN && gControls.analyseButton) press(*gControls.analyseButton);\n", "")],
        E2E, "EndToEndKeyboard.EnterAnalyses*"),
    "enter-anywhere-analyses": (
        "Enter in the save folder field starts an analysis as well",
        [("app/shell/keyboard.cpp", "    controls.homepageEdit->OnWndMsg(onHomepageKey);\n",
          "    controls.homepageEdit->OnWndMsg(onHomepageKey);\n    controls.saveFolderEdit->SetProperty(property::Style, kTakesEnter);\n"
          "    controls.saveFolderEdit->OnWndMsg(onHomepageKey);\n")],
        E2E, "EndToEndKeyboard.EnterAnalyses*"),
    "no-keyboard-album-menu": (
        "Shift+F10 and the menu key open no album menu",
        [("app/shell/keyboard.cpp", "    controls.albumList->OnWndMsg(onAlbumListMessage);\n", "")],
        E2E, "EndToEndKeyboard.ShiftF10*"),
    "ctrl-tab-without-wrap": (
        "Ctrl+Tab stops at the last page instead of going round to the first",
        [("app/shell/keyboard.cpp", "(tabs->GetCurSel() + step) % count", "std::min(tabs->GetCurSel() + step, count - 1)")],
        E2E, "EndToEndKeyboard.CtrlTab*"),
    "ctrl-tab-without-selection-change": (
        "Ctrl+Tab moves the tab's selection without the page change a click makes",
        [("ui/tab_control.cpp", "    SendMessageW(parent, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));\n    return true;", "    return true;")],
        E2E, "EndToEndKeyboard.CtrlTab*"),
    "pasted-address-taken-as-it-is": (
        "a pasted homepage address with blanks around it and no scheme is fetched as it stands",
        [("app/jobs/analysis.cpp", "readHomepage(cleanHomepageAddress(homepageText()), &job)", "readHomepage(homepageText(), &job)")],
        E2E, "EndToEndAnalysisLines.APasted*"),
    "address-blanks-kept": (
        "the address clean-up keeps the blanks and line ends around a pasted address",
        [("text/homepage_address.cpp", "        if (!blank) {", "        if (!blank || true) {")],
        "text_helpers_test|" + E2E, "HomepageAddress.*:EndToEndAnalysisLines.APasted*"),
    "failed-homepage-keeps-running-line": (
        "an analysis whose homepage could not be opened leaves the line saying it is still running",
        [("app/jobs/analysis.cpp", "    case HomepageRead::NotOpened: return \"  状态:用户主页打开失败,请检查地址和网络;\";\n", "")],
        E2E, "EndToEndAnalysisLines.AHomepageThatCannot*"),
    "not-signed-in-as-no-owner": (
        "a homepage without the signed-in user asks for a homepage instead of a sign-in",
        [("app/jobs/analysis.cpp", "    if (state.userId.get().empty()) return HomepageRead::NotSignedIn;", "    if (state.userId.get().empty()) return HomepageRead::NoOwner;")],
        "jobs_test|" + E2E, "Analysis.AHomepageRead*:EndToEndAnalysisLines.APageWithoutTheSignedIn*"),
    "no-owner-keeps-running-line": (
        "an analysis of a page without an owner leaves the line saying it is still running",
        [("app/jobs/analysis.cpp", "    case HomepageRead::NoOwner: return \"  状态:未在该页面找到用户信息,请输入用户主页地址;\";\n", "")],
        E2E, "EndToEndAnalysisLines.APageWithoutAnOwner*"),
    "covers-six-at-a-time": (
        "an analysis has six covers on their way at once",
        [("app/jobs/cover_fetch.h", "constexpr int kCoverWorkers = 5;", "constexpr int kCoverWorkers = 6;")],
        E2E, "EndToEndCovers.*"),
    "covers-in-the-order-they-come": (
        "a cover goes to the first row still without one, whichever album's it is",
        [("app/jobs/cover_fetch.cpp", "        slots_[index].cover = std::move(cover);\n        slots_[index].done = true;",
          "        size_t first = 0;\n        while (slots_[first].done) ++first;\n"
          "        slots_[first].cover = std::move(cover);\n        slots_[first].done = true;")],
        "jobs_test|" + E2E, "CoverFetch.*:EndToEndCovers.*"),
    "rows-only-after-the-last-page": (
        "no row shows until the last album-list page has been read",
        [("app/jobs/analysis.cpp", "            if (!fetch.finished() && !rows.show(fetch.done())) return;",
          "            static_cast<void>(fetch.finished());")],
        E2E, "EndToEndCovers.*"),
    "taskbar-before-its-button": (
        "progress goes to the taskbar button before the shell said the button exists",
        [("app/shell/taskbar_progress.cpp", "    if (!ready_) return;\n", "")],
        E2E, "EndToEndTaskbar.ButtonFollows*"),
    "rate-limit-wait-not-shown": (
        "the taskbar button stays green while the job waits out a rate limit",
        [("app/shell/download_signals.cpp", "run->gate().msUntilResume() > 0 || ", "")],
        E2E, "EndToEndTaskbar.ButtonFollows*"),
    "user-pause-keeps-awake": (
        "the system is kept awake while the user holds the download",
        [("app/shell/download_signals.cpp", "        keepAwake(!heldByUser);", "        keepAwake(true);")],
        E2E, "EndToEndTaskbar.ButtonFollows*"),
    "incomplete-end-not-red": (
        "a download that ends incomplete leaves the taskbar button without its red state",
        [("app/shell/download_signals.cpp", "view.state = whole ? ButtonProgress::None : ButtonProgress::Error;", "view.state = ButtonProgress::None;")],
        E2E, "EndToEndTaskbar.ButtonFollows*"),
    "red-button-ignores-activation": (
        "the red button stays after the user came to the window",
        [("app/shell/download_signals.cpp", "    if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) gSignals->activated();\n", "")],
        E2E, "EndToEndTaskbar.ButtonFollows*"),
    "awake-after-exit": (
        "closing the window in the middle of a download leaves the system kept awake",
        [("app/shell/download_signals.cpp", "        keepAwake(false);\n        phase_ = Phase::Idle;\n", "        phase_ = Phase::Idle;\n")],
        E2E, "EndToEndTaskbar.ButtonFollows*"),
    "notice-while-in-front": (
        "the flash and the balloon come even with Piclade in front",
        [("app/shell/done_notice.cpp", "    if (finalLine.empty() || programInFront()) return;", "    if (finalLine.empty()) return;")],
        E2E, "EndToEndTaskbar.Notice*"),
    "balloon-click-opens-nothing": (
        "a click on the balloon removes it without opening the folder",
        [("app/shell/done_notice.cpp", "    if (code == kBalloonClicked) static_cast<void>(openAlbumFolder(folder_));\n", "")],
        E2E, "EndToEndTaskbar.Notice*:EndToEndTaskbar.Account*"),
    "balloon-stays-after-timeout": (
        "the tray icon stays after its balloon timed out",
        [("app/shell/done_notice.cpp", "    if (code != kBalloonGone && code != kBalloonClicked) return;", "    if (code != kBalloonClicked) return;")],
        E2E, "EndToEndTaskbar.Notice*"),
    "account-balloon-opens-last-album": (
        "after a download of every album the balloon opens the last album's folder, not the owner's",
        [("app/shell/download_signals.cpp", "run && run->isAccountRun() ? ownerFolderOf(album) : album", "album")],
        E2E, "EndToEndTaskbar.Account*"),
    "account-button-counts-one-album": (
        "in a download of every album the taskbar button counts only the album on its way",
        [("app/jobs/download_run.cpp", "    if (place.position == 0) return {downloaded, queued};", "    return {downloaded, queued};")],
        "jobs_test|" + E2E, "DownloadLimits.AccountProgress*:EndToEndTaskbar.Account*"),
    "dpi-change-ignored": (
        "a move to a monitor of another DPI keeps the old layout",
        [("app/shell/main_window.cpp", "    m.scale = DpiScale(dpi);\n", "    static_cast<void>(dpi);\n")],
        "shell_scale_zh_CN", "MainWindowScaleTest.MovingToTwice*"),
    "layout-in-96-dpi-pixels": (
        "the layout's lengths stay 96-DPI pixels at any scale",
        [("ui/dpi.h", "    int operator()(double length) const { return static_cast<int>(length * factor()); }",
          "    int operator()(double length) const { return static_cast<int>(length); }")],
        "shell_scale_zh_CN", "MainWindowScaleTest.EveryRectangle*"),
    "fonts-for-96-dpi": (
        "the controls keep a font made for 96 DPI",
        [("app/shell/main_window.cpp", "        if (HFONT font = createMessageFont(m.scale.dpi())) control->SetFont(font);",
          "        if (HFONT font = createMessageFont(kBaseDpi)) control->SetFont(font);")],
        "shell_scale_zh_CN", "MainWindowScaleTest.EveryRectangle*"),
    "covers-at-96-dpi": (
        "covers keep their 96-DPI size at any scale",
        [("app/shell/main_window.cpp", "            const int side = m.scale(kCoverSide);", "            const int side = kCoverSide;")],
        "shell_scale_zh_CN", "MainWindowScaleTest.Covers*"),
    "manifest-dpi-unaware": (
        "the manifest declares the program DPI-unaware, so Windows stretches it",
        [("res/piclade.manifest.in", "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm</dpiAware>",
          "<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">false</dpiAware>"),
         ("res/piclade.manifest.in", "      <dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>\n", "")],
        "shell_scale_zh_CN", "ProgramManifest.*"),
    "qr-code-smoothed": (
        "the QR code is scaled smoothly, its modules blurred",
        [("ui/window_background.cpp", "smooth ? Gdiplus::InterpolationModeHighQualityBicubic : Gdiplus::InterpolationModeNearestNeighbor",
          "(static_cast<void>(smooth), Gdiplus::InterpolationModeHighQualityBicubic)")],
        "shell_scale_zh_CN", "MainWindowScaleTest.TheQrCode*"),
    "no-tab-body": (
        "the pages keep the plain dialog colour under a visual style",
        [("ui/themed_page.cpp", "    const bool drawn = SUCCEEDED(DrawThemeBackground(theme, dc, TABP_BODY, 0, &client, nullptr));",
          "    const bool drawn = false;")],
        "shell_scale_zh_CN", "MainWindowScaleTest.PagesPaint*"),
    "body-reserves-its-limit": (
        "every body of unknown length reserves the 128 MiB limit, eight of them a 32-bit process's address space",
        [("net/http_client.cpp", "    const size_t room = std::min(unknown ? kMaxBodyBytes + 1 : declared, kBodyFirstRoom);",
          "    const size_t room = unknown ? kMaxBodyBytes + 1 : declared;")],
        "net_test", "HttpClientTest.EightChunked*"),
    "body-room-grows-as-asked": (
        "an outgrown room grows only to the capacity asked for, so a long body is copied again at every step",
        [("net/body_buffer.cpp", "        const size_t room = std::max(capacity, std::min(reserved_ * 2, roomLimit_));",
          "        const size_t room = capacity;")],
        "net_test", "BodyBuffer.*"),
    "manifest-version-fixed": (
        "the manifest's assembly keeps version 5.0.0.0 whatever the build",
        [("res/piclade.manifest.in", 'name="Piclade" version="@PICLADE_VERSION_TEXT@.0"', 'name="Piclade" version="5.0.0.0"')],
        "shell_scale_zh_CN", "ProgramManifest.*"),
    "version-details-without-build": (
        "the version details' fixed part leaves the build number out",
        [("res/piclade.rc", "FILEVERSION PICLADE_VERSION_MAJOR, PICLADE_VERSION_MINOR, PICLADE_VERSION_BUILD, 0",
          "FILEVERSION PICLADE_VERSION_MAJOR, PICLADE_VERSION_MINOR, 0, 0")],
        "shell_scale_zh_CN", "ProgramManifest.*"),
    "link-time-in-program": (
        "the linker writes the time of the link into the program's header: no two builds are the same bytes",
        [("CMakeLists.txt", "  add_link_options(-Wl,--no-insert-timestamp)\n", "")],
        "program_image_check", ""),
    "build-folder-in-program": (
        "a source file's name reaches the program with the folder it was built from",
        [("CMakeLists.txt", "  add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)\n", ""),
         ("app/shell/main.cpp", "    const std::wstring folder = programFolder();", "    OutputDebugStringA(__FILE__);\n    const std::wstring folder = programFolder();")],
        "program_image_check", ""),
    # Each request as sent, read from the emulator's record of what arrived.
    "photo-list-without-type": (
        "the photo list's address leaves out its empty \"type=\"",
        [("app/jobs/album_download.cpp", "\"&type=&__rnd=1504068705105\"", "\"&__rnd=1504068705105\"")],
        E2E, "EndToEndRequests.*"),
    "default-headers-only-with-the-session": (
        "Accept, Accept-Language and Cache-Control go only with the requests that carry the session",
        [("app/jobs/service_exchange.cpp", "    client.setAutoRedirect(false);\n",
          "    client.setAutoRedirect(false);\n    client.setDefaultHeaders(!request.cookies.empty());\n")],
        E2E, "EndToEndRequests.*"),
    "user-agent-of-its-own": (
        "the program names itself as the User-Agent instead of the browser the service expects",
        [("net/http_client.cpp", "wide(userAgent.empty() ? std::string_view(kDefaultUserAgent) : userAgent);",
          "wide(userAgent.empty() ? std::string_view(\"Piclade/5.0\") : userAgent);")],
        E2E, "EndToEndRequests.*"),
    "avatar-carries-the-session": (
        "the avatar is asked for from the image host with the session's cookies",
        [("app/jobs/sign_in.cpp", "    static_cast<void>(client.open(\"GET\", std::string(\"http:\") + avatar));  // the avatar is a nicety\n",
          "    static_cast<void>(client.open(\"GET\", std::string(\"http:\") + avatar));  // the avatar is a nicety\n"
          "    static_cast<void>(client.setCookies(appState().cookies.get()));\n")],
        E2E, "EndToEndRequests.*"),
    "pictures-without-referer": (
        "pictures are asked for without the main site as Referer",
        [("app/jobs/picture_task.cpp", "fetchPatiently(run, {address, {}, referer, AnswerKind::Picture}", "fetchPatiently(run, {address, {}, {}, AnswerKind::Picture}")],
        E2E, "EndToEndRequests.*"),
    "referer-of-the-photo-service": (
        "pictures name the photo service, not the main site, as their Referer",
        [("app/jobs/picture_task.cpp", "static const std::string referer = std::string(\"http://\") + PICLADE_MAIN_SITE_HOST + \"/\";",
          "static const std::string referer = std::string(\"http://\") + PICLADE_PHOTO_HOST + \"/\";")],
        E2E, "EndToEndRequests.*"),
    # The values and fallbacks the service's pages fix, as a user would notice them.
    "album-pages-of-25": (
        "album lists are asked for 25 albums a page instead of 20",
        [("app/jobs/analysis.cpp", "constexpr int kAlbumsPerPage = 20;", "constexpr int kAlbumsPerPage = 25;")],
        E2E, "EndToEndRequests.*"),
    "photo-pages-ask-for-30": (
        "photo lists are asked for 30 photos a page, though paged by 32",
        [("app/jobs/album_download.cpp", "\"&count=32&page=\"", "\"&count=30&page=\"")],
        E2E, "EndToEndRequests.*"),
    "placeholder-is-another-cover": (
        "an album without a cover shows the first cover of its page instead of the placeholder",
        [("app/jobs/analysis.cpp", "if (album.coverUrl.empty()) album.coverUrl = PICLADE_PLACEHOLDER_COVER;",
          "if (album.coverUrl.empty()) album.coverUrl = answer.GetText(\"data.album_list.[0].cover_pic\");")],
        E2E, "EndToEndRequests.*"),
    "standard-size-path": (
        "\"标清\" asks for the pictures under /mw720/ instead of /mw690/",
        [("app/shell/main_window.cpp", "{IDM_SIZE_SMALL, \"标清\", \"/mw690/\"},", "{IDM_SIZE_SMALL, \"标清\", \"/mw720/\"},")],
        E2E, "EndToEndRequests.*:EndToEnd.EachSize*"),
    "photo-time-in-utc": (
        "picture names show the photo's time in UTC instead of UTC+8",
        [("app/core/file_naming.cpp", "    const int64_t local = timestamp + 8 * 3600;", "    const int64_t local = timestamp;")],
        "core_test|" + E2E, "FileNaming.*:EndToEnd.WholeRoad*"),
    "jpg-only-without-any-dot": (
        "\".jpg\" is added only to a picture name without any dot, not by its last four bytes",
        [("app/core/file_naming.cpp", "    if (!dotInLastBytes(prefix + wideCaption + L\"-\" + picture, 4)) picture += L\".jpg\";",
          "    if (picture.find(L'.') == std::wstring::npos) picture += L\".jpg\";")],
        "core_test", "FileNaming.*"),
    "used-code-message": (
        "a code already used for a sign-in shows another message than the service's",
        [("app/jobs/sign_in.cpp", "    case 50114004: return \"该二维码已登录，请重新扫描\";", "    case 50114004: return \"该二维码已使用，请重新扫描\";")],
        "jobs_test", "SignIn.*"),
    # Limits and shared waits.
    "six-pictures-in-flight": (
        "six pictures may be in flight at once",
        [("app/core/shared_objects.h", "constexpr long kPicturesInFlight = 5;", "constexpr long kPicturesInFlight = 6;")],
        E2E, "EndToEndLimits.PicturesInFlightNeverPassFive"),
    "semaphore-lets-one-more-in": (
        "a semaphore with no place left still lets one more holder in",
        [("tasks/semaphore.cpp", "    while (available_ == 0) {", "    while (available_ < 0) {")],
        "tasks_test", "Semaphore.*"),
    "semaphore-wakes-nobody": (
        "a place given back never wakes a thread that waits for it; it waits out its time",
        [("tasks/semaphore.cpp", "    WakeConditionVariable(&freed_);\n", "")],
        "tasks_test", "Semaphore.*"),
    "network-loaded-at-start": (
        "the network DLLs are imported as usual: loaded before the program's window can show",
        [("net/CMakeLists.txt", "piclade_system_libraries(network_libraries winhttp wininet ws2_32)",
          "set(network_libraries winhttp wininet ws2_32)")],
        "program_image_check", ""),
    "limit-waits-per-thread": (
        "only the thread whose request met a rate limit waits it out; the job's other requests go on",
        [("app/jobs/rate_gate.h", "    uint64_t resumeAt_ = 0;\n", ""),
         ("app/jobs/rate_gate.cpp", "RateGate::RateGate(Clock clock)",
          "namespace {\nthread_local uint64_t resumeAt_ = 0;\n}\n\nRateGate::RateGate(Clock clock)")],
        E2E, "EndToEndLimits.LimitedPictures*"),
    # The way out.
    "exit-keeps-connections": (
        "the program's end cancels its exchanges but leaves their connections open until the process dies",
        [("net/http_cancel.cpp", "    if (anyLive) closeEveryConnection();\n", "")],
        E2E, "EndToEndLifecycle.Closing*"),
    "exit-cancels-nothing": (
        "the program's end no longer cancels the requests in flight",
        [("app/shell/program_lifetime.cpp", "    HttpClient::cancelAll();  // no thread stays blocked on a server\n", "")],
        E2E, "EndToEndLifecycle.Closing*"),
    # Answers that are not what they claim.
    "photo-page-with-a-total-is-a-list": (
        "a photo-list page that names a total but holds no list is taken as a page without photos",
        [("app/jobs/album_download.cpp", "    return firstPage && answer.Exists(\"data.total\") && answer.GetInteger(\"data.total\") == 0;",
          "    return answer.Exists(\"data.total\");")],
        E2E, "EndToEndHostile.ErrorObjectPage*"),
    "reader-takes-an-unclosed-text": (
        "a JSON text that ends inside an object or array reads as complete: a page cut off yet sent whole is believed",
        [("text/json_reader.cpp", "    if (!ok || stack_.count() != 0) {", "    if (!ok) {")],
        "json_test|" + E2E, "JsonReader.*:EndToEndHostile.ErrorObject*"),
}


def tracked_files(tree):
    listed = subprocess.run(["git", "-C", str(tree), "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                            check=True, capture_output=True).stdout.decode("utf-8").split("\0")
    return [name for name in listed if name and (Path(tree) / name).is_file()]


def copy_tree(source, scratch):
    source, scratch = Path(source), Path(scratch)
    for name in tracked_files(source):
        target = scratch / name
        if target.is_file() and target.read_bytes() == (source / name).read_bytes():
            continue  # unchanged: kept with its time, so the build does not redo it
        target.parent.mkdir(parents=True, exist_ok=True)
        # Given the time of the copy, not the source's: a file left broken by a run that was cut
        # short is newer than its source, and the build would keep the broken object.
        shutil.copyfile(source / name, target)
        shutil.copymode(source / name, target)


def apply(name, scratch):
    _, edits, regex, gtest_filter = BREAKS[name]
    texts = {}
    for file, old, new in edits:
        path = Path(scratch) / file
        text = texts.get(file, path.read_text(encoding="utf-8"))
        if text.count(old) != 1:
            print(f"{file}: the text to break is found {text.count(old)} times", file=sys.stderr)
            return 1
        texts[file] = text.replace(old, new)
    for file, text in texts.items():
        (Path(scratch) / file).write_text(text, encoding="utf-8")
    print(regex)
    print(gtest_filter)
    return 0


def restore(name, source, scratch):
    # Copied without its time: the file is newer than the broken build of it, so it is rebuilt.
    for file in {edit[0] for edit in BREAKS[name][1]}:
        shutil.copyfile(Path(source) / file, Path(scratch) / file)
    return 0


def union(names):
    chosen = [BREAKS[name] for name in names or BREAKS]
    regexes = sorted({regex for _, _, regex, _ in chosen})
    filters = [f for _, _, _, f in chosen]
    # An executable without a filter of its own runs everything; "*" keeps that in the union.
    print("|".join(regexes))
    print("*" if "" in filters else ":".join(sorted(set(filters))))
    return 0


def main(argv):
    command = argv[1] if len(argv) > 1 else "list"
    if command == "list":
        for name, (why, _, regex, gtest_filter) in BREAKS.items():
            print(f"{name:36} {why}  [{regex}{' ' + gtest_filter if gtest_filter else ''}]")
        return 0
    if command == "copy":
        copy_tree(argv[2], argv[3])
        return 0
    if command == "apply":
        return apply(argv[2], argv[3])
    if command == "restore":
        return restore(argv[2], argv[3], argv[4])
    if command == "union":
        return union(argv[2:])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
