#include "platform/layered/layered_window.h"
#include "platform/layered/x11_surface.h"

#include <QCursor>
#include <QGuiApplication>

namespace platform::layered {

std::optional<QPoint> PointerPosition() {
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith(QLatin1String("wayland")) ||
        (platform == QLatin1String("xcb") && x11::OnXWayland())) {
        return std::nullopt;
    }
    return QCursor::pos();
}

}  // namespace platform::layered
