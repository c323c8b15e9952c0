// The BMP reader on files of every kind made here: header generations,
// palettes, 16/32-bit masks, row order, RLE4 and RLE8, and streams and headers
// that lie about their size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/image_internal.h"
#include "tests/support/test_files.h"

namespace {

using test_files::BmpBytes;
using test_files::Bytes;
using test_files::TBmp;

// Decodes and returns the pixels (BGR, top row first), or {} on refusal.
Bytes Pixels(const TBmp& bmp) {
    const Bytes file = BmpBytes(bmp);
    qx::image::TDecoded out;
    if (!qx::image::ReadBmp(file.data(), file.size(), out)) return {};
    EXPECT_EQ(out.width, bmp.width);
    EXPECT_EQ(out.height, bmp.height < 0 ? -bmp.height : bmp.height);
    EXPECT_EQ(out.bpp, 24);
    return Bytes(out.pixels.get(), out.pixels.get() + size_t(out.width) * out.height * 3);
}

const Bytes kFour = {255, 0, 0, /* green */ 0, 255, 0, /* red */ 0, 0, 255, /* white */ 255, 255, 255};
const Bytes B = {255, 0, 0}, G = {0, 255, 0}, R = {0, 0, 255}, W = {255, 255, 255}, K = {0, 0, 0};

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(BmpReader, PalettedDepthsAndHeaders) {
    // 2 x 2, rows bottom-up and padded to 4 bytes; top row blue green, bottom red white.
    TBmp eight{.depth = 8, .palette = kFour, .data = {2, 3, 0, 0, 0, 1, 0, 0}};
    EXPECT_EQ(Pixels(eight), Cat({B, G, R, W}));
    TBmp core = eight;
    core.headerSize = 12; // OS/2: three-byte palette entries
    EXPECT_EQ(Pixels(core), Cat({B, G, R, W}));
    TBmp four{.depth = 4, .palette = kFour, .data = {0x23, 0, 0, 0, 0x01, 0, 0, 0}};
    EXPECT_EQ(Pixels(four), Cat({B, G, R, W}));
    TBmp one{.width = 3, .height = 1, .depth = 1, .palette = Cat({K, W}), .data = {0b10100000, 0, 0, 0}};
    EXPECT_EQ(Pixels(one), Cat({W, K, W}));
    // An index past the stored palette is black, not a read past it.
    TBmp shortPalette{.width = 2, .height = 1, .depth = 8, .palette = Cat({W}), .paletteCount = 1,
                      .data = {0, 200, 0, 0}};
    EXPECT_EQ(Pixels(shortPalette), Cat({W, K}));
}

TEST(BmpReader, SixteenBitChannelsExpandToTheFullRange) {
    // 5-5-5 by default: white, red, and green 16 / blue 16 of 31.
    TBmp rgb555{.width = 3, .height = 1, .depth = 16, .data = {0xFF, 0x7F, 0x00, 0x7C, 0x10, 0x02, 0, 0}};
    EXPECT_EQ(Pixels(rgb555), Cat({W, R, {132, 132, 0}}));
    // 5-6-5 through bit-field masks, in an INFO header and in a V5 header.
    for (uint32_t header : {40u, 124u}) {
        TBmp rgb565{.headerSize = header, .width = 3, .height = 1, .depth = 16, .compression = 3,
                    .masks = {0xF800, 0x07E0, 0x001F}, .data = {0xFF, 0xFF, 0x00, 0xF8, 0x00, 0x04, 0, 0}};
        EXPECT_EQ(Pixels(rgb565), Cat({W, R, {0, 130, 0}})) << "header " << header;
    }
}

TEST(BmpReader, TrueColourWithUnusedPaletteMasksAndRowOrder) {
    TBmp withPalette{.width = 1, .height = 2, .palette = kFour, .paletteCount = 4,
                     .data = Cat({R, {0}, G, {0}})};
    EXPECT_EQ(Pixels(withPalette), Cat({G, R}));
    TBmp topDown = withPalette;
    topDown.height = -2;
    EXPECT_EQ(Pixels(topDown), Cat({R, G}));
    TBmp bgrx{.width = 1, .height = 1, .depth = 32, .data = {10, 20, 30, 99}};
    EXPECT_EQ(Pixels(bgrx), (Bytes{10, 20, 30}));
    // V4 masks naming red in the low byte.
    TBmp xbgr{.headerSize = 108, .width = 1, .height = 1, .depth = 32, .compression = 3,
              .masks = {0xFF, 0xFF00, 0xFF0000}, .data = {10, 20, 30, 99}};
    EXPECT_EQ(Pixels(xbgr), (Bytes{30, 20, 10}));
}

TEST(BmpReader, RunLengthStreams) {
    // RLE8, 4 x 3: a run of 3, end of line; an absolute run of 3 (padded), end
    // of line; a delta of 2 right, a run of 1, end of picture.
    TBmp rle8{.width = 4, .height = 3, .depth = 8, .compression = 1, .palette = kFour,
              .data = {3, 2, 0, 0, /* */ 0, 3, 0, 1, 3, 0, 0, 0, /* */ 0, 2, 2, 0, 1, 1, 0, 1}};
    EXPECT_EQ(Pixels(rle8), Cat({K, K, G, K, /* */ B, G, W, K, /* */ R, R, R, K}));
    // RLE4, 4 x 1: a run of 3 alternating two indices, then a run of 1.
    TBmp rle4{.width = 4, .height = 1, .depth = 4, .compression = 2, .palette = kFour,
              .data = {3, 0x12, 1, 0x30, 0, 1}};
    EXPECT_EQ(Pixels(rle4), Cat({G, R, G, W}));
}

TEST(BmpReader, RunLengthStreamsThatLieStayInsideThePicture) {
    TBmp rle{.width = 2, .height = 2, .depth = 8, .compression = 1, .palette = kFour};
    rle.data = {2, 3}; // ends without an end of line or picture
    EXPECT_EQ(Pixels(rle), Cat({K, K, W, W}));
    rle.data = {200, 3, 0, 0, 2, 2}; // a run past the row's end is cut there
    EXPECT_EQ(Pixels(rle), Cat({R, R, W, W}));
    rle.data = {0, 2, 1, 200, 5, 3, 0, 2, 250, 250, 9, 1}; // deltas out of the picture
    EXPECT_EQ(Pixels(rle), Cat({K, K, K, K}));
    rle.data = {0, 200, 1, 2}; // an absolute run longer than the stream
    EXPECT_EQ(Pixels(rle), Cat({K, K, K, K}));
    rle.data = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1}; // ends of line past the last row
    EXPECT_EQ(Pixels(rle), Cat({K, K, K, K}));
    TBmp rle4{.width = 3, .height = 1, .depth = 4, .compression = 2, .palette = kFour, .data = {0, 5, 0x12}};
    EXPECT_EQ(Pixels(rle4), Cat({K, K, K})); // absolute run of 5 with one byte present
}

TEST(BmpReader, HeadersThatLieAreRefused) {
    TBmp truncated{.width = 3, .height = 2, .data = Bytes(20, 7)}; // needs 24 bytes
    EXPECT_TRUE(Pixels(truncated).empty());
    TBmp huge{.width = 100000, .height = 100000, .data = Bytes(24, 7)};
    EXPECT_TRUE(Pixels(huge).empty());
    // Width x height overflows 32 bits; a 2 GiB row count times a 4-byte row overflows them too.
    TBmp wide{.width = 0x7FFFFFFF, .height = -0x7FFFFFFF, .data = Bytes(24, 7)};
    EXPECT_TRUE(Pixels(wide).empty());
    TBmp rleBomb{.width = 8000, .height = 8000, .depth = 8, .compression = 1, .palette = kFour, .data = {0, 1}};
    EXPECT_TRUE(Pixels(rleBomb).empty()) << "64 megapixels from two bytes";
    TBmp mixed{.depth = 24, .compression = 1, .data = Bytes(16, 0)};
    EXPECT_TRUE(Pixels(mixed).empty()) << "RLE8 at 24 bits";
    TBmp bitFields24{.depth = 24, .compression = 3, .masks = {0xFF, 0xFF00, 0xFF0000}, .data = Bytes(16, 0)};
    EXPECT_TRUE(Pixels(bitFields24).empty());
    TBmp embedded{.depth = 24, .compression = 4, .data = Bytes(16, 0)};
    EXPECT_TRUE(Pixels(embedded).empty()) << "a JPEG inside a BMP";
    Bytes cutPalette = BmpBytes({.depth = 8, .palette = kFour, .data = Bytes(8, 0)});
    cutPalette.resize(14 + 40 + 6);
    qx::image::TDecoded out;
    EXPECT_FALSE(qx::image::ReadBmp(cutPalette.data(), cutPalette.size(), out));
    Bytes cutHeader = BmpBytes({.headerSize = 124, .data = Bytes(16, 0)});
    cutHeader.resize(14 + 100);
    EXPECT_FALSE(qx::image::ReadBmp(cutHeader.data(), cutHeader.size(), out));
    EXPECT_FALSE(out.pixels);
}

} // namespace
