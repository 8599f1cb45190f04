// The GNOME Shell path of the layered windows: where the shell runs kestrane's extension
// (gnome-shell/flash.js), a layered window's letters are drawn by the shell itself, as an actor
// of its stage above everything, which takes no input, so clicks pass by construction. The
// widget stays off the screen (Qt::WA_DontShowOnScreen): what the extension needs of it is
// read from its label (text, font, colour) and its place on the desktop.
//
// Everything goes over the session bus asynchronously (QtDBus): nothing here ever waits for the
// shell, so a busy or hung shell never holds the program or its flash timer. A message goes up
// with one call that also says how long it stays; the shell shows it in its next frame and takes
// it away after the whole frames nearest that time, timed on its own frames (it reports both
// with the moments of those frames, its Shown and Hidden signals, which the program does not
// need). A change without such a time (a message taken down early: a stop, a locked session) is
// one more call.
//
// The path is taken while the extension's name (org.kestrane.Flash) has an owner that answered
// it: watched on the bus, found at the first use and again whenever the name changes hands.
// Until then, and once it is gone, the windows take the X path (XWayland), so a shell without the
// extension, or one restarted, loses at most the message then on its way.
#pragma once

#include <chrono>
#include <optional>
#include <string>

class QWidget;

namespace platform::layered::shell {

using Clock = std::chrono::steady_clock;

inline constexpr const char* kFlashName = "org.kestrane.Flash";
inline constexpr const char* kFlashPath = "/org/kestrane/Flash";
inline constexpr const char* kFlashInterface = "org.kestrane.Flash";

// Whether the program looks for the extension at all, from the environment: in a Wayland
// session (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE=wayland), where XWayland cannot tell when
// the shell shows a change; in an X session of GNOME Shell the X way times the letters by the
// compositor's frames itself. KESTRANE_FLASH_PATH=gnome-shell asks for it anywhere, any other
// value (x11) keeps the program off it.
bool Wanted(const char* flashPath, const char* waylandDisplay, const char* sessionType);

// Whether layered windows go this way now: wanted, and the extension answers. Never waits: the
// first call only starts looking.
bool Available();

// Gives a widget this path (false when it is not available) or takes it away; a message up goes.
bool Attach(QWidget* window);
void Detach(QWidget* window);
bool Attached(QWidget* window);

// Puts what the window's label shows now on screen through the shell, or takes it away when
// blank. A message put up with `stay` goes by itself after the whole frames nearest to it; a
// blank Present with `due` (the end of such a message) then leaves it to go at its frame, one
// without takes it away in the shell's next frame. Returns the moment the message was handed
// to the bus for a message put up (when it is seen is told later, by the shell), nothing for a
// change taken away.
std::optional<Clock::time_point> Present(QWidget* window, bool blank,
                                         std::optional<Clock::duration> stay, bool hasDue);

// A message's end needs nothing sent on time: the shell ends it itself.
std::optional<Clock::duration> Ahead(QWidget* window);

}  // namespace platform::layered::shell
