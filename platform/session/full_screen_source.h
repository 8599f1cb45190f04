// What the full-screen sources share (an X window manager's active window, a Wayland
// compositor's toplevels): the screen of the full-screen window in front, and whether that
// screen keeps the messages away.
#pragma once

#include "platform/session/quiet_source.h"

#include <QPointer>
#include <QScreen>

#include <functional>

namespace platform::session {

class FullScreenSource : public QuietSource {
    Q_OBJECT
  public:
    // counts: whether a full-screen window on this screen keeps the messages away (the
    // screen they go to); asked at each change. Empty: any screen counts.
    explicit FullScreenSource(std::function<bool(QScreen*)> counts, QObject* parent = nullptr);

    QString Reason() const override;
    // The screen of the full-screen window in front; null when there is none. Changed is also
    // emitted when only this changes.
    QScreen* Screen() const { return screen_; }
    // Looks again whether the screen counts (the user chose another screen).
    void Recheck();

  protected:
    // The full-screen window in front is on this screen now (null: there is none).
    void SetScreen(QScreen* screen);

  private:
    std::function<bool(QScreen*)> counts_;
    QPointer<QScreen> screen_;
    bool quiet_ = false;
};

}  // namespace platform::session
