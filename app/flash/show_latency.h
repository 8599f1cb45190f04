// How long the flash window takes to change what the screen shows: from the start of a timer
// tick to the moment its change was seen on screen, kept apart for putting a message up and
// for taking it down. The flash window lets its timer end that much early, so that messages
// appear and go when they are due rather than that much later.
//
// The estimate is the (lower) median of the last few ticks, so one slow tick (a busy moment, a
// compositor frame missed, a window's first showing) moves it little; a single tick gives
// none. The lead taken from it is never negative and never more than half the interval: a
// change can reach the screen faster than the median, and a message of a millisecond or two
// must not end before it was seen.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>

namespace kestrane {

class ShowLatency {
  public:
    using Duration = std::chrono::microseconds;

    using TimePoint = std::chrono::steady_clock::time_point;

    void Record(bool showing, Duration took);
    // The change begun at start was seen on screen at seen; a change whose moment is not known
    // (the window system gave up waiting for it) is not recorded: a wait that ran out measures
    // the timeout, not the screen, and would end the following intervals that much early.
    void Record(bool showing, TimePoint start, std::optional<TimePoint> seen);
    Duration Estimate(bool showing) const;
    // How early to end an interval of ms milliseconds after which the message goes up
    // (showing) or is taken down.
    Duration Lead(bool showing, int ms) const;

  private:
    static constexpr std::size_t kKept = 9;
    struct Samples {
        std::array<Duration, kKept> values{};
        std::size_t count = 0;
        std::size_t next = 0;
    };
    std::array<Samples, 2> samples_{};
};

}  // namespace kestrane
