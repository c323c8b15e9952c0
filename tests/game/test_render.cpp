// One frame of the game scene in a real window, read back: every cell state in
// its place and colour, particles, the panel text and the cursor; and the
// shared cursor moved by real mouse motion.
#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <new>

#include "presentation/text.h"
#include "tests/game/game_fixture.h"
#include "tests/support/window.h"
#include "tests/test_support.h"

#include "tests/alloc_counter.h"

namespace {

const bool installed = (test_window::GameWindow::Install(), true);

// Clears to black and sets up the 2-D projection, as the menu background would.
class BlackHost : public TRecordingHost {
public:
    void DrawBackground() override {
        glClearColor(0, 0, 0, 0);
        qx::ogl->Clear(true, true, false);
        SetViewProjection();
        ++Backgrounds;
    }
};

class RenderTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test_window::GameWindow::Ready()) << "no display";
        SetViewSize(0, 0);
        scene = std::make_unique<TGameScene>(host);
        SeedRandom(3);
        scene->NewGame(0);
        for (auto& column : scene->Board)
            for (auto& cell : column) cell = TCell{};
    }
    void TearDown() override {
        SetViewScale(1);
        scene.reset();
        CurrentScene = nullptr;
    }
    void Put(int c, int r, uint8_t color, TCellState state, double timer = 0) {
        scene->Board[c][r] = TCell{state, color, timer};
    }
    std::array<double, 3> CellMean(int c, int r) {
        const Vec2 corner = scene->CellPos(c, r);
        return test_window::Mean(static_cast<int>(corner.x) + 4, static_cast<int>(corner.y) + 4, 24, 24);
    }

    BlackHost host;
    std::unique_ptr<TGameScene> scene;
};

// Red - blue: strongly positive for orange, strongly negative for azure, near 0 for grey.
double Warmth(const std::array<double, 3>& rgb) { return rgb[0] - rgb[2]; }
double Spread(const std::array<double, 3>& rgb) {
    return std::max({rgb[0], rgb[1], rgb[2]}) - std::min({rgb[0], rgb[1], rgb[2]});
}

TEST_F(RenderTest, EveryCellStateShowsItsLookInItsPlace) {
    ASSERT_EQ(qx::wnd->Width(), 1024);
    ASSERT_EQ(qx::wnd->Height(), 768);
    Put(1, 1, 1, TCellState::Full);
    Put(2, 1, 2, TCellState::Full);
    Put(3, 1, 3, TCellState::Full);
    Put(4, 1, 3, TCellState::Vanish, 20);   // still whole
    Put(5, 1, 1, TCellState::Vanish, 5);    // half faded over an empty cell
    Put(6, 1, 2, TCellState::Error, 15);    // still its colour
    Put(7, 1, 1, TCellState::Error, 5);     // fading to grey
    Put(8, 1, 1, TCellState::Error, 0);     // grey overflow
    Put(10, 20, 1, TCellState::Full);       // the top-right corner
    scene->AddParticle({900, 300}, {0, 0}, qx::PackRGBA(255, 0, 0, 255));
    scene->Particles[1].Life = 1.2;
    SetCursor(880, 600);
    scene->Render();
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    const auto orange = CellMean(1, 1), lime = CellMean(2, 1), azure = CellMean(3, 1);
    EXPECT_GT(orange[0], orange[1]);
    EXPECT_GT(orange[1], orange[2]);
    EXPECT_GT(lime[1], lime[0]);
    EXPECT_GT(lime[0], lime[2]);
    EXPECT_GT(azure[2], azure[1]);
    EXPECT_GT(azure[1], azure[0]);
    EXPECT_GT(Warmth(orange), 60);

    const auto empty = CellMean(9, 1);
    EXPECT_LT(Spread(empty), 12) << "empty cells are grey";
    EXPECT_GT(empty[0], 5) << "and drawn";
    const auto top = CellMean(10, 20);
    EXPECT_GT(Warmth(top), 60);
    EXPECT_LT(Spread(CellMean(10, 19)), 12);

    const auto vanishingWhole = CellMean(4, 1);
    EXPECT_GT(vanishingWhole[2], vanishingWhole[0] + 60);
    const auto vanishingHalf = CellMean(5, 1);
    EXPECT_GT(Warmth(vanishingHalf), 10);
    EXPECT_LT(Warmth(vanishingHalf), Warmth(orange) - 20);
    const auto errorWhole = CellMean(6, 1);
    EXPECT_GT(errorWhole[1], errorWhole[2] + 60);
    const auto errorFading = CellMean(7, 1);
    EXPECT_LT(Warmth(errorFading), Warmth(orange) - 20);
    const auto errorGrey = CellMean(8, 1);
    EXPECT_LT(std::abs(Warmth(errorGrey)), 25) << "an overflow cell loses its colour";
    EXPECT_GT(errorGrey[0] + errorGrey[1] + errorGrey[2], 15);

    // Outside the board: black background, the red spark, white panel text, the cursor.
    EXPECT_LT(Spread(test_window::Mean(200, 400, 16, 16)) + test_window::Mean(200, 400, 16, 16)[0], 1);
    const auto spark = test_window::Mean(897, 297, 6, 6);
    EXPECT_GT(spark[0], spark[1] + 20);
    const auto panel = test_window::Mean(25, 25, 80, 14);
    EXPECT_GT(panel[0], 10) << "the panel's first line";
    EXPECT_LT(Spread(panel), 10) << "in white";
    const auto cursor = test_window::Mean(880, 600, 32, 32);
    EXPECT_GT(cursor[0] + cursor[1] + cursor[2], 15);
    EXPECT_LT(test_window::Mean(840, 600, 32, 32)[0], 1) << "nothing left of the cursor";
}

// Frames drawn as the main loop draws them, through the engine's render proc,
// which turns a failing frame into an "Error in ProcRender" line.
TEST_F(RenderTest, ParticleTableAndEmptyFramesDrawCleanly) {
    CurrentScene = scene.get();
    const size_t logBefore = TestLogText().size();
    qx::eng->Render(); // no particles: the spark texture and blend modes are still set and reset
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    for (int i = 0; i < TGameScene::kMaxParticles; ++i)
        scene->AddParticle({static_cast<double>(i % 1024), static_cast<double>(i % 768)}, {0.5, -0.5}, 0xFFFFFFFFu);
    qx::eng->Render();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    EXPECT_EQ(TestLogText().find("Error in", logBefore), std::string::npos) << TestLogText().substr(logBefore);
}

TEST_F(RenderTest, FramesOfAGameInProgressAllocateNothing) {
    scene->NewGame(0);
    host.Profile = "^2A player name of thirty-two ch"; // longer than any short-string buffer
    scene->Best.Name = "^3The best player name, 32 chars.";
    for (int i = 0; i < 500; ++i) scene->AddParticle({500, 300}, {0.3, 0.2}, 0xFF00FFFFu);
    for (int i = 0; i < 5; ++i) scene->Render(); // the first frames warm up the driver's caches
    EXPECT_EQ(CountAllocations([&] {
                  for (int i = 0; i < 20; ++i) scene->Render();
              }),
              0);
}

TEST_F(RenderTest, MarkupWidthIgnoresCodesAndDrawTextRoundsHalvesToEven) {
    EXPECT_GT(MarkupWidth(0, "RedWhite"), 0);
    EXPECT_EQ(MarkupWidth(0, "^1Red^7White"), MarkupWidth(0, "RedWhite"));
    EXPECT_EQ(MarkupWidth(0, "a^-b"), MarkupWidth(0, "ab"));
    EXPECT_EQ(MarkupWidth(0, "^x12"), MarkupWidth(0, "12"));
    // The same glyph drawn at 10.5 and at 10 lands on the same pixels; at 11.5 it moves to 12.
    const auto draw = [&](double x) {
        host.DrawBackground();
        glColor3f(1, 1, 1);
        DrawText(0, "^7H", x, 100);
        std::vector<int> lit;
        for (int px = 5; px < 30; ++px)
            for (int py = 100; py < 116; ++py)
                if (test_window::Pixel(px, py)[0] > 128) lit.push_back(px * 1000 + py);
        return lit;
    };
    const auto at10 = draw(10), at10half = draw(10.5), at11half = draw(11.5), at12 = draw(12);
    ASSERT_FALSE(at10.empty());
    EXPECT_EQ(at10half, at10);
    EXPECT_EQ(at11half, at12);
    EXPECT_NE(at12, at10);
}

// At scale 2 the same board is drawn with four pixels for each view pixel:
// each cell covers the doubled square of the window, and the place where the
// view's coordinates would put it at scale 1 shows no cell.
TEST_F(RenderTest, AtScaleTwoEachCellCoversItsDoubledSquare) {
    SetViewScale(2);
    Put(1, 1, 1, TCellState::Full);
    Put(3, 1, 3, TCellState::Full);
    Put(10, 10, 1, TCellState::Full);
    SetCursor(0, 0);
    scene->Render();
    for (const auto& [c, r] : {std::pair{1, 1}, std::pair{3, 1}, std::pair{10, 10}}) {
        const Vec2 corner = scene->CellPos(c, r);
        ASSERT_LT(corner.y + 32, ViewHeight());
        const auto doubled = test_window::Mean(2 * static_cast<int>(corner.x) + 8, 2 * static_cast<int>(corner.y) + 8, 48, 48);
        if (c == 3) EXPECT_LT(Warmth(doubled), -60) << "azure at " << c << "," << r;
        else EXPECT_GT(Warmth(doubled), 60) << "orange at " << c << "," << r;
        const auto undoubled = test_window::Mean(static_cast<int>(corner.x) + 4, static_cast<int>(corner.y) + 4, 24, 24);
        EXPECT_LT(std::abs(Warmth(undoubled)), 30) << "no cell at the view coordinates themselves";
    }
    // The cursor is 32 view pixels square: 64 device pixels.
    SetCursor(440, 150);
    scene->Render();
    EXPECT_GT(test_window::Mean(880 + 8, 300 + 8, 48, 48)[0], 20) << "the cursor, doubled";
    EXPECT_LT(test_window::Mean(840, 300 + 8, 32, 48)[0], 1) << "nothing left of it";
}

class CursorTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test_window::GameWindow::Ready()) << "no display";
        qx::inp->MCapture(true);
        qx::inp->Poll();
        qx::inp->ClearStep();
    }
    void TearDown() override { SetViewScale(1); }
    void Move(int dx, int dy) {
        test_window::Deliver(test_window::MotionEvent(dx, dy));
        ASSERT_TRUE(qx::wnd->Active());
        qx::inp->Poll();
        UpdateCursor();
        qx::inp->ClearStep();
    }
};

TEST_F(CursorTest, FollowsTheMouseAndStopsAtTheWindowEdges) {
    SetCursor(3, 100);
    Move(-10, 0);
    EXPECT_EQ(GetCursor().x, 0);
    EXPECT_EQ(GetCursor().y, 100);
    EXPECT_TRUE(CursorMoved());
    Move(0, 0);
    EXPECT_FALSE(CursorMoved());
    Move(5000, 5000);
    EXPECT_EQ(GetCursor().x, 1024) << "one pixel past the last visible one";
    EXPECT_EQ(GetCursor().y, 768);
    Move(-20, -900);
    EXPECT_EQ(GetCursor().x, 1004);
    EXPECT_EQ(GetCursor().y, 0);
}

// The mouse moves in device pixels; the view, and so the cursor, in view
// pixels: at scale 2 the cursor goes half as far and stops at half the window.
TEST_F(CursorTest, AtScaleTwoTheCursorMovesHalfAsFarInAViewOfHalfTheWindow) {
    SetViewScale(2);
    EXPECT_EQ(ViewScale(), 2);
    EXPECT_EQ(ViewWidth(), 512);
    EXPECT_EQ(ViewHeight(), 384);
    SetCursor(100, 100);
    Move(10, -7);
    EXPECT_EQ(GetCursor().x, 105);
    EXPECT_EQ(GetCursor().y, 96.5);
    Move(5000, 5000);
    EXPECT_EQ(GetCursor().x, 512);
    EXPECT_EQ(GetCursor().y, 384);
    SetViewScale(3);
    EXPECT_EQ(ViewWidth(), 341) << "rounded down";
    EXPECT_EQ(ViewHeight(), 256);
    SetViewScale(0);
    EXPECT_EQ(ViewScale(), 1);
    EXPECT_EQ(ViewWidth(), 1024);
    EXPECT_EQ(ViewHeight(), 768);
}

} // namespace
