// Picture and sound files made in memory for the tests and the fuzz seeds:
// TGA, BMP, GIF, WAV and Ogg Vorbis, each writer laying out exactly the bytes
// its description asks for, lies included (a header may claim a size, a
// palette or a depth that the data does not have), so a test can hand a
// reader both good files and broken ones. Numbers in the files are little
// endian, as the formats store them. The writers never check their input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace test_files {

using Bytes = std::vector<uint8_t>;

// ---- Little-endian numbers ----
// Writes v over the two or four bytes at `at` (which must exist).
void PutLe16(Bytes& bytes, size_t at, uint32_t v);
void PutLe32(Bytes& bytes, size_t at, uint32_t v);
// Appends v at the end.
void AppendLe16(Bytes& bytes, uint32_t v);
void AppendLe32(Bytes& bytes, uint32_t v);
// Appends the characters of text.
void AppendText(Bytes& bytes, const std::string& text);

// Writes bytes to path (replacing it) and returns the path.
std::string WriteFile(const std::string& path, const Bytes& bytes);

// ---- TGA ----
// An uncompressed TGA: the 18-byte header, the identification field, the
// colour map (when palette is not empty; its entry count is its size over
// paletteEntryBits / 8) and the pixel bytes as given. Descriptor bit 5 (32)
// says the top row comes first, bit 4 (16) that rows run right to left.
Bytes TgaBytes(uint8_t type, uint8_t depth, uint16_t width, uint16_t height, uint8_t descriptor, const Bytes& pixels,
               const Bytes& palette = {}, uint8_t paletteEntryBits = 24, const Bytes& id = {});

// ---- BMP ----
// A BMP file as its fields say. headerSize 12 is the OS/2 core header (16-bit
// sizes, three-byte palette entries), 40 the Windows one (masks, when given,
// follow it), 52 and more carry the masks inside the header; a negative
// height stores the top row first. The offset of the pixels and the file size
// are those of the bytes written.
struct TBmp {
    uint32_t headerSize = 40;
    int32_t width = 2;
    int32_t height = 2;
    uint16_t depth = 24;
    uint32_t compression = 0; // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
    Bytes palette = {};         // blue, green, red per entry
    uint32_t paletteCount = 0;  // the header's count; 0 = the whole palette
    std::vector<uint32_t> masks = {}; // red, green, blue (and alpha in a header of 56 bytes or more)
    Bytes data = {};            // the pixel data as stored (rows padded to four bytes, or a run-length stream)
    uint32_t pixelsPerMetre = 0; // both resolutions
    uint32_t colourSpace = 0;    // written in a header of 108 bytes or more ('sRGB' = 0x73524742)
};
Bytes BmpBytes(const TBmp& bmp);

// ---- GIF ----
// One frame of indices into the palette, one per pixel, rows top-down.
struct TGifFrame {
    int left = 0;
    int top = 0;
    int width = 1;
    int height = 1;
    Bytes indices = {};
    bool interlaced = false;    // rows stored in the four passes of 8, 8, 4 and 2
    bool localPalette = false;  // the frame carries the palette instead of the screen
};
// A GIF89a of a logical screen and its frames. The palette is red, green,
// blue per entry; transparent (when not -1) goes into one graphic control
// extension ahead of the first frame.
struct TGif {
    int width = 1;
    int height = 1;
    Bytes palette = {};
    int background = 0;
    int transparent = -1;
    std::vector<TGifFrame> frames = {};
};
// The order in which a frame's rows are stored: top-down, or pass by pass when interlaced.
std::vector<int> GifRowOrder(int height, bool interlaced);
// Written here without compression: every pixel is a literal code and a clear
// code comes before the code size would grow. Palettes of four entries only.
Bytes GifLiteralBytes(const TGif& gif);
// Compressed by giflib's encoder (palettes of 2, 4, ... 256 entries; at most one frame's extension).
Bytes GifEncodedBytes(const TGif& gif);

// ---- WAV ----
struct TWavOptions {
    uint16_t tag = 1;          // 1 integer PCM, 3 IEEE float
    bool extensible = false;   // a 0xFFFE format chunk whose sub-format carries tag
    bool listChunk = false;    // an odd-sized LIST chunk (with its pad byte) ahead of the format chunk
};
// RIFF/WAVE with a format chunk and a data chunk of data; the block align is
// channels * bits / 8. Without options this is the canonical 44-byte header.
Bytes WavBytes(uint16_t channels, uint32_t rate, uint16_t bits, const Bytes& data, const TWavOptions& options = {});

// ---- Ogg Vorbis ----
// Ogg Vorbis of `frames` frames at rate from sample(frame, channel) in -1..1,
// encoded at the given VBR quality on stream serial 1. The PCM goes to the
// encoder chunkFrames at a time (0: all at once). Empty when the encoder
// refuses the settings.
Bytes OggBytes(int channels, long rate, float quality, long frames, const std::function<float(long, int)>& sample,
               long chunkFrames = 0);

} // namespace test_files
