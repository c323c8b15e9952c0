// A hidden window with a compatibility OpenGL context for the texture and font
// tests, made once per test process and kept current on the main thread. The
// texture manager is initialised on it as the GL module would do.
#pragma once

#include <SDL.h>
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/engine.h"

namespace test_gl {

class Context : public testing::Environment {
public:
    void SetUp() override {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
        window_ = SDL_CreateWindow("test", 0, 0, 256, 256, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!window_) return;
        context_ = SDL_GL_CreateContext(window_);
        if (!context_) return;
        SDL_GL_MakeCurrent(window_, context_);
        const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        qx::MultitextureExt = extensions && std::strstr(extensions, "GL_ARB_multitexture");
        qx::FramebufferExt = extensions && std::strstr(extensions, "GL_EXT_framebuffer_object");
        ready_ = qx::tex->TexInit();
    }

    void TearDown() override {
        // Textures go while the context still exists, as at engine shutdown.
        if (ready_) {
            qx::tex->MarkGroup(-1);
            qx::tex->PurgeGroup(-1);
        }
        if (context_) SDL_GL_DeleteContext(context_);
        if (window_) SDL_DestroyWindow(window_);
        // Video stays up until the process ends, as in the game: quitting it
        // unloads the GL driver, whose leftovers the leak checker could then
        // no longer attribute to a library.
        context_ = nullptr;
        window_ = nullptr;
        ready_ = false;
    }

    static bool Ready() { return instance_ && instance_->ready_; }
    static Context* Install() {
        instance_ = new Context;
        testing::AddGlobalTestEnvironment(instance_); // gtest owns it
        return instance_;
    }

private:
    SDL_Window* window_ = nullptr;
    SDL_GLContext context_ = nullptr;
    bool ready_ = false;
    static inline Context* instance_ = nullptr;
};

// An off-screen colour target with a 2-D projection in pixels, y downwards.
class Target {
public:
    Target(int width, int height) : width_(width), height_(height) {
        glGenFramebuffersEXT(1, &frameBuffer_);
        glGenRenderbuffersEXT(1, &colour_);
        glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, colour_);
        glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, GL_RGBA8, width, height);
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, frameBuffer_);
        glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT, colour_);
        glViewport(0, 0, width, height);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, width, height, 0, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glColor4ub(255, 255, 255, 255);
    }
    ~Target() {
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
        glDeleteRenderbuffersEXT(1, &colour_);
        glDeleteFramebuffersEXT(1, &frameBuffer_);
    }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    bool Complete() const { return glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT) == GL_FRAMEBUFFER_COMPLETE_EXT; }
    void Clear() { glClear(GL_COLOR_BUFFER_BIT); }

    // RGBA rows with the top row (y = 0 of the projection) first.
    std::vector<uint8_t> Pixels() const {
        std::vector<uint8_t> rows(static_cast<size_t>(width_) * height_ * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
        std::vector<uint8_t> top(rows.size());
        const size_t stride = static_cast<size_t>(width_) * 4;
        for (int y = 0; y < height_; ++y)
            std::memcpy(top.data() + y * stride, rows.data() + (height_ - 1 - y) * stride, stride);
        return top;
    }
    int Width() const { return width_; }
    int Height() const { return height_; }

private:
    int width_;
    int height_;
    GLuint frameBuffer_ = 0;
    GLuint colour_ = 0;
};

// Base of the tests that draw: fails them when no context could be made.
class GLTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Context::Ready()) << "no OpenGL context (run under Xvfb)";
        glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    }
};

} // namespace test_gl
