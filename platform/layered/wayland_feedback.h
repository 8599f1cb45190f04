// What became of one commit of a surface on the layer-shell path (wayland_surface.h): its frame
// callback (the compositor asks for the next frame, having composed one with the commit in it)
// and, where asked, its presentation feedback (when that frame was really shown, on the
// compositor's clock, and the output's frame length).
#pragma once

#include <chrono>
#include <memory>
#include <optional>

struct wl_callback;
struct wl_surface;
struct wp_presentation_feedback;

namespace platform::layered::wayland {

class Connection;
using Clock = std::chrono::steady_clock;

struct Feedback {
    Feedback() = default;
    ~Feedback();  // whatever has not come is no longer listened for
    Feedback(const Feedback&) = delete;
    Feedback& operator=(const Feedback&) = delete;

    bool framed = false;
    Clock::time_point frameAt;  // when the frame callback came
    bool presentDone = false;   // the presentation feedback came: presented or discarded
    std::optional<Clock::time_point> presented;
    Clock::duration refresh{};  // zero when the compositor does not know it
    bool Pending() const { return frame != nullptr || presentation != nullptr; }

    Connection* connection = nullptr;
    wl_callback* frame = nullptr;
    struct wp_presentation_feedback* presentation = nullptr;
};

// Asks for feedback on the surface's next commit: the frame callback, and the presentation
// feedback when withPresentation is set and the compositor offers it.
std::unique_ptr<Feedback> AskFeedback(Connection& c, wl_surface* surface, bool withPresentation);

}  // namespace platform::layered::wayland
