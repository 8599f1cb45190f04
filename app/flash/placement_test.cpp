#include "app/flash/placement.h"

#include "app/flash/numbers.h"

#include <gtest/gtest.h>

namespace kestrane {
namespace {

TEST(PlaceMessage, CentreRoundsHalvesToTheEvenNeighbour) {
    Rnd rnd;
    // SW - W = 201 gives 100.5, which rounds to 100; 203 gives 101.5, which rounds to 102.
    EXPECT_EQ(PlaceMessage("Center", 1201, 900, 1000, 100, {7, 7}, rnd).left, 100);
    EXPECT_EQ(PlaceMessage("Center", 1203, 900, 1000, 100, {7, 7}, rnd).left, 102);
    EXPECT_EQ(PlaceMessage("Center", 1000, 1201, 100, 1000, {7, 7}, rnd).top, 100);
    EXPECT_EQ(PlaceMessage("Center", 1000, 1203, 100, 1000, {7, 7}, rnd), (WindowPlace{450, 102}));
    // A window wider than the screen goes left of it.
    EXPECT_EQ(PlaceMessage("Center", 1000, 1000, 1400, 200, {0, 0}, rnd).left, -200);
}

TEST(PlaceMessage, TopRightKeepsTheTop) {
    Rnd rnd;
    EXPECT_EQ(PlaceMessage("Top Right", 19200, 12000, 3000, 600, {15, 4321}, rnd),
              (WindowPlace{16200, 4321}));
}

TEST(PlaceMessage, TopLeftAndUnknownWordsDoNotMove) {
    Rnd rnd;
    const WindowPlace here{1234, 567};
    EXPECT_EQ(PlaceMessage("Top Left", 19200, 12000, 3000, 600, here, rnd), here);
    EXPECT_EQ(PlaceMessage("Middle", 19200, 12000, 3000, 600, here, rnd), here);
    EXPECT_EQ(PlaceMessage("center", 19200, 12000, 3000, 600, here, rnd), here);
    EXPECT_EQ(PlaceMessage("", 19200, 12000, 3000, 600, here, rnd), here);
}

TEST(PlaceMessage, RandomTakesTwoDrawsOfAGeneratorThatIsNeverReseeded) {
    Rnd a;
    Rnd b;
    const double r1 = b.Next();
    const double r2 = b.Next();
    const double r3 = b.Next();
    const double r4 = b.Next();
    for (double r : {r1, r2, r3, r4}) {
        EXPECT_GE(r, 0.0);
        EXPECT_LT(r, 1.0);
    }
    EXPECT_NE(r1, r2);
    const WindowPlace first = PlaceMessage("Random", 19200, 12000, 3200, 2000, {0, 0}, a);
    EXPECT_EQ(first.left, *ToInt16(16000 * r1));
    EXPECT_EQ(first.top, *ToInt16(10000 * r2));
    const WindowPlace second = PlaceMessage("Random", 19200, 12000, 3200, 2000, first, a);
    EXPECT_EQ(second.left, *ToInt16(16000 * r3));
    EXPECT_EQ(second.top, *ToInt16(10000 * r4));
    // A fresh generator (a new start of the program) yields the same places again.
    Rnd c;
    EXPECT_EQ(PlaceMessage("Random", 19200, 12000, 3200, 2000, {0, 0}, c), first);
}

TEST(PlaceMessage, ScreensWiderThanSixteenBitsOfTwipsStillPlaceTheMessage) {
    // 2560 x 1440 pixels are 38400 x 21600 twips: the right edge lies beyond 32767 twips.
    Rnd rnd;
    EXPECT_EQ(PlaceMessage("Top Right", 38400, 21600, 3000, 600, {5, 6}, rnd),
              (WindowPlace{35400, 6}));
    EXPECT_EQ(PlaceMessage("Center", 70000, 1200, 100, 200, {5, 6}, rnd),
              (WindowPlace{34950, 500}));
    Rnd a;
    Rnd b;
    const double r1 = b.Next();
    const double r2 = b.Next();
    const WindowPlace random = PlaceMessage("Random", 57600, 32400, 3000, 600, {0, 0}, a);
    EXPECT_EQ(random.left, *ToInt32(54600 * r1));
    EXPECT_EQ(random.top, *ToInt32(31800 * r2));
    // Within sixteen bits nothing changes: halves still round to the even neighbour.
    EXPECT_EQ(PlaceMessage("Top Right", 32767, 100, 0, 0, {0, 0}, rnd).left, 32767);
}

TEST(Numbers, WholeNumbersRoundHalfToEvenAndMustFit) {
    EXPECT_EQ(ToInt16(2.5), std::int16_t{2});
    EXPECT_EQ(ToInt16(3.5), std::int16_t{4});
    EXPECT_EQ(ToInt16(-0.5), std::int16_t{0});
    EXPECT_EQ(ToInt16(32767.0), std::int16_t{32767});
    EXPECT_FALSE(ToInt16(32767.5));  // rounds to 32768
    EXPECT_FALSE(ToInt16(-32769.0));
    EXPECT_EQ(ToInt32(2147483647.0), std::int32_t{2147483647});
    EXPECT_FALSE(ToInt32(2147483648.0));
}

TEST(Numbers, WhatCountsAsANumber) {
    EXPECT_EQ(NumericValue(QString("60")), 60.0);
    EXPECT_EQ(NumericValue(QString(" 7 ")), 7.0);
    EXPECT_EQ(NumericValue(QString("-5")), -5.0);
    EXPECT_EQ(NumericValue(QString("1.5")), 1.5);
    EXPECT_FALSE(NumericValue(QString("")));
    EXPECT_FALSE(NumericValue(QString("abc")));
    EXPECT_FALSE(NumericValue(QString("1e3")));
    EXPECT_FALSE(NumericValue(QString("7a")));
    EXPECT_FALSE(NumericValue(QString(".")));
    EXPECT_FALSE(NumericValue(QString::fromUtf8("\xd9\xa3")));  // an Arabic-Indic digit
}

TEST(Numbers, ColourValues) {
    EXPECT_EQ(ColorValue("16711680"), 0xFF0000u);
    EXPECT_EQ(ColorValue("0"), 0u);
    EXPECT_EQ(ColorValue("-2147483643"), 0x80000005u);  // system colour 5
    EXPECT_FALSE(ColorValue("16777216"));
    EXPECT_FALSE(ColorValue("-1"));
    EXPECT_FALSE(ColorValue("blue"));
    EXPECT_FALSE(ColorValue(""));
}

TEST(Placement, TargetScreens) {
    // Two side by side, the primary one on the right; a third below with a gap above it.
    const std::vector<ScreenArea> screens{
        {0, 0, 1280, 800}, {1280, 0, 1280, 800}, {0, 900, 1024, 768}};
    using V = std::vector<size_t>;
    EXPECT_EQ(TargetScreens(ScreenChoice::Primary, screens, 1, std::pair{10, 10}), V{1});
    EXPECT_EQ(TargetScreens(ScreenChoice::Pointer, screens, 1, std::pair{10, 10}), V{0});
    EXPECT_EQ(TargetScreens(ScreenChoice::Pointer, screens, 1, std::pair{1279, 799}), V{0});
    EXPECT_EQ(TargetScreens(ScreenChoice::Pointer, screens, 1, std::pair{1280, 0}), V{1});
    EXPECT_EQ(TargetScreens(ScreenChoice::Pointer, screens, 1, std::pair{5, 1667}), V{2});
    // In the gap, beyond every screen, or not known: the primary screen.
    EXPECT_EQ(TargetScreens(ScreenChoice::Pointer, screens, 1, std::pair{5, 850}), V{1});
    EXPECT_EQ(TargetScreens(ScreenChoice::Pointer, screens, 1, std::pair{-1, 5}), V{1});
    EXPECT_EQ(TargetScreens(ScreenChoice::Pointer, screens, 1, std::nullopt), V{1});
    EXPECT_EQ(TargetScreens(ScreenChoice::Every, screens, 1, std::nullopt), (V{1, 0, 2}));
    EXPECT_EQ(TargetScreens(ScreenChoice::Every, {}, 0, std::nullopt), V{});
    EXPECT_EQ(TargetScreens(ScreenChoice::Primary, screens, 7, std::nullopt), V{0});
}

}  // namespace
}  // namespace kestrane
