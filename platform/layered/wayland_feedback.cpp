#include "platform/layered/wayland_feedback.h"

#include "platform/layered/protocols/presentation-time-client.h"
#include "platform/layered/wayland_connection.h"

#include <wayland-client.h>

namespace platform::layered::wayland {
namespace {

void Framed(void* data, wl_callback*, uint32_t) {
    auto* f = static_cast<Feedback*>(data);
    f->framed = true;
    f->frameAt = Clock::now();
    wl_callback_destroy(f->frame);
    f->frame = nullptr;
}

void PresentDone(Feedback& f) {
    f.presentDone = true;
    wp_presentation_feedback_destroy(f.presentation);
    f.presentation = nullptr;
}

void SyncOutput(void*, struct wp_presentation_feedback*, wl_output*) {}

void Presented(void* data, struct wp_presentation_feedback*, uint32_t secHi, uint32_t secLo,
               uint32_t nsec, uint32_t refresh, uint32_t, uint32_t, uint32_t) {
    auto* f = static_cast<Feedback*>(data);
    const long long sec = (static_cast<long long>(secHi) << 32) | secLo;
    f->presented = f->connection->ToSteady(sec, static_cast<long>(nsec));
    f->refresh = std::chrono::nanoseconds(refresh);
    PresentDone(*f);
}

void Discarded(void* data, struct wp_presentation_feedback*) {
    PresentDone(*static_cast<Feedback*>(data));
}

const wl_callback_listener kFrameListener = {Framed};
const wp_presentation_feedback_listener kPresentationListener = {SyncOutput, Presented, Discarded};

}  // namespace

Feedback::~Feedback() {
    if (presentation != nullptr) {
        wp_presentation_feedback_destroy(presentation);
    }
    if (frame != nullptr) {
        wl_callback_destroy(frame);
    }
}

std::unique_ptr<Feedback> AskFeedback(Connection& c, wl_surface* surface, bool withPresentation) {
    auto f = std::make_unique<Feedback>();
    f->connection = &c;
    f->frame = wl_surface_frame(surface);
    wl_callback_add_listener(f->frame, &kFrameListener, f.get());
    if (withPresentation && c.Presentation() != nullptr) {
        f->presentation = wp_presentation_feedback(c.Presentation(), surface);
        wp_presentation_feedback_add_listener(f->presentation, &kPresentationListener, f.get());
    }
    return f;
}

}  // namespace platform::layered::wayland
