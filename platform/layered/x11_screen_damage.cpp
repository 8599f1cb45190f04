#include "platform/layered/x11_screen_damage.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>

#include <algorithm>

namespace platform::layered::x11 {

using std::chrono::milliseconds;

ScreenDamage::ScreenDamage(Display* like) {
    dpy_ = XOpenDisplay(DisplayString(like));
    int error = 0;
    if (dpy_ != nullptr && !XDamageQueryExtension(dpy_, &eventBase_, &error)) {
        XCloseDisplay(dpy_);
        dpy_ = nullptr;
    }
}

ScreenDamage::~ScreenDamage() {
    if (dpy_ != nullptr) {
        XCloseDisplay(dpy_);
    }
}

void ScreenDamage::Begin() {
    damage_ = XDamageCreate(dpy_, DefaultRootWindow(dpy_), XDamageReportRawRectangles);
    XSync(dpy_, False);
    Drain();
}

std::optional<ScreenDamage::Clock::time_point> ScreenDamage::WaitOver(
    const QRect& area, milliseconds nudgeAfter, milliseconds timeout,
    const std::function<void()>& nudge) {
    const auto end = Clock::now() + timeout;
    auto nextNudge = Clock::now() + nudgeAfter;
    for (;;) {
        while (XPending(dpy_) > 0) {
            XEvent e;
            XNextEvent(dpy_, &e);
            if (e.type != eventBase_ + XDamageNotify) {
                continue;
            }
            const auto& d = reinterpret_cast<const XDamageNotifyEvent&>(e);
            if (area.intersects(QRect(d.area.x, d.area.y, d.area.width, d.area.height))) {
                return Clock::now();
            }
        }
        const auto now = Clock::now();
        if (now >= end) {
            return std::nullopt;
        }
        if (now >= nextNudge) {
            nudge();
            nextNudge = now + nudgeAfter;
        }
        const auto left = std::chrono::ceil<milliseconds>(std::min(end, nextNudge) - now);
        pollfd pfd{ConnectionNumber(dpy_), POLLIN, 0};
        poll(&pfd, 1, static_cast<int>(left.count()));
    }
}

void ScreenDamage::End() {
    XDamageDestroy(dpy_, damage_);
    XSync(dpy_, False);
    Drain();
}

void ScreenDamage::Drain() {
    while (XPending(dpy_) > 0) {
        XEvent e;
        XNextEvent(dpy_, &e);
    }
}

}  // namespace platform::layered::x11
