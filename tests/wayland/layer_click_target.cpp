// A native Wayland window for the layer-shell test: full screen, dark, and for every mouse
// button press it gets it appends "press X Y" (window coordinates) to the file named on its
// command line; "ready" once it is on screen. Run it with QT_QPA_PLATFORM=wayland.
//
// A headless compositor's seat has no pointer, so no client would get pointer events at all:
// the program first adds a virtual pointer device to the seat (wlr-virtual-pointer), on a
// connection of its own that lives as long as it does. The compositor then routes its own
// cursor's clicks (swaymsg seat seat0 cursor ...) as it routes a mouse's. With --pointer-only
// instead of a file it only does that, and shows no window.
#include "layer_shell_e2e.virtual-pointer-client.h"

#include <wayland-client.h>

#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRasterWindow>

#include <cstdio>

namespace {

class Target : public QRasterWindow {
  public:
    explicit Target(QString log) : log_(std::move(log)) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(QRect(QPoint(), size()), QColor(40, 40, 60));
        if (!ready_ && isExposed()) {
            ready_ = true;
            Append("ready\n");
        }
    }
    void mousePressEvent(QMouseEvent* e) override {
        const QPoint p = e->position().toPoint();
        Append(QStringLiteral("press %1 %2\n").arg(p.x()).arg(p.y()).toUtf8());
    }

  private:
    void Append(const QByteArray& line) {
        QFile f(log_);
        if (f.open(QIODevice::Append)) {
            f.write(line);
        }
    }
    QString log_;
    bool ready_ = false;
};

// Adds a pointer device to the compositor's first seat; false when it cannot.
bool AddVirtualPointer() {
    struct Globals {
        wl_seat* seat = nullptr;
        zwlr_virtual_pointer_manager_v1* manager = nullptr;
    };
    static Globals g;
    static const wl_registry_listener listener = {
        [](void* data, wl_registry* r, uint32_t name, const char* iface, uint32_t) {
            auto* g = static_cast<Globals*>(data);
            if (qstrcmp(iface, wl_seat_interface.name) == 0 && g->seat == nullptr) {
                g->seat = static_cast<wl_seat*>(wl_registry_bind(r, name, &wl_seat_interface, 1));
            } else if (qstrcmp(iface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
                g->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
                    wl_registry_bind(r, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
            }
        },
        [](void*, wl_registry*, uint32_t) {}};
    wl_display* display = wl_display_connect(nullptr);  // kept open: the device lives with it
    if (display == nullptr) {
        return false;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &listener, &g);
    wl_display_roundtrip(display);
    if (g.manager == nullptr) {
        return false;
    }
    zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g.manager, g.seat);
    return wl_display_roundtrip(display) >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: layer_click_target <log file>\n");
        return 2;
    }
    if (!AddVirtualPointer()) {
        std::fprintf(stderr, "layer_click_target: no virtual pointer\n");
        return 1;
    }
    if (qstrcmp(argv[1], "--pointer-only") == 0) {
        return app.exec();  // the seat keeps a pointer, without a window
    }
    Target target{QString::fromLocal8Bit(argv[1])};
    target.setTitle(QStringLiteral("click target"));
    target.showFullScreen();
    return app.exec();
}
