// Play allocates nothing: a thousand ticks of a game with waves, new rows and
// particles run with every global operator new counted.
#include <cstdlib>
#include <new>

#include "tests/game/game_fixture.h"

#include "tests/alloc_counter.h"

namespace {

// Finds the first clickable group of three or more, scanning the board the way a player's eye might.
bool FindGroup(TGameScene& scene, int32_t& column, int32_t& row) {
    for (int32_t r = 1; r <= scene.Rows; ++r)
        for (int32_t c = 1; c <= scene.Columns; ++c) {
            const Vec2 corner = scene.CellPos(c, r);
            if (scene.CountGroup(static_cast<int32_t>(corner.x) + 16, static_cast<int32_t>(corner.y) + 16) >= 3) {
                column = c;
                row = r;
                return true;
            }
        }
    return false;
}

TEST_F(GameTest, AThousandTicksOfPlayAllocateNothing) {
    scene->NewGame(0);
    int waves = 0, maxParticles = 0;
    allocations = 0;
    counting = true;
    for (int tick = 0; tick < 1000; ++tick) {
        int32_t c = 0, r = 0;
        if (!scene->Busy && !scene->SettlePending && !scene->GameOver && FindGroup(*scene, c, r)) {
            PointAt(c, r);
            qx::inp->SetKey(qx::key::MouseLeft, true);
            ++waves;
        }
        scene->Update();
        maxParticles = std::max(maxParticles, scene->ParticleCount);
    }
    counting = false;
    EXPECT_EQ(allocations, 0);
    EXPECT_GE(waves, 5);
    EXPECT_GE(scene->Cur.Level, 3);
    EXPECT_GE(maxParticles, 45);
}

TEST_F(GameTest, TheClosingSequenceAllocatesNothing) {
    StartEmpty();
    Column(1, std::string(20, '1'));
    scene->Cur.Score = 300;
    scene->SettlePending = true;
    scene->TickCount = 4;
    allocations = 0;
    counting = true;
    for (int tick = 0; tick < 800 && host.Finished == 0; ++tick) scene->Update();
    counting = false;
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(host.Finished, 1);
}

TEST(AllocationCounter, SeesAnAllocation) {
    allocations = 0;
    counting = true;
    auto* probe = new int(5);
    counting = false;
    delete probe;
    EXPECT_EQ(allocations, 1);
}

} // namespace
