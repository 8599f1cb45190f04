#include "platform/win/window.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "platform/win/ansi_text.h"
#include "platform/win/handles.h"
#include "platform/win/window_state.h"

namespace platform::win {

namespace {

inline constexpr DWORD kErrorAccessDenied = 5;

thread_local DWORD t_lastError = ERROR_SUCCESS;

}  // namespace

using detail::CaptionLocked;
using detail::DispatcherLocked;
using detail::EnsureStaticClassLocked;
using detail::FindLocked;
using detail::Forget;
using detail::Lower;
using detail::NumberLocked;
using detail::ProcedureLocked;
using detail::State;
using detail::state;
using detail::Window;

DWORD GetLastError() {
    return t_lastError;
}
void SetLastError(DWORD code) {
    t_lastError = code;
}

LONG AddressOf(WNDPROC procedure) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return NumberLocked(s, procedure);
}

WNDPROC ProcedureFromLong(LONG value) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return ProcedureLocked(s, value);
}

LRESULT DefWindowProcA(HWND hWnd, UINT uMsg, WPARAM /*wParam*/, LPARAM /*lParam*/) {
    if (uMsg == WM_GETTEXTLENGTH) {
        return static_cast<LRESULT>(GetWindowTextA(hWnd).size());
    }
    return 0;
}

BOOL RegisterClassA(const char* className, WNDPROC procedure) {
    if (className == nullptr || *className == '\0' || procedure == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    State& s = state();
    std::lock_guard lock(s.mutex);
    EnsureStaticClassLocked(s);
    const LONG number = NumberLocked(s, procedure);
    if (number == 0 || !s.classes.emplace(Lower(className), number).second) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

HWND CreateWindowExA(DWORD dwExStyle, const char* lpClassName, const char* lpWindowName,
                     DWORD dwStyle, int /*x*/, int /*y*/, int /*nWidth*/, int /*nHeight*/,
                     HWND hWndParent, HMENU hMenu, HINSTANCE /*hInstance*/, void* /*lpParam*/) {
    State& s = state();
    HWND handle = 0;
    WNDPROC procedure = nullptr;
    {
        std::lock_guard lock(s.mutex);
        EnsureStaticClassLocked(s);
        auto cls = s.classes.find(Lower(lpClassName != nullptr ? lpClassName : ""));
        if (cls == s.classes.end()) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return 0;
        }
        if (hWndParent != 0 && FindLocked(s, hWndParent) == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        handle = s.windowHandles.Next();
        if (handle == 0) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return 0;
        }
        Window w;
        w.className = lpClassName;
        w.caption = lpWindowName != nullptr ? lpWindowName : "";
        w.style = static_cast<LONG>(dwStyle);
        w.exStyle = static_cast<LONG>(dwExStyle);
        w.parent = hWndParent;
        w.id = (dwStyle & static_cast<DWORD>(WS_CHILD)) != 0 ? hMenu : 0;
        w.wndProc = cls->second;
        w.owner = std::this_thread::get_id();
        w.dispatcher = DispatcherLocked(s);
        procedure = ProcedureLocked(s, w.wndProc);
        s.windows.emplace(handle, std::move(w));
    }
    if (procedure(handle, WM_CREATE, 0, 0) == -1) {
        Forget(handle);
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return handle;
}

BOOL DestroyWindow(HWND hWnd) {
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        Window* w = FindLocked(s, hWnd);
        if (w == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        if (w->owner != std::this_thread::get_id()) {
            SetLastError(kErrorAccessDenied);
            return FALSE;
        }
        if (w->destroying) {
            return FALSE;
        }
        w->destroying = true;
    }
    SendMessageA(hWnd, WM_DESTROY, 0, 0);
    Forget(hWnd);
    return TRUE;
}

BOOL IsWindow(HWND hWnd) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return FindLocked(s, hWnd) != nullptr ? TRUE : FALSE;
}

LONG SetWindowLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    Window* w = FindLocked(s, hWnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG* field = nullptr;
    switch (nIndex) {
        case GWL_WNDPROC:
            if (w->owner != std::this_thread::get_id()) {
                SetLastError(kErrorAccessDenied);
                return 0;
            }
            if (ProcedureLocked(s, dwNewLong) == nullptr) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            field = &w->wndProc;
            break;
        case GWL_STYLE:
            field = &w->style;
            break;
        case GWL_EXSTYLE:
            field = &w->exStyle;
            break;
        case GWL_ID:
            field = &w->id;
            break;
        case GWL_USERDATA:
            field = &w->userData;
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
    }
    const LONG previous = *field;
    *field = dwNewLong;
    SetLastError(ERROR_SUCCESS);
    return previous;
}

LONG GetWindowLongA(HWND hWnd, int nIndex) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const Window* w = FindLocked(s, hWnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (nIndex) {
        case GWL_WNDPROC:
            return w->wndProc;
        case GWL_STYLE:
            return w->style;
        case GWL_EXSTYLE:
            return w->exStyle;
        case GWL_ID:
            return w->id;
        case GWL_USERDATA:
            return w->userData;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
    }
}

LONG SetClassLongA(HWND hWnd, int nIndex, LONG dwNewLong) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const Window* w = FindLocked(s, hWnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    auto cls = s.classes.find(Lower(w->className));
    if (nIndex != GCL_WNDPROC || cls == s.classes.end() ||
        ProcedureLocked(s, dwNewLong) == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return std::exchange(cls->second, dwNewLong);
}

HWND FindWindowExA(HWND hWndParent, HWND hWndChildAfter, const char* lpszClass,
                   const char* lpszWindow) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const std::optional<std::string> wantedClass =
        lpszClass != nullptr ? std::optional(Lower(lpszClass)) : std::nullopt;
    auto it = hWndChildAfter == 0 ? s.windows.begin() : s.windows.upper_bound(hWndChildAfter);
    for (; it != s.windows.end(); ++it) {
        const Window& w = it->second;
        if (w.destroying || w.parent != hWndParent) {
            continue;
        }
        if (wantedClass && Lower(w.className) != *wantedClass) {
            continue;
        }
        if (lpszWindow != nullptr && CaptionLocked(w) != lpszWindow) {
            continue;
        }
        return it->first;
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
}

BOOL ShowWindow(HWND hWnd, int nCmdShow) {
    State& s = state();
    QPointer<QWidget> widget;
    bool wasVisible = false;
    {
        std::lock_guard lock(s.mutex);
        Window* w = FindLocked(s, hWnd);
        if (w == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        widget = w->widget;
        wasVisible = widget ? widget->isVisible() : (w->style & WS_VISIBLE) != 0;
        if (!widget) {
            if (nCmdShow == SW_HIDE) {
                w->style &= ~WS_VISIBLE;
            } else {
                w->style |= WS_VISIBLE;
            }
        }
    }
    if (widget) {
        switch (nCmdShow) {
            case SW_HIDE:
                widget->hide();
                break;
            case SW_SHOWMINIMIZED:
            case SW_MINIMIZE:
            case SW_SHOWMINNOACTIVE:
                widget->showMinimized();
                break;
            case SW_SHOWMAXIMIZED:
                widget->showMaximized();
                break;
            case SW_SHOWNORMAL:
            case SW_RESTORE:
                widget->showNormal();
                break;
            case SW_SHOWNOACTIVATE:
            case SW_SHOWNA:
                widget->setAttribute(Qt::WA_ShowWithoutActivating, true);
                widget->show();
                break;
            default:
                widget->show();
                break;
        }
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL SetForegroundWindow(HWND hWnd) {
    State& s = state();
    QPointer<QWidget> widget;
    {
        std::lock_guard lock(s.mutex);
        const Window* w = FindLocked(s, hWnd);
        if (w == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        widget = w->widget;
    }
    if (widget) {
        widget->raise();
        widget->activateWindow();
    }
    return TRUE;
}

std::string GetWindowTextA(HWND hWnd) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const Window* w = FindLocked(s, hWnd);
    return w != nullptr ? CaptionLocked(*w) : std::string();
}

HWND AttachWidget(QWidget* widget, const char* className) {
    if (widget == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    State& s = state();
    std::lock_guard lock(s.mutex);
    const HWND handle = s.windowHandles.Next();
    if (handle == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    Window w;
    w.className = className != nullptr ? className : "";
    w.wndProc = NumberLocked(s, &DefWindowProcA);
    w.owner = std::this_thread::get_id();
    w.dispatcher = DispatcherLocked(s);
    w.widget = widget;
    w.widgetGone = QObject::connect(widget, &QObject::destroyed, [handle] {
        if (IsWindow(handle)) {
            DestroyWindow(handle);
        }
    });
    s.windows.emplace(handle, std::move(w));
    return handle;
}

QWidget* WidgetFromHandle(HWND hWnd) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const Window* w = FindLocked(s, hWnd);
    return w != nullptr ? w->widget.data() : nullptr;
}

int WindowCount() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    return static_cast<int>(s.windows.size());
}

}  // namespace platform::win
