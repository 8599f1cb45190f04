#include "traylib/msgwindow/msg_window.h"

#include "platform/win/window.h"

namespace quorvil {

MsgWindow::MsgWindow() {
    CreateMessageWindow();
}

MsgWindow::~MsgWindow() {
    DestroyMessageWindow();
    if (mobjHook_) {
        mobjHook_->SetEvents(nullptr);
    }
}

void MsgWindow::CreateMessageWindow() {
    windowName_ = modGeneral::NewGuidString();
    if (hWnd_ != 0) {
        return;
    }
    // Style 0 (never shown) and no parent: a plain top-level window. There are no module
    // instance handles on this platform, so the instance is 0.
    hWnd_ = platform::win::CreateWindowExA(0, "STATIC", windowName_.c_str(), 0, 0, 0, 0, 0, 0, 0, 0,
                                           nullptr);
    mobjHook_ = std::make_shared<MsgHook>();
    mobjHook_->SetEvents(this);
    mobjHook_->StartSubclass(hWnd_);
}

void MsgWindow::DestroyMessageWindow() {
    if (hWnd_ <= 0) {
        return;
    }
    // Subclassing stops first, so the destroy message goes straight to the window's own
    // procedure and the hook's table entry is gone before the window is.
    mobjHook_->StopSubclass();
    mobjHook_->SetEvents(nullptr);
    mobjHook_.reset();
    platform::win::DestroyWindow(hWnd_);
}

void MsgWindow::BeforeMessage(std::int32_t hWnd, std::int32_t uMsg, std::int32_t wParam,
                              std::int32_t lParam, std::int32_t& RetValue, bool& Cancel) {
    // The receiver may release this window from inside its handler, so nothing of this
    // object is touched after the call.
    if (events_ != nullptr) {
        events_->BeforeMessage(hWnd, uMsg, wParam, lParam, RetValue, Cancel);
    }
}

void MsgWindow::AfterMessage(std::int32_t hWnd, std::int32_t uMsg, std::int32_t wParam,
                             std::int32_t lParam) {
    if (events_ != nullptr) {
        events_->AfterMessage(hWnd, uMsg, wParam, lParam);
    }
}

}  // namespace quorvil
