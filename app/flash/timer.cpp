#include "app/flash/timer.h"

#include <QTimer>

#include <climits>

namespace kestrane {
namespace {

class PreciseTimer : public Timer {
  public:
    PreciseTimer() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Fire(); });
    }

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

  private:
    void Run() {
        if (interval_ > 0) {
            timer_.start(interval_);
        } else {
            timer_.stop();
        }
    }

    QTimer timer_;
    int interval_ = 0;
    bool enabled_ = false;
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
