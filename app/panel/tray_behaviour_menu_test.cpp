// The control panel with the real tray object: the library registered with regsvr in the
// test's own registry and created through the component object model at start-up. Presses on
// the icon are the shell's callback messages (SendEvent); the popup menu is answered by a
// host that records what it was asked to show.
#include "app/panel/tray_behaviour_fixture.h"

namespace kestrane::paneltest {
namespace {

TEST_F(TrayBehaviourTest, HideAndShowToggleTheEntriesAndKeepTheRunGoing) {
    Start("0\r\n", "Calm;1\r\nEmpty;0\r\n");
    form->PbStart->click();
    bool flashWhileOpen = true;
    menu.onOpen = [&] { flashWhileOpen = form->messagesform().IsLoaded(); };

    Choose("Hide");
    EXPECT_FALSE(flashWhileOpen);
    EXPECT_TRUE(form->isHidden());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_EQ(Enabled(u"Show"), true);
    EXPECT_EQ(Enabled(u"Hide"), false);
    EXPECT_TRUE(form->messagesform().IsLoaded());
    EXPECT_TRUE(state.RunWanted);

    // A window left maximised comes back as an ordinary one.
    form->setWindowState(Qt::WindowMaximized);
    flashWhileOpen = true;
    Choose("Show");
    EXPECT_EQ(menu.Offered(), "Show Hide(off) Start(off) Stop");
    EXPECT_FALSE(flashWhileOpen);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_FALSE(form->isMaximized());
    EXPECT_EQ(Enabled(u"Show"), false);
    EXPECT_EQ(Enabled(u"Hide"), true);
    EXPECT_TRUE(form->messagesform().IsLoaded());
    EXPECT_TRUE(state.RunWanted);
    EXPECT_FALSE(state.Idle);

    // Stopped, Hide and Show start nothing.
    Choose("Stop");
    Choose("Hide");
    Choose("Show");
    EXPECT_FALSE(form->messagesform().IsLoaded());
    EXPECT_FALSE(state.RunWanted);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(TrayBehaviourTest, StartCorrectsALongPauseAndRunsStopEndsTheRun) {
    Start("0\r\n", "Calm;1\r\nEmpty;0\r\n");
    setup->txtTimeBetweenMessages->setText(QStringLiteral("75"));
    Choose("Start");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt, "Please enter less than or equal to 60 seconds");
    EXPECT_EQ(dialogs.shown[0].title, "Veltrane");
    EXPECT_EQ(dialogs.shown[0].style, platform::MsgBoxStyle::OkOnly);
    EXPECT_EQ(setup->txtTimeBetweenMessages->text(), "60");
    EXPECT_TRUE(form->messagesform().IsLoaded());
    EXPECT_TRUE(state.RunWanted);
    EXPECT_FALSE(state.Idle);
    EXPECT_EQ(form->PbStart->PictureName(), "\\images\\stopbut.jpg");
    EXPECT_FALSE(setup->isEnabled());
    std::string expected = kDefaultOptions;
    expected.replace(expected.find("TimeBtnMsgs;1\r\n"), 15, "TimeBtnMsgs;60\r\n");
    EXPECT_EQ(File("Images/SelectedOptions.txt"), expected);

    Choose("Stop");
    EXPECT_FALSE(form->messagesform().IsLoaded());
    EXPECT_FALSE(state.RunWanted);
    EXPECT_TRUE(state.Idle);
    EXPECT_EQ(form->PbStart->PictureName(), "\\images\\startbut.jpg");
    EXPECT_TRUE(setup->isEnabled());
    EXPECT_EQ(dialogs.shown.size(), 1u);
    // The next press of the button starts again.
    form->PbStart->click();
    EXPECT_TRUE(form->messagesform().IsLoaded());
}

TEST_F(TrayBehaviourTest, StartRefusalsLeaveTheButtonOnItsStopPath) {
    Start("0\r\n", "Calm;0\r\nEmpty;0\r\n");
    struct Case {
        QString duration, pause;
        QStringList prompts;
    };
    const Case cases[] = {
        {"", "75", {"Enter Message Duration"}},
        {"100", "", {"Enter Time Between Messages"}},
        {"100", "75", {"Please enter less than or equal to 60 seconds", "No Messages Selected!"}},
        {"100", "5", {"No Messages Selected!"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prompts.join(" / ").toStdString());
        dialogs.shown.clear();
        state.Idle = true;
        setup->TxtMessageDuration->setText(c.duration);
        setup->txtTimeBetweenMessages->setText(c.pause);
        Choose("Start");
        EXPECT_EQ(dialogs.prompts(), c.prompts);
        EXPECT_FALSE(form->messagesform().IsLoaded());
        EXPECT_FALSE(state.RunWanted);
        EXPECT_FALSE(state.Idle);
        EXPECT_EQ(form->PbStart->PictureName(), "\\images\\startbut.jpg");
    }
    EXPECT_EQ(setup->txtTimeBetweenMessages->text(), "5");
    // Idle is false, so the button now stops (silently) rather than checking and starting.
    dialogs.shown.clear();
    form->PbStart->click();
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(state.Idle);
    EXPECT_FALSE(state.RunWanted);
    EXPECT_FALSE(form->messagesform().IsLoaded());
}

TEST_F(TrayBehaviourTest, KeysAreComparedExactly) {
    Start("0\r\n", "Calm;1\r\n");
    ComPtr<quorvil::_MenuItems> items;
    form->mobjSysTray().Object()->get_Menu(items.Put());
    ComPtr<quorvil::_MenuItem> start;
    ASSERT_EQ(items->get_Item(*platform::com::Variant::Text(u"start").get(), start.Put()),
              platform::com::S_OK);
    platform::com::Bstr upper(u"START");
    start->put_Key(upper.get());
    Choose("Start");
    EXPECT_EQ(menu.shown, 1);
    EXPECT_FALSE(form->messagesform().IsLoaded());
    EXPECT_TRUE(state.Idle);
    EXPECT_FALSE(state.RunWanted);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(TrayBehaviourTest, CloseTakesTheIconAwayAndFreesTheTrayObject) {
    Start("0\r\n", "Calm;1\r\n");
    ASSERT_NE(LibraryCanUnload(), platform::com::S_OK);
    form->close1_Click();
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(form->mobjSysTray().Exists());
    ASSERT_FALSE(area.calls.empty());
    EXPECT_EQ(area.calls.back().first, shell::NIM_DELETE);
    // The event connection ended first, so nothing keeps the object alive.
    EXPECT_EQ(LibraryCanUnload(), platform::com::S_OK);
    EXPECT_EQ(File("Images/SelectedOptions.txt"), kDefaultOptions);
}

}  // namespace
}  // namespace kestrane::paneltest
