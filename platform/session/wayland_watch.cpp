#include "platform/session/wayland_watch.h"

#include <QSocketNotifier>

#include <wayland-client.h>

namespace platform::session {

WaylandWatch::WaylandWatch() = default;

WaylandWatch::~WaylandWatch() {
    if (notifier_) {
        // It may be emitting now (the compositor went, and its watcher with it).
        notifier_->setEnabled(false);
        notifier_.release()->deleteLater();
    }
    if (listed_ != nullptr) {
        wl_callback_destroy(listed_);
    }
    if (registry_ != nullptr) {
        wl_registry_destroy(registry_);
    }
    if (display_ != nullptr) {
        wl_display_disconnect(display_);
    }
}

void WaylandWatch::Listed(void* data, wl_callback* callback, uint32_t) {
    auto* self = static_cast<WaylandWatch*>(data);
    wl_callback_destroy(callback);
    self->listed_ = nullptr;
    if (self->onListed_) {
        self->onListed_();
    }
}

bool WaylandWatch::Open(const wl_registry_listener* globals, void* data,
                        std::function<void()> listed) {
    static const wl_callback_listener kListed = {Listed};
    const QByteArray name = qgetenv("WAYLAND_DISPLAY");
    if (display_ != nullptr || name.isEmpty()) {
        return false;
    }
    display_ = wl_display_connect(name.constData());
    if (display_ == nullptr) {
        return false;
    }
    onListed_ = std::move(listed);
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, globals, data);
    listed_ = wl_display_sync(display_);
    wl_callback_add_listener(listed_, &kListed, this);
    wl_display_flush(display_);
    return true;
}

void WaylandWatch::Follow(QObject* context, std::function<void(bool)> read) {
    notifier_ =
        std::make_unique<QSocketNotifier>(wl_display_get_fd(display_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, context,
                     [this, read = std::move(read)] { read(Dispatch()); });
}

// What arrived: read once the socket has it, then what the listeners asked for sent.
bool WaylandWatch::Dispatch() {
    while (wl_display_prepare_read(display_) != 0) {
        wl_display_dispatch_pending(display_);
    }
    wl_display_flush(display_);
    if (wl_display_read_events(display_) != 0 || wl_display_dispatch_pending(display_) < 0) {
        return false;
    }
    wl_display_flush(display_);
    return true;
}

}  // namespace platform::session
