#include "app/program_lifetime.h"

#include <ole2.h>

#include "app/app_state.h"
#include "app/jobs.h"
#include "app/main_window.h"
#include "ui/application.h"

namespace {

// S_OK and S_FALSE (already initialised on this thread) both take one OleUninitialize.
bool gOleStarted = false;

} // namespace

bool startProgram(HINSTANCE instance, const std::string& saveFolder)
{
    // OLE, not bare COM: the folder dialog's new style also offers drag and drop.
    gOleStarted = SUCCEEDED(OleInitialize(nullptr));
    Application::Initialise(instance);
    downloadPool().start(1, 5);
    statusLock().create(false, "");
    appState().saveFolder.set(saveFolder);
    return gOleStarted;
}

void endProgram()
{
    // Jobs are told to stop and given a moment; the pool drops what is still queued.
    const bool jobsEnded = stopAllJobs(3000);
    const bool poolEnded = downloadPool().stop(0, 5000, true);
    if (!jobsEnded || !poolEnded) return;
    destroyMainWindow();
    Application::Shutdown();
    // The last COM object (pictures' streams, shell item lists) went with the window.
    if (gOleStarted) OleUninitialize();
    gOleStarted = false;
}
