#include "app/panel/remote_control.h"

#include "app/panel/frm_main.h"
#include "platform/layered/layered_window.h"
#include "platform/session/pause_request.h"

#include <QEvent>
#include <QTimer>

namespace kestrane {

namespace {

platform::session::ControlHandlers HandlersOf(FrmMain& f, platform::session::PauseRequest* p) {
    platform::session::ControlHandlers h;
    // A pause on request, ended early by Start and Toggle: true when one was ended.
    auto endPause = [p] {
        if (p == nullptr || !p->Paused()) {
            return false;
        }
        p->End();
        return true;
    };
    // Start and Stop do what the tray menu's entries do when the menu offers them: Start
    // while no run is wanted, Stop while one is.
    h.start = [&f, endPause] {
        endPause();
        if (!f.State().RunWanted) {
            f.Tray().MenuStart();
        }
    };
    h.stop = [&f] {
        if (f.State().RunWanted) {
            f.Tray().MenuStop();
        }
    };
    h.toggle = [&f, endPause] {
        if (endPause() && f.State().RunWanted) {
            return;  // the run goes on, flashing again
        }
        if (f.State().RunWanted) {
            f.Tray().MenuStop();
        } else {
            f.Tray().MenuStart();
        }
    };
    h.show = [&f] { f.Tray().MenuShow(); };
    h.hide = [&f] { f.Tray().MenuHide(); };
    h.quit = [&f] { f.close1_Click(); };
    // A second start: without a tray icon on screen nothing else brings a hidden panel back.
    h.activate = [&f] {
        if (!f.TrayIconShown()) {
            f.Tray().MenuShow();
        }
    };
    h.running = [&f] { return f.State().RunWanted; };
    h.visible = [&f] { return f.isVisible() && !f.isMinimized(); };
    h.quiet = [&f] { return f.QuietReason(); };
    h.pause = [p](int minutes) { return p != nullptr && p->Pause(minutes); };
    h.flashPath = [] { return platform::layered::FlashPath(); };
    return h;
}

}  // namespace

RemoteControl::RemoteControl(FrmMain& form, platform::session::PauseRequest* pause)
    : f_(form), service_(HandlersOf(form, pause)) {
    connect(&f_, &FrmMain::StateTouched, &service_, &platform::session::ControlService::Touch);
    f_.installEventFilter(this);
}

bool RemoteControl::Publish(bool startRun) {
    const bool published = service_.Publish();
    f_.SetCallable(published);
    if (startRun) {
        // Once the event loop runs, so that a message the start brings up is shown as usual.
        QTimer::singleShot(0, this, [this] {
            if (!f_.State().RunWanted) {
                f_.Tray().MenuStart();
                service_.Touch();
            }
        });
    }
    return published;
}

void RemoteControl::Toggle() {
    service_.Request(&platform::session::ControlHandlers::toggle);
}

bool RemoteControl::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::WindowStateChange:
            service_.Touch();
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace kestrane
