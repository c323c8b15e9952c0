// Font manager on a real GL context: ids and their reuse, the atlas layout,
// widths and line height, and what plain and marked-up text put on screen.
#include <gtest/gtest.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/fontman.h"
#include "tests/support/window.h"
#include "tests/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

class FontTest : public test_window::WindowTest {};

int Width(const qx::TFontData& font, char c) { return font.Widths[static_cast<uint8_t>(c)]; }

// A font manager with the game's face-name mapping, as the game makes it.
struct GameFonts : qx::TFontMan {
    GameFonts() { EXPECT_TRUE(LoadConfig(std::string(NIVORA_GAME_DIR) + "/fonts.conf")); }
};

// Alpha of the atlas, top row first (the texture itself is stored bottom-up).
Bytes AtlasAlpha(uint32_t texture, int size) {
    Bytes texels(static_cast<size_t>(size) * size * 2);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE, texels.data());
    qx::tex->Disable(0);
    Bytes alpha(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            EXPECT_EQ(texels[((size - 1 - y) * size + x) * 2], 255) << "every texel is white";
            alpha[y * size + x] = texels[((size - 1 - y) * size + x) * 2 + 1];
        }
    return alpha;
}

int CellCoverage(const Bytes& alpha, int size, int code) {
    const int cell = size / 16;
    int sum = 0;
    for (int y = 0; y < cell; ++y)
        for (int x = 0; x < cell; ++x) sum += alpha[(cell * (code / 16) + y) * size + cell * (code % 16) + x];
    return sum;
}

// What a drawing left on a cleared 256 x 64 target.
struct Picture {
    Bytes rgba;
    int width = 256;
    // Pixels in rows [top, bottom) whose colour is close to (r, g, b) and lit.
    int Count(int top, int bottom, int r, int g, int b) const {
        int count = 0;
        for (int y = std::max(top, 0); y < std::min(bottom, 64); ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = &rgba[(y * width + x) * 4];
                if (p[0] + p[1] + p[2] < 200) continue;
                const int dr = p[0] * 255 / std::max<int>(1, std::max({p[0], p[1], p[2]}));
                const int dg = p[1] * 255 / std::max<int>(1, std::max({p[0], p[1], p[2]}));
                const int db = p[2] * 255 / std::max<int>(1, std::max({p[0], p[1], p[2]}));
                if (std::abs(dr - r) < 40 && std::abs(dg - g) < 40 && std::abs(db - b) < 40) ++count;
            }
        return count;
    }
    int LeftmostLit(int top, int bottom) const {
        for (int x = 0; x < width; ++x)
            for (int y = std::max(top, 0); y < std::min(bottom, 64); ++y)
                if (rgba[(y * width + x) * 4 + 3] > 0 && rgba[(y * width + x) * 4] + rgba[(y * width + x) * 4 + 1] +
                                                              rgba[(y * width + x) * 4 + 2] > 0)
                    return x;
        return -1;
    }
};

template <typename Draw>
Picture Render(Draw draw) {
    test_window::Target target(256, 64);
    EXPECT_TRUE(target.Complete());
    glColor4ub(255, 255, 255, 255);
    draw();
    return Picture{target.Pixels().rgba};
}

TEST_F(FontTest, IdsStartAtZeroAndFreedIdsAreReused) {
    GameFonts fonts;
    EXPECT_EQ(fonts.FontCreate("FixedSys", 8, false, 512), 0);
    EXPECT_EQ(fonts.FontCreate("Comic Sans MS", 16, false, 512), 1);
    EXPECT_EQ(fonts.FontCreate("FixedSys", 12, true, 256), 2);
    const uint32_t comicAtlas = fonts.Font(1)->Texture;
    fonts.FontFree(1);
    EXPECT_EQ(fonts.Font(1), nullptr);
    EXPECT_FALSE(glIsTexture(comicAtlas));
    fonts.FontFree(1);
    fonts.FontFree(-1);
    fonts.FontFree(3);
    EXPECT_EQ(fonts.FontCreate("Comic Sans MS", 16, false, 512), 1);
    EXPECT_EQ(fonts.Count(), 3);
    EXPECT_EQ(fonts.Font(0)->Name, "FixedSys");
    const std::string log = TestLogText();
    EXPECT_NE(log.find("Texture : Create #" + std::to_string(fonts.Font(0)->Texture) + "\t*Font_FixedSys_0*"),
              std::string::npos);
    EXPECT_NE(log.find("\t*Font_Comic Sans MS_1*"), std::string::npos);
    EXPECT_NE(log.find("\t*Font_FixedSys_2*"), std::string::npos);
}

TEST_F(FontTest, GlyphsSitInTheirCellsOfTheAtlas) {
    GameFonts fonts;
    const int32_t id = fonts.FontCreate("FixedSys", 8, false, 512);
    const qx::TFontData& font = *fonts.Font(id);
    const Bytes alpha = AtlasAlpha(font.Texture, 512);
    EXPECT_GT(CellCoverage(alpha, 512, 'A'), 255 * 10);
    EXPECT_EQ(CellCoverage(alpha, 512, ' '), 0);
    EXPECT_GT(CellCoverage(alpha, 512, 0xC0), 255 * 10) << "Cyrillic capital A from code page 1251";
    EXPECT_GT(CellCoverage(alpha, 512, 0xB9), 255 * 5) << "numero sign";
    // The A's coverage stays inside the part of its cell the character's quad shows.
    const int cell = 32;
    int outside = 0;
    for (int y = 0; y < cell; ++y)
        for (int x = 0; x < cell; ++x)
            if ((x >= Width(font, 'A') || y >= font.Height) && alpha[(cell * 4 + y) * 512 + cell * 1 + x] > 0)
                ++outside;
    EXPECT_EQ(outside, 0);
}

// The configuration is the caller's to give: a fonts.conf that happens to lie
// in the current folder is never read, one that cannot be read is a clear
// line, and the file the caller names is what maps the faces.
TEST_F(FontTest, OnlyTheConfigurationTheCallerNamesMapsTheFaces) {
    const std::string folder = MakeTempDir();
    const std::string config = folder + "/fonts.conf";
    {
        std::ofstream file(config);
        file << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
                "<fontconfig><alias binding=\"same\"><family>Nivora Test Face</family>"
                "<prefer><family>DejaVu Sans Mono</family></prefer></alias></fontconfig>\n";
    }
    const std::string before = std::filesystem::current_path().string();
    ASSERT_EQ(::chdir(folder.c_str()), 0);
    qx::TFontMan fonts;
    const std::string unmapped = fonts.FaceFile("Nivora Test Face", false);
    ASSERT_EQ(::chdir(before.c_str()), 0);
    EXPECT_EQ(unmapped.find("DejaVuSansMono"), std::string::npos) << "read a fonts.conf no one named";

    const std::string missing = folder + "/missing.conf";
    EXPECT_FALSE(fonts.LoadConfig(missing));
    EXPECT_NE(TestLogText().find("OpenGL  : Can't read font configuration " + missing + "\r\n"), std::string::npos);
    EXPECT_TRUE(fonts.LoadConfig(config));
    EXPECT_NE(fonts.FaceFile("Nivora Test Face", false).find("DejaVuSansMono"), std::string::npos);
}

TEST_F(FontTest, MappedFacesGiveTheirMetrics) {
    GameFonts fonts;
    EXPECT_NE(fonts.FaceFile("FixedSys", false).find("DejaVuSansMono.ttf"), std::string::npos)
        << "the game's face mapping was loaded";
    EXPECT_NE(fonts.FaceFile("FixedSys", true).find("DejaVuSansMono-Bold.ttf"), std::string::npos);
    EXPECT_NE(fonts.FaceFile("Comic Sans MS", false).find("ComicNeue-Regular"), std::string::npos);
    const qx::TFontData& fixed = *fonts.Font(fonts.FontCreate("FixedSys", 8, false, 512));
    // A monospace face.
    EXPECT_GT(Width(fixed, 'W'), 4);
    EXPECT_EQ(Width(fixed, 'i'), Width(fixed, 'W'));
    EXPECT_EQ(Width(fixed, '0'), Width(fixed, 'W'));
    EXPECT_EQ(Width(fixed, static_cast<char>(0xC0)), Width(fixed, 'W'));
    // 8 points at 96 dpi are an 11-pixel character height plus the face's leading.
    EXPECT_GE(fixed.Height, 11);
    EXPECT_LE(fixed.Height, 16);

    const qx::TFontData& comic = *fonts.Font(fonts.FontCreate("Comic Sans MS", 16, false, 512));
    EXPECT_LT(Width(comic, 'i'), Width(comic, 'W'));
    EXPECT_GE(comic.Height, 21);
    EXPECT_LT(comic.Height, 32);

    // Sizes a byte cannot hold: 96 points make a line over 128 pixels, and 200
    // points a 'W' over 128 pixels wide.
    const qx::TFontData& large = *fonts.Font(fonts.FontCreate("FixedSys", 96, false, 512));
    EXPECT_GE(large.Height, 128);
    EXPECT_LT(large.Height, 200);
    const qx::TFontData& huge = *fonts.Font(fonts.FontCreate("FixedSys", 200, false, 512));
    EXPECT_GT(Width(huge, 'W'), 140);
    EXPECT_LT(Width(huge, 'W'), 200);
    EXPECT_GT(huge.Height, 2 * large.Height - 20);

    const qx::TFontData& unknown = *fonts.Font(fonts.FontCreate("No Such Face At All", 12, false, 256));
    EXPECT_GT(Width(unknown, 'A'), 0) << "a substitute face";
}

TEST_F(FontTest, TextLenCountsMarkupAsGlyphsAndStopsAtZero) {
    GameFonts fonts;
    const int32_t id = fonts.FontCreate("Comic Sans MS", 16, false, 512);
    const qx::TFontData& font = *fonts.Font(id);
    const int ab = Width(font, 'A') + Width(font, 'B');
    EXPECT_EQ(fonts.TextLen(id, "AB"), ab);
    EXPECT_EQ(fonts.TextLen(id, "^1AB"), Width(font, '^') + Width(font, '1') + ab);
    EXPECT_EQ(fonts.TextLen(id, std::string("AB\0CD", 5)), ab);
    EXPECT_EQ(fonts.TextLen(id, ""), 0);
    EXPECT_EQ(fonts.TextLen(id + 1, "AB"), 0);
    EXPECT_EQ(fonts.TextLen(-1, "AB"), 0);
}

TEST_F(FontTest, MarkupColoursAndLineBreaks) {
    GameFonts fonts;
    const int32_t id = fonts.FontCreate("FixedSys", 8, false, 512);
    const int height = fonts.Font(id)->Height;
    const int x = 10;
    const int y = 5;
    const Picture picture = Render([&] { fonts.TextOutEx(id, "^1AB^-^2CD", x, y); });
    EXPECT_GT(picture.Count(y, y + height, 255, 0, 0), 10) << "red first line";
    EXPECT_EQ(picture.Count(y, y + height, 0, 255, 0), 0);
    EXPECT_GT(picture.Count(y + height, y + 2 * height, 0, 255, 0), 10) << "green second line";
    EXPECT_EQ(picture.Count(y + height, y + 2 * height, 255, 0, 0), 0);
    EXPECT_EQ(picture.Count(0, y, 255, 255, 255) + picture.Count(y + 2 * height, 64, 255, 255, 255), 0);
    const int secondLineStart = picture.LeftmostLit(y + height, y + 2 * height);
    EXPECT_GE(secondLineStart, x);
    EXPECT_LT(secondLineStart, x + fonts.TextLen(id, "C")) << "the break returns to the text's x";
    GLfloat colour[4] = {};
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ((std::vector<float>(colour, colour + 4)), (std::vector<float>{0, 1, 0, 1}))
        << "the last code's colour stays current";
}

TEST_F(FontTest, HexColoursInEitherCase) {
    GameFonts fonts;
    const int32_t id = fonts.FontCreate("FixedSys", 8, false, 512);
    const Picture mint = Render([&] { fonts.TextOutEx(id, "^x00FF80abc", 0, 0); });
    EXPECT_GT(mint.Count(0, 64, 0, 255, 128), 10);
    EXPECT_EQ(mint.Count(0, 64, 255, 255, 255), 0);
    const Picture red = Render([&] { fonts.TextOutEx(id, "^Xff0000abc", 0, 0); });
    EXPECT_GT(red.Count(0, 64, 255, 0, 0), 10);
}

TEST_F(FontTest, MarkupEdgeCasesDrawLikeTheirPlainText) {
    GameFonts fonts;
    const int32_t id = fonts.FontCreate("FixedSys", 8, false, 512);
    auto ex = [&](const std::string& text) { return Render([&] { fonts.TextOutEx(id, text, 3, 2); }).rgba; };
    auto plain = [&](const std::string& text) { return Render([&] { fonts.TextOut(id, text, 3, 2); }).rgba; };
    EXPECT_EQ(ex("50^%"), plain("50%")) << "a caret before another character is dropped";
    EXPECT_EQ(ex("ab^x12"), plain("ab")) << "an unfinished hex code ends the text";
    EXPECT_EQ(ex("ab^"), plain("ab")) << "a trailing caret";
    EXPECT_EQ(ex("^8"), plain("8"));
    EXPECT_EQ(plain(std::string("ab\0cd", 5)), plain("ab"));
    EXPECT_NE(plain("ab"), plain("ba"));
}

TEST_F(FontTest, GlyphsAreDrawnUpright) {
    GameFonts fonts;
    const int32_t id = fonts.FontCreate("FixedSys", 16, false, 512);
    const int height = fonts.Font(id)->Height;
    const Picture picture = Render([&] { fonts.TextOut(id, "T", 0, 0); });
    // The row with the most lit pixels is the T's bar, in the upper half of the line.
    int widestRow = -1;
    int widest = 0;
    for (int y = 0; y < height; ++y) {
        int lit = 0;
        for (int x = 0; x < 32; ++x) lit += picture.rgba[(y * 256 + x) * 4] > 128;
        if (lit > widest) {
            widest = lit;
            widestRow = y;
        }
    }
    EXPECT_GE(widest, 5);
    EXPECT_GE(widestRow, 0);
    EXPECT_LT(widestRow, height / 2);
}

TEST_F(FontTest, TextRestoresEnableFlagsAndLeavesTheAtlasBound) {
    GameFonts fonts;
    const int32_t id = fonts.FontCreate("FixedSys", 8, false, 512);
    test_window::Target target(256, 64);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glDisable(GL_ALPHA_TEST);
    fonts.TextOut(id, "Depth", 0, 0);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_EQ(qx::tex->BoundTex(0), fonts.Font(id)->Texture);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
}

TEST_F(FontTest, InvalidIdsDrawNothing) {
    GameFonts fonts;
    ASSERT_EQ(fonts.FontCreate("FixedSys", 8, false, 512), 0);
    const Picture picture = Render([&] {
        fonts.TextOut(5, "Nothing", 0, 0);
        fonts.TextOutEx(-1, "^1Nothing", 0, 0);
    });
    EXPECT_EQ(picture.LeftmostLit(0, 64), -1);
}

int AtlasSide(uint32_t texture) {
    GLint side = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &side);
    qx::tex->Disable(0);
    return side;
}

// At scale 2 every atlas is rasterised again at twice the size, in place: ids,
// widths and line heights (the layout) stay; back at scale 1 each atlas is
// byte for byte what it was.
TEST_F(FontTest, AScaledAtlasKeepsIdsAndMetricsAndScaleOneIsUnchanged) {
    GameFonts fonts;
    const int32_t fixedId = fonts.FontCreate("FixedSys", 8, false, 512);
    const int32_t comicId = fonts.FontCreate("Comic Sans MS", 16, false, 512);
    const qx::TFontData& fixed = *fonts.Font(fixedId);
    const qx::TFontData& comic = *fonts.Font(comicId);
    const auto fixedWidths = fixed.Widths, comicWidths = comic.Widths;
    const int32_t fixedHeight = fixed.Height, comicHeight = comic.Height;
    const Bytes fixedAlpha = AtlasAlpha(fixed.Texture, 512), comicAlpha = AtlasAlpha(comic.Texture, 512);

    fonts.SetScale(2);
    EXPECT_EQ(fonts.Scale(), 2);
    ASSERT_EQ(fonts.Font(fixedId), &fixed) << "the same font, rasterised in place";
    EXPECT_EQ(fixed.Widths, fixedWidths);
    EXPECT_EQ(fixed.Height, fixedHeight);
    EXPECT_EQ(comic.Widths, comicWidths);
    EXPECT_EQ(comic.Height, comicHeight);
    EXPECT_EQ(fixed.AtlasScale, 2);
    ASSERT_EQ(AtlasSide(fixed.Texture), 1024);
    ASSERT_EQ(AtlasSide(comic.Texture), 1024);
    const Bytes fixedAlpha2 = AtlasAlpha(fixed.Texture, 1024), comicAlpha2 = AtlasAlpha(comic.Texture, 1024);
    for (const int code : {int{'A'}, int{'g'}, 0xC0}) {
        // Four times the texels, drawn afresh rather than blown up: the coverage grows about fourfold.
        const double fixedGrowth = static_cast<double>(CellCoverage(fixedAlpha2, 1024, code)) /
                                   CellCoverage(fixedAlpha, 512, code);
        EXPECT_GT(fixedGrowth, 3.0) << code;
        EXPECT_LT(fixedGrowth, 5.0) << code;
        const double comicGrowth = static_cast<double>(CellCoverage(comicAlpha2, 1024, code)) /
                                   CellCoverage(comicAlpha, 512, code);
        EXPECT_GT(comicGrowth, 3.0) << code;
        EXPECT_LT(comicGrowth, 5.0) << code;
    }
    // Sharp: a blown-up atlas would hold the scale-1 coverage values only, in
    // 2 x 2 blocks; the redrawn 'A' has edges of its own.
    int ownEdges = 0;
    for (int y = 0; y < 2 * fixedHeight; y += 2)
        for (int x = 0; x < 2 * fixedWidths['A']; x += 2) {
            const size_t at = static_cast<size_t>(64 * 4 + y) * 1024 + 64 + x;
            ownEdges += fixedAlpha2[at] != fixedAlpha2[at + 1] || fixedAlpha2[at] != fixedAlpha2[at + 1024];
        }
    EXPECT_GT(ownEdges, 5);

    // A font made while the scale is 2 gets a scaled atlas and the scale-1 metrics.
    const qx::TFontData& later = *fonts.Font(fonts.FontCreate("FixedSys", 8, false, 512));
    EXPECT_EQ(AtlasSide(later.Texture), 1024);
    EXPECT_EQ(later.Widths, fixedWidths);
    EXPECT_EQ(later.Height, fixedHeight);

    fonts.SetScale(1);
    EXPECT_EQ(AtlasSide(fixed.Texture), 512);
    EXPECT_EQ(AtlasAlpha(fixed.Texture, 512), fixedAlpha);
    EXPECT_EQ(AtlasAlpha(comic.Texture, 512), comicAlpha);
    EXPECT_EQ(AtlasAlpha(later.Texture, 512), fixedAlpha);
    EXPECT_EQ(fixed.Widths, fixedWidths);
    fonts.SetScale(0);
    EXPECT_EQ(fonts.Scale(), 1) << "clamped";
}

// Not a pass/fail check (tests never depend on timing): prints how long making
// the fonts the game uses takes, for the record.
TEST_F(FontTest, CreationTimeIsRecorded) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    GameFonts fonts;
    const auto configured = Clock::now();
    EXPECT_EQ(fonts.FontCreate("FixedSys", 8, false, 512), 0);
    const auto fixed = Clock::now();
    EXPECT_EQ(fonts.FontCreate("Comic Sans MS", 16, false, 512), 1);
    const auto comic = Clock::now();
    auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    std::printf("font manager start %.1f ms, FixedSys 8 pt %.1f ms, Comic Sans MS 16 pt %.1f ms\n",
                ms(configured - start), ms(fixed - configured), ms(comic - fixed));
    RecordProperty("font_start_ms", static_cast<int>(ms(configured - start)));
    RecordProperty("fixedsys_ms", static_cast<int>(ms(fixed - configured)));
    RecordProperty("comic_ms", static_cast<int>(ms(comic - fixed)));
}

} // namespace
