// The control panel's main window: a thin window that hosts the tab pages and the Start/Stop
// picture, owns the flash window and run control, and holds the application folder.
#pragma once

#include "app/flash/messages_form.h"
#include "app/flash/placement.h"
#include "app/flash/run_control.h"
#include "app/flash/shared_state.h"
#include "app/flash/timer.h"
#include "app/panel/programs_page.h"
#include "platform/dialogs/dialogs.h"

#include <QFrame>
#include <QWidget>

#include <filesystem>
#include <memory>

namespace kestrane {

class PictureButton;
class SetupPage;

class FrmMain : public QWidget {
    Q_OBJECT
  public:
    struct Options {
        std::filesystem::path appFolder;        // the folder that holds the executable
        TimerFactory timers = PreciseTimers();  // both windows' timers
        RunControl::BuildFn buildRunList;       // default: BuildRunList over appFolder's Data
    };

    FrmMain(SharedState& state, platform::Dialogs& dialogs, Options options);
    ~FrmMain() override;

    const std::filesystem::path& AppFolder() const { return appFolder_; }
    SharedState& State() { return state_; }
    platform::Dialogs& Dialogs() { return dialogs_; }
    RunControl& Run() { return *run_; }
    MessagesForm& messagesform() { return *flash_; }

    // Rewrites the options file from the shared options record (nothing when it is missing).
    void SaveOptions();

    // Pages and controls, named as the forms name them.
    SetupPage* PanelOptions = nullptr;
    ProgramsPage* PanelEditMessage = nullptr;
    QFrame* PanelAbout = nullptr;
    PictureButton* PbStart = nullptr;

    // Loads a picture into one of the window's picture buttons (see PictureButton).
    void SetPicture(PictureButton* button, const QString& suffix);

  private:
    class Panel;

    SharedState& state_;
    platform::Dialogs& dialogs_;
    std::filesystem::path appFolder_;
    Rnd rnd_;
    std::unique_ptr<MessagesForm> flash_;
    std::unique_ptr<Panel> panel_;
    std::unique_ptr<RunControl> run_;
};

}  // namespace kestrane
