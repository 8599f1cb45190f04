// The analysis of a watched run: a flash missing where the watcher was blind long enough is
// unobserved, anywhere else it is lost; pause errors come with the range the polls allow.
#include "tools/screenwatch/screen_watcher.h"

#include <gtest/gtest.h>

namespace screenwatch {
namespace {

// Flashes of 2 ms every 1002 ms, the one due at 2004 missing; polls every 0.2 ms.
Trace RunWithOneMissing(std::vector<Blind> blind) {
    Trace t;
    for (double on : {2.0, 1004.0, 3008.0}) {
        t.flashes.push_back({on, on + 2.2, on - 0.2, on + 2.0});
    }
    t.blind = std::move(blind);
    return t;
}

TEST(ScreenWatcherAnalysis, AFlashIsUnobservedOnlyWhereTheWatcherSleptThroughIt) {
    RunAnalysis a = Analyse(RunWithOneMissing({}), 2, 1000);
    EXPECT_EQ(a.seen, 3);
    EXPECT_EQ(a.missed, 1);
    EXPECT_EQ(a.unobserved, 0);

    a = Analyse(RunWithOneMissing({{2003.0, 2008.0}}), 2, 1000);
    EXPECT_EQ(a.missed, 0);
    EXPECT_EQ(a.unobserved, 1);

    // Too short a gap to hide a flash, or one outside the missing flash's pause: still lost.
    EXPECT_EQ(Analyse(RunWithOneMissing({{2003.0, 2003.8}}), 2, 1000).missed, 1);
    EXPECT_EQ(Analyse(RunWithOneMissing({{500.0, 510.0}}), 2, 1000).missed, 1);
}

TEST(ScreenWatcherAnalysis, PauseErrorsComeWithTheRangeThePollsAllow) {
    const RunAnalysis a = Analyse(RunWithOneMissing({}), 2, 1000);
    ASSERT_EQ(a.pauseError.size(), 1u);  // the gap holding the missing flash has no pause error
    EXPECT_NEAR(a.pauseError[0], 1004.0 - 4.2 - 1000, 1e-9);
    ASSERT_EQ(a.pauseErrorRange.size(), 1u);
    EXPECT_NEAR(a.pauseErrorRange[0].first, 1003.8 - 4.2 - 1000, 1e-9);
    EXPECT_NEAR(a.pauseErrorRange[0].second, 1004.0 - 4.0 - 1000, 1e-9);
    EXPECT_NEAR(RunWithOneMissing({}).flashes[0].Shortest(), 2.0, 1e-9);
    EXPECT_EQ(FirstErrors(a.pauseError, 3), "-0.2");
    EXPECT_EQ(FirstErrors({}, 3), "none");

    // Pauses ended early count by their size: the signed p95 would hide them.
    std::vector<double> errors(20, 0.5);
    errors[0] = -61.0;
    errors[1] = -58.0;
    const Summary s = Summarise(errors);
    EXPECT_DOUBLE_EQ(s.p95, 0.5);
    EXPECT_DOUBLE_EQ(s.absP95, 58.0);
}

}  // namespace
}  // namespace screenwatch
