#include "app/store/autostart.h"

#include "platform/dialogs/scripted_dialogs.h"
#include "platform/registry/registry.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace kestrane {
namespace {

constexpr char kRunKey[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Check1 as the control panel drives it: a change from code runs its click behaviour.
class FakeCheck1 : public AutoStartCheckBox {
  public:
    FakeCheck1(const fs::path& app, const CategoryList& selection, platform::Dialogs& dialogs)
        : app_(app), selection_(selection), dialogs_(dialogs) {}

    bool IsTicked() const override { return ticked; }
    void SetTicked(bool t) override {
        if (t == ticked) {
            return;
        }
        ticked = t;
        ++clicks;
        SetAutoStart(app_, *this, selection_, dialogs_);
    }
    // A user's click.
    void Click() { SetTicked(!ticked); }

    bool ticked = true;  // the box starts ticked when the window is created
    int clicks = 0;

  private:
    fs::path app_;
    const CategoryList& selection_;
    platform::Dialogs& dialogs_;
};

class AutoStartTest : public ::testing::Test {
  protected:
    AutoStartTest() : env_("XDG_CONFIG_HOME", (config / "").string()) {
        fs::create_directories(app.path() / "My Apps" / "Images");
    }
    fs::path App() const { return app.path() / "My Apps"; }
    fs::path FlagFile() const { return App() / "Images" / "AutoStart.txt"; }
    std::optional<std::string> RunValue() const {
        return platform::registry::GetValue(kRunKey, "MyVBApp1");
    }

    TempDir app;
    TempDir config;
    platform::ScriptedDialogs dialogs;
    CategoryList selection;

  private:
    ScopedEnv env_;
};

TEST_F(AutoStartTest, TickingWithATickedCategoryWritesFlagAndRunValue) {
    WriteBytes(FlagFile(), "0\r\n");
    selection = {{"A", true}, {"B", true}};
    FakeCheck1 check1(App(), selection, dialogs);
    check1.ticked = false;
    check1.Click();
    EXPECT_TRUE(check1.ticked);
    EXPECT_EQ(ReadBytes(FlagFile()), "1\r\n");
    // The folder with its space, unquoted, followed by the fixed executable name.
    EXPECT_EQ(RunValue(), App().string() + "\\kestrane.exe");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(fs::exists(platform::registry::AutostartFolder() / "MyVBApp1.desktop"));

    check1.Click();
    EXPECT_EQ(ReadBytes(FlagFile()), "0\r\n");
    EXPECT_EQ(RunValue(), "");
}

TEST_F(AutoStartTest, TickingWithNoCategoryTickedShowsTheMessageAndEndsOff) {
    WriteBytes(FlagFile(), "0\r\n");
    selection = {{"A", false}};
    FakeCheck1 check1(App(), selection, dialogs);
    check1.ticked = false;
    check1.Click();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].prompt, "Select Veltrane Program");
    EXPECT_EQ(dialogs.shown[0].title, "Veltrane");
    EXPECT_EQ(dialogs.shown[0].style, platform::MsgBoxStyle::OkOnly);
    EXPECT_FALSE(check1.ticked);
    EXPECT_EQ(check1.clicks, 2);  // the user's click and the clearing from code
    EXPECT_EQ(ReadBytes(FlagFile()), "0\r\n");
    EXPECT_EQ(RunValue(), "");
}

TEST_F(AutoStartTest, ApplyReadsTheFirstLineOfTheFlagFile) {
    struct Case {
        std::string flag;
        bool on;
    };
    for (const Case& c : std::vector<Case>{{"1\r\n", true},
                                           {"", true},
                                           {"yes\r\n", true},
                                           {" 01\r\n0\r\n", true},
                                           {"1", true},
                                           {"0\r\n", false},
                                           {"2\r\n", false},
                                           {"\r\n1\r\n", true},
                                           {"0\n1\n", false},
                                           {"\xEF\xBB\xBF"
                                            "0\r\n",
                                            false},
                                           {"\xEF\xBB\xBF"
                                            "1\r\n",
                                            true}}) {
        WriteBytes(FlagFile(), c.flag);
        platform::registry::RegWrite(std::string(kRunKey) + "\\MyVBApp1", "stale", "REG_SZ");
        selection = {};  // start-up's ticks play no part here
        FakeCheck1 check1(App(), selection, dialogs);
        ApplyAutoStart(App(), check1);
        EXPECT_EQ(check1.ticked, c.on) << c.flag;
        EXPECT_TRUE(dialogs.shown.empty()) << c.flag;
        if (c.on) {
            EXPECT_EQ(check1.clicks, 0) << c.flag;
            EXPECT_EQ(RunValue(), App().string() + "\\kestrane.exe") << c.flag;
            EXPECT_EQ(ReadBytes(FlagFile()), c.flag) << "the flag file is not rewritten";
        } else {
            EXPECT_EQ(check1.clicks, 1) << c.flag;
            EXPECT_EQ(RunValue(), "") << c.flag;
            EXPECT_EQ(ReadBytes(FlagFile()), "0\r\n") << c.flag;
        }
    }
}

TEST_F(AutoStartTest, WithoutAFlagFileOnlyTheRunValueFollowsTheBox) {
    selection = {{"A", true}};
    FakeCheck1 check1(App(), selection, dialogs);
    ApplyAutoStart(App(), check1);
    EXPECT_TRUE(check1.ticked);
    EXPECT_FALSE(RunValue().has_value());  // not touched at start-up

    check1.Click();
    EXPECT_EQ(RunValue(), "");
    check1.Click();
    EXPECT_EQ(RunValue(), App().string() + "\\kestrane.exe");
    EXPECT_FALSE(fs::exists(FlagFile()));  // never created
}

TEST_F(AutoStartTest, AReadOnlyFlagFileIsLeftAloneAndTheRunValueStillWritten) {
    WriteBytes(FlagFile(), "1\r\n");
    fs::permissions(FlagFile(), fs::perms::owner_read);
    selection = {{"A", true}};
    FakeCheck1 check1(App(), selection, dialogs);
    check1.Click();
    EXPECT_FALSE(check1.ticked);
    EXPECT_EQ(ReadBytes(FlagFile()), "1\r\n");
    EXPECT_EQ(RunValue(), "");
}

}  // namespace
}  // namespace kestrane
