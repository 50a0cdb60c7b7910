// The program's long-lived objects, with one owner and one order of destruction.
//
// Everything the threads of the program share lives here: the status lock, the state record,
// the album and photo stores, the download pool and the main window. The runtime is made at the
// first use (start-up's first step) and is destroyed only by endRuntime, once no thread that
// could use it is left. Members are destroyed in reverse order of declaration: the window first
// (it reaches every store), then the pool (whose tasks read the stores and the state), then the
// stores, the state and last the status lock, which the others' clean-up may still take.
#pragma once

#include <memory>

#include "app/albums.h"
#include "app/app_state.h"
#include "app/photos.h"
#include "tasks/mutex.h"
#include "tasks/thread_pool.h"

struct MainWindow;

struct AppRuntime {
    AppRuntime();
    ~AppRuntime();
    AppRuntime(const AppRuntime&) = delete;
    AppRuntime& operator=(const AppRuntime&) = delete;

    Mutex statusLock;
    AppState state;
    AlbumStore albums;
    PhotoStore photos;
    ThreadPool pool;
    std::unique_ptr<MainWindow> window;
};

AppRuntime& runtime();

// The way out of the program: every job is told to stop, every request in flight is cancelled
// (and none starts any more), the pool drops what is queued, and the threads get `budgetMs` in
// all to end. True when they all ended: the runtime has then been destroyed. False when some
// thread still runs (a worker held by an open message box, say): the runtime is then left alone,
// and the caller ends the process without destroying anything that thread may still touch.
bool endRuntime(unsigned budgetMs);
