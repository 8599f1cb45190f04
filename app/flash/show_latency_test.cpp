#include "app/flash/show_latency.h"

#include <gtest/gtest.h>

namespace kestrane {
namespace {

using us = std::chrono::microseconds;

TEST(ShowLatency, LeadIsTheRecentMedianKeptWithinHalfTheInterval) {
    ShowLatency latency;
    EXPECT_EQ(latency.Lead(true, 100), us(0));      // nothing known yet
    for (int v : {900, 40000, 1100, 1000, 1200}) {  // one slow change among quick ones
        latency.Record(true, us(v));
    }
    EXPECT_EQ(latency.Estimate(true), us(1100));
    EXPECT_EQ(latency.Lead(true, 100), us(1100));
    // Taking messages down is measured apart from putting them up.
    EXPECT_EQ(latency.Lead(false, 100), us(0));
    // A short interval is never ended before its middle, nor a negative one at all.
    EXPECT_EQ(latency.Lead(true, 1), us(500));
    EXPECT_EQ(latency.Lead(true, 0), us(0));
    EXPECT_EQ(latency.Lead(true, -5), us(0));
    latency.Record(false, us(-300));  // a clock that went back counts as no time
    EXPECT_EQ(latency.Lead(false, 100), us(0));
    // Only the last nine count: the old values are forgotten.
    for (int i = 0; i < 9; ++i) {
        latency.Record(true, us(3000));
    }
    EXPECT_EQ(latency.Lead(true, 100), us(3000));
}

TEST(ShowLatency, ChangesNotSeenOnScreenNeverEnterTheEstimate) {
    ShowLatency latency;
    const ShowLatency::TimePoint start{std::chrono::seconds(5)};
    // The first waits of a run gave up after 100 ms: nothing is known, nothing is led.
    for (int i = 0; i < 3; ++i) {
        latency.Record(true, start, std::nullopt);
        latency.Record(false, start, std::nullopt);
    }
    EXPECT_EQ(latency.Lead(true, 1000), us(0));
    EXPECT_EQ(latency.Lead(false, 1000), us(0));
    latency.Record(true, start, start + us(17000));
    latency.Record(true, start, std::nullopt);
    latency.Record(true, start, start + us(16000));
    latency.Record(true, start, std::nullopt);
    EXPECT_EQ(latency.Estimate(true), us(16000));
    EXPECT_EQ(latency.Estimate(false), us(0));
}

TEST(ShowLatency, TheFirstSlowChangeOfARunDoesNotCutTheNextIntervals) {
    // A compositor takes its time over a window's first showing (under mutter 28-100 ms, later
    // ones a frame or less): that one change alone leads nothing, and with a second one known
    // the quicker counts, so the first pauses are not ended that much early.
    ShowLatency latency;
    latency.Record(true, us(28000));
    EXPECT_EQ(latency.Lead(true, 1000), us(0));
    latency.Record(true, us(2700));
    EXPECT_EQ(latency.Lead(true, 1000), us(2700));
    latency.Record(true, us(3000));
    EXPECT_EQ(latency.Lead(true, 1000), us(3000));
    latency.Record(true, us(7500));
    EXPECT_EQ(latency.Lead(true, 1000), us(3000));  // the lower of the middle two
}

}  // namespace
}  // namespace kestrane
