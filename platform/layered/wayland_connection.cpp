#include "platform/layered/wayland_connection.h"

#include "platform/layered/protocols/presentation-time-client.h"
#include "platform/layered/protocols/wlr-layer-shell-unstable-v1-client.h"
#include "platform/layered/protocols/xdg-output-unstable-v1-client.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <wayland-client.h>

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace platform::layered::wayland {
namespace {

// The layout description's place wins over this one: wlroots compositors send 0, 0 here for
// every output.
void OutputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                    const char*, const char*, int32_t) {
    auto* o = static_cast<Connection::Output*>(data);
    if (!o->placed) {
        o->position = QPoint(x, y);
    }
}

void OutputMode(void* data, wl_output*, uint32_t flags, int32_t, int32_t, int32_t refresh) {
    if ((flags & WL_OUTPUT_MODE_CURRENT) != 0) {
        static_cast<Connection::Output*>(data)->refreshMhz = refresh;
    }
}

void OutputDone(void*, wl_output*) {}
void OutputScale(void* data, wl_output*, int32_t factor) {
    static_cast<Connection::Output*>(data)->scale = std::max(1, factor);
}

const wl_output_listener kOutputListener = {OutputGeometry, OutputMode, OutputDone,
                                            OutputScale,    nullptr,    nullptr};

const zxdg_output_v1_listener kLayoutListener = {
    [](void* data, zxdg_output_v1*, int32_t x, int32_t y) {
        auto* o = static_cast<Connection::Output*>(data);
        o->position = QPoint(x, y);
        o->placed = true;
    },
    [](void* data, zxdg_output_v1*, int32_t width, int32_t height) {
        static_cast<Connection::Output*>(data)->logicalSize = QSize(width, height);
    },
    [](void*, zxdg_output_v1*) {},
    [](void*, zxdg_output_v1*, const char*) {},
    [](void*, zxdg_output_v1*, const char*) {},
};

void ClockId(void* data, wp_presentation*, uint32_t clock) {
    *static_cast<unsigned*>(data) = clock;
}

const wp_presentation_listener kPresentationListener = {ClockId};

const wl_registry_listener kRegistryListener = {
    [](void* data, wl_registry* r, uint32_t name, const char* iface, uint32_t version) {
        Connection::Global(data, r, name, iface, version);
    },
    [](void* data, wl_registry* r, uint32_t name) { Connection::GlobalRemove(data, r, name); }};

}  // namespace

Connection* Connection::Get() {
    static std::unique_ptr<Connection> connection = [] {
        std::unique_ptr<Connection> c(new Connection);
        if (!c->Open()) {
            c.reset();
        }
        return c;
    }();
    return connection.get();
}

bool Connection::Open() {
    const char* path = std::getenv("KESTRANE_FLASH_PATH");
    if (path != nullptr && std::strcmp(path, "x11") == 0) {
        return false;
    }
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (name == nullptr || *name == '\0') {
        return false;  // wl_display_connect would otherwise try wayland-0
    }
    display_ = wl_display_connect(name);
    if (display_ == nullptr) {
        return false;
    }
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &kRegistryListener, this);
    // The globals, then what the bound ones say at once (outputs' places, the clock).
    if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0) {
        return false;
    }
    if (compositor_ == nullptr || shm_ == nullptr || layerShell_ == nullptr) {
        return false;
    }
    if (QCoreApplication::instance() != nullptr) {
        // Owned by the application, which is gone before this connection at exit.
        notifier_ = new QSocketNotifier(wl_display_get_fd(display_), QSocketNotifier::Read,
                                        QCoreApplication::instance());
        QObject::connect(notifier_.data(), &QSocketNotifier::activated, [this] {
            Read(std::chrono::nanoseconds(0));
            if (!Ok()) {
                notifier_->setEnabled(false);  // a broken connection stays readable
            }
        });
    }
    return true;
}

Connection::~Connection() {
    delete notifier_.data();
    if (display_ == nullptr) {
        return;
    }
    for (auto& o : outputs_) {
        if (o->layout != nullptr) {
            zxdg_output_v1_destroy(o->layout);
        }
        wl_output_destroy(o->output);
    }
    if (outputManager_ != nullptr) {
        zxdg_output_manager_v1_destroy(outputManager_);
    }
    if (presentation_ != nullptr) {
        wp_presentation_destroy(presentation_);
    }
    if (layerShell_ != nullptr) {
        zwlr_layer_shell_v1_destroy(layerShell_);
    }
    if (shm_ != nullptr) {
        wl_shm_destroy(shm_);
    }
    if (compositor_ != nullptr) {
        wl_compositor_destroy(compositor_);
    }
    if (registry_ != nullptr) {
        wl_registry_destroy(registry_);
    }
    wl_display_disconnect(display_);
}

void Connection::Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                        uint32_t version) {
    auto* c = static_cast<Connection*>(data);
    const std::string_view iface(interface);
    auto bind = [&](const wl_interface* type, uint32_t most) {
        return wl_registry_bind(registry, name, type, std::min(version, most));
    };
    if (iface == wl_compositor_interface.name && c->compositor_ == nullptr) {
        c->compositorVersion_ = std::min(version, 4u);
        c->compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
    } else if (iface == wl_shm_interface.name && c->shm_ == nullptr) {
        c->shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (iface == zwlr_layer_shell_v1_interface.name && c->layerShell_ == nullptr) {
        c->layerShell_ = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 3));
    } else if (iface == wp_presentation_interface.name && c->presentation_ == nullptr) {
        c->presentation_ = static_cast<wp_presentation*>(bind(&wp_presentation_interface, 1));
        wp_presentation_add_listener(c->presentation_, &kPresentationListener, &c->clockId_);
    } else if (iface == zxdg_output_manager_v1_interface.name && c->outputManager_ == nullptr) {
        c->outputManager_ =
            static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 2));
        for (auto& o : c->outputs_) {
            c->DescribeOutput(*o);
        }
    } else if (iface == wl_output_interface.name) {
        auto out = std::make_unique<Output>();
        out->name = name;
        out->output = static_cast<wl_output*>(bind(&wl_output_interface, 2));
        wl_output_add_listener(out->output, &kOutputListener, out.get());
        c->DescribeOutput(*out);
        c->outputs_.push_back(std::move(out));
    }
}

void Connection::DescribeOutput(Output& out) {
    if (outputManager_ != nullptr && out.layout == nullptr) {
        out.layout = zxdg_output_manager_v1_get_xdg_output(outputManager_, out.output);
        zxdg_output_v1_add_listener(out.layout, &kLayoutListener, &out);
    }
}

void Connection::GlobalRemove(void* data, wl_registry*, uint32_t name) {
    auto* c = static_cast<Connection*>(data);
    auto& outs = c->outputs_;
    for (auto it = outs.begin(); it != outs.end(); ++it) {
        if ((*it)->name == name) {
            if ((*it)->layout != nullptr) {
                zxdg_output_v1_destroy((*it)->layout);
            }
            wl_output_destroy((*it)->output);
            outs.erase(it);
            return;
        }
    }
}

wl_output* Connection::OutputAt(QPoint topLeft) const {
    for (const auto& o : outputs_) {
        if (o->position == topLeft) {
            return o->output;
        }
    }
    return nullptr;
}

QPoint Connection::PositionOf(wl_output* output) const {
    for (const auto& o : outputs_) {
        if (o->output == output) {
            return o->position;
        }
    }
    return QPoint(0, 0);
}

const Connection::Output* Connection::Find(wl_output* output) const {
    for (const auto& o : outputs_) {
        if (output == nullptr || o->output == output) {
            return o.get();
        }
    }
    return nullptr;
}

int Connection::ScaleOf(wl_output* output) const {
    const Output* o = Find(output);
    return o != nullptr ? o->scale : 1;
}

QSize Connection::LogicalSizeOf(wl_output* output) const {
    const Output* o = Find(output);
    return o != nullptr ? o->logicalSize : QSize();
}

Clock::duration Connection::FrameOf(wl_output* output) const {
    for (const auto& o : outputs_) {
        if ((output == nullptr || o->output == output) && o->refreshMhz > 0) {
            return std::chrono::duration_cast<Clock::duration>(
                std::chrono::nanoseconds(1'000'000'000'000LL / o->refreshMhz));
        }
    }
    return Clock::duration::zero();
}

Clock::time_point Connection::ToSteady(long long sec, long nsec) const {
    const auto stamp = std::chrono::seconds(sec) + std::chrono::nanoseconds(nsec);
    if (clockId_ == CLOCK_MONOTONIC) {  // the steady clock's own
        return Clock::time_point(std::chrono::duration_cast<Clock::duration>(stamp));
    }
    timespec now{};
    clock_gettime(static_cast<clockid_t>(clockId_), &now);
    const auto there = std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
    return Clock::now() - std::chrono::duration_cast<Clock::duration>(there - stamp);
}

bool Connection::Ok() const {
    return display_ != nullptr && wl_display_get_error(display_) == 0;
}

void Connection::Read(std::chrono::nanoseconds timeout) {
    while (wl_display_prepare_read(display_) != 0) {
        wl_display_dispatch_pending(display_);
    }
    wl_display_flush(display_);
    const timespec limit{static_cast<time_t>(timeout.count() / 1'000'000'000),
                         static_cast<long>(timeout.count() % 1'000'000'000)};
    pollfd p{wl_display_get_fd(display_), POLLIN, 0};
    if (ppoll(&p, 1, &limit, nullptr) > 0) {
        wl_display_read_events(display_);
    } else {
        wl_display_cancel_read(display_);
    }
    wl_display_dispatch_pending(display_);
}

void Connection::Flush() {
    if (Ok()) {
        Read(std::chrono::nanoseconds(0));
    }
}

bool Connection::Wait(Clock::time_point deadline, const std::function<bool()>& done) {
    while (!done()) {
        const auto left = deadline - Clock::now();
        if (!Ok() || left <= Clock::duration::zero()) {
            return false;
        }
        Read(std::chrono::duration_cast<std::chrono::nanoseconds>(left));
    }
    return true;
}

}  // namespace platform::layered::wayland

// The layer shell's get_popup names the xdg-shell popup interface, which this program never
// uses; the generated code only needs a definition of the name. Weak, so that a definition of
// the real interface elsewhere in the process wins.
extern "C" {
extern const wl_interface xdg_popup_interface __attribute__((weak));
const wl_interface xdg_popup_interface = {"xdg_popup", 1, 0, nullptr, 0, nullptr};
}
