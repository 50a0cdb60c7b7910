// What a job may do to the window, and nothing more. Every call is safe from any thread: the
// window's side carries it to the window's thread, or reaches the controls through handles taken
// there when the window was made. While no window is connected (before it is made, after it is
// gone) every call does nothing.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "app/core/job_threads.h"

class ImageObject;

// How an album's row shows its download: the index of its state image.
enum class AlbumState { NotDownloaded = 1, Complete = 2, Incomplete = 3 };

class JobWindow {
public:
    // The status line, written under the status lock.
    virtual void setStatus(std::wstring_view text) = 0;
    // The same for a caller that already holds the status lock (a StatusHold in scope).
    virtual void setStatusHeld(std::wstring_view text) = 0;
    // The analyse and browse buttons, enabled again at the end of a download.
    virtual void enableJobButtons(bool enabled) = 0;
    // The homepage typed in the edit field.
    virtual std::string homepageText() = 0;
    // A new picture on the sign-in page: the QR code (scaled by whole pixels, so it stays
    // readable) or the avatar (scaled smoothly).
    virtual void showSignInPicture(const ImageObject& image, bool smooth) = 0;
    // A row of the album list with its cover as fetched (no picture: a grey square); dropped when
    // `job` has been replaced by then.
    virtual void addAlbumRow(const JobContext& job, std::wstring_view text, const ImageObject& cover) = 0;
    // The state image of the album's row (0-based); nothing when `job` has been replaced by then.
    virtual void showAlbumState(const JobContext& job, int row, AlbumState state) = 0;
    // Runs `step` on the window's thread, the caller waiting, only while `job` is still the
    // current job of its kind there: a replaced job's last steps (its final line, the buttons,
    // the album folder) never land after its successor's first ones.
    virtual void whileCurrent(const JobContext& job, const std::function<void()>& step) = 0;
    // The download's progress or pause changed: the window looks again at what it shows outside
    // itself (the taskbar button). Returns at once; while one look waits in the window's queue,
    // further calls add none, so a fast download cannot flood it.
    virtual void downloadMoved() = 0;
    // The download ended with `finalLine`: the taskbar button says whether it is `whole`, and a
    // user busy elsewhere hears of it. A line that is empty tells nobody (no album was there).
    virtual void downloadEnded(bool whole, std::string_view finalLine) = 0;

protected:
    ~JobWindow() = default;
};

// The window the jobs talk to: connected by the window before any job starts, disconnected
// (null) once every job has ended.
void connectJobWindow(JobWindow* window);
bool jobWindowConnected();

// Program text (code page 936) or any text.
void setStatus(std::string_view text);
void setStatus(std::wstring_view text);
void setStatusHeld(std::string_view text);
void setStatusHeld(std::wstring_view text);
void enableJobButtons(bool enabled);
std::string homepageText();
void showSignInPicture(const ImageObject& image, bool smooth = false);
void addAlbumRow(const JobContext& job, std::wstring_view text, const ImageObject& cover);
void showAlbumState(const JobContext& job, int row, AlbumState state);
void whileCurrentOnWindow(const JobContext& job, const std::function<void()>& step);
void downloadMoved();
void downloadEnded(bool whole, std::string_view finalLine);
