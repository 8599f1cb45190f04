#include "platform/layered/x11_surface.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QWidget>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <map>
#include <vector>

namespace platform::layered::x11 {
namespace {

Display* TheDisplay() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

struct WindowInfo {
    Visual* visual = nullptr;
    int depth = 0;
};

// Visual and depth of each window, asked once (the query is a round trip to the server).
WindowInfo InfoOf(Display* dpy, Window win) {
    static std::map<Window, WindowInfo> cache;
    auto it = cache.find(win);
    if (it != cache.end()) {
        return it->second;
    }
    XWindowAttributes attrs{};
    WindowInfo info;
    if (XGetWindowAttributes(dpy, win, &attrs) != 0) {
        info.visual = attrs.visual;
        info.depth = attrs.depth;
    }
    cache[win] = info;
    return info;
}

GC GcForDepth(Display* dpy, Drawable d, int depth) {
    static std::map<int, GC> gcs;
    auto it = gcs.find(depth);
    if (it != gcs.end()) {
        return it->second;
    }
    GC gc = XCreateGC(dpy, d, 0, nullptr);
    gcs[depth] = gc;
    return gc;
}

}  // namespace

bool Available() {
    return TheDisplay() != nullptr;
}

bool Present(QWidget* window, const QImage& content, const QRegion& shape, bool raise) {
    Display* dpy = TheDisplay();
    if (dpy == nullptr || window == nullptr || !window->testAttribute(Qt::WA_WState_Created)) {
        return false;
    }
    const Window win = static_cast<Window>(window->winId());

    const WindowInfo info = InfoOf(dpy, win);

    if (!shape.isEmpty() && info.visual != nullptr && !content.isNull() &&
        (info.depth == 24 || info.depth == 32)) {
        // 32-bit premultiplied ARGB in host order is the ZPixmap layout of both depths on
        // little-endian X servers; at depth 24 the alpha byte is ignored.
        QImage img = content.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const int w = img.width();
        const int h = img.height();
        Pixmap pm = XCreatePixmap(dpy, win, static_cast<unsigned>(w), static_cast<unsigned>(h),
                                  static_cast<unsigned>(info.depth));
        XImage* xi =
            XCreateImage(dpy, info.visual, static_cast<unsigned>(info.depth), ZPixmap, 0,
                         reinterpret_cast<char*>(img.bits()), static_cast<unsigned>(w),
                         static_cast<unsigned>(h), 32, static_cast<int>(img.bytesPerLine()));
        if (xi != nullptr) {
            XPutImage(dpy, pm, GcForDepth(dpy, pm, info.depth), xi, 0, 0, 0, 0,
                      static_cast<unsigned>(w), static_cast<unsigned>(h));
            xi->data = nullptr;  // owned by img
            XDestroyImage(xi);
            XSetWindowBackgroundPixmap(dpy, win, pm);
        }
        XFreePixmap(dpy, pm);  // the window keeps its own reference
    }
    // The new background is in place before the shape changes, so the areas that the new
    // shape uncovers are painted with the new content, never the old.
    std::vector<XRectangle> rects;
    for (const QRect& r : shape) {
        rects.push_back({static_cast<short>(r.x()), static_cast<short>(r.y()),
                         static_cast<unsigned short>(r.width()),
                         static_cast<unsigned short>(r.height())});
    }
    XShapeCombineRectangles(dpy, win, ShapeBounding, 0, 0, rects.data(),
                            static_cast<int>(rects.size()), ShapeSet, Unsorted);
    XShapeCombineRectangles(dpy, win, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);

    if (!shape.isEmpty()) {
        XClearWindow(dpy, win);  // repaints what was visible already
    }
    if (raise) {
        XRaiseWindow(dpy, win);
    }
    // Wait until the server has carried the requests out: the content is on screen when this
    // returns, so a display time counted from here is the time it is seen.
    XSync(dpy, False);
    return true;
}

}  // namespace platform::layered::x11
