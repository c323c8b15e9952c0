// The OpenGL context of the main window and the render state the engine keeps:
// pixel format and multisample probe, default state, vertical sync, the FPS
// counter, clearing and presenting, the 2-D (y down) and 3-D projections,
// blend modes, screenshots, and the font and light managers it owns.
//
// Words: a "frame" is one presented image; FPS counts the frames of the last
// whole second. Failures are reported by result and one "OpenGL  : " log line.
// The entry points of the extension groups are in engine/ogl_ext_internal.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace qx {

class TFontMan;
class TLightMan;

// Extension groups, each true once TOGL::Init has found its name in the
// driver's extension list and loaded its entry points (engine/ogl_ext_internal.h);
// false before a context exists and again after TOGL is destroyed. Written by
// TOGL on the main thread only; the texture, vertex-buffer and shader modules
// read them before calling into a group.
extern bool SwapControlExt;  // the platform's swap interval (vertical sync in Swap)
extern bool MultitextureExt; // GL_ARB_multitexture: texture units; the texture manager needs it
extern bool FramebufferExt;  // GL_EXT_framebuffer_object: rendering into textures
extern bool ShaderExt;       // GL_ARB_shading_language with the ARB shader objects
extern bool VBOExt;          // GL_ARB_vertex_buffer_object: vertex buffers

// The modes TOGL::Blend takes. Any other value turns blending on and keeps the
// blend function last set.
inline constexpr int32_t kBlendOff = 0;      // opaque: blending disabled
inline constexpr int32_t kBlendAlpha = 1;    // source over: src * a + dst * (1 - a)
inline constexpr int32_t kBlendAdd = 2;      // glow: src * a + dst
inline constexpr int32_t kBlendMultiply = 3; // tint: dst * src

class TOGL {
public:
    TOGL();  // makes the font and light managers; no GL call
    ~TOGL(); // frees lights, fonts, then the context
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
    void Blend(int32_t mode);             // one of the kBlend modes above
    // Writes the window's pixels, bottom row first: a name ending in "tga"
    // (case-sensitive) gives an uncompressed TGA, anything else a 24-bit BMP
    // with rows padded to four bytes. False when there is nothing to read or the
    // file cannot be created.
    bool ScreenShot(const std::string& fileName);

    int32_t MaxAniso() const;             // the driver's largest texture anisotropy, 0 unknown
    int32_t DefaultFont() const;          // id of "FixedSys", made by Init
    const std::string& Extensions() const; // the GL extension string read by Init

    // ---- Called by the window module ----
    // The multisample probe: lowers AASamples until a context can be made (only
    // when samples were requested, before the main window exists).
    void AAInit();
    // Sets the pixel-format attributes the main window is created with.
    void PrepareFormat();
    // Makes the context on the main window, reads the extensions, sets the
    // default state, starts the texture manager and makes the default font.
    [[nodiscard]] bool Init();
    bool HasContext() const;
    // The window's client area may have changed size: when it differs from the
    // size the buffers were last given, presents one cleared frame so the
    // driver sizes its buffers now; some drivers only look at a swap, and the
    // frame drawn before it would otherwise be cut to the old size.
    void WindowResized();

private:
    void ReadExtensions();

    void* context_ = nullptr;
    int bufferWidth_ = 0; // the drawable's size when the buffers were last sized
    int bufferHeight_ = 0;
    int32_t defaultFont_ = -1;
    int32_t aaSamples_ = 0;
    int32_t pixelFormat_ = 0;
    bool fpsStarted_ = false;
    int32_t nextFPSTime_ = 0;
    int32_t frameCount_ = 0;
    int32_t fpsValue_ = 0;
    bool vsyncOn_ = false;
    int32_t maxAniso_ = 0;
    std::unique_ptr<TFontMan> fonts_;
    std::unique_ptr<TLightMan> lights_;
    std::string extensions_;
};

} // namespace qx
