// A key of the user's choice, pressed anywhere on the desktop: a passive grab of the key on
// the X server's root window, on a connection of the grab's own (the rest of the program never
// sees X). The key is given as a key sequence's portable text of one chord ("Ctrl+Alt+K");
// NumLock and CapsLock do not stop it working, as it is grabbed with each of their states.
//
// In a Wayland session the key is bound through the desktop's GlobalShortcuts portal where one
// offers it (shortcuts_portal.h), as a Wayland compositor gives keys to no client it has not
// focused: an X grab under XWayland reaches only the keys pressed while an X client has the
// focus. Where no portal offers it, the key is grabbed on X all the same. Where there is no X
// server either, nothing is grabbed and the program says so.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace platform::session {

class ShortcutsPortal;

class GlobalKey : public QObject {
    Q_OBJECT
  public:
    explicit GlobalKey(QObject* parent = nullptr);
    ~GlobalKey() override;

    // Releases the key held so far and grabs this one (empty: none). Returns what kept it from
    // working as the user reads it (another program holds it, no such key on this keyboard, no
    // X server); empty when the key is held or none was asked for. Never blocks longer than
    // the X server takes to answer. The desktop's portal answers later, in Answered.
    QString Set(const QString& key);
    // The key held now, or being bound by the desktop; empty when none is.
    const QString& Key() const { return held_; }

  signals:
    // The key went down (not again while it is held down and repeats).
    void Pressed();
    // What became of a key the desktop was asked to bind after Set returned: empty when it is
    // bound as asked, else the user's text (it was not bound, or bound to another trigger).
    void Answered(const QString& problem);

  private:
    struct X;
    QString Grab(const QString& key);
    void UsePortal();
    bool Connect();
    void Release();
    void Read();

    std::unique_ptr<X> x_;
    std::unique_ptr<ShortcutsPortal> portal_;
    QString held_;
};

}  // namespace platform::session
