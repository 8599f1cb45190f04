#include "traylib/typelib/server_object.h"

namespace quorvil {

namespace {

// Everything runs on the client's thread, so plain counters suffice.
LONG gLiveObjects = 0;
LONG gServerLocks = 0;

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
    } else if (gServerLocks > 0) {
        --gServerLocks;
    }
}

LONG LiveObjects() {
    return gLiveObjects;
}
LONG ServerLocks() {
    return gServerLocks;
}

}  // namespace quorvil
