// Image decoders: the TGA reader's layouts and its refusals, and BMP, JPG and
// GIF through the picture decoder, all delivered top row first in BGR order.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/image_internal.h"
#include "tests/support/test_files.h"
#include "tests/test_support.h"

#include <jpeglib.h>

namespace {

using test_files::Bytes;
using test_files::BmpBytes;
using test_files::PutLe16;
using test_files::TgaBytes;
using qx::image::TDecoded;

struct Decoded : TDecoded {
    Bytes Data() const {
        return pixels ? Bytes(pixels.get(), pixels.get() + static_cast<size_t>(width) * height * bpp / 8) : Bytes();
    }
};

bool Decode(const Bytes& file, Decoded& out) { return qx::image::LoadTgaMem(file.data(), file.size(), out); }

bool DecodePicture(const uint8_t* data, size_t size, Decoded& out) {
    return qx::image::LoadPictureMem(data, size, out);
}

// 3 x 2 pixels, rows stored bottom first: bottom row A B C, top row D E F.
const Bytes kBottomUp24 = {1, 1, 1, 2, 2, 2, 3, 3, 3, /* top: */ 4, 4, 4, 5, 5, 5, 6, 6, 6};
const Bytes kTopFirst24 = {4, 4, 4, 5, 5, 5, 6, 6, 6, 1, 1, 1, 2, 2, 2, 3, 3, 3};

TEST(TgaReader, BothOriginsGiveTheTopRowFirst) {
    Decoded bottomUp, topDown;
    ASSERT_TRUE(Decode(TgaBytes(2, 24, 3, 2, 0, kBottomUp24), bottomUp));
    ASSERT_TRUE(Decode(TgaBytes(2, 24, 3, 2, 32, kTopFirst24), topDown));
    EXPECT_EQ(bottomUp.width, 3);
    EXPECT_EQ(bottomUp.height, 2);
    EXPECT_EQ(bottomUp.bpp, 24);
    EXPECT_EQ(bottomUp.Data(), kTopFirst24);
    EXPECT_EQ(topDown.Data(), kTopFirst24);
}

TEST(TgaReader, RightToLeftRowsAreMirrored) {
    const Bytes stored = {3, 3, 3, 2, 2, 2, 1, 1, 1, 6, 6, 6, 5, 5, 5, 4, 4, 4};
    Decoded image;
    ASSERT_TRUE(Decode(TgaBytes(2, 24, 3, 2, 32 | 16, stored), image));
    EXPECT_EQ(image.Data(), (Bytes{1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6}));
}

TEST(TgaReader, SingleRowAndSingleColumnKeepTheirOrder) {
    Decoded row, column;
    ASSERT_TRUE(Decode(TgaBytes(3, 8, 4, 1, 0, {1, 2, 3, 4}), row));
    EXPECT_EQ(row.Data(), (Bytes{1, 2, 3, 4}));
    ASSERT_TRUE(Decode(TgaBytes(3, 8, 1, 3, 16 | 32, {7, 8, 9}), column));
    EXPECT_EQ(column.Data(), (Bytes{7, 8, 9}));
}

TEST(TgaReader, ThirtyTwoBitsKeepAlphaAndIdFieldIsSkipped) {
    Decoded image;
    ASSERT_TRUE(Decode(TgaBytes(2, 32, 1, 1, 0, {10, 20, 30, 40}, {}, 24, Bytes(5, 0xEE)), image));
    EXPECT_EQ(image.bpp, 32);
    EXPECT_EQ(image.Data(), (Bytes{10, 20, 30, 40}));
}

TEST(TgaReader, ColourMappedBecomesTwentyFourBits) {
    const Bytes palette = {0, 0, 255, /* 1: */ 0, 255, 0, /* 2: */ 255, 0, 0};
    Decoded image;
    ASSERT_TRUE(Decode(TgaBytes(1, 8, 2, 2, 32, {0, 1, 2, 0}, palette), image));
    EXPECT_EQ(image.bpp, 24);
    EXPECT_EQ(image.Data(), (Bytes{0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 255}));
}

TEST(TgaReader, GreyStaysEightBits) {
    Decoded image;
    ASSERT_TRUE(Decode(TgaBytes(3, 8, 2, 2, 0, {1, 2, 3, 4}), image));
    EXPECT_EQ(image.bpp, 8);
    EXPECT_EQ(image.Data(), (Bytes{3, 4, 1, 2}));
}

TEST(TgaReader, SixteenBitsExpandEachChannelTimesEight) {
    // White 0x7FFF, pure red 0x7C00, pure green 0x03E0, pure blue 0x001F with the top bit set.
    const Bytes stored = {0xFF, 0x7F, 0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x80};
    Decoded image;
    ASSERT_TRUE(Decode(TgaBytes(2, 16, 4, 1, 0, stored), image));
    EXPECT_EQ(image.bpp, 24);
    EXPECT_EQ(image.Data(), (Bytes{248, 248, 248, 0, 0, 248, 0, 248, 0, 248, 0, 0}));
}

TEST(TgaReader, UnsupportedKindsAreRejected) {
    Decoded image;
    EXPECT_FALSE(Decode(TgaBytes(10, 24, 1, 1, 0, {1, 2, 3}), image)) << "run-length true colour";
    EXPECT_FALSE(Decode(TgaBytes(9, 8, 1, 1, 0, {0}, {1, 2, 3}), image)) << "run-length colour-mapped";
    EXPECT_FALSE(Decode(TgaBytes(0, 24, 1, 1, 0, {1, 2, 3}), image)) << "no image";
    EXPECT_FALSE(Decode(TgaBytes(2, 15, 1, 1, 0, {1, 2}), image)) << "depth 15";
    EXPECT_FALSE(Decode(TgaBytes(2, 1, 8, 1, 0, {1}), image)) << "depth 1";
    EXPECT_FALSE(Decode(TgaBytes(1, 8, 1, 1, 0, {0}, {1, 2, 3, 4}, 32), image)) << "32-bit palette";
    EXPECT_FALSE(Decode(TgaBytes(1, 8, 1, 1, 0, {0}, {1, 2}, 16), image)) << "16-bit palette";
    EXPECT_FALSE(Decode(TgaBytes(1, 8, 1, 1, 0, {0}), image)) << "colour-mapped without a colour map";
    EXPECT_FALSE(Decode(TgaBytes(1, 16, 1, 1, 0, {0, 0}, {1, 2, 3}), image)) << "colour-mapped at 16 bits";
    EXPECT_FALSE(Decode(TgaBytes(2, 24, 0, 5, 0, {}), image)) << "zero width";
    EXPECT_FALSE(Decode(TgaBytes(2, 24, 5, 0, 0, {}), image)) << "zero height";
    EXPECT_FALSE(image.pixels);
}

TEST(TgaReader, ShortDataIsRejected) {
    Decoded image;
    EXPECT_FALSE(Decode(TgaBytes(2, 24, 3, 2, 0, Bytes(17, 1)), image)) << "one byte short";
    EXPECT_FALSE(Decode(TgaBytes(2, 24, 1, 1, 0, {}, {}, 24, Bytes(40, 0xEE)), image)) << "id field runs past the end";
    Bytes header = TgaBytes(2, 24, 1, 1, 0, {});
    header.resize(10);
    EXPECT_FALSE(Decode(header, image)) << "truncated header";
    // Colour map shorter than its declared length.
    Bytes cut = TgaBytes(1, 8, 1, 1, 0, {0}, Bytes(30, 1));
    cut.resize(18 + 10);
    EXPECT_FALSE(Decode(cut, image));
    EXPECT_FALSE(qx::image::LoadTgaMem(nullptr, 100, image));
    EXPECT_FALSE(image.pixels);
}

TEST(TgaReader, PaletteIndexBeyondTheMapIsRejected) {
    const Bytes palette = {1, 2, 3, 4, 5, 6};
    Decoded image;
    EXPECT_TRUE(Decode(TgaBytes(1, 8, 2, 1, 0, {0, 1}, palette), image));
    image.pixels.reset();
    EXPECT_FALSE(Decode(TgaBytes(1, 8, 2, 1, 0, {1, 2}, palette), image));
    EXPECT_FALSE(image.pixels);
}

TEST(TgaReader, HugeClaimedSizeIsRejectedBeforeAllocating) {
    // 65535 x 65535 x 4 bytes does not fit 32 bits; the file holds a few bytes.
    Decoded image;
    EXPECT_FALSE(Decode(TgaBytes(2, 32, 65535, 65535, 0, Bytes(64, 0)), image));
    EXPECT_FALSE(Decode(TgaBytes(1, 8, 65535, 65535, 0, Bytes(64, 0), Bytes(768, 0)), image));
    EXPECT_FALSE(Decode(TgaBytes(2, 16, 40000, 40000, 0, Bytes(64, 0)), image));
}

TEST(TgaReader, ReadsAPictureInsideALargerStream) {
    // Seven bytes of something else first, and an id field: every offset counts from the header.
    Bytes packed(7, 0xAB);
    const Bytes tga = TgaBytes(2, 24, 3, 2, 0, kBottomUp24, {}, 24, Bytes(3, 0xEE));
    packed.insert(packed.end(), tga.begin(), tga.end());
    qx::TMemoryStream stream(packed.data(), packed.size());
    stream.Seek(7);
    Decoded image;
    ASSERT_TRUE(qx::image::ReadTga(stream, image));
    EXPECT_EQ(image.Data(), kTopFirst24);
}

TEST(TgaReader, ReadsFromAFile) {
    const std::string path = MakeTempDir() + "/pic.tga";
    const Bytes file = TgaBytes(2, 24, 3, 2, 0, kBottomUp24);
    test_files::WriteFile(path, file);
    Decoded image;
    ASSERT_TRUE(qx::image::LoadTgaFile(path, image));
    EXPECT_EQ(image.Data(), kTopFirst24);
    Decoded missing;
    EXPECT_FALSE(qx::image::LoadTgaFile(path + ".none", missing));
}

// A 24-bit BMP: rows bottom-up, each padded to four bytes.
Bytes Bmp(int32_t width, int32_t height, const Bytes& rowsBottomUp) {
    return BmpBytes({.width = width, .height = height, .data = rowsBottomUp});
}

TEST(PictureDecoder, BmpWithOddRowLengthComesOutTightlyPacked) {
    // 3 x 2: the top row is red, green, blue; the bottom row white, black, grey.
    const Bytes rows = {255, 255, 255, 0, 0, 0, 128, 128, 128, 0, 0, 0, // bottom row + 3 padding
                        0,   0,   255, 0, 255, 0, 255, 0,   0,   0, 0, 0}; // top row (BGR)
    const Bytes file = Bmp(3, 2, rows);
    Decoded image;
    ASSERT_TRUE(DecodePicture(file.data(), file.size(), image));
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.bpp, 24);
    EXPECT_EQ(image.Data(), (Bytes{0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 0, 0, 0, 128, 128, 128}));
}

TEST(PictureDecoder, TruncatedOrOversizedBmpIsRejected) {
    Bytes file = Bmp(3, 2, Bytes(24, 7));
    file.resize(file.size() - 5);
    Decoded image;
    EXPECT_FALSE(DecodePicture(file.data(), file.size(), image));
    const Bytes huge = Bmp(100000, 100000, Bytes(24, 7));
    EXPECT_FALSE(DecodePicture(huge.data(), huge.size(), image));
    const Bytes tall = Bmp(4, 30000, Bytes(24, 7));
    EXPECT_FALSE(DecodePicture(tall.data(), tall.size(), image));
    EXPECT_FALSE(image.pixels);
}

// A 5 x 3 solid red JPEG (made with ImageMagick at full quality).
const uint8_t kRedJpg[] = {
    0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xFF, 0xDB, 0x00, 0x43, 0x00, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0xFF, 0xDB, 0x00, 0x43, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0xFF, 0xC0,
    0x00, 0x11, 0x08, 0x00, 0x03, 0x00, 0x05, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x09, 0xFF, 0xC4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xC4, 0x00,
    0x15, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x09, 0x0A, 0xFF, 0xC4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01,
    0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00, 0x17, 0xC5, 0x3A, 0xFE, 0x1F, 0xFF, 0xD9,
};
const uint8_t kTinyGif[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x03, 0x00, 0x02, 0x00, 0xF2, 0x04, 0x00, 0x00, 0x00, 0x00,
    0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x21, 0xF9, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00,
    0x00, 0x00, 0x03, 0x00, 0x02, 0x00, 0x00, 0x03, 0x04, 0x18, 0x32, 0x04, 0x90, 0x00, 0x3B,
};

TEST(PictureDecoder, JpegComesOutAsBgr) {
    Decoded image;
    ASSERT_TRUE(DecodePicture(kRedJpg, sizeof kRedJpg, image));
    EXPECT_EQ(image.width, 5);
    EXPECT_EQ(image.height, 3);
    EXPECT_EQ(image.bpp, 24);
    const Bytes data = image.Data();
    ASSERT_EQ(data.size(), 45u);
    for (size_t i = 0; i < data.size(); i += 3) {
        EXPECT_LE(data[i], 8) << "blue of pixel " << i / 3;
        EXPECT_LE(data[i + 1], 8) << "green of pixel " << i / 3;
        EXPECT_GE(data[i + 2], 245) << "red of pixel " << i / 3;
    }
}

TEST(PictureDecoder, GifGivesExactColoursTopRowFirst) {
    // 3 x 2: top row red, green, blue; bottom row white, black, black.
    Decoded image;
    ASSERT_TRUE(DecodePicture(kTinyGif, sizeof kTinyGif, image));
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.bpp, 24);
    EXPECT_EQ(image.Data(), (Bytes{0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0}));
}

TEST(PictureDecoder, GifClaimingAHugeScreenIsRejected) {
    Bytes gif(kTinyGif, kTinyGif + sizeof kTinyGif);
    PutLe16(gif, 6, 16000); // logical screen 16000 x 16000 from 63 bytes
    PutLe16(gif, 8, 16000);
    Decoded image;
    EXPECT_FALSE(DecodePicture(gif.data(), gif.size(), image));
    EXPECT_FALSE(image.pixels);
}

TEST(PictureDecoder, GarbageAndEmptyInputFail) {
    const Bytes garbage(200, 0x5A);
    Decoded image;
    EXPECT_FALSE(DecodePicture(garbage.data(), garbage.size(), image));
    EXPECT_FALSE(DecodePicture(garbage.data(), 0, image));
    EXPECT_FALSE(DecodePicture(nullptr, 10, image));
    EXPECT_FALSE(DecodePicture(kTinyGif, 12, image)) << "a cut-off GIF header";
    EXPECT_FALSE(qx::image::LoadPictureFile("/nonexistent/picture.bmp", image));
    EXPECT_FALSE(image.pixels);
}

TEST(PictureDecoder, ReadsFromAFile) {
    const std::string path = MakeTempDir() + "/tiny.gif";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(kTinyGif), sizeof kTinyGif);
    Decoded image;
    ASSERT_TRUE(qx::image::LoadPictureFile(path, image));
    EXPECT_EQ(image.width, 3);
}

// A JPEG made by the library's own encoder: colour(x, y) gives red, green, blue.
template <typename Colour>
Bytes MakeJpeg(int width, int height, bool grey, bool progressive, Colour colour) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = grey ? 1 : 3;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    Bytes row(static_cast<size_t>(width) * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Bytes rgb = colour(x, y);
            std::copy(rgb.begin(), rgb.begin() + (grey ? 1 : 3), row.begin() + x * (grey ? 1 : 3));
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes file(buffer, buffer + size);
    std::free(buffer);
    return file;
}

// Left half red, right half blue, in 16 x 16 blocks so the edge is sharp.
Bytes Halves(int x, int) { return x < 16 ? Bytes{255, 0, 0} : Bytes{0, 0, 255}; }

void ExpectNear(const Bytes& bgr, const Bytes& want, const std::string& what) {
    for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(bgr[i], want[i], 6) << what << " channel " << i;
}

// Offset of the first marker `code` (0xC4 = Huffman table, 0xC2 = progressive frame).
size_t FindMarker(const Bytes& file, uint8_t code) {
    for (size_t i = 2; i + 1 < file.size(); ++i)
        if (file[i] == 0xFF && file[i + 1] == code) return i;
    return 0;
}

TEST(PictureDecoder, JpegBaselineProgressiveAndGrey) {
    for (bool progressive : {false, true}) {
        const Bytes file = MakeJpeg(32, 16, false, progressive, Halves);
        Decoded image;
        ASSERT_TRUE(DecodePicture(file.data(), file.size(), image)) << progressive;
        ASSERT_EQ(image.width, 32);
        ASSERT_EQ(image.height, 16);
        const Bytes data = image.Data();
        ExpectNear(Bytes(data.begin(), data.begin() + 3), {0, 0, 255}, "left is red");
        ExpectNear(Bytes(data.end() - 3, data.end()), {255, 0, 0}, "right is blue");
    }
    const Bytes grey = MakeJpeg(8, 8, true, false, [](int, int) { return Bytes{100}; });
    Decoded image;
    ASSERT_TRUE(DecodePicture(grey.data(), grey.size(), image));
    EXPECT_EQ(image.bpp, 24);
    ExpectNear(image.Data(), {100, 100, 100}, "grey");
}

TEST(PictureDecoder, BrokenJpegsAreRefusedOrFilledWithoutReadingPastThem) {
    const Bytes good = MakeJpeg(32, 16, false, true, Halves);
    Decoded image;
    // A progressive file whose scans name Huffman tables never defined.
    Bytes noTables = good;
    for (size_t at; (at = FindMarker(noTables, 0xC4)) != 0;)
        noTables.erase(noTables.begin() + static_cast<long>(at),
                       noTables.begin() + static_cast<long>(at + 2 + (noTables[at + 2] << 8 | noTables[at + 3])));
    EXPECT_FALSE(DecodePicture(noTables.data(), noTables.size(), image));
    EXPECT_NE(TestLogText().find("Texture : JPEG: "), std::string::npos) << "the library's reason is logged";
    // A frame header claiming 60000 x 60000 is refused before decoding.
    Bytes huge = good;
    const size_t frame = FindMarker(huge, 0xC2);
    ASSERT_NE(frame, 0u);
    huge[frame + 5] = huge[frame + 7] = 0xEA;
    huge[frame + 6] = huge[frame + 8] = 0x60;
    EXPECT_FALSE(DecodePicture(huge.data(), huge.size(), image));
    EXPECT_FALSE(image.pixels);
    // Cut anywhere, a file either decodes (the library fills the rest) or fails.
    for (size_t cut = 3; cut < good.size(); cut += 7) {
        Decoded part;
        if (DecodePicture(good.data(), cut, part)) {
            EXPECT_EQ(part.Data().size(), 32u * 16 * 3);
        }
    }
}

// A GIF from giflib's encoder: one frame of frameW x frameH at (left, top) on
// a screen, palette of blue, green, red, white.
Bytes MakeGif(int screenW, int screenH, int left, int top, int frameW, int frameH, const Bytes& indices,
              int transparent, bool interlace, int background = 0) {
    const test_files::TGifFrame frame{
        .left = left, .top = top, .width = frameW, .height = frameH, .indices = indices, .interlaced = interlace};
    return test_files::GifEncodedBytes({.width = screenW,
                                        .height = screenH,
                                        .palette = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255},
                                        .background = background,
                                        .transparent = transparent,
                                        .frames = {frame}});
}

TEST(PictureDecoder, GifFrameOnItsScreenWithTransparencyAndInterlace) {
    const Bytes B = {255, 0, 0}, G = {0, 255, 0}, R = {0, 0, 255}, W = {255, 255, 255}, K = {0, 0, 0};
    // A 2 x 1 frame at (1, 1) on a 3 x 2 screen of background white; index 1 is transparent.
    const Bytes gif = MakeGif(3, 2, 1, 1, 2, 1, {1, 2}, 1, false, 3);
    Decoded image;
    ASSERT_TRUE(DecodePicture(gif.data(), gif.size(), image));
    EXPECT_EQ(image.Data(), (Bytes{W[0], W[1], W[2], W[0], W[1], W[2], W[0], W[1], W[2], //
                                   W[0], W[1], W[2], K[0], K[1], K[2], R[0], R[1], R[2]}));
    // Ten interlaced rows land where they belong: row y has index y % 4.
    Bytes rows;
    for (int y = 0; y < 10; ++y) rows.push_back(static_cast<uint8_t>(y % 4));
    const Bytes interlaced = MakeGif(1, 10, 0, 0, 1, 10, rows, -1, true);
    ASSERT_TRUE(DecodePicture(interlaced.data(), interlaced.size(), image));
    const Bytes want[4] = {B, G, R, W};
    const Bytes data = image.Data();
    for (int y = 0; y < 10; ++y) EXPECT_EQ(Bytes(data.begin() + y * 3, data.begin() + y * 3 + 3), want[y % 4]) << y;
}

TEST(PictureDecoder, GifsThatLieAreRefused) {
    Decoded image;
    Bytes outside = MakeGif(3, 2, 0, 0, 2, 1, {0, 1}, -1, false);
    // The image descriptor follows the 13-byte screen and 12-byte palette: move its left edge to 2.
    ASSERT_EQ(outside[25], 0x2C);
    outside[26] = 2;
    EXPECT_FALSE(DecodePicture(outside.data(), outside.size(), image)) << "frame past the screen's edge";
    Bytes noTable = MakeGif(2, 1, 0, 0, 2, 1, {0, 1}, -1, false);
    noTable[10] &= 0x7F; // no global table, and the frame has none of its own
    noTable.erase(noTable.begin() + 13, noTable.begin() + 25);
    EXPECT_FALSE(DecodePicture(noTable.data(), noTable.size(), image));
    const Bytes good = MakeGif(3, 2, 0, 0, 3, 2, {0, 1, 2, 3, 0, 1}, -1, false);
    // Cut anywhere before its last data block ends (the trailer is not needed).
    for (size_t cut = 6; cut + 2 < good.size(); ++cut) EXPECT_FALSE(DecodePicture(good.data(), cut, image)) << cut;
    EXPECT_FALSE(image.pixels);
}

TEST(PictureDecoder, OnlyBmpJpegAndGifSignaturesReachADecoder) {
    Decoded image;
    const std::string others[] = {
        std::string("P5 1 1 65535\n\x01", 14),       // 16-bit PNM, one pixel short
        std::string("P6\n4 4\n255\n\x01\x02\x03"),     // truncated PNM
        std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16),
        std::string("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 8 +X 8\n"),
        std::string("8BPS\0\x01", 6),
    };
    for (const std::string& file : others)
        EXPECT_FALSE(DecodePicture(reinterpret_cast<const uint8_t*>(file.data()), file.size(), image)) << file;
    const Bytes tga = TgaBytes(2, 24, 1, 1, 0, {1, 2, 3});
    EXPECT_FALSE(DecodePicture(tga.data(), tga.size(), image)) << "TGA is read only by its own reader";
}

// The texture manager picks the decoder by extension, in any letter case.
TEST(DecodeByExtension, TgaInCapitalsUsesTheTgaReaderAndOthersThePictureDecoder) {
    const Bytes white16 = TgaBytes(2, 16, 1, 1, 0, {0xFF, 0x7F});
    int32_t width = 0, height = 0, bpp = 0;
    uint8_t* pixels = nullptr;
    ASSERT_TRUE(qx::tex->LoadDataFromMem("Images/X.TGA", white16.data(), white16.size(), width, height, bpp,
                                         pixels));
    EXPECT_EQ((Bytes{pixels[0], pixels[1], pixels[2]}), (Bytes{248, 248, 248})); // the TGA reader's expansion
    qx::tex->FreeData(pixels);
    EXPECT_EQ(pixels, nullptr);

    ASSERT_TRUE(qx::tex->LoadDataFromMem("noext", kTinyGif, sizeof kTinyGif, width, height, bpp, pixels));
    EXPECT_EQ(width, 3);
    EXPECT_EQ(bpp, 24);
    qx::tex->FreeData(pixels);

    const Bytes bmp = Bmp(3, 2, Bytes(24, 7));
    EXPECT_FALSE(qx::tex->LoadDataFromMem("wrong.tga", bmp.data(), bmp.size(), width, height, bpp, pixels));
    EXPECT_EQ(pixels, nullptr);
    EXPECT_NE(TestLogText().find("Texture : Error Loading \"wrong.tga\""), std::string::npos);
}

} // namespace
