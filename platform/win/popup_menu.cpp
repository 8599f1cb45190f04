#include "platform/win/popup_menu.h"

#include <QAction>
#include <QCursor>
#include <QMenu>

#include <atomic>
#include <map>
#include <mutex>

#include "platform/win/ansi_text.h"
#include "platform/win/gui_thread.h"
#include "platform/win/handles.h"
#include "platform/win/window.h"

namespace platform::win {

namespace {

// Shows the entries with QMenu::exec, which runs its own event loop until the menu closes.
class QtPopupMenuHost final : public PopupMenuHost {
  public:
    UINT Track(const std::vector<PopupMenuItem>& items, POINT at, HWND /*owner*/) override {
        QMenu menu;
        for (const PopupMenuItem& item : items) {
            if ((item.flags & MF_SEPARATOR) != 0) {
                menu.addSeparator();
                continue;
            }
            QAction* action = menu.addAction(DecodeAnsi(item.text));
            action->setData(item.id);
            action->setEnabled((item.flags & (MF_GRAYED | MF_DISABLED)) == 0);
            if ((item.flags & MF_CHECKED) != 0) {
                action->setCheckable(true);
                action->setChecked(true);
            }
        }
        QAction* chosen = menu.exec(QPoint(at.x, at.y));
        return chosen != nullptr ? chosen->data().toUInt() : 0;
    }
};

struct State {
    std::mutex mutex;
    HandleSpace menuHandles{HandleKind::Menu};
    std::map<HMENU, std::vector<PopupMenuItem>> menus;
    PopupMenuHost* host = nullptr;
};

State& state() {
    static State s;
    return s;
}

std::atomic<int> g_tracking{0};

}  // namespace

HMENU CreatePopupMenu() {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const HMENU handle = s.menuHandles.Next();
    if (handle == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    s.menus.emplace(handle, std::vector<PopupMenuItem>{});
    return handle;
}

BOOL AppendMenuA(HMENU hMenu, UINT uFlags, UINT uIDNewItem, const char* lpNewItem) {
    if ((uFlags & (MF_POPUP | MF_BITMAP | MF_OWNERDRAW)) != 0) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto menu = s.menus.find(hMenu);
    if (menu == s.menus.end()) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    PopupMenuItem item;
    item.flags = uFlags;
    item.id = uIDNewItem;
    if ((uFlags & MF_SEPARATOR) == 0 && lpNewItem != nullptr) {
        item.text = lpNewItem;
    }
    menu->second.push_back(std::move(item));
    return TRUE;
}

BOOL TrackPopupMenuEx(HMENU hMenu, UINT uFlags, int x, int y, HWND hwnd, void* lptpm) {
    std::vector<PopupMenuItem> items;
    PopupMenuHost* host = nullptr;
    {
        State& s = state();
        std::lock_guard lock(s.mutex);
        auto menu = s.menus.find(hMenu);
        if (menu == s.menus.end()) {
            SetLastError(ERROR_INVALID_MENU_HANDLE);
            return FALSE;
        }
        items = menu->second;
        host = s.host;
    }
    if (lptpm != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!IsWindow(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    // QMenu exists only on the thread of a Qt GUI application.
    if (host == nullptr && !OnGuiThread()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    int idle = 0;
    if (!g_tracking.compare_exchange_strong(idle, 1)) {
        SetLastError(ERROR_POPUP_ALREADY_ACTIVE);
        return FALSE;
    }
    QtPopupMenuHost qtHost;
    const UINT chosen = (host != nullptr ? static_cast<PopupMenuHost&>(*host) : qtHost)
                            .Track(items, POINT{x, y}, hwnd);
    g_tracking.store(0);
    if ((uFlags & TPM_RETURNCMD) != 0) {
        return static_cast<BOOL>(chosen);
    }
    if (chosen != 0) {
        PostMessageA(hwnd, WM_COMMAND, chosen, 0);
    }
    return TRUE;
}

BOOL DestroyMenu(HMENU hMenu) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.menus.erase(hMenu) == 0) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL GetCursorPos(POINT* lpPoint) {
    if (lpPoint == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!OnGuiThread()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        *lpPoint = POINT{};
        return FALSE;
    }
    const QPoint pos = QCursor::pos();
    lpPoint->x = pos.x();
    lpPoint->y = pos.y();
    return TRUE;
}

PopupMenuHost* SetPopupMenuHost(PopupMenuHost* host) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    PopupMenuHost* previous = s.host;
    s.host = host;
    return previous;
}

bool IsPopupMenuTracking() {
    return g_tracking.load() != 0;
}

}  // namespace platform::win
