// The leak check at the end of a sanitizer build, with the thread-local block of a library loaded
// at run time lying 16 bytes past a page boundary, where the runtime's guess of the block's
// extent reads the allocator's header in front of it (see sanitizer_defaults.cpp). The check must
// end cleanly. Run without a quarantine of freed blocks, so that the block freed here is the next
// one of its size that malloc hands out on this thread.
//
//   sanitizer_defaults_test <the library built from sanitizer_defaults_test_module.cpp>
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    void* lib = argc == 2 ? dlopen(argv[1], RTLD_NOW) : nullptr;
    auto* use = lib ? reinterpret_cast<void* (*)()>(dlsym(lib, "UseThreadLocal")) : nullptr;
    if (use == nullptr) {
        std::fprintf(stderr, "no library to load: %s\n", lib ? dlerror() : "");
        return 2;
    }
    // Blocks of the thread-local block's size until one starts 16 bytes past a page boundary;
    // that one is freed and taken by glibc for the block.
    std::vector<void*> kept;
    kept.reserve(4096);
    void* spot = nullptr;
    while (spot == nullptr && kept.size() < 4096) {
        void* p = std::malloc(sizeof(void*));
        if (reinterpret_cast<std::uintptr_t>(p) % 4096 == 16) {
            spot = p;
        } else {
            kept.push_back(p);
        }
    }
    const auto at = reinterpret_cast<std::uintptr_t>(spot);
    std::free(spot);
    const auto block = reinterpret_cast<std::uintptr_t>(use());
    for (void* p : kept) {
        std::free(p);
    }
    if (at == 0 || block != at) {
        std::fprintf(stderr, "the thread-local block is at %#zx, not at %#zx\n", block, at);
        return 3;
    }
    return 0;  // the leak check runs now
}
