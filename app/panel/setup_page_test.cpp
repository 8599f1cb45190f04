#include "app/panel/panel_test_fixture.h"

#include "app/panel/quiet_choices_box.h"
#include "app/panel/screen_choice_box.h"
#include "app/store/options_file.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTimeEdit>
#include <QToolButton>

namespace kestrane::paneltest {
namespace {

class SetupPageTest : public PanelTest {
  protected:
    void SetUp() override {
        WriteBytes(dir / "Images/AutoStart.txt", "0\r\n");
        WriteBytes(dir / "Images/SelectedPrograms.txt", "Calm;1\r\nEmpty;0\r\n");
        ASSERT_TRUE(Load());
        dialogs.shown.clear();
    }

    static void LoseFocus(QLineEdit* box, Qt::FocusReason reason = Qt::TabFocusReason) {
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(box, &out);
    }

    FlashOptions Saved() const {
        return ParseOptions(File("Images/SelectedOptions.txt"), FlashOptions()).options;
    }
};

TEST_F(SetupPageTest, TickingOrHighlightingAnEntryRecountsAndRewritesTheSelectionFile) {
    setup->ClbCategories->item(1)->setCheckState(Qt::Checked);
    EXPECT_EQ(File("Images/SelectedPrograms.txt"), "Calm;1\r\nEmpty;1\r\n");
    setup->ClbCategories->item(0)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(File("Images/SelectedPrograms.txt"), "Calm;0\r\nEmpty;1\r\n");
    EXPECT_EQ(setup->LblNumMess->text(), "0");

    // Highlighting alone writes the file again, creating it when it has gone.
    fs::remove(dir / "Images/SelectedPrograms.txt");
    setup->ClbCategories->setCurrentRow(1);
    EXPECT_EQ(File("Images/SelectedPrograms.txt"), "Calm;0\r\nEmpty;1\r\n");
    EXPECT_TRUE(dialogs.shown.empty());

    // A write that fails is reported, and the count still follows the ticks.
    fs::remove(dir / "Images/SelectedPrograms.txt");
    fs::create_directories(dir / "Images/SelectedPrograms.txt");
    setup->ClbCategories->item(0)->setCheckState(Qt::Checked);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "Veltrane");
    EXPECT_TRUE(dialogs.shown[0].prompt.contains("SelectedPrograms.txt"))
        << dialogs.shown[0].prompt.toStdString();
    EXPECT_EQ(setup->LblNumMess->text(), "2");
}

TEST_F(SetupPageTest, DurationCommitOnLeavingTheBox) {
    setup->TxtMessageDuration->setText("0");
    LoseFocus(setup->TxtMessageDuration);
    EXPECT_EQ(state.flashOptions.Msgduration, 1);
    EXPECT_EQ(setup->TxtMessageDuration->text(), "0");
    EXPECT_EQ(Saved().Msgduration, 1);

    setup->TxtMessageDuration->setText("250");
    LoseFocus(setup->TxtMessageDuration, Qt::ActiveWindowFocusReason);  // another window
    EXPECT_EQ(Saved().Msgduration, 1);
    LoseFocus(setup->TxtMessageDuration);
    EXPECT_EQ(Saved().Msgduration, 250);

    fs::remove(dir / "Images/SelectedOptions.txt");
    WriteBytes(dir / "Images/SelectedOptions.txt", "untouched");
    setup->TxtMessageDuration->clear();
    LoseFocus(setup->TxtMessageDuration);
    EXPECT_EQ(state.flashOptions.Msgduration, 250);
    EXPECT_EQ(File("Images/SelectedOptions.txt"), "untouched");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(SetupPageTest, IntervalCommitRefusesAboveSixtyAndTakesOneForZero) {
    setup->txtTimeBetweenMessages->setText("75");
    LoseFocus(setup->txtTimeBetweenMessages);
    ASSERT_EQ(dialogs.prompts(), QStringList{"Please enter less than or equal to 60 seconds"});
    EXPECT_EQ(dialogs.shown[0].title, "Veltrane");
    EXPECT_EQ(setup->txtTimeBetweenMessages->text(), "60");
    EXPECT_EQ(state.flashOptions.TimeBtnMsgs, 60);
    EXPECT_EQ(Saved().TimeBtnMsgs, 60);

    setup->txtTimeBetweenMessages->setText("0");
    LoseFocus(setup->txtTimeBetweenMessages);
    EXPECT_EQ(state.flashOptions.TimeBtnMsgs, 1);
    EXPECT_EQ(setup->txtTimeBetweenMessages->text(), "0");
    EXPECT_EQ(Saved().TimeBtnMsgs, 1);

    setup->txtTimeBetweenMessages->clear();
    LoseFocus(setup->txtTimeBetweenMessages);
    EXPECT_EQ(state.flashOptions.TimeBtnMsgs, 1);
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(SetupPageTest, SpinPicturesStepTheBoxesWithinTheirLimitsAndSaveNothing) {
    const std::string saved = File("Images/SelectedOptions.txt");
    QLineEdit* duration = setup->TxtMessageDuration;
    QLineEdit* interval = setup->txtTimeBetweenMessages;

    duration->setText("998");
    setup->PbDfSecUp->click();
    EXPECT_EQ(duration->text(), "999");
    setup->PbDfSecUp->click();
    EXPECT_EQ(duration->text(), "999");
    duration->setText("2");
    setup->PbDfSecDown->click();
    EXPECT_EQ(duration->text(), "1");
    setup->PbDfSecDown->click();
    EXPECT_EQ(duration->text(), "1");

    interval->setText("59");
    setup->PbDiEvSecUp->click();
    EXPECT_EQ(interval->text(), "60");
    interval->setText("64");
    setup->PbDiEvSecUp->click();
    EXPECT_EQ(interval->text(), "65");
    setup->PbDiEvSecUp->click();
    EXPECT_EQ(interval->text(), "1");
    setup->PbDiEvSecDown->click();
    EXPECT_EQ(interval->text(), "1");
    interval->setText("10");
    setup->PbDiEvSecDown->click();
    EXPECT_EQ(interval->text(), "9");

    duration->clear();
    interval->clear();
    for (PictureButton* spin :
         {setup->PbDfSecUp, setup->PbDfSecDown, setup->PbDiEvSecUp, setup->PbDiEvSecDown}) {
        spin->click();
    }
    EXPECT_EQ(duration->text(), "");
    EXPECT_EQ(interval->text(), "");
    EXPECT_EQ(state.flashOptions, FlashOptions::Defaults());
    EXPECT_EQ(File("Images/SelectedOptions.txt"), saved);
}

TEST_F(SetupPageTest, EachPositionOptionStoresItsWordAndSaves) {
    const std::pair<QRadioButton*, std::string> options[] = {
        {setup->ChbTopLeft, "Top Left"},
        {setup->ChbTopRight, "Top Right"},
        {setup->ChbRandomize, "Random"},
        {setup->ChbCenter, "Center"},
    };
    for (const auto& [option, word] : options) {
        option->click();
        EXPECT_TRUE(option->isChecked());
        EXPECT_EQ(state.flashOptions.MsgOption, word);
        EXPECT_EQ(Saved().MsgOption, word);
    }
}

TEST_F(SetupPageTest, ScreenChoiceIsReadAtStartWrittenWhenChangedAndNotLostAtClose) {
    // Without its file the choice is the primary screen; start-up makes no file for it.
    EXPECT_FALSE(fs::exists(dir / "Images/SelectedScreen.txt"));
    EXPECT_EQ(setup->CboScreen->currentText(), "Primary screen");

    setup->CboScreen->setCurrentIndex(2);
    EXPECT_EQ(state.screenChoice, ScreenChoice::Every);
    EXPECT_EQ(File("Images/SelectedScreen.txt"), "Screen;Every\r\n");
    EXPECT_EQ(File("Images/SelectedOptions.txt"), kDefaultOptions);
    EXPECT_TRUE(dialogs.shown.empty());

    // A file that cannot be written is said, and the choice is used all the same; Close says
    // it again and stays open until the file takes it.
    fs::permissions(dir / "Images/SelectedScreen.txt", fs::perms::owner_read);
    setup->CboScreen->setCurrentIndex(1);
    EXPECT_EQ(state.screenChoice, ScreenChoice::Pointer);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(dialogs.shown[0].prompt.contains("SelectedScreen.txt"))
        << dialogs.shown[0].prompt.toStdString();
    form->close1_Click();
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(ended, 0);
    EXPECT_EQ(File("Images/SelectedScreen.txt"), "Screen;Every\r\n");
    fs::permissions(dir / "Images/SelectedScreen.txt", fs::perms::owner_all);
    form->close1_Click();
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(File("Images/SelectedScreen.txt"), "Screen;Pointer\r\n");

    // The next start shows what the file holds and writes nothing.
    WriteBytes(dir / "Images/SelectedScreen.txt", "screen;every");
    state = SharedState();
    ASSERT_TRUE(Load());
    EXPECT_EQ(setup->CboScreen->currentText(), "Every screen");
    EXPECT_EQ(state.screenChoice, ScreenChoice::Every);
    EXPECT_EQ(File("Images/SelectedScreen.txt"), "screen;every");
}

TEST_F(SetupPageTest, QuietChoicesAreReadAtStartWrittenWhenChangedAndNotLostAtClose) {
    QuietChoicesBox* quiet = setup->FrmQuiet;
    int told = 0;
    QObject::connect(form.get(), &FrmMain::QuietChoicesChanged, [&] { ++told; });
    // Without the file: every choice on but the hours, and no file made for them.
    EXPECT_FALSE(fs::exists(dir / "Images/SelectedQuiet.txt"));
    EXPECT_TRUE(quiet->ChkFullScreen->isChecked() && quiet->ChkShared->isChecked() &&
                quiet->ChkDoNotDisturb->isChecked());
    EXPECT_FALSE(quiet->ChkHours->isChecked());
    EXPECT_FALSE(quiet->TxtFrom->isEnabled());

    quiet->ChkFullScreen->setChecked(false);
    quiet->ChkHours->setChecked(true);
    quiet->PbDays[0]->setChecked(false);  // no Mondays
    quiet->PbDays[6]->setChecked(true);   // Sundays
    EXPECT_TRUE(quiet->TxtFrom->isEnabled());
    EXPECT_EQ(told, 4);
    EXPECT_FALSE(state.quietChoices.fullScreen);
    EXPECT_EQ(File("Images/SelectedQuiet.txt"),
              "FullScreen;0\r\nShared;1\r\nDoNotDisturb;1\r\nHours;1\r\n"
              "Days;Tue,Wed,Thu,Fri,Sun\r\nFrom;09:00\r\nTo;17:30\r\nKey;\r\n");
    EXPECT_EQ(File("Images/SelectedOptions.txt"), kDefaultOptions);
    // The key: one chord of what was typed is kept; cleared, no key.
    quiet->TxtKey->setKeySequence(QKeySequence(QStringLiteral("Ctrl+Alt+K, Ctrl+B")));
    emit quiet->TxtKey->editingFinished();
    EXPECT_EQ(state.quietChoices.key, "Ctrl+Alt+K");
    EXPECT_EQ(quiet->TxtKey->keySequence().count(), 1);
    EXPECT_TRUE(File("Images/SelectedQuiet.txt").ends_with("\r\nKey;Ctrl+Alt+K\r\n"));
    quiet->TxtKey->clear();
    EXPECT_EQ(state.quietChoices.key, "");
    EXPECT_TRUE(File("Images/SelectedQuiet.txt").ends_with("\r\nTo;17:30\r\nKey;\r\n"));
    EXPECT_EQ(told, 6);

    // A file that cannot be written is said, the choice is used all the same, and Close
    // stays open until the file takes it.
    fs::permissions(dir / "Images/SelectedQuiet.txt", fs::perms::owner_read);
    quiet->ChkShared->setChecked(false);
    EXPECT_FALSE(state.quietChoices.shared);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_TRUE(dialogs.shown[0].prompt.contains("SelectedQuiet.txt"));
    form->close1_Click();
    EXPECT_EQ(ended, 0);
    fs::permissions(dir / "Images/SelectedQuiet.txt", fs::perms::owner_all);
    form->close1_Click();
    EXPECT_EQ(ended, 1);
    EXPECT_TRUE(File("Images/SelectedQuiet.txt").starts_with("FullScreen;0\r\nShared;0\r\n"));

    // The next start shows what the file holds, tells the sources, and writes nothing.
    WriteBytes(dir / "Images/SelectedQuiet.txt", "hours;1\nfrom;22:00\nto;6:00\n");
    state = SharedState();
    told = 0;
    form = Make(dir.path());
    setup = form->PanelOptions;
    QObject::connect(form.get(), &FrmMain::QuietChoicesChanged, [&] { ++told; });
    ASSERT_TRUE(form->Form_Load());
    EXPECT_EQ(told, 1);
    EXPECT_TRUE(setup->FrmQuiet->ChkHours->isChecked());
    EXPECT_EQ(setup->FrmQuiet->TxtTo->time(), QTime(6, 0));
    EXPECT_EQ(state.quietChoices.from, 22 * 60);
    EXPECT_EQ(File("Images/SelectedQuiet.txt"), "hours;1\nfrom;22:00\nto;6:00\n");
}

TEST_F(SetupPageTest, ColourDialogTakesItsColourOnConfirmAndOnCancel) {
    setup->PbColor->click();  // first use, cancelled: the dialog's initial colour
    EXPECT_EQ(dialogs.colorCalls, 1);
    EXPECT_EQ(state.flashOptions.Color, "0");
    EXPECT_EQ(Saved().Color, "0");

    dialogs.colorChoices.push_back([](platform::CommonDialogState& s) { s.color = 0x004080FF; });
    setup->PbColor->click();
    EXPECT_EQ(state.flashOptions.Color, "4227327");
    setup->PbColor->click();  // cancelled: the colour held from last time
    EXPECT_EQ(state.flashOptions.Color, "4227327");
    EXPECT_EQ(Saved().Color, "4227327");

    // The font dialog's flags stay on the shared dialog object.
    setup->PBFont->click();
    int flagsSeen = -1;
    dialogs.colorChoices.push_back([&](platform::CommonDialogState& s) { flagsSeen = s.flags; });
    setup->PbColor->click();
    EXPECT_EQ(flagsSeen, platform::CC_RGBINIT | platform::CC_FULLOPEN);
}

TEST_F(SetupPageTest, FontDialogSetsFlagsRoundsHalvesToEvenAndNeverLeavesTheFaceEmpty) {
    form->CommonDialog1.flags = 0;
    int flagsSeen = -1;
    dialogs.fontChoices.push_back([&](platform::CommonDialogState& s) {
        flagsSeen = s.flags;
        s.fontName = "Courier New";
        s.fontSize = 12.5;
        s.fontBold = false;
        s.fontItalic = true;
    });
    setup->PBFont->click();
    EXPECT_EQ(flagsSeen, 3);
    FlashOptions expected = FlashOptions::Defaults();
    expected.SelFont = "Courier New";
    expected.SelFontSize = 12;
    expected.SelFontBold = false;
    expected.SelFontItalic = true;
    EXPECT_EQ(state.flashOptions, expected);
    EXPECT_EQ(File("Images/SelectedOptions.txt"), FormatOptions(expected));

    dialogs.fontChoices.push_back([](platform::CommonDialogState& s) { s.fontSize = 13.5; });
    setup->PBFont->click();
    EXPECT_EQ(state.flashOptions.SelFontSize, 14);

    state.flashOptions.SelFont = "Changed elsewhere";
    setup->PBFont->click();  // cancelled: the dialog's previous values again
    EXPECT_EQ(state.flashOptions.SelFont, "Courier New");
    EXPECT_EQ(state.flashOptions.SelFontSize, 14);

    dialogs.fontChoices.push_back([](platform::CommonDialogState& s) { s.fontName.clear(); });
    setup->PBFont->click();
    EXPECT_EQ(state.flashOptions.SelFont, "Arial");
    EXPECT_EQ(Saved().SelFont, "Arial");
}

TEST_F(SetupPageTest, ViewScriptListsTheIncludedMessagesOfTheHighlightedCategory) {
    QListView* popup = setup->LstBoxViewScript;
    auto shown = [&](int row) { return popup->model()->index(row, 0).data().toString(); };
    setup->PbViewScript->pressed();  // nothing highlighted yet
    EXPECT_TRUE(popup->isHidden());
    EXPECT_EQ(popup->model()->rowCount(), 0);

    setup->ClbCategories->setCurrentRow(1);  // highlighted, not ticked; all excluded
    setup->PbViewScript->pressed();
    EXPECT_TRUE(popup->isHidden());

    WriteBytes(dir / "Data/Calm.txt", "Breathe;1\r\n\r\nSkip;0\r\nCaf\xe9;1\r\nSmile;1\r\n");
    setup->ClbCategories->setCurrentRow(0);
    setup->PbViewScript->pressed();
    ASSERT_EQ(popup->model()->rowCount(), 3);
    EXPECT_EQ(shown(0), "Breathe");
    EXPECT_EQ(shown(1), QString::fromUtf8("Café"));
    EXPECT_EQ(shown(2), "Smile");
    EXPECT_FALSE(popup->isHidden());

    // Moving over the page's background hides it again.
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(setup->Image1, &move);
    EXPECT_TRUE(popup->isHidden());

    // A name that would reach outside the Data folder: the failure is shown and the pop-up
    // stays hidden.
    setup->AddCategory({"../Images/SelectedPrograms", false});
    setup->ClbCategories->setCurrentRow(2);
    dialogs.shown.clear();
    setup->PbViewScript->pressed();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "Veltrane");
    EXPECT_TRUE(popup->isHidden());
}

TEST_F(SetupPageTest, AutoStartBoxWritesFlagAndRunValueAndRefusesWithoutATick) {
    setup->Check1->click();  // Calm is ticked
    EXPECT_TRUE(setup->Check1->isChecked());
    EXPECT_EQ(File("Images/AutoStart.txt"), "1\r\n");
    EXPECT_EQ(RunValue(), RunValueData(dir.path()));
    EXPECT_TRUE(dialogs.shown.empty());

    setup->Check1->click();
    EXPECT_EQ(File("Images/AutoStart.txt"), "0\r\n");
    EXPECT_EQ(RunValue(), "");

    setup->ClbCategories->item(0)->setCheckState(Qt::Unchecked);
    setup->Check1->click();
    EXPECT_EQ(dialogs.prompts(), QStringList{"Select Veltrane Program"});
    EXPECT_FALSE(setup->Check1->isChecked());
    EXPECT_EQ(File("Images/AutoStart.txt"), "0\r\n");
    EXPECT_EQ(RunValue(), "");
}

TEST_F(SetupPageTest, ARunLocksTheSetupPageAndItsPictures) {
    form->PbStart->click();
    ASSERT_FALSE(state.Idle);
    for (QWidget* w : std::initializer_list<QWidget*>{setup, setup->PbViewScript, setup->PbColor,
                                                      setup->PBFont}) {
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    }
    form->PbStart->click();
    EXPECT_TRUE(setup->isEnabled());
    EXPECT_TRUE(setup->PbViewScript->isEnabled());
}

}  // namespace
}  // namespace kestrane::paneltest
