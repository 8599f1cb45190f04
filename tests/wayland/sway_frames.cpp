// Every frame of a wlroots compositor (sway) that changes a part of the screen, as the
// compositor itself captures it (screencopy, each capture waiting for the next frame with a
// change there): one line a frame, "<time> <pixels>", the time in milliseconds of the
// monotonic clock at which the compositor committed the frame and the number of pixels of the
// part that are pure green (where a test's letters are green), for the given number of seconds.
// A frame shown for longer than the compositor's refresh period leaves no line for the frames
// that repeat it.
//
//   WAYLAND_DISPLAY=... sway_frames <x> <y> <width> <height> <seconds>
#include "screencopy-v1-client-protocol.h"

#include <wayland-client.h>

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct State {
    wl_shm* shm = nullptr;
    wl_output* output = nullptr;
    zwlr_screencopy_manager_v1* manager = nullptr;
    // The buffer the frames are copied into, made for the first frame.
    wl_buffer* buffer = nullptr;
    unsigned char* pixels = nullptr;
    std::uint32_t width = 0, height = 0, stride = 0;
    zwlr_screencopy_frame_v1* frame = nullptr;
    bool done = false;  // the current frame was copied or failed
};

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    auto* s = static_cast<State*>(data);
    if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        s->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, wl_output_interface.name) == 0 && s->output == nullptr) {
        s->output =
            static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1));
    } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0 &&
               version >= 2) {
        s->manager = static_cast<zwlr_screencopy_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, 2));
    }
}
void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemove};

bool MakeBuffer(State* s, std::uint32_t format) {
    const std::size_t size = static_cast<std::size_t>(s->stride) * s->height;
    const int fd = memfd_create("sway_frames", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
        return false;
    }
    void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        close(fd);
        return false;
    }
    s->pixels = static_cast<unsigned char*>(map);
    wl_shm_pool* pool = wl_shm_create_pool(s->shm, fd, static_cast<std::int32_t>(size));
    s->buffer = wl_shm_pool_create_buffer(pool, 0, static_cast<std::int32_t>(s->width),
                                          static_cast<std::int32_t>(s->height),
                                          static_cast<std::int32_t>(s->stride), format);
    wl_shm_pool_destroy(pool);
    close(fd);
    return true;
}

void OnBuffer(void* data, zwlr_screencopy_frame_v1* frame, std::uint32_t format,
              std::uint32_t width, std::uint32_t height, std::uint32_t stride) {
    auto* s = static_cast<State*>(data);
    if (s->buffer == nullptr) {
        s->width = width;
        s->height = height;
        s->stride = stride;
        if (!MakeBuffer(s, format)) {
            std::fprintf(stderr, "sway_frames: no buffer\n");
            std::exit(1);
        }
    }
    zwlr_screencopy_frame_v1_copy_with_damage(frame, s->buffer);
}
void OnFlags(void*, zwlr_screencopy_frame_v1*, std::uint32_t) {}
void OnReady(void* data, zwlr_screencopy_frame_v1*, std::uint32_t secHi, std::uint32_t secLo,
             std::uint32_t nsec) {
    auto* s = static_cast<State*>(data);
    // 32-bit XRGB/ARGB in little-endian order: blue, green, red, alpha.
    long green = 0;
    for (std::uint32_t y = 0; y < s->height; ++y) {
        const unsigned char* p = s->pixels + static_cast<std::size_t>(y) * s->stride;
        for (std::uint32_t x = 0; x < s->width; ++x, p += 4) {
            green += (p[0] < 60 && p[1] > 200 && p[2] < 60) ? 1 : 0;
        }
    }
    const double sec = static_cast<double>((static_cast<std::uint64_t>(secHi) << 32) | secLo);
    std::printf("%.3f %ld\n", sec * 1000.0 + nsec / 1e6, green);
    std::fflush(stdout);
    s->done = true;
}
void OnFailed(void* data, zwlr_screencopy_frame_v1*) {
    static_cast<State*>(data)->done = true;
}
void OnDamage(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t,
              std::uint32_t) {}
void OnDmabuf(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {}
void OnBufferDone(void*, zwlr_screencopy_frame_v1*) {}
const zwlr_screencopy_frame_v1_listener kFrame = {OnBuffer, OnFlags,  OnReady,     OnFailed,
                                                  OnDamage, OnDmabuf, OnBufferDone};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: sway_frames <x> <y> <width> <height> <seconds>\n");
        return 2;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "sway_frames: no Wayland display\n");
        return 1;
    }
    State s;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistry, &s);
    wl_display_roundtrip(display);
    if (s.manager == nullptr || s.shm == nullptr || s.output == nullptr) {
        std::fprintf(stderr, "sway_frames: the compositor offers no screen capture\n");
        return 1;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[5]));
    while (std::chrono::steady_clock::now() < end) {
        s.done = false;
        s.frame = zwlr_screencopy_manager_v1_capture_output_region(
            s.manager, 0, s.output, std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3]),
            std::atoi(argv[4]));
        zwlr_screencopy_frame_v1_add_listener(s.frame, &kFrame, &s);
        // Waits for the frame, but not past the end: nothing may change there for a while.
        while (!s.done && std::chrono::steady_clock::now() < end) {
            while (wl_display_prepare_read(display) != 0) {
                wl_display_dispatch_pending(display);
            }
            wl_display_flush(display);
            pollfd pfd{wl_display_get_fd(display), POLLIN, 0};
            if (poll(&pfd, 1, 100) > 0) {
                wl_display_read_events(display);
            } else {
                wl_display_cancel_read(display);
            }
            wl_display_dispatch_pending(display);
        }
        zwlr_screencopy_frame_v1_destroy(s.frame);
    }
    if (s.buffer != nullptr) {
        wl_buffer_destroy(s.buffer);
    }
    zwlr_screencopy_manager_v1_destroy(s.manager);
    wl_output_destroy(s.output);
    wl_shm_destroy(s.shm);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return 0;
}
