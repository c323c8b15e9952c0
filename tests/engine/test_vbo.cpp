// Vertex buffers on a real GL context, every test both in GL buffer objects and
// in client arrays: meshes drawn and read back from the frame, with and without
// indices and from offsets, the index size chosen by the largest index, pieces
// joined in order, rewriting in place, ids reused, and the refusals.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <array>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/support/window.h"
#include "tests/test_support.h"

namespace {

using test_window::Pixel;
using test_window::TRgb;

struct TVertex {
    float x, y, z;
};

const TRgb kBlack{0, 0, 0};
const TRgb kRed{255, 0, 0};
const TRgb kGreen{0, 255, 0};

uint32_t Rgba(TRgb c) { return qx::PackRGBA(c[0], c[1], c[2], 255); }

// A w x h rectangle at (x, y) as four corners in drawing order.
std::vector<TVertex> Quad(float x, float y, float w, float h) {
    return {{x, y, 0}, {x + w, y, 0}, {x + w, y + h, 0}, {x, y + h, 0}};
}

bool LogHas(const std::string& line) { return TestLogText().find("VBuffer : " + line + "\r\n") != std::string::npos; }

// The parameter: whether the buffers live in GL buffer objects.
class VertexBuffers : public test_window::WindowTest, public testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(qx::VBOExt) << "the driver offers buffer objects";
        qx::VBOExt = GetParam();
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        qx::ogl->Blend(qx::kBlendOff);
        qx::ogl->Set2D(0, 0, static_cast<float>(width_), static_cast<float>(height_));
        Clear();
    }
    void TearDown() override {
        qx::vbo->EndUpdate();
        qx::vbo->ClearBuild();
        for (const int32_t id : made) qx::vbo->FreeBuffer(id);
        qx::VBOExt = true;
    }
    static void Clear() {
        glClearColor(0, 0, 0, 1);
        qx::ogl->Clear(true, false, false);
    }
    // Compiles positions (and indices and one colour for every vertex when given).
    int32_t Make(const std::vector<TVertex>& positions, const std::vector<uint32_t>& indices = {},
                 TRgb colour = kRed) {
        if (!indices.empty()) qx::vbo->AddData(qx::VBO_INDEX, static_cast<int32_t>(indices.size()), indices.data());
        qx::vbo->AddData(qx::VBO_POSITION, static_cast<int32_t>(positions.size()), positions.data());
        const std::vector<uint32_t> colours(positions.size(), Rgba(colour));
        qx::vbo->AddData(qx::VBO_COLOR, static_cast<int32_t>(colours.size()), colours.data());
        const int32_t id = qx::vbo->Compile();
        if (id >= 0) made.push_back(id);
        return id;
    }
    std::vector<int32_t> made;
};

INSTANTIATE_TEST_SUITE_P(Storage, VertexBuffers, testing::Values(true, false),
                         [](const auto& info) { return info.param ? "BufferObjects" : "ClientArrays"; });

TEST_P(VertexBuffers, AMeshDrawsWithoutIndicesAllOfItOrFromAnOffset) {
    std::vector<TVertex> quads;
    for (int k = 0; k < 4; ++k) {
        const auto quad = Quad(10.0f + 30.0f * k, 10, 20, 20);
        quads.insert(quads.end(), quad.begin(), quad.end());
    }
    const int32_t id = Make(quads);
    ASSERT_GE(id, 0);
    EXPECT_EQ(qx::vbo->IndexSize(id), 0);
    qx::vbo->RenderBuffer(id, GL_QUADS, 0);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(Pixel(20 + 30 * k, 20), kRed) << k;

    // From vertex 8 on: the third and fourth quads only; count 0 is all that remain.
    Clear();
    qx::vbo->SetOffset(id, qx::VBO_POSITION, 8);
    qx::vbo->RenderBuffer(id, GL_QUADS, 0);
    EXPECT_EQ(Pixel(20, 20), kBlack);
    EXPECT_EQ(Pixel(50, 20), kBlack);
    EXPECT_EQ(Pixel(80, 20), kRed);
    EXPECT_EQ(Pixel(110, 20), kRed);
    // A count beyond what remains is cut to it; a count of 4 draws one quad.
    Clear();
    qx::vbo->RenderBuffer(id, GL_QUADS, 4);
    EXPECT_EQ(Pixel(80, 20), kRed);
    EXPECT_EQ(Pixel(110, 20), kBlack);
    qx::vbo->RenderBuffer(id, GL_QUADS, 1000);
    EXPECT_EQ(Pixel(110, 20), kRed);
    // An offset past the end is refused and the old one kept.
    qx::vbo->SetOffset(id, qx::VBO_POSITION, 17);
    EXPECT_TRUE(LogHas("Offset out of range (1)"));
    Clear();
    qx::vbo->RenderBuffer(id, GL_QUADS, 0);
    EXPECT_EQ(Pixel(20, 20), kBlack);
    EXPECT_EQ(Pixel(80, 20), kRed);
}

TEST_P(VertexBuffers, AnIndexedMeshDrawsFromTheIndexOffset) {
    const int32_t id = Make(Quad(10, 10, 40, 40), {0, 1, 2, 0, 2, 3});
    ASSERT_GE(id, 0);
    EXPECT_EQ(qx::vbo->IndexSize(id), 1);
    qx::vbo->RenderBuffer(id, GL_TRIANGLES, 0);
    EXPECT_EQ(Pixel(40, 15), kRed); // first triangle: upper right
    EXPECT_EQ(Pixel(15, 40), kRed); // second: lower left
    Clear();
    qx::vbo->SetOffset(id, qx::VBO_INDEX, 3);
    qx::vbo->RenderBuffer(id, GL_TRIANGLES, 0);
    EXPECT_EQ(Pixel(40, 15), kBlack);
    EXPECT_EQ(Pixel(15, 40), kRed);
    // A vertex offset that would carry an index past the last vertex is refused.
    qx::vbo->SetOffset(id, qx::VBO_POSITION, 1);
    EXPECT_TRUE(LogHas("Offset out of range (1)"));
}

// The index size follows the largest index, and the largest is drawn as
// itself: a quad made of the last four of n vertices, all others off screen.
TEST_P(VertexBuffers, TheLargestIndexChoosesTheIndexSize) {
    struct {
        uint32_t largest;
        int32_t size;
    } const cases[] = {{255, 1}, {256, 2}, {65535, 2}, {65536, 4}};
    for (const auto& c : cases) {
        std::vector<TVertex> positions(c.largest + 1, TVertex{-50, -50, 0});
        const auto quad = Quad(10, 10, 30, 30);
        std::copy(quad.begin(), quad.end(), positions.end() - 4);
        const int32_t id = Make(positions, {c.largest - 3, c.largest - 2, c.largest - 1, c.largest});
        ASSERT_GE(id, 0) << c.largest;
        EXPECT_EQ(qx::vbo->IndexSize(id), c.size) << c.largest;
        Clear();
        qx::vbo->RenderBuffer(id, GL_QUADS, 0);
        EXPECT_EQ(Pixel(25, 25), kRed) << c.largest;
        EXPECT_EQ(Pixel(12, 37), kRed) << c.largest; // near the corner of the largest index
        qx::vbo->FreeBuffer(id);
    }
}

// Positions in pieces of 4, 5 and 6 and colours in pieces of 6, 5 and 4: each
// vertex is one pixel that must carry its own colour.
TEST_P(VertexBuffers, PiecesJoinInTheOrderTheyCame) {
    std::vector<TVertex> points;
    std::vector<uint32_t> colours;
    for (int i = 0; i < 15; ++i) {
        points.push_back({4.5f + 3 * i, 5.5f, 0});
        colours.push_back(Rgba({static_cast<uint8_t>(16 * i + 15), static_cast<uint8_t>(240 - 16 * i), 0}));
    }
    int at = 0;
    for (const int piece : {4, 5, 6}) {
        qx::vbo->AddData(qx::VBO_POSITION, piece, &points[static_cast<size_t>(at)]);
        at += piece;
    }
    at = 0;
    for (const int piece : {6, 5, 4}) {
        qx::vbo->AddData(qx::VBO_COLOR, piece, &colours[static_cast<size_t>(at)]);
        at += piece;
    }
    const int32_t id = qx::vbo->Compile();
    ASSERT_GE(id, 0);
    made.push_back(id);
    EXPECT_TRUE(LogHas("Compile #" + qx::IntToStr(id) + "\t( 1: 15 3: 15 )"));
    glPointSize(1);
    qx::vbo->RenderBuffer(id, GL_POINTS, 0);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(Pixel(4 + 3 * i, 5), (TRgb{static_cast<uint8_t>(16 * i + 15), static_cast<uint8_t>(240 - 16 * i), 0}))
            << i;
    // A disabled colour array leaves the current colour to the drawing.
    qx::vbo->DisableArray(id, qx::VBO_COLOR);
    glColor3ub(0, 0, 255);
    qx::vbo->RenderBuffer(id, GL_POINTS, 0);
    EXPECT_EQ(Pixel(4, 5), (TRgb{0, 0, 255}));
    qx::vbo->EnableArray(id, qx::VBO_COLOR);
    qx::vbo->EnableArray(id, 6);
    qx::vbo->DisableArray(id, -1);
    qx::vbo->RenderBuffer(id, GL_POINTS, 0);
    EXPECT_EQ(Pixel(4, 5), (TRgb{15, 240, 0}));
}

TEST_P(VertexBuffers, AnUpdateRewritesTheBufferInPlace) {
    const int32_t id = Make(Quad(10, 10, 20, 20), {0, 1, 2, 3});
    ASSERT_GE(id, 0);
    qx::vbo->BeginUpdate(id);
    // Compiling and drawing wait for the update to end.
    qx::vbo->AddData(qx::VBO_POSITION, 1, Quad(0, 0, 1, 1).data());
    EXPECT_EQ(qx::vbo->Compile(), -1);
    EXPECT_TRUE(LogHas("end updating before compile new buffer"));
    // The first write moved vertex 0; rewrite all four from vertex 0 again.
    qx::vbo->SetOffset(id, qx::VBO_POSITION, 0);
    const auto moved = Quad(60, 10, 20, 20);
    qx::vbo->AddData(qx::VBO_POSITION, 4, moved.data());
    const std::vector<uint32_t> green(4, Rgba(kGreen));
    qx::vbo->AddData(qx::VBO_COLOR, 2, green.data());
    qx::vbo->AddData(qx::VBO_COLOR, 2, green.data()); // the write position moved on
    const uint32_t reversed[4] = {3, 2, 1, 0};
    qx::vbo->AddData(qx::VBO_INDEX, 4, reversed);
    // Writes that would leave the array, or name a vertex it lacks, are refused.
    qx::vbo->AddData(qx::VBO_COLOR, 1, green.data());
    EXPECT_TRUE(LogHas("Error while writing data (3)"));
    const uint32_t outside[1] = {4};
    qx::vbo->SetOffset(id, qx::VBO_INDEX, 0);
    qx::vbo->AddData(qx::VBO_INDEX, 1, outside);
    EXPECT_TRUE(LogHas("Error while writing data (0)"));
    qx::vbo->AddData(qx::VBO_NORMAL, 1, moved.data()); // an array the buffer does not have
    EXPECT_TRUE(LogHas("Error while writing data (2)"));
    qx::vbo->RenderBuffer(id, GL_QUADS, 0);
    EXPECT_EQ(Pixel(70, 20), kBlack);
    qx::vbo->EndUpdate();

    qx::vbo->RenderBuffer(id, GL_QUADS, 0);
    EXPECT_EQ(Pixel(20, 20), kBlack);
    EXPECT_EQ(Pixel(70, 20), kGreen);
}

TEST_P(VertexBuffers, AFreedIdIsReusedAndUnknownIdsDoNothing) {
    const int32_t first = Make(Quad(10, 10, 20, 20));
    const int32_t second = Make(Quad(40, 10, 20, 20));
    ASSERT_GE(first, 0);
    ASSERT_NE(first, second);
    qx::vbo->FreeBuffer(first);
    EXPECT_TRUE(LogHas("Free #" + qx::IntToStr(first)));
    for (const int32_t id : {first, -1, 1000}) {
        qx::vbo->RenderBuffer(id, GL_QUADS, 0);
        qx::vbo->SetOffset(id, qx::VBO_POSITION, 1);
        qx::vbo->EnableArray(id, qx::VBO_POSITION);
        qx::vbo->BeginUpdate(id);
        qx::vbo->FreeBuffer(id);
        EXPECT_EQ(qx::vbo->IndexSize(id), 0);
    }
    EXPECT_EQ(Pixel(20, 20), kBlack);
    const int32_t third = Make(Quad(10, 10, 20, 20));
    EXPECT_EQ(third, first);
    qx::vbo->RenderBuffer(second, GL_QUADS, 0);
    qx::vbo->RenderBuffer(third, GL_QUADS, 0);
    EXPECT_EQ(Pixel(20, 20), kRed);
    EXPECT_EQ(Pixel(50, 20), kRed);
}

TEST_P(VertexBuffers, MeshesThatCannotBeDrawnAreRefused) {
    EXPECT_EQ(qx::vbo->Compile(), -1);
    EXPECT_TRUE(LogHas("VBOid is not created"));

    const std::vector<uint32_t> colours(4, Rgba(kRed));
    qx::vbo->AddData(qx::VBO_COLOR, 4, colours.data());
    qx::vbo->AddData(9, 4, colours.data());
    qx::vbo->AddData(qx::VBO_COLOR, 0, colours.data());
    qx::vbo->AddData(qx::VBO_COLOR, 4, nullptr);
    EXPECT_EQ(qx::vbo->Compile(), -1);
    EXPECT_TRUE(LogHas("Not has vertex arrays"));
    qx::vbo->ClearBuild();
    EXPECT_TRUE(LogHas("clear"));

    // A colour for only some of the vertices, and an index past the last vertex.
    qx::vbo->AddData(qx::VBO_POSITION, 4, Quad(0, 0, 5, 5).data());
    qx::vbo->AddData(qx::VBO_COLOR, 3, colours.data());
    EXPECT_EQ(qx::vbo->Compile(), -1);
    EXPECT_TRUE(LogHas("Error while compiling"));
    EXPECT_EQ(Make(Quad(0, 0, 5, 5), {0, 1, 2, 4}), -1);
    // The refusals leave nothing half built behind.
    const int32_t id = Make(Quad(10, 10, 20, 20));
    ASSERT_GE(id, 0);
    qx::vbo->RenderBuffer(id, GL_QUADS, 0);
    EXPECT_EQ(Pixel(20, 20), kRed);
}

} // namespace
