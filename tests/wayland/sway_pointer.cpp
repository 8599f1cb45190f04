// A pointer device of our own in a wlroots compositor (sway): clicks that the compositor routes
// like a real mouse's, to whichever surface is under the point, never XTEST inside XWayland.
// Reads commands from its standard input, one a line, and answers each with "ok" once the
// compositor has taken it:
//   click <x> <y>    move to the point (output pixels) and press and release the left button
//   move <x> <y>     move only
//
//   WAYLAND_DISPLAY=... sway_pointer <width> <height>
#include "virtual-pointer-v1-client-protocol.h"

#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr unsigned kLeftButton = 0x110;  // BTN_LEFT

struct Globals {
    wl_seat* seat = nullptr;
    zwlr_virtual_pointer_manager_v1* manager = nullptr;
};

void OnGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
              std::uint32_t) {
    auto* g = static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && g->seat == nullptr) {
        g->seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        g->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    }
}
void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemove};

std::uint32_t Now() {
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: sway_pointer <width> <height>\n");
        return 2;
    }
    const auto width = static_cast<std::uint32_t>(std::stoul(argv[1]));
    const auto height = static_cast<std::uint32_t>(std::stoul(argv[2]));
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "sway_pointer: no Wayland display\n");
        return 1;
    }
    Globals g;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistry, &g);
    wl_display_roundtrip(display);
    if (g.manager == nullptr) {
        std::fprintf(stderr, "sway_pointer: the compositor offers no virtual pointers\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g.manager, g.seat);
    wl_display_roundtrip(display);
    std::printf("ready\n");
    std::fflush(stdout);

    char line[256];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        char verb[16] = {};
        unsigned x = 0, y = 0;
        if (std::sscanf(line, "%15s %u %u", verb, &x, &y) != 3) {
            continue;
        }
        zwlr_virtual_pointer_v1_motion_absolute(pointer, Now(), x, y, width, height);
        zwlr_virtual_pointer_v1_frame(pointer);
        if (std::strcmp(verb, "click") == 0) {
            // Moved first, in a frame of its own, so the press goes to the surface now under it.
            wl_display_roundtrip(display);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            zwlr_virtual_pointer_v1_button(pointer, Now(), kLeftButton,
                                           WL_POINTER_BUTTON_STATE_PRESSED);
            zwlr_virtual_pointer_v1_frame(pointer);
            zwlr_virtual_pointer_v1_button(pointer, Now(), kLeftButton,
                                           WL_POINTER_BUTTON_STATE_RELEASED);
            zwlr_virtual_pointer_v1_frame(pointer);
        }
        wl_display_roundtrip(display);
        std::printf("ok\n");
        std::fflush(stdout);
    }
    zwlr_virtual_pointer_v1_destroy(pointer);
    zwlr_virtual_pointer_manager_v1_destroy(g.manager);
    if (g.seat != nullptr) {
        wl_seat_destroy(g.seat);
    }
    wl_registry_destroy(registry);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
