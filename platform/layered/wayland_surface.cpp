#include "platform/layered/wayland_surface.h"

#include "platform/layered/frame_timing.h"
#include "platform/layered/once_step.h"
#include "platform/layered/protocols/wlr-layer-shell-unstable-v1-client.h"
#include "platform/layered/wayland_buffer.h"
#include "platform/layered/wayland_connection.h"
#include "platform/layered/wayland_feedback.h"
#include "platform/layered/x11_screen_origin.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <wayland-client.h>

#include <algorithm>
#include <functional>
#include <list>
#include <map>
#include <memory>

namespace platform::layered::wayland {
namespace {

using std::chrono::milliseconds;

// Feedback comes a frame or two after the commit; one that has not come after this many
// frames (and this long at least) is not waited for any longer.
constexpr int kWaitFrames = 3;
constexpr milliseconds kLeastWait(40);
constexpr milliseconds kFallbackFrame(16);  // 60 Hz, where nothing says better
constexpr int kTimeoutsBeforeNoWait = 3;
// A compositor that answered this many frame callbacks but no presentation feedback is not
// asked for feedback any more: its frame callbacks time the changes.
constexpr int kMissesBeforeNoAsking = 2;
// Present is called this much earlier than strictly needed, for a timer that fires late.
constexpr milliseconds kCallMargin(2);

class Surface {
  public:
    Surface(Connection* c, QWidget* widget) : c_(c), widget_(widget) {}
    ~Surface() {
        DropLayer();
        feedbacks_.clear();
        c_->Flush();
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    // The layer surface is made here already when needed, so that its first configure round
    // comes while nothing is due on screen.
    void Prepare(const QImage& content) {
        if (c_->Ok() && Layer(ScreenOrigin())) {
            preparedScale_ = c_->ScaleOf(output_);
            prepared_ = MakeShmBuffer(c_->Shm(), content, preparedScale_);
        }
    }

    // Buffer pixels per pixel of the widget: the output's scale times the layout's pixels per
    // pixel of Qt's screen. Qt's screen is XWayland's (whose pixels are the layout's, or the
    // output's when XWayland programs scale themselves) divided by Qt's own factor, or on
    // Wayland the output's layout size; comparing the sizes covers each case.
    qreal ContentRatio() const {
        const QScreen* screen = Screen();
        wl_output* output = layer_ != nullptr ? output_ : c_->OutputAt(ScreenOrigin());
        const QSize layout = c_->LogicalSizeOf(output);
        qreal perQtPixel = QGuiApplication::platformName() == QLatin1String("xcb") && screen
                               ? screen->devicePixelRatio()
                               : 1.0;
        if (screen && !layout.isEmpty() && screen->geometry().width() > 0) {
            perQtPixel = static_cast<qreal>(layout.width()) / screen->geometry().width();
        }
        return perQtPixel * c_->ScaleOf(output);
    }

    std::optional<Clock::time_point> Present(const QImage& content, bool blank, bool usePrepared,
                                             std::optional<Clock::time_point> due, bool wait,
                                             const std::function<void()>& justBefore) {
        // The step that goes with this change runs once, whatever way the change takes.
        OnceStep before(justBefore);
        if (!c_->Ok()) {
            return std::nullopt;
        }
        std::unique_ptr<ShmBuffer> next = usePrepared ? std::move(prepared_) : nullptr;
        prepared_.reset();
        if (blank && blank_) {
            return Clock::now();  // nothing is up, and nothing is to be
        }
        const QPoint screenAt = ScreenOrigin();
        if (!Layer(screenAt)) {
            return std::nullopt;
        }
        const int scale = c_->ScaleOf(output_);
        if (next && preparedScale_ != scale) {
            next.reset();  // made for another scale
        }
        // A change with a due time goes in the frame due (frame_timing.h).
        std::optional<Clock::time_point> target;
        if (due && firstShown_ && !blank_) {
            target = pacing_.Target(*firstShown_, *due, Frame());
            const auto sendAt =
                std::min(pacing_.SendAt(*target, Frame()), Clock::now() + kWaitFrames * Frame());
            c_->Wait(sendAt, [] { return false; });
        }
        const Clock::time_point sent = Clock::now();
        if (blank) {
            // The surface stays mapped: no configure round.
            next = TransparentPixel(c_->Shm(), scale);
        } else if (!next) {
            next = MakeShmBuffer(c_->Shm(), content, scale);
        }
        if (!next) {
            return std::nullopt;
        }
        // Margins and size in surface-local (layout) coordinates: the widget's offset into its
        // screen and the content's size at the layout's pixels per pixel of the widget; the
        // buffer holds the output's scale times as many pixels, so the letters are drawn at the
        // output's own resolution.
        if (scale != bufferScale_) {
            wl_surface_set_buffer_scale(surface_, scale);
            bufferScale_ = scale;
        }
        const QPoint origin = output_ ? c_->PositionOf(output_) : screenAt;
        const QScreen* screen = Screen();
        const QPointF offset =
            screen ? QPointF(widget_->pos() - screen->geometry().topLeft()) : QPointF();
        const QPoint at = screenAt - origin + (offset * ContentRatio() / scale).toPoint();
        zwlr_layer_surface_v1_set_margin(layer_, at.y(), 0, 0, at.x());
        zwlr_layer_surface_v1_set_size(layer_, static_cast<uint32_t>(next->pixels.width() / scale),
                                       static_cast<uint32_t>(next->pixels.height() / scale));
        before.Run();
        Feedback& fb = Send(std::move(next));
        blank_ = blank;
        firstShown_.reset();
        if (!wait) {
            return std::nullopt;
        }
        const std::optional<Clock::time_point> seen = Await(fb, 2);
        if (!seen) {
            return std::nullopt;  // not seen in time, or never (discarded)
        }
        timeouts_ = 0;
        if (target) {
            pacing_.Learn(*target, sent, *seen, Frame());
        }
        if (!blank) {
            firstShown_ = seen;
        }
        return seen;
    }

    std::optional<Clock::duration> Ahead() const {
        if (!firstShown_) {
            return std::nullopt;
        }
        return pacing_.Ahead(Frame()) + kCallMargin;
    }

  private:
    // The moment a change was seen: the presentation feedback where the compositor gives it;
    // else (it gives none on some backends) the moment it answered the frame callback, which
    // follows the frame that took the change. Feedback is waited for up to `frames` frames after
    // that answer while it has never come.
    std::optional<Clock::time_point> Await(Feedback& fb, int frames) {
        if (timeouts_ < kTimeoutsBeforeNoWait) {
            const auto until =
                Clock::now() + std::max<Clock::duration>(kLeastWait, kWaitFrames * Frame());
            c_->Wait(until, [&fb] { return fb.presentDone || fb.framed; });
            if (fb.presentation != nullptr && !presentationWorks_ && fb.framed) {
                c_->Wait(std::min(until, fb.frameAt + frames * Frame()),
                         [&fb] { return fb.presentDone; });
            } else if (fb.presentation != nullptr) {
                c_->Wait(until, [&fb] { return fb.presentDone; });
            }
        }
        std::optional<Clock::time_point> seen;
        if (fb.presented) {
            seen = fb.presented;
            presentationWorks_ = true;
            if (fb.refresh > Clock::duration::zero()) {
                refresh_ = fb.refresh;
            }
        } else if (fb.framed && !presentationWorks_) {
            seen = fb.frameAt;
            presentationMissed_ += fb.presentation != nullptr ? 1 : 0;
        }
        if (!seen) {
            timeouts_ += fb.presentDone ? 0 : 1;
        }
        return seen;
    }

    Clock::duration Frame() const {
        if (refresh_ > Clock::duration::zero()) {
            return refresh_;
        }
        const Clock::duration mode = c_->FrameOf(output_);
        return mode > Clock::duration::zero() ? mode : kFallbackFrame;
    }

    const QScreen* Screen() const {
        return widget_->screen() ? widget_->screen() : qGuiApp->primaryScreen();
    }

    // The top left corner of the widget's screen in the window system's pixels, which are the
    // compositor's layout coordinates for XWayland (x11_screen_origin.h), and Qt's own on
    // Wayland.
    QPoint ScreenOrigin() const { return x11::NativeOrigin(Screen()); }

    // The layer surface on the output at `screenAt`, made anew when it is elsewhere or was
    // closed; false when the compositor does not configure it.
    bool Layer(QPoint screenAt) {
        wl_output* output = c_->OutputAt(screenAt);
        if (layer_ != nullptr && output == output_ && !closed_) {
            return true;
        }
        DropLayer();
        output_ = output;
        surface_ = wl_compositor_create_surface(c_->Compositor());
        wl_region* nothing = wl_compositor_create_region(c_->Compositor());
        wl_surface_set_input_region(surface_, nothing);  // every click passes
        wl_region_destroy(nothing);
        layer_ = zwlr_layer_shell_v1_get_layer_surface(c_->LayerShell(), surface_, output,
                                                       ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY,
                                                       "kestrane-flash");
        static const zwlr_layer_surface_v1_listener listener = {
            [](void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t, uint32_t) {
                zwlr_layer_surface_v1_ack_configure(layer, serial);
                static_cast<Surface*>(data)->configured_ = true;
            },
            [](void* data, zwlr_layer_surface_v1*) { static_cast<Surface*>(data)->closed_ = true; },
        };
        zwlr_layer_surface_v1_add_listener(layer_, &listener, this);
        zwlr_layer_surface_v1_set_anchor(
            layer_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT);
        zwlr_layer_surface_v1_set_exclusive_zone(layer_, -1);  // placed by the margins alone
        zwlr_layer_surface_v1_set_keyboard_interactivity(
            layer_, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
        zwlr_layer_surface_v1_set_size(layer_, 1, 1);
        bufferScale_ = c_->ScaleOf(output);
        wl_surface_set_buffer_scale(surface_, bufferScale_);
        wl_surface_commit(surface_);
        c_->Wait(Clock::now() + std::chrono::seconds(1), [this] { return configured_; });
        if (!configured_ || closed_) {
            return false;
        }
        // One transparent pixel first: the surface is mapped from now on, and its feedback
        // shows whether the compositor gives presentation feedback before any message's timing
        // depends on that.
        std::unique_ptr<ShmBuffer> pixel = TransparentPixel(c_->Shm(), bufferScale_);
        if (!pixel) {
            return false;
        }
        if (Await(Send(std::move(pixel)), 4) && !presentationWorks_) {
            presentationMissed_ = kMissesBeforeNoAsking;
        }
        return true;
    }

    void DropLayer() {
        if (layer_ != nullptr) {
            zwlr_layer_surface_v1_destroy(layer_);
        }
        if (surface_ != nullptr) {
            wl_surface_destroy(surface_);
        }
        layer_ = nullptr;
        surface_ = nullptr;
        configured_ = closed_ = false;
        blank_ = true;
        firstShown_.reset();
        buffers_.clear();
    }

    // Attaches the buffer over the whole surface, commits with feedback asked for and hands
    // the commit to the compositor.
    Feedback& Send(std::unique_ptr<ShmBuffer> buffer) {
        wl_surface_attach(surface_, buffer->buffer, 0, 0);
        if (c_->CompositorVersion() >= 4) {
            wl_surface_damage_buffer(surface_, 0, 0, INT32_MAX, INT32_MAX);
        } else {
            wl_surface_damage(surface_, 0, 0, INT32_MAX, INT32_MAX);
        }
        buffer->busy = true;
        // Buffers the compositor let go of, and feedback that has all come (late feedback
        // shows the compositor gives it again).
        buffers_.remove_if([](const std::unique_ptr<ShmBuffer>& b) { return !b->busy; });
        for (const auto& f : feedbacks_) {
            if (f->presented || (f->framed && !presentationWorks_)) {
                timeouts_ = 0;
            }
        }
        feedbacks_.remove_if([](const std::unique_ptr<Feedback>& f) { return !f->Pending(); });
        const bool ask = presentationWorks_ || presentationMissed_ < kMissesBeforeNoAsking;
        feedbacks_.push_back(AskFeedback(*c_, surface_, ask));
        wl_surface_commit(surface_);
        buffers_.push_back(std::move(buffer));
        c_->Flush();
        return *feedbacks_.back();
    }

    Connection* c_;
    QWidget* widget_;
    wl_surface* surface_ = nullptr;
    zwlr_layer_surface_v1* layer_ = nullptr;
    wl_output* output_ = nullptr;
    bool configured_ = false;
    bool closed_ = false;
    bool blank_ = true;  // the last change showed nothing
    std::list<std::unique_ptr<ShmBuffer>>
        buffers_;  // attached now, or still read by the compositor
    std::unique_ptr<ShmBuffer> prepared_;
    int preparedScale_ = 1;  // the buffer scale the prepared buffer was made for
    int bufferScale_ = 1;    // the surface's buffer scale
    std::list<std::unique_ptr<Feedback>> feedbacks_;
    std::optional<Clock::time_point> firstShown_;  // the frame that first showed what is up
    Clock::duration refresh_{};                    // the frame length the compositor reports
    frames::Pacing pacing_;
    int timeouts_ = 0;
    bool presentationWorks_ = false;  // presentation feedback came at least once
    int presentationMissed_ = 0;      // changes that got a frame callback but no feedback
};

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
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && platform != QLatin1String("wayland")) {
        return false;  // offscreen and the like show nothing anywhere
    }
    return Connection::Get() != nullptr;
}

bool Attach(QWidget* window) {
    if (window == nullptr || !Available()) {
        return false;
    }
    auto& s = Surfaces()[window];
    if (!s) {
        s = std::make_unique<Surface>(Connection::Get(), window);
    }
    return true;
}

void Detach(QWidget* window) {
    Surfaces().erase(window);
}

void Prepare(QWidget* window, const QImage& content) {
    if (Surface* s = SurfaceOf(window)) {
        s->Prepare(content);
    }
}

std::optional<Clock::time_point> Present(QWidget* window, const QImage& content, bool blank,
                                         bool usePrepared, std::optional<Clock::time_point> due,
                                         bool wait, const std::function<void()>& justBefore) {
    Surface* s = SurfaceOf(window);
    if (s == nullptr) {
        if (justBefore) {
            justBefore();
        }
        return std::nullopt;
    }
    return s->Present(content, blank, usePrepared, due, wait, justBefore);
}

std::optional<Clock::duration> Ahead(QWidget* window) {
    const Surface* s = SurfaceOf(window);
    return s ? s->Ahead() : std::nullopt;
}

std::optional<qreal> ContentRatio(QWidget* window) {
    const Surface* s = SurfaceOf(window);
    return s ? std::optional<qreal>(s->ContentRatio()) : std::nullopt;
}

}  // namespace platform::layered::wayland
