// Input devices: the key table and its step values, and joysticks read through
// SDL's virtual joystick (found at creation, polled each step, dropped to rest
// when they stop answering).
#include <gtest/gtest.h>

#include <SDL.h>

#include "engine/engine.h"
#include "tests/test_support.h"

namespace {

TEST(Keys, TableCoversKeyboardAndMouseAndRejectsOtherCodes) {
    qx::TInp input;
    EXPECT_EQ(input.LastKey(), 0); // before the first step
    input.SetKey(262, true);
    EXPECT_TRUE(input.Down(262));
    EXPECT_EQ(input.LastKey(), 262);
    input.SetKey(264, true); // a joystick code without a joystick
    input.SetKey(-1, true);
    EXPECT_FALSE(input.Down(264));
    EXPECT_FALSE(input.Down(-1));
    EXPECT_EQ(input.LastKey(), 262);
    input.SetKey(262, false);
    EXPECT_EQ(input.LastKey(), 262); // releasing is not pressing
    input.SetWheel(2);
    input.ClearStep();
    EXPECT_EQ(input.LastKey(), -1);
    EXPECT_EQ(input.Wheel(), 0);
    input.SetKey(65, true);
    input.Reset();
    EXPECT_FALSE(input.Down(65));
}

TEST(Joystick, NoneGivesTheNotReadyLineAndNeutralReadings) {
    qx::TInp input;
    EXPECT_EQ(input.JoyCount(), 0);
    EXPECT_NE(TestLogText().find("Input   : Joystick not ready\r\n"), std::string::npos);
    EXPECT_EQ(input.JoyAxes(0), qx::TJoyAxes{});
    EXPECT_EQ(input.JoyPOV(0), 0);
    EXPECT_EQ(input.JoyPOV(-1), 0);
}

class VirtualJoystick : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
        index_ = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 32, 1);
        ASSERT_GE(index_, 0) << SDL_GetError();
        device_ = SDL_JoystickOpen(index_);
        ASSERT_NE(device_, nullptr);
    }
    void TearDown() override {
        if (device_) SDL_JoystickClose(device_);
        if (index_ >= 0) SDL_JoystickDetachVirtual(index_);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }
    int index_ = -1;
    SDL_Joystick* device_ = nullptr;
};

TEST_F(VirtualJoystick, IsFoundAtCreationWithItsButtonsInTheKeyTable) {
    qx::TInp input;
    ASSERT_EQ(input.JoyCount(), 1);
    const std::string log = TestLogText();
    for (const char* line : {"Input   : - Joystick (0) found\r\n", "Input   : -- Buttons : 32\r\n",
                             "Input   : -- Axis    : 6\r\n", "Input   : Joystick ready\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_NE(log.find("Input   : -- Driver  : "), std::string::npos);

    // Button 31 of joystick 0 is code 295, the last of a 296-entry table.
    SDL_JoystickSetVirtualButton(device_, 31, SDL_PRESSED);
    input.Poll();
    EXPECT_TRUE(input.Down(295));
    EXPECT_EQ(input.LastKey(), 295);
    EXPECT_FALSE(input.Down(296));
    // A held button is not pressed again.
    input.ClearStep();
    input.Poll();
    EXPECT_TRUE(input.Down(295));
    EXPECT_EQ(input.LastKey(), -1);
    SDL_JoystickSetVirtualButton(device_, 31, SDL_RELEASED);
    input.Poll();
    EXPECT_FALSE(input.Down(295));
}

TEST_F(VirtualJoystick, AxesSpanMinusToPlusHundredAndTheHatGivesDegrees) {
    qx::TInp input;
    SDL_JoystickSetVirtualAxis(device_, 0, SDL_JOYSTICK_AXIS_MAX);
    SDL_JoystickSetVirtualAxis(device_, 1, SDL_JOYSTICK_AXIS_MIN);
    SDL_JoystickSetVirtualAxis(device_, 5, 0);
    SDL_JoystickSetVirtualHat(device_, 0, SDL_HAT_RIGHT);
    input.Poll();
    const qx::TJoyAxes axes = input.JoyAxes(0);
    EXPECT_FLOAT_EQ(axes[0], 100);
    EXPECT_FLOAT_EQ(axes[1], -100);
    EXPECT_NEAR(axes[5], 0, 0.01);
    EXPECT_FLOAT_EQ(input.JoyPOV(0), 90);
    SDL_JoystickSetVirtualHat(device_, 0, SDL_HAT_LEFTUP);
    input.Poll();
    EXPECT_FLOAT_EQ(input.JoyPOV(0), 315);
    SDL_JoystickSetVirtualHat(device_, 0, SDL_HAT_CENTERED);
    input.Poll();
    EXPECT_FLOAT_EQ(input.JoyPOV(0), -1);
    EXPECT_EQ(input.JoyAxes(1), qx::TJoyAxes{});
}

TEST_F(VirtualJoystick, OneThatStopsAnsweringReadsAtRestWithButtonsUp) {
    qx::TInp input;
    SDL_JoystickSetVirtualButton(device_, 3, SDL_PRESSED);
    SDL_JoystickSetVirtualAxis(device_, 0, SDL_JOYSTICK_AXIS_MAX);
    input.Poll();
    ASSERT_TRUE(input.Down(267));
    input.ClearStep();
    SDL_JoystickDetachVirtual(index_);
    index_ = -1;
    input.Poll();
    EXPECT_FALSE(input.Down(267));
    EXPECT_EQ(input.LastKey(), -1); // cleared directly, not as a key event
    EXPECT_EQ(input.JoyAxes(0), qx::TJoyAxes{});
    EXPECT_EQ(input.JoyPOV(0), 0);
}

} // namespace
