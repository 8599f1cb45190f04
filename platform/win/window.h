// Windows and messages: window handles, the system's STATIC window class, window procedures
// and sending and posting messages, as the window manager of Windows offers them to the code
// of this project.
//
// A window here is a record in this layer's window table: a class, a caption, styles and the
// window procedure that receives its messages. Windows of the STATIC class never appear on
// screen (the library uses them as hidden message windows). A Qt widget can be given a
// handle with AttachWidget so that the calls below, and the layered-window calls built on
// them, act on it; FindWindowExA finds it by class and caption, ShowWindow shows and hides it.
//
// Window procedures are stored in windows as 32-bit LONG values, as the interface has it
// (SetWindowLongA with GWL_WNDPROC). A function address does not fit into 32 bits on a 64-bit
// system, so AddressOf enters a procedure into this layer's procedure table and returns its
// number there: a positive handle-like value (see handles.h), the same number every time for
// the same procedure. Every call that takes a procedure as a LONG (SetWindowLongA,
// CallWindowProcA) looks it up there; a value that names no procedure is refused.
//
// Procedures run on the thread that created the window. SendMessageA from another thread
// waits until the owner thread has run the procedure (the owner thread must be running its Qt
// event loop); PostMessageA queues the message on the owner thread's Qt event loop, and a
// message posted to a window that is gone by then is dropped.
//
// The layer is one shared library, so every module of a process sees the same windows (see
// handles.h). FindWindowExA sees only the windows of its own process.
#pragma once

#include "platform/win/win_types.h"

#include <string>

class QWidget;

namespace platform::win {

// The number under which a window procedure is stored in a LONG (see above); 0 for a null
// procedure.
LONG AddressOf(WNDPROC procedure);

// The procedure that a LONG from AddressOf stands for, or nullptr.
WNDPROC ProcedureFromLong(LONG value);

// The default window procedure: answers WM_GETTEXTLENGTH from the window's caption and
// returns 0 for everything else. WM_GETTEXT and WM_SETTEXT carry a pointer in their 32-bit
// lParam, which cannot hold one on a 64-bit system, so they are not answered (use
// GetWindowTextA). The STATIC class uses this procedure.
LRESULT DefWindowProcA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Creates a window of a registered class ("STATIC", compared without regard to case, or a
// class registered with RegisterClassA). The class procedure receives WM_CREATE (lParam 0:
// there is no CREATESTRUCT here); a result of -1 fails the creation. Position, size, menu,
// instance and creation data are accepted and kept only where GetWindowLongA can read them.
// Returns the new handle, or 0 (GetLastError tells why).
HWND CreateWindowExA(DWORD dwExStyle, const char* lpClassName, const char* lpWindowName,
                     DWORD dwStyle, int x, int y, int nWidth, int nHeight, HWND hWndParent,
                     HMENU hMenu, HINSTANCE hInstance, void* lpParam);

// Registers a window class by name with its procedure; returns FALSE if the name is taken.
BOOL RegisterClassA(const char* className, WNDPROC procedure);

// Sends WM_DESTROY to the window's current procedure, then frees the handle. A Qt widget
// given a handle is not closed: only its handle goes. Must be called on the owner thread.
// Calling it again for the same window while its WM_DESTROY is being handled does nothing and
// returns FALSE.
BOOL DestroyWindow(HWND hWnd);

// Whether the handle names a window that exists.
BOOL IsWindow(HWND hWnd);

// GWL_WNDPROC, GWL_STYLE, GWL_EXSTYLE, GWL_ID and GWL_USERDATA. Set returns the previous
// value, 0 on failure (unknown window, unknown index, a GWL_WNDPROC value that names no
// procedure, or a window of another thread for GWL_WNDPROC).
LONG SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong);
LONG GetWindowLongA(HWND hWnd, int nIndex);

// GCL_WNDPROC only: sets the procedure of the window's class, which windows of that class
// created afterwards start with (windows that exist keep theirs), and returns the previous
// one; 0 on failure (unknown window or index, a value that names no procedure).
LONG SetClassLongA(HWND hWnd, int nIndex, LONG dwNewLong);

// Runs the procedure that lpPrevWndFunc stands for with the message and returns its result;
// 0 when the value names no procedure.
LRESULT CallWindowProcA(LONG lpPrevWndFunc, HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Runs the window's current procedure and returns its result; 0 for an unknown window.
LRESULT SendMessageA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// Queues the message on the owner thread's Qt event loop; FALSE for an unknown window.
BOOL PostMessageA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

// The top-level (hWndParent 0) or child windows of hWndParent after hWndChildAfter (0: from
// the first) in creation order whose class and caption match; a null class or caption matches
// any. Classes compare without regard to case, captions exactly. Only this process's windows.
HWND FindWindowExA(HWND hWndParent, HWND hWndChildAfter, const char* lpszClass,
                   const char* lpszWindow);

// Shows, hides, minimises, maximises or restores a window and returns whether it was visible
// before. Acts on the widget of an attached window; for other windows it sets or clears
// WS_VISIBLE only, since they have nothing on screen.
BOOL ShowWindow(HWND hWnd, int nCmdShow);

// Brings an attached widget's window to the front and gives it the focus. Windows without a
// widget have nothing on screen to raise; the call only checks the handle. FALSE for an
// unknown window.
BOOL SetForegroundWindow(HWND hWnd);

// The caption as bytes; an empty text for an unknown window.
std::string GetWindowTextA(HWND hWnd);

// Gives a Qt widget a window handle of the given class (a class name of the caller's choice;
// it needs no registration) and procedure DefWindowProcA. The caption follows the widget's
// title. The handle lives until DestroyWindow or until the widget is destroyed.
HWND AttachWidget(QWidget* widget, const char* className);

// The widget of an attached window, or nullptr.
QWidget* WidgetFromHandle(HWND hWnd);

// Number of windows that exist in the process.
int WindowCount();

}  // namespace platform::win
