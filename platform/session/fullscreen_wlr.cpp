#include "platform/session/fullscreen_wlr.h"

#include "platform/session/protocols/wlr-foreign-toplevel-management-unstable-v1-client.h"
#include "platform/session/wayland_watch.h"

#include <QGuiApplication>

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
    WaylandWatch connection;  // first: it goes last, after the objects bound through it
    bool changed = false;     // a toplevel's state changed since it was last looked at
    bool finished = false;    // the compositor tells no more
    zwlr_foreign_toplevel_manager_v1* manager = nullptr;
    std::list<Output> outputs;
    std::list<Toplevel> toplevels;
    ~W() {
        for (Toplevel& t : toplevels) {
            zwlr_foreign_toplevel_handle_v1_destroy(t.handle);
        }
        for (Output& o : outputs) {
            wl_output_destroy(o.output);
        }
        if (manager != nullptr) {
            zwlr_foreign_toplevel_manager_v1_destroy(manager);
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

}  // namespace

WlrFullScreenWatch::WlrFullScreenWatch(std::function<bool(QScreen*)> counts, QObject* parent)
    : FullScreenSource(std::move(counts), parent) {}

WlrFullScreenWatch::~WlrFullScreenWatch() = default;

void WlrFullScreenWatch::Start() {
    if (w_) {
        return;
    }
    auto w = std::make_unique<W>();
    W* raw = w.get();
    // Every global told: a compositor without the protocol has nothing more to say.
    if (!w->connection.Open(&kRegistryListener, raw,
                            [raw] { raw->finished |= raw->manager == nullptr; })) {
        return;
    }
    w->connection.Follow(this, [this](bool read) { Read(read); });
    w_ = std::move(w);
}

void WlrFullScreenWatch::Read(bool read) {
    if (!read || w_->finished) {
        w_.reset();  // the compositor went, or stopped telling: nothing is full-screen
        SetScreen(nullptr);
        return;
    }
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
