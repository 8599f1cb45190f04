// The control panel with the real tray object: the library registered with regsvr in the
// test's own registry and created through the component object model at start-up. Presses on
// the icon are the shell's callback messages (SendEvent); the popup menu is answered by a
// host that records what it was asked to show.
#include "app/panel/tray_behaviour_fixture.h"

namespace kestrane::paneltest {
namespace {

TEST_F(TrayBehaviourTest, StartUpPutsTheIconAndItsFourEntriesUp) {
    Start("0\r\n", "Calm;1\r\nEmpty;0\r\n");
    quorvil::_SysTray* tray = form->mobjSysTray().Object();

    platform::com::Variant icon;
    ASSERT_EQ(tray->get_Icon(icon.Put()), platform::com::S_OK);
    EXPECT_EQ(icon->vt, platform::com::VT_I2);
    EXPECT_EQ(icon->iVal, 1);
    platform::com::VARIANT_BOOL flag = 0;
    tray->get_Visible(&flag);
    EXPECT_EQ(flag, platform::com::VARIANT_TRUE);
    tray->get_EnableMenu(&flag);
    EXPECT_EQ(flag, platform::com::VARIANT_TRUE);
    // The icon went up once, with the picture of the image list.
    ASSERT_EQ(area.calls.size(), 1u);
    EXPECT_EQ(area.calls[0].first, shell::NIM_ADD);
    EXPECT_NE(area.calls[0].second.hIcon, 0u);

    ComPtr<quorvil::_MenuItems> items;
    ASSERT_EQ(tray->get_Menu(items.Put()), platform::com::S_OK);
    LONG count = 0;
    items->get_Count(&count);
    ASSERT_EQ(count, 4);
    const char16_t* const names[] = {u"Show", u"Hide", u"Start", u"Stop"};
    for (LONG i = 1; i <= 4; ++i) {
        ComPtr<quorvil::_MenuItem> item;
        ASSERT_EQ(items->get_Item(*platform::com::Variant::Long(i).get(), item.Put()),
                  platform::com::S_OK);
        platform::com::Bstr caption, key;
        item->get_Caption(caption.Put());
        item->get_Key(key.Put());
        EXPECT_EQ(caption.Text(), names[i - 1]);
        EXPECT_EQ(key.Text(), names[i - 1]);
        LONG data = -1;
        item->get_ItemData(&data);
        EXPECT_EQ(data, 0);
        item->get_Checked(&flag);
        EXPECT_EQ(flag, platform::com::VARIANT_FALSE);
    }
    // Autostart clear: the window is up as an ordinary window, "Show" greyed, stopped.
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_FALSE(form->isMaximized());
    EXPECT_EQ(Enabled(u"Show"), false);
    EXPECT_EQ(Enabled(u"Hide"), true);
    EXPECT_EQ(Enabled(u"Start"), true);
    EXPECT_EQ(Enabled(u"Stop"), false);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(TrayBehaviourTest, WithoutTheTrayPictureTheRestOfTheTrayStillComesUp) {
    Start("0\r\n", "Calm;1\r\n", false);
    platform::com::Variant icon;
    form->mobjSysTray().Object()->get_Icon(icon.Put());
    EXPECT_EQ(icon->vt, platform::com::VT_EMPTY);
    EXPECT_TRUE(form->mobjSysTray().IconShown());
    EXPECT_EQ(form->mobjSysTray().MenuCount(), 4);
    EXPECT_EQ(Enabled(u"Show"), false);
    EXPECT_EQ(Enabled(u"Stop"), false);
    EXPECT_TRUE(form->isVisible());
}

TEST_F(TrayBehaviourTest, AutostartWithCategoriesGoesToTheTrayRunning) {
    Start("1\r\n", "Calm;1\r\nEmpty;0\r\n");
    // Hidden, not minimised: the tray icon brings it back.
    EXPECT_TRUE(form->isHidden());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_TRUE(form->messagesform().IsLoaded());
    EXPECT_TRUE(state.RunWanted);
    EXPECT_FALSE(state.Idle);
    EXPECT_EQ(Enabled(u"Show"), true);
    EXPECT_EQ(Enabled(u"Hide"), false);
    EXPECT_EQ(Enabled(u"Start"), false);
    EXPECT_EQ(Enabled(u"Stop"), true);

    // Nothing listed: the window comes up stopped; the tray menu keeps Stop offered.
    form.reset();
    state = SharedState();
    Start("1\r\n", "");
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_FALSE(form->messagesform().IsLoaded());
    EXPECT_EQ(form->PbStart->PictureName(), "\\images\\startbut.jpg");
    EXPECT_EQ(Enabled(u"Show"), false);
    EXPECT_EQ(Enabled(u"Hide"), true);
    EXPECT_EQ(Enabled(u"Start"), false);
    EXPECT_EQ(Enabled(u"Stop"), true);
}

TEST_F(TrayBehaviourTest, WithoutATrayHostHidingMinimisesInstead) {
    // The Qt notification area of the offscreen platform: no tray host shows the icon.
    shell::SetNotifyArea(nullptr);
    Start("1\r\n", "Calm;1\r\n");
    EXPECT_TRUE(form->mobjSysTray().IconShown());
    EXPECT_TRUE(form->isMinimized());
    EXPECT_TRUE(form->messagesform().IsLoaded());
    EXPECT_TRUE(state.RunWanted);
    form->hide1_Click();
    EXPECT_TRUE(form->isMinimized());
}

TEST_F(TrayBehaviourTest, ThePressOffersStartOrStopByTheRunAndClosesTheFlashWindow) {
    Start("0\r\n", "Calm;1\r\nEmpty;0\r\n");
    // Stopped: either button opens the menu with Start offered and Stop greyed.
    for (const LONG press : {513, 516}) {
        SCOPED_TRACE(press);
        menu.items.clear();
        Press(press);
        EXPECT_EQ(menu.Offered(), "Show(off) Hide Start Stop(off)");
    }
    EXPECT_EQ(menu.shown, 2);
    // Releases, double clicks and moves open nothing.
    for (const LONG other : {512, 514, 515, 517, 518}) {
        Press(other);
    }
    EXPECT_EQ(menu.shown, 2);
    EXPECT_FALSE(form->messagesform().IsLoaded());

    // Running: the flash window is gone while the menu is open, and Stop is offered.
    form->PbStart->click();
    ASSERT_TRUE(form->messagesform().IsLoaded());
    bool flashWhileOpen = true;
    menu.onOpen = [&] { flashWhileOpen = form->messagesform().IsLoaded(); };
    Press(516);
    EXPECT_FALSE(flashWhileOpen);
    EXPECT_EQ(menu.Offered(), "Show(off) Hide Start(off) Stop");
    // Closed without a choice: the run goes on as before.
    EXPECT_TRUE(form->messagesform().IsLoaded());
    EXPECT_TRUE(state.RunWanted);
    EXPECT_FALSE(state.Idle);
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
}  // namespace kestrane::paneltest
