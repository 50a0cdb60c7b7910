// The objects the program's threads share, with one owner and one order of destruction: the
// status lock, the state record, the album and photo stores, the pictures written in this run and
// the download pool. The shell makes them at start-up, before any other thread of the program
// exists, and destroys them only once no thread that could use them is left. Members are
// destroyed in reverse order of declaration: the pool first (its tasks read the stores and the
// state), then the stores, the state and last the status lock, which the others' clean-up may
// still take.
#pragma once

#include "app/core/album_store.h"
#include "app/core/app_state.h"
#include "app/core/photo_store.h"
#include "app/core/written_pictures.h"
#include "tasks/mutex.h"
#include "tasks/semaphore.h"
#include "tasks/thread_pool.h"

// At most this many pictures are in flight at once. The download pool has more workers than that:
// while five wait for their answers, the others write what came and make their next requests ready.
// Guarded by EndToEndLimits.PicturesInFlightNeverPassFive.
constexpr long kPicturesInFlight = 5;
constexpr int kDownloadWorkers = 8;

struct SharedObjects {
    SharedObjects() : photos(state) {}
    SharedObjects(const SharedObjects&) = delete;
    SharedObjects& operator=(const SharedObjects&) = delete;

    Mutex statusLock;
    AppState state;
    AlbumStore albums;
    PhotoStore photos;
    WrittenPictures written;
    Semaphore pictureSlots{kPicturesInFlight};
    ThreadPool pool;
};

// Makes the shared objects (once; later calls keep them).
void makeSharedObjects();
// Destroys them; only when no thread that could use them is left.
void destroySharedObjects();

// The shared objects, handed out to every thread; made before the first use.
AppState& appState();
AlbumStore& albumStore();
PhotoStore& photoStore();
WrittenPictures& writtenPictures();
ThreadPool& downloadPool();
// The places of the pictures in flight (kPicturesInFlight of them).
Semaphore& pictureSlots();
// The one lock of the program: status line writes and picture box changes from other threads.
Mutex& statusLock();

// Holds the status lock for a scope. While it waits, the thread still answers messages sent to
// its windows: a worker that holds the lock may be waiting for the window to take its status
// text, and a window thread that stopped answering would hang both.
class StatusHold {
public:
    StatusHold();
    ~StatusHold();
    StatusHold(const StatusHold&) = delete;
    StatusHold& operator=(const StatusHold&) = delete;

private:
    bool held_ = false;
};
