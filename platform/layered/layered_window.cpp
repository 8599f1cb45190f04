#include "platform/layered/layered_window.h"

#include "platform/layered/keyed_image.h"
#include "platform/layered/shell_flash.h"
#include "platform/layered/wayland_surface.h"
#include "platform/layered/x11_surface.h"

#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QWidget>

#include <cstdlib>
#include <map>
#include <string_view>
#include <vector>

namespace platform::layered {
namespace {

struct Entry {
    QPointer<QWidget> window;
    std::int32_t exStyle = 0;
    std::uint32_t key = 0;
    std::uint8_t alpha = 255;
    std::uint32_t lwaFlags = 0;
    QRegion visible;
    QImage prepared;  // the rendering that Prepare handed over, until the next Present
    QRegion preparedShape;
};

std::map<HWND, Entry>& Entries() {
    static std::map<HWND, Entry> entries;
    return entries;
}

HWND& LastHandle() {
    static HWND last = 0x10000;  // well away from 0 and the special negative handles
    return last;
}

Entry* Find(HWND hWnd) {
    auto it = Entries().find(hWnd);
    if (it == Entries().end() || it->second.window.isNull()) {
        return nullptr;
    }
    return &it->second;
}

// Turns the extended style into the Qt window flags and attributes that give the same
// behaviour on this window system.
void ApplyStyle(QWidget* w, std::int32_t style) {
    Qt::WindowFlags flags = w->windowFlags();
    const Qt::WindowFlags before = flags;
    flags.setFlag(Qt::WindowTransparentForInput, (style & WS_EX_TRANSPARENT) != 0);
    flags.setFlag(Qt::X11BypassWindowManagerHint, (style & WS_EX_TRANSPARENT) != 0);
    flags.setFlag(Qt::WindowStaysOnTopHint, (style & WS_EX_TOPMOST) != 0);
    const bool layered = (style & WS_EX_LAYERED) != 0;
    const bool layeredChanged = w->testAttribute(Qt::WA_TranslucentBackground) != layered;
    // A layered window is shown by GNOME Shell where its extension answers (shell_flash.h),
    // else through a surface of its own, on the compositor's overlay layer where it offers one
    // (wayland_surface.h), else on X (x11_surface.h); the widget stays off the screen.
    const bool viaShell = layered && shell::Available();
    if (flags == before && !layeredChanged && viaShell == shell::Attached(w)) {
        return;
    }
    const bool wasVisible = w->isVisible();
    w->setAttribute(Qt::WA_TranslucentBackground, layered);
    w->setAttribute(Qt::WA_NoSystemBackground, layered);
    const bool native = layered && !viaShell && wayland::Available();
    const bool ownSurface = viaShell || native || (layered && x11::Available());
    if (wasVisible) {
        w->hide();
    }
    w->setAttribute(Qt::WA_DontShowOnScreen, ownSurface);
    if (viaShell) {
        shell::Attach(w);
    } else {
        shell::Detach(w);
    }
    if (native) {
        wayland::Attach(w);
    } else {
        wayland::Detach(w);
    }
    if (ownSurface && !native && !viaShell) {
        x11::Attach(w);
    } else {
        x11::Detach(w);
    }
    w->setWindowFlags(flags);  // its native window is made anew
    if (wasVisible) {
        w->setAttribute(Qt::WA_ShowWithoutActivating, true);
        w->show();
    }
}

}  // namespace

HWND HandleOf(QWidget* window) {
    if (window == nullptr) {
        return 0;
    }
    for (auto& [h, e] : Entries()) {
        if (e.window == window) {
            return h;
        }
    }
    const HWND h = ++LastHandle();
    Entries()[h].window = window;
    QObject::connect(window, &QObject::destroyed, [h, window] {
        shell::Detach(window);
        x11::Detach(window);
        wayland::Detach(window);
        Entries().erase(h);
    });
    return h;
}

QWidget* WindowFromHandle(HWND hWnd) {
    Entry* e = Find(hWnd);
    return e ? e->window.data() : nullptr;
}

HWND SetParent(HWND hWnd, HWND newParent) {
    Entry* e = Find(hWnd);
    if (e == nullptr) {
        return 0;
    }
    QWidget* w = e->window;
    QWidget* old = w->parentWidget();
    const HWND oldHandle = old ? HandleOf(old) : 0;
    if (newParent == 0) {
        if (old != nullptr || !w->isWindow()) {
            w->setParent(nullptr, w->windowFlags() | Qt::Window);
        }
    } else if (QWidget* p = WindowFromHandle(newParent); p != nullptr && p != old) {
        w->setParent(p, w->windowFlags() & ~Qt::WindowType_Mask);
    }
    return oldHandle;
}

std::int32_t GetWindowLongA(HWND hWnd, int index) {
    Entry* e = Find(hWnd);
    if (e == nullptr || index != GWL_EXSTYLE) {
        return 0;
    }
    return e->exStyle;
}

std::int32_t SetWindowLongA(HWND hWnd, int index, std::int32_t newLong) {
    Entry* e = Find(hWnd);
    if (e == nullptr || index != GWL_EXSTYLE) {
        return 0;
    }
    const std::int32_t old = e->exStyle;
    e->exStyle = newLong;
    ApplyStyle(e->window, newLong);
    return old;
}

bool SetLayeredWindowAttributes(HWND hWnd, std::uint32_t crKey, std::uint8_t bAlpha,
                                std::uint32_t dwFlags) {
    Entry* e = Find(hWnd);
    if (e == nullptr || (e->exStyle & WS_EX_LAYERED) == 0) {
        return false;
    }
    e->key = crKey & 0xFFFFFFu;
    e->alpha = bAlpha;
    e->lwaFlags = dwFlags;
    e->window->setWindowOpacity((dwFlags & LWA_ALPHA) != 0 ? bAlpha / 255.0 : 1.0);
    Present(hWnd);
    return true;
}

bool GetLayeredWindowAttributes(HWND hWnd, std::uint32_t* crKey, std::uint8_t* bAlpha,
                                std::uint32_t* dwFlags) {
    Entry* e = Find(hWnd);
    if (e == nullptr || (e->exStyle & WS_EX_LAYERED) == 0) {
        return false;
    }
    if (crKey)
        *crKey = e->key;
    if (bAlpha)
        *bAlpha = e->alpha;
    if (dwFlags)
        *dwFlags = e->lwaFlags;
    return true;
}

bool SetWindowPos(HWND hWnd, HWND insertAfter, int x, int y, int cx, int cy, std::uint32_t flags) {
    Entry* e = Find(hWnd);
    if (e == nullptr) {
        return false;
    }
    QWidget* w = e->window;
    if (insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
        std::int32_t style = e->exStyle;
        style = insertAfter == HWND_TOPMOST ? (style | WS_EX_TOPMOST) : (style & ~WS_EX_TOPMOST);
        e->exStyle = style;
        ApplyStyle(w, style);
    }
    if ((flags & SWP_NOMOVE) == 0) {
        w->move(x, y);
    }
    if ((flags & SWP_NOSIZE) == 0) {
        w->resize(cx, cy);
    }
    if ((flags & SWP_SHOWWINDOW) != 0) {
        w->setAttribute(Qt::WA_ShowWithoutActivating, (flags & SWP_NOACTIVATE) != 0);
        if ((e->exStyle & WS_EX_LAYERED) != 0) {
            // Content first, so that nothing but the content ever shows, not even for the
            // moment between mapping and the first paint.
            Present(hWnd);
        }
        w->show();
    } else if ((flags & SWP_HIDEWINDOW) != 0) {
        w->hide();
    }
    if (insertAfter == HWND_TOPMOST && w->isVisible()) {
        w->raise();
    }
    return true;
}

namespace {

// The window's content as it looks now, rendered on a transparent background at the device
// pixel ratio of what shows it: on the layer-shell path the output's scale (wayland_surface.h);
// on X the widget's ratio, pixel for pixel in the server's pixels (the widget's size times its
// ratio, rounded as the surface rounds it); the toolkit's own window takes it at 1, in the
// widget's pixels, like its shape.
QImage Render(QWidget* w) {
    const qreal ratio =
        wayland::ContentRatio(w).value_or(x11::Available() ? w->devicePixelRatioF() : 1.0);
    const QSize size(qRound(w->width() * ratio), qRound(w->height() * ratio));
    QImage content(size, QImage::Format_ARGB32_Premultiplied);
    content.setDevicePixelRatio(ratio);
    content.fill(Qt::transparent);
    QPainter p(&content);
    w->render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
    return content;
}

}  // namespace

void Prepare(HWND hWnd) {
    Entry* e = Find(hWnd);
    const bool native = wayland::Available();
    if (e == nullptr || (e->exStyle & WS_EX_LAYERED) == 0 || !(native || x11::Available()) ||
        shell::Attached(e->window)) {
        return;  // elsewhere there is nothing to hand over ahead of time
    }
    const bool useKey = (e->lwaFlags & LWA_COLORKEY) != 0;
    e->prepared = Render(e->window);
    e->preparedShape = KeyedRegion(e->prepared, e->key, useKey);
    const QImage keyed = useKey ? WithoutKey(e->prepared, e->key) : e->prepared;
    if (native) {
        wayland::Prepare(e->window, keyed);
    } else {
        x11::Prepare(e->window, keyed, e->preparedShape);
    }
}

namespace {

// A window's content as Present hands it over: rendered, its visible shape, and with the key
// colour made transparent where the window system takes it so.
struct Ready {
    Entry* e = nullptr;
    QImage content;
    QRegion shape;
    bool usePrepared = false;
};

// Renders a window for Present; all the work that takes time happens here, before anything is
// handed to the window system.
Ready RenderForPresent(Entry* e) {
    QWidget* w = e->window;
    // The shell's extension came or went since the window took its path: it takes the other.
    if (shell::Attached(w) != shell::Available()) {
        ApplyStyle(w, e->exStyle);
    }
    const bool onX = x11::Available();
    if (!onX && !w->mask().isEmpty()) {
        w->clearMask();  // rendering is clipped to the mask, which belongs to the old content
    }
    Ready r;
    r.e = e;
    r.content = Render(w);
    const bool useKey = (e->lwaFlags & LWA_COLORKEY) != 0;
    // Content prepared ahead is used when the window still looks exactly like it.
    r.usePrepared = !e->prepared.isNull() && e->prepared == r.content;
    r.shape = r.usePrepared ? e->preparedShape : KeyedRegion(r.content, e->key, useKey);
    e->prepared = QImage();
    e->preparedShape = QRegion();
    e->visible = r.shape;
    if ((onX || wayland::Available()) && !r.usePrepared && useKey) {
        r.content = WithoutKey(r.content, e->key);
    }
    return r;
}

// Hands a rendered window to the window system; `justBefore` runs once, right before.
std::optional<std::chrono::steady_clock::time_point> Send(
    const Ready& r, std::optional<std::chrono::steady_clock::time_point> due, bool wait,
    const std::function<void()>& justBefore, std::optional<std::chrono::milliseconds> stay) {
    QWidget* w = r.e->window;
    if (shell::Attached(w)) {
        if (justBefore) {
            justBefore();
        }
        return shell::Present(w, r.shape.isEmpty(), stay, due.has_value());
    }
    if (wayland::Available()) {
        return wayland::Present(w, r.content, r.shape.isEmpty(), r.usePrepared, due, wait,
                                justBefore);
    }
    if (x11::Available()) {
        const bool topmost = (r.e->exStyle & WS_EX_TOPMOST) != 0;
        return x11::Present(w, r.content, r.shape, r.usePrepared, topmost, wait, due, justBefore);
    }
    if (justBefore) {
        justBefore();
    }
    // Elsewhere the toolkit's own shape does the job; an empty region must still hide
    // everything, and Qt reads an empty mask as no mask at all.
    w->setMask(r.shape.isEmpty() ? QRegion(-2, -2, 1, 1) : r.shape);
    return std::chrono::steady_clock::now();
}

}  // namespace

std::optional<std::chrono::steady_clock::time_point> Present(
    HWND hWnd, std::optional<std::chrono::steady_clock::time_point> due,
    const std::vector<HWND>& together, std::optional<std::chrono::milliseconds> stay) {
    // Every window is rendered first, so that the changes reach the window system close
    // together.
    std::vector<Ready> others;
    for (const HWND h : together) {
        if (Entry* o = Find(h); o != nullptr && (o->exStyle & WS_EX_LAYERED) != 0) {
            others.push_back(RenderForPresent(o));
        }
    }
    auto sendOthers = [&others, due, stay] {
        for (const Ready& r : others) {
            // The copies go with this window: on the shell's path ended as it is.
            Send(r, shell::Attached(r.e->window) ? due : std::nullopt, false, {}, stay);
        }
    };
    Entry* e = Find(hWnd);
    if (e == nullptr || (e->exStyle & WS_EX_LAYERED) == 0) {
        sendOthers();
        return std::nullopt;
    }
    const Ready mine = RenderForPresent(e);
    return Send(mine, due, true, others.empty() ? std::function<void()>() : sendOthers, stay);
}

std::optional<std::chrono::microseconds> PresentAhead(HWND hWnd) {
    Entry* e = Find(hWnd);
    if (e == nullptr) {
        return std::nullopt;
    }
    const auto ahead = shell::Attached(e->window) ? shell::Ahead(e->window)
                       : wayland::Available()     ? wayland::Ahead(e->window)
                                                  : x11::Ahead(e->window);
    if (!ahead) {
        return std::nullopt;
    }
    return std::chrono::ceil<std::chrono::microseconds>(*ahead);
}

std::string FlashPath() {
    if (shell::Available()) {
        return "gnome-shell";
    }
    if (wayland::Available()) {
        return "layer-shell";
    }
    if (x11::Available()) {
        return x11::OnXWayland() ? "xwayland" : x11::Compositing() ? "x11-composited" : "x11";
    }
    return "toolkit";
}

QRegion VisibleRegion(HWND hWnd) {
    Entry* e = Find(hWnd);
    return e ? e->visible : QRegion();
}

}  // namespace platform::layered
