#include "platform/shell/notify_icon.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QSystemTrayIcon>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win/icon.h"
#include "platform/win/popup_menu.h"
#include "platform/win/window.h"

namespace platform::shell {
namespace {

using namespace platform::win;

constexpr UINT kCallback = 1125;

struct Received {
    UINT uMsg;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Received&) const = default;
};
std::vector<Received> g_received;
bool g_deleteOnFirst = false;

NOTIFYICONDATAA Record(HWND owner, UINT flags, HICON icon, const std::string& tip) {
    NOTIFYICONDATAA data;
    std::memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = 3;
    data.uFlags = flags;
    data.uCallbackMessage = kCallback;
    data.hIcon = icon;
    std::memcpy(data.szTip, tip.data(), std::min(tip.size(), sizeof data.szTip));
    return data;
}

LRESULT OwnerProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == kCallback) {
        g_received.push_back({uMsg, wParam, lParam});
        if (g_deleteOnFirst) {
            NOTIFYICONDATAA data = Record(hWnd, 0, 0, "");
            Shell_NotifyIconA(NIM_DELETE, &data);
        }
    }
    return 0;
}

class RecordingArea final : public NotifyArea {
  public:
    std::vector<std::pair<DWORD, std::string>> calls;
    BOOL Notify(DWORD message, const NOTIFYICONDATAA& data) override {
        calls.emplace_back(message, std::string(reinterpret_cast<const char*>(&data), sizeof data));
        return TRUE;
    }
};

class NotifyIconTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_received.clear();
        g_deleteOnFirst = false;
        owner_ = CreateWindowExA(0, "STATIC", "owner", 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
        SetWindowLongA(owner_, GWL_WNDPROC, AddressOf(&OwnerProc));
    }
    void TearDown() override {
        NOTIFYICONDATAA data = Record(owner_, 0, 0, "");
        Shell_NotifyIconA(NIM_DELETE, &data);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        DestroyWindow(owner_);
    }
    HWND owner_ = 0;
};

TEST_F(NotifyIconTest, OnlyTheEightyEightByteRecordPasses) {
    RecordingArea area;
    SetNotifyArea(&area);
    NOTIFYICONDATAA data = Record(owner_, NIF_MESSAGE | NIF_ICON | NIF_TIP, 77, "tip");
    EXPECT_TRUE(Shell_NotifyIconA(NIM_ADD, &data));
    data.cbSize = 504;  // a later, longer version of the record
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &data));
    data.cbSize = 88;
    EXPECT_FALSE(Shell_NotifyIconA(7, &data));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, nullptr));
    SetNotifyArea(nullptr);
    ASSERT_EQ(area.calls.size(), 1u);
    EXPECT_EQ(area.calls[0].first, NIM_ADD);
    const std::string& bytes = area.calls[0].second;
    ASSERT_EQ(bytes.size(), 88u);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x58\0\0\0", 4));
    EXPECT_EQ(bytes.substr(12, 4), std::string("\x07\0\0\0", 4));
    EXPECT_EQ(bytes.substr(16, 4), std::string("\x65\x04\0\0", 4));
    EXPECT_EQ(bytes.substr(20, 4), std::string("\x4d\0\0\0", 4));
    EXPECT_EQ(bytes.substr(24, 4), std::string("tip\0", 4));
}

TEST_F(NotifyIconTest, QtIconFollowsAddModifyDelete) {
    QPixmap red(16, 16);
    red.fill(Qt::red);
    const HICON icon = CreateIconFromQIcon(QIcon(red));
    NOTIFYICONDATAA data = Record(owner_, NIF_MESSAGE | NIF_ICON | NIF_TIP, icon, "Hello");
    Shell_NotifyIconA(NIM_ADD, &data);  // FALSE offscreen: there is no tray host
    QSystemTrayIcon* tray = TrayIconFor(owner_, 3);
    ASSERT_NE(tray, nullptr);
    EXPECT_EQ(tray->toolTip(), "Hello");
    EXPECT_EQ(tray->icon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));
    EXPECT_EQ(tray->contextMenu(), nullptr);
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &data));  // already there

    // A full 64-byte tip without its NUL; the icon is not part of this call.
    const std::string tip64(64, 'x');
    NOTIFYICONDATAA tipOnly = Record(owner_, NIF_TIP, 0, tip64);
    EXPECT_TRUE(Shell_NotifyIconA(NIM_MODIFY, &tipOnly));
    EXPECT_EQ(tray->toolTip(), QString(64, 'x'));
    EXPECT_EQ(tray->icon().pixmap(16, 16).toImage().pixelColor(8, 8), QColor(Qt::red));

    EXPECT_TRUE(Shell_NotifyIconA(NIM_DELETE, &data));
    EXPECT_EQ(TrayIconFor(owner_, 3), nullptr);
    EXPECT_FALSE(Shell_NotifyIconA(NIM_MODIFY, &data));
    EXPECT_FALSE(Shell_NotifyIconA(NIM_DELETE, &data));
    DestroyIcon(icon);

    // No owner window, no icon.
    NOTIFYICONDATAA orphan = Record(987654, NIF_TIP, 0, "x");
    EXPECT_FALSE(Shell_NotifyIconA(NIM_ADD, &orphan));
    EXPECT_EQ(TrayIconFor(987654, 3), nullptr);
}

TEST_F(NotifyIconTest, ClicksArriveAsCallbackMessages) {
    NOTIFYICONDATAA data = Record(owner_, NIF_MESSAGE | NIF_TIP, 0, "");
    Shell_NotifyIconA(NIM_ADD, &data);
    QSystemTrayIcon* tray = TrayIconFor(owner_, 3);
    ASSERT_NE(tray, nullptr);
    emit tray->activated(QSystemTrayIcon::Trigger);
    emit tray->activated(QSystemTrayIcon::Context);
    emit tray->activated(QSystemTrayIcon::DoubleClick);
    const std::vector<Received> expected = {{kCallback, 3, WM_LBUTTONDOWN},
                                            {kCallback, 3, WM_LBUTTONUP},
                                            {kCallback, 3, WM_RBUTTONDOWN},
                                            {kCallback, 3, WM_RBUTTONUP},
                                            {kCallback, 3, WM_LBUTTONDBLCLK}};
    EXPECT_EQ(g_received, expected);
}

// A menu host that clicks the icon again while its menu is open.
class ClickingHost final : public PopupMenuHost {
  public:
    QSystemTrayIcon* tray = nullptr;
    UINT Track(const std::vector<PopupMenuItem>&, POINT, HWND) override {
        emit tray->activated(QSystemTrayIcon::DoubleClick);
        return 0;
    }
};

TEST_F(NotifyIconTest, ClicksWhileAMenuIsOpenAreDropped) {
    NOTIFYICONDATAA data = Record(owner_, NIF_MESSAGE, 0, "");
    Shell_NotifyIconA(NIM_ADD, &data);
    ClickingHost host;
    host.tray = TrayIconFor(owner_, 3);
    ASSERT_NE(host.tray, nullptr);
    SetPopupMenuHost(&host);
    const HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, 1, "a");
    TrackPopupMenuEx(menu, TPM_RETURNCMD, 0, 0, owner_, nullptr);
    DestroyMenu(menu);
    SetPopupMenuHost(nullptr);
    EXPECT_TRUE(g_received.empty());
}

TEST_F(NotifyIconTest, IconRemovedByItsOwnClickHandler) {
    NOTIFYICONDATAA data = Record(owner_, NIF_MESSAGE, 0, "");
    Shell_NotifyIconA(NIM_ADD, &data);
    QPointer<QSystemTrayIcon> tray = TrayIconFor(owner_, 3);
    g_deleteOnFirst = true;
    emit tray->activated(QSystemTrayIcon::Trigger);
    // The press arrived; the release did not, since the icon was gone by then.
    EXPECT_EQ(g_received, (std::vector<Received>{{kCallback, 3, WM_LBUTTONDOWN}}));
    EXPECT_EQ(TrayIconFor(owner_, 3), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(tray.isNull());
}

}  // namespace
}  // namespace platform::shell
