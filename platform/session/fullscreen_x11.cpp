#include "platform/session/fullscreen_x11.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace platform::session {

namespace {

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

}  // namespace

struct FullScreenWatch::X {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    xcb_window_t active = 0;  // the active window whose properties are followed
    xcb_atom_t activeAtom = 0, stateAtom = 0, fullAtom = 0;
    std::unique_ptr<QSocketNotifier> notifier;
    ~X() {
        notifier.reset();
        if (c != nullptr) {
            xcb_disconnect(c);
        }
    }
};

FullScreenWatch::FullScreenWatch(std::function<bool(QScreen*)> counts, QObject* parent)
    : FullScreenSource(std::move(counts), parent) {}

FullScreenWatch::~FullScreenWatch() = default;

void FullScreenWatch::Start() {
    if (x_ || qEnvironmentVariableIsEmpty("DISPLAY")) {
        return;
    }
    auto x = std::make_unique<X>();
    x->c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x->c) != 0) {
        return;
    }
    const xcb_setup_t* setup = xcb_get_setup(x->c);
    x->root = xcb_setup_roots_iterator(setup).data->root;
    x->activeAtom = Atom(x->c, "_NET_ACTIVE_WINDOW");
    x->stateAtom = Atom(x->c, "_NET_WM_STATE");
    x->fullAtom = Atom(x->c, "_NET_WM_STATE_FULLSCREEN");
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(x->c, x->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x->c);
    x->notifier =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(x->c), QSocketNotifier::Read);
    connect(x->notifier.get(), &QSocketNotifier::activated, this, [this] {
        bool changed = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(x_->c)) {
            // Errors (response type 0: a window that went away meanwhile) say nothing.
            if ((event->response_type & 0x7F) == XCB_PROPERTY_NOTIFY) {
                const auto* p = reinterpret_cast<xcb_property_notify_event_t*>(event);
                changed |= (p->window == x_->root && p->atom == x_->activeAtom) ||
                           (p->window == x_->active && p->atom == x_->stateAtom);
            } else if ((event->response_type & 0x7F) == XCB_CONFIGURE_NOTIFY) {
                changed = true;  // the active window moved to another screen
            }
            std::free(event);
        }
        if (xcb_connection_has_error(x_->c) != 0) {
            x_.reset();  // the X server went: nothing is full-screen any more
            SetScreen(nullptr);
            return;
        }
        if (changed) {
            Read();
        }
    });
    x_ = std::move(x);
    Read();
}

// Which window is active, and whether it is full-screen on which screen.
void FullScreenWatch::Read() {
    xcb_connection_t* c = x_->c;
    xcb_window_t active = 0;
    if (auto* r = xcb_get_property_reply(
            c, xcb_get_property(c, 0, x_->root, x_->activeAtom, XCB_ATOM_WINDOW, 0, 1), nullptr)) {
        if (r->type == XCB_ATOM_WINDOW && xcb_get_property_value_length(r) >= 4) {
            active = *static_cast<xcb_window_t*>(xcb_get_property_value(r));
        }
        std::free(r);
    }
    if (active != x_->active) {
        if (x_->active != 0) {
            const uint32_t none = 0;
            xcb_change_window_attributes(c, x_->active, XCB_CW_EVENT_MASK, &none);
        }
        x_->active = active;
        if (active != 0) {
            const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(c, active, XCB_CW_EVENT_MASK, &mask);
        }
    }
    bool full = false;
    if (active != 0) {
        if (auto* r = xcb_get_property_reply(
                c, xcb_get_property(c, 0, active, x_->stateAtom, XCB_ATOM_ATOM, 0, 64), nullptr)) {
            const auto* atoms = static_cast<xcb_atom_t*>(xcb_get_property_value(r));
            const int n = r->type == XCB_ATOM_ATOM ? xcb_get_property_value_length(r) / 4 : 0;
            for (int i = 0; i < n; ++i) {
                full |= atoms[i] == x_->fullAtom;
            }
            std::free(r);
        }
    }
    QScreen* screen = nullptr;
    if (full) {
        auto* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, active), nullptr);
        auto* t = g == nullptr
                      ? nullptr
                      : xcb_translate_coordinates_reply(
                            c, xcb_translate_coordinates(c, active, x_->root, 0, 0), nullptr);
        if (g != nullptr && t != nullptr) {
            // The middle of the window, in the X server's pixels, against each screen's.
            const QPoint middle(t->dst_x + g->width / 2, t->dst_y + g->height / 2);
            for (QScreen* s : QGuiApplication::screens()) {
                const QRect r = s->geometry();
                const qreal f = s->devicePixelRatio();
                const QRect native(QPoint(qRound(r.x() * f), qRound(r.y() * f)),
                                   QSize(qRound(r.width() * f), qRound(r.height() * f)));
                if (native.contains(middle)) {
                    screen = s;
                    break;
                }
            }
            if (screen == nullptr) {
                screen = QGuiApplication::primaryScreen();
            }
        }
        std::free(g);
        std::free(t);
    }
    xcb_flush(c);
    SetScreen(screen);
}

}  // namespace platform::session
