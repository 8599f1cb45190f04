// The notification area (system tray) of the shell: Shell_NotifyIconA with the 88-byte record
// of the first version of the interface, shown through QSystemTrayIcon.
//
// The shell reports mouse actions on an icon by sending the owner window (hWnd) the icon's
// callback message (uCallbackMessage, wParam = uID, lParam = a mouse message number). Qt
// reports whole clicks, not presses and releases, so they arrive as:
//
//     left click    WM_LBUTTONDOWN, then WM_LBUTTONUP
//     right click   WM_RBUTTONDOWN, then WM_RBUTTONUP
//     double click  WM_LBUTTONDBLCLK
//     middle click  WM_MBUTTONDOWN, then WM_MBUTTONUP
//
// Mouse moves (WM_MOUSEMOVE) and right double clicks are never reported: Qt does not tell
// them. While a popup menu of this process is open (see popup_menu.h), clicks on the icon
// are dropped: a double click whose second click lands on the just-opened menu must not open
// it again. The icon never gets a Qt context menu, so the owner's own menu is the only one.
//
// Qt shows the icon in one of two ways, chosen once per process when the first icon is made:
//
//   - StatusNotifierItem over D-Bus, when a StatusNotifier watcher
//     (org.kde.StatusNotifierWatcher) is on the session bus: KDE Plasma, GNOME with the
//     AppIndicator extension, XFCE and most panels of wlroots desktops. The tray host draws the
//     icon from the item's properties (the picture as IconPixmap, the tip as the ToolTip's title,
//     Status "Active") and turns the user's clicks into calls of the item, which arrive here as:
//
//         Activate (the host's left click)            WM_LBUTTONDOWN, then WM_LBUTTONUP
//         ContextMenu (the host's right click)        WM_RBUTTONDOWN, then WM_RBUTTONUP
//         SecondaryActivate (the host's middle click) WM_MBUTTONDOWN, then WM_MBUTTONUP
//
//     The host decides which click becomes which call, and every call comes after the user has
//     released the button: a press and its release always arrive together, double clicks never
//     (WM_LBUTTONDBLCLK), nor mouse moves or scrolling. The point the host passes with a call is
//     not handed on: a menu opens where the X server has the pointer (GetCursorPos); in a
//     Wayland session XWayland follows the pointer only over windows of X programs, so that is
//     where it last was over one of them, not necessarily at the host's panel. A watcher that
//     restarts is given the icon again; one that appears only after the first icon was made is not
//     used (the icon waits for an XEmbed tray host).
//   - XEmbed otherwise: an X window of its own, taken in by a tray host of the X server
//     (trayer, stalonetray, the tray of many X11 panels), with the clicks listed above.
//
// Without a tray host (a desktop that shows tray icons: no watcher and no XEmbed host, as on
// plain GNOME) NIM_ADD returns FALSE, yet the icon is kept, and Qt shows it as soon as an
// XEmbed tray host appears; NIM_MODIFY and NIM_DELETE act on it as usual. Icons live on the GUI
// thread (platform/win/gui_thread.h): called on any other thread, or in a process without a GUI
// thread, every call returns FALSE (ERROR_NOT_SUPPORTED) and nothing is shown. The shell is one
// shared library, like the window manager, so all modules of a process share its icons.
#pragma once

#include <cstddef>

#include "platform/win/win_types.h"

class QSystemTrayIcon;

namespace platform::shell {

using platform::win::BOOL;
using platform::win::DWORD;
using platform::win::HICON;
using platform::win::HWND;
using platform::win::UINT;

inline constexpr DWORD NIM_ADD = 0;
inline constexpr DWORD NIM_MODIFY = 1;
inline constexpr DWORD NIM_DELETE = 2;

inline constexpr UINT NIF_MESSAGE = 1;
inline constexpr UINT NIF_ICON = 2;
inline constexpr UINT NIF_TIP = 4;

// The record, 88 bytes in the layout of the 32-bit interface (all fields little-endian 32-bit
// integers, then the tooltip). szTip is ANSI text, NUL-terminated within the field or filling
// all 64 bytes.
struct NOTIFYICONDATAA {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    char szTip[64];
};
static_assert(sizeof(NOTIFYICONDATAA) == 88);
static_assert(offsetof(NOTIFYICONDATAA, cbSize) == 0);
static_assert(offsetof(NOTIFYICONDATAA, hWnd) == 4);
static_assert(offsetof(NOTIFYICONDATAA, uID) == 8);
static_assert(offsetof(NOTIFYICONDATAA, uFlags) == 12);
static_assert(offsetof(NOTIFYICONDATAA, uCallbackMessage) == 16);
static_assert(offsetof(NOTIFYICONDATAA, hIcon) == 20);
static_assert(offsetof(NOTIFYICONDATAA, szTip) == 24);

// Adds, changes or removes the icon named by (hWnd, uID). uFlags says which of
// uCallbackMessage, hIcon and szTip the call carries. FALSE when the record is not the
// 88-byte one (cbSize), the message is unknown, NIM_ADD finds the icon there already (or no
// tray host), NIM_MODIFY/NIM_DELETE find no such icon, or the owner window does not exist
// (NIM_ADD). An icon handle that names no icon shows an empty picture.
BOOL Shell_NotifyIconA(DWORD dwMessage, const NOTIFYICONDATAA* lpData);

// What receives the calls of Shell_NotifyIconA once the record has been checked: the Qt
// notification area by default; tests put in one of their own.
class NotifyArea {
  public:
    virtual BOOL Notify(DWORD message, const NOTIFYICONDATAA& data) = 0;

  protected:
    ~NotifyArea() = default;
};

// Replaces the receiver (nullptr: back to the Qt notification area); returns the previous one
// (nullptr for the Qt notification area).
NotifyArea* SetNotifyArea(NotifyArea* area);

// Whether the icons of the notification area are on screen: a tray host is running (or a
// receiver put in by SetNotifyArea stands for one).
bool NotifyAreaShown();

// The Qt icon that stands for (hWnd, uID) in the Qt notification area, or nullptr.
QSystemTrayIcon* TrayIconFor(HWND hWnd, UINT uID);

}  // namespace platform::shell
