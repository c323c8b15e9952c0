// Play allocates nothing: a thousand ticks of a game with waves, new rows and
// particles run with every global operator new counted.
#include <cstdlib>
#include <new>

#include "app/list.h"
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
    const long allocations = CountAllocations([&] {
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
    });
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
    const long allocations = CountAllocations([&] {
        for (int tick = 0; tick < 800 && host.Finished == 0; ++tick) scene->Update();
    });
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(host.Finished, 1);
}

// The counter itself can fail: a direct call of the allocation function (which,
// unlike a new-expression, the optimiser may not remove), and an allocation
// made inside the game's own library code.
TEST(AllocationCounter, SeesAnAllocationInTheTestAndInLibraryCode) {
    void* probe = nullptr;
    EXPECT_EQ(CountAllocations([&] { probe = ::operator new(16); }), 1);
    ::operator delete(probe);

    TList list;
    EXPECT_EQ(CountAllocations([&] { list.Add(&list); }), 1) << "the list's first block";
    EXPECT_EQ(CountAllocations([&] { list.Add(&list); }), 0) << "room for four";
}

} // namespace
