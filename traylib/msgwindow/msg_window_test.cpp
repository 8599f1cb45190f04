#include "traylib/msgwindow/msg_window.h"

#include <gtest/gtest.h>

#include <cctype>
#include <vector>

#include "platform/win/window.h"
#include "traylib/hook/mod_msg_hook.h"

namespace quorvil {
namespace {

using namespace platform::win;

class Receiver : public MsgWindowEvents {
  public:
    std::vector<std::int32_t> before, after;
    std::int32_t setRet = 0;
    bool setCancel = false;
    void BeforeMessage(std::int32_t, std::int32_t uMsg, std::int32_t, std::int32_t,
                       std::int32_t& RetValue, bool& Cancel) override {
        before.push_back(uMsg);
        RetValue = setRet;
        Cancel = setCancel;
    }
    void AfterMessage(std::int32_t, std::int32_t uMsg, std::int32_t, std::int32_t) override {
        after.push_back(uMsg);
    }
};

TEST(NewGuidStringTest, BytesInMemoryOrder) {
    const unsigned char bytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(modGeneral::GuidBytesToString(bytes), "{01020304-0506-0708-090A-0B0C0D0E0F10}");
    const unsigned char high[16] = {0xAB, 0xFF, 0, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0F};
    EXPECT_EQ(modGeneral::GuidBytesToString(high), "{ABFF0010-0000-0000-0000-00000000000F}");

    const std::string a = modGeneral::NewGuidString();
    const std::string b = modGeneral::NewGuidString();
    EXPECT_NE(a, b);
    for (const std::string& g : {a, b}) {
        ASSERT_EQ(g.size(), 38u);
        EXPECT_EQ(g.front(), '{');
        EXPECT_EQ(g.back(), '}');
        for (std::size_t i = 1; i < 37; ++i) {
            if (i == 9 || i == 14 || i == 19 || i == 24) {
                EXPECT_EQ(g[i], '-') << g;
            } else {
                EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(g[i])) ||
                            (g[i] >= 'A' && g[i] <= 'F'))
                    << g;
            }
        }
    }
}

TEST(MsgWindowTest, HiddenStaticWindowTitledWithAGuidAndSubclassed) {
    auto first = std::make_unique<MsgWindow>();
    MsgWindow second;
    const HWND h = first->hWnd();
    ASSERT_GT(h, 0);
    ASSERT_GT(second.hWnd(), 0);
    EXPECT_NE(h, second.hWnd());
    EXPECT_NE(first->WindowName(), second.WindowName());
    EXPECT_EQ(first->WindowName().size(), 38u);

    EXPECT_EQ(FindWindowExA(0, 0, "STATIC", first->WindowName().c_str()), h);
    EXPECT_EQ(GetWindowLongA(h, GWL_STYLE), 0);
    EXPECT_EQ(GetWindowLongA(h, GWL_EXSTYLE), 0);
    EXPECT_EQ(GetWindowLongA(h, GWL_WNDPROC), AddressOf(&modMsgHook::HookWindowProc));
    EXPECT_EQ(GetWindowLongA(second.hWnd(), GWL_WNDPROC), AddressOf(&modMsgHook::HookWindowProc));
    ASSERT_NE(modMsgHook::HookTable(), nullptr);
    EXPECT_EQ(modMsgHook::HookTable()->size(), 2u);

    // Destruction unhooks before the window goes: the destroy message never reaches the
    // events, and only the other window's entry stays.
    Receiver receiver;
    first->SetEvents(&receiver);
    first.reset();
    EXPECT_FALSE(IsWindow(h));
    EXPECT_TRUE(receiver.before.empty());
    EXPECT_TRUE(receiver.after.empty());
    ASSERT_NE(modMsgHook::HookTable(), nullptr);
    EXPECT_EQ(modMsgHook::HookTable()->size(), 1u);
    EXPECT_EQ(modMsgHook::HookTable()->count(modMsgHook::HookKey(second.hWnd())), 1u);
}

TEST(MsgWindowTest, EventsPassThroughWithResultAndCancel) {
    MsgWindow window;
    Receiver receiver;
    window.SetEvents(&receiver);
    receiver.setRet = 7;
    EXPECT_EQ(SendMessageA(window.hWnd(), WM_USER + 5, 0, 0), 7);
    receiver.setRet = 0;
    receiver.setCancel = true;
    EXPECT_EQ(SendMessageA(window.hWnd(), WM_GETTEXTLENGTH, 0, 0), 0);
    receiver.setCancel = false;
    // Not cancelled: the STATIC procedure answers with the title's length.
    EXPECT_EQ(SendMessageA(window.hWnd(), WM_GETTEXTLENGTH, 0, 0), 38);
    const std::vector<std::int32_t> expected = {WM_USER + 5, WM_GETTEXTLENGTH, WM_GETTEXTLENGTH};
    EXPECT_EQ(receiver.before, expected);
    EXPECT_EQ(receiver.after, expected);
    window.SetEvents(nullptr);
}

TEST(MsgWindowTest, WindowDestroyedElsewhereLeavesAHarmlessObject) {
    auto window = std::make_unique<MsgWindow>();
    const HWND h = window->hWnd();
    ASSERT_TRUE(DestroyWindow(h));
    EXPECT_EQ(modMsgHook::HookTable(), nullptr);
    window.reset();  // the hook is idle and the window is gone: nothing left to undo
    EXPECT_FALSE(IsWindow(h));
}

}  // namespace
}  // namespace quorvil
