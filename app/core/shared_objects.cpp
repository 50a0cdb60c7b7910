#include "app/core/shared_objects.h"

#include <memory>
#include <windows.h>

#include "tasks/message_pump.h"

namespace {

std::unique_ptr<SharedObjects> gShared;

SharedObjects& shared()
{
    // Made on the GUI thread at start-up, before any other thread of the program exists.
    makeSharedObjects();
    return *gShared;
}

} // namespace

void makeSharedObjects()
{
    if (!gShared) gShared = std::make_unique<SharedObjects>();
}

void destroySharedObjects() { gShared.reset(); }

AppState& appState() { return shared().state; }
AlbumStore& albumStore() { return shared().albums; }
PhotoStore& photoStore() { return shared().photos; }
WrittenPictures& writtenPictures() { return shared().written; }
ThreadPool& downloadPool() { return shared().pool; }
Semaphore& pictureSlots() { return shared().pictureSlots; }
Mutex& statusLock() { return shared().statusLock; }

StatusHold::StatusHold()
{
    // An abandoned lock is owned all the same: the worker that held it is gone.
    if (void* lock = statusLock().getHandle()) held_ = waitServing(lock);
}

StatusHold::~StatusHold()
{
    if (held_) ReleaseMutex(statusLock().getHandle());
}
