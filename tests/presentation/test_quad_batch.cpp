// Quads drawn as a batch against the same quads drawn one by one, on the real
// window and renderer: the frames must be byte for byte the same, and the GL
// state afterwards as drawing them one by one leaves it.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/engine.h"
#include "presentation/text.h"
#include "presentation/tools.h"
#include "tests/support/window.h"

namespace {

struct TPlaced {
    double x, y, width, height;
    uint32_t color;
};

enum class TShape { Centred, Corner }; // as DrawQuadRot at angle 0 draws it, or as DrawQuad

// Quads at fractional places, of several sizes and colours, some overlapping.
std::vector<TPlaced> Scatter(int count, double width, double height) {
    SeedRandom(11);
    std::vector<TPlaced> quads;
    for (int i = 0; i < count; ++i) {
        const double side = width / 100 + RandomStep(0, width / 10, 0.001);
        quads.push_back({RandomStep(0, width, 0.001), RandomStep(0, height, 0.001), side, side * (0.5 + RandomInt(3) / 2.0),
                         qx::PackRGBA(static_cast<uint8_t>(RandomInt(256)), static_cast<uint8_t>(RandomInt(256)),
                                      static_cast<uint8_t>(RandomInt(256)), static_cast<uint8_t>(RandomInt(256)))});
    }
    return quads;
}

class QuadBatchTest : public test_window::WindowTest {
protected:
    void SetUp() override {
        width_ = 800;
        height_ = 600;
        WindowTest::SetUp();
        // A soft round spot with a ramp of alpha, so that a texture coordinate
        // a step off shows in the pixels.
        constexpr int kSide = 64;
        std::vector<uint8_t> spot(kSide * kSide * 4);
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const double d = std::hypot(x - 31.5, y - 31.5) / 32;
                const auto level = static_cast<uint8_t>(255 * std::max(0.0, 1 - d));
                uint8_t* p = &spot[(y * kSide + x) * 4];
                p[0] = level, p[1] = static_cast<uint8_t>(x * 4), p[2] = static_cast<uint8_t>(y * 4), p[3] = level;
            }
        glGenTextures(1, &texture_);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kSide, kSide, 0, GL_RGBA, GL_UNSIGNED_BYTE, spot.data());
    }
    void TearDown() override {
        glDisable(GL_TEXTURE_2D);
        glDeleteTextures(1, &texture_);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }

    // Clears, sets the view (projection, then the model-view), textures and
    // blends, draws, and reads the frame back.
    test_window::TPicture Frame(const std::function<void()>& view, uint32_t blend, const std::function<void()>& draw) {
        glClearColor(0.2f, 0.3f, 0.4f, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        view();
        glEnable(GL_TEXTURE_2D);
        glBindTexture(GL_TEXTURE_2D, texture_);
        qx::ogl->Blend(blend);
        draw();
        qx::ogl->Blend(qx::kBlendOff);
        glFinish();
        return test_window::ReadFrame();
    }

    void ExpectSameFrame(const std::function<void()>& view, uint32_t blend, const std::vector<TPlaced>& quads,
                         TShape shape, size_t room, double shrink = 1);

    GLuint texture_ = 0;
};

// A view of large logical pixels (as the game's on a dense screen, but 4 x 4
// window pixels each), so that a corner a rounding off shows.
void ScaledView() { qx::ogl->Set2D(0, 0, 200, 150); }

// The quads one by one, then through a batch with the given room: the same frame.
void QuadBatchTest::ExpectSameFrame(const std::function<void()>& view, uint32_t blend, const std::vector<TPlaced>& quads,
                                    TShape shape, size_t room, double shrink) {
    const auto single = Frame(view, blend, [&] {
        for (const TPlaced& q : quads) {
            qx::SetGLColor(q.color);
            if (shape == TShape::Centred) DrawQuadRot(q.x, q.y, q.width / shrink, q.height / shrink, 0);
            else DrawQuad(GL_QUADS, q.x, q.y, q.width / shrink, q.height / shrink);
        }
    });
    TQuadBatch batch(room);
    const auto batched = Frame(view, blend, [&] {
        for (const TPlaced& q : quads) {
            if (shape == TShape::Centred) batch.AddCentred(q.x, q.y, q.width / shrink, q.height / shrink, GLColorOf(q.color));
            else batch.AddQuad(q.x, q.y, q.width / shrink, q.height / shrink, GLColorOf(q.color));
        }
        batch.Draw();
    });
    EXPECT_TRUE(single.rgba == batched.rgba);
}

TEST_F(QuadBatchTest, CentredQuadsBlendedAdditivelyMatchDrawingThemOneByOne) {
    const auto quads = Scatter(2000, 200, 150);
    ExpectSameFrame(ScaledView, qx::kBlendAdd, quads, TShape::Centred, quads.size());
}

// Top-left quads under a moved and scaled model-view, through a batch with
// less room than quads (drawn in parts as it fills).
TEST_F(QuadBatchTest, CornerQuadsUnderAMovedViewAndAFullBatchMatchDrawingThemOneByOne) {
    const auto view = [] {
        qx::ogl->Set2D(0, 0, 800, 600);
        glTranslatef(13.3f, -7.7f, 0);
        glScalef(1.25f, 0.9f, 1);
    };
    ExpectSameFrame(view, qx::kBlendAlpha, Scatter(150, 700, 500), TShape::Corner, 7);
}

// A perspective projection is no 2-D view: the batch leaves the transform to the driver.
TEST_F(QuadBatchTest, QuadsUnderAPerspectiveMatchDrawingThemOneByOne) {
    const auto view = [] {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glFrustum(-1, 1, -0.75, 0.75, 1, 100);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glTranslatef(-20, -15, -30);
    };
    ExpectSameFrame(view, qx::kBlendAlpha, Scatter(100, 40, 30), TShape::Centred, 100, 10);
}

TEST_F(QuadBatchTest, LeavesTheMatricesArraysAndColourAsDrawingOneByOneDoes) {
    ScaledView();
    glTranslatef(3.5f, 2.25f, 0);
    std::array<float, 16> projection{}, modelView{}, projectionAfter{}, modelViewAfter{};
    glGetFloatv(GL_PROJECTION_MATRIX, projection.data());
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView.data());

    TQuadBatch batch(4);
    EXPECT_TRUE(batch.Empty());
    batch.Draw(); // nothing to draw: nothing changes
    batch.AddCentred(10, 10, 5, 5, GLColorOf(qx::PackRGBA(1, 2, 3, 4)));
    batch.AddQuad(20, 20, 5, 5, GLColorOf(qx::PackRGBA(200, 100, 50, 25)));
    EXPECT_FALSE(batch.Empty());
    batch.Draw();
    EXPECT_TRUE(batch.Empty());

    glGetFloatv(GL_PROJECTION_MATRIX, projectionAfter.data());
    glGetFloatv(GL_MODELVIEW_MATRIX, modelViewAfter.data());
    EXPECT_EQ(projection, projectionAfter);
    EXPECT_EQ(modelView, modelViewAfter);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    for (const GLenum array : {GL_VERTEX_ARRAY, GL_TEXTURE_COORD_ARRAY, GL_COLOR_ARRAY})
        EXPECT_FALSE(glIsEnabled(array)) << array;
    void* pointer = &mode;
    glGetPointerv(GL_VERTEX_ARRAY_POINTER, &pointer);
    EXPECT_EQ(pointer, nullptr);
    std::array<float, 4> color{};
    glGetFloatv(GL_CURRENT_COLOR, color.data());
    EXPECT_EQ(color, GLColorOf(qx::PackRGBA(200, 100, 50, 25)));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

} // namespace
