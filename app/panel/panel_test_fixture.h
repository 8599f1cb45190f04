// What the control panel's tests share: an application folder made for the case, a private
// registry and lock folder, dialogs answered by the test and a clock the test advances.
#pragma once

#include "app/flash/fake_clock.h"
#include "app/flash/shared_state.h"
#include "app/panel/frm_main.h"
#include "app/panel/picture_button.h"
#include "app/panel/setup_page.h"
#include "platform/dialogs/scripted_dialogs.h"
#include "platform/registry/registry.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <QListWidget>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace kestrane::paneltest {

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

class PanelTest : public ::testing::Test {
  protected:
    PanelTest()
        : config_("XDG_CONFIG_HOME", (home_.path() / "config").string()),
          runtime_("XDG_RUNTIME_DIR", home_.path().string()) {
        fs::create_directories(dir / "Images");
        WriteBytes(dir / "Data/Calm.txt", "Breathe;1\r\nSkip;0\r\nSmile;1\r\n");
        WriteBytes(dir / "Data/Empty.txt", "Nothing;0\r\n");
    }

    // A control panel on the folder, not yet loaded.
    std::unique_ptr<FrmMain> Make(const fs::path& folder) {
        FrmMain::Options o;
        o.appFolder = folder;
        o.timers = clock.Factory();
        o.createTray = false;
        o.endProcess = [this] { ++ended; };
        return std::make_unique<FrmMain>(state, dialogs, std::move(o));
    }

    // Makes the panel on dir and runs start-up.
    bool Load() {
        form = Make(dir.path());
        setup = form->PanelOptions;
        return form->Form_Load();
    }

    std::string File(const std::string& rel) const { return ReadBytes(dir / rel); }

    std::optional<std::string> RunValue() const {
        return platform::registry::GetValue(
            "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "MyVBApp1");
    }

    // Every file under a folder with its bytes.
    static std::map<std::string, std::string> Snapshot(const fs::path& folder) {
        std::map<std::string, std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(folder)) {
            out[e.path().string()] = e.is_regular_file() ? ReadBytes(e.path()) : "<dir>";
        }
        return out;
    }

    testsupport::TempDir dir;

  private:
    testsupport::TempDir home_;
    testsupport::ScopedEnv config_;
    testsupport::ScopedEnv runtime_;

  protected:
    SharedState state;
    platform::ScriptedDialogs dialogs;
    FakeClock clock;
    int ended = 0;
    std::unique_ptr<FrmMain> form;
    SetupPage* setup = nullptr;
};

inline const std::string kDefaultOptions =
    "Color;16711680\r\nMsgduration;100\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\n"
    "SelFont;Arial\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;16\r\n";

}  // namespace kestrane::paneltest
