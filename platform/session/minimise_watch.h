// Whether the desktop took a window to its task bar when the program asked it to minimise it.
//
// A window manager that minimises a window says so in the window's WM_STATE, which it sets to
// Iconic (openbox, GNOME's mutter, KWin, XFCE's; under XWayland too). Whether the window then
// leaves the X server's screen differs: mutter keeps it mapped and viewable, so that neither
// the window's mapping nor Qt's exposure tells a minimised window from one left on screen. A
// desktop that cannot minimise says Normal (sway refuses it for the focused window) or nothing
// at all (no window manager). The watch hears every change of the property from the moment it
// begins, so a window the user brings back at once still counts as one that was minimised.
//
// Where the program is no X client (Windows, Qt's Wayland platform, the offscreen platform of
// the tests), nothing can be read, and the desktop is trusted to have minimised the window.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>

class QWindow;

namespace platform::session {

class MinimiseWatch : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
  public:
    explicit MinimiseWatch(QObject* parent = nullptr);
    ~MinimiseWatch() override;

    // Starts a new wait on this window, right after asking for it to be minimised: what was
    // seen before is forgotten.
    void Begin(const QWindow* window);
    // Whether the window manager marked the window minimised at any moment since Begin (or
    // nothing can be read on this platform).
    bool Minimised() const { return minimised_; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

  private:
    bool ReadIconic() const;

    void* connection_ = nullptr;  // Qt's own connection to the X server, when it has one
    unsigned window_ = 0;
    unsigned wmState_ = 0;  // the atom WM_STATE
    bool minimised_ = true;
};

}  // namespace platform::session
