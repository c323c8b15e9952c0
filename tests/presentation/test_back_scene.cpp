// The backdrop scene: particle layout, the gradient's pulses and the frame it
// draws, read back from a real 640 x 480 window.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

#include "app/scene.h"
#include "engine/engine.h"
#include "presentation/back_scene.h"
#include "presentation/sprite.h"
#include "tests/support/window.h"

namespace {

using std::numbers::pi;

TPart* ParticleAt(const TBackScene& scene, int32_t index) {
    return static_cast<TPart*>(scene.Particles->Child(index));
}

// An opaque white texture, so drawn shapes show their exact colour and extent.
uint32_t WhiteTexture() {
    static const uint32_t handle = [] {
        const std::vector<uint8_t> pixels(16 * 16 * 4, 255);
        return qx::tex->Create("BackSceneTestWhite", 4, GL_RGBA, 16, 16, pixels.data(), true, false, 0);
    }();
    return handle;
}

TEST(BackSceneGradient, CornersPulseAtTheirOwnRates) {
    double red = 1, green = 1;
    for (int32_t corner = 0; corner < 4; ++corner) {
        TBackScene::GradientCorner(0, corner, red, green);
        EXPECT_EQ(red, 0) << corner;
        EXPECT_EQ(green, 0) << corner;
    }
    TBackScene::GradientCorner(500, 0, red, green);
    EXPECT_NEAR(red, 2.0 / 3, 1e-12) << "top-left red peaks after 5 s";
    EXPECT_NEAR(green, std::sin(pi / 16) * 2 / 3, 1e-12);
    TBackScene::GradientCorner(1000, 0, red, green);
    EXPECT_NEAR(red, 0, 1e-12);
    TBackScene::GradientCorner(1000, 1, red, green);
    EXPECT_NEAR(red, 2.0 / 3, 1e-12) << "top-right red peaks after 10 s";
    TBackScene::GradientCorner(2500, 3, red, green);
    EXPECT_NEAR(green, 2.0 / 3, 1e-12) << "bottom-left green peaks after 25 s";
}

TEST(BackSceneGradient, TickCountFoldsWithoutChangingThePicture) {
    TBackScene scene({});
    scene.Ticks = INT32_MAX;
    scene.Update();
    ASSERT_GT(scene.Ticks, 0);
    for (int32_t corner = 0; corner < 4; ++corner) {
        double red = 0, green = 0;
        TBackScene::GradientCorner(scene.Ticks, corner, red, green);
        const double ticks = 2147483648.0;
        EXPECT_NEAR(red, std::fabs(std::sin(pi * ticks / (500 * (2.0 + 2 * corner)))) * 2 / 3, 1e-6);
        EXPECT_NEAR(green, std::fabs(std::sin(pi * ticks / (500 * (16.0 - 2 * corner)))) * 2 / 3, 1e-6);
    }
}

TEST(BackSceneLayout, LogoCorner) {
    const Vec2 corner = TBackScene::LogoCorner(640, 480);
    EXPECT_EQ(corner.x, 64);
    EXPECT_EQ(corner.y, 26);
}

TEST(BackSceneLayout, JoinsTheSceneListAndLeavesIt) {
    const int32_t before = SceneList.Count();
    {
        TBackScene scene({});
        EXPECT_EQ(scene.Name, "BackScene");
        EXPECT_EQ(SceneList.Get(SceneList.Count() - 1), &scene);
        EXPECT_EQ(scene.Ticks, 0);
        EXPECT_EQ(scene.Particles->ChildCount(), 660);
    }
    EXPECT_EQ(SceneList.Count(), before);
}

TEST(BackSceneLayout, RingAndFrameOnA640x480Window) {
    ASSERT_TRUE(test_window::Open(640, 480));
    TBackScene scene({});
    ASSERT_EQ(scene.Particles->ChildCount(), TBackScene::kParticleCount);

    double sumX = 0, sumY = 0;
    for (int32_t i = 0; i < TBackScene::kRingCount; ++i) {
        const TPart* part = ParticleAt(scene, i);
        sumX += part->StartPos.x;
        sumY += part->StartPos.y;
        EXPECT_NEAR(std::hypot(part->StartPos.x - 320, part->StartPos.y - 240), 150, 1e-9);
        EXPECT_EQ(part->Scale, 75);
    }
    EXPECT_NEAR(sumX / 360, 320, 1e-9);
    EXPECT_NEAR(sumY / 360, 240, 1e-9);
    EXPECT_NEAR(ParticleAt(scene, 0)->StartPos.x, 320 + 150 * std::cos(pi / 180), 1e-9) << "the ring starts at 1 degree";
    EXPECT_NEAR(ParticleAt(scene, 359)->StartPos.x, 470, 1e-9);

    // Frame: top, bottom, left, right for each i = 1..75.
    const std::array<std::array<double, 2>, 4> firstQuad = {{{640.0 / 75, 0}, {640.0 / 75, 480}, {0, 6.4}, {640, 6.4}}};
    for (int32_t k = 0; k < 4; ++k) {
        EXPECT_NEAR(ParticleAt(scene, 360 + k)->StartPos.x, firstQuad[k][0], 1e-9) << k;
        EXPECT_NEAR(ParticleAt(scene, 360 + k)->StartPos.y, firstQuad[k][1], 1e-9) << k;
        EXPECT_EQ(ParticleAt(scene, 360 + k)->Scale, 80);
    }
    EXPECT_EQ(ParticleAt(scene, 659)->StartPos.x, 640);
    EXPECT_EQ(ParticleAt(scene, 659)->StartPos.y, 480);

    for (int32_t i = 0; i < TBackScene::kParticleCount; ++i) {
        const TPart* part = ParticleAt(scene, i);
        EXPECT_TRUE(part->Loop);
        EXPECT_EQ(part->Life, 100);
        EXPECT_LT(std::hypot(part->StartVel.x, part->StartVel.y), 0.4);
    }

    // Stepping never kills a particle and never moves a birth position.
    for (int32_t i = 0; i < 300; ++i) scene.Update();
    EXPECT_EQ(scene.Ticks, 300);
    EXPECT_EQ(scene.Particles->KillQueue.Count(), 0);
    EXPECT_NEAR(ParticleAt(scene, 0)->StartPos.x, 320 + 150 * std::cos(pi / 180), 1e-9);
}

class BackSceneFrame : public test_window::WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        SeedRandom(3);
        scene = std::make_unique<TBackScene>(TBackScene::TTextures{0, WhiteTexture(), WhiteTexture()});
        scene->Particles->Visible = false; // the smoke would cover the corners
    }
    std::array<uint8_t, 3> FrameAt(int32_t ticks, int32_t x, int32_t y) {
        scene->Ticks = ticks;
        scene->Render();
        return test_window::Pixel(x, y);
    }
    std::unique_ptr<TBackScene> scene;
};

TEST_F(BackSceneFrame, GradientIsBlackAtFirstAndTopLeftRedPeaksAtTick500) {
    EXPECT_EQ(FrameAt(0, 0, 0), (std::array<uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(FrameAt(0, 639, 479), (std::array<uint8_t, 3>{0, 0, 0}));
    const auto peak = FrameAt(500, 0, 0);
    EXPECT_NEAR(peak[0], 170, 3) << "2/3 of full red";
    EXPECT_NEAR(peak[1], 33, 3);
    EXPECT_EQ(peak[2], 0);
    EXPECT_LT(FrameAt(400, 0, 0)[0], peak[0]);
    EXPECT_LT(FrameAt(600, 0, 0)[0], peak[0]);
    const auto bottomRight = FrameAt(1500, 639, 479); // red period 3000: peak
    EXPECT_NEAR(bottomRight[0], 170, 3);
}

TEST_F(BackSceneFrame, GreenLogoAtItsCornerAndLightInTheMiddle) {
    EXPECT_EQ(FrameAt(0, 65, 27), (std::array<uint8_t, 3>{0, 255, 0}));
    EXPECT_EQ(FrameAt(0, 574, 152), (std::array<uint8_t, 3>{0, 255, 0})) << "bottom-right of the 512 x 128 quad";
    EXPECT_EQ(FrameAt(0, 63, 25), (std::array<uint8_t, 3>{0, 0, 0}));
    EXPECT_EQ(FrameAt(0, 577, 155), (std::array<uint8_t, 3>{0, 0, 0}));
    const auto light = FrameAt(0, 320, 240);
    EXPECT_NEAR(light[0], 204, 2) << "white at 0.8 opacity over black";
    EXPECT_NEAR(light[2], 204, 2);
    // The light quad is turned by 30 degrees: a corner of the unturned square is dark.
    EXPECT_EQ(FrameAt(0, 320 - 145, 240 + 145), (std::array<uint8_t, 3>{0, 0, 0}));
}

TEST_F(BackSceneFrame, SmokeIsDrawnWhenVisible) {
    scene->Textures.Smoke = WhiteTexture();
    // The left side of the frame of smoke, away from the light and the logo:
    // the same frame with the smoke hidden and shown.
    const auto hidden = FrameAt(0, 3, 240);
    scene->Particles->Visible = true;
    const auto shown = FrameAt(0, 3, 240);
    EXPECT_EQ(hidden, (std::array<uint8_t, 3>{0, 0, 0}));
    EXPECT_GT(shown[0], 128) << "white smoke over the black gradient";
    EXPECT_EQ(shown[0], shown[2]);
}

} // namespace
