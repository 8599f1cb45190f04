// Whether the desktop session is locked, as the desktop tells it over D-Bus, so that nothing
// is flashed over a lock screen.
//
// Two sources, either of which says "locked":
//   - logind (org.freedesktop.login1 on the system bus): the Session object of this program's
//     session (XDG_SESSION_ID, else logind's "auto", the caller's session or the user's
//     display session), its property LockedHint (set by GNOME, KDE Plasma and other desktops'
//     lock screens) with PropertiesChanged, and its Lock and Unlock signals, which ask the
//     session's locker to lock or unlock (`loginctl lock-session`, an idle or lid action). A
//     Lock counts as locked from that moment until an Unlock or until LockedHint or a screen
//     saver reports again.
//   - the desktop's screen saver on the session bus, for desktops whose locker does not tell
//     logind: org.freedesktop.ScreenSaver (KDE Plasma, XFCE) and org.gnome.ScreenSaver
//     (GNOME), their ActiveChanged signal and GetActive. A screen saver that leaves the bus, or
//     does not answer, counts as inactive.
//
// Every question is asked without waiting for the answer, so start-up is never held up; where
// there is no bus (or no system bus socket at all, which is not even tried) or nobody answers,
// the session counts as unlocked. The system bus is the one libdbus finds: the standard socket,
// or DBUS_SYSTEM_BUS_ADDRESS when that is set.
#pragma once

#include "platform/session/quiet_source.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace platform::session {

class LockWatch : public QuietSource {
    Q_OBJECT
  public:
    // Changed is emitted on the GUI thread each time the locked state changes (never with the
    // state it already had; the state starts unlocked).
    explicit LockWatch(QObject* parent = nullptr);

    // Connects to the buses and asks the first questions; the answers come later.
    void Start() override;

    bool Locked() const { return locked_; }
    QString Reason() const override;

  private slots:
    void OnSessionProperties(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);
    void OnLock();
    void OnUnlock();
    void OnFreedesktopSaver(bool active);
    void OnGnomeSaver(bool active);

  private:
    void WatchLogind();
    void FindSession(const QStringList& ids);
    void ReadLockedHint();
    void WatchSavers();
    void AskSaver(int which);
    void SaverSaid(int which, bool active);
    void SetSaver(int which, bool active);
    void Report();

    QString sessionPath_;
    bool hint_ = false;       // logind's LockedHint
    bool requested_ = false;  // a Lock signal not yet answered by any report
    bool savers_[2] = {false, false};
    int hintReports_ = 0;  // LockedHint changes seen, so that an older answer is not applied
    bool locked_ = false;
};

}  // namespace platform::session
