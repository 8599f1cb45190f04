// The layer-shell path of the layered windows: where the session's compositor offers the
// layer-shell protocol (wayland_connection.h tells what the path relies on), a layered window
// is shown through a surface of the program's own Wayland connection in the compositor's
// overlay layer, above every ordinary window and full-screen ones too, whatever platform Qt
// uses for the rest of the program. The widget itself stays off the screen
// (Qt::WA_DontShowOnScreen) and is only rendered for Present.
//
// The surface takes no input at all: its input region is empty, so every click goes to what is
// beneath, during a message too; it never takes keyboard focus and keeps no space free of other
// surfaces. It is anchored to the top left corner of the output that holds the widget's screen,
// moved there by its margins and sized to the content: place, size and content change in one
// commit, with no round trip to the compositor. Margins and size are in the layout's
// (surface-local) coordinates; the buffer is drawn at the output's scale (wl_output's, a whole
// number; a fractional output takes it rounded up and the compositor scales it down), so the
// letters are as crisp as the output allows and have the size a point has there. Content is
// premultiplied ARGB in shared memory the size of the content only (a full-output surface would
// hold some megabytes for a few letters); showing nothing is a fully transparent pixel, so the
// surface stays mapped and the next message needs no new configure round.
//
// Every change is timed by the compositor's presentation feedback: Present returns the moment
// the frame that showed it was shown. Where the compositor offers wp_presentation but gives no
// feedback (sway's headless backend: its outputs report no presentation), or does not offer it,
// the moment it answers the change's frame callback stands in: the compositor asks for the next
// frame right after composing the one that took the change. Which of the two a compositor gives
// is found out with the surface's first, invisible content, before any message is due. A change
// with a due time is put in the frame nearest that time, counted in whole frames of the
// output's refresh from the frame that first showed what is up now (frame_timing.h); Present
// waits for the moment to send it, less than two frames when called as Ahead says. A change
// whose feedback does not come within a few frames (the output is off, say) is reported as not
// seen, and after three of those in a row Present stops waiting until feedback comes again.
#pragma once

#include <QImage>

#include <chrono>
#include <functional>
#include <optional>

class QWidget;

namespace platform::layered::wayland {

using Clock = std::chrono::steady_clock;

// Whether layered windows go this way: the compositor offers the layer shell, Qt runs on a
// window system (not offscreen), and KESTRANE_FLASH_PATH is not "x11".
bool Available();

// Gives a widget its surface (false when the path is not available); Detach takes it away.
bool Attach(QWidget* window);
void Detach(QWidget* window);

// Uploads content for the window's next Present, without showing it.
void Prepare(QWidget* window, const QImage& content);

// Puts content (premultiplied ARGB the size of the window, key colour already transparent) on
// screen, or nothing when blank; the prepared content when usePrepared is set and there is some.
// Returns the moment it was seen, or nothing when the window has no surface or the compositor
// did not say in time (a timeout: no measured time). `justBefore`, when given, runs once in
// every case, right before the change is committed (after the wait for the due time): other
// surfaces' changes made there reach the compositor with this one. Without `wait` the change
// is committed and not waited for (nothing is returned).
std::optional<Clock::time_point> Present(QWidget* window, const QImage& content, bool blank,
                                         bool usePrepared, std::optional<Clock::time_point> due,
                                         bool wait = true,
                                         const std::function<void()>& justBefore = {});

// How long before a due time Present must be called to put the change in the frame due;
// nothing while the window has no frame to count from.
std::optional<Clock::duration> Ahead(QWidget* window);

// The device pixel ratio to render the window's content at for its surface: buffer pixels per
// pixel of the widget (above); nothing when the window has no surface.
std::optional<qreal> ContentRatio(QWidget* window);

}  // namespace platform::layered::wayland
