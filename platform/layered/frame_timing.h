// Whole-frame arithmetic for a window system that shows changes in frames and says when each
// frame was shown (the layer-shell path, wayland_surface.h).
//
// A change that is due some time after the frame that first showed what is on screen now is put
// in the frame nearest to that moment, never in the same frame: content due to stay for less
// than a frame stays for one. A commit lands in the first frame the compositor composes after
// it arrives, so it is sent half a frame before the frame wanted (in the middle of the span that
// leads to it), or whole frames earlier still where the compositor composes a frame that long
// before it shows it; Pacing learns that from where its changes really land.
#pragma once

#include <chrono>

namespace platform::layered::frames {

using Clock = std::chrono::steady_clock;

// The number of whole frames, at least one, nearest to `after`.
long long FramesFor(Clock::duration after, Clock::duration frame);

// The number of whole frames nearest to the time from `first` to `last` (may be negative).
long long FramesBetween(Clock::time_point first, Clock::time_point last, Clock::duration frame);

// Where to send the changes of one surface so that they land in the frames due.
class Pacing {
  public:
    // The frame a change due at `due` belongs in, counted from the frame shown at `first`.
    Clock::time_point Target(Clock::time_point first, Clock::time_point due,
                             Clock::duration frame) const;
    // The moment to send a change meant for the frame shown at `target`.
    Clock::time_point SendAt(Clock::time_point target, Clock::duration frame) const;
    // How long before a change is due the sender must be ready to send it: the frame it lands
    // in may be half a frame before the due time, the sending half a frame before that, plus
    // the frames learned.
    Clock::duration Ahead(Clock::duration frame) const;
    // A change meant for `target` was shown at `seen`: one that came a frame late is sent a
    // frame earlier from now on (at most two), one that came early a frame later.
    void Learn(Clock::time_point target, Clock::time_point seen, Clock::duration frame);
    int ExtraFrames() const { return extra_; }

  private:
    static constexpr int kMostExtra = 2;
    int extra_ = 0;
};

}  // namespace platform::layered::frames
