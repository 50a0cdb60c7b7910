#include "app/shell/program_lifetime.h"

#include <ole2.h>

#include "app/core/job_threads.h"
#include "app/core/shared_objects.h"
#include "app/shell/main_window.h"
#include "net/http_client.h"
#include "ui/application.h"

namespace {

// S_OK and S_FALSE (already initialised on this thread) both take one OleUninitialize.
bool gOleStarted = false;

} // namespace

bool startProgram(HINSTANCE instance, const std::wstring& saveFolder)
{
    // OLE, not bare COM: the folder dialog's new style also offers drag and drop.
    gOleStarted = SUCCEEDED(OleInitialize(nullptr));
    Application::Initialise(instance);
    makeSharedObjects();  // before any thread that uses them
    allowJobs();  // a run of the program that ended before in this process stopped them
    downloadPool().start(1, kDownloadWorkers);
    statusLock().create(false, "");
    appState().saveFolder.set(saveFolder);
    return gOleStarted;
}

// The one order of the way out: jobs and pool, window, shared objects, GDI+, COM.
bool endProgram(unsigned budgetMs)
{
    const DWORD start = GetTickCount();
    stopAllJobs(0);           // every job now sees that it must stop, and its pauses wake
    HttpClient::cancelAll();  // no thread stays blocked on a server
    const auto left = [&] {
        const DWORD spent = GetTickCount() - start;
        return spent < budgetMs ? budgetMs - spent : 1;
    };
    const bool poolEnded = downloadPool().stop(0, static_cast<int>(left()), true);
    const bool jobsEnded = stopAllJobs(left());
    // A thread still running may yet use the window, the shared objects, GDI+ or COM.
    if (!poolEnded || !jobsEnded) return false;
    destroyMainWindow();     // it reaches every store
    destroySharedObjects();  // the pool's tasks and the jobs are gone
    Application::Shutdown();
    // The last COM object (pictures' streams, shell item lists) went with the window.
    if (gOleStarted) OleUninitialize();
    gOleStarted = false;
    return true;
}
