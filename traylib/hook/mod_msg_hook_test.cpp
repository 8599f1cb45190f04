#include "traylib/hook/mod_msg_hook.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/window.h"

namespace quorvil {
namespace {

using namespace platform::win;

// Everything that happens to a test window, in order: "before", "prev", "after" entries.
std::vector<std::string> g_log;
LONG g_classProc = 0;

std::string Entry(const char* what, UINT uMsg) {
    return std::string(what) + ":" + std::to_string(uMsg);
}

// The window's procedure before the hook: logs and answers 9.
LRESULT PreviousProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    std::string entry = Entry("prev", uMsg);
    if (uMsg == WM_DESTROY) {
        // Whether the hook was still in place while the previous procedure saw the destroy.
        entry += GetWindowLongA(hWnd, GWL_WNDPROC) == AddressOf(&modMsgHook::HookWindowProc)
                     ? ":hooked"
                     : ":unhooked";
    }
    g_log.push_back(entry);
    CallWindowProcA(g_classProc, hWnd, uMsg, wParam, lParam);
    return 9;
}

class Recorder : public MsgHookEvents {
  public:
    std::int32_t setRet = 0;
    bool setCancel = false;
    std::function<void()> during;
    void BeforeMessage(std::int32_t, std::int32_t uMsg, std::int32_t, std::int32_t,
                       std::int32_t& RetValue, bool& Cancel) override {
        g_log.push_back(Entry("before", static_cast<UINT>(uMsg)) + ":" + std::to_string(RetValue) +
                        (Cancel ? ":cancel" : ""));
        if (setRet != 0) {
            RetValue = setRet;
        }
        if (setCancel) {
            Cancel = true;
        }
        if (during) {
            during();
        }
    }
    void AfterMessage(std::int32_t, std::int32_t uMsg, std::int32_t, std::int32_t) override {
        g_log.push_back(Entry("after", static_cast<UINT>(uMsg)));
    }
};

class HookTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_log.clear();
        window_ = NewWindow();
    }
    void TearDown() override {
        if (IsWindow(window_)) {
            DestroyWindow(window_);
        }
    }
    static HWND NewWindow() {
        const HWND h = CreateWindowExA(0, "STATIC", "w", 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
        g_classProc = SetWindowLongA(h, GWL_WNDPROC, AddressOf(&PreviousProc));
        return h;
    }
    HWND window_ = 0;
};

TEST_F(HookTest, TableKeysAndLife) {
    EXPECT_EQ(modMsgHook::HookKey(1234), "1234K");
    EXPECT_EQ(modMsgHook::HookKey(-7), "-7K");
    ASSERT_EQ(modMsgHook::HookTable(), nullptr);

    auto hook = std::make_shared<MsgHook>();
    hook->StartSubclass(0);
    EXPECT_EQ(hook->hWnd(), 0);
    EXPECT_EQ(modMsgHook::HookTable(), nullptr);

    hook->StartSubclass(window_);
    ASSERT_NE(modMsgHook::HookTable(), nullptr);
    EXPECT_EQ(modMsgHook::HookTable()->at(modMsgHook::HookKey(window_)),
              reinterpret_cast<std::uintptr_t>(hook.get()));
    EXPECT_EQ(hook->OldWindowProc(), AddressOf(&PreviousProc));
    EXPECT_EQ(GetWindowLongA(window_, GWL_WNDPROC), AddressOf(&modMsgHook::HookWindowProc));

    // A second window for the same hook changes nothing.
    const HWND other = NewWindow();
    hook->StartSubclass(other);
    EXPECT_EQ(hook->hWnd(), window_);
    EXPECT_EQ(modMsgHook::HookTable()->size(), 1u);
    EXPECT_EQ(GetWindowLongA(other, GWL_WNDPROC), AddressOf(&PreviousProc));

    // A second hook on another window shares the table; the table outlives the first leaver.
    auto second = std::make_shared<MsgHook>();
    second->StartSubclass(other);
    EXPECT_EQ(modMsgHook::HookTable()->size(), 2u);
    hook->StopSubclass();
    EXPECT_EQ(hook->hWnd(), 0);
    EXPECT_EQ(GetWindowLongA(window_, GWL_WNDPROC), AddressOf(&PreviousProc));
    ASSERT_NE(modMsgHook::HookTable(), nullptr);
    EXPECT_EQ(modMsgHook::HookTable()->count(modMsgHook::HookKey(window_)), 0u);
    hook->StopSubclass();  // idle: harmless

    // Destroying a hook stops its subclassing; the last entry takes the table with it.
    second.reset();
    EXPECT_EQ(GetWindowLongA(other, GWL_WNDPROC), AddressOf(&PreviousProc));
    EXPECT_EQ(modMsgHook::HookTable(), nullptr);

    hook->StartSubclass(window_);
    ASSERT_NE(modMsgHook::HookTable(), nullptr);
    EXPECT_EQ(modMsgHook::HookTable()->size(), 1u);
    hook.reset();
    EXPECT_EQ(modMsgHook::HookTable(), nullptr);
    DestroyWindow(other);
}

TEST_F(HookTest, MessagesPassBeforeAndAfterThePreviousProcedure) {
    Recorder recorder;
    auto hook = std::make_shared<MsgHook>();
    hook->SetEvents(&recorder);
    hook->StartSubclass(window_);

    EXPECT_EQ(SendMessageA(window_, WM_USER, 1, 2), 9);
    EXPECT_EQ(g_log, (std::vector<std::string>{"before:1024:0", "prev:1024", "after:1024"}));

    g_log.clear();
    recorder.setCancel = true;
    EXPECT_EQ(SendMessageA(window_, WM_USER, 0, 0), 0);
    EXPECT_EQ(g_log, (std::vector<std::string>{"before:1024:0", "after:1024"}));

    g_log.clear();
    recorder.setRet = 3;
    EXPECT_EQ(SendMessageA(window_, WM_USER, 0, 0), 3);

    // A nonzero result alone keeps the message from the previous procedure too.
    g_log.clear();
    recorder.setCancel = false;
    recorder.setRet = 5;
    EXPECT_EQ(SendMessageA(window_, WM_USER + 1, 0, 0), 5);
    EXPECT_EQ(g_log, (std::vector<std::string>{"before:1025:0", "after:1025"}));
    hook->SetEvents(nullptr);
}

TEST_F(HookTest, WindowDestroyedBySomeoneElse) {
    Recorder recorder;
    auto hook = std::make_shared<MsgHook>();
    hook->SetEvents(&recorder);
    hook->StartSubclass(window_);
    ASSERT_TRUE(DestroyWindow(window_));
    EXPECT_EQ(g_log, (std::vector<std::string>{"before:2:0", "prev:2:hooked", "after:2"}));
    EXPECT_EQ(hook->hWnd(), 0);
    EXPECT_EQ(modMsgHook::HookTable(), nullptr);
    hook->SetEvents(nullptr);
    hook.reset();  // nothing left to undo
}

TEST_F(HookTest, HookReleasedByItsHandlerLivesUntilTheMessageIsDone) {
    Recorder recorder;
    auto hook = std::make_shared<MsgHook>();
    std::weak_ptr<MsgHook> watch = hook;
    hook->SetEvents(&recorder);
    hook->StartSubclass(window_);
    recorder.during = [&] {
        hook->SetEvents(nullptr);
        hook.reset();
        g_log.push_back(watch.expired() ? "gone" : "alive");
    };
    EXPECT_EQ(SendMessageA(window_, WM_USER, 0, 0), 9);
    EXPECT_EQ(g_log, (std::vector<std::string>{"before:1024:0", "alive", "prev:1024"}));
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(GetWindowLongA(window_, GWL_WNDPROC), AddressOf(&PreviousProc));
    EXPECT_EQ(modMsgHook::HookTable(), nullptr);
}

TEST_F(HookTest, EachThreadHasItsOwnTable) {
    auto hook = std::make_shared<MsgHook>();
    hook->StartSubclass(window_);
    bool otherSawNoTable = false;
    bool otherHadOneEntry = false;
    std::thread other([&] {
        otherSawNoTable = modMsgHook::HookTable() == nullptr;
        const HWND h = CreateWindowExA(0, "STATIC", "x", 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
        auto theirs = std::make_shared<MsgHook>();
        theirs->StartSubclass(h);
        otherHadOneEntry =
            modMsgHook::HookTable() != nullptr && modMsgHook::HookTable()->size() == 1;
        theirs.reset();
        DestroyWindow(h);
    });
    other.join();
    EXPECT_TRUE(otherSawNoTable);
    EXPECT_TRUE(otherHadOneEntry);
    EXPECT_EQ(modMsgHook::HookTable()->size(), 1u);
}

}  // namespace
}  // namespace quorvil
