// The control panel's main window "Orvessa": the background picture, the Hide and Close
// pictures, Start/Stop, the three tab pictures with their pages (one shown at a time), the
// start-up sequence Form_Load, and the tray object. It owns the flash window and run control
// and holds the application folder.
#pragma once

#include "app/flash/messages_form.h"
#include "app/flash/placement.h"
#include "app/flash/run_control.h"
#include "app/flash/shared_state.h"
#include "app/flash/timer.h"
#include "app/panel/programs_page.h"
#include "app/panel/setup_page.h"
#include "app/panel/tray_behaviour.h"
#include "app/panel/tray_link.h"
#include "platform/dialogs/dialogs.h"
#include "platform/win/win_types.h"

#include <QFrame>
#include <QPixmap>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

class QLabel;
class QListView;
class QListWidget;

namespace platform::instance {
class InstanceLock;
}
namespace platform::session {
class MinimiseWatch;
}

namespace kestrane {

class HelpPanels;
class PictureButton;

class FrmMain : public QWidget {
    Q_OBJECT
  public:
    struct Options {
        std::filesystem::path appFolder;  // the folder that holds Images/ and Data/
        // The folder whose kestrane the autostart Run value names (an installed program's
        // launcher); empty: appFolder.
        std::filesystem::path runFolder;
        TimerFactory timers = PreciseTimers();  // both windows' timers
        RunControl::BuildFn buildRunList;       // default: BuildRunList over appFolder's Data
        // The single-instance lock of the application folder's data (see app_folder.h), taken
        // or not yet; empty: one on appFolder's Images folder.
        std::shared_ptr<platform::instance::InstanceLock> instanceLock;
        // Ends the process after Close; default: the application's event loop is left.
        std::function<void()> endProcess;
        // Whether start-up creates the tray object (tests run without one).
        bool createTray = true;
        // The flash's scheduling while a run goes (see RunControl::Deps); may be empty.
        std::function<void(bool)> timingPriority;
    };

    FrmMain(SharedState& state, platform::Dialogs& dialogs, Options options);
    ~FrmMain() override;

    // The start-up sequence. Returns false when another instance is running: this one then
    // ends at once, having touched no file.
    bool Form_Load();

    // Looks for the running instance's window by caption and shows it.
    static void CheckIfAppIsAlreadyRunning(const std::string& sInput);

    const std::filesystem::path& AppFolder() const { return appFolder_; }
    SharedState& State() { return state_; }
    platform::Dialogs& Dialogs() { return dialogs_; }
    RunControl& Run() { return *run_; }
    MessagesForm& messagesform() { return *flash_; }
    TrayLink& mobjSysTray() { return tray_; }
    // The panel's handlers of the tray object's events and its tray set-up.
    TrayBehaviour& Tray() { return trayBehaviour_; }
    HelpPanels& Help() { return *help_; }

    // The window's handle, given on first use.
    platform::win::HWND hWnd();

    // Why the messages stay away now ("Quiet: Do Not Disturb"), or empty: shown on the panel
    // and as the tray icon's tooltip, and read by the session bus's status.
    void SetQuietReason(const QString& reason);
    QString QuietReason() const;

    // Rewrites the options file from the shared options record (nothing when it is missing).
    void SaveOptions();

    // Pages and controls, named as the forms name them.
    SetupPage* PanelOptions = nullptr;
    ProgramsPage* PanelEditMessage = nullptr;
    QFrame* PanelAbout = nullptr;
    PictureButton* PbStart = nullptr;
    QLabel* LblQuiet = nullptr;  // why no message shows now (under PbStart)
    PictureButton* hide1 = nullptr;
    PictureButton* close1 = nullptr;
    PictureButton* PBMessage = nullptr;       // Setup tab
    PictureButton* PbEditMessages = nullptr;  // Programs tab
    PictureButton* PbAboutUs = nullptr;       // About tab
    PictureButton* PbGetNewPrograms = nullptr;
    // The Programs page's two lists; start-up sizes and fills them once the page sets them.
    QListWidget* LstBoxCategories = nullptr;
    QListView* ClbMessages = nullptr;

    // Fields that start-up sets.
    bool ListsReady = false;  // false while start-up fills the category lists
    QString CreateButtonMode = QStringLiteral("Add");
    // The one common dialog object: colour, font and file dialogs share its values and flags.
    platform::CommonDialogState CommonDialog1;
    // The image list handed to the tray object; its first image is the tray icon.
    platform::com::ComPtr<platform::imagelist::IImageList> ImageList1;

    // Loads a picture into one of the window's picture buttons (see PictureButton).
    void SetPicture(PictureButton* button, const QString& suffix);
    // Loads a picture of the application folder into a label; a missing one leaves it.
    void SetBackground(QLabel* label, const QString& suffix);

    // Tab handlers.
    void PBMessage_Click();
    void PbEditMessages_Click();
    void PbAboutUs_Click();
    // The Hide and Close pictures.
    void hide1_Click();
    void close1_Click();

    // The window comes up as an ordinary window / goes to the tray, with the tray menu's
    // Show and Hide entries to match.
    void ShowPanel();
    void HidePanel();
    // Whether the tray icon is on screen (a tray object with its icon, and a tray host).
    bool TrayIconShown() const;
    // Whether requests reach this window (the session bus's --show and a second start), so
    // that a panel hidden without a tray icon can be brought up again.
    void SetCallable(bool callable) { callable_ = callable; }

  signals:
    // A handler has run that may have started or stopped a run (the Start/Stop picture, the
    // tray menu), so that whoever reports the run's state looks again.
    void StateTouched();
    // The user changed the quiet choices (State().quietChoices), or start-up read them.
    void QuietChoicesChanged();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    class Panel;
    class Context;

    // The panel's size in device-independent pixels, the same on every screen.
    static QSize DesignSize();

    // The tray menu's Show and Hide for a window that is shown (Show greyed) or not.
    void SetShowHideEntries(bool shown);

    SharedState& state_;
    platform::Dialogs& dialogs_;
    std::filesystem::path appFolder_;
    std::filesystem::path runFolder_;
    std::function<void()> endProcess_;
    bool createTray_ = true;
    bool followsScreen_ = false;
    bool hideWanted_ = false;  // HidePanel ran and no ShowPanel since
    unsigned hideCheck_ = 0;   // the Hide whose wait for the desktop's minimising is running
    bool callable_ = false;    // SetCallable
    std::unique_ptr<platform::session::MinimiseWatch> minimise_;
    std::shared_ptr<platform::instance::InstanceLock> instance_;
    QPixmap background_;
    Rnd rnd_;
    TrayLink tray_;
    TrayBehaviour trayBehaviour_{*this};
    std::unique_ptr<MessagesForm> flash_;
    std::unique_ptr<Panel> panel_;
    std::unique_ptr<Context> context_;
    std::unique_ptr<RunControl> run_;
    HelpPanels* help_ = nullptr;  // a child object of the window
    platform::win::HWND hWnd_ = 0;
};

}  // namespace kestrane
