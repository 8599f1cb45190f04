#include "platform/layered/x11_surface.h"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QWidget>

// After Qt's headers: it brings Xlib's.
#include "platform/layered/x11_window.h"

#include <cstdio>
#include <map>
#include <memory>

namespace platform::layered::x11 {
namespace {

Display* TheDisplay() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

std::map<QWidget*, std::unique_ptr<Surface>>& Surfaces() {
    static std::map<QWidget*, std::unique_ptr<Surface>> surfaces;
    return surfaces;
}

Surface* SurfaceOf(QWidget* window) {
    auto it = Surfaces().find(window);
    return it == Surfaces().end() ? nullptr : it->second.get();
}

}  // namespace

bool Available() {
    return TheDisplay() != nullptr;
}

bool OnXWayland() {
    Display* dpy = TheDisplay();
    return dpy != nullptr && IsXWayland(dpy);
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

void Prepare(QWidget* window, const QImage& content, const QRegion& shape) {
    if (Surface* s = SurfaceOf(window)) {
        s->Prepare(content, shape);
    }
}

std::optional<Clock::time_point> Present(QWidget* window, const QImage& content,
                                         const QRegion& shape, bool usePrepared, bool raise,
                                         bool wait, std::optional<Clock::time_point> due,
                                         const std::function<void()>& justBefore) {
    Surface* s = SurfaceOf(window);
    if (s == nullptr) {
        if (justBefore) {
            justBefore();
        }
        return std::nullopt;
    }
    return s->Present(content, shape, usePrepared, raise, wait, due, justBefore);
}

std::optional<Clock::duration> Ahead(QWidget* window) {
    Surface* s = SurfaceOf(window);
    return s ? s->Ahead() : std::nullopt;
}

}  // namespace platform::layered::x11
