// Whether a full-screen window is in front, on X11 and XWayland: the window manager's active
// window (_NET_ACTIVE_WINDOW on the root window) with _NET_WM_STATE_FULLSCREEN in its
// _NET_WM_STATE, and the screen its middle is on. Followed through property-change events on
// a connection of its own to the X server (never polled); where there is no X server, or the
// window manager does not say which window is active, nothing counts as full-screen.
//
// Only the active window counts: a full-screen video left behind another window is not in
// the way.
#pragma once

#include "platform/session/quiet_source.h"

#include <QPointer>
#include <QScreen>

#include <functional>
#include <memory>

namespace platform::session {

class FullScreenWatch : public QuietSource {
    Q_OBJECT
  public:
    // counts: whether a full-screen window on this screen keeps the messages away (the
    // screen they go to); asked at each change. Empty: any screen counts.
    explicit FullScreenWatch(std::function<bool(QScreen*)> counts = {}, QObject* parent = nullptr);
    ~FullScreenWatch() override;

    void Start() override;
    QString Reason() const override;

    // The screen of the active full-screen window; null when there is none. Changed is also
    // emitted when only this changes.
    QScreen* Screen() const { return screen_; }
    // Looks again whether the screen counts (the user chose another screen).
    void Recheck();

  private:
    struct X;
    void Read();
    void Follow();

    std::function<bool(QScreen*)> counts_;
    std::unique_ptr<X> x_;
    QPointer<QScreen> screen_;
    bool quiet_ = false;
};

}  // namespace platform::session
