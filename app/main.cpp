// kestrane: starting the program means loading the control panel; it ends through the panel's
// Close picture.
#include "app/app_folder.h"
#include "app/command_line.h"
#include "app/flash/shared_state.h"
#include "app/panel/frm_main.h"
#include "app/panel/remote_control.h"
#include "platform/dialogs/qt_dialogs.h"
#include "platform/layered/layered_window.h"
#include "platform/priority/timing_priority.h"
#include "platform/session/desktop_scale.h"
#include "platform/session/lock_watch.h"
#include "platform/session/session.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    // A request for the running program (--toggle, --status, ...) is handed to it over the
    // session bus before anything else; --start goes on to start the program (which hands the
    // start to the running one, if any).
    const kestrane::CommandLineOutcome request = kestrane::HandCommandLine(argc, argv);
    if (request.exitStatus) {
        return *request.exitStatus;
    }
    // The flash window needs X11 (an unmanaged window with an input shape): in a Wayland
    // session the program runs through XWayland unless the user chose a platform.
    platform::session::QtCommandLine commandLine(argc, argv);
    if (!commandLine.problem().empty()) {
        // No window can say it, so the message goes to the error output (the journal, for a
        // start at logon) and to the desktop's notification server.
        const std::string text =
            "Veltrane shows its messages in a window that stays above all others and lets "
            "clicks through, which needs an X server (X11, or XWayland in a Wayland session), "
            "and none can be reached: " +
            commandLine.problem() +
            ". Start Veltrane in an X11 session, or in a Wayland session with XWayland.";
        std::fprintf(stderr, "kestrane: %s\n", text.c_str());
        platform::session::NotifyUser("Veltrane", "kestrane", "Veltrane cannot start", text);
        return 1;
    }
    // Scaled as the desktop announces (Xft.dpi), for this process only.
    platform::session::DesktopScale scale(commandLine.argc(), commandLine.argv());
    QApplication app(commandLine.argc(), commandLine.argv());
    scale.Applied();
    // The flash's way to the screen is looked for now (GNOME Shell's extension answers over the
    // bus, later), so that the first message can already take it.
    platform::layered::FlashPath();
    // The panel hides to the tray and the flash window comes and goes; the program ends only
    // through Close.
    app.setQuitOnLastWindowClosed(false);
    // Beside the executable for a portable folder, else the per-user folder (seeded here, once
    // its single-instance lock is held).
    const kestrane::AppFolders folders =
        kestrane::ChooseAppFolders(QCoreApplication::applicationDirPath().toStdString());

    kestrane::SharedState state;
    platform::QtDialogs dialogs;
    kestrane::FrmMain::Options options;
    options.appFolder = folders.appFolder;
    options.runFolder = folders.runFolder;
    options.instanceLock = folders.lock;
    // While a run goes the flash timer's thread asks for realtime scheduling, so that a busy
    // machine does not make messages come and go late.
    options.timingPriority = [](bool running) {
        if (running) {
            platform::priority::RaiseForTiming();
        } else {
            platform::priority::RestoreNormal();
        }
    };
    kestrane::FrmMain panel(state, dialogs, std::move(options));
    dialogs.setParent(&panel);

    if (!panel.Form_Load()) {
        std::fprintf(stderr, "kestrane: another Veltrane runs on the programs and settings in %s\n",
                     folders.appFolder.string().c_str());
        return kestrane::AfterRefusedStart(request);  // another instance is running
    }
    // Requests from the session bus (desktop shortcuts, scripts); none where there is no bus.
    kestrane::RemoteControl remote(panel);
    remote.Publish(request.startRun);
    // Nothing is flashed over a lock screen: while the session is locked the run holds still.
    platform::session::LockWatch lockWatch(
        [&panel](bool locked) { panel.Run().SessionLocked(locked); });
    lockWatch.Start();
    // Said once the panel (or the tray icon) is up, so the user sees what runs.
    for (const std::string& text : {folders.problem, folders.notice}) {
        if (text.empty()) {
            continue;
        }
        std::fprintf(stderr, "kestrane: %s\n", text.c_str());
        QTimer::singleShot(0, &panel, [&dialogs, text] {
            dialogs.MsgBox(QString::fromStdString(text), platform::MsgBoxStyle::OkOnly,
                           QStringLiteral("Veltrane"));
        });
    }
    return app.exec();
}
