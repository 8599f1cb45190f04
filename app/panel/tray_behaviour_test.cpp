// The control panel with the real tray object: the library registered with regsvr in the
// test's own registry and created through the component object model at start-up. Presses on
// the icon are the shell's callback messages (SendEvent); the popup menu is answered by a
// host that records what it was asked to show.
#include "app/panel/panel_test_fixture.h"

#include "platform/shell/notify_icon.h"
#include "platform/win/popup_menu.h"

#include <QLineEdit>
#include <QPixmap>

#include <dlfcn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <functional>

namespace kestrane::paneltest {
namespace {

namespace win = platform::win;
namespace shell = platform::shell;
using platform::com::ComPtr;
using platform::com::LONG;

// Answers every menu with the entry of a given caption (none when empty) and keeps what it
// was asked to show.
class MenuHost final : public win::PopupMenuHost {
  public:
    std::string choose;
    int shown = 0;
    std::vector<win::PopupMenuItem> items;
    std::function<void()> onOpen;  // runs while the menu is open

    win::UINT Track(const std::vector<win::PopupMenuItem>& entries, win::POINT,
                    win::HWND) override {
        ++shown;
        items = entries;
        if (onOpen) {
            onOpen();
        }
        for (const auto& e : entries) {
            if (e.text == choose && (e.flags & (win::MF_GRAYED | win::MF_DISABLED)) == 0) {
                return e.id;
            }
        }
        return 0;
    }

    // The entries as "caption" or "caption(off)" for a greyed one, in menu order.
    std::string Offered() const {
        std::string out;
        for (const auto& e : items) {
            out += (out.empty() ? "" : " ") + e.text +
                   ((e.flags & win::MF_GRAYED) != 0 ? "(off)" : "");
        }
        return out;
    }
};

class NotifyLog final : public shell::NotifyArea {
  public:
    std::vector<std::pair<shell::DWORD, shell::NOTIFYICONDATAA>> calls;
    shell::BOOL Notify(shell::DWORD message, const shell::NOTIFYICONDATAA& data) override {
        calls.emplace_back(message, data);
        return 1;
    }
};

// DllCanUnloadNow of the loaded tray library: S_OK once none of its objects is alive.
platform::com::HRESULT LibraryCanUnload() {
    void* handle = dlopen(KESTRANE_QUORVIL_MODULE, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) {
        return platform::com::S_OK;
    }
    auto entry =
        reinterpret_cast<platform::com::DllCanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
    const platform::com::HRESULT hr = entry ? entry() : platform::com::E_FAIL;
    dlclose(handle);
    return hr;
}

class TrayBehaviourTest : public PanelTest {
  protected:
    TrayBehaviourTest() {
        previousHost_ = win::SetPopupMenuHost(&menu);
        previousArea_ = shell::SetNotifyArea(&area);
    }
    ~TrayBehaviourTest() override {
        form.reset();
        win::SetPopupMenuHost(previousHost_);
        shell::SetNotifyArea(previousArea_);
    }

    void SetUp() override {
        const std::string command = std::string("\"") + KESTRANE_REGSVR + "\" -s \"" +
                                    KESTRANE_QUORVIL_MODULE + "\" >/dev/null 2>&1";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    void TearDown() override {
        form.reset();
        EXPECT_EQ(LibraryCanUnload(), platform::com::S_OK) << "a tray object is still alive";
    }

    // Start-up with the tray object, the autostart flag and the selection given; the tray
    // picture is there unless trayPicture is false.
    void Start(const std::string& autostart, const std::string& selection,
               bool trayPicture = true) {
        if (trayPicture) {
            QPixmap picture(16, 16);
            picture.fill(Qt::magenta);
            ASSERT_TRUE(picture.save(QString::fromStdString((dir / "Images/tray.png").string())));
        }
        WriteBytes(dir / "Images/AutoStart.txt", autostart);
        WriteBytes(dir / "Images/SelectedPrograms.txt", selection);
        FrmMain::Options o;
        o.appFolder = dir.path();
        o.timers = clock.Factory();
        o.endProcess = [this] { ++ended; };
        form = std::make_unique<FrmMain>(state, dialogs, std::move(o));
        setup = form->PanelOptions;
        ASSERT_TRUE(form->Form_Load());
        ASSERT_TRUE(form->mobjSysTray().Exists());
    }

    // A press on the icon as the shell reports it (left button down by default).
    void Press(LONG mouseMessage = 513) { form->mobjSysTray().Object()->SendEvent(mouseMessage); }
    void Choose(const std::string& caption) {
        menu.choose = caption;
        Press();
    }

    std::optional<bool> Enabled(std::u16string_view key) const {
        return form->mobjSysTray().MenuEnabled(key);
    }

    MenuHost menu;
    NotifyLog area;

  private:
    win::PopupMenuHost* previousHost_ = nullptr;
    shell::NotifyArea* previousArea_ = nullptr;
};

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
