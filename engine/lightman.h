// The fixed-function light manager, owned by the GL context (TOGL::Lights).
// Light n is GL_LIGHT0 + n; colours are packed RGBA (red in the low byte),
// each byte mapped to 0..1. A light number outside the driver's range is
// ignored. The context must be current.
#pragma once

#include <cstdint>

namespace qx {

class TLightMan {
public:
    void LightEnable(int32_t n);
    void LightDisable(int32_t n);
    void LightPosition(int32_t n, float x, float y, float z); // a positional light (w = 1)
    void LightColor(int32_t n, uint32_t color);               // diffuse colour
    void AmbientColor(uint32_t color);                        // the scene's ambient light
};

} // namespace qx
