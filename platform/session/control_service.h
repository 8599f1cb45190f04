// The running program's face on the session bus: a well-known name of its own, and one object
// whose methods hand requests to the program (start or stop the flashing, show or hide the
// control panel, end the program) and whose properties say whether a run is going and whether
// the panel is on screen, with org.freedesktop.DBus.Properties.PropertiesChanged when either
// changes. Desktop shortcuts and scripts reach it through `kestrane --toggle` and the other
// options of the command line (ControlClient), or through any D-Bus tool.
//
//   name       org.kestrane.kestrane           (the program's application id)
//   object     /org/kestrane/kestrane
//   interface  org.kestrane.kestrane.Control
//     methods     Start, Stop, Toggle, Show, Hide, Quit  (no arguments, no results)
//                 Activate  a second start of the program: the panel comes up where no tray
//                           icon could bring it back
//                 Pause(i minutes)  holds the messages that long (1 to 1440; else an error)
//     properties  Running (b, read), Visible (b, read),
//                 Quiet (s, read): why no message shows now ("Quiet: Do Not Disturb",
//                 "Paused for 12 more minutes"), empty while nothing holds them
//     properties  Running (b, read), Visible (b, read), FlashPath (s, read: the way the
//                 flash reaches the screen now, as the flash window's platform layer names it)
//
// A method answers as soon as the request is taken; the program carries it out right after,
// so that a caller never waits for a message box the request may bring up.
#pragma once

#include <QDBusContext>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

namespace platform::session {

inline constexpr const char* kControlName = "org.kestrane.kestrane";
inline constexpr const char* kControlPath = "/org/kestrane/kestrane";
inline constexpr const char* kControlInterface = "org.kestrane.kestrane.Control";

// What the program does for each request, and where the two properties come from.
struct ControlHandlers {
    std::function<void()> start, stop, toggle, show, hide, quit, activate;
    std::function<bool()> running, visible;
    std::function<QString()> quiet;
    // Holds the messages for the minutes given; false for a number it does not take.
    std::function<bool(int minutes)> pause;
    std::function<std::string()> flashPath;
};

// (A QDBusContext, so that a request it refuses is answered with an error.)
class ControlService : public QObject, protected QDBusContext {
    Q_OBJECT
  public:
    explicit ControlService(ControlHandlers handlers, QObject* parent = nullptr);
    ~ControlService() override;

    // Puts the object on the session bus and asks for the name. Where another program holds
    // the name (a second copy of kestrane with a folder of its own), this one waits in the
    // bus's queue and takes the name over when the other ends. False when there is no session
    // bus or it refused; the program then runs without this interface.
    bool Publish();

    // Values of the properties now.
    bool Running() const;
    bool Visible() const;
    QString Quiet() const;

    // Pause(minutes): refused with an error for a number outside 1 to 1440, else run as
    // Request runs a handler, once the caller has its answer.
    void RequestPause(int minutes);
    std::string FlashPath() const;

    // Something may have changed the properties: they are compared with the values last told
    // and PropertiesChanged goes out for those that differ, once the current event is handled.
    void Touch();

    // Runs a handler once the caller has its answer, then tells any change it made.
    void Request(std::function<void()> ControlHandlers::*handler);

  private:
    void Refresh();

    ControlHandlers h_;
    bool published_ = false;
    bool touched_ = false;
    bool running_ = false;
    bool visible_ = false;
    QString quiet_;
};

}  // namespace platform::session
