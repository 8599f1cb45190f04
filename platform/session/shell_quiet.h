// What GNOME Shell alone knows, told by kestrane's own extension on the session bus
// (org.kestrane.Flash at /org/kestrane/Flash, Version 2 and later): the monitors that have a
// full-screen window in front (native Wayland windows too, which the shell shows to no other
// client), whether the screen is shared or recorded, and the shell's Do Not Disturb. Each is a
// property read when the extension appears and followed through PropertiesChanged, whichever
// way the flash takes to the screen (the extension may be there while XWayland draws). An
// extension that is missing, older, slow or errs says nothing, and nothing here holds.
#pragma once

#include "platform/session/full_screen_source.h"

#include <QList>
#include <QRect>

#include <functional>

namespace platform::session {

class BusProperty;

// A full-screen window on one of the shell's monitors, on the screen of the same place: the
// first such screen that counts, else the first.
class ShellFullScreenWatch : public FullScreenSource {
    Q_OBJECT
  public:
    // counts: as FullScreenSource takes it.
    explicit ShellFullScreenWatch(std::function<bool(QScreen*)> counts = {},
                                  QObject* parent = nullptr);

    void Start() override;

  private:
    void Look();

    std::function<bool(QScreen*)> counts_;
    BusProperty* monitors_;
    QList<QRect> monitorRects_;  // the monitors with a full-screen window
};

// One of the extension's flags (Shared, DoNotDisturb), with the reason it gives while on.
class ShellFlagWatch : public QuietSource {
    Q_OBJECT
  public:
    ShellFlagWatch(const QString& property, QString reason, QObject* parent = nullptr);

    void Start() override;
    QString Reason() const override;

  private:
    BusProperty* flag_;
    QString reason_;
    bool on_ = false;
};

}  // namespace platform::session
