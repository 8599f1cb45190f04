#include "platform/session/desktop_scale.h"

#include <gtest/gtest.h>

namespace platform::session {
namespace {

TEST(DesktopScaleTest, ReadsXftDpiFromTheResourceDatabase) {
    // As `xrdb -query` prints what GNOME and KDE set.
    EXPECT_EQ(XftDpiIn("Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n"), 192.0);
    EXPECT_EQ(XftDpiIn("Xft.dpi: 144.0\n"), 144.0);
    EXPECT_EQ(XftDpiIn("*dpi:\t120\n"), 120.0);  // a looser binding matches too
    EXPECT_EQ(XftDpiIn("Xft.dpi:\t96"), 96.0);
    // Missing, not a number, or no plausible resolution: nothing.
    EXPECT_EQ(XftDpiIn(""), std::nullopt);
    EXPECT_EQ(XftDpiIn("Xcursor.size:\t48\n"), std::nullopt);
    EXPECT_EQ(XftDpiIn("Xft.dpi:\thigh\n"), std::nullopt);
    EXPECT_EQ(XftDpiIn("Xft.dpi:\t192px\n"), std::nullopt);
    EXPECT_EQ(XftDpiIn("Xft.dpi:\t0\n"), std::nullopt);
    EXPECT_EQ(XftDpiIn("Xft.dpi:\t-192\n"), std::nullopt);
    EXPECT_EQ(XftDpiIn("Xft.dpi:\t100000\n"), std::nullopt);
}

TEST(DesktopScaleTest, AddsOnlyWhatQtDoesNotTakeItself) {
    // Stored as xrdb and the desktops store it: Qt scales by it on its own.
    EXPECT_EQ(ExtraScaleFactor("Xft.dpi:\t192\n"), 1.0);
    EXPECT_EQ(ExtraScaleFactor("Xft.dpi:\t144\n"), 1.0);
    EXPECT_EQ(ExtraScaleFactor("Xft.dpi:\t143.5\n"), 1.0);  // Qt rounds it: 1 % apart
    // Other spellings the database accepts, which Qt passes over: the whole scale is added,
    // fractions included.
    EXPECT_DOUBLE_EQ(ExtraScaleFactor("Xft.dpi: 192\n"), 2.0);
    EXPECT_DOUBLE_EQ(ExtraScaleFactor("*dpi:\t120\n"), 1.25);
    EXPECT_DOUBLE_EQ(ExtraScaleFactor("Xft*dpi:\t144\n"), 1.5);
    // ... or what Qt's own reading leaves to add.
    EXPECT_DOUBLE_EQ(ExtraScaleFactor("Xft.dpi:\t96\nXft.dpi: 192\n"), 2.0);
    // No Xft.dpi, 96 dpi, or less than Qt's own: nothing added.
    EXPECT_EQ(ExtraScaleFactor(""), 1.0);
    EXPECT_EQ(ExtraScaleFactor("*dpi:\t96\n"), 1.0);
    EXPECT_EQ(ExtraScaleFactor("Xft.dpi:\t192\n*dpi:\t120\n"), 1.0);
    EXPECT_EQ(ExtraScaleFactor("*dpi:\t72\n"), 1.0);
}

}  // namespace
}  // namespace platform::session
