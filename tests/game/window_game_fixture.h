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
    void TearDown() override {
        SetViewScale(1);
        GameTest::TearDown();
    }
    // The smallest group on the board (small moves fill the board fastest); false when none.
    bool SmallestGroup(int32_t& column, int32_t& row, int32_t& size) {
        size = 0;
        for (int32_t c = 1; c <= scene->Columns; ++c)
            for (int32_t r = 1; r <= scene->Rows; ++r) {
                const Vec2 centre = AddVec(scene->CellPos(c, r), MakeVec(16, 16));
                const int32_t n = scene->CountGroup(static_cast<int32_t>(centre.x), static_cast<int32_t>(centre.y));
                if (n >= 3 && (size == 0 || n < size)) {
                    size = n;
                    column = c;
                    row = r;
                }
            }
        return size > 0;
    }
};
