// A key of the user's choice, pressed anywhere on the desktop: a passive grab of the key on
// the X server's root window, on a connection of the grab's own (the rest of the program never
// sees X). The key is given as a key sequence's portable text of one chord ("Ctrl+Alt+K");
// NumLock and CapsLock do not stop it working, as it is grabbed with each of their states.
//
// Under XWayland the grab reaches only the keys pressed while an X client has the focus: a
// Wayland compositor gives keys to no client it has not focused (its own shortcuts, or the
// desktop's GlobalShortcuts portal, are the way there). Where there is no X server, nothing is
// grabbed and Set says so.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace platform::session {

class GlobalKey : public QObject {
    Q_OBJECT
  public:
    explicit GlobalKey(QObject* parent = nullptr);
    ~GlobalKey() override;

    // Releases the key held so far and grabs this one (empty: none). Returns what kept it from
    // working as the user reads it (another program holds it, no such key on this keyboard, no
    // X server); empty when the key is held or none was asked for. Never blocks longer than
    // the X server takes to answer.
    QString Set(const QString& key);
    // The key held now; empty when none is.
    const QString& Key() const { return held_; }

  signals:
    // The key went down (not again while it is held down and repeats).
    void Pressed();

  private:
    struct X;
    bool Connect();
    void Release();
    void Read();

    std::unique_ptr<X> x_;
    QString held_;
};

}  // namespace platform::session
