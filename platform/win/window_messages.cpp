// Calling a window's procedure: directly, on the window's own thread (SendMessageA, waiting
// for the result) or later on that thread (PostMessageA).
#include <QMetaObject>

#include <thread>

#include "platform/win/window.h"
#include "platform/win/window_state.h"

namespace platform::win {

using detail::FindLocked;
using detail::ProcedureLocked;
using detail::State;
using detail::state;
using detail::Window;

LRESULT CallWindowProcA(LONG lpPrevWndFunc, HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    const WNDPROC procedure = ProcedureFromLong(lpPrevWndFunc);
    if (procedure == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return procedure(hWnd, uMsg, wParam, lParam);
}

LRESULT SendMessageA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    State& s = state();
    WNDPROC procedure = nullptr;
    QObject* dispatcher = nullptr;
    bool sameThread = false;
    {
        std::lock_guard lock(s.mutex);
        const Window* w = FindLocked(s, hWnd);
        if (w == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        procedure = ProcedureLocked(s, w->wndProc);
        dispatcher = w->dispatcher;
        sameThread = w->owner == std::this_thread::get_id();
    }
    if (sameThread) {
        return procedure != nullptr ? procedure(hWnd, uMsg, wParam, lParam) : 0;
    }
    // Another thread owns the window: its procedure runs there while this thread waits.
    LRESULT result = 0;
    QMetaObject::invokeMethod(
        dispatcher, [&] { result = SendMessageA(hWnd, uMsg, wParam, lParam); },
        Qt::BlockingQueuedConnection);
    return result;
}

BOOL PostMessageA(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    State& s = state();
    QObject* dispatcher = nullptr;
    {
        std::lock_guard lock(s.mutex);
        const Window* w = FindLocked(s, hWnd);
        if (w == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        dispatcher = w->dispatcher;
    }
    // The handle is never reused, so a window destroyed before delivery simply drops the
    // message (SendMessageA finds no window).
    QMetaObject::invokeMethod(
        dispatcher, [=] { SendMessageA(hWnd, uMsg, wParam, lParam); }, Qt::QueuedConnection);
    return TRUE;
}

}  // namespace platform::win
