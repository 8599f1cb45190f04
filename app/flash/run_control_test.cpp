#include "app/flash/run_control.h"

#include "app/flash/fake_clock.h"
#include "platform/dialogs/scripted_dialogs.h"

#include <gtest/gtest.h>

#include <QLabel>

#include <string>
#include <vector>

namespace kestrane {
namespace {

class FakePanel : public RunPanel {
  public:
    QString duration = "100";
    QString interval = "1";
    CategoryList categories{{"Calm", true}, {"Work", false}};
    QString startPicture = kStartPicture;
    QString testPicture = kTestPicture;
    bool settingsEnabled = true;
    QLabel label;

    QString DurationText() const override { return duration; }
    QString IntervalText() const override { return interval; }
    void SetIntervalText(const QString& text) override { interval = text; }
    CategoryList Categories() const override { return categories; }
    void SetStartPicture(const QString& suffix) override { startPicture = suffix; }
    void SetTestPicture(const QString& suffix) override { testPicture = suffix; }
    void SetSettingsEnabled(bool enabled) override { settingsEnabled = enabled; }
    QLabel* LblWhite() override { return &label; }
};

class RunControlTest : public ::testing::Test {
  protected:
    RunControlTest() {
        state.flashOptions = FlashOptions::Defaults();
        messages = {"first", "second"};
    }

    RunControl::Deps Deps() {
        return RunControl::Deps{
            state,
            panel,
            dialogs,
            form,
            clock.Factory(),
            [this](const CategoryList& selection, RunList& list) -> std::int16_t {
                ++builds;
                builtFrom = selection;
                if (messages.empty()) {
                    return 1;
                }
                list = RunList();
                for (size_t i = 0; i < messages.size(); ++i) {
                    list.RedimPreserve(static_cast<int>(i) + 1);
                    list.Set(static_cast<int>(i), messages[i]);
                }
                return static_cast<std::int16_t>(messages.size() + 1);
            },
            [this] {
                ++saves;
                saved.push_back(state.flashOptions);
            },
            [this](bool raise) { priority.push_back(raise); }};
    }

    void ExpectStopped() {
        EXPECT_TRUE(state.Idle);
        EXPECT_FALSE(state.RunWanted);
        EXPECT_FALSE(form.IsLoaded());
        EXPECT_TRUE(panel.settingsEnabled);
        EXPECT_EQ(panel.startPicture, kStartPicture);
    }

    void ExpectRefused(const QString& message) {
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].prompt, message);
        EXPECT_EQ(dialogs.shown[0].title, "Veltrane");
        EXPECT_EQ(dialogs.shown[0].style, platform::MsgBoxStyle::OkOnly);
        ExpectStopped();
        EXPECT_EQ(builds, 0);
        EXPECT_EQ(saves, 0);
    }

    SharedState state;
    FakePanel panel;
    platform::ScriptedDialogs dialogs;
    FakeClock clock;
    Rnd rnd;
    MessagesForm form{state, clock.Factory(), rnd};
    std::vector<std::string> messages;
    int builds = 0;
    int saves = 0;
    std::vector<bool> priority;  // each request for the flash's scheduling
    CategoryList builtFrom;
    std::vector<FlashOptions> saved;
    RunControl rc{Deps()};
};

TEST_F(RunControlTest, StartThenStop) {
    rc.PbStart_Click();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_FALSE(state.Idle);
    EXPECT_TRUE(state.RunWanted);
    EXPECT_EQ(panel.startPicture, kStopPicture);
    EXPECT_FALSE(panel.settingsEnabled);
    EXPECT_EQ(builds, 1);
    EXPECT_EQ(builtFrom, panel.categories);
    EXPECT_TRUE(form.IsLoaded());
    EXPECT_EQ(saves, 2);  // both boxes committed
    clock.Advance(1000);
    EXPECT_EQ(form.Label1()->text(), "first");

    rc.PbStart_Click();
    ExpectStopped();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(priority, (std::vector<bool>{true, false}));  // raised while the run went
}

TEST_F(RunControlTest, IntervalAboveSixtyIsRefusedAndCorrected) {
    panel.interval = "75";
    rc.PbStart_Click();
    ExpectRefused("Please enter less than or equal to 60 seconds");
    EXPECT_EQ(panel.interval, "60");
    EXPECT_EQ(state.flashOptions.TimeBtnMsgs, 1);

    rc.PbStart_Click();
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_FALSE(state.Idle);
    EXPECT_EQ(state.flashOptions.TimeBtnMsgs, 60);
    EXPECT_EQ(form.Timer1()->Interval(), 60000);
    EXPECT_EQ(saved.back().TimeBtnMsgs, 60);
}

TEST_F(RunControlTest, IntervalOfSixtyIsAccepted) {
    panel.interval = "60";
    rc.PbStart_Click();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(state.RunWanted);
}

TEST_F(RunControlTest, IntervalThatIsNotANumberIsRefusedFirst) {
    panel.interval = "x";
    panel.duration = "";
    rc.PbStart_Click();
    ExpectRefused("Please enter less than or equal to 60 seconds");
    EXPECT_EQ(panel.interval, "60");
}

TEST_F(RunControlTest, EmptyDurationIsRefused) {
    panel.duration = "";
    panel.interval = "";
    rc.PbStart_Click();
    ExpectRefused("Enter Message Duration");
}

TEST_F(RunControlTest, EmptyIntervalIsRefused) {
    panel.interval = "";
    rc.PbStart_Click();
    ExpectRefused("Enter Time Between Messages");
}

TEST_F(RunControlTest, NoTickedCategoryIsRefused) {
    panel.categories = {{"Calm", false}, {"Work", false}};
    rc.PbStart_Click();
    ExpectRefused("Select Veltrane Program");
    panel.categories = {};
    dialogs.shown.clear();
    rc.PbStart_Click();
    ExpectRefused("Select Veltrane Program");
}

TEST_F(RunControlTest, ZeroDurationRunsWithOneMillisecond) {
    panel.duration = "0";
    rc.PbStart_Click();
    EXPECT_EQ(state.flashOptions.Msgduration, 1);
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(saved.front().Msgduration, 1);
    EXPECT_EQ(panel.duration, "0");
    clock.Advance(1000);
    EXPECT_EQ(form.Timer1()->Interval(), 1);
}

TEST_F(RunControlTest, ZeroIntervalRunsWithOneSecond) {
    panel.interval = "0";
    rc.PbStart_Click();
    EXPECT_EQ(state.flashOptions.TimeBtnMsgs, 1);
    EXPECT_EQ(panel.interval, "0");
}

TEST_F(RunControlTest, NegativeValuesBecomeOne) {
    // The boxes take digits only, but an options file can put a sign into them.
    panel.duration = "-5";
    panel.interval = "-3";
    rc.PbStart_Click();
    EXPECT_EQ(state.flashOptions.Msgduration, 1);
    EXPECT_EQ(state.flashOptions.TimeBtnMsgs, 1);
}

TEST_F(RunControlTest, NothingToFlashStillLocksUntilStop) {
    messages.clear();
    rc.PbStart_Click();
    EXPECT_EQ(builds, 1);
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_EQ(panel.startPicture, kStopPicture);
    EXPECT_FALSE(panel.settingsEnabled);
    EXPECT_FALSE(state.Idle);
    EXPECT_TRUE(state.RunWanted);
    EXPECT_TRUE(priority.empty());  // nothing flashes, nothing to keep on time
    rc.PbStart_Click();
    ExpectStopped();
}

TEST_F(RunControlTest, StopRunAloneLeavesRunWantedAsTheCallerSetIt) {
    state.RunWanted = true;
    rc.StopRun();
    EXPECT_TRUE(state.RunWanted);
    EXPECT_FALSE(form.IsLoaded());  // not loaded just to be closed
    EXPECT_TRUE(panel.settingsEnabled);
}

TEST_F(RunControlTest, StartRunWhileRunningRebuildsWithoutReloading) {
    rc.PbStart_Click();
    clock.Advance(1000);
    ASSERT_EQ(form.Label1()->text(), "first");
    state.RunWanted = false;
    messages = {"new one", "new two"};
    rc.StartRun();
    EXPECT_EQ(builds, 2);
    EXPECT_FALSE(state.RunWanted);  // no second load step
    EXPECT_TRUE(form.MsgShown());   // the cycle goes on
    clock.Advance(100 + 1000);
    EXPECT_EQ(form.Label1()->text(), "new two");
}

TEST_F(RunControlTest, LockedSessionShowsNothingAndHoldsThePause) {
    const auto up = [this] { return form.MsgShown() && !form.Label1()->text().isEmpty(); };
    rc.PbStart_Click();
    clock.Advance(600);
    rc.Quiet(true);  // 400 ms of the first pause left
    clock.Advance(5000);
    EXPECT_EQ(form.MsgIndex(), 0) << "a message was shown while locked";
    EXPECT_TRUE(state.RunWanted);  // still running for the panel and the tray
    EXPECT_FALSE(state.Idle);
    EXPECT_TRUE(form.IsLoaded());
    rc.Quiet(false);
    clock.Advance(399);
    EXPECT_FALSE(up()) << "flashed at the unlock, before its pause was over";
    clock.Advance(1);
    EXPECT_EQ(form.Label1()->text(), "first");

    clock.Advance(50);
    rc.Quiet(true);  // a message that is up goes at once
    EXPECT_FALSE(up());
    EXPECT_EQ(form.Label1()->text(), "");
    clock.Advance(5000);
    EXPECT_EQ(form.MsgIndex(), 1);
    rc.Quiet(false);  // then a whole pause
    clock.Advance(999);
    EXPECT_FALSE(up());
    clock.Advance(1);
    EXPECT_EQ(form.Label1()->text(), "second");

    // A run started (or restarted after a stop) while locked waits for the unlock, then
    // for its whole pause.
    rc.PbStart_Click();
    rc.Quiet(true);
    rc.PbStart_Click();
    EXPECT_TRUE(form.IsLoaded());
    clock.Advance(5000);
    EXPECT_EQ(form.MsgIndex(), 2);
    rc.Quiet(false);
    clock.Advance(999);
    EXPECT_FALSE(up());
    clock.Advance(1);
    EXPECT_EQ(form.Label1()->text(), "first");
}

TEST_F(RunControlTest, TestTwiceStartsAndStopsThePreview) {
    rc.PbTest_Click();
    EXPECT_FALSE(rc.TestIdle());
    EXPECT_EQ(panel.testPicture, kStopTestPicture);
    EXPECT_EQ(panel.label.text(), "Test");
    EXPECT_TRUE(panel.label.isHidden());
    EXPECT_TRUE(rc.PreviewTimer()->Enabled());
    EXPECT_EQ(saves, 2);

    rc.PbTest_Click();
    EXPECT_TRUE(rc.TestIdle());
    EXPECT_EQ(panel.testPicture, kTestPicture);
    EXPECT_EQ(panel.label.text(), "");
    EXPECT_FALSE(rc.PreviewTimer()->Enabled());
    ExpectStopped();
}

TEST_F(RunControlTest, PreviewCycleBeginsWithAPause) {
    state.flashOptions.Color = "255";
    panel.duration = "200";
    panel.interval = "2";
    rc.PbTest_Click();
    EXPECT_EQ(panel.label.palette().color(QPalette::WindowText), QColor(255, 0, 0));
    clock.Advance(1999);
    EXPECT_FALSE(rc.TestShown());
    clock.Advance(1);
    EXPECT_TRUE(rc.TestShown());
    EXPECT_FALSE(panel.label.isHidden());
    EXPECT_EQ(panel.label.text(), "Test");
    clock.Advance(199);
    EXPECT_EQ(panel.label.text(), "Test");
    clock.Advance(1);
    EXPECT_EQ(panel.label.text(), "");
    clock.Advance(2000);
    EXPECT_EQ(panel.label.text(), "Test");
}

TEST_F(RunControlTest, PreviewCapsTheSizeAndKeepsThePanelTypeface) {
    QFont panelFont("DejaVu Sans");
    panelFont.setPointSize(9);
    panel.label.setFont(panelFont);
    state.flashOptions.SelFontSize = 36;
    state.flashOptions.SelFont = "Courier";
    state.flashOptions.SelFontItalic = true;
    rc.PbTest_Click();
    EXPECT_EQ(panel.label.font().pointSize(), 26);
    EXPECT_EQ(panel.label.font().family(), "DejaVu Sans");
    EXPECT_TRUE(panel.label.font().italic());
    EXPECT_TRUE(panel.label.font().bold());

    rc.PbTest_Click();
    rc.PbStart_Click();
    clock.Advance(1000);
    EXPECT_EQ(form.Label1()->font().pointSize(), 36);
}

TEST_F(RunControlTest, StartStopsARunningPreview) {
    rc.PbTest_Click();
    clock.Advance(1000);
    ASSERT_EQ(panel.label.text(), "Test");
    rc.PbStart_Click();
    EXPECT_TRUE(rc.TestIdle());
    EXPECT_EQ(panel.testPicture, kTestPicture);
    EXPECT_EQ(panel.label.text(), "");
    EXPECT_FALSE(rc.PreviewTimer()->Enabled());
    EXPECT_TRUE(form.IsLoaded());
}

TEST_F(RunControlTest, PreviewAndRunSideBySide) {
    panel.duration = "300";
    rc.PbStart_Click();
    clock.Advance(500);
    rc.PbTest_Click();  // preview pause counts from t = 500
    const auto testUp = [this] { return !panel.label.isHidden() && !panel.label.text().isEmpty(); };
    std::vector<std::pair<bool, bool>> seen;  // (message up, "Test" up) at 1000, 1400, 1600
    clock.Advance(500);
    seen.emplace_back(form.MsgShown(), testUp());
    clock.Advance(400);
    seen.emplace_back(form.MsgShown(), testUp());
    clock.Advance(200);
    seen.emplace_back(form.MsgShown(), testUp());
    EXPECT_EQ(seen,
              (std::vector<std::pair<bool, bool>>{{true, false}, {false, false}, {false, true}}));
    clock.Advance(200);  // t = 1800: the preview's display time of 300 ms is over
    EXPECT_EQ(panel.label.text(), "");
    EXPECT_TRUE(form.IsLoaded());
}

TEST(DigitsOnly, LetsDigitsAndBackspaceThrough) {
    for (int c = '0'; c <= '9'; ++c) {
        EXPECT_EQ(DigitsOnly(c), c);
    }
    EXPECT_EQ(DigitsOnly(8), 8);
    for (int c :
         std::initializer_list<int>{'a', 'Z', ' ', '-', '.', '+', '/', ':', 13, 22, 127, 0xE9}) {
        EXPECT_EQ(DigitsOnly(c), 0) << c;
    }
}

}  // namespace
}  // namespace kestrane
