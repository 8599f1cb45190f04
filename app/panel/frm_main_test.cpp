#include "app/panel/frm_main.h"

#include "app/flash/fake_clock.h"
#include "app/panel/picture_button.h"
#include "app/panel/setup_page.h"
#include "app/panel/timing_box.h"
#include "app/store/options_file.h"
#include "platform/dialogs/scripted_dialogs.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

namespace kestrane {
namespace {

using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

class FrmMainTest : public ::testing::Test {
  protected:
    FrmMainTest() {
        state.flashOptions = FlashOptions::Defaults();
        WriteBytes(dir / "Images/SelectedOptions.txt", FormatOptions(state.flashOptions));
        WriteBytes(dir / "Data/Calm.txt", "Breathe;1\r\nSkip;0\r\nSmile;1\r\n");
        WriteBytes(dir / "Data/Empty.txt", "Nothing;0\r\n");
        FrmMain::Options o;
        o.appFolder = dir.path();
        o.timers = clock.Factory();
        form = std::make_unique<FrmMain>(state, dialogs, std::move(o));
        setup = form->PanelOptions;
        setup->AddCategory({"Calm", true});
        setup->AddCategory({"Empty", false});
        setup->TxtMessageDuration->setText("100");
        setup->txtTimeBetweenMessages->setText("1");
    }

    void Type(QLineEdit* box, int key, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
        QApplication::sendEvent(box, &press);
    }

    std::vector<QWidget*> Settings() const {
        return {setup,         form->PanelAbout, form->PanelEditMessage, setup->PbViewScript,
                setup->PBFont, setup->PbColor};
    }

    TempDir dir;
    SharedState state;
    platform::ScriptedDialogs dialogs;
    FakeClock clock;
    std::unique_ptr<FrmMain> form;
    SetupPage* setup = nullptr;
};

TEST_F(FrmMainTest, LaidOutInPixelsFromTwips) {
    EXPECT_EQ(form->windowTitle(), "Orvessa");
    EXPECT_EQ(form->size(), QSize(569, 509));
    EXPECT_EQ(form->PbStart->geometry(), QRect(476, 48, 85, 30));
    EXPECT_EQ(setup->geometry(), QRect(11, 121, 540, 358));
    EXPECT_EQ(form->PanelEditMessage->geometry(), QRect(11, 121, 540, 359));
    EXPECT_EQ(form->PanelAbout->geometry(), QRect(12, 123, 540, 358));
    EXPECT_EQ(setup->ClbCategories->geometry(), QRect(29, 54, 219, 139));
    EXPECT_EQ(setup->TxtMessageDuration->geometry(), QRect(367, 55, 39, 19));
    EXPECT_EQ(setup->txtTimeBetweenMessages->geometry(), QRect(377, 128, 36, 19));
    EXPECT_EQ(setup->PbTest->geometry(), QRect(363, 269, 61, 21));
    EXPECT_EQ(setup->PbViewScript->geometry(), QRect(28, 231, 61, 21));
    EXPECT_EQ(setup->PbColor->geometry(), QRect(97, 231, 61, 21));
    EXPECT_EQ(setup->PBFont->geometry(), QRect(166, 231, 61, 21));
    EXPECT_EQ(qobject_cast<TimingBox*>(setup->TxtMessageDuration)->Limit(), 3);
    EXPECT_EQ(qobject_cast<TimingBox*>(setup->txtTimeBetweenMessages)->Limit(), 2);
    EXPECT_FALSE(setup->isHidden());
    EXPECT_TRUE(form->PanelEditMessage->isHidden());
    EXPECT_TRUE(form->PanelAbout->isHidden());
}

TEST_F(FrmMainTest, StartLocksExactlyTheSettingsAndStopUnlocksThem) {
    form->PbStart->click();
    ASSERT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(state.Idle);
    EXPECT_TRUE(state.RunWanted);
    for (QWidget* w : Settings()) {
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    }
    EXPECT_TRUE(form->PbStart->isEnabled());
    EXPECT_EQ(form->PbStart->PictureName(), "\\images\\stopbut.jpg");
    EXPECT_EQ(form->PbStart->text(), "Stop");  // no picture files: a plain labelled button
    ASSERT_TRUE(form->messagesform().IsLoaded());

    // The run list came from the ticked category's file, included lines only.
    EXPECT_EQ(state.runList.UBound(), 2);
    clock.Advance(1000);
    EXPECT_EQ(form->messagesform().Label1()->text(), "Breathe");
    clock.Advance(1100);
    EXPECT_EQ(form->messagesform().Label1()->text(), "Smile");

    form->PbStart->click();
    EXPECT_TRUE(state.Idle);
    EXPECT_FALSE(state.RunWanted);
    EXPECT_FALSE(form->messagesform().IsLoaded());
    for (QWidget* w : Settings()) {
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    }
    EXPECT_EQ(form->PbStart->PictureName(), "\\images\\startbut.jpg");
    EXPECT_EQ(form->PbStart->text(), "Start");
}

TEST_F(FrmMainTest, RefusalsShowTheirMessageWithTheTitleAndChangeNoFlag) {
    struct Case {
        QString duration, interval;
        bool tick;
        QString message;
    };
    const Case cases[] = {
        {"100", "75", true, "Please enter less than or equal to 60 seconds"},
        {"", "5", true, "Enter Message Duration"},
        {"100", "", true, "Enter Time Between Messages"},
        {"100", "5", false, "Select Veltrane Program"},
    };
    for (const Case& c : cases) {
        dialogs.shown.clear();
        setup->TxtMessageDuration->setText(c.duration);
        setup->txtTimeBetweenMessages->setText(c.interval);
        setup->ClbCategories->item(0)->setCheckState(c.tick ? Qt::Checked : Qt::Unchecked);
        form->PbStart->click();
        ASSERT_EQ(dialogs.shown.size(), 1u) << c.message.toStdString();
        EXPECT_EQ(dialogs.shown[0].prompt, c.message);
        EXPECT_EQ(dialogs.shown[0].title, "Veltrane");
        EXPECT_TRUE(state.Idle);
        EXPECT_FALSE(state.RunWanted);
        EXPECT_FALSE(form->messagesform().IsLoaded());
        EXPECT_TRUE(setup->isEnabled());
    }
    EXPECT_EQ(setup->txtTimeBetweenMessages->text(), "5");
}

TEST_F(FrmMainTest, CommittedTimingIsWrittenToTheOptionsFile) {
    setup->TxtMessageDuration->setText("0");
    setup->txtTimeBetweenMessages->setText("75");
    form->PbStart->click();  // refused: the interval box becomes 60
    EXPECT_EQ(ReadBytes(dir / "Images/SelectedOptions.txt"),
              FormatOptions(FlashOptions::Defaults()));
    EXPECT_EQ(setup->txtTimeBetweenMessages->text(), "60");
    form->PbStart->click();
    FlashOptions expected = FlashOptions::Defaults();
    expected.Msgduration = 1;
    expected.TimeBtnMsgs = 60;
    EXPECT_EQ(state.flashOptions, expected);
    EXPECT_EQ(ReadBytes(dir / "Images/SelectedOptions.txt"),
              "Color;16711680\r\nMsgduration;1\r\nTimeBtnMsgs;60\r\nMsgOption;Center\r\n"
              "SelFont;Arial\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;16\r\n");
    EXPECT_EQ(setup->TxtMessageDuration->text(), "0");
}

TEST_F(FrmMainTest, TickedCategoryWithoutIncludedMessagesShowsNothing) {
    setup->ClbCategories->item(0)->setCheckState(Qt::Unchecked);
    setup->ClbCategories->item(1)->setCheckState(Qt::Checked);
    form->PbStart->click();
    EXPECT_FALSE(form->messagesform().IsLoaded());
    EXPECT_EQ(form->PbStart->PictureName(), "\\images\\stopbut.jpg");
    EXPECT_FALSE(setup->isEnabled());
    form->PbStart->click();
    EXPECT_TRUE(setup->isEnabled());
    EXPECT_TRUE(state.Idle);
}

TEST_F(FrmMainTest, PreviewRunsInTheLabelAndStartStopsIt) {
    setup->PbTest->click();
    EXPECT_EQ(setup->PbTest->PictureName(), "\\images\\stopbut2.jpg");
    clock.Advance(1000);
    EXPECT_EQ(setup->LblWhite->text(), "Test");
    EXPECT_FALSE(setup->LblWhite->isHidden());
    EXPECT_EQ(setup->LblWhite->parentWidget(), setup->LblWhiteTemp);
    form->PbStart->click();
    EXPECT_EQ(setup->LblWhite->text(), "");
    EXPECT_EQ(setup->PbTest->PictureName(), "\\images\\Testbut.jpg");
    EXPECT_TRUE(form->Run().TestIdle());
    clock.Advance(5000);
    EXPECT_EQ(setup->LblWhite->text(), "");
}

TEST_F(FrmMainTest, TimingBoxesTakeDigitsAndBackspaceOnly) {
    for (QLineEdit* box : {setup->TxtMessageDuration, setup->txtTimeBetweenMessages}) {
        box->clear();
        box->setFocus();
        Type(box, Qt::Key_1, "1");
        Type(box, Qt::Key_A, "a");
        Type(box, Qt::Key_Minus, "-");
        Type(box, Qt::Key_Period, ".");
        Type(box, Qt::Key_Space, " ");
        Type(box, Qt::Key_2, "2");
        EXPECT_EQ(box->text(), "12");
        Type(box, Qt::Key_Backspace, "\b");
        EXPECT_EQ(box->text(), "1");
    }
    setup->TxtMessageDuration->setText("99");
    setup->TxtMessageDuration->end(false);
    Type(setup->TxtMessageDuration, Qt::Key_9, "9");
    Type(setup->TxtMessageDuration, Qt::Key_9, "9");
    EXPECT_EQ(setup->TxtMessageDuration->text(), "999");
}

TEST_F(FrmMainTest, PicturesAreFoundWithoutRegardToCaseAndAMissingOneKeepsTheOld) {
    QImage start(85, 30, QImage::Format_RGB32);
    start.fill(Qt::green);
    std::filesystem::create_directories(dir / "Images");
    ASSERT_TRUE(start.save(QString::fromStdString((dir / "Images/StartBut.JPG").string()), "JPG"));
    form->SetPicture(form->PbStart, "\\images\\startbut.jpg");
    EXPECT_TRUE(form->PbStart->HasPicture());
    // stopbut.jpg does not exist: the start picture stays, as a failed load leaves it.
    form->SetPicture(form->PbStart, "\\images\\stopbut.jpg");
    EXPECT_TRUE(form->PbStart->HasPicture());
    EXPECT_EQ(form->PbStart->PictureName(), "\\images\\stopbut.jpg");
}

TEST_F(FrmMainTest, ButtonsWithVariantsFindTheirHoverAndDisabledPictures) {
    QImage img(61, 21, QImage::Format_RGB32);
    img.fill(Qt::blue);
    std::filesystem::create_directories(dir / "Images");
    for (const char* name : {"Images/color.jpg", "Images/color_mouse.jpg", "Images/font.jpg",
                             "Images/Font_Disable.JPG"}) {
        ASSERT_TRUE(img.save(QString::fromStdString((dir / name).string()), "JPG"));
    }
    form->SetPicture(setup->PbColor, "\\Images\\color.jpg");
    form->SetPicture(setup->PBFont, "\\Images\\font.jpg");
    EXPECT_TRUE(setup->PbColor->HasHoverPicture());
    EXPECT_FALSE(setup->PbColor->HasDisabledPicture());
    EXPECT_FALSE(setup->PBFont->HasHoverPicture());
    EXPECT_TRUE(setup->PBFont->HasDisabledPicture());
    // The Start picture looks up no variants.
    img.save(QString::fromStdString((dir / "Images/startbut.jpg").string()), "JPG");
    img.save(QString::fromStdString((dir / "Images/startbut_mouse.jpg").string()), "JPG");
    form->SetPicture(form->PbStart, "\\images\\startbut.jpg");
    EXPECT_TRUE(form->PbStart->HasPicture());
    EXPECT_FALSE(form->PbStart->HasHoverPicture());
}

TEST_F(FrmMainTest, CategoryNamesKeepTheirBytes) {
    setup->ClbCategories->clear();
    setup->AddCategory({"Caf\xe9", true});
    EXPECT_EQ(setup->ClbCategories->item(0)->text(), QString::fromUtf8("Café"));
    EXPECT_EQ(setup->Categories(), (CategoryList{{"Caf\xe9", true}}));
}

}  // namespace
}  // namespace kestrane
