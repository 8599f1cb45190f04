// Whether a full-screen window is in front, on X11 and XWayland: the window manager's active
// window (_NET_ACTIVE_WINDOW on the root window) with _NET_WM_STATE_FULLSCREEN in its
// _NET_WM_STATE, and the screen its middle is on. Followed through property-change events on
// a connection of its own to the X server (never polled); where there is no X server, or the
// window manager does not say which window is active, nothing counts as full-screen.
//
// Only the active window counts: a full-screen video left behind another window is not in
// the way.
#pragma once

#include "platform/session/full_screen_source.h"

#include <functional>
#include <memory>

namespace platform::session {

class FullScreenWatch : public FullScreenSource {
    Q_OBJECT
  public:
    // counts: as FullScreenSource takes it.
    explicit FullScreenWatch(std::function<bool(QScreen*)> counts = {}, QObject* parent = nullptr);
    ~FullScreenWatch() override;

    void Start() override;

  private:
    struct X;
    void Read();
    void Follow();

    std::unique_ptr<X> x_;
};

}  // namespace platform::session
