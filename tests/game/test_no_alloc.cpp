// Play allocates nothing: a thousand ticks of a game with waves, new rows and
// particles run with every global operator new counted.
#include <cstdlib>
#include <new>

#include "tests/game/game_fixture.h"

namespace {
long allocations = 0;
bool counting = false;
} // namespace

void* operator new(std::size_t size) {
    if (counting) ++allocations;
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
// The other forms too, so no library pairs one of ours with a runtime's.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (counting) ++allocations;
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void* operator new(std::size_t size, std::align_val_t align) {
    if (counting) ++allocations;
    const auto alignment = static_cast<std::size_t>(align);
    if (void* memory = std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)) return memory;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t align) { return operator new(size, align); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }

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
            qx::inp->SetKey(257, true);
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
