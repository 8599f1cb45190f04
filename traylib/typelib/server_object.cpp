#include "traylib/typelib/server_object.h"

#include <atomic>

namespace quorvil {

namespace {

// Objects are made and released on any thread (they live on the GUI thread, their clients
// may not).
std::atomic<LONG> gLiveObjects = 0;
std::atomic<LONG> gServerLocks = 0;

}  // namespace

void ObjectCreated() {
    ++gLiveObjects;
}
void ObjectDestroyed() {
    --gLiveObjects;
}

void LockModule(bool lock) {
    if (lock) {
        ++gServerLocks;
    } else {
        LONG locks = gServerLocks.load();
        while (locks > 0 && !gServerLocks.compare_exchange_weak(locks, locks - 1)) {
        }
    }
}

LONG LiveObjects() {
    return gLiveObjects;
}
LONG ServerLocks() {
    return gServerLocks;
}

}  // namespace quorvil
