// Sprite tree, sprite engine and particle: naming, counting, the kill queue and
// its flush, stepping and drawing walks, and the particle's life.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "presentation/sprite.h"
#include "presentation/tools.h"
#include "tests/support/window.h"

namespace {

// Counts its steps, draws and lives, so walks and releases can be checked.
class TProbe : public TSprite {
public:
    explicit TProbe(TSprite* parent) : TSprite(parent) { ++alive; }
    ~TProbe() override { --alive; }
    void Step() override { ++steps; }
    void Draw() override { ++draws; }

    int steps = 0;
    int draws = 0;
    static inline int alive = 0;
};

std::vector<TSprite*> ChildrenOf(const TSprite& sprite) {
    std::vector<TSprite*> result;
    for (int32_t i = 0; i < sprite.ChildCount(); ++i) result.push_back(sprite.Child(i));
    return result;
}

class SpriteTest : public testing::Test {
protected:
    void SetUp() override {
        SeedRandom(7);
        TProbe::alive = 0;
        engine = new TSpriteEngine(nullptr);
    }
    void TearDown() override {
        engine->Dispose();
        EXPECT_EQ(TProbe::alive, 0) << "every sprite goes with its engine";
    }
    TSpriteEngine* engine = nullptr;
};

TEST_F(SpriteTest, NamesCountsAndReferences) {
    EXPECT_EQ(engine->Name, "TSpriteEngine Boss");
    EXPECT_EQ(engine->Engine, nullptr);
    EXPECT_EQ(engine->RefCount, 1);

    auto* first = new TPart(engine, 10, 10, 0, 0, 100, 10, 255, 255, 255, false);
    auto* probe = new TProbe(engine);
    auto* grandChild = new TProbe(probe);
    EXPECT_EQ(first->Name, "TPart #1");
    EXPECT_EQ(probe->Name, "TSprite #2");
    EXPECT_EQ(grandChild->Name, "TSprite #3") << "a grandchild is counted by the engine above";
    EXPECT_EQ(grandChild->Engine, engine);
    EXPECT_EQ(grandChild->Parent, probe);
    EXPECT_EQ(engine->SpriteCount, 3);
    EXPECT_EQ(first->RefCount, 1);
    EXPECT_EQ(ChildrenOf(*engine), (std::vector<TSprite*>{first, probe}));
    EXPECT_EQ(probe->ChildCount(), 1);
}

TEST_F(SpriteTest, WalksSkipFrozenAndHiddenSubtrees) {
    auto* frozen = new TProbe(engine);
    auto* frozenChild = new TProbe(frozen);
    auto* hidden = new TProbe(engine);
    auto* hiddenChild = new TProbe(hidden);
    frozen->Moved = false;
    hidden->Visible = false;

    engine->StepAll();
    engine->StepAll();
    engine->DrawAll();
    EXPECT_EQ(frozen->steps + frozenChild->steps, 0);
    EXPECT_EQ(hidden->steps, 2);
    EXPECT_EQ(hiddenChild->steps, 2);
    EXPECT_EQ(hidden->draws + hiddenChild->draws, 0);
    EXPECT_EQ(frozen->draws, 1);
    EXPECT_EQ(frozenChild->draws, 1);

    engine->Moved = false;
    engine->StepAll();
    EXPECT_EQ(hidden->steps, 2) << "a frozen engine stops its whole tree";
}

TEST_F(SpriteTest, KillQueuesOnceAndFlushMovesLastChildIntoTheGap) {
    std::vector<TProbe*> s;
    for (int i = 0; i < 5; ++i) s.push_back(new TProbe(engine)); // A B C D E
    s[1]->Kill();
    s[1]->Kill();
    s[3]->Kill();
    EXPECT_EQ(engine->KillQueue.Count(), 2);
    EXPECT_EQ(TProbe::alive, 5) << "killed sprites wait for the flush";

    engine->StepAll();
    EXPECT_EQ(s[1]->steps, 1) << "a queued sprite is still stepped";

    engine->Kill(); // D goes first (A B C E), then B (A E C)
    EXPECT_EQ(ChildrenOf(*engine), (std::vector<TSprite*>{s[0], s[4], s[2]}));
    EXPECT_EQ(engine->KillQueue.Count(), 0);
    EXPECT_EQ(TProbe::alive, 3);
}

TEST_F(SpriteTest, KilledSpriteUnderPlainSpriteLeavesItsParentsList) {
    auto* parent = new TProbe(engine);
    auto* child = new TProbe(parent);
    auto* sibling = new TProbe(parent);
    child->Kill();
    EXPECT_EQ(engine->KillQueue.Count(), 1);
    engine->Kill();
    EXPECT_EQ(ChildrenOf(*parent), std::vector<TSprite*>{sibling});
    engine->StepAll(); // would touch freed memory if the parent still listed the child
    EXPECT_EQ(sibling->steps, 1);
    EXPECT_EQ(TProbe::alive, 2);
}

TEST_F(SpriteTest, DisposingAParentTakesItsQueuedChildrenOutOfTheQueue) {
    auto* parent = new TProbe(engine);
    auto* child = new TProbe(parent);
    child->Kill();
    parent->Dispose(); // disposed directly, while still listed by the engine
    EXPECT_EQ(engine->KillQueue.Count(), 0);
    EXPECT_EQ(engine->ChildCount(), 0);
    engine->Kill();
    EXPECT_EQ(TProbe::alive, 0);
}

TEST_F(SpriteTest, ClearChildrenEmptiesNestedEnginesAndDisposeReleasesThem) {
    auto* nested = new TSpriteEngine(engine);
    EXPECT_EQ(nested->Name, "TSpriteEngine #1");
    new TProbe(nested);
    new TProbe(nested);
    new TProbe(engine);
    EXPECT_EQ(TProbe::alive, 3);

    engine->ClearChildren();
    EXPECT_EQ(TProbe::alive, 0);
    EXPECT_EQ(ChildrenOf(*engine), std::vector<TSprite*>{nested}) << "a nested engine is emptied, not removed";
    EXPECT_EQ(nested->ChildCount(), 0);
    new TProbe(nested); // still usable; the fixture's Dispose must release it and the nested engine
}

TEST_F(SpriteTest, ExtraReferenceOutlivesTheTreeDetached) {
    auto* probe = new TProbe(engine);
    probe->AddRef();
    engine->ClearChildren();
    EXPECT_EQ(TProbe::alive, 1);
    EXPECT_EQ(probe->Engine, nullptr);
    EXPECT_EQ(probe->Parent, nullptr);
    probe->Kill(); // no engine any more: nothing to queue in
    probe->Release();
    EXPECT_EQ(TProbe::alive, 0);
}

TEST_F(SpriteTest, ParticleBirth) {
    for (int i = 0; i < 200; ++i) {
        auto* part = new TPart(engine, 5, 6, 0.5, -0.25, 100, 75, 1, 2, 3, i % 2 == 0);
        EXPECT_GE(part->Angle, 0);
        EXPECT_LE(part->Angle, 359.9 + 1e-9);
        EXPECT_GE(part->Spin, -1);
        EXPECT_LE(part->Spin, 0.999 + 1e-9);
        EXPECT_EQ(part->StartPos.x, 5);
        EXPECT_EQ(part->StartVel.y, -0.25);
        if (part->Loop) {
            EXPECT_GE(part->TimeLeft, 1);
            EXPECT_LT(part->TimeLeft, 100);
        } else {
            EXPECT_EQ(part->TimeLeft, 100);
        }
    }
}

TEST_F(SpriteTest, NonLoopingParticleLivesLifePlusOneStepsThenIsQueued) {
    auto* part = new TPart(engine, 0, 0, 0, 0, 100, 50, 255, 255, 255, false);
    EXPECT_EQ(part->Alpha(), 255);
    EXPECT_EQ(part->Side(), 0);
    std::vector<double> livingTimes;
    while (!part->Killed && livingTimes.size() < 1000) {
        livingTimes.push_back(part->TimeLeft);
        engine->StepAll();
    }
    ASSERT_EQ(livingTimes.size(), 101u) << "drawn at TimeLeft 100 down to 0";
    EXPECT_EQ(livingTimes.front(), 100);
    EXPECT_EQ(livingTimes.back(), 0);
    EXPECT_EQ(part->TimeLeft, -1);
    EXPECT_EQ(engine->KillQueue.Count(), 1);
    EXPECT_EQ(part->Alpha(), 0) << "a dead particle waiting for the flush is clear, not opaque";
    engine->Kill();
    EXPECT_EQ(engine->ChildCount(), 0);
}

TEST_F(SpriteTest, ParticleFadesAndGrows) {
    auto* part = new TPart(engine, 0, 0, 0, 0, 100, 80, 255, 255, 255, false);
    part->TimeLeft = 50;
    EXPECT_EQ(part->Alpha(), 128); // 127.5 rounds to even
    EXPECT_DOUBLE_EQ(part->Side(), -40);
    part->TimeLeft = 0;
    EXPECT_EQ(part->Alpha(), 0);
    EXPECT_DOUBLE_EQ(part->Side(), -80);
    part->Life = 0; // never divides by zero
    EXPECT_EQ(part->Alpha(), 0);
}

TEST_F(SpriteTest, LoopingParticleRestartsFromBirthKeepingItsTurn) {
    auto* part = new TPart(engine, 0, 0, 0.125, 0.5, 10, 50, 255, 255, 255, true);
    const double spin = part->Spin;
    const double angle = part->Angle;
    int steps = 0;
    double previous = part->TimeLeft;
    for (;;) {
        engine->StepAll();
        ++steps;
        ASSERT_LT(steps, 100);
        if (part->TimeLeft > previous) break;
        previous = part->TimeLeft;
        EXPECT_NE(part->Vel.y, 0.5) << "gravity changes the velocity while it lives";
    }
    EXPECT_EQ(part->TimeLeft, 10);
    EXPECT_EQ(part->Pos.x, 0);
    EXPECT_EQ(part->Pos.y, 0);
    EXPECT_EQ(part->Vel.x, 0.125);
    EXPECT_EQ(part->Vel.y, 0.5);
    EXPECT_FALSE(part->Killed);
    EXPECT_EQ(part->Spin, spin);
    EXPECT_NEAR(part->Angle, angle + steps * spin, 1e-9) << "the turn goes on across the restart";
}

TEST_F(SpriteTest, ParticleStepMovesThenAppliesGravity) {
    auto* part = new TPart(engine, 0, 0, 0, 0, 100, 50, 255, 255, 255, false);
    part->Pos = MakeVec(0, 0);
    part->Vel = MakeVec(0, 0);
    part->Step();
    EXPECT_EQ(part->Pos.y, 0) << "position moves with the old velocity";
    EXPECT_DOUBLE_EQ(part->Vel.y, -0.003);
    EXPECT_EQ(part->TimeLeft, 99);
}

TEST_F(SpriteTest, ManyParticlesGoWithTheirEngine) {
    for (int i = 0; i < 660; ++i) new TPart(engine, i, i, 0.1, 0.1, 100, 75, 255, 255, 255, i % 3 != 0);
    for (int i = 0; i < 250; ++i) engine->StepAll();
    EXPECT_EQ(engine->KillQueue.Count(), 220);
    engine->Kill();
    EXPECT_EQ(engine->ChildCount(), 440);
}

} // namespace

namespace {

TEST_F(SpriteTest, ParticleSticksToEveryWindowEdge) {
    ASSERT_TRUE(test_window::Open(640, 480));
    struct Case {
        Vec2 pos, vel, expected;
    };
    const Case cases[] = {
        {{3, 100}, {-5, 0}, {0, 100}},     // left
        {{100, 3}, {0, -5}, {100, 0}},     // top
        {{637, 100}, {5, 0}, {640, 100}},  // right
        {{100, 477}, {0, 5}, {100, 480}},  // bottom
        {{-20, 500}, {0, 0}, {0, 480}},    // outside two edges at once
    };
    for (const Case& c : cases) {
        auto* part = new TPart(engine, c.pos.x, c.pos.y, c.vel.x, c.vel.y, 100, 10, 255, 255, 255, false);
        part->Step();
        part->Vel = c.vel; // keep pushing outwards, gravity aside
        part->Step();
        EXPECT_NEAR(part->Pos.x, c.expected.x, 1e-12) << c.pos.x << "," << c.pos.y;
        EXPECT_NEAR(part->Pos.y, c.expected.y, 1e-12) << c.pos.x << "," << c.pos.y;
    }
}

} // namespace
