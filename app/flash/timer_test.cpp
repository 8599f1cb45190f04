#include "app/flash/timer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <functional>
#include <memory>

namespace kestrane {
namespace {

// Runs the event loop until done() holds or ten seconds pass (a generous bound: nothing here
// measures time, a timer that never fires simply fails the test).
bool SpinUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

TEST(PreciseTimer, TicksRepeatNeverEarlyAndFollowRestartsAndStops) {
    auto timer = PreciseTimers()();
    using Clock = std::chrono::steady_clock;
    int ticks = 0;
    Clock::time_point started = Clock::now();
    Clock::time_point last;
    timer->OnTick([&] {
        ++ticks;
        last = Clock::now();
        if (ticks == 3) {
            timer->SetEnabled(false);
        }
    });
    timer->SetInterval(4);
    started = Clock::now();
    timer->SetEnabled(true);
    ASSERT_TRUE(SpinUntil([&] { return ticks == 3; }));
    // Three periodic ticks take at least three intervals; the early arming never fires early.
    EXPECT_GE(last - started, std::chrono::milliseconds(12));
    EXPECT_FALSE(timer->Enabled());
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(ticks, 3) << "a disabled timer fired";

    // A handler that restarts its timer with another interval: the next tick counts from then.
    ticks = 0;
    std::chrono::milliseconds gap{};
    Clock::time_point restarted;
    timer->OnTick([&] {
        ++ticks;
        if (ticks == 1) {
            restarted = Clock::now();
            timer->Restart(20);
        } else {
            gap = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - restarted);
            timer->SetEnabled(false);
        }
    });
    timer->Restart(1);
    ASSERT_TRUE(SpinUntil([&] { return ticks == 2; }));
    EXPECT_GE(gap, std::chrono::milliseconds(20));

    // An interval of 0 never fires.
    ticks = 0;
    timer->OnTick([&] { ++ticks; });
    timer->Restart(0);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 30);
    EXPECT_EQ(ticks, 0);

    // The time left until the next tick: counts down from the interval, 0 when disabled.
    timer->Restart(60000);
    EXPECT_GT(timer->RemainingMs(), 59000);
    EXPECT_LE(timer->RemainingMs(), 60000);
    timer->SetEnabled(false);
    EXPECT_EQ(timer->RemainingMs(), 0);
}

TEST(PreciseTimer, HandlerMayDestroyItsTimer) {
    std::unique_ptr<Timer> timer = PreciseTimers()();
    bool fired = false;
    timer->OnTick([&] {
        fired = true;
        timer.reset();  // the tick is the timer's last act
    });
    timer->Restart(2);
    ASSERT_TRUE(SpinUntil([&] { return fired; }));
    EXPECT_EQ(timer, nullptr);
}

}  // namespace
}  // namespace kestrane
