// A whole seeded game played as a player would, through the real window's
// event queue: mouse motion moves the shared cursor, the left button is pressed
// and released over a group, Esc pauses. The game runs from the deal through
// waves and rising rows to the overflow and the end of its closing sequence,
// with a frame drawn now and then; its record replays to the same result.
#include "tests/game/window_game_fixture.h"
#include "tests/support/window.h"
#include "tests/test_support.h"

namespace {

const bool installed = (test_window::GameWindow::Install(), true);

class PlayTest : public WindowGameTest {};

TEST_F(PlayTest, SeededGameFromDealToTheEndOfTheClosingSequence) {
    SeedRandom(2024);
    host.Best.Score = 10;
    host.Best.Name = "Old";
    SetCursor(512, 384);
    scene->NewGame(0);
    ASSERT_EQ(CurrentScene, scene.get());

    int waves = 0, expectedScore = 0, pauses = 0, lastLevel = 0, steps = 0;
    bool sawCountDown = false, sawHold = false;
    while (host.Finished == 0 && steps < 100000) {
        ++steps;
        if (steps % 25 == 0) qx::eng->Render();
        if (CurrentScene == menu.get()) { // paused: the menu's "Resume game"
            scene->Resume();
            continue;
        }
        const bool idle = !scene->Busy && !scene->SettlePending && !scene->GameOver;
        if (idle && waves == 4 && pauses == 0) {
            test_window::Push(test_window::KeyEvent(SDL_SCANCODE_ESCAPE, true));
            test_window::Step();
            test_window::Push(test_window::KeyEvent(SDL_SCANCODE_ESCAPE, false));
            test_window::Step();
            ++pauses;
            EXPECT_EQ(CurrentScene, menu.get());
            continue;
        }
        int32_t c = 0, r = 0, size = 0;
        if (idle && steps % 7 == 0) {
            ASSERT_TRUE(SmallestGroup(c, r, size)) << "no move left at level " << scene->Cur.Level;
            const Vec2 target = AddVec(scene->CellPos(c, r), MakeVec(12, 20));
            const Vec2 cursor = GetCursor();
            test_window::Push(test_window::MotionEvent(static_cast<int>(target.x - cursor.x),
                                                       static_cast<int>(target.y - cursor.y)));
            test_window::Step();
            ASSERT_EQ(GetCursor().x, target.x);
            ASSERT_EQ(GetCursor().y, target.y);
            test_window::Push(test_window::ButtonEvent(SDL_BUTTON_LEFT, true));
            test_window::Step();
            test_window::Push(test_window::ButtonEvent(SDL_BUTTON_LEFT, false));
            test_window::Step();
            ASSERT_TRUE(scene->Busy);
            ++waves;
            expectedScore += size <= 5 ? size : 2 * size;
            ASSERT_EQ(scene->Cur.Score, expectedScore);
            continue;
        }
        test_window::Step();
        ASSERT_TRUE(scene->Cur.Level == lastLevel || scene->Cur.Level == lastLevel + 1);
        lastLevel = scene->Cur.Level;
        if (scene->GameOver && scene->Cur.Score < expectedScore && scene->Cur.Score > 0) sawCountDown = true;
        if (scene->GameOver && scene->Cur.Score == 0) sawHold = true;
    }
    EXPECT_EQ(host.Finished, 1);
    EXPECT_EQ(CurrentScene, menu.get());
    EXPECT_TRUE(sawCountDown);
    EXPECT_TRUE(sawHold);
    EXPECT_EQ(pauses, 1);
    EXPECT_GE(waves, 10);
    // Every finished wave but the last raised a row; the last one ended the game.
    EXPECT_EQ(scene->Cur.Level, waves - 1);
    ASSERT_EQ(host.Added.size(), 1u);
    EXPECT_EQ(host.Added[0].Score, expectedScore);
    EXPECT_EQ(host.Added[0].Level, waves - 1);
    ExpectReplayGives(host); // the pause took no ticks from the record
    EXPECT_EQ(host.Saves, 1);
    EXPECT_EQ(scene->Best.Score, expectedScore);
    EXPECT_EQ(scene->Cur.Score, -1);
    int overflow = 0;
    for (int col = 1; col <= 10; ++col)
        for (int row = 1; row <= 20; ++row) overflow += scene->Board[col][row].State == TCellState::Error;
    EXPECT_GT(overflow, 0);
    EXPECT_EQ(TestLogText().find("Error in"), std::string::npos);
}

// At scale 2 the mouse's device pixels reach the game halved: moved from the
// top-left corner to the device-pixel centre of a cell, the cursor stands at
// that cell's centre in the view and a click there removes its group.
TEST_F(PlayTest, AtScaleTwoAClickAtTheDevicePixelCentreOfACellHitsThatCell) {
    SetViewScale(2);
    StartEmpty();
    Column(2, "2");
    Column(3, "11");
    Column(4, "12");
    const Vec2 centre = AddVec(scene->CellPos(3, 2), MakeVec(16, 16));
    SetCursor(0, 0);
    test_window::Push(test_window::MotionEvent(static_cast<int>(2 * centre.x), static_cast<int>(2 * centre.y)));
    test_window::Step();
    EXPECT_EQ(GetCursor().x, centre.x);
    EXPECT_EQ(GetCursor().y, centre.y);
    test_window::Push(test_window::ButtonEvent(SDL_BUTTON_LEFT, true));
    test_window::Step();
    test_window::Push(test_window::ButtonEvent(SDL_BUTTON_LEFT, false));
    test_window::Step();
    EXPECT_TRUE(scene->Busy) << "the click missed the group";
    EXPECT_EQ(scene->Cur.Score, 3);
    EXPECT_EQ(State(2, 1), TCellState::Full) << "the neighbours of another colour stay";
    EXPECT_EQ(State(4, 2), TCellState::Full);
}

} // namespace

