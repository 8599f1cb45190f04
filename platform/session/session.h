// The desktop session the program runs in: which Qt platform its windows use, and a word to
// the user when no window can be shown at all.
//
// The program's windows need X11: the flash window is an unmanaged window with an empty input
// shape, which no Wayland protocol offers an ordinary client. So unless the user chose a Qt
// platform (a non-empty QT_QPA_PLATFORM, or -platform / --platform on the command line), the
// program runs on Qt's xcb platform, which in a Wayland session means XWayland, instead of
// Qt's own choice there (wayland, once Qt's Wayland plugin is installed). The choice is made
// on the command line, not in the environment, so programs started from this one (a browser
// for a web page) see the session as it is.
#pragma once

#include <string>
#include <vector>

namespace platform::session {

class QtCommandLine {
  public:
    QtCommandLine(int argc, char** argv);
    QtCommandLine(const QtCommandLine&) = delete;
    QtCommandLine& operator=(const QtCommandLine&) = delete;

    // For QApplication: the program's command line, with "-platform xcb" after the program's
    // name when the platform is this program's to choose. Both stay valid while this object
    // lives (Qt keeps them and takes its own options out).
    int& argc() { return argc_; }
    char** argv() { return argv_.data(); }

    // Why no window can be shown, in a few words for the user ("DISPLAY is not set", "the X
    // server of display :5 does not answer"); empty when the program can start. Only checked
    // when the platform is this program's to choose: Qt reports a platform of the user's.
    const std::string& problem() const { return problem_; }

  private:
    std::vector<std::string> args_;
    std::vector<char*> argv_;
    int argc_ = 0;
    std::string problem_;
};

// Shows a notice through the desktop's notification server (org.freedesktop.Notifications on
// the session bus), which desktops run whether or not they have an X server: GNOME Shell,
// Plasma, and mako or dunst on wlroots desktops. desktopEntry names the program's menu entry,
// whose icon the server may show. False when there is no session bus or no server answered
// within three seconds. Makes a QCoreApplication of its own when the process has none.
bool NotifyUser(const std::string& appName, const std::string& desktopEntry,
                const std::string& summary, const std::string& body);

}  // namespace platform::session
