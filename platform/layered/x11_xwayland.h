// The X server of a Wayland session (XWayland) and the one signal it gives of what the
// session's compositor has shown.
//
// Under XWayland every top-level X window is a surface of the Wayland compositor. Nothing of
// the X side tells when the compositor shows a change: the compositor owns _NET_WM_CM_S0, but
// it paints nothing into the X root window, so Damage on the root never reports anything.
// What the X side does have is the Present extension, and two things XWayland does:
//   - it commits a window's surface at most once per frame callback of the compositor, and
//     takes the window's pixels at the commit: changes that come meanwhile are merged;
//   - a PresentPixmap with the asynchronous option is carried out at once, and its completion
//     event says so (without the option the copy waits for the next tick of the window's
//     "media stream counter", MSC, which XWayland 22.1 advances on a 17 ms timer of its own).
// So letters are put up by mapping the window with them as its background: the mapping's
// commit holds them, and the compositor shows them in its next frame (a copy made after the
// mapping would wait behind the mapping's commit, and a message's end right after it would
// replace the letters before any frame showed them). Content put up counts as shown when it
// was handed over; content taken away (an asynchronous copy of nothing, then the unmapping) at
// its completion. Before the change that follows content put up, the next MSC after it is
// waited for, which never came before the frame that showed it: a message is never taken away
// before it was on screen, and a compositor that does not show the window at all is found out.
// The work of that change is done before the wait. A message's end is then sent the whole
// frames nearest its display time after the letters were handed over, and lands that many
// frames after the first that showed them. Measured under sway 1.7 against every frame it
// drew (screencopy), 15 to 17 messages each: 100 ms messages 6 frames each, 300 ms ones 18,
// 16 ms ones 1 or 2 (the MSC wait, a tick of its own timer, at times ends after the frame).
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
    // until XWayland has committed it (above); returns the moment of the commit, or nothing when
    // the wait took longer than timeout. Without a pixmap (None) nothing is copied: the moment
    // is now, for content the window already has. With nextFrame the next MSC is asked for, and the
    // next WaitUntilFramesShown waits for it. The pixmap and the window must exist on the server
    // already (the caller synchronises the connection that made them).
    std::optional<Clock::time_point> PresentAndWait(unsigned long pixmap, int xOff, int yOff,
                                                    bool nextFrame,
                                                    std::chrono::milliseconds timeout);

    // The compositor's frame: the refresh of XWayland's output, 60 Hz where it says none.
    Clock::duration Frame() const { return frame_; }

    // Whether content put up with nextFrame is up (and not taken away since).
    bool Shown() const { return shownAt_.has_value(); }

    // Waits until the content that is up has been shown (its next MSC) and then for the whole
    // frames nearest to `due` (at least one), counted from its commit (above). Returns at once
    // when nothing was put up with nextFrame; false when it was not shown within the longest
    // wait.
    bool WaitUntilFramesShown(Clock::time_point due);

    // Forgets what was shown (the content is taken away, or shown without being waited for).
    void Forget() {
        shownAt_.reset();
        shownSerial_ = 0;
    }

  private:
    // Waits for the completion with this serial; its MSC, or nothing at the deadline.
    std::optional<unsigned long long> WaitComplete(unsigned serial, Clock::time_point deadline);

    Display* dpy_ = nullptr;
    Clock::duration frame_ = std::chrono::microseconds(16667);
    std::optional<Clock::time_point> shownAt_;  // the commit of the content put up
    unsigned shownSerial_ = 0;  // the next MSC after it, asked for and not yet waited for
    int opcode_ = 0;
    unsigned long window_ = 0;
    unsigned serial_ = 0;
};

}  // namespace platform::layered::x11
