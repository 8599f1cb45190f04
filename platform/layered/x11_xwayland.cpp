#include "platform/layered/x11_xwayland.h"

#include "platform/layered/x11_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xpresent.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>

#include <cstring>
#include <map>

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

XWaylandFrames::XWaylandFrames(Display* like, unsigned long window) : window_(window) {
    dpy_ = XOpenDisplay(DisplayString(like));
    int event = 0, error = 0;
    if (dpy_ != nullptr && !XPresentQueryExtension(dpy_, &opcode_, &event, &error)) {
        XCloseDisplay(dpy_);
        dpy_ = nullptr;
    }
    if (dpy_ != nullptr) {
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
    XPresentPixmap(dpy_, window_, pixmap, copied, None, None, xOff, yOff, None, None, None,
                   PresentOptionNone, 0, 0, 0, nullptr, 0);
    XFlush(dpy_);
    const auto msc = WaitComplete(copied, deadline);
    if (!msc || !nextFrame) {
        return msc ? std::optional(Clock::now()) : std::nullopt;
    }
    // One frame callback more (see the header): the commit of the copy has been drawn.
    const unsigned next = ++serial_;
    XPresentNotifyMSC(dpy_, window_, next, *msc + 1, 0, 0);
    XFlush(dpy_);
    if (!WaitComplete(next, deadline)) {
        return std::nullopt;
    }
    return Clock::now();
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

std::optional<Clock::time_point> Surface::PresentOnXWayland(const QImage& content,
                                                            const QRegion& shape, bool usePrepared,
                                                            bool raise, bool wait) {
    const bool blank = shape.isEmpty() || (content.isNull() && !usePrepared);
    if (blank && !mapped_) {
        DropPrepared();
        blank_ = true;
        UpdateMapping();
        XSync(dpy_, False);
        return Clock::now();  // nothing was shown and nothing is
    }
    Pixmap pm = 0;
    if (blank) {
        pm =
            XCreatePixmap(dpy_, win_, static_cast<unsigned>(geometry_.width()),
                          static_cast<unsigned>(geometry_.height()), static_cast<unsigned>(depth_));
        XSetForeground(dpy_, Gc(pm), 0);  // fully transparent
        XFillRectangle(dpy_, pm, Gc(pm), 0, 0, static_cast<unsigned>(geometry_.width()),
                       static_cast<unsigned>(geometry_.height()));
        uploaded_.push_back(pm);
    } else {
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
        blank_ = false;
        const bool wasMapped = mapped_;
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
        seen = frames_->PresentAndWait(pm, -origin.x(), -origin.y(), !blank, kLongestWait);
        timeouts_ = seen ? 0 : timeouts_ + 1;
        skipped_ = seen ? 0 : skipped_;
    } else {
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
