#include "platform/layered/frame_timing.h"

#include <algorithm>
#include <cmath>

namespace platform::layered::frames {

namespace {

long long NearestWhole(Clock::duration span, Clock::duration frame) {
    if (frame <= Clock::duration::zero()) {
        return 0;
    }
    return std::llround(static_cast<double>(span.count()) / static_cast<double>(frame.count()));
}

}  // namespace

long long FramesFor(Clock::duration after, Clock::duration frame) {
    return std::max(1LL, NearestWhole(after, frame));
}

long long FramesBetween(Clock::time_point first, Clock::time_point last, Clock::duration frame) {
    return NearestWhole(last - first, frame);
}

Clock::time_point Pacing::Target(Clock::time_point first, Clock::time_point due,
                                 Clock::duration frame) const {
    return first + FramesFor(due - first, frame) * frame;
}

Clock::time_point Pacing::SendAt(Clock::time_point target, Clock::duration frame) const {
    return target - frame / 2 - extra_ * frame;
}

Clock::duration Pacing::Ahead(Clock::duration frame) const {
    return frame + extra_ * frame;
}

void Pacing::Learn(Clock::time_point target, Clock::time_point seen, Clock::duration frame) {
    const long long late = FramesBetween(target, seen, frame);
    if (late > 0) {
        extra_ = std::min(kMostExtra, extra_ + 1);
    } else if (late < 0) {
        extra_ = std::max(0, extra_ - 1);
    }
}

}  // namespace platform::layered::frames
