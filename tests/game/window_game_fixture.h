// A game scene driven through the real window: the view takes the window's
// size and the mouse is captured, so the events a player makes reach the game
// as they would in play.
#pragma once

#include "tests/game/game_fixture.h"
#include "tests/support/window.h"

class WindowGameTest : public GameTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(test_window::GameWindow::Ready()) << "no display";
        GameTest::SetUp();
        SetViewSize(0, 0); // the real window's size
        qx::inp->MCapture(true);
        test_window::Step();
    }
};
