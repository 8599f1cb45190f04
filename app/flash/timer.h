// The message-driven timers of the two windows, behind a small interface so that tests run
// the flash cycle and the preview on a fake clock.
//
// A timer fires every Interval() milliseconds while it is enabled; an interval of 0 never
// fires. Enabling a disabled timer starts the count afresh; setting the interval of an
// enabled timer restarts the count too. A negative interval is refused and the timer keeps
// the one it had.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>

namespace kestrane {

class Timer {
  public:
    virtual ~Timer() = default;

    virtual void SetInterval(int ms) = 0;
    virtual int Interval() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
    // Milliseconds until the next tick of an enabled timer (0 when it is due now); 0 when
    // disabled.
    virtual int RemainingMs() const = 0;

    // Lets every count started from now on end this much before its interval is over (never
    // before it began), for work that takes that long to show its result; Interval() is
    // unchanged and a periodic tick that follows comes a whole interval later.
    void SetLead(std::chrono::microseconds lead) { lead_ = std::max(lead, Zero()); }
    std::chrono::microseconds Lead() const { return lead_; }

    // The handler that runs at every tick.
    void OnTick(std::function<void()> handler) { tick_ = std::move(handler); }

    // Disables the timer, sets the interval and enables it again: the count starts now.
    void Restart(int ms) {
        SetEnabled(false);
        SetInterval(ms);
        SetEnabled(true);
    }

  protected:
    void Fire() {
        if (tick_) {
            tick_();
        }
    }

  private:
    static constexpr std::chrono::microseconds Zero() { return std::chrono::microseconds(0); }
    std::function<void()> tick_;
    std::chrono::microseconds lead_{0};
};

using TimerFactory = std::function<std::unique_ptr<Timer>()>;

// Timers of the event loop with millisecond precision (the coarse kind may fire several
// milliseconds early, which a display time of a few milliseconds cannot afford).
TimerFactory PreciseTimers();

// The interval of a timer that counts whole seconds, or -1 when it does not fit.
int SecondsToInterval(long long seconds);

}  // namespace kestrane
