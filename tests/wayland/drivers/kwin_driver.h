// KWin 5.27 on Wayland: clicks through its fake input interface, the screen through its
// screenshot D-Bus interface (org.kde.KWin.ScreenShot2), which KWin answers only to callers
// it trusts: a test session starts it with KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1.
#pragma once

#include <memory>

#include "driver.h"
#include "kwin_fake_input.h"

class KwinDriver : public CompositorDriver {
  public:
    bool click(QPoint at) override;
    bool hold() override;
    QImage capture(const QRect& area) override;

  private:
    bool connectInput();

    std::unique_ptr<KwinFakeInput> input_;
};
