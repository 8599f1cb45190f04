// MsgWindow: the hidden window of a tray icon, which receives the shell's callback messages
// and owns the icon's popup menu. It is a top-level window of the system's STATIC class that
// is never shown, titled with a fresh GUID text, and subclassed for its whole life by one
// MsgHook, whose events it passes on to its owner.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "traylib/hook/msg_hook.h"

namespace quorvil {

// The receiver of a message window's events: the same as the hook's, passed through, so
// RetValue and Cancel set here are what the hook sees.
class MsgWindowEvents {
  public:
    virtual void BeforeMessage(std::int32_t hWnd, std::int32_t uMsg, std::int32_t wParam,
                               std::int32_t lParam, std::int32_t& RetValue, bool& Cancel) = 0;
    virtual void AfterMessage(std::int32_t hWnd, std::int32_t uMsg, std::int32_t wParam,
                              std::int32_t lParam) = 0;

  protected:
    ~MsgWindowEvents() = default;
};

class MsgWindow : private MsgHookEvents {
  public:
    // Creates and subclasses the window. A failed creation is not reported: hWnd stays 0.
    MsgWindow();
    // Stops the subclassing, then destroys the window.
    ~MsgWindow();
    MsgWindow(const MsgWindow&) = delete;
    MsgWindow& operator=(const MsgWindow&) = delete;

    std::int32_t hWnd() const { return hWnd_; }
    const std::string& WindowName() const { return windowName_; }

    // Where the events go; nullptr for nowhere.
    void SetEvents(MsgWindowEvents* events) { events_ = events; }

  private:
    void CreateMessageWindow();
    void DestroyMessageWindow();

    // mobjHook_BeforeMessage and mobjHook_AfterMessage.
    void BeforeMessage(std::int32_t hWnd, std::int32_t uMsg, std::int32_t wParam,
                       std::int32_t lParam, std::int32_t& RetValue, bool& Cancel) override;
    void AfterMessage(std::int32_t hWnd, std::int32_t uMsg, std::int32_t wParam,
                      std::int32_t lParam) override;

    std::int32_t hWnd_ = 0;
    std::string windowName_;
    std::shared_ptr<MsgHook> mobjHook_;
    MsgWindowEvents* events_ = nullptr;
};

namespace modGeneral {

// A new GUID as text: its 16 bytes in memory order as capital hexadecimal, hyphens after
// bytes 4, 6, 8 and 10, in braces; 38 characters.
std::string NewGuidString();

// The text of NewGuidString for given bytes.
std::string GuidBytesToString(const unsigned char (&bytes)[16]);

}  // namespace modGeneral

}  // namespace quorvil
