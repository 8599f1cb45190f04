// Whether mako, the notification daemon of sway and other wlroots desktops, is in its Do Not
// Disturb mode: the user adds the mode "do-not-disturb" (makoctl mode -a do-not-disturb), and
// mako's interface (fr.emersion.Mako at /fr/emersion/Mako, on the notification service's name)
// lists the modes on request (ListModes) but signals no change of them. So they are asked
// once a second, only while the notification service is mako: when its name gets a new owner
// it is asked once, and an owner without that interface (dunst, KDE's, GNOME's) is not asked
// again until the name changes hands (nor while it has no owner). One question at a time, never
// waited for; a service that is missing, slow or errs counts as not in the mode, and only a
// slow one is asked again before the name changes hands.
#pragma once

#include <QObject>
#include <QTimer>

namespace platform::session {

class MakoModes : public QObject {
    Q_OBJECT
  public:
    explicit MakoModes(QObject* parent = nullptr);

    // Starts following, once; without a session bus nothing is ever reported.
    void Start();

  signals:
    // Whether the mode "do-not-disturb" is among mako's modes now (false where mako is not).
    void Changed(bool doNotDisturb);

  private:
    void Ask();
    void Set(bool doNotDisturb);

    QTimer every_;
    int owners_ = 0;  // owners of the name seen, so that an older owner's answer is dropped
    bool asking_ = false;
    bool started_ = false;
    bool doNotDisturb_ = false;
};

}  // namespace platform::session
