// The game without a mouse, through the real window's event queue: the arrow
// keys step the shared cursor cell by cell, Space and Enter act on the cell
// under it as a left click does, and a gamepad (SDL's virtual joystick,
// plugged in and pulled out while the game runs) does the same with its hat,
// stick and first two buttons. A whole game is played with the keys alone,
// and one with the pad alone.
#include <SDL.h>

#include <memory>
#include <utility>

#include "tests/game/window_game_fixture.h"
#include "tests/support/window.h"
#include "tests/test_support.h"

namespace {

const bool installed = (test_window::GameWindow::Install(), true);

class KeyPlay : public WindowGameTest {
protected:
    void SetUp() override {
        WindowGameTest::SetUp();
        if (HasFatalFailure()) return;
        StartEmpty();
    }
    // A key pressed and released within one pass of the loop, as a quick tap.
    static void Tap(SDL_Scancode scancode, uint16_t mod = KMOD_NONE) {
        test_window::Push(test_window::KeyEvent(scancode, true, mod));
        test_window::Push(test_window::KeyEvent(scancode, false, mod));
        test_window::Step();
    }
    void Steps(int n) {
        for (int i = 0; i < n; ++i) test_window::Step();
    }
    // The cell under the cursor, and whether the cursor stands on its centre.
    std::pair<int32_t, int32_t> CursorCell() const {
        const Vec2 cursor = GetCursor();
        const IntPoint cell = scene->CellAt(cursor.x, cursor.y);
        const Vec2 corner = scene->CellPos(cell.x, cell.y);
        EXPECT_EQ(cursor.x, corner.x + 16);
        EXPECT_EQ(cursor.y, corner.y + 16);
        return {cell.x, cell.y};
    }
    using Cell = std::pair<int32_t, int32_t>;

    // A seeded game from the deal to the end of its closing sequence, the
    // cursor moved only by move(dx, dy) (one cell; dy > 0 is up the board) and
    // each group taken by act(). It starts off the board, where the first
    // move only enters it, and the mouse never moves.
    template <typename Move, typename Act>
    void PlayToTheEnd(Move move, Act act) {
        SeedRandom(2024);
        scene->NewGame(0);
        SetCursor(0, 0);
        int moves = 0, steps = 0, expectedScore = 0, cellSteps = 0;
        while (host.Finished == 0 && steps < 100000) {
            ++steps;
            if (steps % 25 == 0) qx::eng->Render();
            const bool idle = !scene->Busy && !scene->SettlePending && !scene->GameOver;
            if (!idle || steps % 7 != 0) {
                test_window::Step();
                continue;
            }
            int32_t column = 0, row = 0, size = 0;
            ASSERT_TRUE(SmallestGroup(column, row, size)) << "no move left at level " << scene->Cur.Level;
            for (int guard = 0; guard < 64; ++guard, ++cellSteps) {
                const IntPoint at = scene->CellAt(GetCursor().x, GetCursor().y);
                if (at.x != column) move(at.x < column ? 1 : -1, 0);
                else if (at.y != row) move(0, at.y < row ? 1 : -1);
                else break;
            }
            ASSERT_EQ(CursorCell(), Cell(column, row));
            // Counted again: the steps the moves took may have moved the board on.
            size = scene->CountGroup(static_cast<int32_t>(GetCursor().x), static_cast<int32_t>(GetCursor().y));
            act();
            ASSERT_TRUE(scene->Busy) << "no wave on a group of " << size;
            ++moves;
            expectedScore += size <= 5 ? size : 2 * size;
            ASSERT_EQ(scene->Cur.Score, expectedScore);
        }
        EXPECT_EQ(host.Finished, 1);
        EXPECT_EQ(CurrentScene, menu.get());
        EXPECT_GE(moves, 10);
        EXPECT_GT(cellSteps, moves);
        EXPECT_EQ(scene->Cur.Level, moves - 1) << "every wave but the last raised a row";
        ASSERT_EQ(host.Added.size(), 1u);
        EXPECT_EQ(host.Added[0].Score, expectedScore);
        ExpectReplayGives(host);
        EXPECT_EQ(host.Saves, 1);
    }
};

TEST_F(KeyPlay, ArrowsStepOneCellFromInsideAndHoldAtEachEdge) {
    PointAt(5, 10);
    Tap(SDL_SCANCODE_RIGHT);
    EXPECT_EQ(CursorCell(), Cell(6, 10));
    Tap(SDL_SCANCODE_UP);
    EXPECT_EQ(CursorCell(), Cell(6, 11));
    Tap(SDL_SCANCODE_DOWN);
    Tap(SDL_SCANCODE_DOWN);
    EXPECT_EQ(CursorCell(), Cell(6, 9));
    Tap(SDL_SCANCODE_LEFT);
    EXPECT_EQ(CursorCell(), Cell(5, 9));
    // The keypad's arrows, NumLock off; and each auto-repeat of a held key.
    Tap(SDL_SCANCODE_KP_4);
    EXPECT_EQ(CursorCell(), Cell(4, 9));
    test_window::Push(test_window::KeyEvent(SDL_SCANCODE_KP_8, true));
    test_window::Step();
    test_window::Step(); // held, no repeat yet
    EXPECT_EQ(CursorCell(), Cell(4, 10));
    test_window::Push(test_window::KeyEvent(SDL_SCANCODE_KP_8, true, KMOD_NONE, true));
    test_window::Push(test_window::KeyEvent(SDL_SCANCODE_KP_8, true, KMOD_NONE, true));
    test_window::Step(); // two repeats in one pass count once
    test_window::Push(test_window::KeyEvent(SDL_SCANCODE_KP_8, false));
    test_window::Step();
    EXPECT_EQ(CursorCell(), Cell(4, 11));

    const struct {
        Cell From;
        SDL_Scancode Key;
    } edges[] = {{{1, 5}, SDL_SCANCODE_LEFT}, {{10, 5}, SDL_SCANCODE_RIGHT},
                 {{3, 20}, SDL_SCANCODE_UP}, {{3, 1}, SDL_SCANCODE_DOWN}};
    for (const auto& edge : edges) {
        PointAt(edge.From.first, edge.From.second);
        Tap(edge.Key);
        EXPECT_EQ(CursorCell(), edge.From) << SDL_GetScancodeName(edge.Key);
    }

    // The mouse takes over from wherever the keys left the cursor.
    const Vec2 before = GetCursor();
    test_window::Push(test_window::MotionEvent(5, -7));
    test_window::Step();
    EXPECT_EQ(GetCursor().x, before.x + 5);
    EXPECT_EQ(GetCursor().y, before.y - 7);
}

TEST_F(KeyPlay, FromOutsideTheBoardAnArrowEntersAtTheNearestCell) {
    const Vec2 topLeft = scene->CellPos(1, 20);
    const Vec2 bottomRight = AddVec(scene->CellPos(10, 1), MakeVec(32, 32));
    const Vec2 row5 = scene->CellPos(1, 5);
    const struct {
        Vec2 At;
        SDL_Scancode Key;
        Cell Expected;
    } cases[] = {
        {MakeVec(0, 0), SDL_SCANCODE_DOWN, {1, 20}},                           // above and left
        {MakeVec(bottomRight.x + 200, bottomRight.y + 10), SDL_SCANCODE_LEFT, {10, 1}}, // below and right
        {MakeVec(topLeft.x - 10, row5.y + 3), SDL_SCANCODE_RIGHT, {1, 5}},     // just left: enters, no step
        {MakeVec(topLeft.x + 40, topLeft.y - 1), SDL_SCANCODE_UP, {2, 20}},    // just above
    };
    for (const auto& c : cases) {
        SetCursor(c.At.x, c.At.y);
        Tap(c.Key);
        EXPECT_EQ(CursorCell(), c.Expected) << c.At.x << "," << c.At.y;
    }
}

TEST_F(KeyPlay, SpaceAndEnterActAsAClickAndPressesDuringAWaveDoNothing) {
    Column(1, "111");
    Column(2, "2222");
    Column(3, "33");
    Column(5, "333");
    PointAt(1, 1);
    Tap(SDL_SCANCODE_SPACE);
    EXPECT_EQ(State(1, 1), TCellState::Vanish);
    EXPECT_EQ(State(1, 3), TCellState::Vanish);
    EXPECT_EQ(scene->Cur.Score, 3);
    ASSERT_TRUE(scene->Busy);

    // During the wave: Enter does nothing, and is not kept for later.
    Tap(SDL_SCANCODE_RIGHT);
    Tap(SDL_SCANCODE_RETURN);
    EXPECT_EQ(State(2, 1), TCellState::Full);
    while (scene->Busy || scene->SettlePending) test_window::Step();
    Steps(3);
    EXPECT_EQ(scene->Cur.Score, 3) << "a press during the wave acted after it";

    // The next press after the wave acts: the keypad's Enter on a group of four.
    for (auto& column : scene->Board)
        for (auto& cell : column) cell = TCell{};
    Column(2, "2222");
    PointAt(2, 1);
    Tap(SDL_SCANCODE_KP_ENTER);
    EXPECT_EQ(State(2, 4), TCellState::Vanish);
    EXPECT_EQ(scene->Cur.Score, 7);
    while (scene->Busy || scene->SettlePending) test_window::Step();

    // A group of two is no move: Space on it changes nothing.
    for (auto& column : scene->Board)
        for (auto& cell : column) cell = TCell{};
    Column(3, "33");
    const int32_t level = scene->Cur.Level;
    PointAt(3, 2);
    Tap(SDL_SCANCODE_SPACE);
    EXPECT_FALSE(scene->Busy);
    EXPECT_EQ(State(3, 2), TCellState::Full);
    EXPECT_EQ(scene->Cur.Score, 7);
    EXPECT_EQ(scene->Cur.Level, level);

    // Esc still pauses (read from the key's flag, so held over a step).
    test_window::Push(test_window::KeyEvent(SDL_SCANCODE_ESCAPE, true));
    test_window::Step();
    test_window::Push(test_window::KeyEvent(SDL_SCANCODE_ESCAPE, false));
    test_window::Step();
    EXPECT_EQ(CurrentScene, menu.get());
}

TEST_F(KeyPlay, AWholeGameWithTheArrowsAndSpaceAlone) {
    PlayToTheEnd(
        [](int dx, int dy) {
            Tap(dx > 0 ? SDL_SCANCODE_RIGHT : dx < 0 ? SDL_SCANCODE_LEFT : dy > 0 ? SDL_SCANCODE_UP : SDL_SCANCODE_DOWN);
        },
        [] { Tap(SDL_SCANCODE_SPACE); });
}

class PadPlay : public KeyPlay {
protected:
    void SetUp() override {
        KeyPlay::SetUp();
        if (HasFatalFailure()) return;
        pad_ = std::make_unique<test_window::VirtualPad>();
        ASSERT_TRUE(pad_->Attached());
        test_window::Step(); // the device-added event: the game opens it
        ASSERT_GE(qx::inp->JoyCount(), 1);
    }
    void TearDown() override {
        pad_.reset();
        test_window::Step();
        KeyPlay::TearDown();
    }
    std::unique_ptr<test_window::VirtualPad> pad_;
};

TEST_F(PadPlay, HatAndStickStepWithRepeatAndTheButtonsClickAndPause) {
    PointAt(5, 10);
    pad_->SetHat(SDL_HAT_RIGHT);
    test_window::Step();
    EXPECT_EQ(CursorCell(), Cell(6, 10)) << "a held direction steps at once";
    Steps(TRepeat::kDelay - 1);
    EXPECT_EQ(CursorCell(), Cell(6, 10));
    test_window::Step();
    EXPECT_EQ(CursorCell(), Cell(7, 10)) << "then after the delay";
    Steps(TRepeat::kRate);
    EXPECT_EQ(CursorCell(), Cell(8, 10)) << "then at the rate";
    pad_->SetHat(SDL_HAT_CENTERED);
    Steps(TRepeat::kDelay);
    EXPECT_EQ(CursorCell(), Cell(8, 10));

    // The left stick: inside the dead zone nothing, past it one step.
    pad_->SetAxis(1, SDL_JOYSTICK_AXIS_MAX / 4);
    Steps(TRepeat::kDelay + 1);
    EXPECT_EQ(CursorCell(), Cell(8, 10));
    pad_->SetAxis(1, SDL_JOYSTICK_AXIS_MAX / 2); // down the screen
    test_window::Step();
    EXPECT_EQ(CursorCell(), Cell(8, 9));
    pad_->SetAxis(1, 0);
    test_window::Step();

    Column(8, "111111111");
    pad_->Button(0);
    EXPECT_EQ(State(8, 9), TCellState::Vanish);
    EXPECT_EQ(scene->Cur.Score, 18);
    while (scene->Busy) test_window::Step();
    pad_->Button(1);
    EXPECT_EQ(CurrentScene, menu.get());
}

TEST_F(PadPlay, PulledOutMidGamePausesNothingAndBreaksNothing) {
    PointAt(5, 10);
    pad_->SetButton(0, true);
    pad_->SetHat(SDL_HAT_UP);
    test_window::Step();
    EXPECT_EQ(CursorCell(), Cell(5, 11));
    const size_t start = TestLogText().size();
    pad_->PullOut();
    Steps(TRepeat::kDelay * 2);
    EXPECT_NE(TestLogText().find("Input   : - Joystick (0) removed", start), std::string::npos);
    EXPECT_EQ(CurrentScene, scene.get());
    EXPECT_TRUE(scene->IsRunning());
    EXPECT_EQ(CursorCell(), Cell(5, 11)) << "a pulled-out pad's hat is centred";
    // The keys carry on.
    Tap(SDL_SCANCODE_LEFT);
    EXPECT_EQ(CursorCell(), Cell(4, 11));
}

TEST_F(PadPlay, AWholeGameWithTheHatAndTheFirstButtonAlone) {
    PlayToTheEnd(
        [&](int dx, int dy) {
            pad_->Hat(dx > 0 ? SDL_HAT_RIGHT : dx < 0 ? SDL_HAT_LEFT : dy > 0 ? SDL_HAT_UP : SDL_HAT_DOWN);
        },
        [&] { pad_->Button(0); });
}

} // namespace
