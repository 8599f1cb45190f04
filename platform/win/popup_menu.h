// Popup menus: a menu handle filled with AppendMenuA and shown with TrackPopupMenuEx, which
// blocks until the menu closes, as the window manager of Windows offers them.
//
// The menu is shown by a PopupMenuHost: by default a QMenu opened with QMenu::exec at the
// given screen position; tests put in a host of their own to see the entries and choose one.
//
// What differs from Windows: MF_DISABLED alone cannot be shown "not selectable but not grey"
// with Qt, so it is shown greyed like MF_GRAYED; submenus (MF_POPUP), bitmaps and owner-drawn
// entries are refused by AppendMenuA. One menu at a time: TrackPopupMenuEx while another menu
// of this layer is open fails with ERROR_POPUP_ALREADY_ACTIVE.
#pragma once

#include <string>
#include <vector>

#include "platform/win/win_types.h"

namespace platform::win {

inline constexpr UINT MF_STRING = 0x0000;
inline constexpr UINT MF_GRAYED = 0x0001;
inline constexpr UINT MF_DISABLED = 0x0002;
inline constexpr UINT MF_BITMAP = 0x0004;
inline constexpr UINT MF_CHECKED = 0x0008;
inline constexpr UINT MF_POPUP = 0x0010;
inline constexpr UINT MF_OWNERDRAW = 0x0100;
inline constexpr UINT MF_SEPARATOR = 0x0800;

inline constexpr UINT TPM_LEFTBUTTON = 0x0000;
inline constexpr UINT TPM_RIGHTBUTTON = 0x0002;
inline constexpr UINT TPM_NONOTIFY = 0x0080;
inline constexpr UINT TPM_RETURNCMD = 0x0100;

HMENU CreatePopupMenu();

// Appends an entry: text (ANSI) with MF_STRING, possibly with MF_CHECKED and MF_GRAYED /
// MF_DISABLED, or a separator line with MF_SEPARATOR (text ignored). FALSE for an unknown
// menu or a refused kind of entry.
BOOL AppendMenuA(HMENU hMenu, UINT uFlags, UINT uIDNewItem, const char* lpNewItem);

// Shows the menu at the screen position (x, y) for the owner window and returns when it
// closes. With TPM_RETURNCMD the result is the chosen entry's command id, 0 when nothing was
// chosen; without it the choice is posted to the owner as WM_COMMAND (wParam = id) and the
// result is TRUE. FALSE/0 for an unknown menu or owner window, and (ERROR_NOT_SUPPORTED) when
// the calling thread is not the GUI thread (gui_thread.h) and no host of its own is set.
// lptpm must be null.
BOOL TrackPopupMenuEx(HMENU hMenu, UINT uFlags, int x, int y, HWND hwnd, void* lptpm);

BOOL DestroyMenu(HMENU hMenu);

// The mouse pointer's position on the screen; FALSE and (0, 0) off the GUI thread.
BOOL GetCursorPos(POINT* lpPoint);

// One entry as the host shows it.
struct PopupMenuItem {
    UINT flags = MF_STRING;
    UINT id = 0;
    std::string text;  // ANSI bytes
};

class PopupMenuHost {
  public:
    // Shows the entries at the screen position and returns the chosen entry's id, 0 for
    // none. Disabled entries and separators cannot be chosen.
    virtual UINT Track(const std::vector<PopupMenuItem>& items, POINT at, HWND owner) = 0;

  protected:
    ~PopupMenuHost() = default;
};

// Replaces the host that shows menus (nullptr: back to the QMenu host); returns the previous
// one (nullptr for the QMenu host).
PopupMenuHost* SetPopupMenuHost(PopupMenuHost* host);

// Whether a menu of this layer is open right now.
bool IsPopupMenuTracking();

}  // namespace platform::win
