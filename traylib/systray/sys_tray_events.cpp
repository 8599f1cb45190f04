// SysTray's events: the notification area's callback messages raised as mouse events, events
// raised on request (SendEvent), the popup menu with its MenuClick, and the connection point
// through which clients receive them.
#include <QString>

#include <string>

#include "platform/com/com_ptr.h"
#include "platform/win/ansi_text.h"
#include "platform/win/popup_menu.h"
#include "platform/win/window.h"
#include "traylib/systray/keep_alive.h"
#include "traylib/systray/sys_tray.h"
#include "traylib/typelib/variant_enumerator.h"

namespace quorvil {

namespace {

namespace win = platform::win;

const std::u16string_view kSource = kSysTrayErrorSource;

}  // namespace

void SysTray::BeforeMessage(std::int32_t, std::int32_t uMsg, std::int32_t, std::int32_t lParam,
                            std::int32_t&, bool& Cancel) {
    if (uMsg != static_cast<std::int32_t>(TrayCallbackMessage)) {
        return;
    }
    Cancel = true;  // the previous procedure never sees it; the result stays 0
    KeepAlive keep(static_cast<_SysTray*>(this));
    SendEvent(lParam);
}

void SysTray::RaiseButtonEvent(DISPID dispid, LONG button) {
    Variant argument = Variant::Long(button);
    RaiseEvent(dispid, argument.get(), 1);
}

HRESULT SysTray::SendEvent(LONG MouseEvent) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        KeepAlive keep(static_cast<_SysTray*>(this));
        switch (MouseEvent) {
            case win::WM_MOUSEMOVE:
                RaiseEvent(DISPID_SysTrayEvents_MouseMove, nullptr, 0);
                break;
            case win::WM_LBUTTONDOWN:
                RaiseButtonEvent(DISPID_SysTrayEvents_MouseDown, kButtonLeft);
                break;
            case win::WM_LBUTTONUP:
                RaiseButtonEvent(DISPID_SysTrayEvents_MouseUp, kButtonLeft);
                break;
            case win::WM_LBUTTONDBLCLK:
                RaiseButtonEvent(DISPID_SysTrayEvents_Click, kButtonLeft);
                menuCheck_ = VARIANT_TRUE;
                break;
            case win::WM_RBUTTONDOWN:
                RaiseButtonEvent(DISPID_SysTrayEvents_MouseDown, kButtonRight);
                break;
            case win::WM_RBUTTONDBLCLK:
                RaiseButtonEvent(DISPID_SysTrayEvents_DoubleClick, kButtonRight);
                break;
            default:  // WM_RBUTTONUP and anything else raise nothing
                break;
        }
        return S_OK;
    });
}

HRESULT SysTray::ShowMenu() {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        KeepAlive keep(static_cast<_SysTray*>(this));
        const LONG n = menu_->EntryCount();
        if (n <= 0) {
            return S_OK;
        }
        const win::HMENU menu = win::CreatePopupMenu();
        for (LONG i = 1; i <= n; ++i) {
            const MenuItem* entry = menu_->EntryAt(i);
            if (entry == nullptr) {
                continue;
            }
            win::UINT flags = win::MF_STRING;
            std::string text;
            if (entry->Caption() == u"-") {
                flags = win::MF_SEPARATOR;
            } else {
                text = win::EncodeAnsi(QString::fromStdU16String(entry->Caption()));
                if (entry->Enabled() == VARIANT_FALSE) {
                    flags = win::MF_DISABLED | win::MF_GRAYED;  // never with its check mark
                } else if (entry->Checked() != VARIANT_FALSE) {
                    flags = win::MF_CHECKED;
                }
            }
            // The command id of an entry is its position.
            win::AppendMenuA(menu, flags, static_cast<win::UINT>(i), text.c_str());
        }
        win::POINT cursor;
        win::GetCursorPos(&cursor);
        const win::HWND owner = mobjMsgWindow_->hWnd();
        win::SetForegroundWindow(owner);
        const win::BOOL r = win::TrackPopupMenuEx(menu, win::TPM_RETURNCMD | win::TPM_RIGHTBUTTON,
                                                  cursor.x, cursor.y, owner, nullptr);
        win::DestroyMenu(menu);
        if (r > 0) {
            ComPtr<_MenuItem> chosen;
            Variant position = Variant::Long(r);
            const HRESULT hr = menu_->get_Item(*position.get(), chosen.Put());
            if (FAILED(hr)) {
                return hr;
            }
            // Passed by reference: the handler may replace the reference in the slot, which
            // then holds its own count.
            IDispatch* item = chosen.get();
            item->AddRef();
            VARIANT argument;
            argument.vt = VT_BYREF | VT_DISPATCH;
            argument.ppdispVal = &item;
            RaiseEvent(DISPID_SysTrayEvents_MenuClick, &argument, 1);
            if (item) {
                item->Release();
            }
        }
        return S_OK;
    });
}

// --- connection points ------------------------------------------------------------------

HRESULT SysTray::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    return ConnectionPointEnumerator::Create({&events_}, ppEnum);
}

HRESULT SysTray::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) {
        return E_POINTER;
    }
    *ppCP = nullptr;
    if (!(riid == events_.EventInterface())) {
        return CONNECT_E_NOCONNECTION;
    }
    events_.AddRef();
    *ppCP = &events_;
    return S_OK;
}

// --- class information -----------------------------------------------------------------

}  // namespace quorvil
