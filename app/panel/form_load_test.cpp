#include "app/panel/panel_test_fixture.h"

#include "app/store/options_file.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

namespace kestrane::paneltest {
namespace {

class FormLoadTest : public PanelTest {};

TEST_F(FormLoadTest, WithoutAnOptionsFileTheDefaultsAreWrittenAndCenterSelected) {
    WriteBytes(dir / "Images/AutoStart.txt", "0\r\n");
    WriteBytes(dir / "Images/SelectedPrograms.txt", "Calm;1\r\nEmpty;0\r\n");
    ASSERT_TRUE(Load());
    EXPECT_EQ(File("Images/SelectedOptions.txt"), kDefaultOptions);
    EXPECT_EQ(state.flashOptions, FlashOptions::Defaults());
    EXPECT_TRUE(setup->ChbCenter->isChecked());
    EXPECT_EQ(setup->TxtMessageDuration->text(), "100");
    EXPECT_EQ(setup->txtTimeBetweenMessages->text(), "1");
    EXPECT_EQ(setup->LblNumMess->text(), "2");
    EXPECT_EQ(setup->LblNumMess->palette().color(QPalette::WindowText), QColor(30, 110, 167));
    EXPECT_EQ(setup->ChbTopLeft->palette().color(QPalette::Window), QColor(243, 248, 251));
    EXPECT_EQ(form->CreateButtonMode, "Add");
    EXPECT_TRUE(form->ListsReady);
    EXPECT_FALSE(form->mobjSysTray().Exists());
    // Autostart off: shown with the Setup tab, stopped.
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_TRUE(setup->isVisible());
    EXPECT_TRUE(form->PanelEditMessage->isHidden());
    EXPECT_TRUE(form->PanelAbout->isHidden());
    EXPECT_EQ(form->PbAboutUs->pos(), QPoint(147, 102));
    EXPECT_TRUE(state.Idle);
    EXPECT_FALSE(state.RunWanted);
    EXPECT_EQ(File("Images/SelectedPrograms.txt"), "Calm;1\r\nEmpty;0\r\n");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(FormLoadTest, OptionsAreReadByPositionAndTheNamedPositionSelectedAndSaved) {
    WriteBytes(dir / "Images/AutoStart.txt", "0\r\n");
    WriteBytes(dir / "Images/SelectedOptions.txt",
               "a;255\r\nb;250\r\nc;7\r\nd;Top Right\r\ne;Courier\r\nf;False\r\ng;True\r\n"
               "h;20\r\n");
    ASSERT_TRUE(Load());
    FlashOptions expected;
    expected.Color = "255";
    expected.Msgduration = 250;
    expected.TimeBtnMsgs = 7;
    expected.MsgOption = "Top Right";
    expected.SelFont = "Courier";
    expected.SelFontBold = false;
    expected.SelFontItalic = true;
    expected.SelFontSize = 20;
    EXPECT_EQ(state.flashOptions, expected);
    EXPECT_EQ(setup->TxtMessageDuration->text(), "250");
    EXPECT_EQ(setup->txtTimeBetweenMessages->text(), "7");
    EXPECT_TRUE(setup->ChbTopRight->isChecked());
    EXPECT_FALSE(setup->ChbCenter->isChecked());
    // Selecting the option ran its click behaviour, which saved the file with its own keys.
    EXPECT_EQ(File("Images/SelectedOptions.txt"), FormatOptions(expected));
}

TEST_F(FormLoadTest, FlagFileDecidesBetweenHiddenAndRunningAndShownAndStopped) {
    struct Case {
        std::optional<std::string> flag;  // nothing: no flag file
        bool on;
        std::string flagAfter;
    };
    const Case cases[] = {
        {"1\r\n", true, "1\r\n"},       {"0\r\n", false, "0\r\n"}, {"", true, ""},
        {"word\r\n", true, "word\r\n"}, {"2\r\n", false, "0\r\n"}, {std::nullopt, true, ""},
    };
    for (const bool listed : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE((c.flag ? "flag '" + *c.flag + "'" : std::string("no flag")) +
                         (listed ? ", categories listed" : ", none listed"));
            form.reset();
            state = SharedState();
            fs::remove(dir / "Images/AutoStart.txt");
            fs::remove(dir / "Images/SelectedPrograms.txt");
            if (c.flag) {
                WriteBytes(dir / "Images/AutoStart.txt", *c.flag);
            }
            if (listed) {
                WriteBytes(dir / "Images/SelectedPrograms.txt", "Calm;1\r\nEmpty;0\r\n");
            }
            const auto runBefore = RunValue();
            ASSERT_TRUE(Load());
            EXPECT_EQ(setup->Check1->isChecked(), c.on);
            if (c.flag) {
                EXPECT_EQ(File("Images/AutoStart.txt"), c.flagAfter);
            } else {
                EXPECT_FALSE(fs::exists(dir / "Images/AutoStart.txt"));
            }
            if (c.on && listed) {
                // Hidden (to the task bar, as there is no tray icon) and running.
                EXPECT_TRUE(form->isMinimized());
                EXPECT_FALSE(state.Idle);
                EXPECT_TRUE(state.RunWanted);
                EXPECT_TRUE(form->messagesform().IsLoaded());
                EXPECT_EQ(form->PbStart->PictureName(), "\\images\\stopbut.jpg");
                EXPECT_FALSE(setup->isEnabled());
            } else {
                EXPECT_TRUE(form->isVisible());
                EXPECT_FALSE(form->isMinimized());
                EXPECT_TRUE(state.Idle);
                EXPECT_FALSE(form->messagesform().IsLoaded());
                EXPECT_EQ(form->PbStart->PictureName(), "\\images\\startbut.jpg");
                EXPECT_TRUE(setup->isEnabled());
            }
            // The Run value follows the flag file; without one it is left as it was.
            if (!c.flag) {
                EXPECT_EQ(RunValue(), runBefore);
            } else {
                EXPECT_EQ(RunValue(), c.on ? RunValueData(dir.path()) : "");
            }
            EXPECT_TRUE(dialogs.shown.empty());
        }
    }
}

TEST_F(FormLoadTest, AutoStartedRunStopsAtTheFirstPressOfStartEvenWithNothingTicked) {
    WriteBytes(dir / "Images/AutoStart.txt", "1\r\n");
    WriteBytes(dir / "Images/SelectedPrograms.txt", "Calm;0\r\nEmpty;0\r\n");
    ASSERT_TRUE(Load());
    EXPECT_FALSE(state.Idle);
    EXPECT_FALSE(form->messagesform().IsLoaded());  // nothing ticked, nothing to show
    form->PbStart->click();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(state.Idle);
    EXPECT_FALSE(state.RunWanted);
    EXPECT_EQ(form->PbStart->PictureName(), "\\images\\startbut.jpg");
    EXPECT_TRUE(setup->isEnabled());
}

TEST_F(FormLoadTest, JunkLinesOfTheSelectionFileAreListedWithoutRewritingIt) {
    WriteBytes(dir / "Images/AutoStart.txt", "0\r\n");
    const std::string selection = "Calm;1\r\n\r\nGone;1\r\nEmpty;x\r\nPlain\r\nOff;0\r\n";
    WriteBytes(dir / "Images/SelectedPrograms.txt", selection);
    ASSERT_TRUE(Load());
    EXPECT_EQ(
        setup->Categories(),
        (CategoryList{
            {"Calm", true}, {"Gone", true}, {"Empty", true}, {"Plain", true}, {"Off", false}}));
    // Filling the list ran no click behaviour: the file keeps its bytes.
    EXPECT_EQ(File("Images/SelectedPrograms.txt"), selection);
    EXPECT_EQ(setup->LblNumMess->text(), "2");  // a ticked entry without a file adds nothing
}

TEST_F(FormLoadTest, ASecondInstanceOnTheSameDataEndsAtOnceAndTouchesNoFile) {
    WriteBytes(dir / "Images/AutoStart.txt", "2\r\n");
    WriteBytes(dir / "Images/SelectedPrograms.txt", "Calm;1\r\n");
    WriteBytes(dir / "Data/Calm.txt", "One;1\r\n");
    ASSERT_TRUE(Load());

    // While the first runs (in the middle of a rename, say): temporary files of ours, the
    // record of the change and its new file, a replacement of the registry store; and the
    // category's own temporary file. The options file is gone, and the flag would clear the
    // box. A second start on the same data, from another environment, creates, rewrites and
    // removes nothing.
    fs::remove(dir / "Images/SelectedOptions.txt");
    WriteBytes(dir / "Data/.kestrane-0123456789abcdef.tmp", "One");
    WriteBytes(dir / "Images/.kestrane-fedcba9876543210.tmp", "Color;1");
    WriteBytes(dir / "Data/.kestrane-pending.txt", "Calm.txt\r\nQuiet.txt\r\n");
    WriteBytes(dir / "Data/Quiet.txt", "One;1\r\n\r\n");
    WriteBytes(dir / "Data/Calmtemp.txt", "One;1\r\n\r\n");
    fs::create_directories(dir / ".kestrane-seed-AbC123");
    const fs::path storeTemp = platform::registry::StorePath().string() + ".AbC123";
    WriteBytes(storeTemp, "kestrane-registry 1\n");
    const auto before = Snapshot(dir.path());
    const auto runBefore = RunValue();
    {
        testsupport::TempDir otherRuntime;
        testsupport::ScopedEnv runtime("XDG_RUNTIME_DIR", otherRuntime.path().string());
        auto second = Make(dir.path());
        EXPECT_FALSE(second->Form_Load());
        EXPECT_FALSE(second->isVisible());
    }
    EXPECT_EQ(Snapshot(dir.path()), before);
    EXPECT_EQ(RunValue(), runBefore);
    EXPECT_TRUE(fs::exists(storeTemp));

    // Other data beside it is another program's: it starts.
    testsupport::TempDir other;
    WriteBytes(other / "Images/AutoStart.txt", "0\r\n");
    auto beside = Make(other.path());
    EXPECT_TRUE(beside->Form_Load());
    beside.reset();

    // Once the first has ended, a start goes ahead and tidies up: the unlisted new file of the
    // cut rename goes, the listed category and its own temporary file stay.
    form.reset();
    auto third = Make(dir.path());
    EXPECT_TRUE(third->Form_Load());
    EXPECT_TRUE(fs::exists(dir / "Images/SelectedOptions.txt"));
    for (const char* gone :
         {"Data/.kestrane-0123456789abcdef.tmp", "Images/.kestrane-fedcba9876543210.tmp",
          "Data/.kestrane-pending.txt", "Data/Quiet.txt", ".kestrane-seed-AbC123"}) {
        EXPECT_FALSE(fs::exists(dir / gone)) << gone;
    }
    EXPECT_FALSE(fs::exists(storeTemp));
    EXPECT_EQ(ReadBytes(dir / "Data/Calm.txt"), "One;1\r\n");
    EXPECT_EQ(ReadBytes(dir / "Data/Calmtemp.txt"), "One;1\r\n\r\n");
}

TEST_F(FormLoadTest, TabsSwitchPagesAndPicturesAndSetupRecounts) {
    WriteBytes(dir / "Images/AutoStart.txt", "0\r\n");
    WriteBytes(dir / "Images/SelectedPrograms.txt", "Calm;1\r\nEmpty;0\r\n");
    ASSERT_TRUE(Load());
    EXPECT_TRUE(form->PbGetNewPrograms->isHidden());

    form->PbEditMessages->click();
    EXPECT_TRUE(setup->isHidden());
    EXPECT_FALSE(form->PanelEditMessage->isHidden());
    EXPECT_TRUE(form->PanelAbout->isHidden());
    EXPECT_FALSE(form->PbGetNewPrograms->isHidden());
    EXPECT_EQ(form->PBMessage->PictureName(), "\\Images\\setuptab.gif");
    EXPECT_EQ(form->PbEditMessages->PictureName(), "\\images\\Programstab_mouse.jpg");
    EXPECT_EQ(form->PbAboutUs->PictureName(), "\\images\\about.gif");

    // An edit made while the Programs tab is shown counts once Setup is shown again.
    WriteBytes(dir / "Data/Calm.txt", "Breathe;1\r\nSkip;1\r\nSmile;1\r\nMore;1\r\n");
    EXPECT_EQ(setup->LblNumMess->text(), "2");
    form->PbAboutUs->click();
    EXPECT_TRUE(setup->isHidden());
    EXPECT_TRUE(form->PanelEditMessage->isHidden());
    EXPECT_FALSE(form->PanelAbout->isHidden());
    EXPECT_TRUE(form->PbGetNewPrograms->isHidden());
    EXPECT_EQ(form->PBMessage->PictureName(), "\\Images\\setuptab.gif");
    EXPECT_EQ(form->PbEditMessages->PictureName(), "\\images\\Programstab.gif");
    EXPECT_EQ(form->PbAboutUs->PictureName(), "\\images\\about_mouse.jpg");

    form->PBMessage->click();
    EXPECT_FALSE(setup->isHidden());
    EXPECT_TRUE(form->PanelEditMessage->isHidden());
    EXPECT_TRUE(form->PanelAbout->isHidden());
    EXPECT_EQ(form->PBMessage->PictureName(), "\\Images\\setuptab_mouse.jpg");
    EXPECT_EQ(form->PbAboutUs->PictureName(), "\\images\\about.gif");
    EXPECT_EQ(setup->LblNumMess->text(), "4");
}

TEST_F(FormLoadTest, HideKeepsTheRunAndCloseSavesTheOptionsAndEnds) {
    WriteBytes(dir / "Images/AutoStart.txt", "0\r\n");
    WriteBytes(dir / "Images/SelectedPrograms.txt", "Calm;1\r\n");
    ASSERT_TRUE(Load());
    form->PbStart->click();
    ASSERT_FALSE(state.Idle);
    form->hide1->click();
    EXPECT_TRUE(form->isMinimized());  // no tray icon to come back from
    EXPECT_FALSE(state.Idle);
    EXPECT_TRUE(form->messagesform().IsLoaded());

    state.flashOptions.SelFont = "Georgia";
    // Close writes only the options file.
    WriteBytes(dir / "Images/SelectedPrograms.txt", "Other;0\r\n");
    form->close1->click();
    EXPECT_EQ(ended, 1);
    FlashOptions expected = FlashOptions::Defaults();
    expected.SelFont = "Georgia";
    EXPECT_EQ(File("Images/SelectedOptions.txt"), FormatOptions(expected));
    EXPECT_EQ(File("Images/SelectedPrograms.txt"), "Other;0\r\n");
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
}  // namespace kestrane::paneltest
