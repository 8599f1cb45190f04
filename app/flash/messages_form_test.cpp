#include "app/flash/messages_form.h"

#include "app/flash/fake_clock.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QWidget>

#include <string>
#include <vector>

namespace kestrane {
namespace {

namespace pl = platform::layered;

void Fill(RunList& list, const std::vector<std::string>& texts) {
    for (size_t i = 0; i < texts.size(); ++i) {
        list.RedimPreserve(static_cast<int>(i) + 1);
        list.Set(static_cast<int>(i), texts[i]);
    }
}

class MessagesFormTest : public ::testing::Test {
  protected:
    MessagesFormTest() { state.flashOptions = FlashOptions::Defaults(); }

    // What is on screen: the label's text while a message is up, "" otherwise.
    std::string Shown() const {
        if (!form.IsLoaded() || !form.MsgShown()) {
            return "";
        }
        return form.Label1()->text().toStdString();
    }

    // The messages that come up while the clock runs for ms milliseconds, in order.
    std::vector<std::string> Collect(int ms) {
        std::vector<std::string> seen;
        for (int t = 0; t < ms; ++t) {
            const bool before = form.MsgShown();
            clock.Advance(1);
            if (!before && form.MsgShown()) {
                seen.push_back(Shown());
            }
        }
        return seen;
    }

    SharedState state;
    FakeClock clock;
    Rnd rnd;
    MessagesForm form{state, clock.Factory(), rnd};
};

TEST_F(MessagesFormTest, PauseThenMessageThenPauseAsSeenOnTheClock) {
    Fill(state.runList, {"alpha", "beta"});
    form.Show();
    ASSERT_TRUE(form.IsLoaded());
    EXPECT_TRUE(state.RunWanted);
    EXPECT_TRUE(form.Timer1()->Enabled());
    EXPECT_EQ(form.Timer1()->Interval(), 1000);

    clock.Advance(999);
    EXPECT_EQ(Shown(), "");
    clock.Advance(1);  // t = 1000
    EXPECT_EQ(Shown(), "alpha");
    EXPECT_EQ(form.Timer1()->Interval(), 100);
    clock.Advance(99);  // t = 1099
    EXPECT_EQ(Shown(), "alpha");
    clock.Advance(1);  // t = 1100
    EXPECT_EQ(Shown(), "");
    EXPECT_EQ(form.Label1()->text(), "");
    clock.Advance(999);  // t = 2099
    EXPECT_EQ(Shown(), "");
    clock.Advance(1);  // t = 2100
    EXPECT_EQ(Shown(), "beta");
}

TEST_F(MessagesFormTest, PhasesAlternateWhenBothIntervalsAreEqual) {
    Fill(state.runList, {"a", "b", "c"});
    state.flashOptions.Msgduration = 1000;
    form.Show();
    std::vector<bool> phases;
    for (int i = 0; i < 6; ++i) {
        clock.Advance(1000);
        phases.push_back(form.MsgShown());
    }
    EXPECT_EQ(phases, (std::vector<bool>{true, false, true, false, true, false}));
    EXPECT_EQ(form.MsgIndex(), 3);
}

TEST_F(MessagesFormTest, CyclesThroughTheListAndRoundAgain) {
    Fill(state.runList, {"one", "two", "three"});
    form.Show();
    EXPECT_EQ(Collect(5 * 1100), (std::vector<std::string>{"one", "two", "three", "one", "two"}));
}

TEST_F(MessagesFormTest, NewRunContinuesWhereTheLastOneStopped) {
    Fill(state.runList, {"one", "two", "three"});
    form.Show();
    EXPECT_EQ(Collect(2 * 1100), (std::vector<std::string>{"one", "two"}));
    form.Unload();
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_EQ(form.MsgIndex(), 2);

    form.Show();
    EXPECT_EQ(Collect(3 * 1100), (std::vector<std::string>{"three", "one", "two"}));
}

TEST_F(MessagesFormTest, ShorterListWrapsToItsFirstMessage) {
    Fill(state.runList, {"one", "two", "three"});
    form.Show();
    EXPECT_EQ(Collect(2 * 1100), (std::vector<std::string>{"one", "two"}));
    form.Unload();

    state.runList = RunList();
    Fill(state.runList, {"only"});
    form.Show();
    EXPECT_EQ(Collect(2 * 1100), (std::vector<std::string>{"only", "only"}));
}

TEST_F(MessagesFormTest, UnloadDuringAMessageStartsTheNextRunWithAPause) {
    Fill(state.runList, {"one", "two"});
    form.Show();
    clock.Advance(1000);
    ASSERT_TRUE(form.MsgShown());
    form.Unload();
    form.Show();
    EXPECT_FALSE(form.MsgShown());
    clock.Advance(999);
    EXPECT_EQ(Shown(), "");
    clock.Advance(1);
    EXPECT_EQ(Shown(), "two");
}

TEST_F(MessagesFormTest, ShowingALoadedFormKeepsTheCycleGoing) {
    Fill(state.runList, {"x", "y"});
    form.Show();
    clock.Advance(600);
    state.RunWanted = false;
    form.Show();  // no second load step: the pause keeps counting from the first load
    EXPECT_FALSE(state.RunWanted);
    clock.Advance(400);
    EXPECT_EQ(Shown(), "x");
}

TEST_F(MessagesFormTest, OptionsReadAtLoadAndAtEveryPhase) {
    Fill(state.runList, {"m"});
    FlashOptions& o = state.flashOptions;
    o.SelFont = "DejaVu Sans";
    o.SelFontBold = false;
    o.SelFontItalic = true;
    o.SelFontSize = 20;
    o.Color = "255";  // red
    form.Show();
    QLabel* label = form.Label1();
    EXPECT_EQ(label->font().family(), "DejaVu Sans");
    EXPECT_FALSE(label->font().bold());
    EXPECT_TRUE(label->font().italic());
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(255, 0, 0));

    // During the run: the size, the display time and the pause are read again; the colour
    // and the font name are not.
    o.SelFontSize = 30;
    o.Color = "65280";
    o.SelFont = "Arial";
    o.Msgduration = 250;
    o.TimeBtnMsgs = 2;
    clock.Advance(1000);
    EXPECT_EQ(label->font().pointSize(), 30);
    EXPECT_EQ(label->font().family(), "DejaVu Sans");
    EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(form.Timer1()->Interval(), 250);
    clock.Advance(250);
    EXPECT_FALSE(form.MsgShown());
    EXPECT_EQ(form.Timer1()->Interval(), 2000);

    // The next load takes the colour and font.
    form.Unload();
    form.Show();
    EXPECT_EQ(form.Label1()->palette().color(QPalette::WindowText), QColor(0, 255, 0));
}

TEST_F(MessagesFormTest, DesignFontAndColourStayWhenOptionsAreUnusable) {
    Fill(state.runList, {"m"});
    state.flashOptions.SelFont = "";
    state.flashOptions.Color = "not a colour";
    form.Show();
    EXPECT_EQ(form.Label1()->font().family(), "Arial");
    EXPECT_EQ(form.Label1()->palette().color(QPalette::WindowText), QColor(0, 0, 255));
}

TEST_F(MessagesFormTest, WindowIsLayeredClickThroughTopmostWithTheGreyKey) {
    Fill(state.runList, {"Visible"});
    form.Show();
    const pl::HWND h = form.hWnd();
    ASSERT_NE(h, 0);
    EXPECT_EQ(pl::GetWindowLongA(h, pl::GWL_EXSTYLE) & 0x80028, 0x80028);
    std::uint32_t key = 0, flags = 0;
    std::uint8_t alpha = 0;
    ASSERT_TRUE(pl::GetLayeredWindowAttributes(h, &key, &alpha, &flags));
    EXPECT_EQ(key, 0xC0C0C0u);
    EXPECT_EQ(alpha, 255);
    EXPECT_EQ(flags, 3u);

    QWidget* w = form.Window();
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->windowFlags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(w->testAttribute(Qt::WA_ShowWithoutActivating));

    // Nothing shows during the pause, the letters show during the message.
    EXPECT_TRUE(pl::VisibleRegion(h).isEmpty());
    clock.Advance(1000);
    const QRegion letters = pl::VisibleRegion(h);
    EXPECT_FALSE(letters.isEmpty());
    EXPECT_TRUE(QRect(QPoint(0, 0), w->size()).contains(letters.boundingRect()));
    // Letters, not their box: much of the window stays transparent.
    long area = 0;
    for (const QRect& r : letters) {
        area += static_cast<long>(r.width()) * r.height();
    }
    EXPECT_LT(area, static_cast<long>(w->width()) * w->height() * 3 / 4);
    clock.Advance(100);
    EXPECT_TRUE(pl::VisibleRegion(h).isEmpty());
}

TEST_F(MessagesFormTest, TextInTheKeyColourIsInvisible) {
    Fill(state.runList, {"Hidden text"});
    state.flashOptions.Color = std::to_string(0xC0C0C0);
    form.Show();
    clock.Advance(1000);
    ASSERT_TRUE(form.MsgShown());
    EXPECT_FALSE(form.Label1()->text().isEmpty());
    EXPECT_TRUE(pl::VisibleRegion(form.hWnd()).isEmpty());
}

TEST_F(MessagesFormTest, WindowTakesTheLabelSizeAndIsCentred) {
    Fill(state.runList, {"A centred message"});
    form.Show();
    clock.Advance(1000);
    QLabel* label = form.Label1();
    EXPECT_EQ(form.Width(), label->width() * 15);
    EXPECT_EQ(form.Height(), label->height() * 15);
    EXPECT_EQ(label->pos(), QPoint(2, -3));  // (30, -45) twips
    const QSize screen = MessagesForm::ScreenTwips();
    EXPECT_LE(std::abs(form.Left() - (screen.width() - form.Width()) / 2), 1);
    EXPECT_LE(std::abs(form.Top() - (screen.height() - form.Height()) / 2), 1);
    EXPECT_EQ(form.Window()->pos(), QPoint(qRound(form.Left() / 15.0), qRound(form.Top() / 15.0)));
}

TEST_F(MessagesFormTest, TopLeftAndUnknownWordsLeaveTheWindowWhereItIs) {
    Fill(state.runList, {"a", "bb"});
    state.flashOptions.MsgOption = "Middle";
    form.Show();
    clock.Advance(1000);
    EXPECT_EQ(form.Left(), 0);
    EXPECT_EQ(form.Top(), 0);
    state.flashOptions.MsgOption = "Top Right";
    clock.Advance(1100);
    const QSize screen = MessagesForm::ScreenTwips();
    EXPECT_EQ(form.Left(), screen.width() - form.Width());
    EXPECT_EQ(form.Top(), 0);
}

TEST_F(MessagesFormTest, EmptyMessageShowsNothingForItsDisplayTime) {
    Fill(state.runList, {""});
    form.Show();
    clock.Advance(1000);
    EXPECT_TRUE(form.MsgShown());
    EXPECT_TRUE(pl::VisibleRegion(form.hWnd()).isEmpty());
    clock.Advance(100);
    EXPECT_FALSE(form.MsgShown());
}

TEST_F(MessagesFormTest, MessageBytesThatAreNotUtf8ReadAsWindows1252) {
    Fill(state.runList, {"caf\xe9 \x80", "caf\xc3\xa9"});
    form.Show();
    clock.Advance(1000);
    EXPECT_EQ(form.Label1()->text(), QString::fromUtf8("café €"));
    clock.Advance(1100);
    EXPECT_EQ(form.Label1()->text(), QString::fromUtf8("café"));
}

}  // namespace
}  // namespace kestrane
