#include "app/jobs/job_window.h"

#include <atomic>

#include "text/encoding.h"

namespace {

std::atomic<JobWindow*> gWindow{nullptr};

} // namespace

void connectJobWindow(JobWindow* window) { gWindow = window; }

bool jobWindowConnected() { return gWindow != nullptr; }

void setStatus(std::string_view text) { setStatus(std::wstring_view(toUtf16(text))); }

void setStatus(std::wstring_view text)
{
    if (JobWindow* window = gWindow) window->setStatus(text);
}

void setStatusHeld(std::string_view text) { setStatusHeld(std::wstring_view(toUtf16(text))); }

void setStatusHeld(std::wstring_view text)
{
    if (JobWindow* window = gWindow) window->setStatusHeld(text);
}

void enableJobButtons(bool enabled)
{
    if (JobWindow* window = gWindow) window->enableJobButtons(enabled);
}

std::string homepageText()
{
    JobWindow* window = gWindow;
    return window ? window->homepageText() : std::string();
}

void showSignInPicture(const ImageObject& image, bool smooth)
{
    if (JobWindow* window = gWindow) window->showSignInPicture(image, smooth);
}

void addAlbumRow(const JobContext& job, std::wstring_view text, const ImageObject& cover)
{
    if (JobWindow* window = gWindow) window->addAlbumRow(job, text, cover);
}

void showAlbumState(const JobContext& job, int row, AlbumState state)
{
    if (JobWindow* window = gWindow) window->showAlbumState(job, row, state);
}

void whileCurrentOnWindow(const JobContext& job, const std::function<void()>& step)
{
    if (JobWindow* window = gWindow) window->whileCurrent(job, step);
}

void downloadMoved()
{
    if (JobWindow* window = gWindow) window->downloadMoved();
}

void downloadEnded(bool whole, std::string_view finalLine)
{
    if (JobWindow* window = gWindow) window->downloadEnded(whole, finalLine);
}
