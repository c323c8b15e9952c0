// The GL context on a real X server: the log of Init, the 2-D and 3-D
// projections read back from the frame, blend modes, screenshots in both
// formats, lights, text slots and the multisample probe.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <vector>

#include "engine/fontman.h"
#include "engine/lightman.h"
#include "engine/ogl_ext_internal.h"
#include "tests/test_support.h"
#include "tests/support/window.h"

namespace fs = std::filesystem;

namespace {

using TColor = test_window::TRgb;
using test_window::Pixel;

void FillRect(float x, float y, float w, float h, float r, float g, float b, float a = 1) {
    glColor4f(r, g, b, a);
    glBegin(GL_QUADS);
    glVertex2f(x, y);
    glVertex2f(x + w, y);
    glVertex2f(x + w, y + h);
    glVertex2f(x, y + h);
    glEnd();
}

std::vector<uint8_t> ReadBytes(const std::string& name) {
    const std::string bytes = ReadFile(name);
    return {bytes.begin(), bytes.end()};
}

uint32_t LE(const std::vector<uint8_t>& bytes, size_t at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = (value << 8) | bytes.at(at + i);
    return value;
}

class GLContext : public test_window::WindowTest {
protected:
    GLContext() {
        // An odd width: 101 * 3 bytes per row needs padding in a BMP.
        width_ = 101;
        height_ = 67;
    }
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(qx::ogl->HasContext());
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_DEPTH_TEST);
        qx::ogl->Blend(qx::kBlendOff);
        qx::ogl->Set2D(0, 0, static_cast<float>(qx::wnd->Width()), static_cast<float>(qx::wnd->Height()));
    }
};

TEST_F(GLContext, InitLogsTheDriverAndEveryExtensionGroupInOrder) {
    const std::string log = TestLogText();
    const std::vector<std::string> lines = {
        "OpenGL  : Init graphics core", "OpenGL  : GL_VENDOR   : ", "OpenGL  : GL_RENDERER : ",
        "OpenGL  : GL_VERSION  : ", "OpenGL  : MAX_TEX_UNITS  : ", "OpenGL  : MAX_TEX_SIZE   : ",
        "OpenGL  : MAX_ANISOTROPY : ", "OpenGL  : USE_AA_SAMPLES : 0", "OpenGL  : Reading extensions",
        "OpenGL  : + GL_ARB_multitexture", "OpenGL  : + GL_EXT_framebuffer_object",
        "OpenGL  : + GL_ARB_shading_language", "OpenGL  : + GL_ARB_vertex_buffer_object"};
    size_t at = 0;
    for (const auto& line : lines) {
        const size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\n" << log;
        at = found + line.size();
    }
    // The swap-control line names the platform's extension and says whether it is there.
    const std::string swapLine = std::string("OpenGL  : ") + (qx::SwapControlExt ? "+ " : "- ");
    const size_t swap = log.find(swapLine, log.find("Reading extensions"));
    ASSERT_NE(swap, std::string::npos);
    EXPECT_LT(swap, log.find("GL_ARB_multitexture"));
    EXPECT_NE(log.substr(swap, log.find("\r\n", swap) - swap).find("swap"), std::string::npos);

    EXPECT_TRUE(qx::MultitextureExt && qx::FramebufferExt && qx::ShaderExt && qx::VBOExt);
    EXPECT_NE(qx::GLExt.glActiveTextureARB, nullptr);
    EXPECT_NE(qx::GLExt.glCheckFramebufferStatusEXT, nullptr);
    EXPECT_NE(qx::GLExt.glGetInfoLogARB, nullptr);
    EXPECT_NE(qx::GLExt.glUnmapBufferARB, nullptr);
    EXPECT_NE(qx::ogl->Extensions().find("GL_ARB_multitexture"), std::string::npos);
    EXPECT_NE(log.find("OpenGL  : MAX_ANISOTROPY : " + qx::IntToStr(qx::ogl->MaxAniso()) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(qx::ogl->DefaultFont(), 0);
}

TEST_F(GLContext, DefaultStateIsTheEnginesOwn) {
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
    GLint function = 0;
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &function);
    EXPECT_EQ(function, GL_GREATER);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], qx::wnd->ModeWidth());
    EXPECT_EQ(viewport[3], qx::wnd->ModeHeight());
}

TEST_F(GLContext, Set2DPutsTheOriginAtTheTopLeftPixel) {
    glClearColor(0, 0, 0, 1);
    qx::ogl->Clear(true, false, false);
    FillRect(0, 0, 1, 1, 1, 0, 0);
    FillRect(static_cast<float>(width_ - 1), static_cast<float>(height_ - 1), 1, 1, 0, 1, 0);
    EXPECT_EQ(Pixel(0, 0), (TColor{255, 0, 0}));
    EXPECT_EQ(Pixel(1, 0), (TColor{0, 0, 0}));
    EXPECT_EQ(Pixel(0, 1), (TColor{0, 0, 0}));
    EXPECT_EQ(Pixel(width_ - 1, height_ - 1), (TColor{0, 255, 0}));

    // A shifted view: (10, 20) becomes the top-left corner.
    qx::ogl->Set2D(10, 20, static_cast<float>(width_), static_cast<float>(height_));
    FillRect(10, 20, 1, 1, 0, 0, 1);
    EXPECT_EQ(Pixel(0, 0), (TColor{0, 0, 255}));
}

TEST_F(GLContext, Set3DUsesTheWindowsAspect) {
    qx::ogl->Set3D(90, 1, 100);
    GLfloat matrix[16];
    glGetFloatv(GL_PROJECTION_MATRIX, matrix);
    const float aspect = static_cast<float>(width_) / static_cast<float>(height_);
    EXPECT_NEAR(matrix[5], 1.0f, 1e-5); // cot(45 degrees)
    EXPECT_NEAR(matrix[0], 1.0f / aspect, 1e-5);
    glGetFloatv(GL_MODELVIEW_MATRIX, matrix);
    EXPECT_FLOAT_EQ(matrix[12], 0);
    EXPECT_FLOAT_EQ(matrix[0], 1);
}

TEST_F(GLContext, EachBlendModeMixesAsItSays) {
    // Background 0.5 grey; a red quad at half alpha over it.
    auto blended = [](int32_t mode) {
        qx::ogl->Blend(qx::kBlendOff);
        glClearColor(0.5f, 0.5f, 0.5f, 1);
        qx::ogl->Clear(true, false, false);
        qx::ogl->Blend(mode);
        FillRect(0, 0, 4, 4, 1, 0, 0, 0.5f);
        return Pixel(1, 1);
    };
    auto near = [](TColor got, TColor want) {
        for (int i = 0; i < 3; ++i)
            if (std::abs(got[i] - want[i]) > 2) return false;
        return true;
    };
    EXPECT_TRUE(near(blended(0), {255, 0, 0}));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(near(blended(1), {191, 64, 64}));   // 0.5 * red + 0.5 * grey
    EXPECT_TRUE(near(blended(2), {255, 128, 128})); // grey + 0.5 * red, clamped
    EXPECT_TRUE(near(blended(3), {128, 0, 0}));     // grey * red
    // Any other mode enables blending and keeps the function: still multiply.
    EXPECT_TRUE(near(blended(5), {128, 0, 0}));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    qx::ogl->Blend(qx::kBlendOff);
}

class ScreenShot : public GLContext {
protected:
    // A known frame: black, a red top-left pixel, a blue bottom-left pixel
    // and a white bottom-right one.
    void DrawFrame() {
        glClearColor(0, 0, 0, 1);
        qx::ogl->Clear(true, false, false);
        FillRect(0, 0, 1, 1, 1, 0, 0);
        FillRect(0, static_cast<float>(height_ - 1), 1, 1, 0, 0, 1);
        FillRect(static_cast<float>(width_ - 1), static_cast<float>(height_ - 1), 1, 1, 1, 1, 1);
        FillRect(40, 30, 7, 5, 0.2f, 0.6f, 0.8f);
    }
    // The frame as the image files hold it: bottom row first, BGR, each row
    // padded to a multiple of alignment bytes with zeros.
    std::vector<uint8_t> Frame(int alignment) {
        const test_window::TPicture frame = test_window::ReadFrame();
        const size_t row = (static_cast<size_t>(width_) * 3 + alignment - 1) / alignment * alignment;
        std::vector<uint8_t> pixels(row * height_);
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                for (int k = 0; k < 3; ++k)
                    pixels[(height_ - 1 - y) * row + x * 3 + k] = frame.At(x, y)[2 - k];
        return pixels;
    }
};

TEST_F(ScreenShot, BmpHasPaddedBottomUpRowsOfTheFrame) {
    DrawFrame();
    const std::string name = MakeTempDir() + "/shot.bmp";
    ASSERT_TRUE(qx::ogl->ScreenShot(name));
    const std::vector<uint8_t> file = ReadBytes(name);
    const uint32_t row = (static_cast<uint32_t>(width_) * 3 + 3) & ~3u; // 304 for 101 pixels
    ASSERT_EQ(row, 304u);
    ASSERT_EQ(file.size(), 54 + row * height_);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(LE(file, 2, 4), file.size());
    EXPECT_EQ(LE(file, 10, 4), 54u);
    EXPECT_EQ(LE(file, 14, 4), 40u);
    EXPECT_EQ(LE(file, 18, 4), static_cast<uint32_t>(width_));
    EXPECT_EQ(LE(file, 22, 4), static_cast<uint32_t>(height_));
    EXPECT_EQ(LE(file, 26, 2), 1u);
    EXPECT_EQ(LE(file, 28, 2), 24u);
    EXPECT_EQ(LE(file, 30, 4), 0u);
    EXPECT_EQ(LE(file, 34, 4), row * height_);
    for (size_t i = 38; i < 54; ++i) EXPECT_EQ(file[i], 0) << i;

    const std::vector<uint8_t> pixels(file.begin() + 54, file.end());
    const std::vector<uint8_t> frame = Frame(4);
    for (int y = 0; y < height_; ++y) // padding bytes aside, the file is the frame
        ASSERT_TRUE(std::equal(pixels.begin() + y * row, pixels.begin() + y * row + width_ * 3,
                               frame.begin() + y * row)) << "row " << y;
    // Bottom-up, blue-green-red: the file's first pixel is the bottom-left (blue) one.
    EXPECT_EQ((std::vector<uint8_t>(pixels.begin(), pixels.begin() + 3)), (std::vector<uint8_t>{255, 0, 0}));
    const size_t topLeft = static_cast<size_t>(height_ - 1) * row;
    EXPECT_EQ((std::vector<uint8_t>(pixels.begin() + topLeft, pixels.begin() + topLeft + 3)),
              (std::vector<uint8_t>{0, 0, 255}));
    const size_t bottomRight = static_cast<size_t>(width_ - 1) * 3;
    EXPECT_EQ((std::vector<uint8_t>(pixels.begin() + bottomRight, pixels.begin() + bottomRight + 3)),
              (std::vector<uint8_t>{255, 255, 255}));
}

TEST_F(ScreenShot, TgaHasTightRowsAndOnlyLowerCaseTgaSelectsIt) {
    DrawFrame();
    const std::string dir = MakeTempDir();
    ASSERT_TRUE(qx::ogl->ScreenShot(dir + "/shot.tga"));
    const std::vector<uint8_t> file = ReadBytes(dir + "/shot.tga");
    ASSERT_EQ(file.size(), 18u + static_cast<size_t>(width_) * 3 * height_);
    const std::vector<uint8_t> header(file.begin(), file.begin() + 18);
    EXPECT_EQ(header, (std::vector<uint8_t>{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<uint8_t>(width_), 0,
                                            static_cast<uint8_t>(height_), 0, 24, 0}));
    EXPECT_EQ(std::vector<uint8_t>(file.begin() + 18, file.end()), Frame(1));

    ASSERT_TRUE(qx::ogl->ScreenShot(dir + "/shot.TGA"));
    const std::vector<uint8_t> upper = ReadBytes(dir + "/shot.TGA");
    ASSERT_GE(upper.size(), 2u);
    EXPECT_EQ(upper[0], 'B');
    EXPECT_EQ(upper[1], 'M');
}

TEST_F(ScreenShot, AFileThatCannotBeCreatedGivesFalse) {
    EXPECT_FALSE(qx::ogl->ScreenShot(MakeTempDir() + "/missing/folder/shot.bmp"));
}

TEST_F(GLContext, LightsTakePackedColoursAndIgnoreBadNumbers) {
    qx::TLightMan* lights = qx::ogl->Lights();
    ASSERT_NE(lights, nullptr);
    lights->LightEnable(1);
    EXPECT_TRUE(glIsEnabled(GL_LIGHT1));
    lights->LightColor(1, qx::PackRGBA(255, 0, 51, 255));
    GLfloat diffuse[4];
    glGetLightfv(GL_LIGHT1, GL_DIFFUSE, diffuse);
    EXPECT_FLOAT_EQ(diffuse[0], 1);
    EXPECT_FLOAT_EQ(diffuse[1], 0);
    EXPECT_FLOAT_EQ(diffuse[2], 0.2f);
    lights->AmbientColor(qx::PackRGBA(0, 255, 0, 0));
    GLfloat ambient[4];
    glGetFloatv(GL_LIGHT_MODEL_AMBIENT, ambient);
    EXPECT_FLOAT_EQ(ambient[1], 1);
    EXPECT_FLOAT_EQ(ambient[3], 0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    lights->LightPosition(1, 1, 2, 3);
    GLfloat position[4];
    glGetLightfv(GL_LIGHT1, GL_POSITION, position);
    EXPECT_FLOAT_EQ(position[2], 3);
    EXPECT_FLOAT_EQ(position[3], 1); // positional
    lights->LightDisable(1);
    EXPECT_FALSE(glIsEnabled(GL_LIGHT1));
    while (glGetError() != GL_NO_ERROR) {
    }
    lights->LightEnable(-1);
    lights->LightEnable(4096);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(GLContext, TextSlotsReachTheFontManager) {
    EXPECT_GT(qx::ogl->TextLen(0, "FixedSys"), 0);
    EXPECT_EQ(qx::ogl->TextLen(0, "FixedSys"), qx::ogl->Fonts()->TextLen(0, "FixedSys"));
    EXPECT_EQ(qx::ogl->TextLen(99, "FixedSys"), 0);
    glClearColor(0, 0, 0, 1);
    qx::ogl->Clear(true, false, false);
    glColor4f(1, 1, 1, 1);
    qx::ogl->TextOut(0, "MMMM", 0, 0);
    int lit = 0;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 30; ++x) lit += Pixel(x, y)[0] > 128 ? 1 : 0;
    EXPECT_GT(lit, 0);
}

TEST_F(GLContext, VSyncAndSamplesAreSettings) {
    qx::ogl->SetVSync(true);
    EXPECT_TRUE(qx::ogl->VSync());
    qx::ogl->Swap(); // applies it where the platform offers swap control
    if (qx::SwapControlExt) {
        EXPECT_EQ(SDL_GL_GetSwapInterval(), 1);
    }
    qx::ogl->SetVSync(false);
    EXPECT_FALSE(qx::ogl->VSync());
    qx::ogl->Swap();
    // Once the window exists the sample count no longer changes.
    qx::ogl->SetAASamples(8);
    EXPECT_EQ(qx::ogl->AASamples(), 0);
}

// Needs a window of its own, so it makes a fresh engine.
TEST(MultisampleProbe, LowersTheRequestUntilAContextCanBeMade) {
    qx::InitEngine(TestLogPath());
    qx::ogl->SetAASamples(32);
    ASSERT_TRUE(qx::wnd->Create("probe", false));
    const int32_t samples = qx::ogl->AASamples();
    EXPECT_GE(samples, 0);
    EXPECT_LT(samples, 32);
    EXPECT_NE(TestLogText().find("OpenGL  : USE_AA_SAMPLES : " + qx::IntToStr(samples) + "\r\n"), std::string::npos);
    if (samples > 0) {
        GLint contextSamples = 0;
        glGetIntegerv(GL_SAMPLES, &contextSamples);
        EXPECT_EQ(contextSamples, samples);
    }
    qx::InitEngine(TestLogPath());
}

} // namespace
