// The nickname entry with text typed through the real window: what a name
// becomes, which characters are refused, the length check, Esc, and the
// rebuild that follows an accepted name.
#include <gtest/gtest.h>

#include <string>

#include "tests/menus/menu_fixture.h"
#include "tests/support/window.h"

namespace {

const bool installed = (test_window::GameWindow::Install(), true);

class InputSceneTest : public MenusTest {
protected:
    void SetUp() override {
        MenusTest::SetUp();
        if (HasFatalFailure()) return;
        Create();
    }
    void Enter() { Press(qx::key::Enter); }
};

TEST_F(InputSceneTest, ATypedNameBecomesTheGreenProfileEverywhere) {
    EXPECT_EQ(CurrentScene, input.get());
    Type("Bob");
    Enter();
    EXPECT_EQ(CurrentScene, menu.get());
    EXPECT_EQ(menu->Profile, "^2Bob");
    EXPECT_EQ(game->Cur.Name.View(), "^2Bob");
    EXPECT_EQ(menu->OptionsMenu->Item(0)->Caption, "Profile : ^2Bob"); // the menus were rebuilt
    EXPECT_FALSE(TextInput);
}

TEST_F(InputSceneTest, MarkupIsStrippedAfterTheLengthCheck) {
    Type("^1Al");
    Enter();
    EXPECT_EQ(menu->Profile, "^2Al");
    menu->OptionsMenu->Item(0)->Click(); // "Profile : " opens the entry again
    EXPECT_EQ(CurrentScene, input.get());
    Type("^1^2");
    Enter();
    EXPECT_EQ(menu->Profile, "^2");
}

TEST_F(InputSceneTest, EnterWantsThreeCharactersAndHoldingItKeepsChecking) {
    Type("Jo");
    Enter();
    Enter();
    EXPECT_EQ(CurrentScene, input.get());
    Type("e");
    Enter();
    EXPECT_EQ(menu->Profile, "^2Joe");
}

TEST_F(InputSceneTest, TheAtSignIsRefusedAndBackspaceOnNothingIsHarmless) {
    Backspace();
    EXPECT_EQ(GetInputText(), "");
    Type("a@b 1?[`");
    EXPECT_EQ(GetInputText(), "ab 1?[`");
    Backspace();
    EXPECT_EQ(GetInputText(), "ab 1?[");
}

TEST_F(InputSceneTest, ALineBreakCutsTheNameBeforeItsLastOne) {
    Type("Ann^-x^-yz");
    Enter();
    EXPECT_EQ(menu->Profile, "^2Annx"); // "Ann^-x" stripped
    menu->OptionsMenu->Item(0)->Click();
    Type("^-Zed"); // nothing before it: the whole text stays
    Enter();
    EXPECT_EQ(menu->Profile, "^2Zed");
}

TEST_F(InputSceneTest, EscKeepsTheOldNameAndANewNameDisablesResume) {
    const std::string old = menu->Profile;
    Type("Eve");
    Press(qx::key::Esc);
    EXPECT_EQ(CurrentScene, menu.get());
    EXPECT_EQ(menu->Profile, old);
    EXPECT_TRUE(TextInput); // still collecting: the next opening discards it

    Choose(*menu, "New game");
    Press(qx::key::Esc);
    ASSERT_TRUE(menu->ResumeItem->Enabled);
    Choose(*menu->OptionsMenu, "Profile : " + old);
    EXPECT_EQ(GetInputText(), "");
    Type("Eve");
    Enter();
    EXPECT_FALSE(menu->ResumeItem->Enabled); // a game paused under the old name stays paused
}

TEST_F(InputSceneTest, EscAndEnterInOneStepKeepTheOldNameAndThePausedGame) {
    const std::string old = menu->Profile;
    CurrentScene = menu.get();
    Choose(*menu, "New game");
    Press(qx::key::Esc); // the game pauses into the menu
    ASSERT_TRUE(menu->ResumeItem->Enabled);
    Choose(*menu->OptionsMenu, "Profile : " + old);
    Type("Eve");
    qx::inp->SetKey(qx::key::Enter, true);
    Press(qx::key::Esc);
    qx::inp->SetKey(qx::key::Enter, false);
    EXPECT_EQ(CurrentScene, menu.get());
    EXPECT_EQ(menu->Profile, old);
    EXPECT_TRUE(menu->ResumeItem->Enabled) << "no rebuild: the paused game can be resumed";
}

TEST_F(InputSceneTest, ThePromptIsRevealedAtFifteenCharactersASecond) {
    EXPECT_EQ(input->Shown, 0);
    for (int i = 0; i < 100; ++i) AppUpdate();
    EXPECT_EQ(input->Shown, 15);
    for (int i = 0; i < 2000; ++i) AppUpdate();
    EXPECT_GE(input->Shown, static_cast<int32_t>(input->Prompt.size()));
    AppRender();
}

} // namespace
