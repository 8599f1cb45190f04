// A library loaded at run time whose thread-local storage holds a heap block: glibc allocates a
// thread's block of that storage with malloc at the first use in that thread, as it does for the
// tray library's.
#include <cstdlib>

thread_local void* t_held;

extern "C" __attribute__((visibility("default"))) void* UseThreadLocal() {
    void** slot = &t_held;
    *slot = std::malloc(64);
    return slot;
}
