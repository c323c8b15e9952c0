// Image generator: file layouts the engine's readers rely on, and the shipped
// set of images (names, sizes, alpha where the game blends).
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
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

uint32_t BigEndian32(const std::vector<uint8_t>& b, size_t at) {
    return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3];
}

struct PngChunk {
    std::string type;
    std::vector<uint8_t> data;
};

// Splits a PNG into its chunks, checking each one's CRC; empty on any fault.
std::vector<PngChunk> PngChunks(const std::vector<uint8_t>& png) {
    const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 8 || !std::equal(signature, signature + 8, png.begin())) return {};
    std::vector<PngChunk> chunks;
    for (size_t at = 8; at < png.size();) {
        if (png.size() - at < 12) return {};
        const uint32_t length = BigEndian32(png, at);
        if (png.size() - at - 12 < length) return {};
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), png.data() + at + 4, length + 4);
        if (crc != BigEndian32(png, at + 8 + length)) return {};
        chunks.push_back({std::string(png.begin() + at + 4, png.begin() + at + 8),
                          std::vector<uint8_t>(png.begin() + at + 8, png.begin() + at + 8 + length)});
        at += 12 + length;
    }
    return chunks;
}

// The pixels of an unfiltered 8-bit RGBA PNG as a Bitmap; 0 x 0 when it is not one.
Bitmap DecodeRgbaPng(const std::vector<uint8_t>& png) {
    const std::vector<PngChunk> chunks = PngChunks(png);
    if (chunks.size() != 3 || chunks[0].type != "IHDR" || chunks[1].type != "IDAT" || chunks[2].type != "IEND")
        return {};
    const std::vector<uint8_t>& header = chunks[0].data;
    if (header.size() != 13 || header[8] != 8 || header[9] != 6 || header[12] != 0) return {};
    Bitmap image(static_cast<int>(BigEndian32(header, 0)), static_cast<int>(BigEndian32(header, 4)));
    const size_t rowBytes = static_cast<size_t>(image.width) * 4;
    std::vector<uint8_t> raw((rowBytes + 1) * image.height + 1);
    uLongf rawSize = raw.size();
    if (uncompress(raw.data(), &rawSize, chunks[1].data.data(), chunks[1].data.size()) != Z_OK ||
        rawSize != raw.size() - 1)
        return {};
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = &raw[y * (rowBytes + 1)];
        if (row[0] != 0) return {};
        std::copy(row + 1, row + 1 + rowBytes, image.At(0, y));
    }
    return image;
}

TEST(ImageFiles, PngHoldsTheRgbaRowsTopFirstWithValidChunks) {
    const Bitmap image = ThreeByTwo();
    const Bitmap decoded = DecodeRgbaPng(imagegen::EncodePng(image));
    EXPECT_EQ(decoded.width, 3);
    EXPECT_EQ(decoded.height, 2);
    EXPECT_EQ(decoded.rgba, image.rgba);
}

TEST(Icons, EverySizeIsASquarePngOfAnOpaqueTileWithClearCorners) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("nivora_icons_test_" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    ASSERT_EQ(imagegen::WriteIcons(folder), 0);
    for (const int size : imagegen::IconSizes()) {
        SCOPED_TRACE(size);
        std::ifstream file(folder / ("nivora-" + std::to_string(size) + ".png"), std::ios::binary);
        const std::vector<uint8_t> png{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        const Bitmap icon = DecodeRgbaPng(png);
        ASSERT_EQ(icon.width, size);
        ASSERT_EQ(icon.height, size);
        // Rounded corners let the desktop's background through; the board fills the middle.
        EXPECT_EQ(icon.At(0, 0)[3], 0);
        EXPECT_EQ(icon.At(size - 1, size - 1)[3], 0);
        EXPECT_EQ(icon.At(size / 2, size / 2)[3], 255);
    }
    std::filesystem::remove_all(folder);
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
