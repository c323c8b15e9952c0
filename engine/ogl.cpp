// The OpenGL context on SDL: GL attributes instead of pixel formats, SDL's
// swap interval for swap control, entry points loaded through SDL.
#include "engine/ogl.h"

#include "engine/ogl_ext_internal.h"

#include <GL/glu.h>
#include <GL/glx.h>
#include <SDL.h>

#include <array>
#include <cstring>
#include <vector>

#include "engine/engine.h"
#include "engine/fontman.h"
#include "engine/lightman.h"

namespace qx {

bool SwapControlExt = false;
bool MultitextureExt = false;
bool FramebufferExt = false;
bool ShaderExt = false;
bool VBOExt = false;
TGLExt GLExt;

namespace {

constexpr GLenum kMaxTextureUnits = 0x84E2;  // GL_MAX_TEXTURE_UNITS_ARB
constexpr GLenum kMaxAnisotropy = 0x84FF;    // GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT
constexpr GLfloat kAlphaReference = 0.00390625f; // 1/256: fully transparent texels are never drawn

void GLLog(const std::string& message) {
    if (log) log->Print("OpenGL  : " + message);
}

void SetFormatAttributes(int32_t samples) {
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples > 0 ? samples : 0);
}

// True when a hidden window with the current attributes takes a context.
bool ContextPossible() {
    SDL_Window* window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) return false;
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (context) SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    return context != nullptr;
}

std::string GLText(GLenum name) {
    const auto* text = reinterpret_cast<const char*>(glGetString(name));
    return text ? text : "";
}

GLint GLInteger(GLenum name) {
    while (glGetError() != GL_NO_ERROR) {
    }
    GLint value = 0;
    glGetIntegerv(name, &value);
    return glGetError() == GL_NO_ERROR ? value : 0;
}

template <typename F>
void Load(F& entry, const char* name) {
    entry = reinterpret_cast<F>(SDL_GL_GetProcAddress(name));
}

// The platform's swap-control extension: its name and whether it is offered.
// GLX lists it among its own extensions, not GL's; other platforms (EGL) have
// the swap interval in their core, so SDL's answer decides.
std::pair<std::string, bool> SwapControl() {
    if (Display* display = glXGetCurrentDisplay()) {
        const char* glx = glXQueryExtensionsString(display, DefaultScreen(display));
        for (const char* name : {"GLX_EXT_swap_control", "GLX_MESA_swap_control", "GLX_SGI_swap_control"})
            if (glx && std::strstr(glx, name)) return {name, true};
        return {"GLX_EXT_swap_control", false};
    }
    return {"EGL_swap_interval", SDL_GL_SetSwapInterval(0) == 0};
}

void PutLE(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

} // namespace

TOGL::TOGL() : fonts_(std::make_unique<TFontMan>()), lights_(std::make_unique<TLightMan>()) {}

TOGL::~TOGL() {
    lights_.reset();
    fonts_.reset();
    if (context_) {
        SDL_GL_DeleteContext(context_);
        context_ = nullptr;
    }
    SwapControlExt = MultitextureExt = FramebufferExt = ShaderExt = VBOExt = false;
    GLExt = TGLExt{};
}

int32_t TOGL::FPS() const { return fpsValue_; }
void TOGL::SetVSync(bool on) { vsyncOn_ = on; }
bool TOGL::VSync() const { return vsyncOn_; }

void TOGL::SetAASamples(int32_t samples) {
    if (wnd && wnd->Created()) return;
    aaSamples_ = samples;
}

int32_t TOGL::AASamples() const { return aaSamples_; }
int32_t TOGL::MaxAniso() const { return maxAniso_; }
int32_t TOGL::DefaultFont() const { return defaultFont_; }
const std::string& TOGL::Extensions() const { return extensions_; }
bool TOGL::HasContext() const { return context_ != nullptr; }
TLightMan* TOGL::Lights() const { return lights_.get(); }
TFontMan* TOGL::Fonts() const { return fonts_.get(); }

void TOGL::WindowResized() {
    SDL_Window* window = wnd ? wnd->Handle() : nullptr;
    if (!context_ || !window) return;
    // Buffers that already have the window's size need no frame: a start that
    // makes its window in its final mode presents none before its first.
    int width = 0, height = 0;
    SDL_GL_GetDrawableSize(window, &width, &height);
    if (width == bufferWidth_ && height == bufferHeight_) return;
    bufferWidth_ = width;
    bufferHeight_ = height;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
}

void TOGL::AAInit() {
    if (aaSamples_ <= 0) return;
    // Without even a plain context there is nothing to probe: the request
    // stays as it was and the main window gets the plain format.
    SetFormatAttributes(0);
    if (!ContextPossible()) return;
    while (aaSamples_ > 0) {
        SetFormatAttributes(aaSamples_);
        if (ContextPossible()) {
            pixelFormat_ = aaSamples_;
            break;
        }
        --aaSamples_;
    }
}

void TOGL::PrepareFormat() { SetFormatAttributes(pixelFormat_ > 0 ? aaSamples_ : 0); }

bool TOGL::Init() {
    GLLog("Init graphics core");
    SDL_Window* window = wnd ? wnd->Handle() : nullptr;
    if (!window) {
        GLLog("Fatal Error \"GetDC\"");
        return false;
    }
    // The window's pixel format was chosen when it was made; a window made
    // without one has none to offer.
    if ((SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL) == 0) {
        GLLog("Fatal Error \"ChoosePixelFormat\"");
        return false;
    }
    context_ = SDL_GL_CreateContext(window);
    if (!context_ || SDL_GL_MakeCurrent(window, context_) != 0) {
        if (context_) SDL_GL_DeleteContext(context_);
        context_ = nullptr;
        GLLog("Fatal Error \"wglCreateContext\"");
        return false;
    }

    // The driver sizes the buffers to the window when the context is first bound.
    SDL_GL_GetDrawableSize(window, &bufferWidth_, &bufferHeight_);
    ReadExtensions();

    glDepthFunc(GL_LESS);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glClearColor(0, 0, 0, 0);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, kAlphaReference);
    glViewport(0, 0, wnd->ModeWidth(), wnd->ModeHeight());
    // The buffers are cleared once now, unseen: a software driver then takes
    // their memory from the system here, while the images load, rather than
    // while it renders the first frame.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glFlush();

    if (tex && !tex->TexInit()) return false;
    defaultFont_ = fonts_->FontCreate("FixedSys", 8, false, 512);
    return true;
}

void TOGL::ReadExtensions() {
    GLLog("GL_VENDOR   : " + GLText(GL_VENDOR));
    GLLog("GL_RENDERER : " + GLText(GL_RENDERER));
    GLLog("GL_VERSION  : " + GLText(GL_VERSION));
    GLLog("MAX_TEX_UNITS  : " + IntToStr(GLInteger(kMaxTextureUnits)));
    GLLog("MAX_TEX_SIZE   : " + IntToStr(GLInteger(GL_MAX_TEXTURE_SIZE)));
    maxAniso_ = GLInteger(kMaxAnisotropy);
    GLLog("MAX_ANISOTROPY : " + IntToStr(maxAniso_));
    GLLog("USE_AA_SAMPLES : " + IntToStr(aaSamples_));
    GLLog("Reading extensions");
    extensions_ = GLText(GL_EXTENSIONS);

    auto group = [&](const std::string& name, bool present) {
        GLLog((present ? "+ " : "- ") + name);
        return present;
    };
    auto listed = [&](const char* name) { return extensions_.find(name) != std::string::npos; };

    const auto [swapName, swapPresent] = SwapControl();
    SwapControlExt = group(swapName, swapPresent);

    MultitextureExt = group("GL_ARB_multitexture", listed("GL_ARB_multitexture"));
    if (MultitextureExt) {
        Load(GLExt.glActiveTextureARB, "glActiveTextureARB");
        Load(GLExt.glClientActiveTextureARB, "glClientActiveTextureARB");
    }

    FramebufferExt = group("GL_EXT_framebuffer_object", listed("GL_EXT_framebuffer_object"));
    if (FramebufferExt) {
        Load(GLExt.glGenRenderbuffersEXT, "glGenRenderbuffersEXT");
        Load(GLExt.glDeleteRenderbuffersEXT, "glDeleteRenderbuffersEXT");
        Load(GLExt.glBindRenderbufferEXT, "glBindRenderbufferEXT");
        Load(GLExt.glRenderbufferStorageEXT, "glRenderbufferStorageEXT");
        Load(GLExt.glGenFramebuffersEXT, "glGenFramebuffersEXT");
        Load(GLExt.glDeleteFramebuffersEXT, "glDeleteFramebuffersEXT");
        Load(GLExt.glBindFramebufferEXT, "glBindFramebufferEXT");
        Load(GLExt.glFramebufferTexture2DEXT, "glFramebufferTexture2DEXT");
        Load(GLExt.glFramebufferRenderbufferEXT, "glFramebufferRenderbufferEXT");
        Load(GLExt.glCheckFramebufferStatusEXT, "glCheckFramebufferStatusEXT");
    }

    ShaderExt = group("GL_ARB_shading_language", listed("GL_ARB_shading_language"));
    if (ShaderExt) {
        Load(GLExt.glDeleteObjectARB, "glDeleteObjectARB");
        Load(GLExt.glCreateProgramObjectARB, "glCreateProgramObjectARB");
        Load(GLExt.glCreateShaderObjectARB, "glCreateShaderObjectARB");
        Load(GLExt.glShaderSourceARB, "glShaderSourceARB");
        Load(GLExt.glAttachObjectARB, "glAttachObjectARB");
        Load(GLExt.glLinkProgramARB, "glLinkProgramARB");
        Load(GLExt.glUseProgramObjectARB, "glUseProgramObjectARB");
        Load(GLExt.glCompileShaderARB, "glCompileShaderARB");
        Load(GLExt.glGetObjectParameterivARB, "glGetObjectParameterivARB");
        Load(GLExt.glGetAttribLocationARB, "glGetAttribLocationARB");
        Load(GLExt.glGetUniformLocationARB, "glGetUniformLocationARB");
        Load(GLExt.glVertexAttrib1fARB, "glVertexAttrib1fARB");
        Load(GLExt.glVertexAttrib2fARB, "glVertexAttrib2fARB");
        Load(GLExt.glVertexAttrib3fARB, "glVertexAttrib3fARB");
        Load(GLExt.glUniform1iARB, "glUniform1iARB");
        Load(GLExt.glUniform1ivARB, "glUniform1ivARB");
        Load(GLExt.glUniform2ivARB, "glUniform2ivARB");
        Load(GLExt.glUniform3ivARB, "glUniform3ivARB");
        Load(GLExt.glUniform4ivARB, "glUniform4ivARB");
        Load(GLExt.glUniform1fvARB, "glUniform1fvARB");
        Load(GLExt.glUniform2fvARB, "glUniform2fvARB");
        Load(GLExt.glUniform3fvARB, "glUniform3fvARB");
        Load(GLExt.glUniform4fvARB, "glUniform4fvARB");
        Load(GLExt.glUniformMatrix2fvARB, "glUniformMatrix2fvARB");
        Load(GLExt.glUniformMatrix3fvARB, "glUniformMatrix3fvARB");
        Load(GLExt.glUniformMatrix4fvARB, "glUniformMatrix4fvARB");
        Load(GLExt.glGetInfoLogARB, "glGetInfoLogARB");
    }

    VBOExt = group("GL_ARB_vertex_buffer_object", listed("GL_ARB_vertex_buffer_object"));
    if (VBOExt) {
        Load(GLExt.glBindBufferARB, "glBindBufferARB");
        Load(GLExt.glDeleteBuffersARB, "glDeleteBuffersARB");
        Load(GLExt.glGenBuffersARB, "glGenBuffersARB");
        Load(GLExt.glBufferDataARB, "glBufferDataARB");
        Load(GLExt.glBufferSubDataARB, "glBufferSubDataARB");
        Load(GLExt.glMapBufferARB, "glMapBufferARB");
        Load(GLExt.glUnmapBufferARB, "glUnmapBufferARB");
    }
}

void TOGL::Clear(bool color, bool depth, bool stencil) {
    if (!context_) return;
    GLbitfield mask = 0;
    if (color) mask |= GL_COLOR_BUFFER_BIT;
    if (depth) mask |= GL_DEPTH_BUFFER_BIT;
    if (stencil) mask |= GL_STENCIL_BUFFER_BIT;
    glClear(mask);
}

void TOGL::Swap() {
    if (!context_) return;
    if (SwapControlExt) {
        // One query per frame, so a changed setting takes effect at the next frame.
        const int wanted = vsyncOn_ ? 1 : 0;
        if (SDL_GL_GetSwapInterval() != wanted) SDL_GL_SetSwapInterval(wanted);
    }
    glFlush();
    SDL_GL_SwapWindow(wnd->Handle());

    // FPSValue is the frame count of the previous whole second; the first
    // frame opens the first second.
    const int32_t now = TimeMs();
    if (!fpsStarted_ || static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(nextFPSTime_)) >= 0) {
        fpsStarted_ = true;
        nextFPSTime_ = static_cast<int32_t>(static_cast<uint32_t>(now) + 1000u);
        fpsValue_ = frameCount_;
        frameCount_ = 0;
    }
    ++frameCount_;
}

void TOGL::Set2D(float x, float y, float w, float h) {
    if (!context_) return;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(x, x + w, y + h, y, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void TOGL::Set3D(float fov, float zNear, float zFar) {
    if (!context_) return;
    const int32_t height = wnd->Height();
    // A window of no height would give no finite aspect.
    const double aspect = height > 0 ? static_cast<double>(wnd->Width()) / height : 1.0;
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(fov, aspect, zNear, zFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

int32_t TOGL::TextLen(int32_t font, const std::string& text) const { return fonts_->TextLen(font, text); }

void TOGL::TextOut(int32_t font, const std::string& text, float x, float y) {
    if (context_) fonts_->TextOut(font, text, x, y);
}

void TOGL::TextOutEx(int32_t font, const std::string& text, float x, float y) {
    if (context_) fonts_->TextOutEx(font, text, x, y);
}

void TOGL::Blend(int32_t mode) {
    if (!context_) return;
    if (mode == kBlendOff) {
        glDisable(GL_BLEND);
        return;
    }
    glEnable(GL_BLEND);
    switch (mode) {
    case kBlendAlpha: glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA); break;
    case kBlendAdd: glBlendFunc(GL_SRC_ALPHA, GL_ONE); break;
    case kBlendMultiply: glBlendFunc(GL_ZERO, GL_SRC_COLOR); break;
    default: break;
    }
}

bool TOGL::ScreenShot(const std::string& fileName) {
    const int32_t width = wnd ? wnd->Width() : 0;
    const int32_t height = wnd ? wnd->Height() : 0;
    if (!context_ || width <= 0 || height <= 0) return false;
    const bool tga = fileName.size() >= 3 && fileName.compare(fileName.size() - 3, 3, "tga") == 0;
    // BMP readers expect every row padded to four bytes; reading with a pack
    // alignment of four gives exactly that layout. TGA rows are tight.
    const uint32_t rowBytes = tga ? static_cast<uint32_t>(width) * 3 : (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(height);
    std::vector<uint8_t> pixels(imageBytes);
    GLint packAlignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
    glPixelStorei(GL_PACK_ALIGNMENT, tga ? 1 : 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_BGR, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);

    std::vector<uint8_t> header;
    if (tga) {
        header.assign(12, 0);
        header[2] = 2; // uncompressed true colour
        PutLE(header, static_cast<uint32_t>(width), 2);
        PutLE(header, static_cast<uint32_t>(height), 2);
        header.push_back(24);
        header.push_back(0); // origin bottom left
    } else {
        header = {'B', 'M'};
        PutLE(header, imageBytes + 54, 4);
        PutLE(header, 0, 4);  // reserved
        PutLE(header, 54, 4); // offset of the pixels
        PutLE(header, 40, 4); // header size
        PutLE(header, static_cast<uint32_t>(width), 4);
        PutLE(header, static_cast<uint32_t>(height), 4); // positive: bottom-up rows
        PutLE(header, 1, 2);
        PutLE(header, 24, 2);
        PutLE(header, 0, 4); // no compression
        PutLE(header, imageBytes, 4);
        header.resize(54, 0);
    }

    TFile file(FileOpen(fileName, true));
    if (!file.Valid()) return false;
    return FileWrite(file.Handle(), header.data(), header.size()) == header.size() &&
           FileWrite(file.Handle(), pixels.data(), pixels.size()) == pixels.size();
}

} // namespace qx
