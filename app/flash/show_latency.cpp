#include "app/flash/show_latency.h"

#include <algorithm>

namespace kestrane {

void ShowLatency::Record(bool showing, Duration took) {
    Samples& s = samples_[showing ? 1 : 0];
    s.values[s.next] = std::max(took, Duration(0));
    s.next = (s.next + 1) % kKept;
    s.count = std::min(s.count + 1, kKept);
}

void ShowLatency::Record(bool showing, TimePoint start, std::optional<TimePoint> seen) {
    if (seen) {
        Record(showing, std::chrono::duration_cast<Duration>(*seen - start));
    }
}

ShowLatency::Duration ShowLatency::Estimate(bool showing) const {
    const Samples& s = samples_[showing ? 1 : 0];
    // One change alone tells little: the first of a run is often the compositor taking in a
    // window it has not shown before, many times slower than the ones after it.
    if (s.count < 2) {
        return Duration(0);
    }
    std::array<Duration, kKept> sorted = s.values;
    std::sort(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(s.count));
    // The lower middle: of two, the quicker, as ending early does more harm than ending late.
    return sorted[(s.count - 1) / 2];
}

ShowLatency::Duration ShowLatency::Lead(bool showing, int ms) const {
    return std::clamp(Estimate(showing), Duration(0), Duration(std::max(ms, 0) * 1000LL / 2));
}

}  // namespace kestrane
