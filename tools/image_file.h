// Pixel buffers and the file formats the game's images and icons are shipped in.
//
// A `Bitmap` is 8-bit RGBA, straight (not premultiplied) alpha, first row at
// the top. The encoders build the whole file in memory: uncompressed true-colour
// TGA (type 2, 24 or 32 bits, rows stored bottom to top), plain Windows BMP
// (24 bits, no compression, rows bottom to top, each padded to 4 bytes) and,
// for the desktop's icons, PNG (8-bit RGBA, no filtering, deflated by zlib).
// Only the PNG encoder can fail (empty result); `WriteFile` reports a failed
// write by its result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace imagegen {

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba; // width * height * 4 bytes, top row first

    Bitmap() = default;
    Bitmap(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4, 0) {}
    uint8_t* At(int x, int y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
    const uint8_t* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

// --- Encoders ---
constexpr size_t kTgaHeaderSize = 18;
constexpr size_t kBmpHeaderSize = 54; // file header 14 + info header 40

// TGA file bytes; bitsPerPixel is 24 (alpha dropped) or 32 (BGRA).
std::vector<uint8_t> EncodeTga(const Bitmap& image, int bitsPerPixel);
// BMP file bytes, 24 bits per pixel; alpha is dropped.
std::vector<uint8_t> EncodeBmp(const Bitmap& image);
// PNG file bytes: signature, IHDR, one IDAT, IEND; empty when zlib runs out of memory.
std::vector<uint8_t> EncodePng(const Bitmap& image);
// Bytes in one stored BMP row of the given width: 3 per pixel rounded up to 4.
size_t BmpRowStride(int width);

// --- Files ---
// Writes (replacing) the file; false when it cannot be written in full.
bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

} // namespace imagegen
