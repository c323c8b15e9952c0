// The OpenGL context.
#include "engine/ogl.h"

namespace qx {

bool SwapControlExt = false;
bool MultitextureExt = false;
bool FramebufferExt = false;
bool ShaderExt = false;
bool VBOExt = false;

TOGL::TOGL() = default;
TOGL::~TOGL() = default;
int32_t TOGL::FPS() const { return 0; }
void TOGL::SetVSync(bool) {}
bool TOGL::VSync() const { return false; }
void TOGL::SetAASamples(int32_t) {}
int32_t TOGL::AASamples() const { return 0; }
void TOGL::Clear(bool, bool, bool) {}
void TOGL::Swap() {}
void TOGL::Set2D(float, float, float, float) {}
void TOGL::Set3D(float, float, float) {}
TLightMan* TOGL::Lights() const { return nullptr; }
TFontMan* TOGL::Fonts() const { return nullptr; }
int32_t TOGL::TextLen(int32_t, const std::string&) const { return 0; }
void TOGL::TextOut(int32_t, const std::string&, float, float) {}
void TOGL::TextOutEx(int32_t, const std::string&, float, float) {}
void TOGL::Blend(int32_t) {}
bool TOGL::ScreenShot(const std::string&) { return false; }
int32_t TOGL::MaxAniso() const { return 1; }

} // namespace qx
