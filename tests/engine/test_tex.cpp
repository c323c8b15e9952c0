// Texture manager on a real GL context: sharing by name with reference counts,
// the placeholder, the bound-texture cache, mark and purge, filters and the
// render target.
#include <gtest/gtest.h>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/support/test_files.h"
#include "tests/support/window.h"
#include "tests/test_support.h"

namespace {

using test_files::Bytes;
using test_files::TgaBytes;
using test_files::WriteFile;

constexpr uint8_t kTopRowFirst = 32; // the TGA descriptor bit

GLint Binding(int unit) {
    glActiveTexture(GL_TEXTURE0 + unit);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    return bound;
}

GLint Parameter(uint32_t handle, GLenum name) {
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, handle);
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    qx::tex->Disable(0); // the probe bound behind the manager's back; put the cache right
    return value;
}

Bytes TexelsRgba(uint32_t handle, int width, int height) {
    Bytes texels(static_cast<size_t>(width) * height * 4);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, handle);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    qx::tex->Disable(0);
    return texels;
}

class TexTest : public test_window::WindowTest {
protected:
    void SetUp() override {
        test_window::WindowTest::SetUp();
        dir_ = MakeTempDir();
    }
    std::string Tga24(const std::string& name, uint8_t value = 9) {
        return WriteFile(dir_ + "/" + name, TgaBytes(2, 24, 2, 2, kTopRowFirst, Bytes(12, value)));
    }
    std::string dir_;
};

TEST_F(TexTest, PlaceholderIsAFrameWithACross) {
    const uint32_t placeholder = qx::tex->DefaultTexture();
    ASSERT_NE(placeholder, 0u);
    Bytes texels(16 * 16);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, placeholder);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, texels.data());
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool lit = y == 0 || y == 15 || x == 0 || x == 15 || x == y || x == 15 - y;
            EXPECT_EQ(texels[y * 16 + x], lit ? 255 : 0) << x << "," << y;
        }
    qx::tex->Disable(0);
}

TEST_F(TexTest, HandleZeroAndDeadHandlesBindThePlaceholder) {
    qx::tex->Enable(0, 0);
    EXPECT_EQ(Binding(0), static_cast<GLint>(qx::tex->DefaultTexture()));
    const uint32_t handle = qx::tex->Load(Tga24("dead.tga"), false, false, 0);
    ASSERT_NE(handle, 0u);
    qx::tex->Enable(handle, 0);
    EXPECT_EQ(Binding(0), static_cast<GLint>(handle));
    qx::tex->Delete(handle);
    qx::tex->Enable(handle, 0);
    EXPECT_EQ(Binding(0), static_cast<GLint>(qx::tex->DefaultTexture()));
    qx::tex->Disable(0);
}

TEST_F(TexTest, SamePathIsDecodedOnceAndNeedsTwoDeletes) {
    const std::string path = Tga24("twice.tga");
    const uint32_t first = qx::tex->Load(path, false, true, 0);
    const uint32_t second = qx::tex->Load(path, true, false, 4);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(first, second);
    EXPECT_EQ(qx::tex->RefCount(first), 2);
    const std::string loaded = "Texture : Loaded #" + std::to_string(first) + "\t" + path;
    const std::string unloaded = "Texture : Unload #" + std::to_string(first) + "\t" + path;
    EXPECT_EQ(Occurrences(TestLogText(), loaded), 1u);
    qx::tex->Delete(first);
    EXPECT_TRUE(glIsTexture(first));
    EXPECT_EQ(Occurrences(TestLogText(), unloaded), 0u);
    qx::tex->Delete(first);
    EXPECT_FALSE(glIsTexture(first));
    EXPECT_EQ(qx::tex->RefCount(first), -1);
    EXPECT_EQ(Occurrences(TestLogText(), unloaded), 1u);
}

TEST_F(TexTest, NamesAreCaseSensitive) {
    const uint32_t upper = qx::tex->Load(Tga24("Pic.tga"), false, false, 0);
    const uint32_t lower = qx::tex->Load(Tga24("pic.tga"), false, false, 0);
    ASSERT_NE(upper, 0u);
    ASSERT_NE(lower, 0u);
    EXPECT_NE(upper, lower);
    qx::tex->Delete(upper);
    qx::tex->Delete(lower);
}

TEST_F(TexTest, BadImagesGiveZeroAndOneLogLine) {
    const int32_t records = qx::tex->Count();
    const std::string missing = dir_ + "/missing.tga";
    EXPECT_EQ(qx::tex->Load(missing, false, false, 0), 0u);
    // A header claiming 65535 x 65535 x 32 bits over a few bytes of data.
    const Bytes huge = TgaBytes(2, 32, 65535, 65535, kTopRowFirst, Bytes(16, 0));
    EXPECT_EQ(qx::tex->LoadFromMem("huge.tga", huge.data(), huge.size(), false, false, 0), 0u);
    const Bytes garbage(100, 0x33);
    EXPECT_EQ(qx::tex->LoadFromMem("garbage.jpg", garbage.data(), garbage.size(), false, false, 0), 0u);
    EXPECT_EQ(qx::tex->Load("", false, false, 0), 0u);
    EXPECT_EQ(qx::tex->Count(), records);
    const std::string log = TestLogText();
    EXPECT_EQ(Occurrences(log, "Texture : Error Loading \"" + missing + "\""), 1u);
    EXPECT_EQ(Occurrences(log, "Texture : Error Loading \"huge.tga\""), 1u);
    EXPECT_EQ(Occurrences(log, "Texture : Error Loading \"garbage.jpg\""), 1u);
}

TEST_F(TexTest, UploadFormatFollowsTheDecodedDepth) {
    struct Case {
        uint8_t type, depth;
        Bytes pixel;
        GLint internalFormat;
    };
    const Case cases[] = {{3, 8, {200}, GL_LUMINANCE8},
                          {2, 24, {1, 2, 3}, GL_RGB8},
                          {2, 32, {1, 2, 3, 4}, GL_RGBA8}};
    for (const Case& c : cases) {
        const Bytes file = TgaBytes(c.type, c.depth, 1, 1, kTopRowFirst, c.pixel);
        const std::string name = "depth" + std::to_string(c.depth) + ".tga";
        const uint32_t handle = qx::tex->LoadFromMem(name, file.data(), file.size(), true, false, 0);
        ASSERT_NE(handle, 0u) << name;
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, handle);
        GLint format = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
        EXPECT_EQ(format, c.internalFormat) << name;
        const Bytes texel = TexelsRgba(handle, 1, 1);
        if (c.depth == 8) EXPECT_EQ(texel[0], 200);
        else EXPECT_EQ((Bytes{texel[0], texel[1], texel[2]}), (Bytes{3, 2, 1})) << "stored blue-green-red";
        qx::tex->Delete(handle);
    }
}

TEST_F(TexTest, CreateSharesNamedTexturesOnly) {
    const Bytes pixels(8 * 4 * 4, 255);
    const uint32_t named = qx::tex->Create("*shared*", 4, GL_RGBA, 8, 4, pixels.data(), true, false, 0);
    EXPECT_EQ(qx::tex->Create("*shared*", 4, GL_RGBA, 8, 4, pixels.data(), true, false, 0), named);
    EXPECT_EQ(qx::tex->RefCount(named), 2);
    const uint32_t a = qx::tex->Create("", 4, GL_RGBA, 8, 4, pixels.data(), true, false, 0);
    const uint32_t b = qx::tex->Create("", 4, GL_RGBA, 8, 4, pixels.data(), true, false, 0);
    EXPECT_NE(a, b);
    const std::string log = TestLogText();
    EXPECT_EQ(Occurrences(log, "Texture : Create #" + std::to_string(named) + "\t*shared*"), 1u);
    EXPECT_EQ(Occurrences(log, "Texture : Create #" + std::to_string(a) + "\tempty texture 8x4"), 1u);
    for (uint32_t handle : {named, named, a, b}) qx::tex->Delete(handle);
    EXPECT_FALSE(glIsTexture(named));
}

TEST_F(TexTest, UnitSixteenIsTheLastOne) {
    const uint32_t handle = qx::tex->Load(Tga24("unit.tga"), false, false, 0);
    glActiveTexture(GL_TEXTURE0);
    qx::tex->Enable(handle, 16);
    EXPECT_EQ(qx::tex->BoundTex(16), handle);
    EXPECT_EQ(Binding(16), static_cast<GLint>(handle));
    glActiveTexture(GL_TEXTURE3);
    qx::tex->Enable(handle, 17);
    qx::tex->Disable(17);
    qx::tex->Enable(handle, -1);
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE3) << "unit 17 must not touch the GL state";
    qx::tex->Disable(16);
    EXPECT_EQ(qx::tex->BoundTex(16), qx::tex->DefaultTexture());
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    qx::tex->Delete(handle);
}

TEST_F(TexTest, EnableSkipsNoBindAfterALoadChangedTheUnit) {
    const uint32_t first = qx::tex->Load(Tga24("cacheA.tga"), false, false, 0);
    qx::tex->Enable(first, 0);
    // Loading binds the new texture on the active unit; the cache must notice.
    const uint32_t second = qx::tex->Load(Tga24("cacheB.tga"), false, false, 0);
    qx::tex->Enable(first, 0);
    EXPECT_EQ(Binding(0), static_cast<GLint>(first));
    qx::tex->Disable(0);
    qx::tex->Delete(first);
    qx::tex->Delete(second);
}

TEST_F(TexTest, MarkLoadAgainAndPurgeKeepsOnlyWhatWasReloaded) {
    const std::string keepPath = Tga24("keep.tga");
    const uint32_t keep = qx::tex->Load(keepPath, false, false, 1);
    const uint32_t drop = qx::tex->Load(Tga24("drop.tga"), false, false, 1);
    const uint32_t other = qx::tex->Load(Tga24("other.tga"), false, false, 0);
    EXPECT_EQ(qx::tex->Load(keepPath, false, false, 1), keep); // Ref 2 before the mark
    qx::tex->MarkGroup(1);
    EXPECT_EQ(qx::tex->RefCount(keep), 0);
    EXPECT_EQ(qx::tex->RefCount(other), 1) << "group 0 is only marked by -1";
    EXPECT_EQ(qx::tex->Load(keepPath, false, false, 1), keep);
    qx::tex->PurgeGroup(1);
    EXPECT_EQ(qx::tex->RefCount(keep), 1);
    EXPECT_EQ(qx::tex->RefCount(drop), -1);
    EXPECT_FALSE(glIsTexture(drop));
    EXPECT_TRUE(glIsTexture(keep));
    EXPECT_EQ(qx::tex->RefCount(other), 1);
    qx::tex->Delete(keep);
    qx::tex->Delete(other);
}

TEST_F(TexTest, PurgeEndsForTexturesTheContextNoLongerKnows) {
    const uint32_t gone = qx::tex->Load(Tga24("gone.tga"), false, false, 8);
    const uint32_t alive = qx::tex->Load(Tga24("alive.tga"), false, false, 8);
    const int32_t records = qx::tex->Count();
    GLuint name = gone;
    glDeleteTextures(1, &name); // behind the manager's back
    qx::tex->MarkGroup(8);
    qx::tex->PurgeGroup(8);
    EXPECT_EQ(qx::tex->Count(), records - 2);
    EXPECT_EQ(qx::tex->RefCount(gone), -1);
    EXPECT_FALSE(glIsTexture(alive));
    EXPECT_EQ(Occurrences(TestLogText(), "Texture : Unload #" + std::to_string(gone) + "\t"), 1u);
}

TEST_F(TexTest, FilterModesSetTheTableValues) {
    const uint32_t mipped = qx::tex->Load(Tga24("mip.tga"), false, true, 16);
    const Bytes pixels(4 * 4 * 3, 1);
    const uint32_t plain = qx::tex->Create("*plain*", 3, GL_RGB, 4, 4, pixels.data(), false, false, 16);
    qx::tex->Filter(0, 16);
    EXPECT_EQ(Parameter(mipped, GL_TEXTURE_MIN_FILTER), GL_NEAREST_MIPMAP_NEAREST);
    EXPECT_EQ(Parameter(mipped, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    EXPECT_EQ(Parameter(plain, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    qx::tex->Filter(1, 16);
    EXPECT_EQ(Parameter(mipped, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_NEAREST);
    EXPECT_EQ(Parameter(plain, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
    qx::tex->Filter(3, 16);
    EXPECT_EQ(Parameter(mipped, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    GLfloat largest = 1;
    glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &largest);
    const GLint wanted = std::min<GLint>(std::max(qx::ogl->MaxAniso(), 1), static_cast<GLint>(largest));
    EXPECT_EQ(Parameter(mipped, GL_TEXTURE_MAX_ANISOTROPY_EXT), wanted);
    qx::tex->Filter(4, 16); // unknown mode: nothing changes
    EXPECT_EQ(Parameter(mipped, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
    qx::tex->Delete(mipped);
    qx::tex->Delete(plain);
}

TEST_F(TexTest, RenderTargetDrawsIntoATexture) {
    ASSERT_TRUE(qx::FramebufferExt);
    ASSERT_TRUE(qx::tex->RenderInit(32));
    const uint32_t target = qx::tex->Create("", 4, GL_RGBA, 32, 32, nullptr, true, false, 0);
    qx::tex->RenderBegin(target, 1);
    GLint frameBuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &frameBuffer);
    EXPECT_NE(frameBuffer, 0);
    glViewport(0, 0, 32, 32);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    qx::tex->RenderEnd();
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &frameBuffer);
    EXPECT_EQ(frameBuffer, 0);
    const Bytes texels = TexelsRgba(target, 32, 32);
    EXPECT_EQ((Bytes{texels[0], texels[1], texels[2], texels[3]}), (Bytes{0, 0, 255, 255}));
    EXPECT_EQ(texels[(31 * 32 + 31) * 4 + 2], 255);

    // A colour texture cannot be the depth attachment: drawing falls back to the window.
    qx::tex->RenderBegin(target, 2);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_EXT, &frameBuffer);
    EXPECT_EQ(frameBuffer, 0);
    qx::tex->RenderEnd();
    EXPECT_FALSE(qx::tex->RenderInit(0));
    qx::tex->Delete(target);
}

TEST_F(TexTest, RenderCopyTakesTheReadBuffer) {
    const Bytes black(8 * 8 * 3, 0);
    const uint32_t copy = qx::tex->Create("", 3, GL_RGB, 8, 8, black.data(), true, false, 0);
    {
        test_window::Target target(8, 8);
        ASSERT_TRUE(target.Complete());
        glClearColor(0, 1, 0, 1);
        target.Clear();
        qx::tex->RenderCopy(copy, 0, 0, 8, 8, GL_RGB8, 0);
    }
    const Bytes texels = TexelsRgba(copy, 8, 8);
    EXPECT_EQ((Bytes{texels[0], texels[1], texels[2]}), (Bytes{0, 255, 0}));
    qx::tex->Delete(copy);
}

TEST_F(TexTest, AManagerFreesAndLogsItsTexturesWhenDestroyed) {
    uint32_t loaded = 0;
    uint32_t created = 0;
    glActiveTexture(GL_TEXTURE0);
    {
        qx::TTex own;
        ASSERT_TRUE(own.TexInit());
        loaded = own.Load(Tga24("own.tga"), false, false, 0);
        created = own.Create("*own*", 1, GL_LUMINANCE, 1, 1, "x", false, false, 2);
        ASSERT_NE(loaded, 0u);
    }
    EXPECT_FALSE(glIsTexture(loaded));
    EXPECT_FALSE(glIsTexture(created));
    const std::string log = TestLogText();
    EXPECT_EQ(Occurrences(log, "Texture : Unload #" + std::to_string(loaded) + "\t" + dir_ + "/own.tga"), 1u);
    EXPECT_EQ(Occurrences(log, "Texture : Unload #" + std::to_string(created) + "\t*own*"), 1u);
    qx::tex->Disable(0); // the other manager bound on unit 0
}

TEST_F(TexTest, InitFailsWithoutMultitexture) {
    qx::MultitextureExt = false;
    qx::TTex own;
    EXPECT_FALSE(own.TexInit());
    qx::MultitextureExt = true;
    EXPECT_EQ(own.DefaultTexture(), 0u);
    EXPECT_NE(TestLogText().find("Texture : Fatal Error \"GL_ARB_multitexture\""), std::string::npos);
}


// ---- Mip levels ------------------------------------------------------------------

// Every level of a texture, as stored, read back in the upload's own format.
std::vector<Bytes> Levels(uint32_t handle, int width, int height, GLenum format, int pixelBytes) {
    std::vector<Bytes> levels;
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, handle);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (int level = 0;; ++level) {
        levels.emplace_back(static_cast<size_t>(width) * height * pixelBytes);
        glGetTexImage(GL_TEXTURE_2D, level, format, GL_UNSIGNED_BYTE, levels.back().data());
        if (width == 1 && height == 1) break;
        width = std::max(width / 2, 1);
        height = std::max(height / 2, 1);
    }
    qx::tex->Disable(0);
    return levels;
}

// The same pixels with the driver generating the levels at upload.
uint32_t DriverMipMapped(GLint internalFormat, GLenum format, int width, int height, const Bytes& pixels) {
    GLuint id = 0;
    glGenTextures(1, &id);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, format, GL_UNSIGNED_BYTE, pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, 0);
    qx::tex->Disable(0);
    return id;
}

// Noise exercises every rounding case of the filter; the game's own pictures
// are checked too (ProgramPicturesMatch below).
Bytes Noise(size_t bytes, uint32_t seed) {
    Bytes pixels(bytes);
    for (auto& p : pixels) {
        seed = seed * 1664525u + 1013904223u;
        p = static_cast<uint8_t>(seed >> 24);
    }
    return pixels;
}

TEST_F(TexTest, OwnMipLevelsEqualTheDriversForEveryFormatAndShape) {
    struct TFormat {
        GLint internal;
        GLenum format;
        int bytes;
    };
    const TFormat formats[] = {{GL_RGBA8, GL_BGRA, 4}, {GL_RGB8, GL_BGR, 3}, {GL_LUMINANCE8, GL_LUMINANCE, 1},
                               {2, GL_LUMINANCE_ALPHA, 2}};
    const int shapes[][2] = {{64, 64}, {256, 128}, {16, 128}, {1, 32}, {32, 1}, {1, 1}};
    uint32_t seed = 1;
    for (const TFormat& f : formats) {
        for (const auto& shape : shapes) {
            const int w = shape[0], h = shape[1];
            SCOPED_TRACE(std::to_string(f.format) + " " + std::to_string(w) + "x" + std::to_string(h));
            const Bytes pixels = Noise(static_cast<size_t>(w) * h * f.bytes, ++seed);
            const uint32_t ours = qx::tex->Create("", f.internal, f.format, w, h, pixels.data(), false, true, 0);
            const uint32_t drivers = DriverMipMapped(f.internal, f.format, w, h, pixels);
            const auto expected = Levels(drivers, w, h, f.format, f.bytes);
            const auto got = Levels(ours, w, h, f.format, f.bytes);
            ASSERT_EQ(got.size(), expected.size());
            for (size_t level = 0; level < got.size(); ++level) EXPECT_EQ(got[level], expected[level]) << "level " << level;
            qx::tex->Delete(ours);
            GLuint id = drivers;
            glDeleteTextures(1, &id);
        }
    }
}

// A picture whose sides are not powers of two keeps the driver's generation:
// it filters such levels differently, and the game has none.
TEST_F(TexTest, OtherSizesStillGetTheDriversLevels) {
    const Bytes pixels = Noise(7 * 5 * 4, 99);
    const uint32_t ours = qx::tex->Create("", GL_RGBA8, GL_BGRA, 7, 5, pixels.data(), false, true, 0);
    const uint32_t drivers = DriverMipMapped(GL_RGBA8, GL_BGRA, 7, 5, pixels);
    EXPECT_EQ(Levels(ours, 7, 5, GL_BGRA, 4), Levels(drivers, 7, 5, GL_BGRA, 4));
    qx::tex->Delete(ours);
    GLuint id = drivers;
    glDeleteTextures(1, &id);
}

// Every picture the game ships, loaded through the manager, against the driver.
TEST_F(TexTest, ProgramPicturesMatchTheDriversLevels) {
    const std::string images = std::string(NIVORA_GAME_DIR) + "/Images/";
    for (const char* name : {"Cell.tga", "Cursor.tga", "Logo.tga", "WinterForestTree.tga", "Back.bmp", "SelTex.bmp"}) {
        SCOPED_TRACE(name);
        int32_t w = 0, h = 0, bpp = 0;
        uint8_t* data = nullptr;
        ASSERT_TRUE(qx::tex->LoadData(images + name, w, h, bpp, data));
        const int bytes = bpp / 8;
        const GLenum format = bytes == 4 ? GL_BGRA : bytes == 3 ? GL_BGR : GL_LUMINANCE;
        const GLint internal = bytes == 4 ? GL_RGBA8 : bytes == 3 ? GL_RGB8 : GL_LUMINANCE8;
        const Bytes pixels(data, data + static_cast<size_t>(w) * h * bytes);
        qx::tex->FreeData(data);
        const uint32_t ours = qx::tex->Load(images + name, false, true, 0);
        const uint32_t drivers = DriverMipMapped(internal, format, w, h, pixels);
        EXPECT_EQ(Levels(ours, w, h, format, bytes), Levels(drivers, w, h, format, bytes));
        qx::tex->Delete(ours);
        GLuint id = drivers;
        glDeleteTextures(1, &id);
    }
}

} // namespace
