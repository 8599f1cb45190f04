#include "platform/layered/x11_screen_origin.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QString>

// After Qt's headers: Xlib's macros would break them.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <map>
#include <optional>

namespace platform::layered::x11 {
namespace {

// The corner of the RandR monitor of this name, if the server has one.
std::optional<QPoint> MonitorCorner(Display* dpy, const QString& name) {
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (XRRQueryExtension(dpy, &event, &error) == 0 || XRRQueryVersion(dpy, &major, &minor) == 0 ||
        major * 100 + minor < 105) {
        return std::nullopt;  // monitors came with RandR 1.5
    }
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(dpy, DefaultRootWindow(dpy), False, &count);
    std::optional<QPoint> corner;
    for (int i = 0; i < count && !corner; ++i) {
        char* atomName = XGetAtomName(dpy, monitors[i].name);
        if (atomName != nullptr && name == QString::fromUtf8(atomName)) {
            corner = QPoint(monitors[i].x, monitors[i].y);
        }
        XFree(atomName);
    }
    if (monitors != nullptr) {
        XRRFreeMonitors(monitors);
    }
    return corner;
}

}  // namespace

QPoint NativeOrigin(const QScreen* screen) {
    if (screen == nullptr) {
        return QPoint();
    }
    const QRect logical = screen->geometry();
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->display() == nullptr) {
        return logical.topLeft();
    }
    // Qt's geometry of a screen changes whenever the server's monitors do.
    struct Known {
        QRect logical;
        QPoint native;
    };
    static std::map<QString, Known> known;
    const auto it = known.find(screen->name());
    if (it != known.end() && it->second.logical == logical) {
        return it->second.native;
    }
    const QPoint native = MonitorCorner(x11->display(), screen->name()).value_or(logical.topLeft());
    known[screen->name()] = {logical, native};
    return native;
}

QPointF ToNative(QPointF point, const QScreen* screen) {
    if (screen == nullptr) {
        return point;
    }
    const QPointF offset = point - QPointF(screen->geometry().topLeft());
    return QPointF(NativeOrigin(screen)) + offset * screen->devicePixelRatio();
}

}  // namespace platform::layered::x11
