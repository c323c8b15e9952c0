// The UI scale the program picks: from the screen's height, or from
// NIVORA_SCALE when that holds a whole number 1..4.
#include <gtest/gtest.h>

#include <cstdint>

#include "app/app.h"

namespace {

int32_t AutoScale(int32_t height) { return ChooseUiScale(height, nullptr).Scale; }

TEST(UiScale, FollowsTheScreenHeightInWholeSteps) {
    EXPECT_EQ(AutoScale(768), 1);
    EXPECT_EQ(AutoScale(1080), 1);
    EXPECT_EQ(AutoScale(1440), 1);
    EXPECT_EQ(AutoScale(1619), 1) << "the last height drawn pixel for pixel";
    EXPECT_EQ(AutoScale(1620), 2);
    EXPECT_EQ(AutoScale(1800), 2);
    EXPECT_EQ(AutoScale(2160), 2);
    EXPECT_EQ(AutoScale(2880), 3);
    EXPECT_EQ(AutoScale(4320), 4);
    // No window height (nothing known yet) and absurd ones still give a usable scale.
    EXPECT_EQ(AutoScale(0), 1);
    EXPECT_EQ(AutoScale(-5000), 1);
    EXPECT_GE(AutoScale(INT32_MAX), 1);
    EXPECT_FALSE(ChooseUiScale(2160, nullptr).Rejected);
}

TEST(UiScale, ASettingOfOneToFourWinsOverTheScreen) {
    for (const char* setting : {"1", "2", "3", "4"}) {
        const TUiScaleChoice choice = ChooseUiScale(2160, setting);
        EXPECT_EQ(choice.Scale, setting[0] - '0') << setting;
        EXPECT_FALSE(choice.Rejected) << setting;
    }
    EXPECT_EQ(ChooseUiScale(768, "3").Scale, 3) << "also larger than the screen would pick";
    EXPECT_EQ(ChooseUiScale(2880, "1").Scale, 1) << "and smaller";
}

TEST(UiScale, AnEmptySettingCountsAsUnset) {
    const TUiScaleChoice choice = ChooseUiScale(2160, "");
    EXPECT_EQ(choice.Scale, 2);
    EXPECT_FALSE(choice.Rejected);
}

TEST(UiScale, ABadSettingFallsBackToTheScreenAndIsReported) {
    for (const char* setting : {"0", "5", "-1", "2.5", "2x", " 2", "+2", "two", "99999999999999999999"}) {
        const TUiScaleChoice atFourK = ChooseUiScale(2160, setting);
        EXPECT_EQ(atFourK.Scale, 2) << '"' << setting << '"';
        EXPECT_TRUE(atFourK.Rejected) << '"' << setting << '"';
        EXPECT_EQ(ChooseUiScale(1080, setting).Scale, 1) << '"' << setting << '"';
    }
}

} // namespace
