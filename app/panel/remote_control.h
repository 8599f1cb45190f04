// The control panel's side of the session-bus interface (platform::session::ControlService):
// each request goes through the handler of the tray menu entry of the same name, with its
// checks and messages. Start and Stop act only when the tray menu would offer them (a Start
// while a run goes changes nothing), Toggle is whichever of them it offers; Quit is
// the Close picture (the options saved, the program ended, or the failure shown and the
// program left running). Running is "a run is wanted" (what the tray menu reads), Visible
// "the panel is on screen and not minimised", Quiet the panel's word on why no message shows.
// Pause holds the messages for the minutes given; Start and Toggle end such a pause early
// (Toggle then starts a run only when none is wanted, and never stops one).
#pragma once

#include "platform/session/control_service.h"

#include <QObject>

namespace platform::session {
class PauseRequest;
}

namespace kestrane {

class FrmMain;

class RemoteControl : public QObject {
  public:
    // pause: the pause on request that Pause, Start and Toggle drive; may be null.
    explicit RemoteControl(FrmMain& form, platform::session::PauseRequest* pause = nullptr);

    // Takes requests from the session bus from now on (see ControlService::Publish). With
    // startRun (the program was started with --start) a run is started as the tray menu's
    // Start does, unless start-up started one already.
    bool Publish(bool startRun);
    // What Toggle does, asked from within the program (the start and stop key).
    void Toggle();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    FrmMain& f_;
    platform::session::ControlService service_;
};

}  // namespace kestrane
