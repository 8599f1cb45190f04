// Where a screen of the application lies in the X server's pixels.
//
// With several monitors of different scales (Qt's per-screen factors, QT_SCREEN_SCALE_FACTORS)
// Qt's coordinates of a screen are not the server's divided by one ratio: each screen keeps its
// top left corner and has its size divided by its own factor. A point of a window is placed on
// the server from its offset into its screen, times that screen's factor, and from the screen's
// corner as the server has it.
#pragma once

#include <QPoint>
#include <QPointF>

class QScreen;

namespace platform::layered::x11 {

// The top left corner of the screen in the server's pixels: that of the RandR monitor that
// bears the screen's name (Qt's X11 screens are RandR monitors, automatic ones named after
// their output included); the screen's own corner in Qt's coordinates where the server has no
// such monitor or the application is not on X. Asked of the server once per screen geometry.
QPoint NativeOrigin(const QScreen* screen);

// A point in Qt's coordinates on the screen, in the server's pixels.
QPointF ToNative(QPointF point, const QScreen* screen);

}  // namespace platform::layered::x11
