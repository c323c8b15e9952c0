// The OpenGL context of the main window and the render state the engine keeps:
// pixel format and multisample probe, default state, vertical sync, the FPS
// counter, clearing and presenting, the 2-D (y down) and 3-D projections,
// blend modes, screenshots, and the font and light managers it owns.
//
// Words: a "frame" is one presented image; FPS counts the frames of the last
// whole second. Failures are reported by result and one "OpenGL  : " log line.
#pragma once

#include <cstdint>
#include <string>

namespace qx {

class TFontMan;
class TLightMan;

// Extension groups found by TOGL::Init; false until a context exists.
extern bool SwapControlExt;
extern bool MultitextureExt;
extern bool FramebufferExt;
extern bool ShaderExt;
extern bool VBOExt;

class TOGL {
public:
    TOGL();
    ~TOGL();
    TOGL(const TOGL&) = delete;
    TOGL& operator=(const TOGL&) = delete;

    int32_t FPS() const;                  // frames presented in the last whole second
    void SetVSync(bool on);               // applied at the next Swap
    bool VSync() const;
    void SetAASamples(int32_t samples);   // only before the main window exists
    int32_t AASamples() const;            // after Init: the count actually found
    void Clear(bool color, bool depth, bool stencil);
    void Swap();                          // presents the frame and counts it
    void Set2D(float x, float y, float w, float h); // (x, y) top-left, y downwards
    void Set3D(float fov, float zNear, float zFar); // fov in degrees, window aspect
    TLightMan* Lights() const;            // owned by this object
    TFontMan* Fonts() const;              // owned by this object
    int32_t TextLen(int32_t font, const std::string& text) const; // pixels, markup counted as glyphs
    void TextOut(int32_t font, const std::string& text, float x, float y);
    void TextOutEx(int32_t font, const std::string& text, float x, float y); // with colour markup
    void Blend(int32_t mode);             // 0 off, 1 alpha, 2 additive, 3 multiply
    bool ScreenShot(const std::string& fileName); // .tga writes TGA, anything else BMP

    int32_t MaxAniso() const;             // the driver's largest texture anisotropy
};

} // namespace qx
