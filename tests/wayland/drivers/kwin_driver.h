// KWin 5.27 on Wayland: clicks through its fake input interface, the screen through its
// screenshot D-Bus interface (org.kde.KWin.ScreenShot2), which KWin answers only to callers
// it trusts: a test session starts it with KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1.
#pragma once

#include <QDBusPendingCall>

#include <memory>
#include <optional>

#include "driver.h"
#include "kwin_fake_input.h"

class KwinDriver : public CompositorDriver {
  public:
    ~KwinDriver() override;
    bool click(QPoint at) override;
    bool hold() override;
    QImage capture(const QRect& area) override;
    void askAhead(const QRect& area) override;

  private:
    bool connectInput();

    // A screenshot asked for: KWin's answer to come, and the pipe it writes the pixels into.
    struct Request {
        QDBusPendingCall reply;
        int pipe;
        QRect area;
    };
    std::optional<Request> send(const QRect& area);
    QImage receive(Request& request);

    std::unique_ptr<KwinFakeInput> input_;
    std::optional<Request> ahead_;
};
