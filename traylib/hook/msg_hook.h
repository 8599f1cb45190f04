// MsgHook: one subclassed window. While it subclasses, the window's messages go through the
// replacement procedure of modMsgHook, which raises BeforeMessage, lets the previous
// procedure handle the message unless a handler suppressed it, and raises AfterMessage.
//
// A hook is held through std::shared_ptr (a counted reference); the hook table of modMsgHook
// keeps only its address. A hook is in the table exactly while it subclasses, and destroying
// a hook stops the subclassing first, so the table never holds the address of a dead hook.
#pragma once

#include <cstdint>
#include <memory>

namespace quorvil {

// The receiver of a hook's events (one at a time).
class MsgHookEvents {
  public:
    // Raised before the previous procedure sees the message. Setting Cancel, or setting
    // RetValue to anything but 0, keeps the message from the previous procedure; RetValue is
    // what the window's sender gets back.
    virtual void BeforeMessage(std::int32_t hWnd, std::int32_t uMsg, std::int32_t wParam,
                               std::int32_t lParam, std::int32_t& RetValue, bool& Cancel) = 0;
    // Raised after every message, handled or suppressed.
    virtual void AfterMessage(std::int32_t hWnd, std::int32_t uMsg, std::int32_t wParam,
                              std::int32_t lParam) = 0;

  protected:
    ~MsgHookEvents() = default;
};

class MsgHook : public std::enable_shared_from_this<MsgHook> {
  public:
    MsgHook() = default;
    ~MsgHook();
    MsgHook(const MsgHook&) = delete;
    MsgHook& operator=(const MsgHook&) = delete;

    // Subclasses the window if the hook is idle and hWnd is not 0; otherwise nothing (the
    // first window stays subclassed).
    void StartSubclass(std::int32_t hWnd);

    // Gives the window its previous procedure back and leaves the hook table, if the hook
    // subclasses a window (hWnd > 0); the hook is idle afterwards. Harmless when idle.
    void StopSubclass();

    // Where the events go; nullptr for nowhere. The receiver must outlive the hook or clear
    // itself before it goes.
    void SetEvents(MsgHookEvents* events) { events_ = events; }

    // Used by modMsgHook.
    std::int32_t hWnd() const { return hWnd_; }
    std::int32_t OldWindowProc() const { return oldWindowProc_; }
    void SetOldWindowProc(std::int32_t value) { oldWindowProc_ = value; }
    std::int32_t HandleMessage(std::int32_t hWnd, std::int32_t uMsg, std::int32_t wParam,
                               std::int32_t lParam);

  private:
    std::int32_t hWnd_ = 0;
    std::int32_t oldWindowProc_ = 0;
    MsgHookEvents* events_ = nullptr;
};

}  // namespace quorvil
