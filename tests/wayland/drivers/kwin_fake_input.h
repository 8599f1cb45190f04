// KWin's fake input Wayland interface (org_kde_kwin_fake_input): pointer events that KWin
// routes through its own input stack, as it routes a real mouse's.
#pragma once

#include <QPoint>
#include <QString>

struct wl_display;
struct wl_registry;
struct wl_seat;
struct org_kde_kwin_fake_input;

class KwinFakeInput {
  public:
    KwinFakeInput() = default;
    ~KwinFakeInput();
    KwinFakeInput(const KwinFakeInput&) = delete;
    KwinFakeInput& operator=(const KwinFakeInput&) = delete;

    // Connects to $WAYLAND_DISPLAY and authenticates. KWin offers the interface only to
    // clients it trusts: a test session starts it with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1.
    // The device this creates is the seat's pointer: when the seat had none (a headless KWin
    // has no other), this waits until clients have had time to take the new pointer up, since
    // events that come before are lost to them.
    bool connect(QString* error);

    // Keeps the device, and so the seat's pointer, until KWin goes away; a session keeps one
    // so that the seat's pointer does not come and go with every click.
    void hold();

    // Absolute motion to `at`, then a press and a release of the left button, each sent only
    // after KWin has handled the one before.
    bool click(QPoint at, QString* error);

  private:
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version);
    static void globalRemove(void*, wl_registry*, uint32_t) {}
    static void capabilities(void* data, wl_seat* seat, uint32_t capabilities);
    static void seatName(void*, wl_seat*, const char*) {}
    bool roundtrip(QString* error);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    org_kde_kwin_fake_input* input_ = nullptr;
    uint32_t version_ = 0;
    uint32_t inputName_ = 0;
    bool seatHasPointer_ = false;
};
