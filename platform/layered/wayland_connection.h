// A Wayland connection of the program's own, beside whatever Qt uses (the panel and the tray
// stay on X through XWayland), for the layer-shell path of the flash window (wayland_surface.h).
//
// It relies on the compositor offering wl_compositor, wl_shm and zwlr_layer_shell_v1 (the
// wlroots compositors such as sway, and KDE's KWin); wp_presentation (when the compositor
// showed a frame) and zxdg_output_manager_v1 (an output's place and size in layout coordinates) are
// used where offered. Events are read on the GUI thread: a socket notifier dispatches what arrives
// while the event loop runs, and Wait reads them itself for a bounded time while a caller waits for
// an answer.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QSocketNotifier>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct wl_compositor;
struct wl_display;
struct wl_output;
struct wl_registry;
struct wl_shm;
struct wp_presentation;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct zwlr_layer_shell_v1;

namespace platform::layered::wayland {

using Clock = std::chrono::steady_clock;

class Connection {
  public:
    // The process's connection, made on first use; nullptr when the path is switched off
    // (KESTRANE_FLASH_PATH=x11), WAYLAND_DISPLAY names no compositor, or the compositor lacks
    // one of the globals the path needs. The answer does not change afterwards.
    static Connection* Get();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    wl_display* Display() const { return display_; }
    wl_compositor* Compositor() const { return compositor_; }
    unsigned CompositorVersion() const { return compositorVersion_; }
    wl_shm* Shm() const { return shm_; }
    zwlr_layer_shell_v1* LayerShell() const { return layerShell_; }
    wp_presentation* Presentation() const { return presentation_; }

    // The output whose top left corner is at `topLeft` in the compositor's layout (the place
    // of a screen as XWayland reports it), or nullptr (the compositor then chooses).
    wl_output* OutputAt(QPoint topLeft) const;
    QPoint PositionOf(wl_output* output) const;
    // The output's scale (wl_output's, a whole number: a fractional scale is announced rounded
    // up), 1 where not told; of the first output for nullptr.
    int ScaleOf(wl_output* output) const;
    // The output's size in layout coordinates (surface-local coordinates on it), or an empty
    // size where the compositor does not say; of the first output for nullptr.
    QSize LogicalSizeOf(wl_output* output) const;
    // The frame length of an output's current mode (of the first output for nullptr), or zero.
    Clock::duration FrameOf(wl_output* output) const;

    // A presentation time stamp of the compositor's clock as a point of the steady clock.
    Clock::time_point ToSteady(long long sec, long nsec) const;

    // Sends what is queued and dispatches what has arrived, without waiting.
    void Flush();
    // Reads and dispatches events until done() holds or the deadline passes; false then, or
    // when the connection broke.
    bool Wait(Clock::time_point deadline, const std::function<bool()>& done);
    // Whether the connection still works.
    bool Ok() const;

    struct Output {
        wl_output* output = nullptr;
        std::uint32_t name = 0;
        QPoint position;
        bool placed = false;  // the position came from the layout description
        int refreshMhz = 0;
        int scale = 1;
        QSize logicalSize;
        zxdg_output_v1* layout = nullptr;  // the output's layout description
    };

    // The registry's announcements.
    static void Global(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                       std::uint32_t version);
    static void GlobalRemove(void* data, wl_registry* registry, std::uint32_t name);

  private:
    Connection() = default;
    bool Open();
    // Asks for the output's layout description, once both it and the manager are bound.
    void DescribeOutput(Output& out);
    const Output* Find(wl_output* output) const;
    // Reads what arrives within `timeout` and dispatches it.
    void Read(std::chrono::nanoseconds timeout);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_compositor* compositor_ = nullptr;
    unsigned compositorVersion_ = 0;
    wl_shm* shm_ = nullptr;
    zwlr_layer_shell_v1* layerShell_ = nullptr;
    wp_presentation* presentation_ = nullptr;
    zxdg_output_manager_v1* outputManager_ = nullptr;
    unsigned clockId_ = 1;  // CLOCK_MONOTONIC, the steady clock's, unless the compositor says
    std::vector<std::unique_ptr<Output>> outputs_;
    QPointer<QSocketNotifier> notifier_;
};

}  // namespace platform::layered::wayland
