// The backdrop scene.
#include "presentation/back_scene.h"

#include <GL/gl.h>

#include <cmath>
#include <numbers>

#include "presentation/text.h"

namespace {
constexpr double kParticleLife = 100;
constexpr double kRingScale = 75;
constexpr double kFrameScale = 80;
constexpr double kLightSide = 300;
constexpr double kLightAngle = 30;
constexpr double kLogoWidth = 512;
constexpr double kLogoHeight = 128;
// Ticks after which all eight pulses (periods 500 * 2, 4, ... 16) are back in step.
constexpr int32_t kGradientCycle = 500 * 1680;

// Rises from 0 to 1 and back every 500 * period ticks.
double Pulse(int32_t ticks, double period) { return std::fabs(std::sin(std::numbers::pi * ticks / (500 * period))); }

void AddSmoke(TSpriteEngine& engine, double x, double y, double scale) {
    const Vec2 velocity = RandomPolar(0.4, 0, 0.001);
    new TPart(&engine, x, y, velocity.x, velocity.y, kParticleLife, scale, 255, 255, 255, true);
}
} // namespace

TBackScene::TBackScene(const TTextures& textures)
    : TScene("BackScene"), Textures(textures), Particles(new TSpriteEngine(nullptr)) {
    const double width = ViewWidth();
    const double height = ViewHeight();
    for (int32_t i = 1; i <= kRingCount; ++i) {
        const Vec2 offset = TurnVec(MakeVec(kRingRadius, 0), i * std::numbers::pi / 180);
        AddSmoke(*Particles, width / 2 + offset.x, height / 2 + offset.y, kRingScale);
    }
    for (int32_t i = 1; i <= kFrameSteps; ++i) {
        const double x = i * width / kFrameSteps;
        const double y = i * height / kFrameSteps;
        AddSmoke(*Particles, x, 0, kFrameScale);
        AddSmoke(*Particles, x, height, kFrameScale);
        AddSmoke(*Particles, 0, y, kFrameScale);
        AddSmoke(*Particles, width, y, kFrameScale);
    }
}

void TBackScene::Update() {
    // After about 248 days the count would overflow; every corner's pulse
    // repeats each kGradientCycle ticks, so folding it keeps the picture.
    Ticks = Ticks == INT32_MAX ? Ticks % kGradientCycle + 1 : Ticks + 1;
    Particles->StepAll();
}

void TBackScene::GradientCorner(int32_t ticks, int32_t corner, double& red, double& green) {
    // Red periods 2, 4, 6, 8 and green 16, 14, 12, 10, clockwise from top left.
    const int32_t index = corner & 3;
    red = Pulse(ticks, 2.0 + 2 * index) * 2 / 3;
    green = Pulse(ticks, 16.0 - 2 * index) * 2 / 3;
}

Vec2 TBackScene::LogoCorner(double width, double height) {
    return MakeVec((width - kLogoWidth) / 2, height * 3 / 16 - 64);
}

void TBackScene::Render() {
    const double width = ViewWidth();
    const double height = ViewHeight();
    SetViewProjection();

    // The gradient covers the whole window, so no clear is needed.
    qx::tex->Disable(0);
    qx::ogl->Blend(qx::kBlendOff);
    glShadeModel(GL_SMOOTH);
    const double corners[4][2] = {{0, 0}, {width, 0}, {width, height}, {0, height}};
    glBegin(GL_QUADS);
    for (int32_t corner = 0; corner < 4; ++corner) {
        double red = 0, green = 0;
        GradientCorner(Ticks, corner, red, green);
        glColor3d(red, green, 0);
        glVertex2d(corners[corner][0], corners[corner][1]);
    }
    glEnd();

    qx::tex->Enable(Textures.Smoke, 0);
    qx::ogl->Blend(qx::kBlendAlpha);
    Particles->DrawAll();

    qx::tex->Enable(Textures.Light, 0);
    glColor4d(1, 1, 1, 0.8);
    DrawTurnedQuad(MakeVec(width / 2, height / 2), kLightSide, kLightAngle);

    qx::tex->Enable(Textures.Logo, 0);
    qx::ogl->Blend(qx::kBlendAlpha);
    glColor4d(0, 1, 0, 1);
    const Vec2 logo = LogoCorner(width, height);
    EmitQuad(GL_QUADS, {{logo,
                         {logo.x + kLogoWidth, logo.y},
                         {logo.x + kLogoWidth, logo.y + kLogoHeight},
                         {logo.x, logo.y + kLogoHeight}}});

    qx::tex->Disable(0);
}
