// The animated backdrop scene "BackScene": a full-screen gradient whose four
// corners pulse at different rates, a ring and a frame of rising, fading smoke
// particles, a soft light in the middle and the green title logo.
//
// The particles are laid out once from the window size at construction; the
// gradient, light and logo follow the window size of every frame. Ticks counts
// update steps (10 ms each) and drives the gradient. No input handling. The
// creator hands in the three images it draws.
#pragma once

#include <cstdint>

#include "app/scene.h"
#include "presentation/sprite.h"

class TBackScene : public TScene {
public:
    // The images drawn; a 0 handle draws the texture manager's placeholder.
    struct TTextures {
        uint32_t Smoke = 0; // each particle
        uint32_t Light = 0; // the soft light in the middle
        uint32_t Logo = 0;  // the title logo
    };

    // Joins SceneList as "BackScene"; reads the window size once.
    explicit TBackScene(const TTextures& textures);

    void Update() override;  // one tick: Ticks + 1, then every particle steps
    void Render() override;  // one full frame in 2-D view pixels

    // ---- Layout, shared with the tests ----
    static constexpr int32_t kRingCount = 360;
    static constexpr int32_t kFrameSteps = 75;   // particles per edge
    static constexpr int32_t kParticleCount = kRingCount + 4 * kFrameSteps;
    static constexpr double kRingRadius = 150;
    // Red and green (0..2/3) of a gradient corner at the given tick; corner 0 top
    // left, 1 top right, 2 bottom right, 3 bottom left; blue is always 0.
    static void GradientCorner(int32_t ticks, int32_t corner, double& red, double& green);
    // Top-left corner of the 512 x 128 logo in a window of the given size.
    static Vec2 LogoCorner(double width, double height);

    TTextures Textures;
    int32_t Ticks = 0;
    TSpriteOwner<TSpriteEngine> Particles; // disposed with the scene
};
