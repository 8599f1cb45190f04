#include "platform/shell/notify_icon.h"

#include <QPixmap>
#include <QSystemTrayIcon>

#include <map>
#include <memory>
#include <utility>

#include "platform/win/ansi_text.h"
#include "platform/win/gui_thread.h"
#include "platform/win/icon.h"
#include "platform/win/popup_menu.h"
#include "platform/win/window.h"

namespace platform::shell {

namespace {

using namespace platform::win;

struct TrayIcon {
    QSystemTrayIcon* tray = nullptr;
    bool hasCallback = false;
    UINT callbackMessage = 0;
};

using IconKey = std::pair<HWND, UINT>;

// The icons of the Qt notification area. Used on the user-interface thread only, as
// QSystemTrayIcon is.
std::map<IconKey, TrayIcon>& Icons() {
    static std::map<IconKey, TrayIcon> icons;
    return icons;
}

NotifyArea* g_area = nullptr;
int g_dispatchDepth = 0;  // > 0 while a click is being sent to an owner window

QIcon IconOf(HICON hIcon) {
    QIcon icon = IconFromHandle(hIcon);
    if (icon.isNull()) {
        // A tray slot with nothing in it, as the shell shows an icon without a picture.
        QPixmap empty(16, 16);
        empty.fill(Qt::transparent);
        icon = QIcon(empty);
    }
    return icon;
}

void Apply(TrayIcon& icon, const NOTIFYICONDATAA& data) {
    if ((data.uFlags & NIF_MESSAGE) != 0) {
        icon.hasCallback = true;
        icon.callbackMessage = data.uCallbackMessage;
    }
    if ((data.uFlags & NIF_ICON) != 0) {
        icon.tray->setIcon(IconOf(data.hIcon));
    }
    if ((data.uFlags & NIF_TIP) != 0) {
        icon.tray->setToolTip(DecodeAnsi(AnsiField(data.szTip, sizeof data.szTip)));
    }
}

// Sends the owner window the callback messages of one click; stops when the icon goes away
// in between (its owner may remove it while handling the first message).
void SendClick(IconKey key, QSystemTrayIcon* tray, std::initializer_list<UINT> mouseMessages) {
    if (IsPopupMenuTracking()) {
        return;
    }
    ++g_dispatchDepth;
    for (UINT mouseMessage : mouseMessages) {
        auto found = Icons().find(key);
        if (found == Icons().end() || found->second.tray != tray || !found->second.hasCallback) {
            break;
        }
        SendMessageA(key.first, found->second.callbackMessage, key.second,
                     static_cast<LPARAM>(mouseMessage));
    }
    --g_dispatchDepth;
}

void OnActivated(IconKey key, QSystemTrayIcon* tray, QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            SendClick(key, tray, {WM_LBUTTONDOWN, WM_LBUTTONUP});
            break;
        case QSystemTrayIcon::Context:
            SendClick(key, tray, {WM_RBUTTONDOWN, WM_RBUTTONUP});
            break;
        case QSystemTrayIcon::DoubleClick:
            SendClick(key, tray, {WM_LBUTTONDBLCLK});
            break;
        case QSystemTrayIcon::MiddleClick:
            SendClick(key, tray, {WM_MBUTTONDOWN, WM_MBUTTONUP});
            break;
        default:
            break;
    }
}

BOOL QtNotify(DWORD message, const NOTIFYICONDATAA& data) {
    // QSystemTrayIcon exists only on the thread of a Qt GUI application.
    if (!OnGuiThread()) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    const IconKey key{data.hWnd, data.uID};
    auto& icons = Icons();
    auto found = icons.find(key);
    switch (message) {
        case NIM_ADD: {
            if (found != icons.end() || !IsWindow(data.hWnd)) {
                return FALSE;
            }
            TrayIcon icon;
            icon.tray = new QSystemTrayIcon();
            icon.tray->setIcon(IconOf(0));
            QSystemTrayIcon* tray = icon.tray;
            QObject::connect(tray, &QSystemTrayIcon::activated,
                             [key, tray](QSystemTrayIcon::ActivationReason reason) {
                                 OnActivated(key, tray, reason);
                             });
            Apply(icon, data);
            icons.emplace(key, icon);
            tray->show();
            return QSystemTrayIcon::isSystemTrayAvailable() ? TRUE : FALSE;
        }
        case NIM_MODIFY:
            if (found == icons.end()) {
                return FALSE;
            }
            Apply(found->second, data);
            return TRUE;
        case NIM_DELETE: {
            if (found == icons.end()) {
                return FALSE;
            }
            QSystemTrayIcon* tray = found->second.tray;
            icons.erase(found);
            tray->hide();
            // An icon removed while its own click is being handled is deleted once that
            // click is over.
            if (g_dispatchDepth > 0) {
                tray->deleteLater();
            } else {
                delete tray;
            }
            return TRUE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

BOOL Shell_NotifyIconA(DWORD dwMessage, const NOTIFYICONDATAA* lpData) {
    if (lpData == nullptr || lpData->cbSize != sizeof(NOTIFYICONDATAA) || dwMessage > NIM_DELETE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (g_area != nullptr) {
        return g_area->Notify(dwMessage, *lpData);
    }
    return QtNotify(dwMessage, *lpData);
}

NotifyArea* SetNotifyArea(NotifyArea* area) {
    return std::exchange(g_area, area);
}

bool NotifyAreaShown() {
    return g_area != nullptr || (OnGuiThread() && QSystemTrayIcon::isSystemTrayAvailable());
}

QSystemTrayIcon* TrayIconFor(HWND hWnd, UINT uID) {
    auto found = Icons().find({hWnd, uID});
    return found != Icons().end() ? found->second.tray : nullptr;
}

}  // namespace platform::shell
