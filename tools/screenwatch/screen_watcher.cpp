#include "tools/screenwatch/screen_watcher.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace screenwatch {

struct ScreenWatcher::Impl {
    Display* dpy = nullptr;
    XImage* img = nullptr;
    XShmSegmentInfo shm{};
    int x = 0, y = 0, w = 0, h = 0;
    std::vector<std::uint32_t> baseline;

    std::size_t Words() const { return static_cast<std::size_t>(img->bytes_per_line / 4) * h; }
    const std::uint32_t* Grab() {
        XShmGetImage(dpy, DefaultRootWindow(dpy), img, x, y, AllPlanes);
        return reinterpret_cast<const std::uint32_t*>(img->data);
    }
};

ScreenWatcher::ScreenWatcher() : d_(new Impl) {}

ScreenWatcher::~ScreenWatcher() {
    if (d_->img != nullptr) {
        XShmDetach(d_->dpy, &d_->shm);
        XDestroyImage(d_->img);
        shmdt(d_->shm.shmaddr);
    }
    if (d_->dpy != nullptr) {
        XCloseDisplay(d_->dpy);
    }
    delete d_;
}

bool ScreenWatcher::Open(int w, int h) {
    d_->dpy = XOpenDisplay(nullptr);
    if (d_->dpy == nullptr || !XShmQueryExtension(d_->dpy)) {
        return false;
    }
    Display* dpy = d_->dpy;
    const int scr = DefaultScreen(dpy);
    d_->w = w;
    d_->h = h;
    d_->x = DisplayWidth(dpy, scr) / 2 - w / 2;
    d_->y = DisplayHeight(dpy, scr) / 2 - h / 2;
    d_->img =
        XShmCreateImage(dpy, DefaultVisual(dpy, scr), DefaultDepth(dpy, scr), ZPixmap, nullptr,
                        &d_->shm, static_cast<unsigned>(w), static_cast<unsigned>(h));
    d_->shm.shmid =
        shmget(IPC_PRIVATE, static_cast<size_t>(d_->img->bytes_per_line) * h, IPC_CREAT | 0600);
    d_->shm.shmaddr = d_->img->data = static_cast<char*>(shmat(d_->shm.shmid, nullptr, 0));
    d_->shm.readOnly = False;
    XShmAttach(dpy, &d_->shm);
    XSync(dpy, False);
    shmctl(d_->shm.shmid, IPC_RMID, nullptr);
    TakeBaseline();
    return true;
}

void ScreenWatcher::TakeBaseline() {
    const std::uint32_t* p = d_->Grab();
    d_->baseline.assign(p, p + d_->Words());
    const auto until = Clock::now() + std::chrono::seconds(5);
    auto stableSince = Clock::now();
    while (Clock::now() < until && Clock::now() - stableSince < std::chrono::milliseconds(300)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (Differs()) {
            p = d_->Grab();
            d_->baseline.assign(p, p + d_->Words());
            stableSince = Clock::now();
        }
    }
}

bool ScreenWatcher::Differs() {
    // A compositor may blend even a fully transparent window into what lies beneath with a
    // little rounding, so only a clear change of a channel counts.
    constexpr int kTolerance = 40;
    const std::uint32_t* p = d_->Grab();
    const std::size_t n = d_->baseline.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t a = p[i];
        const std::uint32_t b = d_->baseline[i];
        if (a == b) {
            continue;
        }
        for (int shift = 0; shift < 24; shift += 8) {
            const int da = static_cast<int>((a >> shift) & 0xFF);
            const int db = static_cast<int>((b >> shift) & 0xFF);
            if (std::abs(da - db) > kTolerance) {
                return true;
            }
        }
    }
    return false;
}

bool ScreenWatcher::CompositorRunning(int waitMs) {
    char name[32];
    std::snprintf(name, sizeof name, "_NET_WM_CM_S%d", DefaultScreen(d_->dpy));
    const Atom sel = XInternAtom(d_->dpy, name, False);
    const auto until = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (XGetSelectionOwner(d_->dpy, sel) != None) {
            return true;
        }
        if (Clock::now() >= until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string ScreenWatcher::WindowManagerName() {
    Display* dpy = d_->dpy;
    auto windowProperty = [&](Window w, Atom prop, Atom type) -> std::string {
        Atom actual = None;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char* data = nullptr;
        std::string out;
        if (XGetWindowProperty(dpy, w, prop, 0, 256, False, type, &actual, &format, &n, &after,
                               &data) == Success &&
            data != nullptr) {
            if (type == XA_WINDOW && format == 32 && n == 1) {
                out = std::to_string(*reinterpret_cast<unsigned long*>(data));
            } else if (format == 8) {
                out.assign(reinterpret_cast<char*>(data), n);
            }
            XFree(data);
        }
        return out;
    };
    const std::string check = windowProperty(
        DefaultRootWindow(dpy), XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False), XA_WINDOW);
    if (check.empty()) {
        return "";
    }
    return windowProperty(static_cast<Window>(std::stoul(check)),
                          XInternAtom(dpy, "_NET_WM_NAME", False),
                          XInternAtom(dpy, "UTF8_STRING", False));
}

bool ScreenWatcher::Viewable(const std::string& name) {
    Display* dpy = d_->dpy;
    std::vector<Window> todo{DefaultRootWindow(dpy)};
    while (!todo.empty()) {
        const Window w = todo.back();
        todo.pop_back();
        char* wmName = nullptr;
        if (XFetchName(dpy, w, &wmName) != 0 && wmName != nullptr) {
            const bool match = name == wmName;
            XFree(wmName);
            if (match) {
                XWindowAttributes attrs{};
                return XGetWindowAttributes(dpy, w, &attrs) != 0 && attrs.map_state == IsViewable;
            }
        }
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int n = 0;
        if (XQueryTree(dpy, w, &root, &parent, &children, &n) != 0 && children != nullptr) {
            todo.insert(todo.end(), children, children + n);
            XFree(children);
        }
    }
    return false;
}

double ScreenWatcher::ProbeFramePeriodMs(double seconds) {
    Display* dpy = d_->dpy;
    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    attrs.background_pixel = 0;
    const Window win =
        XCreateWindow(dpy, DefaultRootWindow(dpy), 0, 0, 8, 8, 0, CopyFromParent, InputOutput,
                      CopyFromParent, CWOverrideRedirect | CWBackPixel, &attrs);
    XMapRaised(dpy, win);
    XSync(dpy, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    std::vector<double> changes;
    unsigned long shown = 0;  // the colour last seen in the corner
    unsigned long level = 0;
    const auto start = Clock::now();
    auto next = start;
    for (;;) {
        const auto now = Clock::now();
        const double t = std::chrono::duration<double, std::milli>(now - start).count();
        if (t > seconds * 1000) {
            break;
        }
        if (now >= next) {
            // Every change is a new colour, so consecutive frames never look the same.
            level = (level + 1) % 200 + 20;
            XSetWindowBackground(dpy, win, level * 0x010101);
            XClearWindow(dpy, win);
            XFlush(dpy);
            next = now + std::chrono::milliseconds(1);
        }
        XImage* px = XGetImage(dpy, DefaultRootWindow(dpy), 4, 4, 1, 1, AllPlanes, ZPixmap);
        if (px != nullptr) {
            const unsigned long p = XGetPixel(px, 0, 0) & 0xFFFFFF;
            XDestroyImage(px);
            if (p != shown) {
                shown = p;
                changes.push_back(t);
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    XDestroyWindow(dpy, win);
    XSync(dpy, False);
    std::vector<double> gaps;
    for (std::size_t i = 2; i < changes.size(); ++i) {
        gaps.push_back(changes[i] - changes[i - 1]);
    }
    return gaps.empty() ? 0 : Summarise(gaps).median;
}

Trace Watch(ScreenWatcher& watcher, double limitMs, std::chrono::microseconds yield,
            const std::function<bool(const Trace&)>& stop) {
    Trace trace;
    const auto start = Clock::now();
    bool on = false;
    Flash current;
    long polls = 0;
    double t = 0;
    while (t < limitMs) {
        trace.elapsedMs = t;
        if (polls % 32 == 0 && stop && stop(trace)) {
            break;
        }
        const bool now = watcher.Differs();
        ++polls;
        const double previous = t;
        t = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (polls > 1 && t - previous > kBlindMs) {
            trace.blind.push_back({previous, t});
        }
        if (now != on) {
            if (now) {
                current = Flash{t, 0, previous, t};
            } else {
                current.off = t;
                trace.flashes.push_back(current);
            }
            on = now;
        } else if (on) {
            current.lastOn = t;
        }
        std::this_thread::sleep_for(yield);
    }
    trace.elapsedMs = t;
    trace.pollMs = polls > 0 ? t / static_cast<double>(polls) : 0;
    trace.onAtEnd = on;
    return trace;
}

Summary Summarise(std::vector<double> values) {
    Summary s;
    s.n = values.size();
    if (values.empty()) {
        return s;
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    s.median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    const auto rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(n)));
    s.p95 = values[std::min(n, std::max<std::size_t>(rank, 1)) - 1];
    s.min = values.front();
    s.max = values.back();
    for (double& v : values) {
        v = std::abs(v);
    }
    std::sort(values.begin(), values.end());
    s.absP95 = values[std::min(n, std::max<std::size_t>(rank, 1)) - 1];
    return s;
}

std::string FirstErrors(const std::vector<double>& errors, std::size_t n) {
    std::string out;
    char number[32];
    for (std::size_t i = 0; i < std::min(n, errors.size()); ++i) {
        std::snprintf(number, sizeof number, "%s%+.1f", out.empty() ? "" : " ", errors[i]);
        out += number;
    }
    return out.empty() ? "none" : out;
}

std::string DescribeBlind(const Trace& trace) {
    const Blind* longest = nullptr;
    for (const Blind& b : trace.blind) {
        if (longest == nullptr || b.to - b.from > longest->to - longest->from) {
            longest = &b;
        }
    }
    char text[128];
    if (longest == nullptr) {
        std::snprintf(text, sizeof text, "the watcher polled every %.3f ms, never blind",
                      trace.pollMs);
    } else {
        std::snprintf(text, sizeof text,
                      "the watcher polled every %.3f ms and was blind %zu times, longest %.1f ms "
                      "at %.1f ms",
                      trace.pollMs, trace.blind.size(), longest->to - longest->from, longest->from);
    }
    return text;
}

RunAnalysis Analyse(const Trace& trace, double displayMs, double pauseMs) {
    RunAnalysis a;
    a.seen = static_cast<int>(trace.flashes.size());
    // Whether the watcher was blind within (from, to) long enough to miss a whole flash.
    auto blindBetween = [&](double from, double to) {
        return std::any_of(trace.blind.begin(), trace.blind.end(), [&](const Blind& b) {
            return b.to > from && b.from < to && b.to - b.from >= displayMs / 2;
        });
    };
    for (std::size_t i = 0; i < trace.flashes.size(); ++i) {
        const Flash& f = trace.flashes[i];
        a.displayError.push_back(f.off - f.on - displayMs);
        if (i == 0) {
            continue;
        }
        const Flash& prev = trace.flashes[i - 1];
        const double gap = f.on - prev.off;
        const int lost = static_cast<int>(std::lround((gap - pauseMs) / (pauseMs + displayMs)));
        if (lost > 0) {
            (blindBetween(prev.off, f.on) ? a.unobserved : a.missed) += lost;
        } else {
            a.pauseError.push_back(gap - pauseMs);
            a.pauseErrorRange.emplace_back(f.before - prev.off - pauseMs,
                                           f.on - prev.lastOn - pauseMs);
        }
    }
    return a;
}

}  // namespace screenwatch
