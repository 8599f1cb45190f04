#include "platform/layered/frame_timing.h"

#include <gtest/gtest.h>

namespace platform::layered::frames {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

constexpr Clock::duration kFrame = microseconds(16667);  // 60 Hz

TEST(FrameTiming, DisplayTimesBecomeWholeFramesOfAtLeastOne) {
    EXPECT_EQ(FramesFor(milliseconds(1), kFrame), 1);  // shorter than a frame: one
    EXPECT_EQ(FramesFor(milliseconds(0), kFrame), 1);
    EXPECT_EQ(FramesFor(milliseconds(16), kFrame), 1);
    EXPECT_EQ(FramesFor(milliseconds(26), kFrame), 2);  // 1.56 frames: the nearer is 2
    EXPECT_EQ(FramesFor(milliseconds(24), kFrame), 1);
    EXPECT_EQ(FramesFor(milliseconds(100), kFrame), 6);
    EXPECT_EQ(FramesFor(milliseconds(1000), kFrame), 60);
    EXPECT_EQ(FramesFor(milliseconds(100), microseconds(6944)), 14);  // 144 Hz
    EXPECT_EQ(FramesBetween(Clock::time_point(), Clock::time_point() - kFrame, kFrame), -1);
}

TEST(FrameTiming, ChangesAreSentHalfAFrameBeforeTheirFrameAndLearnWhereTheyLand) {
    const Clock::time_point first(std::chrono::seconds(100));
    Pacing pacing;
    // 100 ms after the first frame: six frames later, sent half a frame before that frame.
    const Clock::time_point target = pacing.Target(first, first + milliseconds(100), kFrame);
    EXPECT_EQ(target, first + 6 * kFrame);
    EXPECT_EQ(pacing.SendAt(target, kFrame), target - kFrame / 2);
    EXPECT_EQ(pacing.Target(first, first + milliseconds(3), kFrame), first + kFrame);
    EXPECT_EQ(pacing.Ahead(kFrame), kFrame);

    // A change that lands a frame late is sent a frame earlier from then on, at most two.
    pacing.Learn(target, target + kFrame + microseconds(300), kFrame);
    EXPECT_EQ(pacing.ExtraFrames(), 1);
    EXPECT_EQ(pacing.SendAt(target, kFrame), target - kFrame / 2 - kFrame);
    EXPECT_EQ(pacing.Ahead(kFrame), 2 * kFrame);
    pacing.Learn(target, target + kFrame, kFrame);
    pacing.Learn(target, target + kFrame, kFrame);
    EXPECT_EQ(pacing.ExtraFrames(), 2);
    // Landing in time changes nothing (jitter under half a frame included); early, one back.
    pacing.Learn(target, target + microseconds(8000), kFrame);
    EXPECT_EQ(pacing.ExtraFrames(), 2);
    pacing.Learn(target, target - kFrame, kFrame);
    EXPECT_EQ(pacing.ExtraFrames(), 1);
}

}  // namespace
}  // namespace platform::layered::frames
