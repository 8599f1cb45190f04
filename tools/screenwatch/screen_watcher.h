// Watching the screen from outside a program: a separate X client that polls a region of the
// screen with shared-memory images and notes when it looks different from how it looked
// before, with the analysis of a flash run seen that way. Used by the flash benchmark and by
// the end-to-end tests of the flash window under compositing managers.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace screenwatch {

using Clock = std::chrono::steady_clock;

class ScreenWatcher {
  public:
    ScreenWatcher();
    ~ScreenWatcher();
    ScreenWatcher(const ScreenWatcher&) = delete;
    ScreenWatcher& operator=(const ScreenWatcher&) = delete;

    // Connects to the display of $DISPLAY and watches a w x h region in the middle of the
    // screen. False when there is no display or no shared-memory extension.
    bool Open(int w, int h);
    // The region as it looks now becomes what "unchanged" means. A compositor may still be
    // painting its first frames, so this waits (at most a few seconds) until the region has
    // looked the same for a few tenths of a second.
    void TakeBaseline();
    // One poll: whether any pixel of the region clearly differs from the baseline.
    bool Differs();

    // Whether a compositing manager owns the _NET_WM_CM_S<screen> selection; waits up to
    // waitMs for one to appear.
    bool CompositorRunning(int waitMs = 0);
    // The name the window manager gives itself (_NET_WM_NAME of its check window), or "".
    std::string WindowManagerName();

    // Whether a window named `name` (WM_NAME) exists and is mapped and viewable.
    bool Viewable(const std::string& name);

    // How often the screen is repainted: a small window of its own in the top left corner
    // changes colour every millisecond while the corner is polled; the median time between two
    // changes seen. Without a compositor every change shows at once, giving about 1 ms.
    double ProbeFramePeriodMs(double seconds);

  private:
    struct Impl;
    Impl* d_;
};

// One flash as the watcher saw it, in ms since the watch began: the first poll that saw it and
// the first that no longer did, and the polls just around them. It came on somewhere in
// (before, on] and went off in (lastOn, off].
struct Flash {
    double on = 0;
    double off = 0;
    double before = 0;  // the poll before `on`
    double lastOn = 0;  // the last poll that saw it
    // What surely passed between its coming and going, and what may have passed.
    double Shortest() const { return lastOn - on; }
    double Longest() const { return off - before; }
};

// A time the watcher was not looking: two successive polls this far apart.
struct Blind {
    double from = 0;
    double to = 0;
};

struct Trace {
    std::vector<Flash> flashes;
    std::vector<Blind> blind;  // every gap between polls longer than kBlindMs
    double elapsedMs = 0;
    double pollMs = 0;     // mean time from one poll to the next
    bool onAtEnd = false;  // the region still differed when the watch ended
};
inline constexpr double kBlindMs = 1.0;
// The watcher's gaps as text ("12 gaps, longest 4.2 ms at 1031.0"), to print beside a failure.
std::string DescribeBlind(const Trace& trace);

// Polls until stop(trace so far) is true or limitMs have passed, yielding `yield` between polls so
// that the watched program is not starved of the processor.
Trace Watch(ScreenWatcher& watcher, double limitMs, std::chrono::microseconds yield,
            const std::function<bool(const Trace&)>& stop);

struct Summary {
    std::size_t n = 0;
    double median = 0, p95 = 0, min = 0, max = 0;
    double absP95 = 0;  // of the sizes, early or late alike
};
// Median, 95th percentile (nearest rank), least and greatest of signed values, and the 95th
// percentile of their sizes.
Summary Summarise(std::vector<double> values);

// A trace of a run of displayMs messages with pauses of pauseMs: flashes seen, flashes missed
// (a gap long enough to hold one or more whole cycles), signed display errors of every flash
// seen and signed pause errors of every gap that holds no missed flash.
//
// A flash missing from a gap counts as unobserved instead of missed when the watcher was blind
// at some moment of that gap for long enough to have slept through it (half its display time:
// the program may end a display that much early). Each pause also comes with the range the
// poll times allow (pauseErrorRange: the least and the greatest error it can have been), so a
// test fails on what surely happened, not on its own slowness.
struct RunAnalysis {
    int seen = 0;
    int missed = 0;
    int unobserved = 0;
    std::vector<double> displayError;
    std::vector<double> pauseError;
    std::vector<std::pair<double, double>> pauseErrorRange;
};
RunAnalysis Analyse(const Trace& trace, double displayMs, double pauseMs);

// The first n of a run's signed errors, in order ("-61.2 -58.0 +0.4"): where a compositor's
// first showing of a window, or the program's start-up, would show.
std::string FirstErrors(const std::vector<double>& errors, std::size_t n);

}  // namespace screenwatch
