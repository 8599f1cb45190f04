// kestrane: shows the control panel. The panel's full start-up (single instance, tray icon,
// autostart) grows on top of this; for now the options and the category catalogue are read
// so that a run can be started at once.
#include "app/flash/shared_state.h"
#include "app/panel/frm_main.h"
#include "app/panel/setup_page.h"
#include "app/store/options_file.h"
#include "app/store/selection_file.h"
#include "platform/dialogs/qt_dialogs.h"

#include <QApplication>
#include <QLineEdit>

#include <exception>
#include <filesystem>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::filesystem::path appFolder = QCoreApplication::applicationDirPath().toStdString();

    kestrane::SharedState state;
    platform::QtDialogs dialogs;
    kestrane::FrmMain::Options options;
    options.appFolder = appFolder;
    kestrane::FrmMain panel(state, dialogs, std::move(options));
    dialogs.setParent(&panel);

    const kestrane::OptionsRead read = kestrane::ReadOptions(appFolder, state.flashOptions);
    state.flashOptions = read.options;
    panel.PanelOptions->TxtMessageDuration->setText(QString::fromStdString(read.durationBox));
    panel.PanelOptions->txtTimeBetweenMessages->setText(QString::fromStdString(read.intervalBox));
    try {
        for (const kestrane::CategoryEntry& e : kestrane::ReadSelectedPrograms(appFolder)) {
            panel.PanelOptions->AddCategory(e);
        }
    } catch (const std::exception&) {
        // An unreadable catalogue leaves the list empty.
    }

    panel.show();
    return app.exec();
}
