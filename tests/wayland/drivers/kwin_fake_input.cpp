#include "kwin_fake_input.h"

#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "fake-input-client-protocol.h"

namespace {
// Absolute motion came with version 3; nothing newer is used.
constexpr uint32_t kMinVersion = 3;
constexpr uint32_t kMaxVersion = 4;
// How long clients get to take up a pointer that a new device gave the seat.
constexpr auto kPointerSettle = std::chrono::milliseconds(300);
}  // namespace

KwinFakeInput::~KwinFakeInput() {
    if (input_)
        org_kde_kwin_fake_input_destroy(input_);
    if (seat_)
        wl_seat_destroy(seat_);
    if (registry_)
        wl_registry_destroy(registry_);
    if (display_)
        wl_display_disconnect(display_);
}

void KwinFakeInput::global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                           uint32_t version) {
    auto* self = static_cast<KwinFakeInput*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !self->seat_) {
        static const wl_seat_listener listener = {&KwinFakeInput::capabilities,
                                                  &KwinFakeInput::seatName};
        self->seat_ =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        wl_seat_add_listener(self->seat_, &listener, self);
    } else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0) {
        self->inputName_ = name;
        self->version_ = std::min(version, kMaxVersion);
    }
}

void KwinFakeInput::capabilities(void* data, wl_seat*, uint32_t capabilities) {
    static_cast<KwinFakeInput*>(data)->seatHasPointer_ = capabilities & WL_SEAT_CAPABILITY_POINTER;
}

bool KwinFakeInput::roundtrip(QString* error) {
    if (wl_display_roundtrip(display_) >= 0)
        return true;
    *error = QStringLiteral("the Wayland connection to KWin broke (error %1)")
                 .arg(wl_display_get_error(display_));
    return false;
}

bool KwinFakeInput::connect(QString* error) {
    display_ = wl_display_connect(nullptr);
    if (!display_) {
        *error = QStringLiteral("cannot connect to the Wayland display (WAYLAND_DISPLAY=%1)")
                     .arg(qEnvironmentVariable("WAYLAND_DISPLAY"));
        return false;
    }
    static const wl_registry_listener listener = {&KwinFakeInput::global,
                                                  &KwinFakeInput::globalRemove};
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &listener, this);
    // The registry, then the seat's capabilities before this client's device joins it.
    if (!roundtrip(error) || !roundtrip(error))
        return false;
    if (!inputName_) {
        *error = QStringLiteral(
            "the compositor offers no org_kde_kwin_fake_input to this client (KWin hides it "
            "from clients it does not trust: start it with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1)");
        return false;
    }
    if (version_ < kMinVersion) {
        *error = QStringLiteral("org_kde_kwin_fake_input version %1 has no absolute motion")
                     .arg(version_);
        return false;
    }
    const bool hadPointer = seatHasPointer_;
    input_ = static_cast<org_kde_kwin_fake_input*>(
        wl_registry_bind(registry_, inputName_, &org_kde_kwin_fake_input_interface, version_));
    // KWin drops the events of a client that has not authenticated.
    org_kde_kwin_fake_input_authenticate(input_, "kestrane test driver", "session tests");
    if (!roundtrip(error))
        return false;
    if (!hadPointer) {
        std::this_thread::sleep_for(kPointerSettle);
        return roundtrip(error);
    }
    return true;
}

void KwinFakeInput::hold() {
    while (wl_display_dispatch(display_) >= 0) {
    }
}

bool KwinFakeInput::click(QPoint at, QString* error) {
    org_kde_kwin_fake_input_pointer_motion_absolute(input_, wl_fixed_from_int(at.x()),
                                                    wl_fixed_from_int(at.y()));
    if (!roundtrip(error))
        return false;
    org_kde_kwin_fake_input_button(input_, BTN_LEFT, 1);
    if (!roundtrip(error))
        return false;
    org_kde_kwin_fake_input_button(input_, BTN_LEFT, 0);
    return roundtrip(error);
}
