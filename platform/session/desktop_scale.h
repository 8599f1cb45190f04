// The scale the desktop announces to X programs, applied to this process's windows.
//
// GNOME, KDE Plasma and XFCE on X11 (and Plasma's Wayland session for X programs that scale
// themselves) announce their scale as the resource Xft.dpi in the X resource database: 96 at
// 100 %, 120 at 125 %, 144 at 150 %, 192 at 200 %. The program is scaled by Xft.dpi / 96,
// fractions included, so that the panel and the flashed letters have the size they have in
// every other program there.
//
// Qt's X11 platform (xcb) does most of it on its own: it reads the resource when it is stored
// as tools store it ("Xft.dpi:<tab>192"), scales by it with fractions, and follows a change
// while the program runs. It ignores the resource written in any other way the resource
// database accepts ("Xft.dpi: 192" with a space, "*dpi", "Xft*dpi") and then stays at 96 dpi.
// Only for such a difference is a factor handed to Qt here (QT_SCALE_FACTOR, which Qt
// multiplies with its own), so a scale is never applied twice.
//
// Where the user or the desktop already set Qt's own scale (QT_SCALE_FACTOR,
// QT_SCREEN_SCALE_FACTORS or QT_ENABLE_HIGHDPI_SCALING in the environment), or the platform is
// not xcb (on Wayland Qt takes the scale from the compositor), nothing is added. The factor is
// in the environment only while the QApplication is made, which is when Qt reads it: programs
// this one starts later (a browser for a web page) see the session's environment.
#pragma once

#include <optional>
#include <string>

namespace platform::session {

// The value of Xft.dpi in a resource database string (the RESOURCE_MANAGER property of the
// root window) as X programs resolve it; nothing when it is missing, not a number or not a
// plausible resolution (24 to 960 dots per inch).
std::optional<double> XftDpiIn(const std::string& resources);

// The factor to add to Qt's own scale for a resource database string: Xft.dpi / 96 divided by
// the factor Qt's xcb platform takes from it itself, or 1 when there is no Xft.dpi, the two
// agree within 1 % or the result would shrink the windows.
double ExtraScaleFactor(const std::string& resources);

// Adds the factor before the QApplication is made and takes it out of the environment again
// afterwards; argc and argv are the program's command line with Qt's options (-platform,
// -display):
//
//   platform::session::DesktopScale scale(argc, argv);
//   QApplication app(argc, argv);
//   scale.Applied();
class DesktopScale {
  public:
    DesktopScale(int argc, char** argv);
    DesktopScale(const DesktopScale&) = delete;
    DesktopScale& operator=(const DesktopScale&) = delete;

    // The factor added to Qt's own (1 when none).
    double Factor() const { return factor_; }
    // Call once the QApplication exists: Qt has read the factor, and the environment of
    // programs started from here is the session's again.
    void Applied();

  private:
    double factor_ = 1.0;
    bool set_ = false;
};

}  // namespace platform::session
