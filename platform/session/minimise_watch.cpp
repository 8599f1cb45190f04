#include "platform/session/minimise_watch.h"

#include <QtGui/qguiapplication_platform.h>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>

namespace platform::session {

namespace {

constexpr uint32_t kIconicState = 3;  // ICCCM's WM_STATE values: 0 Withdrawn, 1 Normal, 3 Iconic

xcb_connection_t* QtConnection() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

}  // namespace

MinimiseWatch::MinimiseWatch(QObject* parent) : QObject(parent) {
    auto* c = QtConnection();
    if (c == nullptr) {
        return;
    }
    static const char kName[] = "WM_STATE";
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof kName - 1, kName), nullptr);
    if (reply == nullptr) {
        return;
    }
    wmState_ = reply->atom;
    std::free(reply);
    connection_ = c;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

MinimiseWatch::~MinimiseWatch() {
    if (connection_ != nullptr && QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

void MinimiseWatch::Begin(const QWindow* window) {
    if (connection_ == nullptr || window == nullptr) {
        window_ = 0;
        minimised_ = true;  // nothing to read: the desktop is trusted
        return;
    }
    window_ = static_cast<unsigned>(window->winId());
    minimised_ = ReadIconic();
}

bool MinimiseWatch::ReadIconic() const {
    auto* c = static_cast<xcb_connection_t*>(connection_);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window_, wmState_, wmState_, 0, 2), nullptr);
    bool iconic = false;
    if (reply != nullptr && reply->format == 32 && xcb_get_property_value_length(reply) >= 4) {
        iconic = *static_cast<const uint32_t*>(xcb_get_property_value(reply)) == kIconicState;
    }
    std::free(reply);
    return iconic;
}

bool MinimiseWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (window_ == 0 || minimised_ || eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) {
        return false;
    }
    const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
    if (notify->window == window_ && notify->atom == wmState_ &&
        notify->state == XCB_PROPERTY_NEW_VALUE) {
        minimised_ = ReadIconic();
    }
    return false;  // Qt handles the event as always
}

}  // namespace platform::session
