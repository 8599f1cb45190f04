#include "platform/win/popup_menu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include <vector>

#include "platform/win/window.h"

namespace platform::win {
namespace {

// Answers every menu with a fixed choice and keeps what it was shown.
class ScriptedHost final : public PopupMenuHost {
  public:
    UINT answer = 0;
    std::vector<PopupMenuItem> shown;
    POINT at;
    HWND owner = 0;
    bool sawTracking = false;
    UINT Track(const std::vector<PopupMenuItem>& items, POINT where, HWND ownerWindow) override {
        shown = items;
        at = where;
        owner = ownerWindow;
        sawTracking = IsPopupMenuTracking();
        return answer;
    }
};

std::vector<WPARAM> g_commands;
LRESULT CommandProc(HWND, UINT uMsg, WPARAM wParam, LPARAM) {
    if (uMsg == WM_COMMAND) {
        g_commands.push_back(wParam);
    }
    return 0;
}

class PopupMenuTest : public ::testing::Test {
  protected:
    void SetUp() override {
        owner_ = CreateWindowExA(0, "STATIC", "owner", 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
        menu_ = CreatePopupMenu();
        ASSERT_GT(menu_, 0);
        ASSERT_TRUE(AppendMenuA(menu_, MF_STRING, 1, "Show"));
        ASSERT_TRUE(AppendMenuA(menu_, MF_SEPARATOR, 2, "ignored"));
        ASSERT_TRUE(AppendMenuA(menu_, MF_CHECKED, 3, "Start"));
        ASSERT_TRUE(AppendMenuA(menu_, MF_DISABLED | MF_GRAYED, 4, "Stop"));
    }
    void TearDown() override {
        SetPopupMenuHost(nullptr);
        DestroyMenu(menu_);
        DestroyWindow(owner_);
    }
    HWND owner_ = 0;
    HMENU menu_ = 0;
};

TEST_F(PopupMenuTest, HostSeesTheEntriesAndItsChoiceIsReturned) {
    ScriptedHost host;
    host.answer = 3;
    SetPopupMenuHost(&host);
    EXPECT_EQ(TrackPopupMenuEx(menu_, TPM_RETURNCMD | TPM_RIGHTBUTTON, 10, 20, owner_, nullptr), 3);
    ASSERT_EQ(host.shown.size(), 4u);
    EXPECT_EQ(host.shown[1].flags, MF_SEPARATOR);
    EXPECT_EQ(host.shown[1].text, "");
    EXPECT_EQ(host.shown[2].text, "Start");
    EXPECT_EQ(host.shown[3].flags, MF_DISABLED | MF_GRAYED);
    EXPECT_EQ(host.at.x, 10);
    EXPECT_EQ(host.at.y, 20);
    EXPECT_EQ(host.owner, owner_);
    EXPECT_TRUE(host.sawTracking);
    EXPECT_FALSE(IsPopupMenuTracking());

    // Without TPM_RETURNCMD the choice is posted to the owner as WM_COMMAND.
    g_commands.clear();
    SetWindowLongA(owner_, GWL_WNDPROC, AddressOf(&CommandProc));
    host.answer = 1;
    EXPECT_EQ(TrackPopupMenuEx(menu_, TPM_RIGHTBUTTON, 0, 0, owner_, nullptr), TRUE);
    EXPECT_TRUE(g_commands.empty());
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(g_commands, std::vector<WPARAM>{1});
}

TEST_F(PopupMenuTest, RefusesWhatItCannotShow) {
    ScriptedHost host;
    SetPopupMenuHost(&host);
    EXPECT_FALSE(AppendMenuA(menu_, MF_POPUP, 9, "sub"));
    EXPECT_FALSE(AppendMenuA(12345, MF_STRING, 9, "x"));
    EXPECT_EQ(TrackPopupMenuEx(menu_, TPM_RETURNCMD, 0, 0, 12345, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    const HMENU gone = CreatePopupMenu();
    EXPECT_TRUE(DestroyMenu(gone));
    EXPECT_FALSE(DestroyMenu(gone));
    EXPECT_EQ(TrackPopupMenuEx(gone, TPM_RETURNCMD, 0, 0, owner_, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_MENU_HANDLE);
    EXPECT_TRUE(host.shown.empty());
}

// The real QMenu: once its event loop runs, click an entry (or press Escape) in it.
void AfterMenuOpens(std::function<void(QMenu*)> act) {
    QTimer::singleShot(0, [act] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        act(menu);
    });
}

TEST_F(PopupMenuTest, QMenuShowsTheEntriesAndReturnsTheClickedId) {
    std::vector<QString> texts;
    std::vector<bool> separators, enabled, checked;
    AfterMenuOpens([&](QMenu* menu) {
        for (QAction* a : menu->actions()) {
            texts.push_back(a->text());
            separators.push_back(a->isSeparator());
            enabled.push_back(a->isEnabled());
            checked.push_back(a->isChecked());
        }
        QAction* start = menu->actions().at(2);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(start).center());
    });
    EXPECT_EQ(TrackPopupMenuEx(menu_, TPM_RETURNCMD | TPM_RIGHTBUTTON, 5, 5, owner_, nullptr), 3);
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "Show");
    EXPECT_TRUE(separators[1]);
    EXPECT_EQ(texts[2], "Start");
    EXPECT_TRUE(checked[2]);
    EXPECT_EQ(texts[3], "Stop");
    EXPECT_FALSE(enabled[3]);
    EXPECT_TRUE(enabled[0]);

    AfterMenuOpens([](QMenu* menu) { QTest::keyClick(menu, Qt::Key_Escape); });
    EXPECT_EQ(TrackPopupMenuEx(menu_, TPM_RETURNCMD, 5, 5, owner_, nullptr), 0);
}

}  // namespace
}  // namespace platform::win
