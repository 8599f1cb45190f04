#include "platform/layered/x11_surface.h"

#include <QtGui/qguiapplication_platform.h>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/shape.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace platform::layered::x11 {
namespace {

using std::chrono::milliseconds;

Display* TheDisplay() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

enum class Way { Unknown, Shaped, Composited };

Atom AtomOf(Display* dpy, const char* name) {
    return XInternAtom(dpy, name, False);
}

// The X window that shows a layered widget, following the widget's place, size and
// visibility through an event filter.
class Surface : public QObject {
  public:
    Surface(Display* dpy, QWidget* widget) : dpy_(dpy), widget_(widget) {
        const int scr = DefaultScreen(dpy);
        const Window root = RootWindow(dpy, scr);
        XVisualInfo vi{};
        XSetWindowAttributes attrs{};
        attrs.override_redirect = True;
        attrs.background_pixel = 0;
        attrs.border_pixel = 0;
        unsigned long mask = CWOverrideRedirect | CWBackPixel | CWBorderPixel;
        if (XMatchVisualInfo(dpy, scr, 32, TrueColor, &vi) != 0) {
            visual = vi.visual;
            depth = 32;
            colormap_ = XCreateColormap(dpy, root, visual, AllocNone);
            attrs.colormap = colormap_;
            mask |= CWColormap;
        } else {
            visual = DefaultVisual(dpy, scr);
            depth = DefaultDepth(dpy, scr);
        }
        const QRect g = Geometry();
        win = XCreateWindow(dpy, root, g.x(), g.y(), static_cast<unsigned>(g.width()),
                            static_cast<unsigned>(g.height()), 0, depth, InputOutput, visual, mask,
                            &attrs);
        geometry_ = g;
        // Nothing shows until the first content, and no click is ever caught.
        XShapeCombineRectangles(dpy, win, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, Unsorted);
        XShapeCombineRectangles(dpy, win, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
        // A compositor must keep composing it, even above a full-screen window.
        const long keepComposing = 2;
        XChangeProperty(dpy, win, AtomOf(dpy, "_NET_WM_BYPASS_COMPOSITOR"), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&keepComposing), 1);
        const QByteArray app = QGuiApplication::applicationName().toUtf8();
        const QByteArray wmClass = app + '\0' + app + '\0';
        XChangeProperty(dpy, win, XA_WM_CLASS, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(wmClass.constData()),
                        static_cast<int>(wmClass.size()));
        Follow();
        widget->installEventFilter(this);
        if (widget->isVisible()) {
            Map();
        }
    }
    ~Surface() override {
        XDestroyWindow(dpy_, win);
        if (colormap_ != 0) {
            XFreeColormap(dpy_, colormap_);
        }
        XFlush(dpy_);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // Place, size, title and opacity as the widget has them now.
    void Follow() {
        const QRect g = Geometry();
        if (g != geometry_) {
            XMoveResizeWindow(dpy_, win, g.x(), g.y(), static_cast<unsigned>(g.width()),
                              static_cast<unsigned>(g.height()));
            geometry_ = g;
        }
        const QString title = widget_->windowTitle();
        if (title != title_) {
            const QByteArray utf8 = title.toUtf8();
            XChangeProperty(dpy_, win, AtomOf(dpy_, "_NET_WM_NAME"), AtomOf(dpy_, "UTF8_STRING"), 8,
                            PropModeReplace,
                            reinterpret_cast<const unsigned char*>(utf8.constData()),
                            static_cast<int>(utf8.size()));
            XStoreName(dpy_, win, title.toLatin1().constData());
            title_ = title;
        }
        const qreal opacity = widget_->windowOpacity();
        if (opacity != opacity_) {
            const Atom prop = AtomOf(dpy_, "_NET_WM_WINDOW_OPACITY");
            if (opacity >= 1.0) {
                XDeleteProperty(dpy_, win, prop);
            } else {
                const unsigned long value = static_cast<unsigned long>(opacity * 0xFFFFFFFFu);
                XChangeProperty(dpy_, win, prop, XA_CARDINAL, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(&value), 1);
            }
            opacity_ = opacity;
        }
    }

    // The widget's place and size in the server's pixels (never empty: X has no empty windows).
    QRect Geometry() const {
        const qreal ratio = widget_->devicePixelRatioF();
        const QRect g = widget_->geometry();
        return QRect(
            QPoint(qRound(g.x() * ratio), qRound(g.y() * ratio)),
            QSize(std::max(1, qRound(g.width() * ratio)), std::max(1, qRound(g.height() * ratio))));
    }

    bool Mapped() const { return mapped_; }

    Window win = 0;
    Visual* visual = nullptr;
    int depth = 0;
    Way way = Way::Unknown;
    bool blank = true;     // the last content put up showed nothing
    int timeouts = 0;      // waits in a row that saw no painting
    unsigned skipped = 0;  // presents not waited for since then

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        switch (e->type()) {
            case QEvent::Show:
                Follow();
                Map();
                break;
            case QEvent::Hide:
                XUnmapWindow(dpy_, win);
                XFlush(dpy_);
                mapped_ = false;
                break;
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::WindowTitleChange:
                Follow();
                XFlush(dpy_);
                break;
            default:
                break;
        }
        return false;
    }

  private:
    void Map() {
        XMapRaised(dpy_, win);
        XFlush(dpy_);
        mapped_ = true;
    }

    Display* dpy_;
    QWidget* widget_;
    Colormap colormap_ = 0;
    QRect geometry_;
    QString title_;
    qreal opacity_ = 1.0;
    bool mapped_ = false;
};

std::map<QWidget*, std::unique_ptr<Surface>>& Surfaces() {
    static std::map<QWidget*, std::unique_ptr<Surface>> surfaces;
    return surfaces;
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

// Makes content the window's background. 32-bit premultiplied ARGB in host order is the
// ZPixmap layout of both depths on little-endian X servers; at depth 24 the alpha byte is
// ignored.
void SetBackground(Display* dpy, const Surface& surface, const QImage& content) {
    const Window win = surface.win;
    QImage img = content.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const auto w = static_cast<unsigned>(img.width());
    const auto h = static_cast<unsigned>(img.height());
    const auto depth = static_cast<unsigned>(surface.depth);
    Pixmap pm = XCreatePixmap(dpy, win, w, h, depth);
    XImage* xi =
        XCreateImage(dpy, surface.visual, depth, ZPixmap, 0, reinterpret_cast<char*>(img.bits()), w,
                     h, 32, static_cast<int>(img.bytesPerLine()));
    if (xi != nullptr) {
        XPutImage(dpy, pm, GcForDepth(dpy, pm, surface.depth), xi, 0, 0, 0, 0, w, h);
        xi->data = nullptr;  // owned by img
        XDestroyImage(xi);
        XSetWindowBackgroundPixmap(dpy, win, pm);
    }
    XFreePixmap(dpy, pm);  // the window keeps its own reference
}

void SetShape(Display* dpy, Window win, const QRegion& shape) {
    std::vector<XRectangle> rects;
    for (const QRect& r : shape) {
        rects.push_back({static_cast<short>(r.x()), static_cast<short>(r.y()),
                         static_cast<unsigned short>(r.width()),
                         static_cast<unsigned short>(r.height())});
    }
    XShapeCombineRectangles(dpy, win, ShapeBounding, 0, 0, rects.data(),
                            static_cast<int>(rects.size()), ShapeSet, Unsorted);
}

// The screen's changes as a connection of our own sees them, so that waiting for them never
// takes events away from the toolkit's connection.
class ScreenDamage {
  public:
    explicit ScreenDamage(Display* like) {
        dpy_ = XOpenDisplay(DisplayString(like));
        int error = 0;
        if (dpy_ != nullptr && !XDamageQueryExtension(dpy_, &eventBase_, &error)) {
            XCloseDisplay(dpy_);
            dpy_ = nullptr;
        }
    }
    ScreenDamage(const ScreenDamage&) = delete;
    ScreenDamage& operator=(const ScreenDamage&) = delete;

    bool Ok() const { return dpy_ != nullptr; }

    // Starts noting changes; everything the server does after this returns is seen.
    void Begin() {
        damage_ = XDamageCreate(dpy_, DefaultRootWindow(dpy_), XDamageReportRawRectangles);
        XSync(dpy_, False);
        Drain();
    }

    // Waits until a change over area is reported, or the timeout passes. Whenever nothing
    // has been seen for nudgeAfter, nudge runs (it asks for the change again).
    std::optional<Clock::time_point> WaitOver(const QRect& area, milliseconds nudgeAfter,
                                              milliseconds timeout,
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

    void End() {
        XDamageDestroy(dpy_, damage_);
        XSync(dpy_, False);
        Drain();
    }

  private:
    void Drain() {
        while (XPending(dpy_) > 0) {
            XEvent e;
            XNextEvent(dpy_, &e);
        }
    }

    Display* dpy_ = nullptr;
    int eventBase_ = 0;
    Damage damage_ = 0;
};

ScreenDamage& Damages(Display* like) {
    static ScreenDamage damages(like);  // lives as long as the process
    return damages;
}

// Compositors paint a change within a frame or two. Some miss a change that comes while they
// still deal with the one before: they learn of changes from the window's damage at the
// "bounding box" level, which reports nothing when new damage falls inside damage that they
// have not yet subtracted. Mutter here missed about one in three messages taken away a
// millisecond after they were painted, and the letters stayed until the next change. So a
// message damages only the box around its letters and taking it away damages the whole window
// (the box grows, so the damage is reported), and a change not painted after a while is asked
// for again, over the same area. A compositor that does not paint at all is not waited for longer
// than that.
constexpr milliseconds kNudgeAfter(35);
constexpr milliseconds kLongestWait(100);

}  // namespace

bool Available() {
    return TheDisplay() != nullptr;
}

bool Compositing() {
    Display* dpy = TheDisplay();
    if (dpy == nullptr) {
        return false;
    }
    static Atom selection = None;
    static bool answer = false;
    static Clock::time_point asked;
    if (selection == None) {
        char name[32];
        std::snprintf(name, sizeof name, "_NET_WM_CM_S%d", DefaultScreen(dpy));
        selection = XInternAtom(dpy, name, False);
    } else if (Clock::now() - asked < std::chrono::seconds(1)) {
        return answer;
    }
    answer = XGetSelectionOwner(dpy, selection) != None;
    asked = Clock::now();
    return answer;
}

bool Attach(QWidget* window) {
    Display* dpy = TheDisplay();
    if (dpy == nullptr || window == nullptr) {
        return false;
    }
    auto& surface = Surfaces()[window];
    if (!surface) {
        surface = std::make_unique<Surface>(dpy, window);
    }
    return true;
}

void Detach(QWidget* window) {
    Surfaces().erase(window);
}

std::optional<Clock::time_point> Present(QWidget* window, const QImage& content,
                                         const QRegion& shape, bool raise) {
    Display* dpy = TheDisplay();
    auto it = Surfaces().find(window);
    if (dpy == nullptr || it == Surfaces().end()) {
        return std::nullopt;
    }
    Surface& surface = *it->second;
    const Window win = surface.win;
    surface.Follow();
    const bool compositing = Compositing();
    const bool composited = compositing && surface.depth == 32;
    const bool blank = shape.isEmpty() || content.isNull();

    // Wait for the compositor only when there is something new for it to paint.
    ScreenDamage& damage = Damages(dpy);
    bool watch = compositing && damage.Ok() && surface.Mapped() && !(blank && surface.blank);
    if (watch && surface.timeouts >= 3 && ++surface.skipped % 16 != 0) {
        watch = false;
    }
    if (watch) {
        damage.Begin();
    }

    // Repaints the changed part of the window from its background (again, when asked).
    QRect changed;
    auto repaint = [&] {
        XClearArea(dpy, win, changed.x(), changed.y(), static_cast<unsigned>(changed.width()),
                   static_cast<unsigned>(changed.height()), False);
    };
    if (composited) {
        if (surface.way != Way::Composited) {
            XShapeCombineMask(dpy, win, ShapeBounding, 0, 0, None, ShapeSet);
            surface.way = Way::Composited;
        }
        if (blank) {
            XSetWindowBackground(dpy, win, 0);  // fully transparent
            changed = QRect(QPoint(0, 0), surface.Geometry().size());
        } else {
            SetBackground(dpy, surface, content);
            // The letters with a margin for their faint edges; the window's bottom rows are
            // always empty, so this box is smaller than the window.
            changed =
                shape.boundingRect().adjusted(-2, -2, 2, 2) & QRect(QPoint(0, 0), content.size());
        }
        repaint();
    } else {
        surface.way = Way::Shaped;
        // The new background is in place before the shape changes, so the areas that the new
        // shape uncovers are painted with the new content, never the old.
        if (!blank) {
            SetBackground(dpy, surface, content);
        }
        SetShape(dpy, win, shape);
        if (!blank || compositing) {
            changed = QRect(QPoint(0, 0), surface.Geometry().size());
            repaint();  // what was visible already
        }
    }
    if (raise && surface.Mapped()) {
        XRaiseWindow(dpy, win);
    }
    surface.blank = blank;
    if (!watch) {
        // Without a compositor the content is on screen once the server has done this.
        XSync(dpy, False);
        return Clock::now();
    }
    XFlush(dpy);
    const auto seen = damage.WaitOver(surface.Geometry(), kNudgeAfter, kLongestWait, [&] {
        repaint();
        XFlush(dpy);
    });
    damage.End();
    if (!seen) {
        ++surface.timeouts;
        return Clock::now();
    }
    surface.timeouts = 0;
    surface.skipped = 0;
    return seen;
}

}  // namespace platform::layered::x11
