// Icon handles: an HICON stands for an icon kept in this layer's icon table. Icons enter the
// table through CreateIconFromQIcon or CreateIconFromImage (what loading or creating an icon
// does on Windows) and leave it with DestroyIcon.
//
// A QIcon can only be made where a Qt GUI application runs, and only on its thread; an icon
// made from an image can be made on any thread of any process and becomes a QIcon when the
// GUI thread asks for it (see gui_thread.h), so that a host without a Qt application can hand
// its icons to a library that shows them on a GUI thread of its own.
#pragma once

#include <QIcon>
#include <QImage>

#include "platform/win/win_types.h"

namespace platform::win {

// A new handle for the icon; 0 (and nothing stored) for a null icon.
HICON CreateIconFromQIcon(const QIcon& icon);

// A new handle for an icon showing the image; 0 (and nothing stored) for a null image.
HICON CreateIconFromImage(const QImage& image);

// The icon a handle stands for; a null icon for 0 or an unknown handle. An icon made from an
// image is a null icon unless the caller runs on the thread of a Qt GUI application.
QIcon IconFromHandle(HICON hIcon);

BOOL DestroyIcon(HICON hIcon);

}  // namespace platform::win
