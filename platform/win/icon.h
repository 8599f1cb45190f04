// Icon handles: an HICON stands for a QIcon kept in this layer's icon table. Icons enter the
// table through CreateIconFromQIcon (what loading or creating an icon does on Windows) and
// leave it with DestroyIcon.
#pragma once

#include <QIcon>

#include "platform/win/win_types.h"

namespace platform::win {

// A new handle for the icon; 0 (and nothing stored) for a null icon.
HICON CreateIconFromQIcon(const QIcon& icon);

// The icon a handle stands for; a null icon for 0 or an unknown handle.
QIcon IconFromHandle(HICON hIcon);

BOOL DestroyIcon(HICON hIcon);

}  // namespace platform::win
