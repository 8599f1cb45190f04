// Whether a full-screen window is in front, on KDE Plasma's KWin (Wayland): KWin's window
// management protocol (org_kde_plasma_window_management) tells every window's state and
// geometry, native Wayland windows and XWayland ones alike; the active one with the fullscreen
// state counts, on the screen its geometry lies on. Followed through the protocol's events on a
// Wayland connection of its own, read as they arrive (never waited for). KWin offers the global
// only to programs whose desktop file lists it in X-KDE-Wayland-Interfaces (with the program's
// absolute path in Exec); where it is not offered, or WAYLAND_DISPLAY names no compositor,
// nothing counts as full-screen.
#pragma once

#include "platform/session/full_screen_source.h"

#include <functional>
#include <memory>

namespace platform::session {

class KwinFullScreenWatch : public FullScreenSource {
    Q_OBJECT
  public:
    // counts: as FullScreenSource takes it.
    explicit KwinFullScreenWatch(std::function<bool(QScreen*)> counts = {},
                                 QObject* parent = nullptr);
    ~KwinFullScreenWatch() override;

    void Start() override;

    struct W;  // the connection and what it was told, for the protocol's listeners

  private:
    void Read(bool read);
    void Look();

    std::unique_ptr<W> w_;
};

}  // namespace platform::session
