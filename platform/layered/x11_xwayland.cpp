#include "platform/layered/x11_xwayland.h"

#include "platform/layered/frame_timing.h"
#include "platform/layered/x11_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xpresent.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>

#include <cstring>
#include <map>
#include <thread>

namespace platform::layered::x11 {

using std::chrono::milliseconds;

bool IsXWayland(Display* dpy) {
    static std::map<Display*, bool> known;
    if (auto it = known.find(dpy); it != known.end()) {
        return it->second;
    }
    int opcode = 0, event = 0, error = 0;
    bool xwayland = XQueryExtension(dpy, "XWAYLAND", &opcode, &event, &error) != 0;
    if (!xwayland && XRRQueryExtension(dpy, &event, &error) != 0) {
        if (XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, DefaultRootWindow(dpy))) {
            for (int i = 0; i < res->noutput && !xwayland; ++i) {
                if (XRROutputInfo* out = XRRGetOutputInfo(dpy, res, res->outputs[i])) {
                    xwayland = std::strncmp(out->name, "XWAYLAND", 8) == 0;
                    XRRFreeOutputInfo(out);
                }
            }
            XRRFreeScreenResources(res);
        }
    }
    known[dpy] = xwayland;
    return xwayland;
}

namespace {

// The refresh period of the first output that has a mode, or nothing.
std::optional<Clock::duration> RefreshPeriod(Display* dpy) {
    int event = 0, error = 0;
    if (XRRQueryExtension(dpy, &event, &error) == 0) {
        return std::nullopt;
    }
    XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy, DefaultRootWindow(dpy));
    if (res == nullptr) {
        return std::nullopt;
    }
    std::optional<Clock::duration> period;
    for (int c = 0; c < res->ncrtc && !period; ++c) {
        XRRCrtcInfo* crtc = XRRGetCrtcInfo(dpy, res, res->crtcs[c]);
        for (int m = 0; crtc != nullptr && m < res->nmode && !period; ++m) {
            const XRRModeInfo& mode = res->modes[m];
            const double dots = static_cast<double>(mode.hTotal) * mode.vTotal;
            if (mode.id == crtc->mode && dots > 0 && mode.dotClock > 0) {
                period = std::chrono::duration_cast<Clock::duration>(
                    std::chrono::duration<double>(dots / static_cast<double>(mode.dotClock)));
            }
        }
        if (crtc != nullptr) {
            XRRFreeCrtcInfo(crtc);
        }
    }
    XRRFreeScreenResources(res);
    // Anything outside 20 to 500 Hz is not a refresh a compositor paints at.
    if (period && (*period < milliseconds(2) || *period > milliseconds(50))) {
        period.reset();
    }
    return period;
}

}  // namespace

XWaylandFrames::XWaylandFrames(Display* like, unsigned long window) : window_(window) {
    dpy_ = XOpenDisplay(DisplayString(like));
    int event = 0, error = 0;
    if (dpy_ != nullptr && !XPresentQueryExtension(dpy_, &opcode_, &event, &error)) {
        XCloseDisplay(dpy_);
        dpy_ = nullptr;
    }
    if (dpy_ != nullptr) {
        frame_ = RefreshPeriod(dpy_).value_or(frame_);
        XPresentSelectInput(dpy_, window_, PresentCompleteNotifyMask);
        XFlush(dpy_);
    }
}

XWaylandFrames::~XWaylandFrames() {
    if (dpy_ != nullptr) {
        XCloseDisplay(dpy_);
    }
}

std::optional<XWaylandFrames::Clock::time_point> XWaylandFrames::PresentAndWait(
    unsigned long pixmap, int xOff, int yOff, bool nextFrame, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    const unsigned copied = ++serial_;
    Forget();
    if (pixmap == None) {
        XPresentNotifyMSC(dpy_, window_, copied, 0, 0, 0);  // completes at once
    } else {
        XPresentPixmap(dpy_, window_, pixmap, copied, None, None, xOff, yOff, None, None, None,
                       PresentOptionAsync, 0, 0, 0, nullptr, 0);
    }
    XFlush(dpy_);
    const auto msc = WaitComplete(copied, deadline);
    const auto committed = Clock::now();
    if (msc && nextFrame) {
        // One tick of the counter more (see the header): the compositor has shown the commit.
        // Asked for now, waited for before the next change.
        shownSerial_ = ++serial_;
        XPresentNotifyMSC(dpy_, window_, shownSerial_, *msc + 1, 0, 0);
        XFlush(dpy_);
        shownAt_ = committed;
    }
    return msc ? std::optional(committed) : std::nullopt;
}

bool XWaylandFrames::WaitUntilFramesShown(Clock::time_point due) {
    if (!shownAt_) {
        return true;
    }
    if (shownSerial_ != 0) {
        const bool shown = WaitComplete(shownSerial_, *shownAt_ + kLongestWait).has_value();
        shownSerial_ = 0;
        if (!shown) {
            shownAt_.reset();
            return false;
        }
    }
    // The whole frames after the commit that put the content up (it went on screen in the
    // compositor's next frame, and the change goes in the frame as many after it). For one
    // frame the wait above has mostly taken that long already.
    const long long frames = frames::FramesFor(due - *shownAt_, frame_);
    std::this_thread::sleep_until(*shownAt_ + frames * frame_);
    return true;
}

std::optional<unsigned long long> XWaylandFrames::WaitComplete(unsigned serial,
                                                               Clock::time_point deadline) {
    for (;;) {
        while (XPending(dpy_) > 0) {
            XEvent e;
            XNextEvent(dpy_, &e);
            if (e.type != GenericEvent || e.xcookie.extension != opcode_ ||
                !XGetEventData(dpy_, &e.xcookie)) {
                continue;
            }
            const auto* c = static_cast<const XPresentCompleteNotifyEvent*>(e.xcookie.data);
            const bool done = c->evtype == PresentCompleteNotify && c->serial_number == serial;
            const unsigned long long msc = c->msc;
            XFreeEventData(dpy_, &e.xcookie);
            if (done) {
                return msc;
            }
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return std::nullopt;
        }
        const auto left = std::chrono::ceil<milliseconds>(deadline - now);
        pollfd pfd{ConnectionNumber(dpy_), POLLIN, 0};
        poll(&pfd, 1, static_cast<int>(left.count()));
    }
}

std::optional<Clock::duration> Surface::Ahead() const {
    if (!xwayland_ || !frames_ || !frames_->Ok() || !frames_->Shown()) {
        return std::nullopt;
    }
    // The whole frames nearest to a due time may end up to half a frame before it.
    return frames_->Frame() / 2 + std::chrono::milliseconds(2);
}

std::optional<Clock::time_point> Surface::PresentOnXWayland(
    const QImage& content, const QRegion& shape, bool usePrepared, bool raise, bool wait,
    std::optional<Clock::time_point> due, const std::function<void()>& justBefore) {
    const bool blank = shape.isEmpty() || (content.isNull() && !usePrepared);
    // Letters taken away are an empty pixmap the size of the window, made before any wait.
    Pixmap pm = 0;
    if (blank && mapped_) {
        pm =
            XCreatePixmap(dpy_, win_, static_cast<unsigned>(geometry_.width()),
                          static_cast<unsigned>(geometry_.height()), static_cast<unsigned>(depth_));
        XSetForeground(dpy_, Gc(pm), 0);  // fully transparent
        XFillRectangle(dpy_, pm, Gc(pm), 0, 0, static_cast<unsigned>(geometry_.width()),
                       static_cast<unsigned>(geometry_.height()));
        uploaded_.push_back(pm);
        XSync(dpy_, False);  // it exists for the other connection
    }
    if (due && frames_ && frames_->Ok()) {
        // Letters not seen on screen in time count as a timeout: a compositor that does not
        // paint the window.
        const bool shown = frames_->WaitUntilFramesShown(*due);
        timeouts_ = shown ? 0 : timeouts_ + 1;
        skipped_ = shown ? 0 : skipped_;
    }
    if (justBefore) {
        justBefore();
    }
    if (blank && !mapped_) {
        DropPrepared();
        blank_ = true;
        UpdateMapping();
        XSync(dpy_, False);
        return Clock::now();  // nothing was shown and nothing is
    }
    bool wasMapped = true;
    if (!blank) {
        // The letters with a margin for their faint edges.
        const QRect whole(QPoint(0, 0), WidgetGeometry().size());
        const QRect box = shape.boundingRect().adjusted(-2, -2, 2, 2) & whole;
        pm = usePrepared ? prepared_ : Upload(content);
        if (mapped_ && box != box_) {
            XUnmapWindow(dpy_, win_);  // resized where it is not shown
            mapped_ = false;
        }
        box_ = box;
        Follow();
        if (!mapped_) {
            // Mapped with the letters as its background, so that the compositor's first
            // picture of the window holds them. XWayland commits a window at most once a frame
            // and takes its pixels at the commit: a copy made after the mapping waits behind
            // the mapping's commit, and a change right after it (a message's end) would replace
            // the letters before any frame showed them.
            const Pixmap bg =
                XCreatePixmap(dpy_, win_, static_cast<unsigned>(box_.width()),
                              static_cast<unsigned>(box_.height()), static_cast<unsigned>(depth_));
            XCopyArea(dpy_, pm, bg, Gc(pm), box_.x(), box_.y(), static_cast<unsigned>(box_.width()),
                      static_cast<unsigned>(box_.height()), 0, 0);
            XSetWindowBackgroundPixmap(dpy_, win_, bg);
            XFreePixmap(dpy_, bg);
        }
        blank_ = false;
        wasMapped = mapped_;
        UpdateMapping();
        if (wasMapped && raise) {
            XRaiseWindow(dpy_, win_);
        }
    }
    const QPoint origin = blank ? QPoint(0, 0) : box_.topLeft();
    std::optional<Clock::time_point> seen;
    const bool waitFrame =
        wait && mapped_ && frames_ && frames_->Ok() && (timeouts_ < 3 || ++skipped_ % 16 == 0);
    if (waitFrame) {
        XSync(dpy_, False);  // the pixmap and the mapping exist for the other connection
        // A window just mapped shows its letters already: a copy would only be one more commit
        // for XWayland to hold back a frame, and the next change with it.
        seen = frames_->PresentAndWait(wasMapped ? pm : None, -origin.x(), -origin.y(), !blank,
                                       kLongestWait);
        timeouts_ = seen ? timeouts_ : timeouts_ + 1;
    } else {
        if (frames_) {
            frames_->Forget();  // not known to be shown: nothing to count frames from
        }
        XCopyArea(dpy_, pm, win_, Gc(pm), origin.x(), origin.y(),
                  static_cast<unsigned>(geometry_.width()),
                  static_cast<unsigned>(geometry_.height()), 0, 0);
    }
    if (blank) {
        blank_ = true;
        UpdateMapping();
    }
    DropPrepared();
    XFlush(dpy_);
    return seen;
}

}  // namespace platform::layered::x11
