// Whether the desktop's Do Not Disturb is on, from four sources, any of which says "on":
//   - the notification service on the session bus (org.freedesktop.Notifications): its
//     property Inhibited (KDE Plasma sets it under Do Not Disturb and while the screen is
//     shared), read when the service appears and followed through PropertiesChanged;
//   - GNOME's setting org.gnome.desktop.notifications show-banners (off: Do Not Disturb),
//     through GSettings where its schema is installed, followed through its change signal.
//     GSettings reports on the GLib main loop, which Qt's event loop runs on Linux;
//   - dunst, as the notification service: its property paused (org.dunstproject.cmd0, what
//     dunstctl set-paused sets), read and followed through PropertiesChanged as Inhibited is;
//   - mako, as the notification service: its mode "do-not-disturb" (MakoModes).
// Asked without waiting; a service that is missing, slow or errs, or a missing schema, counts
// as off.
#pragma once

#include "platform/session/quiet_source.h"

namespace platform::session {

class BusProperty;
class MakoModes;

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
    BusProperty* paused_;     // dunst's paused
    MakoModes* mako_;
    bool serviceInhibited_ = false;
    bool dunstPaused_ = false;
    bool makoDoNotDisturb_ = false;
    bool noBanners_ = false;  // GNOME's show-banners is off
    bool quiet_ = false;
    void* settings_ = nullptr;  // the GSettings object, when the schema is there
    unsigned long handler_ = 0;
};

}  // namespace platform::session
