// kestrane: starting the program means loading the control panel; it ends through the panel's
// Close picture.
#include "app/flash/shared_state.h"
#include "app/panel/frm_main.h"
#include "platform/dialogs/qt_dialogs.h"

#include <QApplication>

#include <filesystem>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The panel hides to the tray and the flash window comes and goes; the program ends only
    // through Close.
    app.setQuitOnLastWindowClosed(false);
    const std::filesystem::path appFolder = QCoreApplication::applicationDirPath().toStdString();

    kestrane::SharedState state;
    platform::QtDialogs dialogs;
    kestrane::FrmMain::Options options;
    options.appFolder = appFolder;
    options.instanceKey = QCoreApplication::applicationFilePath().toStdString();
    kestrane::FrmMain panel(state, dialogs, std::move(options));
    dialogs.setParent(&panel);

    if (!panel.Form_Load()) {
        return 0;  // another instance is running
    }
    return app.exec();
}
