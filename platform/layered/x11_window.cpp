#include "platform/layered/x11_window.h"

#include "platform/layered/x11_screen_damage.h"
#include "platform/layered/x11_screen_origin.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace platform::layered::x11 {
namespace {

using std::chrono::milliseconds;

// Compositors paint a change within a frame or two. Some miss a change that comes while they
// still deal with the one before: they learn of changes from the window's damage at the
// "bounding box" level, which reports nothing when new damage falls inside damage that they
// have not yet subtracted. Mutter here missed about one in three messages taken away a
// millisecond after they were painted, and the letters stayed until the next change. So a
// message damages only the box around its letters and taking it away damages the whole window
// (the box grows, so the damage is reported), and a change not painted after a while is asked
// for again, over the same area. A compositor that does not paint at all is not waited for
// longer than that.
constexpr milliseconds kNudgeAfter(35);
// After the letters were taken away under a compositor, the window is repainted again this
// long later: a compositor can lose a change (mutter, now and then, right after the window was
// first shown) and a change of something else in the same place can pass for it, and letters
// left on screen until the next message are far worse than one more repaint of nothing. On a
// busy machine the compositor's own frames come late as well, so the repaints follow each
// other closely at first: a lost hide stays a few frames, not a quarter of a second.
constexpr milliseconds kHideAgainAfter[] = {milliseconds(20), milliseconds(40), milliseconds(60),
                                            milliseconds(100), milliseconds(250)};

Atom AtomOf(Display* dpy, const char* name) {
    return XInternAtom(dpy, name, False);
}

ScreenDamage& Damages(Display* like) {
    static ScreenDamage damages(like);  // lives as long as the process
    return damages;
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

}  // namespace

Surface::Surface(Display* dpy, QWidget* widget) : dpy_(dpy), widget_(widget) {
    const int scr = DefaultScreen(dpy);
    const Window root = RootWindow(dpy, scr);
    XVisualInfo vi{};
    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    attrs.background_pixel = 0;
    attrs.border_pixel = 0;
    unsigned long mask = CWOverrideRedirect | CWBackPixel | CWBorderPixel;
    if (XMatchVisualInfo(dpy, scr, 32, TrueColor, &vi) != 0) {
        visual_ = vi.visual;
        depth_ = 32;
        colormap_ = XCreateColormap(dpy, root, visual_, AllocNone);
        attrs.colormap = colormap_;
        mask |= CWColormap;
    } else {
        visual_ = DefaultVisual(dpy, scr);
        depth_ = DefaultDepth(dpy, scr);
    }
    const QRect g = Geometry();
    win_ = XCreateWindow(dpy, root, g.x(), g.y(), static_cast<unsigned>(g.width()),
                         static_cast<unsigned>(g.height()), 0, depth_, InputOutput, visual_, mask,
                         &attrs);
    geometry_ = g;
    // Nothing shows until the first content, and no click is ever caught. (Under XWayland
    // the window is unmapped while it shows nothing, and its size is that of its content.)
    xwayland_ = IsXWayland(dpy);
    if (!xwayland_) {
        XShapeCombineRectangles(dpy, win_, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    }
    XShapeCombineRectangles(dpy, win_, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    // A compositor must keep composing it, even above a full-screen window.
    const long keepComposing = 2;
    XChangeProperty(dpy, win_, AtomOf(dpy, "_NET_WM_BYPASS_COMPOSITOR"), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&keepComposing), 1);
    const QByteArray app = QGuiApplication::applicationName().toUtf8();
    const QByteArray wmClass = app + '\0' + app + '\0';
    XChangeProperty(dpy, win_, XA_WM_CLASS, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(wmClass.constData()),
                    static_cast<int>(wmClass.size()));
    Follow();
    widget->installEventFilter(this);
    widgetShown_ = widget->isVisible();
    UpdateMapping();
    XSync(dpy, False);  // the window exists for the other connection
    if (xwayland_) {
        frames_ = std::make_unique<XWaylandFrames>(dpy, win_);
    }
}

Surface::~Surface() {
    XDestroyWindow(dpy_, win_);
    DropPrepared();
    if (gc_ != nullptr) {
        XFreeGC(dpy_, gc_);
    }
    if (colormap_ != 0) {
        XFreeColormap(dpy_, colormap_);
    }
    XFlush(dpy_);
}

void Surface::Prepare(const QImage& content, const QRegion& shape) {
    DropPrepared();
    prepared_ = Upload(content);
    preparedShape_ = shape;
    if (!composited_ && !xwayland_ && !mapped_) {
        XSetWindowBackgroundPixmap(dpy_, win_, prepared_);
        SetShape(dpy_, win_, shape);
        preparedInPlace_ = true;
    }
    XFlush(dpy_);
}

std::optional<Clock::time_point> Surface::Present(const QImage& content, const QRegion& shape,
                                                  bool usePrepared, bool raise, bool wait,
                                                  std::optional<Clock::time_point> due,
                                                  const std::function<void()>& justBefore) {
    usePrepared = usePrepared && prepared_ != 0;
    if (xwayland_) {
        return PresentOnXWayland(content, shape, usePrepared, raise, wait, due, justBefore);
    }
    if (justBefore) {
        justBefore();
    }
    Follow();
    const bool compositing = Compositing();
    const bool blank = shape.isEmpty() || (content.isNull() && !usePrepared);
    if (compositing != composited_) {
        // Switching ways: a composited window keeps no bounding shape.
        composited_ = compositing;
        if (composited_) {
            XShapeCombineMask(dpy_, win_, ShapeBounding, 0, 0, None, ShapeSet);
        }
        preparedInPlace_ = false;
        blank_ = !blank;  // whatever was up, it changes now
    }

    // Wait for the compositor only when there is something new for it to paint.
    ScreenDamage& damage = Damages(dpy_);
    bool watch = wait && composited_ && damage.Ok() && widgetShown_ && !(blank && blank_);
    if (watch && timeouts_ >= 3 && ++skipped_ % 16 != 0) {
        watch = false;
    }
    if (watch) {
        damage.Begin();
    }

    QRect changed;  // the part of the window to repaint from its background
    if (composited_) {
        if (blank) {
            XSetWindowBackground(dpy_, win_, 0);  // fully transparent
            changed = QRect(QPoint(0, 0), geometry_.size());
        } else {
            SetBackground(usePrepared ? prepared_ : Upload(content));
            // The letters with a margin for their faint edges; the window's bottom rows
            // are always empty, so this box is smaller than the window.
            changed =
                shape.boundingRect().adjusted(-2, -2, 2, 2) & QRect(QPoint(0, 0), geometry_.size());
        }
    } else if (!blank && !(usePrepared && preparedInPlace_)) {
        // The new background is in place before the shape changes, so the areas that the
        // new shape uncovers are painted with the new content, never the old.
        SetBackground(usePrepared ? prepared_ : Upload(content));
        SetShape(dpy_, win_, shape);
        changed = QRect(QPoint(0, 0), geometry_.size());
    }
    DropPrepared();
    const bool wasMapped = mapped_;
    const bool wasBlank = blank_;
    blank_ = blank;
    UpdateMapping();
    auto repaint = [&] {
        if (!changed.isEmpty()) {
            XClearArea(dpy_, win_, changed.x(), changed.y(), static_cast<unsigned>(changed.width()),
                       static_cast<unsigned>(changed.height()), False);
        }
    };
    if (wasMapped && mapped_) {
        repaint();  // a mapped window is painted from its new background only when asked
        if (raise) {
            XRaiseWindow(dpy_, win_);
        }
    }
    if (composited_ && blank && mapped_ && !changed.isEmpty()) {
        const unsigned generation = ++hides_;
        for (const milliseconds after : kHideAgainAfter) {
            QTimer::singleShot(after, this, [this, generation] {
                if (generation == hides_ && composited_ && blank_ && mapped_) {
                    XClearArea(dpy_, win_, 0, 0, 0, 0, False);  // 0 x 0: the whole window
                    XFlush(dpy_);
                }
            });
        }
    }
    if (!wait) {
        XFlush(dpy_);  // a change waited for comes right after this one
        return std::nullopt;
    }
    if (!watch) {
        // Without a compositor the content is on screen once the server has done this.
        // Under one that was not waited for, nobody knows when it is.
        XSync(dpy_, False);
        if (composited_ && widgetShown_ && !(blank && wasBlank)) {
            return std::nullopt;
        }
        return Clock::now();
    }
    XFlush(dpy_);
    const auto seen = damage.WaitOver(Geometry(), kNudgeAfter, kLongestWait, [&] {
        repaint();
        XFlush(dpy_);
    });
    damage.End();
    if (!seen) {
        ++timeouts_;
        return std::nullopt;  // not seen: the caller must not take this for a display time
    }
    timeouts_ = 0;
    skipped_ = 0;
    return seen;
}

bool Surface::eventFilter(QObject*, QEvent* e) {
    switch (e->type()) {
        case QEvent::Show:
        case QEvent::Hide:
            Follow();
            widgetShown_ = e->type() == QEvent::Show;
            UpdateMapping();
            XFlush(dpy_);
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

QRect Surface::Geometry() const {
    const QRect g = WidgetGeometry();
    return xwayland_ && !box_.isEmpty() ? box_.translated(g.topLeft()) : g;
}

QRect Surface::WidgetGeometry() const {
    // The size at the ratio the content is rendered at; the place from the widget's offset
    // into its screen, at that screen's factor (x11_screen_origin.h).
    const qreal ratio = widget_->devicePixelRatioF();
    const QRect g = widget_->geometry();
    return QRect(
        ToNative(g.topLeft(), widget_->screen()).toPoint(),
        QSize(std::max(1, qRound(g.width() * ratio)), std::max(1, qRound(g.height() * ratio))));
}

void Surface::Follow() {
    const QRect g = Geometry();
    if (g != geometry_) {
        XMoveResizeWindow(dpy_, win_, g.x(), g.y(), static_cast<unsigned>(g.width()),
                          static_cast<unsigned>(g.height()));
        geometry_ = g;
    }
    const QString title = widget_->windowTitle();
    if (title != title_) {
        const QByteArray utf8 = title.toUtf8();
        XChangeProperty(dpy_, win_, AtomOf(dpy_, "_NET_WM_NAME"), AtomOf(dpy_, "UTF8_STRING"), 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.constData()),
                        static_cast<int>(utf8.size()));
        XStoreName(dpy_, win_, title.toLatin1().constData());
        title_ = title;
    }
    const qreal opacity = widget_->windowOpacity();
    if (opacity != opacity_) {
        const Atom prop = AtomOf(dpy_, "_NET_WM_WINDOW_OPACITY");
        if (opacity >= 1.0) {
            XDeleteProperty(dpy_, win_, prop);
        } else {
            const unsigned long value = static_cast<unsigned long>(opacity * 0xFFFFFFFFu);
            XChangeProperty(dpy_, win_, prop, XA_CARDINAL, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&value), 1);
        }
        opacity_ = opacity;
    }
}

void Surface::UpdateMapping() {
    const bool wanted = widgetShown_ && ((composited_ && !xwayland_) || !blank_);
    if (wanted && !mapped_) {
        XMapRaised(dpy_, win_);  // painted from its background as it appears
    } else if (!wanted && mapped_) {
        XUnmapWindow(dpy_, win_);
    }
    mapped_ = wanted;
}

Pixmap Surface::Upload(const QImage& content) {
    QImage img = content.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const auto w = static_cast<unsigned>(std::max(1, img.width()));
    const auto h = static_cast<unsigned>(std::max(1, img.height()));
    const auto depth = static_cast<unsigned>(depth_);
    Pixmap pm = XCreatePixmap(dpy_, win_, w, h, depth);
    XImage* xi = XCreateImage(dpy_, visual_, depth, ZPixmap, 0, reinterpret_cast<char*>(img.bits()),
                              w, h, 32, static_cast<int>(img.bytesPerLine()));
    if (xi != nullptr && !img.isNull()) {
        XPutImage(dpy_, pm, Gc(pm), xi, 0, 0, 0, 0, w, h);
    }
    if (xi != nullptr) {
        xi->data = nullptr;  // owned by img
        XDestroyImage(xi);
    }
    uploaded_.push_back(pm);
    return pm;
}

GC Surface::Gc(Drawable like) {
    if (gc_ == nullptr) {
        gc_ = XCreateGC(dpy_, like, 0, nullptr);
    }
    return gc_;
}

void Surface::SetBackground(Pixmap pm) {
    XSetWindowBackgroundPixmap(dpy_, win_, pm);
    // The window keeps its own reference to its background.
    for (Pixmap p : uploaded_) {
        XFreePixmap(dpy_, p);
    }
    uploaded_.clear();
    prepared_ = 0;
}

void Surface::DropPrepared() {
    for (Pixmap p : uploaded_) {
        XFreePixmap(dpy_, p);
    }
    uploaded_.clear();
    prepared_ = 0;
    preparedInPlace_ = false;
}

}  // namespace platform::layered::x11
