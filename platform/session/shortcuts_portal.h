// The start and stop key through the desktop's GlobalShortcuts portal
// (org.freedesktop.portal.GlobalShortcuts on the session bus), the way a Wayland compositor
// gives a key to a program whatever has the focus: KDE Plasma 5.27 and later, GNOME 48 and
// later. A session of the portal's holds one shortcut, bound with the user's key as its
// preferred trigger; the desktop may ask the user, and may bind another trigger instead.
//
// Every call is asynchronous and every answer awaited with a limit, so a portal that is not
// there, answers slowly or never, or refuses ends in Missing or Refused, never in a wait.
#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

namespace platform::session {

class ShortcutsPortal : public QObject {
    Q_OBJECT
  public:
    explicit ShortcutsPortal(QObject* parent = nullptr);
    ~ShortcutsPortal() override;

    // Whether the program runs in a Wayland session (WAYLAND_DISPLAY set, or the login manager's
    // XDG_SESSION_TYPE "wayland"), where an X grab reaches only the keys of X windows.
    static bool InWaylandSession();
    // The key ("Ctrl+Alt+K") as the portal's trigger text ("CTRL+ALT+k"): the modifiers
    // CTRL, ALT, SHIFT and LOGO, then the X keysym's name.
    static QString TriggerOf(const QString& key);

    // Ends the session held so far and binds this key in a new one (empty: none); the answer
    // comes as Bound, Refused or Missing.
    void Bind(const QString& key);

  signals:
    // The key works; trigger is how the desktop says it is pressed, when it says so.
    void Bound(const QString& trigger);
    // The portal is there but did not bind the key (refused, or did not answer in time).
    void Refused(const QString& why);
    // No portal offers GlobalShortcuts on this session bus.
    void Missing();
    // The bound shortcut was pressed.
    void Activated();

  private slots:
    void SessionCreated(uint response, const QVariantMap& results);
    void ShortcutsBound(uint response, const QVariantMap& results);
    void ShortcutActivated(const QDBusMessage& signal);

  private:
    void AskVersion();
    void CreateSession();
    void BindShortcut();
    // Calls a GlobalShortcuts method whose answer is a Request's Response signal, taken by
    // the slot; the limit runs from the call to the Response.
    void Request(const QString& method, QList<QVariant> args, const char* slot, int limitMs);
    void StopWaiting();
    void Fail(const QString& why);
    void CloseSession();

    int version_ = -1;  // the portal's GlobalShortcuts version; 0 when none, -1 not yet asked
    bool asking_ = false;
    QString key_;
    QString session_;  // the session's object path, once created
    QString request_;  // the Request whose Response is awaited
    QString token_;
    int serial_ = 0;
    int generation_ = 0;  // counts the Bind calls, so that late answers to an old one are dropped
    QTimer limit_;
};

}  // namespace platform::session
