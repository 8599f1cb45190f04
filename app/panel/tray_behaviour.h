// The control panel's side of its tray icon: putting the icon and its four menu entries up
// at start-up (SystrayShow) and handling the icon's events. A press on the icon opens the
// menu with exactly one of "Start" and "Stop" offered, according to whether a run is wanted;
// the chosen entry shows or hides the panel, or starts or stops the run.
//
// Every procedure here carries on past a failing step: the tray is a convenience, and a
// broken or missing tray object must never stop the panel from working.
#pragma once

#include "platform/com/com_types.h"
#include "traylib/quorvil.h"

#include <vector>

namespace kestrane {

class FrmMain;

class TrayBehaviour {
  public:
    explicit TrayBehaviour(FrmMain& form) : f_(form) {}
    TrayBehaviour(const TrayBehaviour&) = delete;
    TrayBehaviour& operator=(const TrayBehaviour&) = delete;

    // Connects the handlers below to the events of the panel's tray object; false when there
    // is no object or it offers no events.
    bool Bind();

    // Icon 1 of the image list, the icon shown, the entries "Show", "Hide", "Start", "Stop",
    // the menu enabled; then the panel comes up when the autostart box is clear.
    void SystrayShow();

    // The handled events of the tray object. Click and MouseUp do nothing; MouseMove and
    // DoubleClick are not handled.
    void mobjSysTray_Click(platform::com::LONG Button);
    void mobjSysTray_MouseDown(platform::com::LONG Button);
    void mobjSysTray_MouseUp(platform::com::LONG Button);
    void mobjSysTray_MenuClick(quorvil::_MenuItem* Item);

    // What the menu's four entries do, with their checks and messages. Requests from the
    // session bus (RemoteControl) go through these too.
    void MenuStart();
    void MenuStop();
    void MenuShow();
    void MenuHide();

  private:
    // Hands one event of the tray object to its handler.
    void OnEvent(platform::com::DISPID dispid, const std::vector<platform::com::VARIANT*>& args);
    void Message(const char* text);

    FrmMain& f_;
    // Set by MenuClick, so that the mouse-down handler knows whether its menu was answered.
    bool menuChosen_ = false;
};

}  // namespace kestrane
