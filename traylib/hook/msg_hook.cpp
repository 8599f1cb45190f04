#include "traylib/hook/msg_hook.h"

#include "platform/win/window.h"
#include "traylib/hook/mod_msg_hook.h"

namespace quorvil {

MsgHook::~MsgHook() {
    StopSubclass();
}

void MsgHook::StartSubclass(std::int32_t hWnd) {
    if (hWnd_ == 0) {
        hWnd_ = hWnd;
        if (hWnd_ != 0) {
            modMsgHook::InstallHook(*this);
        }
    }
}

void MsgHook::StopSubclass() {
    if (hWnd_ > 0) {
        modMsgHook::RemoveHook(*this);
        hWnd_ = 0;
    }
}

std::int32_t MsgHook::HandleMessage(std::int32_t hWnd, std::int32_t uMsg, std::int32_t wParam,
                                    std::int32_t lParam) {
    std::int32_t RetValue = 0;
    bool Cancel = false;
    if (events_ != nullptr) {
        events_->BeforeMessage(hWnd, uMsg, wParam, lParam, RetValue, Cancel);
    }
    if (!Cancel && RetValue == 0) {
        RetValue = platform::win::CallWindowProcA(
            oldWindowProc_, hWnd, static_cast<platform::win::UINT>(uMsg),
            static_cast<platform::win::WPARAM>(wParam), lParam);
    }
    // A handler may have dropped the receiver meanwhile (it clears itself from the hook).
    if (events_ != nullptr) {
        events_->AfterMessage(hWnd, uMsg, wParam, lParam);
    }
    return RetValue;
}

}  // namespace quorvil
