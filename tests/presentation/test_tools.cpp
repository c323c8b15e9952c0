// Stepped random numbers, vectors, time and date texts, folders.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <set>

#include "presentation/tools.h"
#include "tests/test_support.h"

namespace {

TEST(RandomStep, StaysOnItsGridBelowTheMaximum) {
    SeedRandom(7);
    std::set<double> seen;
    for (int i = 0; i < 400; ++i) seen.insert(RandomStep(0, 1, 0.25));
    EXPECT_EQ(seen, (std::set<double>{0, 0.25, 0.5, 0.75}));
    for (int i = 0; i < 1000; ++i) {
        const double v = RandomStep(0.9, 1.2, 0.001);
        ASSERT_GE(v, 0.9);
        ASSERT_LT(v, 1.2);
        const double k = (v - 0.9) / 0.001;
        ASSERT_NEAR(k, std::round(k), 1e-6);
    }
    for (int i = 0; i < 1000; ++i) {
        const double v = RandomStep(-1, 1, 0.0001);
        ASSERT_GE(v, -1);
        ASSERT_LT(v, 1);
    }
}

TEST(RandomStep, DegenerateRangesGiveTheMinimum) {
    EXPECT_EQ(RandomStep(5, 5, 1), 5);
    EXPECT_EQ(RandomStep(5, 6, 1), 5) << "one step: n = 1";
    EXPECT_EQ(RandomStep(2, 3, 0), 2);
    EXPECT_EQ(RandomStep(2, 3, std::nan("")), 2);
    // n = round(2.5) = 2 (halves to even): only 0 and 1 steps.
    std::set<double> seen;
    for (int i = 0; i < 200; ++i) seen.insert(RandomStep(0, 2.5, 1));
    EXPECT_EQ(seen, (std::set<double>{0, 1}));
    // A grid too fine for 32-bit counts still gives a value in range.
    const double fine = RandomStep(0, 1, 1e-12);
    EXPECT_GE(fine, 0);
    EXPECT_LT(fine, 1);
}

TEST(RandomStep, SameSeedSameSequence) {
    SeedRandom(99);
    const double a = RandomStep(0, 1000, 0.1);
    const int32_t b = RandomInt(155);
    SeedRandom(99);
    EXPECT_EQ(RandomStep(0, 1000, 0.1), a);
    EXPECT_EQ(RandomInt(155), b);
    EXPECT_EQ(RandomInt(1), 0);
    EXPECT_EQ(RandomInt(0), 0);
    EXPECT_EQ(RandomInt(-4), 0);
}

TEST(Vectors, TurnRoundAndAdd) {
    const Vec2 turned = TurnVec(MakeVec(3, 4), 0);
    EXPECT_DOUBLE_EQ(turned.x, 5);
    EXPECT_DOUBLE_EQ(turned.y, 0);
    const IntPoint rounded = RoundVec(MakeVec(2.5, 3.5));
    EXPECT_EQ(rounded.x, 2);
    EXPECT_EQ(rounded.y, 4);
    const IntPoint negative = RoundVec(MakeVec(-2.5, -0.4));
    EXPECT_EQ(negative.x, -2);
    EXPECT_EQ(negative.y, 0);
    const IntPoint huge = RoundVec(MakeVec(1e300, -1e300));
    EXPECT_EQ(huge.x, 2147483647);
    EXPECT_EQ(huge.y, -2147483647 - 1);
    const Vec2 sum = AddVec(MakeVec(1, 2), MakeVec(3, -4));
    EXPECT_EQ(sum.x, 4);
    EXPECT_EQ(sum.y, -2);
    const Vec2 polar = RandomPolar(10, 5, 0.01);
    const double radius = std::hypot(polar.x, polar.y);
    EXPECT_GE(radius, 5 - 1e-9);
    EXPECT_LT(radius, 10);
}

TEST(Texts, TimeAndDateWithoutPadding) {
    EXPECT_EQ(TimeText({14, 7, 9, 5}), "14:7:9:5");
    EXPECT_EQ(TimeText({9, 5, 3, 42}), "9:5:3:42");
    EXPECT_EQ(DateText({2026, 12, 7}), "7.12.2026");
    const DateRec today = LocalDate();
    EXPECT_GE(today.year, 2024);
    EXPECT_GE(today.month, 1);
    EXPECT_LE(today.month, 12);
    const TimeRec now = LocalTime();
    EXPECT_LT(now.hour, 24);
    EXPECT_LT(now.millisecond, 1000);
}

TEST(System, FoldersAndUserName) {
    const std::string dir = MakeTempDir();
    EXPECT_TRUE(DirExists(dir));
    std::ofstream(dir + "/file.txt") << "x";
    EXPECT_FALSE(DirExists(dir + "/file.txt"));
    EXPECT_FALSE(DirExists(dir + "/missing"));
    EXPECT_FALSE(DirExists(""));
    EXPECT_LE(UserName().size(), 31u);
}

} // namespace
