// X11 work behind the layered windows: the window's background pixmap, its bounding and input
// shapes and its place in the stacking order, through Qt's own Xlib connection.
#pragma once

#include <QImage>
#include <QRegion>

class QWidget;

namespace platform::layered::x11 {

// Whether the application runs on an X server (Qt's xcb platform).
bool Available();

// Puts content on screen in the window at once: content becomes the background pixmap,
// shape becomes the bounding shape (an empty region shows nothing), input passes through
// everywhere, the window is raised when raise is set; returns once the server has done it.
// The window must have a native window already. Returns false when X is not available.
bool Present(QWidget* window, const QImage& content, const QRegion& shape, bool raise);

}  // namespace platform::layered::x11
