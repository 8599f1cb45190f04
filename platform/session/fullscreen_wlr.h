// Whether a full-screen window is in front, on wlroots compositors (sway and others): the
// foreign-toplevel protocol (zwlr_foreign_toplevel_manager_v1) tells every toplevel's state,
// native Wayland windows and XWayland ones alike; the activated one with the fullscreen state
// counts, on the screen of the output it is on. Followed through the protocol's events on a
// Wayland connection of its own, read as they arrive (never waited for); where WAYLAND_DISPLAY
// names no compositor, or it does not offer the protocol, nothing counts as full-screen.
#pragma once

#include "platform/session/full_screen_source.h"

#include <functional>
#include <memory>

namespace platform::session {

class WlrFullScreenWatch : public FullScreenSource {
    Q_OBJECT
  public:
    // counts: as FullScreenSource takes it.
    explicit WlrFullScreenWatch(std::function<bool(QScreen*)> counts = {},
                                QObject* parent = nullptr);
    ~WlrFullScreenWatch() override;

    void Start() override;

    struct W;  // the connection and what it was told, for the protocol's listeners

  private:
    void Read(bool read);
    void Look();

    std::unique_ptr<W> w_;
};

}  // namespace platform::session
