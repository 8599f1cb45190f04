#include "platform/win/window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/win/ansi_text.h"
#include "platform/win/handles.h"
#include "platform/win/icon.h"

namespace platform::win {
namespace {

struct Call {
    HWND hWnd;
    UINT uMsg;
    WPARAM wParam;
    LPARAM lParam;
    bool stillAWindow;
    std::thread::id thread;
    bool operator==(const Call& o) const {
        return hWnd == o.hWnd && uMsg == o.uMsg && wParam == o.wParam && lParam == o.lParam;
    }
};

std::vector<Call> g_calls;
LONG g_previous = 0;
bool g_destroyAgainInDestroy = false;
BOOL g_nestedDestroyResult = -1;

LRESULT RecordingProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    g_calls.push_back(
        {hWnd, uMsg, wParam, lParam, IsWindow(hWnd) != FALSE, std::this_thread::get_id()});
    if (uMsg == WM_DESTROY && g_destroyAgainInDestroy) {
        g_nestedDestroyResult = DestroyWindow(hWnd);
    }
    if (uMsg == WM_USER + 1) {
        return 42;
    }
    return g_previous != 0 ? CallWindowProcA(g_previous, hWnd, uMsg, wParam, lParam) : 0;
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_calls.clear();
        g_previous = 0;
        g_destroyAgainInDestroy = false;
        g_nestedDestroyResult = -1;
    }
    static HWND NewStatic(const char* caption = "t") {
        return CreateWindowExA(0, "STATIC", caption, 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
    }
};

TEST_F(WindowTest, HandlesArePositiveTaggedAndNeverReused) {
    const HWND a = NewStatic();
    const HWND b = CreateWindowExA(0, "static", "t", 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(HandleSpace::KindOf(a), static_cast<int>(HandleKind::Window));
    ASSERT_TRUE(DestroyWindow(a));
    const HWND c = NewStatic();
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
    EXPECT_FALSE(IsWindow(a));
    EXPECT_EQ(SendMessageA(a, WM_USER + 1, 0, 0), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
    DestroyWindow(b);
    DestroyWindow(c);

    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "t", 0, 0, 0, 0, 0, 0, 0, 0, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_CANNOT_FIND_WND_CLASS);
}

TEST_F(WindowTest, WindowProcedureSurvivesALongRoundTrip) {
    const HWND h = NewStatic("caption");
    const LONG staticProc = GetWindowLongA(h, GWL_WNDPROC);
    EXPECT_EQ(staticProc, AddressOf(&DefWindowProcA));
    const LONG mine = AddressOf(&RecordingProc);
    ASSERT_GT(mine, 0);
    EXPECT_EQ(AddressOf(&RecordingProc), mine);
    EXPECT_EQ(ProcedureFromLong(mine), &RecordingProc);

    g_previous = SetWindowLongA(h, GWL_WNDPROC, mine);
    EXPECT_EQ(g_previous, staticProc);
    EXPECT_EQ(GetWindowLongA(h, GWL_WNDPROC), mine);

    EXPECT_EQ(SendMessageA(h, WM_USER + 1, 7, -9), 42);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0], (Call{h, WM_USER + 1, 7, -9, true, {}}));
    // The previous (class) procedure answers the caption length through CallWindowProcA.
    EXPECT_EQ(SendMessageA(h, WM_GETTEXTLENGTH, 0, 0), 7);

    // A value that names no procedure is refused and the window keeps its procedure.
    EXPECT_EQ(SetWindowLongA(h, GWL_WNDPROC, 12345), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetWindowLongA(h, GWL_WNDPROC), mine);
    EXPECT_EQ(CallWindowProcA(12345, h, WM_USER + 1, 0, 0), 0);

    EXPECT_EQ(SetWindowLongA(h, GWL_WNDPROC, g_previous), mine);
    g_calls.clear();
    EXPECT_EQ(SendMessageA(h, WM_USER + 1, 0, 0), 0);
    EXPECT_TRUE(g_calls.empty());

    EXPECT_EQ(SetWindowLongA(h, GWL_USERDATA, 77), 0);
    EXPECT_EQ(GetWindowLongA(h, GWL_USERDATA), 77);
    DestroyWindow(h);
    EXPECT_EQ(SetWindowLongA(h, GWL_WNDPROC, mine), 0);
    EXPECT_EQ(GetWindowLongA(h, GWL_WNDPROC), 0);
}

TEST_F(WindowTest, ClassProcedureAppliesToLaterWindows) {
    const HWND before = NewStatic();
    const LONG defaultProc = SetClassLongA(before, GCL_WNDPROC, AddressOf(&RecordingProc));
    EXPECT_EQ(defaultProc, AddressOf(&DefWindowProcA));
    const HWND after = NewStatic();
    EXPECT_EQ(SetClassLongA(after, GCL_WNDPROC, defaultProc), AddressOf(&RecordingProc));
    EXPECT_EQ(GetWindowLongA(before, GWL_WNDPROC), defaultProc);
    EXPECT_EQ(GetWindowLongA(after, GWL_WNDPROC), AddressOf(&RecordingProc));
    ASSERT_EQ(g_calls.size(), 1u);  // WM_CREATE of the later window
    EXPECT_EQ(g_calls[0].uMsg, WM_CREATE);
    EXPECT_EQ(SetClassLongA(after, GCL_WNDPROC, 12345), 0);
    EXPECT_EQ(SetClassLongA(after, GWL_WNDPROC, defaultProc), 0);
    DestroyWindow(before);
    DestroyWindow(after);
}

TEST_F(WindowTest, DestroySendsWmDestroyToTheCurrentProcedureOnce) {
    const HWND h = NewStatic();
    g_previous = SetWindowLongA(h, GWL_WNDPROC, AddressOf(&RecordingProc));
    g_destroyAgainInDestroy = true;
    EXPECT_TRUE(DestroyWindow(h));
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].uMsg, WM_DESTROY);
    EXPECT_TRUE(g_calls[0].stillAWindow);  // the handle is freed only after WM_DESTROY
    EXPECT_EQ(g_nestedDestroyResult, FALSE);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_FALSE(DestroyWindow(h));
    EXPECT_EQ(g_calls.size(), 1u);
}

TEST_F(WindowTest, PostedMessagesWaitForTheEventLoopAndDieWithTheWindow) {
    const HWND h = NewStatic();
    const HWND gone = NewStatic();
    SetWindowLongA(h, GWL_WNDPROC, AddressOf(&RecordingProc));
    SetWindowLongA(gone, GWL_WNDPROC, AddressOf(&RecordingProc));
    EXPECT_TRUE(PostMessageA(h, WM_USER + 2, 1, 2));
    EXPECT_TRUE(PostMessageA(gone, WM_USER + 3, 0, 0));
    EXPECT_TRUE(g_calls.empty());
    SetWindowLongA(gone, GWL_WNDPROC, AddressOf(&DefWindowProcA));
    DestroyWindow(gone);
    QCoreApplication::sendPostedEvents();
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0], (Call{h, WM_USER + 2, 1, 2, true, {}}));
    EXPECT_FALSE(PostMessageA(gone, WM_USER, 0, 0));
    DestroyWindow(h);
}

TEST_F(WindowTest, SendFromAnotherThreadRunsOnTheOwnerThread) {
    const HWND h = NewStatic();
    SetWindowLongA(h, GWL_WNDPROC, AddressOf(&RecordingProc));
    std::atomic<bool> done{false};
    LRESULT result = 0;
    std::thread other([&] {
        result = SendMessageA(h, WM_USER + 1, 3, 4);
        done = true;
    });
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    other.join();
    EXPECT_EQ(result, 42);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].thread, std::this_thread::get_id());
    DestroyWindow(h);
}

TEST_F(WindowTest, FindAndShowWindows) {
    const HWND a = CreateWindowExA(0, "STATIC", "one", 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
    const HWND b = CreateWindowExA(0, "STATIC", "two", 0, 0, 0, 0, 0, 0, 0, 0, nullptr);
    const HWND child = CreateWindowExA(0, "STATIC", "two", WS_CHILD, 0, 0, 0, 0, a, 5, 0, nullptr);
    ASSERT_GT(child, 0);
    EXPECT_EQ(FindWindowExA(0, 0, "Static", "two"), b);
    EXPECT_EQ(FindWindowExA(0, b, "STATIC", "two"), 0);
    EXPECT_EQ(FindWindowExA(a, 0, nullptr, "two"), child);
    EXPECT_EQ(GetWindowLongA(child, GWL_ID), 5);
    EXPECT_EQ(FindWindowExA(0, 0, "STATIC", "TWO"), 0);  // captions compare exactly
    const HWND first = FindWindowExA(0, 0, "STATIC", nullptr);
    EXPECT_GT(first, 0);
    EXPECT_LE(first, a);

    EXPECT_FALSE(ShowWindow(a, SW_SHOW));
    EXPECT_NE(GetWindowLongA(a, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_TRUE(ShowWindow(a, SW_HIDE));
    EXPECT_EQ(GetWindowLongA(a, GWL_STYLE) & WS_VISIBLE, 0);

    DestroyWindow(b);
    EXPECT_EQ(FindWindowExA(0, 0, "STATIC", "two"), 0);
    DestroyWindow(child);
    DestroyWindow(a);
}

TEST_F(WindowTest, AttachedWidgetFollowsItsWidget) {
    auto* widget = new QWidget;
    widget->setWindowTitle(QString::fromUtf8("Fen\xc3\xaatre"));
    const HWND h = AttachWidget(widget, "ThunderForm");
    ASSERT_GT(h, 0);
    EXPECT_EQ(WidgetFromHandle(h), widget);
    EXPECT_EQ(FindWindowExA(0, 0, "thunderform", "Fen\xc3\xaatre"), h);
    EXPECT_FALSE(ShowWindow(h, SW_SHOWNORMAL));
    EXPECT_TRUE(widget->isVisible());
    EXPECT_TRUE(ShowWindow(h, SW_HIDE));
    EXPECT_FALSE(widget->isVisible());
    SetWindowLongA(h, GWL_WNDPROC, AddressOf(&RecordingProc));
    delete widget;
    EXPECT_FALSE(IsWindow(h));
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].uMsg, WM_DESTROY);
}

TEST(IconTest, HandlesStandForIcons) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::red);
    const QIcon icon(pixmap);
    const HICON h = CreateIconFromQIcon(icon);
    ASSERT_GT(h, 0);
    EXPECT_EQ(IconFromHandle(h).pixmap(16, 16).toImage().pixelColor(3, 3), QColor(Qt::red));
    EXPECT_EQ(CreateIconFromQIcon(QIcon()), 0);
    EXPECT_TRUE(DestroyIcon(h));
    EXPECT_TRUE(IconFromHandle(h).isNull());
    EXPECT_FALSE(DestroyIcon(h));
}

TEST(AnsiTextTest, Utf8OrWindows1252) {
    EXPECT_EQ(DecodeAnsi("Caf\xc3\xa9"), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(DecodeAnsi("Caf\xe9 \x80\x96"),
              QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac\xe2\x80\x93"));
    EXPECT_EQ(EncodeWindows1252(QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac \xd0\x96")),
              "Caf\xe9 \x80 ?");
    const char field[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(AnsiField(field, 4), "abcd");
    EXPECT_EQ(AnsiField("ab\0cd", 5), "ab");
}

}  // namespace
}  // namespace platform::win
