// The rules as a player meets them: scoring, waves, settling, new rows, the end
// of a game and its closing sequence, play time, and clicks that must do nothing.
#include <cstring>

#include "tests/game/game_fixture.h"

namespace {

TEST_F(GameTest, GroupScoresGrowDoubleAboveFive) {
    const struct {
        int size, score;
    } cases[] = {{3, 3}, {5, 5}, {6, 12}, {10, 20}};
    for (const auto& each : cases) {
        StartEmpty();
        for (int c = 1; c <= each.size; ++c) Put(c, 1, 1);
        if (each.size < 10) {
            Put(each.size + 1, 1, 2);
        }
        Click(1, 1);
        EXPECT_EQ(scene->Cur.Score, each.score) << "group of " << each.size;
        EXPECT_TRUE(scene->Busy);
        for (int c = 1; c <= each.size; ++c) EXPECT_EQ(State(c, 1), TCellState::Vanish);
        EXPECT_FALSE(qx::inp->Down(qx::key::MouseLeft)) << "the click clears the button";
    }
}

TEST_F(GameTest, GroupOfTwoDoesNothingAndTheHeldButtonIsSpent) {
    StartEmpty();
    Column(1, "11");
    Column(2, "2");
    Click(1, 1);
    EXPECT_EQ(scene->Cur.Score, 0);
    EXPECT_FALSE(scene->Busy);
    EXPECT_EQ(State(1, 1), TCellState::Full);
    EXPECT_FALSE(qx::inp->Down(qx::key::MouseLeft));
    // The button is still physically down but its flag was cleared: a third cell
    // joining the group under the cursor is not removed until a new press.
    Put(1, 3, 1);
    Ticks(5);
    EXPECT_EQ(State(1, 1), TCellState::Full);
    Click(1, 1);
    EXPECT_EQ(scene->Cur.Score, 3);
}

TEST_F(GameTest, WaveTimersFollowTheShortestSameColourPath) {
    StartEmpty();
    // A U of colour 1 closed at the bottom; the far top corner is 5 cells away.
    Column(1, "111");
    Column(2, "121");
    Column(3, "111");
    Click(1, 1);
    const int expected[4][4] = {{}, {0, 10, 20, 30}, {0, 20, 0, 40}, {0, 30, 40, 50}};
    // The click tick already aged each timer by one.
    for (int c = 1; c <= 3; ++c)
        for (int r = 1; r <= 3; ++r)
            if (expected[c][r]) {
                EXPECT_EQ(scene->Board[c][r].Timer, expected[c][r] - 1) << c << "," << r;
            }
    EXPECT_EQ(scene->Cur.Score, 16);
    EXPECT_EQ(scene->WaveTimer, 49);
    // The wave lasts its longest timer: busy for 50 more ticks, then a row is owed.
    Ticks(49);
    EXPECT_TRUE(scene->Busy);
    Ticks(1);
    EXPECT_FALSE(scene->Busy);
    EXPECT_TRUE(scene->SettlePending || scene->Cur.Level == 1);
}

TEST_F(GameTest, VanishingCellsSparkOnceAtTimerTenButNotTheClickedCell) {
    StartEmpty();
    Column(1, "2");
    Put(1, 2, 1);
    Put(2, 2, 1);
    Put(3, 2, 1);
    Click(1, 2); // timers 10, 20, 30
    Ticks(30);
    EXPECT_EQ(scene->ParticleCount, 2 * 15);
    const Vec2 centre = AddVec(scene->CellPos(2, 2), MakeVec(16, 16));
    // Sparks fly out from the cell centre with velocities on the 0.0001 grid in [-1, 1).
    bool fromSecond = false;
    for (int i = 1; i <= scene->ParticleCount; ++i) {
        const TParticle& p = scene->Particles[i];
        EXPECT_GE(p.Vel.x, -1.0);
        EXPECT_LT(p.Vel.x, 1.0);
        EXPECT_EQ(p.Color, scene->CellColors[1]);
        // Cell (2, 2) sparked at tick 10 of 31; its sparks have moved 21 times.
        const Vec2 back = {p.Pos.x - p.Vel.x * 21, p.Pos.y - p.Vel.y * 21};
        if (std::abs(back.x - centre.x) < 1e-6 && std::abs(back.y - centre.y) < 1e-6) fromSecond = true;
    }
    EXPECT_TRUE(fromSecond);
}

TEST_F(GameTest, IdleBoardFallsOnlyOnEveryFifthTick) {
    StartEmpty();
    Column(1, "..2");
    scene->TickCount = 1;
    Ticks(3); // TickCount 2, 3, 4
    EXPECT_EQ(State(1, 3), TCellState::Full);
    Ticks(1); // 5
    EXPECT_EQ(State(1, 3), TCellState::Empty);
    EXPECT_EQ(State(1, 2), TCellState::Full);
    Ticks(4);
    EXPECT_EQ(State(1, 2), TCellState::Full);
    Ticks(1); // 10
    EXPECT_EQ(State(1, 1), TCellState::Full);
    EXPECT_EQ(State(1, 2), TCellState::Empty);
}

TEST_F(GameTest, NewRowComesAfterTheFirstSettledPassAndRaisesTheLevel) {
    StartEmpty();
    Column(1, "2...13");
    Column(2, "3");
    scene->SettlePending = true;
    scene->TickCount = 4;
    // Passes at ticks 5, 10 and 15 still move cells onto full ones in row 3 or higher.
    Ticks(15); // TickCount 19
    EXPECT_EQ(scene->Cur.Level, 0);
    EXPECT_EQ(State(1, 2), TCellState::Full);
    EXPECT_EQ(State(1, 3), TCellState::Full);
    EXPECT_EQ(State(1, 4), TCellState::Empty);
    Ticks(1); // 20: nothing moves, the row rises
    EXPECT_EQ(scene->Cur.Level, 1);
    EXPECT_FALSE(scene->SettlePending);
    for (int c = 1; c <= 10; ++c) EXPECT_EQ(State(c, 1), TCellState::Full) << c;
    EXPECT_EQ(scene->Board[1][2].Color, 2);
    EXPECT_EQ(scene->Board[1][3].Color, 1);
    EXPECT_EQ(scene->Board[1][4].Color, 3);
    EXPECT_EQ(scene->Board[2][2].Color, 3);
    Ticks(50);
    EXPECT_EQ(scene->Cur.Level, 1) << "one row per finished wave";
}

TEST_F(GameTest, TopCellsRemovedGiveTheRowAtTheFirstFifthTickAfterTheWave) {
    StartEmpty();
    for (int c = 1; c <= 10; ++c) Column(c, c <= 3 ? "231" : "23");
    scene->TickCount = 0;
    Click(1, 3); // timers 10, 20, 30: busy through tick 31
    Ticks(30);
    EXPECT_TRUE(scene->SettlePending);
    EXPECT_EQ(scene->Cur.Level, 0);
    EXPECT_EQ(scene->TickCount, 31);
    Ticks(3);
    EXPECT_EQ(scene->Cur.Level, 0);
    Ticks(1); // TickCount 35
    EXPECT_EQ(scene->Cur.Level, 1);
}

TEST_F(GameTest, NewGameDealsSevenRowsOrAFullBoard) {
    scene->NewGame(0);
    int full = 0;
    for (int c = 1; c <= 10; ++c)
        for (int r = 1; r <= 20; ++r) {
            if (State(c, r) == TCellState::Full) {
                ++full;
                EXPECT_LT(r, 8);
                EXPECT_GE(scene->Board[c][r].Color, 1);
                EXPECT_LE(scene->Board[c][r].Color, 3);
            }
        }
    EXPECT_EQ(full, 70);
    EXPECT_EQ(CurrentScene, scene.get());
    EXPECT_TRUE(scene->IsRunning());
    scene->NewGame(1);
    full = 0;
    for (int c = 1; c <= 10; ++c)
        for (int r = 1; r <= 20; ++r) full += State(c, r) == TCellState::Full;
    EXPECT_EQ(full, 200);
}

TEST_F(GameTest, RowOwedByAnAbandonedGameArrivesInTheNextOne) {
    scene->NewGame(0);
    scene->SettlePending = true; // Esc between the end of a wave and its row
    scene->Pause();
    scene->TickCount = 4;
    scene->NewGame(0);
    EXPECT_TRUE(scene->SettlePending);
    Ticks(1);
    EXPECT_EQ(scene->Cur.Level, 1);
    for (int c = 1; c <= 10; ++c) EXPECT_EQ(State(c, 8), TCellState::Full);
}

TEST_F(GameTest, GameEndsOnlyWhenASettledBoardHasATopCell) {
    StartEmpty();
    Column(1, std::string(19, '2'));
    Column(2, "111");
    scene->SettlePending = true;
    scene->TickCount = 4;
    Ticks(1); // the row lifts column 1 into row 20; that alone does not end the game
    EXPECT_EQ(scene->Cur.Level, 1);
    EXPECT_EQ(State(1, 20), TCellState::Full);
    Ticks(30);
    EXPECT_FALSE(scene->GameOver);
    EXPECT_TRUE(host.Added.empty());

    // The next finished wave and settled pass end it, without a new level.
    Click(2, 4);
    EXPECT_EQ(scene->Cur.Score, 3);
    Ticks(40);
    ASSERT_TRUE(scene->GameOver);
    EXPECT_EQ(scene->Cur.Level, 1);
    ASSERT_EQ(host.Added.size(), 1u);
    EXPECT_EQ(host.Added[0].Name, "^2Tester");
    EXPECT_EQ(host.Added[0].Score, 3);
    EXPECT_EQ(host.Added[0].Level, 1);
    EXPECT_EQ(host.Saves, 1);
    EXPECT_EQ(CurrentScene, scene.get()) << "the scene stays current for its closing sequence";
    EXPECT_FALSE(scene->IsRunning());
}

TEST_F(GameTest, OverflowTakesEveryConnectedFullCellWhateverItsColour) {
    StartEmpty();
    Column(1, "12312312312312312312");
    Column(2, "3");
    Column(4, "1");  // not connected
    Put(3, 20, 2, TCellState::Vanish); // not full: not taken
    scene->SettlePending = true;
    scene->TickCount = 4;
    Ticks(1);
    ASSERT_TRUE(scene->GameOver);
    for (int r = 1; r <= 20; ++r) EXPECT_EQ(State(1, r), TCellState::Error) << r;
    EXPECT_EQ(State(2, 1), TCellState::Error);
    EXPECT_EQ(State(4, 1), TCellState::Full);
    // Timers grow from the top: row 20 depth 1, row 1 depth 20, (2, 1) depth 21.
    EXPECT_EQ(scene->Board[1][20].Timer, 10);
    EXPECT_EQ(scene->Board[1][1].Timer, 200);
    EXPECT_EQ(scene->Board[2][1].Timer, 210);
    EXPECT_EQ(scene->WaveTimer, 210);
    EXPECT_FALSE(scene->Busy);
    // Every overflow cell sparks as its timer reaches 10 (the first one never does).
    Ticks(220);
    EXPECT_GT(scene->ParticleCount, 0);
    EXPECT_EQ(State(1, 20), TCellState::Error);
}

TEST_F(GameTest, ClosingSequenceCountsDownHoldsAndHandsBack) {
    host.Best.Score = 100;
    host.Best.Name = "Old";
    StartEmpty();
    Column(1, std::string(20, '1'));
    scene->Cur.Score = 250;
    scene->Cur.Level = 7;
    scene->SettlePending = true;
    scene->TickCount = 4;
    Ticks(1);
    ASSERT_TRUE(scene->GameOver);
    EXPECT_EQ(scene->WaveTimer, 200);
    // The overflow wave: the timer is still >= 0 for 200 more ticks.
    Ticks(200);
    EXPECT_EQ(scene->Cur.Score, 250);
    EXPECT_EQ(scene->Best.Score, 100);
    Ticks(1);
    EXPECT_EQ(scene->Cur.Score, 249);
    EXPECT_EQ(scene->Best.Score, 250) << "the final score replaces a lower best at once";
    EXPECT_EQ(scene->Best.Name.View(), "^2Tester");
    EXPECT_EQ(scene->Best.Level, 7);
    Ticks(248);
    EXPECT_EQ(scene->Cur.Score, 1);
    Ticks(1);
    EXPECT_EQ(scene->Cur.Score, 0);
    Ticks(200);
    EXPECT_EQ(scene->Cur.Score, 0) << "two seconds of hold";
    EXPECT_EQ(host.Finished, 0);
    const int particles = scene->ParticleCount;
    Ticks(1);
    EXPECT_EQ(scene->Cur.Score, -1);
    EXPECT_EQ(scene->ParticleCount, particles + 1) << "one last confetti";
    EXPECT_EQ(host.Finished, 0);
    Ticks(1);
    EXPECT_EQ(host.Finished, 1);
    EXPECT_EQ(CurrentScene, menu.get());
    EXPECT_EQ(scene->Best.Score, 250);
}

TEST_F(GameTest, ConfettiFallsFromTheTopEdgeInLightColours) {
    StartClosing(50);
    Ticks(10);
    ASSERT_EQ(scene->ParticleCount, 10);
    for (int i = 1; i <= 10; ++i) {
        const TParticle& p = scene->Particles[i];
        EXPECT_GE(p.Vel.y, 0);
        EXPECT_LT(p.Vel.y, 1.5);
        // Particle i was added at tick i and has moved 10 - i times since.
        const double startX = p.Pos.x - p.Vel.x * (10 - i);
        EXPECT_GE(startX, 0);
        EXPECT_LT(startX, 1024);
        EXPECT_NEAR(p.Pos.y, p.Vel.y * (10 - i), 1e-9);
        for (int shift : {0, 8, 16}) {
            const int channel = (p.Color >> shift) & 0xFF;
            EXPECT_GE(channel, 100);
            EXPECT_LE(channel, 254);
        }
    }
}

TEST_F(GameTest, ConfettiDrawsItsRandomNumbersInTheReplayOrder) {
    StartEmpty();
    scene->GameOver = true;
    scene->Cur.Score = 50;
    scene->WaveTimer = 0;
    SeedRandom(2024);
    Ticks(1);
    ASSERT_EQ(scene->ParticleCount, 1);
    // The same seed drawn by hand: velocity x, velocity y, x position, red, green, blue.
    SeedRandom(2024);
    const double vx = RandomStep(-0.5, 0.5, 0.0001);
    const double vy = RandomStep(0, 1.5, 0.0001);
    const double x = RandomStep(0, 1024, 0.1);
    const auto red = static_cast<uint8_t>(100 + RandomInt(155));
    const auto green = static_cast<uint8_t>(100 + RandomInt(155));
    const auto blue = static_cast<uint8_t>(100 + RandomInt(155));
    const TParticle& confetti = scene->Particles[1];
    EXPECT_EQ(confetti.Vel.x, vx);
    EXPECT_EQ(confetti.Vel.y, vy);
    EXPECT_EQ(confetti.Pos.x, x);
    EXPECT_EQ(confetti.Pos.y, 0);
    EXPECT_EQ(confetti.Color, qx::PackRGBA(red, green, blue, 255));
}

TEST_F(GameTest, ZeroFinalScoreSkipsTheHold) {
    StartClosing(0);
    Ticks(1);
    EXPECT_EQ(scene->Cur.Score, -1);
    Ticks(1);
    EXPECT_EQ(host.Finished, 1);
}

TEST_F(GameTest, NewGameShowsTheBetterOfTheTableAndTheAbandonedGame) {
    host.Best.Score = 100;
    host.Best.Level = 3;
    host.Best.Time = 500;
    host.Best.Name = "Top";
    scene->Cur.Score = 150;
    scene->Cur.Level = 4;
    scene->Cur.Time = 900;
    scene->NewGame(0);
    EXPECT_EQ(scene->Best.Score, 150);
    EXPECT_EQ(scene->Best.Level, 4);
    EXPECT_EQ(scene->Best.Time, 500) << "the table's time stays";
    EXPECT_EQ(scene->Best.Name.View(), "^2Tester");
    EXPECT_EQ(scene->Cur.Score, 0);
    EXPECT_EQ(scene->Cur.Level, 0);
    EXPECT_EQ(scene->Cur.Time, 0);

    scene->Cur.Score = 100; // equal is not better
    scene->NewGame(0);
    EXPECT_EQ(scene->Best.Name.View(), "Top");
    EXPECT_EQ(scene->Best.Score, 100);
}

TEST_F(GameTest, TheMenuTakingOverGivesTheGameItsPlayerName) {
    TRecordingHost menuHost;
    menuHost.Profile = "^2Menu player";
    scene->SetHost(menuHost);
    scene->NewGame(0);
    for (int c = 1; c <= 10; ++c) Column(c, std::string(20, '1'));
    scene->SettlePending = true;
    scene->TickCount = 4;
    Ticks(1);
    ASSERT_EQ(menuHost.Added.size(), 1u);
    EXPECT_EQ(menuHost.Added[0].Name, "^2Menu player") << "the result goes in under the name shown";
    scene->SetHost(host);
}

TEST_F(GameTest, PauseBanksPlayTimeAndStopsTheGame) {
    scene->NewGame(0);
    clock->Advance(1.234);
    scene->Pause();
    EXPECT_EQ(scene->Cur.Time, 123);
    EXPECT_EQ(CurrentScene, menu.get());
    clock->Advance(5);
    EXPECT_EQ(scene->Cur.Time, 123);

    // A paused game ignores clicks and does not settle.
    unsigned char before[sizeof scene->Board];
    std::memcpy(before, scene->Board, sizeof before);
    Click(1, 1);
    Ticks(10);
    EXPECT_EQ(std::memcmp(before, scene->Board, sizeof before), 0);
    EXPECT_EQ(scene->Cur.Score, 0);

    scene->Resume();
    EXPECT_EQ(CurrentScene, scene.get());
    clock->Advance(0.5);
    qx::inp->SetKey(27, true); // Esc
    qx::inp->SetKey(65, true);
    scene->Update();
    EXPECT_EQ(scene->Cur.Time, 173);
    EXPECT_EQ(CurrentScene, menu.get());
    EXPECT_FALSE(qx::inp->Down(27));
    EXPECT_FALSE(qx::inp->Down(65)) << "Pause clears every key";
}

TEST_F(GameTest, CellMappingOnA1024By768Window) {
    const Vec2 first = scene->CellPos(1, 1);
    EXPECT_EQ(first.x, 352);
    EXPECT_EQ(first.y, 704);
    const Vec2 last = scene->CellPos(10, 20);
    EXPECT_EQ(last.x, 640);
    EXPECT_EQ(last.y, 96);
    const auto at = [&](double x, double y) {
        const IntPoint cell = scene->CellAt(x, y);
        return std::make_pair(cell.x, cell.y);
    };
    EXPECT_EQ(at(352, 735), std::make_pair(1, 1));
    EXPECT_EQ(at(671, 97), std::make_pair(10, 20));
    EXPECT_EQ(at(672, 97), std::make_pair(11, 20));
    EXPECT_EQ(at(671, 96), std::make_pair(10, 21)) << "a row owns its bottom edge, not its top";
    EXPECT_EQ(at(400, 740), std::make_pair(2, 0)) << "the strip below row 1";
    EXPECT_EQ(at(330, 720), std::make_pair(1, 1)) << "truncation toward zero left of the board";
    EXPECT_EQ(at(1e300, -1e300).second, 1000000);
    for (int c = 1; c <= 10; ++c)
        for (int r = 1; r <= 20; ++r) {
            const Vec2 corner = scene->CellPos(c, r);
            EXPECT_EQ(at(corner.x + 31, corner.y + 1), std::make_pair(c, r));
        }
}

TEST_F(GameTest, ClicksOffTheBoardOrOnDeadCellsChangeOnlyTheKeys) {
    StartEmpty();
    Column(1, "111");
    Column(2, "1");
    Put(3, 1, 1, TCellState::Vanish);
    Put(3, 2, 1, TCellState::Full);
    Put(3, 3, 1, TCellState::Full);
    Put(4, 1, 1, TCellState::Error);
    Put(4, 2, 1, TCellState::Full);
    Put(4, 3, 1, TCellState::Full);
    const Vec2 targets[] = {
        {100, 100},                                  // left of the board
        {1000, 700},                                 // right of it
        {400, 750},                                  // the strip below row 1
        {360, 20},                                   // above row 20
        AddVec(scene->CellPos(5, 1), MakeVec(5, 5)), // empty
        AddVec(scene->CellPos(3, 1), MakeVec(5, 5)), // vanishing
        AddVec(scene->CellPos(4, 1), MakeVec(5, 5)), // overflow
    };
    scene->TickCount = 1;
    for (const Vec2& target : targets) {
        unsigned char before[sizeof scene->Board];
        std::memcpy(before, scene->Board, sizeof before);
        SetCursor(target.x, target.y);
        qx::inp->SetKey(qx::key::MouseLeft, true);
        qx::inp->SetKey(qx::key::A, true);
        scene->Update();
        EXPECT_EQ(std::memcmp(before, scene->Board, sizeof before), 0) << target.x << "," << target.y;
        EXPECT_EQ(scene->Cur.Score, 0);
        EXPECT_FALSE(scene->Busy);
        EXPECT_FALSE(qx::inp->Down(qx::key::MouseLeft));
        EXPECT_FALSE(qx::inp->Down(qx::key::A));
        scene->TickCount = 1; // keep gravity out of the comparison
    }
}

TEST_F(GameTest, ButtonHeldThroughAWaveActsWhenItEnds) {
    StartEmpty();
    Column(1, "111");
    Column(3, "222");
    Click(1, 1);
    ASSERT_TRUE(scene->Busy);
    PointAt(3, 1);
    qx::inp->SetKey(qx::key::MouseLeft, true);
    Ticks(10);
    EXPECT_TRUE(qx::inp->Down(qx::key::MouseLeft)) << "busy: the flag is left alone";
    EXPECT_EQ(State(3, 1), TCellState::Full);
    Ticks(30);
    EXPECT_EQ(scene->Cur.Score, 6);
    EXPECT_FALSE(qx::inp->Down(qx::key::MouseLeft));
}

TEST_F(GameTest, FullParticleTableDropsNewcomers) {
    StartEmpty();
    for (int i = 0; i < TGameScene::kMaxParticles + 50; ++i) scene->AddParticle({1, 2}, {0, 0}, 7);
    EXPECT_EQ(scene->ParticleCount, TGameScene::kMaxParticles);
    // Aging compacts in place, and the freed slots take new particles again.
    for (int i = 1; i <= 5000; ++i) scene->Particles[i].Life = 0.005;
    Ticks(1);
    EXPECT_EQ(scene->ParticleCount, 5000);
    for (int i = 1; i <= 5000; ++i) ASSERT_GT(scene->Particles[i].Life, 0);
    scene->AddParticle({1, 2}, {0, 0}, 7);
    EXPECT_EQ(scene->ParticleCount, 5001);
    scene->NewGame(0);
    EXPECT_EQ(scene->ParticleCount, 0) << "a new game clears the particles";
}

TEST_F(GameTest, DeadParticlesAreReplacedByTheLast) {
    StartEmpty();
    for (int i = 1; i <= 6; ++i) scene->AddParticle({double(i), 0}, {0, 0}, static_cast<uint32_t>(i));
    scene->Particles[2].Life = 0.005;
    scene->Particles[6].Life = 0.005;
    scene->Particles[4].Life = 0.01;
    Ticks(1);
    ASSERT_EQ(scene->ParticleCount, 3);
    std::vector<uint32_t> left;
    for (int i = 1; i <= 3; ++i) left.push_back(scene->Particles[i].Color);
    EXPECT_EQ(left, (std::vector<uint32_t>{1, 5, 3}));
}

} // namespace
