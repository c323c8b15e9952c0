// Keys and the gamepad as navigation commands: the repeat of a held direction
// counted in update steps, the dead zone of the stick, the hat's directions,
// and the keys read once per press.
#include <gtest/gtest.h>

#include <vector>

#include "app/nav.h"
#include "engine/engine.h"

namespace {

// The steps, out of n with the direction held throughout, on which it acts.
std::vector<int> ActingSteps(TRepeat& repeat, int n, int dx = 0, int dy = 1) {
    std::vector<int> acting;
    for (int step = 0; step < n; ++step)
        if (repeat.Step(dx, dy)) acting.push_back(step);
    return acting;
}

TEST(Repeat, HeldDirectionActsAtOnceThenAfterTheDelayThenAtTheRate) {
    TRepeat repeat;
    const std::vector<int> expected{0, 40, 48, 56, 64};
    EXPECT_EQ(ActingSteps(repeat, 70), expected);
    // Let go: the next hold starts over, acting at once.
    EXPECT_FALSE(repeat.Step(0, 0));
    EXPECT_EQ(ActingSteps(repeat, 41), (std::vector<int>{0, 40}));
    // A new direction while held also acts at once and restarts the delay.
    EXPECT_TRUE(repeat.Step(1, 0));
    EXPECT_FALSE(repeat.Step(1, 0));
}

TEST(Repeat, KeepsItsRateWhenHeldForHours) {
    TRepeat repeat;
    int acted = 0;
    constexpr int kSteps = 100 * 3600 * 3; // three hours of 10 ms steps
    for (int step = 0; step < kSteps; ++step) acted += repeat.Step(-1, 0) ? 1 : 0;
    EXPECT_EQ(acted, 2 + (kSteps - 1 - TRepeat::kDelay) / TRepeat::kRate);
}

TEST(PadDirection, StickCountsOnlyPastTheDeadZoneAndTheHatWins) {
    const auto at = [](float x, float y, float pov = -1) {
        const TPadDirection d = PadDirection(qx::TJoyAxes{x, y, 0, 0, 0, 0}, pov);
        return std::make_pair(d.dx, d.dy);
    };
    EXPECT_EQ(at(0, 0), std::make_pair(0, 0));
    EXPECT_EQ(at(33, -33), std::make_pair(0, 0)) << "inside the dead zone";
    EXPECT_EQ(at(34, 0), std::make_pair(1, 0));
    EXPECT_EQ(at(-100, 0), std::make_pair(-1, 0));
    EXPECT_EQ(at(0, 50), std::make_pair(0, 1)) << "the stick's y grows downwards";
    EXPECT_EQ(at(-60, -90), std::make_pair(-1, -1));
    // The hat in degrees clockwise from up, ahead of the stick.
    EXPECT_EQ(at(100, 100, 0), std::make_pair(0, -1));
    EXPECT_EQ(at(0, 0, 90), std::make_pair(1, 0));
    EXPECT_EQ(at(0, 0, 135), std::make_pair(1, 1));
    EXPECT_EQ(at(0, 0, 180), std::make_pair(0, 1));
    EXPECT_EQ(at(0, 0, 270), std::make_pair(-1, 0));
    EXPECT_EQ(at(0, 0, 315), std::make_pair(-1, -1));
}

class NavKeys : public testing::Test {
protected:
    void TearDown() override { qx::inp->Reset(); qx::inp->ClearStep(); }
};

TEST_F(NavKeys, EachPressAndAutoRepeatStepsOnceAndHoldingDoesNot) {
    TNav nav;
    qx::inp->SetKey(qx::key::Down, true);
    TNavStep step = nav.Read();
    EXPECT_EQ(step.dy, 1);
    EXPECT_EQ(step.dx, 0);
    qx::inp->ClearStep();
    EXPECT_EQ(nav.Read().dy, 0) << "a key held without repeats steps once";
    qx::inp->SetKey(qx::key::Down, true); // the keyboard's auto-repeat
    EXPECT_EQ(nav.Read().dy, 1);
    qx::inp->ClearStep();
    qx::inp->SetKey(qx::key::Numpad0 + 4, true); // the keypad with NumLock on
    qx::inp->SetKey(qx::key::Up, true);
    step = nav.Read();
    EXPECT_EQ(step.dx, -1);
    EXPECT_EQ(step.dy, -1);
    qx::inp->ClearStep();
    qx::inp->SetKey(qx::key::Left, true);
    qx::inp->SetKey(qx::key::Right, true);
    EXPECT_EQ(nav.Read().dx, 0) << "opposite keys in one step cancel";
    qx::inp->SetKey(qx::key::Enter, true);
    step = nav.Read();
    EXPECT_TRUE(step.Activate);
    EXPECT_FALSE(step.Back) << "without a gamepad nothing goes back";
}

} // namespace
