#include "app/panel/remote_control.h"

#include "app/panel/frm_main.h"
#include "platform/layered/layered_window.h"

#include <QEvent>
#include <QTimer>

namespace kestrane {

namespace {

platform::session::ControlHandlers HandlersOf(FrmMain& f) {
    platform::session::ControlHandlers h;
    // Start and Stop do what the tray menu's entries do when the menu offers them: Start
    // while no run is wanted, Stop while one is.
    h.start = [&f] {
        if (!f.State().RunWanted) {
            f.Tray().MenuStart();
        }
    };
    h.stop = [&f] {
        if (f.State().RunWanted) {
            f.Tray().MenuStop();
        }
    };
    h.toggle = [&f] {
        if (f.State().RunWanted) {
            f.Tray().MenuStop();
        } else {
            f.Tray().MenuStart();
        }
    };
    h.show = [&f] { f.Tray().MenuShow(); };
    h.hide = [&f] { f.Tray().MenuHide(); };
    h.quit = [&f] { f.close1_Click(); };
    h.running = [&f] { return f.State().RunWanted; };
    h.visible = [&f] { return f.isVisible() && !f.isMinimized(); };
    h.flashPath = [] { return platform::layered::FlashPath(); };
    return h;
}

}  // namespace

RemoteControl::RemoteControl(FrmMain& form) : f_(form), service_(HandlersOf(form)) {
    connect(&f_, &FrmMain::StateTouched, &service_, &platform::session::ControlService::Touch);
    f_.installEventFilter(this);
}

bool RemoteControl::Publish(bool startRun) {
    const bool published = service_.Publish();
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
