#include "app/flash/trans.h"

#include <gtest/gtest.h>

#include <QWidget>

namespace kestrane {
namespace {

namespace pl = platform::layered;

TEST(MakeTransparent, PlainBackColourIsTheKeyAndTheWindowComesUpTopmost) {
    QWidget parent;
    auto* w = new QWidget(&parent);
    const pl::HWND h = pl::HandleOf(w);
    pl::SetWindowLongA(h, pl::GWL_EXSTYLE, 0x100);  // an existing bit stays
    Trans::MakeTransparent(h, 0xC0C0C0, 255);
    EXPECT_TRUE(w->isWindow());
    EXPECT_EQ(pl::GetWindowLongA(h, pl::GWL_EXSTYLE), 0x80128);
    std::uint32_t key = 0, flags = 0;
    std::uint8_t alpha = 0;
    ASSERT_TRUE(pl::GetLayeredWindowAttributes(h, &key, &alpha, &flags));
    EXPECT_EQ(key, 0xC0C0C0u);
    EXPECT_EQ(alpha, 255);
    EXPECT_EQ(flags, pl::LWA_COLORKEY | pl::LWA_ALPHA);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->testAttribute(Qt::WA_ShowWithoutActivating));
    delete w;
}

TEST(MakeTransparent, SystemColourReferenceIsResolvedFirst) {
    QWidget w;
    const pl::HWND h = pl::HandleOf(&w);
    Trans::MakeTransparent(h, 0x80000000u | pl::COLOR_BTNFACE, 128);
    std::uint32_t key = 0;
    std::uint8_t alpha = 0;
    ASSERT_TRUE(pl::GetLayeredWindowAttributes(h, &key, &alpha, nullptr));
    EXPECT_EQ(key, pl::GetSysColor(pl::COLOR_BTNFACE));
    EXPECT_NE(key, static_cast<std::uint32_t>(pl::COLOR_BTNFACE));
    EXPECT_EQ(alpha, 128);
}

}  // namespace
}  // namespace kestrane
