// Image generator: file layouts the engine's readers rely on, and the shipped
// set of images (names, sizes, alpha where the game blends).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/image_file.h"
#include "tools/imagegen.h"

namespace {

using imagegen::Bitmap;

uint32_t U16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (b[at + 1] << 8); }
uint32_t U32(const std::vector<uint8_t>& b, size_t at) { return U16(b, at) | (U16(b, at + 2) << 16); }

Bitmap ThreeByTwo() {
    Bitmap image(3, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            uint8_t* p = image.At(x, y);
            p[0] = static_cast<uint8_t>(10 * x + 100 * y); // red
            p[1] = static_cast<uint8_t>(1 + x);            // green
            p[2] = static_cast<uint8_t>(7 + y);            // blue
            p[3] = static_cast<uint8_t>(200 + x + y);      // alpha
        }
    }
    return image;
}

TEST(ImageFiles, TgaIsUncompressedTrueColourStoredBottomUp) {
    const Bitmap image = ThreeByTwo();
    const std::vector<uint8_t> tga = imagegen::EncodeTga(image, 32);
    ASSERT_EQ(tga.size(), 18u + 3 * 2 * 4);
    EXPECT_EQ(tga[0], 0);  // no identification field
    EXPECT_EQ(tga[1], 0);  // no colour map
    EXPECT_EQ(tga[2], 2);  // uncompressed true colour
    EXPECT_EQ(U16(tga, 12), 3u);
    EXPECT_EQ(U16(tga, 14), 2u);
    EXPECT_EQ(tga[16], 32);
    EXPECT_EQ(tga[17] & 0x30, 0); // left to right, bottom row first
    // First stored pixel: the bottom-left one, as blue, green, red, alpha.
    const uint8_t* bottomLeft = image.At(0, 1);
    EXPECT_EQ(tga[18], bottomLeft[2]);
    EXPECT_EQ(tga[19], bottomLeft[1]);
    EXPECT_EQ(tga[20], bottomLeft[0]);
    EXPECT_EQ(tga[21], bottomLeft[3]);
    // Last stored pixel: the top-right one.
    EXPECT_EQ(tga[tga.size() - 1], image.At(2, 0)[3]);
    EXPECT_EQ(tga[tga.size() - 4], image.At(2, 0)[2]);

    const std::vector<uint8_t> tga24 = imagegen::EncodeTga(image, 24);
    ASSERT_EQ(tga24.size(), 18u + 3 * 2 * 3);
    EXPECT_EQ(tga24[16], 24);
    EXPECT_EQ(tga24[17], 0);
    EXPECT_EQ(tga24[18 + 3], image.At(1, 1)[2]); // second pixel of the bottom row
}

TEST(ImageFiles, BmpRowsArePaddedToFourBytesAndStoredBottomUp) {
    const Bitmap image = ThreeByTwo();
    const std::vector<uint8_t> bmp = imagegen::EncodeBmp(image);
    const size_t stride = 12; // 3 pixels * 3 bytes = 9, padded to 12
    EXPECT_EQ(imagegen::BmpRowStride(3), stride);
    EXPECT_EQ(imagegen::BmpRowStride(4), 12u);
    ASSERT_EQ(bmp.size(), 54u + stride * 2);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(U32(bmp, 2), bmp.size());
    EXPECT_EQ(U32(bmp, 10), 54u); // pixels follow the two headers
    EXPECT_EQ(U32(bmp, 14), 40u);
    EXPECT_EQ(U32(bmp, 18), 3u);
    EXPECT_EQ(U32(bmp, 22), 2u); // positive height: bottom row first
    EXPECT_EQ(U16(bmp, 26), 1u);
    EXPECT_EQ(U16(bmp, 28), 24u);
    EXPECT_EQ(U32(bmp, 30), 0u); // no compression
    EXPECT_EQ(U32(bmp, 34), stride * 2);
    for (int row = 0; row < 2; ++row) {
        const size_t at = 54 + stride * row;
        const uint8_t* left = image.At(0, 1 - row);
        EXPECT_EQ(bmp[at], left[2]);
        EXPECT_EQ(bmp[at + 1], left[1]);
        EXPECT_EQ(bmp[at + 2], left[0]);
        for (size_t pad = 9; pad < stride; ++pad) EXPECT_EQ(bmp[at + pad], 0) << "row " << row;
    }
}

TEST(ImageFiles, WriteFileReportsAFolderThatIsMissing) {
    const auto missing = std::filesystem::temp_directory_path() / "nivora_imagegen_missing_dir" / "x.tga";
    EXPECT_FALSE(imagegen::WriteFile(missing, {1, 2, 3}));
}

// The whole set is drawn once and written to a temporary folder; the checks
// read the files back as the game would find them.
class GeneratedImages : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // One folder per process: test runners may run these cases in parallel.
        folder_ = std::filesystem::temp_directory_path() / ("nivora_imagegen_test_" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder_);
        failures_ = imagegen::WriteAllImages(folder_);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(folder_); }

    static std::vector<uint8_t> Read(const std::string& name) {
        std::ifstream file(folder_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }

    static inline std::filesystem::path folder_;
    static inline int failures_ = -1;
};

bool PowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

const char* const kTgaNames[] = {"Cell.tga",      "Spark.tga",  "WinterForestTree.tga", "Xlam.tga",  "ErrorCell.tga",
                                 "CellClear.tga", "Cursor.tga", "Smoke.tga",            "Light.tga", "Logo.tga"};
const char* const kBmpNames[] = {"Back.bmp", "Moon.bmp", "SelTex.bmp", "Msg.bmp", "Snow.bmp"};

TEST_F(GeneratedImages, BlendedImagesAre32BitTgaWithRealAlphaAndAClearBorder) {
    ASSERT_EQ(failures_, 0);
    for (const char* name : kTgaNames) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> tga = Read(name);
        ASSERT_GE(tga.size(), 18u);
        EXPECT_EQ(tga[2], 2);
        EXPECT_EQ(tga[16], 32);
        const uint32_t w = U16(tga, 12);
        const uint32_t h = U16(tga, 14);
        EXPECT_TRUE(PowerOfTwo(w) && PowerOfTwo(h)) << w << "x" << h;
        ASSERT_EQ(tga.size(), 18u + w * h * 4);
        bool clear = false, dense = false, borderClear = true;
        for (uint32_t y = 0; y < h; ++y) {
            for (uint32_t x = 0; x < w; ++x) {
                const uint8_t a = tga[18 + (static_cast<size_t>(y) * w + x) * 4 + 3];
                clear = clear || a == 0;
                dense = dense || a >= 128;
                if ((x == 0 || y == 0 || x == w - 1 || y == h - 1) && a != 0) borderClear = false;
            }
        }
        EXPECT_TRUE(clear && dense) << "alpha must shape the picture";
        // The game loads with repeating edges: anything on the border would be
        // filtered onto the opposite edge. The cursor's tip is its hot spot, so
        // it alone touches the top-left corner.
        if (std::string(name) != "Cursor.tga") {
            EXPECT_TRUE(borderClear);
        }
    }
    const std::vector<uint8_t> cursor = Read("Cursor.tga");
    ASSERT_EQ(cursor.size(), 18u + 32 * 32 * 4);
    const size_t topLeft = 18 + static_cast<size_t>(31) * 32 * 4; // last stored row is the top
    EXPECT_GT(cursor[topLeft + 3], 0) << "the arrow's tip marks the hot spot";
}

TEST_F(GeneratedImages, OpaqueImagesArePlain24BitBmp) {
    ASSERT_EQ(failures_, 0);
    for (const char* name : kBmpNames) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> bmp = Read(name);
        ASSERT_GE(bmp.size(), 54u);
        EXPECT_EQ(bmp[0], 'B');
        EXPECT_EQ(U16(bmp, 28), 24u);
        EXPECT_EQ(U32(bmp, 30), 0u);
        const uint32_t w = U32(bmp, 18);
        const uint32_t h = U32(bmp, 22);
        EXPECT_TRUE(PowerOfTwo(w) && PowerOfTwo(h)) << w << "x" << h;
        EXPECT_EQ(bmp.size(), 54u + imagegen::BmpRowStride(static_cast<int>(w)) * h);
    }
    // The moon is drawn as an opaque square over the black sky and turns; its
    // corners must be pure black or the square would show.
    const std::vector<uint8_t> moon = Read("Moon.bmp");
    ASSERT_EQ(moon.size(), 54u + 128 * 128 * 3);
    for (const size_t pixel : {size_t{0}, size_t{127}, size_t{127} * 128, size_t{128} * 128 - 1, size_t{64}}) {
        for (size_t k = 0; k < 3; ++k) EXPECT_EQ(moon[54 + pixel * 3 + k], 0) << "pixel " << pixel;
    }
}

} // namespace
