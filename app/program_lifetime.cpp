#include "app/program_lifetime.h"

#include <ole2.h>

#include "app/app_state.h"
#include "app/jobs.h"
#include "app/main_window.h"
#include "app/runtime.h"
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
    runtime();  // the shared objects, before any thread that uses them
    allowJobs();  // a run of the program that ended before in this process stopped them
    downloadPool().start(1, 5);
    statusLock().create(false, "");
    appState().saveFolder.set(saveFolder);
    return gOleStarted;
}

bool endProgram(unsigned budgetMs)
{
    if (!endRuntime(budgetMs)) return false;
    Application::Shutdown();
    // The last COM object (pictures' streams, shell item lists) went with the window.
    if (gOleStarted) OleUninitialize();
    gOleStarted = false;
    return true;
}
