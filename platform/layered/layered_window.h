// Layered, click-through, topmost windows: the window-system calls that turn an ordinary
// window into one whose key colour is fully transparent and through which mouse clicks pass,
// acting on Qt windows.
//
// A Qt window takes part once it has a handle (HandleOf). The calls then behave as their
// namesakes do for what callers rely on:
//   - SetParent(h, 0) makes the window a top-level window.
//   - GWL_EXSTYLE holds the extended style; WS_EX_LAYERED gives the window a transparent
//     background shaped by its content, WS_EX_TRANSPARENT lets mouse input pass through
//     (the window is then left unmanaged by the window manager, whose frame would otherwise
//     catch the clicks), WS_EX_TOPMOST keeps it above other windows.
//   - SetLayeredWindowAttributes with LWA_COLORKEY makes every pixel of the key colour
//     transparent; LWA_ALPHA applies the opacity.
//   - SetWindowPos with HWND_TOPMOST raises the window and, with SWP_SHOWWINDOW, shows it
//     (without activating it when SWP_NOACTIVATE is given).
//
// The window system here does not compose colour-keyed windows by itself, so the owner of a
// layered window calls Present after changing what the window shows: the content is rendered
// once, its key-coloured pixels become transparent, and it is put on screen at once, without
// waiting for the toolkit's next paint; Present returns when it is seen there.
//
// Three ways to the screen:
//   - Where GNOME Shell runs kestrane's extension (it answers on the session bus), the shell
//     draws the letters itself, as an actor of its own stage (shell_flash.h); the path is
//     taken and left as the extension comes and goes, window by window at its next Present.
//   - Else, chosen once per process, where the session's Wayland compositor (WAYLAND_DISPLAY)
//   offers the layer-shell protocol
//     with wl_compositor and wl_shm (the wlroots compositors such as sway, KDE's KWin), a
//     layered window is a surface in the compositor's overlay layer on a Wayland connection of
//     the program's own, with an empty input region, and every change is timed by the
//     compositor's presentation feedback, in whole frames (wayland_surface.h). The rest of the
//     program stays on the platform Qt runs on (X through XWayland).
//   - Otherwise, on X: an X surface of its own, with or without a compositing manager
//     (x11_surface.h).
// The environment variable KESTRANE_FLASH_PATH=x11 forces the X way where others are offered.
#pragma once

#include <QColor>
#include <QPoint>
#include <QRegion>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace platform::layered {

using HWND = std::int32_t;  // 0 is no window

inline constexpr int GWL_EXSTYLE = -20;
inline constexpr std::int32_t WS_EX_TOPMOST = 0x8;
inline constexpr std::int32_t WS_EX_TRANSPARENT = 0x20;
inline constexpr std::int32_t WS_EX_LAYERED = 0x80000;

inline constexpr std::uint32_t LWA_COLORKEY = 0x1;
inline constexpr std::uint32_t LWA_ALPHA = 0x2;

inline constexpr HWND HWND_TOPMOST = -1;
inline constexpr HWND HWND_NOTOPMOST = -2;
inline constexpr std::uint32_t SWP_NOSIZE = 0x1;
inline constexpr std::uint32_t SWP_NOMOVE = 0x2;
inline constexpr std::uint32_t SWP_NOACTIVATE = 0x10;
inline constexpr std::uint32_t SWP_SHOWWINDOW = 0x40;
inline constexpr std::uint32_t SWP_HIDEWINDOW = 0x80;
inline constexpr std::uint32_t SWP_NOSENDCHANGING = 0x400;

// System colour indexes (a few of them; any index 0..30 answers).
inline constexpr int COLOR_WINDOW = 5;
inline constexpr int COLOR_WINDOWTEXT = 8;
inline constexpr int COLOR_CAPTIONTEXT = 9;
inline constexpr int COLOR_BTNFACE = 15;

// The handle of a window, given on first use; handles are positive and never reused within
// the process. The handle stops naming the window when the window is destroyed.
HWND HandleOf(QWidget* window);
// The window a handle names, or nullptr.
QWidget* WindowFromHandle(HWND hWnd);

// Makes the window top-level when newParent is 0, or a child of newParent's window. Returns
// the previous parent's handle (0 when it had none or the handle is unknown).
HWND SetParent(HWND hWnd, HWND newParent);

// GWL_EXSTYLE only; any other index reads 0 and is not written. SetWindowLongA returns the
// previous value.
std::int32_t GetWindowLongA(HWND hWnd, int index);
std::int32_t SetWindowLongA(HWND hWnd, int index, std::int32_t newLong);

// The colour (0x00BBGGRR) currently assigned to a system colour index, taken from the
// application palette where one matches; 0 for an unknown index.
std::uint32_t GetSysColor(int index);

// Colour key (0x00BBGGRR) and opacity of a layered window. Fails (false) for an unknown
// handle or a window without WS_EX_LAYERED.
bool SetLayeredWindowAttributes(HWND hWnd, std::uint32_t crKey, std::uint8_t bAlpha,
                                std::uint32_t dwFlags);
bool GetLayeredWindowAttributes(HWND hWnd, std::uint32_t* crKey, std::uint8_t* bAlpha,
                                std::uint32_t* dwFlags);

// Z order and visibility; only insertAfter HWND_TOPMOST / HWND_NOTOPMOST / 0 are known.
bool SetWindowPos(HWND hWnd, HWND insertAfter, int x, int y, int cx, int cy, std::uint32_t flags);

// Puts a layered window's current content on screen (see above) and returns the moment it was
// seen there. Does nothing (and returns nothing) for a window that is not layered. Returns
// nothing as well when the window system did not say in time when the change was seen (a
// timeout): no time was measured then.
//
// Where changes are shown in whole frames (PresentAhead answers), a change with a due time
// goes in the frame nearest to it, counted in whole frames from the frame that first showed
// what is up now and at least one frame after it; the call waits for the moment to send it.
// Elsewhere the due time is not looked at.
//
// The layered windows in `together` show their current content in the same moment: each is
// handed to the window system right before this window's change (after any wait for the due
// time) and not waited for, so that a compositor takes all of them into the same frame.
//
// Where the window system takes content away by itself (the shell's path), content put up with
// `stay` goes after the whole frames nearest to it, counted from the frame that showed it, and
// a later Present of nothing with a due time leaves it to go so; without a due time it goes at
// once. Elsewhere `stay` is not looked at.
std::optional<std::chrono::steady_clock::time_point> Present(
    HWND hWnd, std::optional<std::chrono::steady_clock::time_point> due = std::nullopt,
    const std::vector<HWND>& together = {},
    std::optional<std::chrono::milliseconds> stay = std::nullopt);

// The way layered windows made now reach the screen: "gnome-shell", "layer-shell",
// "xwayland", "x11-composited", "x11" or "toolkit" (none of them: Qt's own window).
std::string FlashPath();

// Where changes are shown in whole frames and what is up now was seen in one: how long before
// its due time Present must be called for a change to land in the frame due. Nothing
// elsewhere.
std::optional<std::chrono::microseconds> PresentAhead(HWND hWnd);

// Renders a layered window's content as it looks now and hands it to the window system ahead
// of time, without showing it. The next Present, if it finds the window looking exactly the
// same, then only has to show it; otherwise it does the whole work as usual. Does nothing
// where the window system needs nothing ahead.
void Prepare(HWND hWnd);

// The visible shape that the last Present gave the window, in window pixels (on X11 the
// server's, the widget's times its device pixel ratio).
QRegion VisibleRegion(HWND hWnd);

// The content of a window as the colour key shows it: a pixel whose colour (unpremultiplied)
// equals the key, or whose alpha is below 96, is transparent; everything else is opaque.
QRegion KeyedRegion(const class QImage& content, std::uint32_t crKey, bool useKey);

// Where the pointer is on the desktop, in the toolkit's (device-independent) pixels; nothing
// where the program is not told. In a Wayland session a client learns where the pointer is only
// while it is over one of the client's own surfaces, and XWayland's idea of it is as stale
// whenever the pointer is over a Wayland window, so there the answer is always nothing.
std::optional<QPoint> PointerPosition();

}  // namespace platform::layered
