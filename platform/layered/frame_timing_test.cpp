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

TEST(FrameTiming, ChangesAreSentToLandInTheirFrameAndLearnWhereTheyLand) {
    const Clock::time_point first(std::chrono::seconds(100));
    // 100 ms after the first frame: six frames later; 3 ms after it: the next frame.
    Pacing refresh;
    const Clock::time_point target = refresh.Target(first, first + milliseconds(100), kFrame);
    EXPECT_EQ(target, first + 6 * kFrame);
    EXPECT_EQ(refresh.Target(first, first + milliseconds(3), kFrame), first + kFrame);
    // Sent half a frame before the frame; a compositor that shows at the refresh lands it
    // there, which keeps it so.
    EXPECT_EQ(refresh.SendAt(target, kFrame), target - kFrame / 2);
    EXPECT_EQ(refresh.Ahead(kFrame), kFrame);
    refresh.Learn(target, target - kFrame / 2, target, kFrame);
    EXPECT_EQ(refresh.SendAt(target, kFrame), target - kFrame / 2);

    // One that composes at once shows changes 2 ms after they come: from then on they are sent
    // that long (and a millisecond more) before the frame.
    Pacing atOnce;
    atOnce.Learn(target, target - kFrame / 2, target - kFrame / 2 + milliseconds(2), kFrame);
    EXPECT_EQ(atOnce.SendAt(target, kFrame), target - milliseconds(3));

    // A change that lands a frame late is sent a frame earlier from then on, at most two.
    refresh.Learn(target, target - kFrame / 2, target + kFrame + microseconds(300), kFrame);
    EXPECT_EQ(refresh.ExtraFrames(), 1);
    EXPECT_EQ(refresh.SendAt(target, kFrame), target - kFrame / 2 - kFrame);
    EXPECT_EQ(refresh.Ahead(kFrame), 2 * kFrame);
    refresh.Learn(target, target, target + kFrame, kFrame);
    refresh.Learn(target, target, target + kFrame, kFrame);
    EXPECT_EQ(refresh.ExtraFrames(), 2);
    // Landing in time changes nothing (jitter under half a frame included); early, one back.
    refresh.Learn(target, target - kFrame, target + microseconds(8000), kFrame);
    EXPECT_EQ(refresh.ExtraFrames(), 2);
    refresh.Learn(target, target - 2 * kFrame, target - kFrame, kFrame);
    EXPECT_EQ(refresh.ExtraFrames(), 1);
}

}  // namespace
}  // namespace platform::layered::frames
