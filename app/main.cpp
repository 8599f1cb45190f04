// kestrane: starting the program means loading the control panel; it ends through the panel's
// Close picture.
#include "app/app_folder.h"
#include "app/flash/shared_state.h"
#include "app/panel/frm_main.h"
#include "platform/dialogs/qt_dialogs.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
    // The flash window needs X11 (an unmanaged window with an input shape): in a Wayland
    // session the program runs through XWayland unless the user chose a platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    // The panel hides to the tray and the flash window comes and goes; the program ends only
    // through Close.
    app.setQuitOnLastWindowClosed(false);
    // Beside the executable for a portable folder, else the per-user folder (seeded here).
    const kestrane::AppFolders folders =
        kestrane::ChooseAppFolders(QCoreApplication::applicationDirPath().toStdString());

    kestrane::SharedState state;
    platform::QtDialogs dialogs;
    kestrane::FrmMain::Options options;
    options.appFolder = folders.appFolder;
    options.runFolder = folders.runFolder;
    options.instanceKey = QCoreApplication::applicationFilePath().toStdString();
    kestrane::FrmMain panel(state, dialogs, std::move(options));
    dialogs.setParent(&panel);

    if (!panel.Form_Load()) {
        return 0;  // another instance is running
    }
    if (!folders.problem.empty()) {
        // Said once the panel (or the tray icon) is up, so the user sees what runs.
        std::fprintf(stderr, "kestrane: %s\n", folders.problem.c_str());
        QTimer::singleShot(0, &panel, [&] {
            dialogs.MsgBox(QString::fromStdString(folders.problem), platform::MsgBoxStyle::OkOnly,
                           QStringLiteral("Veltrane"));
        });
    }
    return app.exec();
}
