#include "app/runtime.h"

#include <windows.h>

#include "app/jobs.h"
#include "app/main_window.h"
#include "net/http_client.h"

namespace {

AppRuntime* gRuntime = nullptr;

} // namespace

AppRuntime::AppRuntime() = default;
AppRuntime::~AppRuntime() = default;

AppRuntime& runtime()
{
    // Made on the GUI thread at start-up, before any other thread of the program exists.
    if (!gRuntime) gRuntime = new AppRuntime();
    return *gRuntime;
}

bool endRuntime(unsigned budgetMs)
{
    const DWORD start = GetTickCount();
    stopAllJobs(0);           // every job now sees that it must stop, and its pauses wake
    HttpClient::cancelAll();  // no thread stays blocked on a server
    const auto left = [&] {
        const DWORD spent = GetTickCount() - start;
        return spent < budgetMs ? budgetMs - spent : 1;
    };
    const bool poolEnded = runtime().pool.stop(0, static_cast<int>(left()), true);
    const bool jobsEnded = stopAllJobs(left());
    if (!poolEnded || !jobsEnded) return false;
    if (gRuntime->window) destroyMainWindow();
    delete gRuntime;
    gRuntime = nullptr;
    return true;
}
