// The X server of a Wayland session (XWayland) and the one signal it gives of what the
// session's compositor has shown.
//
// Under XWayland every top-level X window is a surface of the Wayland compositor. Nothing of
// the X side tells when the compositor shows a change: the compositor owns _NET_WM_CM_S0, but
// it paints nothing into the X root window, so Damage on the root never reports anything.
// What XWayland does tie to the compositor's frames is the Present extension: the "media
// stream counter" (MSC) of a window advances on the frame callbacks of its surface, which
// the compositor sends after drawing a frame that contains the surface, and a PresentPixmap
// completes when the counter has advanced past the copy. Measured under sway 1.7 against
// every frame the compositor captured (screencopy), 25 shows and 25 hides of a window each:
//   - taking content away (the window mapped and shown for a while): the completion came
//     0.2 ms after the frame without the content (22 of 25) or up to 4 ms before it (3);
//   - putting content up in a window just mapped: the completion came before the frame with
//     the content in 24 of 25, by up to a frame (median 9 ms). XWayland 22.1 also advances
//     the counter on a 17 ms timer while the surface has no frame callback outstanding, as
//     a freshly mapped one has not. Waiting on for the next MSC, no completion came before
//     the frame (1 to 16 ms after it, median 9 ms).
// So content put up counts as shown at the next MSC after its completion, which may be up to a
// frame late but is never early: a message is never taken down before it was on screen, even
// a short one whose show and hide would otherwise fall in one frame. Content taken away counts
// as gone at its completion.
//
// Clicks: XWayland 22.1 (Debian 12) does not pass the X input shape on to the surface's input
// region. The compositor routes a click over the mapped window to XWayland, which gives it to
// its root window (the window's input shape is empty): the click is lost, the window beneath
// never sees it (tried under sway with the compositor's own pointer routing). Later XWayland
// releases set the input region from the input shape; where that is so a click on the letters
// passes too. Either way a window that shows nothing must not be mapped, and one that shows
// letters must be no larger than they are.
//
// XWayland is recognised by its XWAYLAND extension (XWayland 23.1 and later) or, before that,
// by the names of its RandR outputs ("XWAYLAND0", ...; every XWayland release has them).
#pragma once

#include <chrono>
#include <optional>

using Display = struct _XDisplay;

namespace platform::layered::x11 {

// Whether the display is XWayland (asked of the server once per display).
bool IsXWayland(Display* dpy);

// Present requests on one window and their completions, on a connection of our own, so that
// waiting for them never takes events away from the toolkit's connection.
class XWaylandFrames {
  public:
    using Clock = std::chrono::steady_clock;

    // Opens a second connection to the display that `like` is connected to, for the window.
    XWaylandFrames(Display* like, unsigned long window);
    ~XWaylandFrames();
    XWaylandFrames(const XWaylandFrames&) = delete;
    XWaylandFrames& operator=(const XWaylandFrames&) = delete;

    // Whether the connection and the Present extension are there.
    bool Ok() const { return dpy_ != nullptr; }

    // Copies the pixmap into the window, its point (xOff, yOff) at the window's origin, and waits
    // until the compositor has shown it (above; with nextFrame the wait goes on to the next MSC);
    // nothing when it did not say so within timeout.
    // The pixmap and the window must exist on the server already (the caller synchronises the
    // connection that made them).
    std::optional<Clock::time_point> PresentAndWait(unsigned long pixmap, int xOff, int yOff,
                                                    bool nextFrame,
                                                    std::chrono::milliseconds timeout);

  private:
    // Waits for the completion with this serial; its MSC, or nothing at the deadline.
    std::optional<unsigned long long> WaitComplete(unsigned serial, Clock::time_point deadline);

    Display* dpy_ = nullptr;
    int opcode_ = 0;
    unsigned long window_ = 0;
    unsigned serial_ = 0;
};

}  // namespace platform::layered::x11
