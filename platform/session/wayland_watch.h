// A Wayland connection of a watcher's own, for following what a compositor tells through a
// protocol (windows' states, outputs): connected to the compositor WAYLAND_DISPLAY names, its
// events read as they arrive on the socket (never waited for) and what they asked for sent at
// once. It holds the display, its registry and the sync that tells when every global has been
// told; the protocol objects bound from the registry are the watcher's, to be destroyed before
// this is (declare it first among their holder's members).
#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;
struct wl_callback;
struct wl_display;
struct wl_registry;
struct wl_registry_listener;

namespace platform::session {

class WaylandWatch {
  public:
    WaylandWatch();
    ~WaylandWatch();
    WaylandWatch(const WaylandWatch&) = delete;
    WaylandWatch& operator=(const WaylandWatch&) = delete;

    // Connects and asks for the globals, told to `globals` with `data`; `listed` runs once they
    // all have been. False where WAYLAND_DISPLAY names no compositor (without the name
    // wl_display_connect would try wayland-0) or none answers there.
    bool Open(const wl_registry_listener* globals, void* data, std::function<void()> listed);

    // From now on `read` runs after each batch of events, with false once the compositor has
    // gone; it may destroy this.
    void Follow(QObject* context, std::function<void(bool)> read);

  private:
    bool Dispatch();
    static void Listed(void* data, wl_callback* callback, uint32_t);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_callback* listed_ = nullptr;
    std::function<void()> onListed_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace platform::session
