#include "platform/session/fullscreen_wlr.h"

#include "platform/session/protocols/wlr-foreign-toplevel-management-unstable-v1-client.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <wayland-client.h>

#include <cstring>
#include <list>

namespace platform::session {

struct WlrFullScreenWatch::W {
    struct Output {
        wl_output* output = nullptr;
        uint32_t name = 0;  // the registry's
        QPoint position;    // in the compositor's layout
    };
    struct Toplevel {
        W* w = nullptr;
        zwlr_foreign_toplevel_handle_v1* handle = nullptr;
        wl_output* output = nullptr;
        bool full = false, active = false;  // as of the last done
        bool nextFull = false, nextActive = false;
        bool closed = false;
    };
    bool changed = false;           // a toplevel's state changed since it was last looked at
    bool finished = false;          // the compositor tells no more
    wl_callback* listed = nullptr;  // answered once the registry has told every global
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    zwlr_foreign_toplevel_manager_v1* manager = nullptr;
    std::list<Output> outputs;
    std::list<Toplevel> toplevels;
    std::unique_ptr<QSocketNotifier> notifier;
    ~W() {
        notifier.reset();
        for (Toplevel& t : toplevels) {
            zwlr_foreign_toplevel_handle_v1_destroy(t.handle);
        }
        for (Output& o : outputs) {
            wl_output_destroy(o.output);
        }
        if (listed != nullptr) {
            wl_callback_destroy(listed);
        }
        if (manager != nullptr) {
            zwlr_foreign_toplevel_manager_v1_destroy(manager);
        }
        if (registry != nullptr) {
            wl_registry_destroy(registry);
        }
        if (display != nullptr) {
            wl_display_disconnect(display);
        }
    }
};

namespace {

using Toplevel = WlrFullScreenWatch::W::Toplevel;
using Output = WlrFullScreenWatch::W::Output;

void OutputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                    const char*, const char*, int32_t) {
    static_cast<Output*>(data)->position = QPoint(x, y);
}
void OutputMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
void OutputDone(void*, wl_output*) {}
void OutputScale(void*, wl_output*, int32_t) {}
void OutputText(void*, wl_output*, const char*) {}  // name and description: not bound for
const wl_output_listener kOutputListener = {OutputGeometry, OutputMode, OutputDone,
                                            OutputScale,    OutputText, OutputText};

void Title(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
void AppId(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}
void OutputEnter(void* data, zwlr_foreign_toplevel_handle_v1*, wl_output* output) {
    static_cast<Toplevel*>(data)->output = output;
}
void OutputLeave(void* data, zwlr_foreign_toplevel_handle_v1*, wl_output* output) {
    auto* t = static_cast<Toplevel*>(data);
    if (t->output == output) {
        t->output = nullptr;
    }
}
void State(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
    auto* t = static_cast<Toplevel*>(data);
    t->nextFull = t->nextActive = false;
    const auto* s = static_cast<const uint32_t*>(states->data);
    for (size_t i = 0; i < states->size / sizeof(uint32_t); ++i) {
        t->nextFull |= s[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_FULLSCREEN;
        t->nextActive |= s[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
    }
}
void Done(void* data, zwlr_foreign_toplevel_handle_v1*) {
    auto* t = static_cast<Toplevel*>(data);
    t->full = t->nextFull;
    t->active = t->nextActive;
    t->w->changed = true;
}
void Closed(void* data, zwlr_foreign_toplevel_handle_v1*) {
    static_cast<Toplevel*>(data)->closed = true;
    static_cast<Toplevel*>(data)->w->changed = true;
}
void Parent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}
const zwlr_foreign_toplevel_handle_v1_listener kToplevelListener = {
    Title, AppId, OutputEnter, OutputLeave, State, Done, Closed, Parent};

void NewToplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                 zwlr_foreign_toplevel_handle_v1* handle) {
    auto* w = static_cast<WlrFullScreenWatch::W*>(data);
    Toplevel& t = w->toplevels.emplace_back();
    t.w = w;
    t.handle = handle;
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kToplevelListener, &t);
}
void Finished(void* data, zwlr_foreign_toplevel_manager_v1*) {
    static_cast<WlrFullScreenWatch::W*>(data)->finished = true;
}
const zwlr_foreign_toplevel_manager_v1_listener kManagerListener = {NewToplevel, Finished};

void Global(void* data, wl_registry* registry, uint32_t id, const char* interface,
            uint32_t version) {
    auto* w = static_cast<WlrFullScreenWatch::W*>(data);
    // Version 2 is the first that tells the fullscreen state.
    if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0 &&
        w->manager == nullptr && version >= 2) {
        w->manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
            wl_registry_bind(registry, id, &zwlr_foreign_toplevel_manager_v1_interface, 2));
        zwlr_foreign_toplevel_manager_v1_add_listener(w->manager, &kManagerListener, w);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        Output& o = w->outputs.emplace_back();
        o.name = id;
        o.output = static_cast<wl_output*>(
            wl_registry_bind(registry, id, &wl_output_interface, std::min(version, 2U)));
        wl_output_add_listener(o.output, &kOutputListener, &o);
    }
}
void GlobalRemove(void* data, wl_registry*, uint32_t id) {
    auto* w = static_cast<WlrFullScreenWatch::W*>(data);
    w->outputs.remove_if([w, id](Output& o) {
        if (o.name != id) {
            return false;
        }
        for (Toplevel& t : w->toplevels) {
            if (t.output == o.output) {
                t.output = nullptr;
            }
        }
        wl_output_destroy(o.output);
        return true;
    });
    w->changed = true;
}
const wl_registry_listener kRegistryListener = {Global, GlobalRemove};

// Every global told: a compositor without the protocol has nothing more to say.
void Listed(void* data, wl_callback* callback, uint32_t) {
    auto* w = static_cast<WlrFullScreenWatch::W*>(data);
    wl_callback_destroy(callback);
    w->listed = nullptr;
    w->finished |= w->manager == nullptr;
}
const wl_callback_listener kListedListener = {Listed};

}  // namespace

WlrFullScreenWatch::WlrFullScreenWatch(std::function<bool(QScreen*)> counts, QObject* parent)
    : FullScreenSource(std::move(counts), parent) {}

WlrFullScreenWatch::~WlrFullScreenWatch() = default;

void WlrFullScreenWatch::Start() {
    const QByteArray name = qgetenv("WAYLAND_DISPLAY");
    if (w_ || name.isEmpty()) {
        return;  // without the name, wl_display_connect would try wayland-0
    }
    auto w = std::make_unique<W>();
    w->display = wl_display_connect(name.constData());
    if (w->display == nullptr) {
        return;
    }
    w->registry = wl_display_get_registry(w->display);
    wl_registry_add_listener(w->registry, &kRegistryListener, w.get());
    w->listed = wl_display_sync(w->display);
    wl_callback_add_listener(w->listed, &kListedListener, w.get());
    wl_display_flush(w->display);
    w->notifier =
        std::make_unique<QSocketNotifier>(wl_display_get_fd(w->display), QSocketNotifier::Read);
    connect(w->notifier.get(), &QSocketNotifier::activated, this, [this] { Read(); });
    w_ = std::move(w);
}

// What arrived: read once the socket has it, so that this never waits for the compositor.
void WlrFullScreenWatch::Read() {
    wl_display* d = w_->display;
    while (wl_display_prepare_read(d) != 0) {
        wl_display_dispatch_pending(d);
    }
    wl_display_flush(d);
    const bool read = wl_display_read_events(d) == 0;
    if (!read || wl_display_dispatch_pending(d) < 0 || w_->finished) {
        w_->notifier.release()->deleteLater();  // it is emitting now
        w_.reset();  // the compositor went, or stopped telling: nothing is full-screen
        SetScreen(nullptr);
        return;
    }
    wl_display_flush(d);
    if (w_->changed) {
        w_->changed = false;
        Look();
    }
}

// The activated full-screen toplevel, and the screen of its output.
void WlrFullScreenWatch::Look() {
    w_->toplevels.remove_if([](Toplevel& t) {
        if (t.closed) {
            zwlr_foreign_toplevel_handle_v1_destroy(t.handle);
        }
        return t.closed;
    });
    const W::Toplevel* front = nullptr;
    for (const Toplevel& t : w_->toplevels) {
        if (t.full && t.active) {
            front = &t;
        }
    }
    QScreen* screen = nullptr;
    if (front != nullptr) {
        for (const Output& o : w_->outputs) {
            if (o.output != front->output) {
                continue;
            }
            for (QScreen* s : QGuiApplication::screens()) {
                if (s->geometry().topLeft() == o.position) {
                    screen = s;
                }
            }
        }
        if (screen == nullptr) {
            screen = QGuiApplication::primaryScreen();
        }
    }
    SetScreen(screen);
}

}  // namespace platform::session
