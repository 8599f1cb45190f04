// The changes of the screen as the X server reports them (the Damage extension), watched on a
// connection of our own so that waiting for them never takes events away from the toolkit's
// connection. A compositing manager's painting is such a change: this is how a layered window
// knows that the compositor has put its new content on screen (x11_surface.h).
#pragma once

#include <QRect>

#include <chrono>
#include <functional>
#include <optional>

using Display = struct _XDisplay;

namespace platform::layered::x11 {

class ScreenDamage {
  public:
    using Clock = std::chrono::steady_clock;

    // Opens a second connection to the display that `like` is connected to.
    explicit ScreenDamage(Display* like);
    ~ScreenDamage();
    ScreenDamage(const ScreenDamage&) = delete;
    ScreenDamage& operator=(const ScreenDamage&) = delete;

    // Whether the connection and the extension are there.
    bool Ok() const { return dpy_ != nullptr; }

    // Starts noting changes; everything the server does after this returns is seen.
    void Begin();
    // Waits until a change over area (screen pixels) is reported, or the timeout passes.
    // Whenever nothing has been seen for nudgeAfter, nudge runs (it asks for the change again).
    std::optional<Clock::time_point> WaitOver(const QRect& area,
                                              std::chrono::milliseconds nudgeAfter,
                                              std::chrono::milliseconds timeout,
                                              const std::function<void()>& nudge);
    // Stops noting changes.
    void End();

  private:
    void Drain();

    Display* dpy_ = nullptr;
    int eventBase_ = 0;
    unsigned long damage_ = 0;
};

}  // namespace platform::layered::x11
