// kestrane: starting the program means loading the control panel; it ends through the panel's
// Close picture.
#include "app/app_folder.h"
#include "app/command_line.h"
#include "app/flash/shared_state.h"
#include "app/panel/frm_main.h"
#include "app/panel/quiet_choices_box.h"
#include "app/panel/remote_control.h"
#include "platform/dialogs/qt_dialogs.h"
#include "platform/layered/layered_window.h"
#include "platform/priority/timing_priority.h"
#include "platform/session/desktop_scale.h"
#include "platform/session/do_not_disturb.h"
#include "platform/session/fullscreen_kwin.h"
#include "platform/session/fullscreen_wlr.h"
#include "platform/session/fullscreen_x11.h"
#include "platform/session/global_key.h"
#include "platform/session/idle_inhibit.h"
#include "platform/session/lock_watch.h"
#include "platform/session/pause_request.h"
#include "platform/session/quiet_hours.h"
#include "platform/session/quiet_source.h"
#include "platform/session/screen_share.h"
#include "platform/session/session.h"
#include "platform/session/shell_quiet.h"

#include <QApplication>
#include <QCursor>
#include <QDateTime>
#include <QGuiApplication>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

// The local time. The test build can start it at another moment (KESTRANE_TEST_NOW, a local
// date and time such as 2026-12-07T08:59:50), from which it runs on as the real one does.
platform::session::WallClock LocalClock() {
#ifdef KESTRANE_SETTABLE_CLOCK
    const QDateTime start =
        QDateTime::fromString(qEnvironmentVariable("KESTRANE_TEST_NOW"), Qt::ISODate);
    if (start.isValid()) {
        const qint64 offset = QDateTime::currentDateTime().msecsTo(start);
        return [offset] { return QDateTime::currentDateTime().addMSecs(offset); };
    }
#endif
    return [] { return QDateTime::currentDateTime(); };
}

}  // namespace

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
    // When not to flash: the sum of the sources, in the order their reasons are told.
    const platform::session::WallClock clock = LocalClock();
    platform::session::LockWatch lockWatch;
    platform::session::PauseRequest pause(clock);
    platform::session::HoursWatch hours(clock);
    // A full-screen window keeps the messages away from the screen they go to: the primary
    // screen, the pointer's (as it is when the window comes up), or with every screen, the
    // whole flash only when no other screen is left (the others go on, see quietScreens).
    const auto screenCounts = [&state](QScreen* screen) {
        switch (state.screenChoice) {
            case kestrane::ScreenChoice::Primary:
                return screen == QGuiApplication::primaryScreen();
            case kestrane::ScreenChoice::Pointer:
                return screen->geometry().contains(QCursor::pos());
            case kestrane::ScreenChoice::Every:
                return QGuiApplication::screens().size() <= 1;
        }
        return true;
    };
    // Told by the X window manager (X11, XWayland windows), by wlroots compositors, KWin and
    // GNOME Shell through kestrane's extension (their native windows too).
    platform::session::FullScreenWatch fullScreen(screenCounts);
    platform::session::WlrFullScreenWatch wlrFullScreen(screenCounts);
    platform::session::KwinFullScreenWatch kwinFullScreen(screenCounts);
    platform::session::ShellFullScreenWatch shellFullScreen(screenCounts);
    platform::session::QuietSum quiet;
    quiet.Add(&lockWatch);
    quiet.Add(&pause);
    quiet.Add(&fullScreen);
    quiet.Add(&wlrFullScreen);
    quiet.Add(&kwinFullScreen);
    quiet.Add(&shellFullScreen);
    // GNOME's native windows are seen by no other client: an idle inhibitor stands in.
    platform::session::IdleInhibitWatch idleInhibit;
    quiet.Add(&idleInhibit);
    // A screen shared or recorded through the desktop (its PipeWire streams of the screen).
    platform::session::ScreenShareWatch screenShare;
    quiet.Add(&screenShare);
    // GNOME Shell's own word, through the extension: its remote-access sessions, its banners.
    platform::session::ShellFlagWatch shellShared(QStringLiteral("Shared"),
                                                  QStringLiteral("Quiet: the screen is shared"));
    quiet.Add(&shellShared);
    platform::session::DoNotDisturb doNotDisturb;
    quiet.Add(&doNotDisturb);
    platform::session::ShellFlagWatch shellDoNotDisturb(QStringLiteral("DoNotDisturb"),
                                                        QStringLiteral("Quiet: Do Not Disturb"));
    quiet.Add(&shellDoNotDisturb);
    quiet.Add(&hours, false);
    const std::array<platform::session::FullScreenSource*, 4> fullScreens = {
        &fullScreen, &wlrFullScreen, &kwinFullScreen, &shellFullScreen};
    const auto followScreens = [&state, fullScreens] {
        state.quietScreens.clear();
        for (const platform::session::FullScreenSource* s : fullScreens) {
            if (s->Screen() != nullptr && state.quietChoices.fullScreen &&
                std::find(state.quietScreens.begin(), state.quietScreens.end(), s->Screen()) ==
                    state.quietScreens.end()) {
                state.quietScreens.push_back(s->Screen());
            }
        }
    };
    for (platform::session::FullScreenSource* s : fullScreens) {
        QObject::connect(s, &platform::session::QuietSource::Changed, s, followScreens);
    }

    kestrane::FrmMain panel(state, dialogs, std::move(options));
    dialogs.setParent(&panel);
    // While any source holds, no message shows and the run holds still.
    QObject::connect(&quiet, &platform::session::QuietSum::Changed, &panel, [&] {
        panel.Run().Quiet(quiet.Quiet());
        panel.SetQuietReason(quiet.Reason());
    });
    // A message up on a screen that has just got a full-screen window goes (connected after
    // followScreens, which has brought quietScreens up to date by then).
    for (platform::session::FullScreenSource* s : fullScreens) {
        QObject::connect(s, &platform::session::QuietSource::Changed, &panel,
                         [&panel] { panel.Run().QuietScreensChanged(); });
    }
    // The start and stop key, grabbed (or bound by the desktop's portal in a Wayland session)
    // when the user chooses it (or start-up reads it); why it does not work is said in the pop-up
    // where it is chosen, and on the error output.
    platform::session::GlobalKey key;
    QString keyAsked;
    const auto tellKey = [&panel](const QString& problem) {
        panel.PanelOptions->FrmQuiet->ShowKeyProblem(problem);
        if (!problem.isEmpty()) {
            std::fprintf(stderr, "kestrane: %s\n", problem.toLocal8Bit().constData());
        }
    };
    // The desktop's portal answers later.
    QObject::connect(&key, &platform::session::GlobalKey::Answered, &panel, tellKey);
    auto grabKey = [&] {
        const QString chosen = QString::fromStdString(state.quietChoices.key);
        if (chosen == keyAsked && chosen == key.Key()) {
            return;  // held, or none asked for; one that failed is tried again
        }
        keyAsked = chosen;
        tellKey(key.Set(chosen));
    };
    // The user's choices say which sources count.
    QObject::connect(&panel, &kestrane::FrmMain::QuietChoicesChanged, &panel, [&] {
        grabKey();
        const kestrane::QuietChoices& c = state.quietChoices;
        hours.SetHours({c.days, c.from, c.to});
        quiet.SetEnabled(&hours, c.hours);
        for (platform::session::FullScreenSource* s : fullScreens) {
            quiet.SetEnabled(s, c.fullScreen);
        }
        quiet.SetEnabled(&idleInhibit, c.fullScreen);
        quiet.SetEnabled(&screenShare, c.shared);
        quiet.SetEnabled(&shellShared, c.shared);
        quiet.SetEnabled(&doNotDisturb, c.doNotDisturb);
        quiet.SetEnabled(&shellDoNotDisturb, c.doNotDisturb);
        for (platform::session::FullScreenSource* s : fullScreens) {
            s->Recheck();
        }
    });

    if (!panel.Form_Load()) {
        std::fprintf(stderr, "kestrane: another Veltrane runs on the programs and settings in %s\n",
                     folders.appFolder.string().c_str());
        return kestrane::AfterRefusedStart(request);  // another instance is running
    }
    // Requests from the session bus (desktop shortcuts, scripts); none where there is no bus.
    kestrane::RemoteControl remote(panel, &pause);
    remote.Publish(request.startRun);
    QObject::connect(&key, &platform::session::GlobalKey::Pressed, &remote,
                     [&remote] { remote.Toggle(); });
    // The sources ask their desktops now; their answers come later.
    quiet.Start();
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
