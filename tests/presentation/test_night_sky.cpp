// The night sky's stars: where they land in views of awkward sizes, their
// colours, and the same sky again from the same seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "presentation/night_sky.h"
#include "presentation/text.h"
#include "presentation/tools.h"

namespace {

struct ViewSize {
    int32_t width, height;
};

class NightSkyStars : public testing::Test {
protected:
    void TearDown() override { SetViewSize(0, 0); }
    TNightSky sky{{}};
};

TEST_F(NightSkyStars, LandOnTheTenthPixelGridInsideTheViewOfThatMoment) {
    SeedRandom(3);
    for (const ViewSize view : {ViewSize{641, 479}, ViewSize{1919, 1081}, ViewSize{3, 5}}) {
        SetViewSize(view.width, view.height);
        sky.PlaceStars();
        double right = 0, bottom = 0;
        for (const TStar& star : sky.Stars) {
            ASSERT_GE(star.X, 0);
            ASSERT_LT(star.X, view.width) << view.width << "x" << view.height;
            ASSERT_GE(star.Y, 0);
            ASSERT_LT(star.Y, view.height) << view.width << "x" << view.height;
            ASSERT_NEAR(star.X * 10, std::round(star.X * 10), 1e-6);
            right = std::max(right, star.X);
            bottom = std::max(bottom, star.Y);
        }
        // Spread over the whole view, not over the one the stars were placed in before.
        EXPECT_GT(right, 0.9 * view.width) << view.width << "x" << view.height;
        EXPECT_GT(bottom, 0.9 * view.height) << view.width << "x" << view.height;
    }
}

TEST_F(NightSkyStars, ComeInPaleColoursAndAgainFromTheSameSeed) {
    SetViewSize(800, 600);
    SeedRandom(2026);
    sky.PlaceStars();
    const auto first = sky.Stars;
    bool twinkleBothWays[2] = {false, false};
    for (const TStar& star : first) {
        const uint8_t red = star.Color & 0xFF, green = (star.Color >> 8) & 0xFF, blue = (star.Color >> 16) & 0xFF;
        EXPECT_EQ(green, 255);
        EXPECT_GE(red, 100);
        EXPECT_LE(red, 254);
        EXPECT_GE(blue, 100);
        EXPECT_LE(blue, 254);
        twinkleBothWays[star.Phase < 128] = true;
    }
    EXPECT_TRUE(twinkleBothWays[0] && twinkleBothWays[1]);

    SeedRandom(2026);
    sky.PlaceStars();
    for (size_t i = 0; i < first.size(); ++i) {
        ASSERT_EQ(sky.Stars[i].Color, first[i].Color) << i;
        ASSERT_EQ(sky.Stars[i].Phase, first[i].Phase) << i;
        ASSERT_EQ(sky.Stars[i].X, first[i].X) << i;
        ASSERT_EQ(sky.Stars[i].Y, first[i].Y) << i;
    }
    SeedRandom(2027);
    sky.PlaceStars();
    EXPECT_NE(sky.Stars[0].X, first[0].X);
}

} // namespace
