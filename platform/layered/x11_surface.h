// X11 work behind the layered windows: a surface of their own on the X server, its content,
// its bounding and input shapes, its place in the stacking order and the moment its content
// reaches the screen, through Qt's own Xlib connection (and one more connection of our own
// that watches the screen).
//
// A layered window is shown through its surface, not through the toolkit's native window: an
// unmanaged (override-redirect) window with a 32-bit ARGB visual where the server has one and
// an empty input shape, so every click passes through. The surface follows the widget's place,
// size, visibility, title and opacity; the widget itself stays off the screen
// (Qt::WA_DontShowOnScreen) but is still rendered for Present. The toolkit's own painting, a
// moment after each change and again after every resize, would otherwise overwrite what
// Present put up: under a compositor that left the last letters on screen.
//
// Two ways of putting content on screen, chosen at every Present:
//
// Without a compositing manager the X server draws windows straight into the screen. The
// rendered content becomes the window's background pixmap and the pixels that are neither
// the key colour nor nearly transparent become its bounding shape (XShape); while there is
// nothing to show the window is unmapped. The content is on screen as soon as the server has
// carried the requests out, so Present waits for that (one round trip). Content prepared
// ahead of time is put in place while the window is unmapped, so that showing it is a single
// map request.
//
// With a compositing manager (one owns the _NET_WM_CM_S<screen> selection) the window is
// drawn into an off-screen pixmap and the compositor puts it on screen in its next frame.
// Shape changes are not reliably repainted by compositors (an emptied shape can leave the
// last letters on screen until something else repaints), so the window keeps no bounding
// shape and uses real transparency instead: its 32-bit ARGB background holds the letters
// with their smooth edges, and nothing shown is a fully transparent background. Present then
// waits until the compositor has painted the change: it watches the root window's damage on
// a connection of its own (the Damage extension reports every change of the screen, and a
// compositor's painting is one) for a change over the window's area, at most a few frames.
// This is the one signal that every compositor gives: the frame-drawn and frame-timings
// messages (_NET_WM_FRAME_DRAWN / _NET_WM_FRAME_TIMINGS) need the extended sync-counter
// protocol that only some compositors speak, and the Present extension's completion events
// tell when the server copied a pixmap into the redirected window, not when the compositor
// showed it. Something else repainting under the window at the same moment can end the wait
// up to a frame early. A compositor that never paints the window (it is unredirected behind a
// full-screen window, say) stops the waiting after a few timeouts.
//
// Under XWayland (x11_xwayland.h) there is a third way: no X compositor signal exists there,
// so the window is unmapped while it shows nothing and, while it shows letters, is only as
// large as they are; the letters come with its mapping, and the Present extension times the
// changes (its completions, and the ticks of XWayland's frame counter).
//
// Clicks pass through on X: the input shape is always empty. XWayland 22.1 does not pass that
// on to the Wayland compositor, so there a click on the shown letters is lost; between
// messages every click reaches the window beneath, since nothing is mapped then.
//
// A wait that ended without its signal (the compositor did not paint within the time, or it
// was not waited for after a few such timeouts) returns nothing: the moment is not known.
#pragma once

#include <QImage>
#include <QRegion>

#include <chrono>
#include <functional>
#include <optional>

class QWidget;

namespace platform::layered::x11 {

using Clock = std::chrono::steady_clock;

// Whether the application runs on an X server (Qt's xcb platform).
bool Available();

// Whether the X server is XWayland, a Wayland compositor's X server.
bool OnXWayland();

// Whether a compositing manager runs on the screen; asked of the server at most once a second.
bool Compositing();

// Gives a widget its surface; false when X is not available. Detach takes the surface away
// again and gives the widget its own native window back.
bool Attach(QWidget* window);
void Detach(QWidget* window);

// Uploads content (as for Present) for the window's next Present, without showing it.
void Prepare(QWidget* window, const QImage& content, const QRegion& shape);

// Puts content on screen in the window's surface (or the prepared content, when usePrepared
// is set and there is some: then content is not looked at): content is premultiplied ARGB the size
// of the window with the key colour already made transparent; shape is its visible part (keyed,
// without faint edges) for the way without a compositor; an empty shape shows nothing. The window
// is raised when raise is set. Returns the moment the content was seen on screen, or nothing when
// the window has no surface or that moment is not known (above). Without `wait` the change is
// handed to the server and not waited for: it goes on screen with a change that is waited for
// right after it (a compositor paints both in one frame).
//
// A change with a due time that takes away content known to be shown (under XWayland) waits
// until that content has been up the whole frames nearest to its due time; `justBefore` runs
// once, right before the change is handed over (after that wait).
std::optional<Clock::time_point> Present(QWidget* window, const QImage& content,
                                         const QRegion& shape, bool usePrepared, bool raise,
                                         bool wait = true,
                                         std::optional<Clock::time_point> due = std::nullopt,
                                         const std::function<void()>& justBefore = {});

// How long before its due time Present must be called for a change to land in the frame due;
// nothing where due times are not looked at.
std::optional<Clock::duration> Ahead(QWidget* window);

}  // namespace platform::layered::x11
