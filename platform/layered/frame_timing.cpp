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

// Half a frame until the compositor has shown that it lands changes sooner: the median of the
// last few landings, with a little to spare.
Clock::duration Pacing::Landing(Clock::duration frame) const {
    if (landingCount_ == 0) {
        return frame / 2;
    }
    // (The count never exceeds the array; saying so keeps the optimiser from doubting it.)
    const std::size_t count = std::min(landingCount_, kKept);
    std::array<Clock::duration, kKept> sorted = landings_;
    std::sort(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(count));
    return std::min<Clock::duration>(frame / 2, sorted[count / 2] + kSpare);
}

Clock::time_point Pacing::SendAt(Clock::time_point target, Clock::duration frame) const {
    return target - Landing(frame) - extra_ * frame;
}

Clock::duration Pacing::Ahead(Clock::duration frame) const {
    return frame + extra_ * frame;
}

void Pacing::Learn(Clock::time_point target, Clock::time_point sent, Clock::time_point seen,
                   Clock::duration frame) {
    const long long late = FramesBetween(target, seen, frame);
    if (late > 0) {
        extra_ = std::min(kMostExtra, extra_ + 1);
    } else if (late < 0) {
        extra_ = std::max(0, extra_ - 1);
    } else if (extra_ == 0) {
        landings_[nextLanding_] = std::clamp<Clock::duration>(seen - sent, {}, frame);
        nextLanding_ = (nextLanding_ + 1) % kKept;
        landingCount_ = std::min(landingCount_ + 1, kKept);
    }
}

}  // namespace platform::layered::frames
