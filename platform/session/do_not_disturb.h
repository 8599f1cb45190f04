// Whether the desktop's Do Not Disturb is on, from two sources, either of which says "on":
//   - the notification service on the session bus (org.freedesktop.Notifications): its
//     property Inhibited (KDE Plasma sets it under Do Not Disturb and while the screen is
//     shared), read when the service appears and followed through PropertiesChanged;
//   - GNOME's setting org.gnome.desktop.notifications show-banners (off: Do Not Disturb),
//     through GSettings where its schema is installed, followed through its change signal.
//     GSettings reports on the GLib main loop, which Qt's event loop runs on Linux.
// Asked without waiting; a service that is missing, slow or errs, or a missing schema, counts
// as off.
#pragma once

#include "platform/session/quiet_source.h"

namespace platform::session {

class BusProperty;

class DoNotDisturb : public QuietSource {
    Q_OBJECT
  public:
    explicit DoNotDisturb(QObject* parent = nullptr);
    ~DoNotDisturb() override;

    void Start() override;
    QString Reason() const override;

  private:
    void WatchGnome();
    void ReadGnome();
    void Report();

    BusProperty* inhibited_;  // the notification service's Inhibited
    bool serviceInhibited_ = false;
    bool noBanners_ = false;  // GNOME's show-banners is off
    bool quiet_ = false;
    void* settings_ = nullptr;  // the GSettings object, when the schema is there
    unsigned long handler_ = 0;
};

}  // namespace platform::session
