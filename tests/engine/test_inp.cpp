// Input devices: the key table and its step values, and joysticks read through
// SDL's virtual joystick (found at creation or when plugged in, polled each
// step, dropped to rest when they stop answering or are pulled out).
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

TEST(Keys, PressedLastsOneStepAndCountsEachRepeat) {
    qx::TInp input;
    input.SetKey(qx::key::Space, true);
    EXPECT_TRUE(input.Pressed(qx::key::Space));
    input.SetKey(qx::key::Space, false); // down and up within one step still counts
    EXPECT_TRUE(input.Pressed(qx::key::Space));
    input.ClearStep();
    EXPECT_FALSE(input.Pressed(qx::key::Space));
    input.SetKey(qx::key::Left, true);
    input.ClearStep();
    EXPECT_TRUE(input.Down(qx::key::Left));
    EXPECT_FALSE(input.Pressed(qx::key::Left)) << "held is not pressed";
    input.SetKey(qx::key::Left, true); // an auto-repeat
    EXPECT_TRUE(input.Pressed(qx::key::Left));
    input.Reset();
    EXPECT_FALSE(input.Pressed(qx::key::Left));
    EXPECT_FALSE(input.Pressed(-1));
    EXPECT_FALSE(input.Pressed(qx::key::JoyFirst));
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
    EXPECT_EQ(input.JoyPOV(0), -1) << "at rest is centred, not pointing up";
}

TEST_F(VirtualJoystick, AButtonStillHeldAfterResetIsDownAgainAtTheNextPollButNotPressed) {
    qx::TInp input;
    const int32_t code = qx::key::JoyButton(0, 0);
    SDL_JoystickSetVirtualButton(device_, 0, SDL_PRESSED);
    input.Poll();
    ASSERT_TRUE(input.Pressed(code));
    input.Reset(); // as a menu does after acting
    EXPECT_FALSE(input.Down(code));
    input.ClearStep();
    input.Poll();
    EXPECT_TRUE(input.Down(code)) << "the poll reads the button as it is";
    EXPECT_EQ(input.LastKey(), code) << "set down again, as any key going down";
    EXPECT_FALSE(input.Pressed(code)) << "a held button acts once";
    input.ClearStep();
    for (int step = 0; step < 3; ++step) {
        input.Poll();
        EXPECT_TRUE(input.Down(code));
        EXPECT_EQ(input.LastKey(), -1) << "only a change is written";
        EXPECT_FALSE(input.Pressed(code));
        input.ClearStep();
    }
    SDL_JoystickSetVirtualButton(device_, 0, SDL_RELEASED);
    input.Poll();
    SDL_JoystickSetVirtualButton(device_, 0, SDL_PRESSED);
    input.Poll();
    EXPECT_TRUE(input.Pressed(qx::key::JoyButton(0, 0)));
}

// Plugged in and pulled out after the input module was made, as the window
// passes SDL's device events on.
TEST(JoystickHotplug, PluggedInIsOpenedOncePulledOutIsClosedAndItsSlotReused) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
    qx::TInp input;
    ASSERT_EQ(input.JoyCount(), 0);
    const size_t start = TestLogText().size(); // earlier tests' lines stand before
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 4, 1);
    ASSERT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* device = SDL_JoystickOpen(index);
    ASSERT_NE(device, nullptr);
    input.JoyAdded(index);
    input.JoyAdded(index); // the event for a device already open
    ASSERT_EQ(input.JoyCount(), 1);
    const std::string log = TestLogText().substr(start);
    EXPECT_NE(log.find("Input   : - Joystick (0) found\r\n"), std::string::npos);
    EXPECT_EQ(log.find("Input   : - Joystick (0) found"), log.rfind("Input   : - Joystick (0) found"));
    EXPECT_NE(log.find("Input   : -- Buttons : 4\r\n"), std::string::npos);

    SDL_JoystickSetVirtualButton(device, 1, SDL_PRESSED);
    SDL_JoystickSetVirtualHat(device, 0, SDL_HAT_DOWN);
    input.Poll();
    EXPECT_TRUE(input.Pressed(qx::key::JoyButton(0, 1)));
    EXPECT_FLOAT_EQ(input.JoyPOV(0), 180);

    const SDL_JoystickID instance = SDL_JoystickInstanceID(device);
    SDL_JoystickClose(device);
    ASSERT_EQ(SDL_JoystickDetachVirtual(index), 0);
    input.JoyRemoved(instance);
    input.JoyRemoved(instance); // twice is harmless
    EXPECT_NE(TestLogText().find("Input   : - Joystick (0) removed\r\n"), std::string::npos);
    EXPECT_EQ(input.JoyCount(), 1) << "the slot, and so its key codes, stays";
    EXPECT_FALSE(input.Down(qx::key::JoyButton(0, 1)));
    EXPECT_FALSE(input.Pressed(qx::key::JoyButton(0, 1)));
    EXPECT_EQ(input.JoyPOV(0), -1);
    input.Poll(); // nothing left to read

    const int again = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 4, 1);
    ASSERT_GE(again, 0);
    input.JoyAdded(again);
    EXPECT_EQ(input.JoyCount(), 1) << "a new joystick takes the free slot";
    input.JoyAdded(-1); // no such device
    EXPECT_EQ(input.JoyCount(), 1);
    EXPECT_NE(TestLogText().find("Input   : - Joystick (-1) init error\r\n"), std::string::npos);
    SDL_JoystickDetachVirtual(again);
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

} // namespace
