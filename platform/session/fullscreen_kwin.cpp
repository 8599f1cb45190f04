#include "platform/session/fullscreen_kwin.h"

#include "platform/session/protocols/plasma-window-management-client.h"
#include "platform/session/wayland_watch.h"

#include <QGuiApplication>
#include <QRect>

#include <wayland-client.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <list>

namespace platform::session {

namespace {
// The versions bound: 6 is the first that tells a window's geometry; 16 is the newest whose
// events the listeners below know (KWin 5.27's).
constexpr uint32_t kOldest = 6;
constexpr uint32_t kNewest = 16;
}  // namespace

struct KwinFullScreenWatch::W {
    struct Window {
        W* w = nullptr;
        org_kde_plasma_window* window = nullptr;
        uint32_t id = 0;     // the manager's, told once or twice (with and without its uuid)
        uint32_t state = 0;  // ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_* flags
        QRect geometry;      // in the compositor's layout
        bool gone = false;   // unmapped: to be destroyed when next looked at
    };
    WaylandWatch connection;  // first: it goes last, after the objects bound through it
    bool changed = false;     // a window's state changed since they were last looked at
    bool finished = false;    // the compositor tells nothing
    org_kde_plasma_window_management* manager = nullptr;
    std::list<Window> windows;
    ~W() {
        for (Window& window : windows) {
            org_kde_plasma_window_destroy(window.window);
        }
        if (manager != nullptr) {
            org_kde_plasma_window_management_destroy(manager);  // the proxy: no request to send
        }
    }
};

namespace {

using Window = KwinFullScreenWatch::W::Window;

// The events that say nothing about full-screen windows.
void Text(void*, org_kde_plasma_window*, const char*) {}
void Number(void*, org_kde_plasma_window*, int32_t) {}
void Unsigned(void*, org_kde_plasma_window*, uint32_t) {}
void Nothing(void*, org_kde_plasma_window*) {}
void Parent(void*, org_kde_plasma_window*, org_kde_plasma_window*) {}
void Menu(void*, org_kde_plasma_window*, const char*, const char*) {}

void StateChanged(void* data, org_kde_plasma_window*, uint32_t flags) {
    auto* window = static_cast<Window*>(data);
    window->state = flags;
    window->w->changed = true;
}
void Unmapped(void* data, org_kde_plasma_window*) {
    auto* window = static_cast<Window*>(data);
    window->gone = true;
    window->w->changed = true;
}
void Geometry(void* data, org_kde_plasma_window*, int32_t x, int32_t y, uint32_t width,
              uint32_t height) {
    auto* window = static_cast<Window*>(data);
    window->geometry = QRect(x, y, int(width), int(height));
    window->w->changed = true;
}
const org_kde_plasma_window_listener kWindowListener = {
    Text,  // title_changed
    Text,  // app_id_changed
    StateChanged,
    Number,    // virtual_desktop_changed
    Text,      // themed_icon_name_changed
    Unmapped,  //
    Nothing,   // initial_state
    Parent,    // parent_window
    Geometry,  //
    Nothing,   // icon_changed
    Unsigned,  // pid_changed
    Text,      // virtual_desktop_entered
    Text,      // virtual_desktop_left
    Menu,      // application_menu
    Text,      // activity_entered
    Text,      // activity_left
    Text,      // resource_name_changed
};

// A window told: followed unless it is known already (compositors may tell it twice, with and
// without its uuid).
void Follow(KwinFullScreenWatch::W* w, uint32_t id, const char* uuid) {
    if (std::any_of(w->windows.begin(), w->windows.end(),
                    [id](const Window& window) { return window.id == id && !window.gone; })) {
        return;
    }
    Window& window = w->windows.emplace_back();
    window.w = w;
    window.id = id;
    window.window = uuid != nullptr
                        ? org_kde_plasma_window_management_get_window_by_uuid(w->manager, uuid)
                        : org_kde_plasma_window_management_get_window(w->manager, id);
    org_kde_plasma_window_add_listener(window.window, &kWindowListener, &window);
}
void NewWindow(void* data, org_kde_plasma_window_management*, uint32_t id) {
    Follow(static_cast<KwinFullScreenWatch::W*>(data), id, nullptr);
}
void NewWindowWithUuid(void* data, org_kde_plasma_window_management*, uint32_t id,
                       const char* uuid) {
    Follow(static_cast<KwinFullScreenWatch::W*>(data), id, uuid);
}
void ShowDesktop(void*, org_kde_plasma_window_management*, uint32_t) {}
void Stacking(void*, org_kde_plasma_window_management*, wl_array*) {}
void StackingUuids(void*, org_kde_plasma_window_management*, const char*) {}
const org_kde_plasma_window_management_listener kManagerListener = {
    ShowDesktop, NewWindow, Stacking, StackingUuids, NewWindowWithUuid};

void Global(void* data, wl_registry* registry, uint32_t id, const char* interface,
            uint32_t version) {
    auto* w = static_cast<KwinFullScreenWatch::W*>(data);
    if (std::strcmp(interface, org_kde_plasma_window_management_interface.name) == 0 &&
        w->manager == nullptr && version >= kOldest) {
        w->manager = static_cast<org_kde_plasma_window_management*>(wl_registry_bind(
            registry, id, &org_kde_plasma_window_management_interface, std::min(version, kNewest)));
        org_kde_plasma_window_management_add_listener(w->manager, &kManagerListener, w);
    }
}
void GlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {Global, GlobalRemove};

}  // namespace

KwinFullScreenWatch::KwinFullScreenWatch(std::function<bool(QScreen*)> counts, QObject* parent)
    : FullScreenSource(std::move(counts), parent) {}

KwinFullScreenWatch::~KwinFullScreenWatch() = default;

void KwinFullScreenWatch::Start() {
    if (w_) {
        return;
    }
    auto w = std::make_unique<W>();
    W* raw = w.get();
    // Every global told: a compositor that does not offer the protocol to this program has
    // nothing more to say.
    if (!w->connection.Open(&kRegistryListener, raw,
                            [raw] { raw->finished |= raw->manager == nullptr; })) {
        return;
    }
    w->connection.Follow(this, [this](bool read) { Read(read); });
    w_ = std::move(w);
}

void KwinFullScreenWatch::Read(bool read) {
    if (!read || w_->finished) {
        w_.reset();  // the compositor went, or tells nothing: nothing is full-screen
        SetScreen(nullptr);
        return;
    }
    if (w_->changed) {
        w_->changed = false;
        Look();
    }
}

// The active full-screen window, and the screen its geometry lies on (its middle, else the one
// it covers most).
void KwinFullScreenWatch::Look() {
    w_->windows.remove_if([](Window& window) {
        if (window.gone) {
            org_kde_plasma_window_destroy(window.window);
        }
        return window.gone;
    });
    constexpr uint32_t kFront = ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE |
                                ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_FULLSCREEN;
    const Window* front = nullptr;
    for (const Window& window : w_->windows) {
        if ((window.state & kFront) == kFront &&
            (window.state & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED) == 0) {
            front = &window;
        }
    }
    QScreen* screen = nullptr;
    if (front != nullptr) {
        int most = 0;
        for (QScreen* s : QGuiApplication::screens()) {
            const QRect covered = s->geometry().intersected(front->geometry);
            const int area = s->geometry().contains(front->geometry.center())
                                 ? std::numeric_limits<int>::max()
                                 : covered.width() * covered.height();
            if (area > most) {
                most = area;
                screen = s;
            }
        }
        if (screen == nullptr) {
            screen = QGuiApplication::primaryScreen();
        }
    }
    SetScreen(screen);
}

}  // namespace platform::session
