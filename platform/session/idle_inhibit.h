// GNOME's stand-in for a full-screen window: GNOME Shell shows its native Wayland windows to no
// other client, but video players, games and presentation tools ask the session manager not
// to count the session idle while they play. So while org.gnome.SessionManager's property
// InhibitedActions holds the idle flag (8), a full-screen window is taken to be in front.
// Read when the session manager appears, followed through PropertiesChanged; a session
// manager that is missing, slow or errs counts as no inhibitor.
#pragma once

#include "platform/session/quiet_source.h"

namespace platform::session {

class BusProperty;

class IdleInhibitWatch : public QuietSource {
    Q_OBJECT
  public:
    explicit IdleInhibitWatch(QObject* parent = nullptr);

    void Start() override;
    QString Reason() const override;

  private:
    BusProperty* actions_;
    bool quiet_ = false;
};

}  // namespace platform::session
