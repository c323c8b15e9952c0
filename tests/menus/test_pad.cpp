// The menus with only a gamepad (SDL's virtual joystick, plugged in after the
// menus exist, so the window's device event opens it): past the greeting,
// through every item of the main menu, into a sub-menu and back, and into a game.
#include <SDL.h>

#include <memory>
#include <set>

#include "tests/menus/menu_fixture.h"
#include "tests/support/window.h"

namespace {

const bool installed = (test_window::GameWindow::Install(), true);

class PadMenus : public MenusTest {
protected:
    void SetUp() override {
        MenusTest::SetUp();
        if (HasFatalFailure()) return;
        Create();
        pad_ = std::make_unique<test_window::VirtualPad>();
        ASSERT_TRUE(pad_->Attached());
        test_window::Step();
        ASSERT_GE(qx::inp->JoyCount(), 1);
    }
    void TearDown() override {
        pad_.reset();
        test_window::Step();
        MenusTest::TearDown();
    }
    std::unique_ptr<test_window::VirtualPad> pad_;
};

TEST_F(PadMenus, TheGreetingTheMainItemsASubMenuAndANewGame) {
    ASSERT_EQ(CurrentScene, input.get());
    const std::string name = menu->Profile;
    pad_->Button(1); // as Esc: the old name is kept
    ASSERT_EQ(CurrentScene, menu.get());
    EXPECT_EQ(menu->Profile, name);

    // Down the whole column: every enabled item comes up, wrapping round.
    std::set<int32_t> enabled, seen;
    for (int32_t i = 0; i < menu->Count(); ++i)
        if (menu->Item(i)->Enabled) enabled.insert(i);
    for (size_t i = 0; i < enabled.size(); ++i) {
        pad_->Hat(SDL_HAT_DOWN);
        seen.insert(menu->Selected);
    }
    EXPECT_EQ(seen, enabled);
    EXPECT_EQ(menu->Selected, 1) << "one round back to New game";

    // The stick: past the dead zone it steps, and a held stick repeats.
    pad_->SetAxis(1, SDL_JOYSTICK_AXIS_MIN / 4);
    test_window::Step();
    EXPECT_EQ(menu->Selected, 1) << "inside the dead zone";
    pad_->SetAxis(1, SDL_JOYSTICK_AXIS_MAX);
    for (int step = 0; step <= TRepeat::kDelay; ++step) test_window::Step();
    EXPECT_EQ(menu->Selected, 3) << "once at once, once after the delay";
    pad_->SetAxis(1, 0);
    pad_->Hat(SDL_HAT_UP);
    ASSERT_EQ(menu->Selected, 2);

    pad_->Button(0); // Options
    ASSERT_EQ(CurrentScene, menu->OptionsMenu.get());
    pad_->Hat(SDL_HAT_UP);
    EXPECT_EQ(menu->OptionsMenu->Item(menu->OptionsMenu->Selected)->Caption, "Back");
    pad_->Button(1);
    ASSERT_EQ(CurrentScene, menu.get());

    pad_->Hat(SDL_HAT_UP);
    ASSERT_EQ(menu->Selected, 1);
    pad_->Button(0);
    EXPECT_EQ(CurrentScene, game.get());
    EXPECT_TRUE(game->IsRunning());
    pad_->Button(1);
    EXPECT_EQ(CurrentScene, menu.get());
    EXPECT_TRUE(menu->ResumeItem->Enabled);
}

TEST_F(PadMenus, AHeldButtonActsOnceAndTypingStaysTheKeyboards) {
    pad_->Button(0); // no name typed: the greeting stays
    EXPECT_EQ(CurrentScene, input.get());
    Type("Pad");
    pad_->Hat(SDL_HAT_DOWN); // moves nothing in the entry, types nothing
    pad_->Button(0);         // as Enter: takes the typed name
    ASSERT_EQ(CurrentScene, menu.get());
    EXPECT_EQ(menu->Profile, "^2Pad");

    // Held over many steps, button 0 activates once: Options, and not its first item.
    pad_->Hat(SDL_HAT_DOWN);
    ASSERT_EQ(menu->Selected, 2);
    pad_->SetButton(0, true);
    for (int step = 0; step < 20; ++step) test_window::Step();
    pad_->SetButton(0, false);
    test_window::Step();
    EXPECT_EQ(CurrentScene, menu->OptionsMenu.get()) << "its first item, Profile, opens the entry";
}

TEST_F(PadMenus, APadPulledOutWithItsHatHeldStopsSteppingAndReadsCentred) {
    pad_->Button(1); // past the greeting
    ASSERT_EQ(CurrentScene, menu.get());
    pad_->SetHat(SDL_HAT_DOWN);
    test_window::Step();
    ASSERT_EQ(menu->Selected, 2);
    pad_->PullOut(); // still held down as it goes
    for (int step = 0; step < TRepeat::kDelay + 4 * TRepeat::kRate; ++step) test_window::Step();
    EXPECT_EQ(menu->Selected, 2) << "a pad that is gone steers nowhere";
    EXPECT_EQ(qx::inp->JoyPOV(0), -1) << "centred, not a hat held up";
}

} // namespace
