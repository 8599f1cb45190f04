#include "app/flash/timer.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <climits>
#include <memory>
#include <thread>

namespace kestrane {
namespace {

// The event loop's precise timers still fire up to a millisecond or two late, and every
// millisecond counts when a message stays up for one. So the timer is armed before its
// deadline and, when it fires, waits out the rest before the tick runs. A process that has
// slept for a long while wakes later (up to about two milliseconds after a pause of a second,
// against a tenth of one after a few milliseconds, on the machines measured), so a long count
// is armed three milliseconds early and a short one one millisecond early. Ticks are
// periodic: the next deadline is one interval after the last one, unless the handler restarts
// the timer.
class PreciseTimer : public Timer {
  public:
    PreciseTimer() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Due(); });
    }
    ~PreciseTimer() override { *alive_ = false; }
    PreciseTimer(const PreciseTimer&) = delete;
    PreciseTimer& operator=(const PreciseTimer&) = delete;

    void SetInterval(int ms) override {
        if (ms < 0) {
            return;
        }
        interval_ = ms;
        if (enabled_) {
            Run();
        }
    }
    int Interval() const override { return interval_; }
    void SetEnabled(bool enabled) override {
        if (enabled == enabled_) {
            return;
        }
        enabled_ = enabled;
        if (enabled) {
            Run();
        } else {
            timer_.stop();
        }
    }
    bool Enabled() const override { return enabled_; }
    int RemainingMs() const override {
        if (!enabled_ || interval_ <= 0) {
            return 0;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
        return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kEarly = std::chrono::milliseconds(1);
    static constexpr auto kEarlyAfterLongSleep = std::chrono::milliseconds(3);
    static constexpr auto kLongSleep = std::chrono::milliseconds(200);
    // A wait longer than this means the timer fired far too early (a clock change, a
    // suspended process); it is armed again instead of blocking the event loop.
    static constexpr auto kLongestWait = std::chrono::milliseconds(5);

    void Run() {
        if (interval_ > 0) {
            const auto interval = std::chrono::milliseconds(interval_);
            deadline_ = Clock::now() + interval - std::min<Clock::duration>(Lead(), interval);
            Arm();
        } else {
            timer_.stop();
        }
    }

    void Arm() {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
        const auto early = left > kLongSleep ? kEarlyAfterLongSleep : kEarly;
        timer_.start(
            std::max<std::chrono::milliseconds>(left - early, std::chrono::milliseconds(0)));
    }

    void Due() {
        const auto left = deadline_ - Clock::now();
        if (left > kLongestWait) {
            Arm();
            return;
        }
        if (left > Clock::duration::zero()) {
            std::this_thread::sleep_until(deadline_);
        }
        const auto due = deadline_;
        const std::shared_ptr<bool> alive = alive_;
        Fire();
        if (!*alive) {
            return;  // the handler destroyed its timer
        }
        // The handler may have stopped or restarted the timer; otherwise the next tick is one
        // interval after this one's deadline (or from now, when that has already passed).
        if (enabled_ && interval_ > 0 && !timer_.isActive()) {
            deadline_ = std::max(due + std::chrono::milliseconds(interval_), Clock::now());
            Arm();
        }
    }

    QTimer timer_;
    int interval_ = 0;
    bool enabled_ = false;
    Clock::time_point deadline_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace

TimerFactory PreciseTimers() {
    return [] { return std::make_unique<PreciseTimer>(); };
}

int SecondsToInterval(long long seconds) {
    const long long ms = seconds * 1000;
    if (ms < 0 || ms > INT_MAX) {
        return -1;
    }
    return static_cast<int>(ms);
}

}  // namespace kestrane
