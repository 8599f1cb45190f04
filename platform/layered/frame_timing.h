// Whole-frame arithmetic for a window system that shows changes in frames and says when each
// frame was shown (the layer-shell path, wayland_surface.h).
//
// A change that is due some time after the frame that first showed what is on screen now is put
// in the frame nearest to that moment, never in the same frame: content due to stay for less
// than a frame stays for one. When to send it depends on the compositor:
//   - one that shows frames at the display's refresh puts a change in the first frame it
//     composes after the change arrived, shown at the next refresh: a change sent half a frame
//     before the frame wanted (in the middle of the span that leads to it) lands there, and one
//     that composes a frame a whole frame before it shows it needs the change a frame earlier;
//   - one that composes a frame as soon as something changes (headless and virtual outputs)
//     shows a change about as long after it arrived as composing takes, so half a frame early
//     would be half a frame early on screen.
// Pacing learns both from where its changes land: how long after sending a change was seen
// (the compositor's landing time, at most half a frame is used), and whole frames of lateness.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>

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
    // A change meant for `target`, sent at `sent`, was shown at `seen`. One that came a whole
    // frame late is sent a frame earlier from now on (at most two), one that came a frame
    // early a frame later; one that landed in its frame tells the landing time.
    void Learn(Clock::time_point target, Clock::time_point sent, Clock::time_point seen,
               Clock::duration frame);
    int ExtraFrames() const { return extra_; }

  private:
    static constexpr int kMostExtra = 2;
    static constexpr std::size_t kKept = 5;
    // Sent this much earlier than the landing time says, for the compositor's jitter.
    static constexpr std::chrono::milliseconds kSpare{1};
    Clock::duration Landing(Clock::duration frame) const;

    int extra_ = 0;
    std::array<Clock::duration, kKept> landings_{};
    std::size_t landingCount_ = 0;
    std::size_t nextLanding_ = 0;
};

}  // namespace platform::layered::frames
