// The control panel with the real tray object, for the tray's tests.
#pragma once
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
inline platform::com::HRESULT LibraryCanUnload() {
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

}  // namespace kestrane::paneltest
