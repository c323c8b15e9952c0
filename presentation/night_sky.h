// The night sky the menus, the nickname entry and the game draw behind
// themselves: two turning wheels, a snowy horizon of two gradients, the moon
// swaying, two trees, the title logo, the version line and 500 twinkling stars.
//
// The stars are placed by PlaceStars over the view of that moment (view
// pixels) and stay there until placed again, whatever the window does later.
// Draw paints one whole frame at an animation tick (10 ms steps, counted by
// the owner; the wheels turn a degree a tick). No input, no failures: a 0
// texture handle draws the texture manager's placeholder. The creator hands
// in the images.
#pragma once

#include <array>
#include <cstdint>

#include "presentation/text.h"

// One twinkling point of the sky.
struct TStar {
    uint32_t Color = 0;  // packed; red and blue in 100..254, green 255
    uint8_t Phase = 0;   // 0..255: speed and direction of the twinkle
    double X = 0, Y = 0; // view pixels
};

class TNightSky {
public:
    static constexpr int32_t kStarCount = 500;

    // The images drawn; a 0 handle draws the texture manager's placeholder.
    struct TTextures {
        uint32_t Wheel = 0; // the two turning wheels
        uint32_t Moon = 0;
        uint32_t Tree = 0;  // both trees, the right one mirrored
        uint32_t Logo = 0;  // the title logo
        uint32_t Star = 0;  // each star, drawn additively
    };

    // Keeps the images; every star stays at the top-left corner until PlaceStars.
    explicit TNightSky(const TTextures& textures);

    // Gives every star a colour, a twinkle and a place in the current view.
    // Six draws of the program's generator a star, always in the same order,
    // so a seeded generator gives the same sky.
    void PlaceStars();
    // The whole window at an animation tick: clears it, sets the view
    // projection, then the scene; ends with blending and texturing off.
    void Draw(int32_t tick) const;

    TTextures Textures;
    std::array<TStar, kStarCount> Stars{};

private:
    mutable TQuadBatch StarQuads{kStarCount}; // scratch for Draw: the stars in one draw
};
