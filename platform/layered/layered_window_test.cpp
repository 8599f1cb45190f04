#include "platform/layered/layered_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QWidget>

#include <memory>

namespace platform::layered {
namespace {

TEST(LayeredWindow, HandlesArePositiveStableAndNeverReused) {
    auto a = std::make_unique<QWidget>();
    const HWND ha = HandleOf(a.get());
    EXPECT_GT(ha, 0);
    EXPECT_EQ(HandleOf(a.get()), ha);
    EXPECT_EQ(WindowFromHandle(ha), a.get());
    a.reset();
    EXPECT_EQ(WindowFromHandle(ha), nullptr);
    EXPECT_EQ(GetWindowLongA(ha, GWL_EXSTYLE), 0);
    EXPECT_FALSE(SetWindowPos(ha, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE));
    QWidget b;
    EXPECT_NE(HandleOf(&b), ha);
    EXPECT_EQ(HandleOf(nullptr), 0);
}

TEST(LayeredWindow, SetParentToNothingMakesATopLevelWindow) {
    QWidget parent;
    auto* child = new QWidget(&parent);
    const HWND hc = HandleOf(child);
    EXPECT_FALSE(child->isWindow());
    EXPECT_EQ(SetParent(hc, 0), HandleOf(&parent));
    EXPECT_TRUE(child->isWindow());
    EXPECT_EQ(child->parentWidget(), nullptr);
    EXPECT_EQ(SetParent(hc, 0), 0);
    delete child;
}

TEST(LayeredWindow, ExtendedStyleTurnsIntoWindowBehaviour) {
    QWidget w(nullptr, Qt::FramelessWindowHint | Qt::Tool);
    const HWND h = HandleOf(&w);
    EXPECT_EQ(GetWindowLongA(h, GWL_EXSTYLE), 0);
    // Only layered windows take layered attributes.
    EXPECT_FALSE(SetLayeredWindowAttributes(h, 0xC0C0C0, 255, LWA_COLORKEY | LWA_ALPHA));

    EXPECT_EQ(SetWindowLongA(h, GWL_EXSTYLE, 0x80028), 0);
    EXPECT_EQ(GetWindowLongA(h, GWL_EXSTYLE), 0x80028);
    EXPECT_TRUE(w.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::X11BypassWindowManagerHint));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::FramelessWindowHint));  // kept
    // Other indexes are not stored.
    EXPECT_EQ(SetWindowLongA(h, -16, 0x1234), 0);
    EXPECT_EQ(GetWindowLongA(h, -16), 0);

    ASSERT_TRUE(SetLayeredWindowAttributes(h, 0x00C0C0C0, 200, LWA_COLORKEY | LWA_ALPHA));
    std::uint32_t key = 0, flags = 0;
    std::uint8_t alpha = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(h, &key, &alpha, &flags));
    EXPECT_EQ(key, 0xC0C0C0u);
    EXPECT_EQ(alpha, 200);
    EXPECT_EQ(flags, 3u);

    // Taking the bits away gives the plain window back.
    SetWindowLongA(h, GWL_EXSTYLE, 0);
    EXPECT_FALSE(w.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowTransparentForInput));
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST(LayeredWindow, SetWindowPosShowsWithoutActivatingAndKeepsOnTop) {
    QWidget w(nullptr, Qt::FramelessWindowHint);
    const HWND h = HandleOf(&w);
    w.move(40, 50);
    ASSERT_TRUE(SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, 0x453));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.pos(), QPoint(40, 50));  // no move, no size
    EXPECT_TRUE(w.testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(GetWindowLongA(h, GWL_EXSTYLE) & WS_EX_TOPMOST, WS_EX_TOPMOST);
    ASSERT_TRUE(SetWindowPos(h, 0, 10, 20, 30, 40, SWP_NOACTIVATE));
    EXPECT_EQ(w.geometry(), QRect(10, 20, 30, 40));
}

TEST(LayeredWindow, SystemColoursComeFromThePalette) {
    const QPalette pal = QApplication::palette();
    const QColor base = pal.color(QPalette::Base);
    EXPECT_EQ(GetSysColor(COLOR_WINDOW),
              static_cast<std::uint32_t>(base.red() | (base.green() << 8) | (base.blue() << 16)));
    const QColor tip = pal.color(QPalette::ToolTipBase);
    EXPECT_EQ(GetSysColor(24),
              static_cast<std::uint32_t>(tip.red() | (tip.green() << 8) | (tip.blue() << 16)));
    EXPECT_EQ(GetSysColor(-1), 0u);
    EXPECT_EQ(GetSysColor(99), 0u);
}

TEST(LayeredWindow, KeyedRegionKeepsOnlyOpaquePixelsThatAreNotTheKey) {
    QImage img(4, 2, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    img.setPixel(0, 0, qRgba(0, 0, 255, 255));      // opaque blue: shown
    img.setPixel(1, 0, qRgba(192, 192, 192, 255));  // the key: hidden
    img.setPixel(2, 0, qRgba(0, 0, 255, 95));       // too faint: hidden
    img.setPixel(3, 0, qRgba(0, 0, 255, 96));       // just enough: shown
    img.setPixel(0, 1, qRgba(190, 193, 191, 120));  // the key, antialiased: hidden
    img.setPixel(1, 1, qRgba(180, 192, 192, 255));  // near the key but opaque: shown
    const QRegion keyed = KeyedRegion(img, 0xC0C0C0, true);
    QRegion expected;
    expected += QRect(0, 0, 1, 1);
    expected += QRect(3, 0, 1, 1);
    expected += QRect(1, 1, 1, 1);
    EXPECT_EQ(keyed, expected);
    // Without the colour key, only the alpha decides.
    QRegion alphaOnly = expected;
    alphaOnly += QRect(1, 0, 1, 1);
    alphaOnly += QRect(0, 1, 1, 1);
    EXPECT_EQ(KeyedRegion(img, 0xC0C0C0, false), alphaOnly);
}

}  // namespace
}  // namespace platform::layered
