#include "traylib/systray/sys_tray_fixture.h"

namespace quorvil::systray_test {
namespace {

TEST_F(SysTrayTest, ShowMenuBuildsTheMenuAndReportsTheChoiceBeforeReturning) {
    Connect();
    Show();
    menuHost_.log = &sink_.log;
    ASSERT_EQ(tray_->ShowMenu(), S_OK);  // empty: nothing shown, nothing raised
    EXPECT_EQ(menuHost_.shown, 0);

    ComPtr<_MenuItems> menu = Menu();
    AddEntry(menu.get(), u"Show");
    AddEntry(menu.get(), u"-");
    AddEntry(menu.get(), u"Start", false, true);
    AddEntry(menu.get(), u"Stop", true, true);
    menuHost_.answer = 3;
    ASSERT_EQ(tray_->ShowMenu(), S_OK);
    sink_.log.push_back("returned");
    EXPECT_EQ(sink_.log, (std::vector<std::string>{"menu", "MenuClick:Start", "returned"}));
    ASSERT_EQ(menuHost_.items.size(), 4u);
    const std::vector<win::UINT> flags = {menuHost_.items[0].flags, menuHost_.items[1].flags,
                                          menuHost_.items[2].flags, menuHost_.items[3].flags};
    EXPECT_EQ(flags, (std::vector<win::UINT>{0, 0x800, 3, 8}));
    for (win::UINT i = 0; i < 4; ++i) {
        EXPECT_EQ(menuHost_.items[i].id, i + 1);
    }
    EXPECT_EQ(menuHost_.items[0].text, "Show");
    EXPECT_EQ(menuHost_.items[1].text, "");
    EXPECT_EQ(menuHost_.items[2].text, "Start");
    EXPECT_EQ(menuHost_.owner, window_);

    // Closed without a choice: nothing raised.
    sink_.log.clear();
    menuHost_.answer = 0;
    tray_->ShowMenu();
    EXPECT_EQ(sink_.log, std::vector<std::string>{"menu"});
}

TEST_F(SysTrayTest, ReleasingTheObjectTakesIconAndWindowAway) {
    Show();
    ASSERT_NE(modMsgHook::HookTable(), nullptr);
    tray_.Reset();
    ASSERT_EQ(area_.calls.size(), 2u);
    EXPECT_EQ(area_.calls[1].message, shell::NIM_DELETE);
    EXPECT_FALSE(win::IsWindow(window_));
    EXPECT_EQ(modMsgHook::HookTable(), nullptr);
}

TEST_F(SysTrayTest, ClientReleasingTheObjectFromItsHandler) {
    Connect();
    Show();
    sink_.onEvent = [this](DISPID) {
        Disconnect();
        tray_.Reset();
    };
    EXPECT_EQ(win::SendMessageA(window_, 1125, 0, 513), 0);
    EXPECT_EQ(sink_.log, std::vector<std::string>{"MouseDown:1"});
    EXPECT_FALSE(win::IsWindow(window_));
    EXPECT_EQ(area_.calls.back().message, shell::NIM_DELETE);
}

// The real notification area and the real QMenu, offscreen.
TEST(SysTrayQtTest, ClickOnTheQtIconOpensTheMenuAndReportsTheChoice) {
    ComPtr<_SysTray> tray;
    ASSERT_EQ(SysTray::Create(IID__SysTray, tray.PutVoid()), S_OK);
    Sink sink;
    ComPtr<IConnectionPointContainer> container;
    tray.As(IID_IConnectionPointContainer, &container);
    ComPtr<IConnectionPoint> point;
    container->FindConnectionPoint(DIID___SysTray, point.Put());
    DWORD cookie = 0;
    point->Advise(&sink, &cookie);

    std::vector<LONG> handles;
    ComPtr<IImageList> list = NewImageList(&handles);
    tray->putref_ImageList(list.get());
    tray->put_Icon(*Variant::Long(1).get());
    tray->put_ToolTipText(Bstr(u"Veltrane").get());
    ComPtr<_MenuItems> menu;
    tray->get_Menu(menu.Put());
    AddEntry(menu.get(), u"Show");
    AddEntry(menu.get(), u"-");
    AddEntry(menu.get(), u"Start");
    tray->put_Visible(VARIANT_TRUE);

    // The hidden window is the icon's owner; find it by its GUID title.
    const win::HWND owner = win::FindWindowExA(0, 0, "STATIC", nullptr);
    QSystemTrayIcon* icon = nullptr;
    for (win::HWND h = owner; h != 0 && icon == nullptr;
         h = win::FindWindowExA(0, h, "STATIC", nullptr)) {
        icon = shell::TrayIconFor(h, 0);
    }
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->toolTip(), "Veltrane");
    EXPECT_EQ(icon->icon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));
    EXPECT_EQ(icon->contextMenu(), nullptr);

    sink.onEvent = [&](DISPID id) {
        if (id != DISPID_SysTrayEvents_MouseDown) {
            return;
        }
        QTimer::singleShot(0, [] {
            auto* shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(shown, nullptr);
            QAction* start = shown->actions().at(2);
            QTest::mouseClick(shown, Qt::LeftButton, {}, shown->actionGeometry(start).center());
        });
        tray->ShowMenu();
    };
    emit icon->activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(sink.log, (std::vector<std::string>{"MouseDown:1", "MenuClick:Start", "MouseUp:1"}));

    sink.onEvent = nullptr;
    point->Unadvise(cookie);
    point.Reset();
    container.Reset();
    tray.Reset();
    EXPECT_EQ(shell::TrayIconFor(owner, 0), nullptr);
}

}  // namespace
}  // namespace quorvil::systray_test
