// A clock for tests: timers made by it fire only when the test advances the clock, in the
// order of their deadlines, one tick handler at a time.
#pragma once

#include "app/flash/timer.h"

#include <algorithm>
#include <cstdint>
#include <set>

namespace kestrane {

class FakeClock {
  public:
    class FakeTimer : public Timer {
      public:
        explicit FakeTimer(FakeClock& clock) : clock_(clock) { clock_.timers_.insert(this); }
        ~FakeTimer() override { clock_.timers_.erase(this); }

        void SetInterval(int ms) override {
            if (ms < 0) {
                return;
            }
            interval_ = ms;
            if (enabled_) {
                deadline_ = clock_.now_ + interval_;
            }
        }
        int Interval() const override { return interval_; }
        void SetEnabled(bool enabled) override {
            if (enabled && !enabled_) {
                deadline_ = clock_.now_ + interval_;
            }
            enabled_ = enabled;
        }
        bool Enabled() const override { return enabled_; }
        int RemainingMs() const override {
            return enabled_ ? static_cast<int>(std::max<std::int64_t>(deadline_ - clock_.now_, 0))
                            : 0;
        }

      private:
        friend class FakeClock;
        FakeClock& clock_;
        int interval_ = 0;
        bool enabled_ = false;
        std::int64_t deadline_ = 0;
    };

    std::unique_ptr<Timer> MakeTimer() { return std::make_unique<FakeTimer>(*this); }
    TimerFactory Factory() {
        return [this] { return MakeTimer(); };
    }

    std::int64_t Now() const { return now_; }

    // Moves the clock forward by ms milliseconds, firing every tick that falls due on the way.
    void Advance(std::int64_t ms) {
        const std::int64_t target = now_ + ms;
        for (;;) {
            FakeTimer* next = nullptr;
            for (FakeTimer* t : timers_) {
                if (t->enabled_ && t->interval_ > 0 && t->deadline_ <= target &&
                    (next == nullptr || t->deadline_ < next->deadline_)) {
                    next = t;
                }
            }
            if (next == nullptr) {
                break;
            }
            now_ = next->deadline_;
            next->deadline_ = now_ + next->interval_;  // periodic unless the handler restarts it
            next->Fire();
        }
        now_ = target;
    }

  private:
    std::int64_t now_ = 0;
    std::set<FakeTimer*> timers_;
};

}  // namespace kestrane
