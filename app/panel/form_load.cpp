// The control panel's start-up sequence and the single-instance rule.
#include "app/flash/numbers.h"
#include "app/panel/continue_on_error.h"
#include "app/panel/frm_main.h"
#include "app/panel/help_panels.h"
#include "app/panel/picture_button.h"
#include "app/panel/quiet_choices_box.h"
#include "app/panel/screen_choice_box.h"
#include "app/panel/setup_page.h"
#include "app/panel/twips.h"
#include "app/store/autostart.h"
#include "app/store/catalogue.h"
#include "app/store/category_file.h"
#include "app/store/options_file.h"
#include "app/store/screen_choice.h"
#include "app/store/selection_file.h"
#include "app/store/store_error.h"
#include "app/store/text_file.h"
#include "platform/instance/instance_lock.h"
#include "platform/registry/registry.h"
#include "platform/win/window.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QRadioButton>
#include <QTimer>

#include <exception>

namespace kestrane {

namespace {

void SetColor(QWidget* w, QPalette::ColorRole role, const QColor& color) {
    QPalette pal = w->palette();
    pal.setColor(role, color);
    w->setPalette(pal);
}

}  // namespace

void FrmMain::CheckIfAppIsAlreadyRunning(const std::string& sInput) {
    const platform::win::HWND handle =
        platform::win::FindWindowExA(0, 0, "ThunderRT6FormDC", sInput.c_str());
    if (handle > 0) {
        platform::win::ShowWindow(handle, platform::win::SW_SHOWNORMAL);
    }
}

bool FrmMain::Form_Load() {
    SetupPage* setup = PanelOptions;

    // 1. A second instance on the same data ends at once, before anything is read or written.
    if (!instance_) {
        instance_ =
            std::make_shared<platform::instance::InstanceLock>(ResolvePath(appFolder_, "\\Images"));
    }
    if (!instance_->TryAcquire()) {
        instance_.reset();
        CheckIfAppIsAlreadyRunning("Quessamir");
        return false;
    }
    // Only the one instance that holds the data's lock tidies up: a change of the catalogue
    // that a kill cut short is finished, and temporary files of ours left by a kill go (a
    // category's own <name>temp.txt stays). Files another process is writing are never
    // taken for leftovers.
    if (instance_->Held()) {
        RemoveLeftovers(appFolder_);
        platform::registry::RemoveLeftovers();
    }

    // 2. The Programs page's two lists.
    Try([&] {
        for (QListView* list : {static_cast<QListView*>(LstBoxCategories), ClbMessages}) {
            if (list) {
                list->resize(list->width(), TwipsToPixels(3210));
            }
        }
    });

    // 3.
    state_.RunWanted = false;

    // 4. Colours of the position options and the View Script pop-up.
    Try([&] {
        for (QRadioButton* option :
             {setup->ChbTopRight, setup->ChbTopLeft, setup->ChbCenter, setup->ChbRandomize}) {
            SetColor(option, QPalette::Window, QColor(243, 248, 251));
        }
        SetColor(setup->LstBoxViewScript, QPalette::Text, QColor(3, 65, 133));
    });

    // 5. The help panels' colour and texts.
    Try([&] { Help().FillHelpTexts(); });

    // 6.
    Try([&] { SetColor(setup->LblNumMess, QPalette::WindowText, QColor(30, 110, 167)); });

    // 7.
    CreateButtonMode = QStringLiteral("Add");

    // 8. The tray object with its events, the image list, the icon and its menu; without the
    // library the program runs without a tray icon.
    bool trayCreated = false;
    Try([&] { trayCreated = createTray_ && tray_.Create(); });
    if (trayCreated) {
        Try([&] { trayBehaviour_.Bind(); });
        Try([&] {
            ImageList1 = MakeImageList1(appFolder_);
            tray_.SetImageList(ImageList1.get());
        });
        Try([&] { trayBehaviour_.SystrayShow(); });
        Try([&] { tray_.SetMenuEnabled(u"Stop", false); });
    }

    // 9. The application folder was fixed when the window was made.

    // 10. Options, creating the file with the defaults when it is missing.
    Try([&] {
        const OptionsRead read = ReadOptions(appFolder_, state_.flashOptions);
        state_.flashOptions = read.options;
        setup->TxtMessageDuration->setText(QString::fromStdString(read.durationBox));
        setup->txtTimeBetweenMessages->setText(QString::fromStdString(read.intervalBox));
        // Selecting an option that is not selected yet runs its click behaviour.
        switch (read.position) {
            case PositionButton::Center:
                setup->ChbCenter->setChecked(true);
                break;
            case PositionButton::TopLeft:
                setup->ChbTopLeft->setChecked(true);
                break;
            case PositionButton::TopRight:
                setup->ChbTopRight->setChecked(true);
                break;
            case PositionButton::Random:
                setup->ChbRandomize->setChecked(true);
                break;
            case PositionButton::None:
                break;
        }
    });
    // The screen choice, from its own file beside the options (the primary screen when it is
    // missing); showing it writes nothing.
    Try([&] {
        state_.screenChoice = ReadScreenChoice(appFolder_);
        setup->CboScreen->ShowChoice(state_.screenChoice);
    });
    // The quiet choices likewise, from their own file (the defaults when it is missing).
    Try([&] {
        state_.quietChoices = ReadQuietChoices(appFolder_);
        setup->FrmQuiet->ShowChoices(state_.quietChoices);
        emit QuietChoicesChanged();
    });

    // 11. Pages.
    Try([&] {
        setup->show();
        PanelEditMessage->hide();
        PanelAbout->hide();
        PbStart->show();
        PbAboutUs->move(TwipsToPixels(2205), TwipsToPixels(1530));
    });

    // 12. TestIdle starts true in run control.
    state_.Idle = true;

    // 13. Both category lists from the selection file; ticks set now run no click behaviour.
    setup->ClbCategories->clear();
    PanelEditMessage->ClearCategoryList();
    ListsReady = false;
    Try([&] {
        CategoryList entries;
        try {
            entries = ReadSelectedPrograms(appFolder_);
        } catch (const StoreError& e) {
            // A list that cannot be read is said, once the window (or the tray icon) is up,
            // rather than shown as empty.
            const QString text = QString::fromStdString(e.description());
            QTimer::singleShot(0, this, [this, text] {
                dialogs_.MsgBox(text, platform::MsgBoxStyle::OkOnly, QStringLiteral("Veltrane"));
            });
        }
        for (const CategoryEntry& entry : entries) {
            setup->AddCategory(entry);
            PanelEditMessage->AddCategoryName(entry.name);
        }
    });
    ListsReady = true;

    // 14.
    Try([&] { setup->Recount(); });

    // 15. Autostart; clearing the box runs its click behaviour.
    Try([&] { ApplyAutoStart(appFolder_, *setup->Check1, runFolder_); });

    // 16. Hidden and running, or shown.
    if (setup->Check1->isChecked()) {
        Try([&] {
            SetPicture(PbStart, QString::fromLatin1(kStopPicture));
            tray_.SetMenuEnabled(u"Stop", true);
            tray_.SetMenuEnabled(u"Start", false);
            if (setup->ClbCategories->count() >= 1) {
                HidePanel();
                state_.Idle = false;
                // The run is wanted once the flash window comes up (its load step says so).
                // With nothing ticked, or nothing included, nothing flashes: the tray menu
                // then offers Start, which tells the user why.
                run_->StartRun();
            } else {
                run_->StopRun();
                // Nothing to run: the window comes up, with the tray's Show and Hide to match.
                ShowPanel();
            }
        });
    } else {
        Try([&] { ShowPanel(); });
    }
    return true;
}

}  // namespace kestrane
