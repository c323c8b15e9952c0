// Image decoders used by the texture manager (internal to the engine).
//
// Every entry point delivers the same shape: width x height pixels at 8 (grey),
// 24 (blue, green, red) or 32 (blue, green, red, alpha) bits, rows tightly
// packed, first row = top of the picture. The buffer comes from std::malloc and
// is owned by the result, which frees it; the texture manager's LoadData hands
// it on to its caller, who frees it with FreeData. On failure the result is
// false and pixels is null. Sizes claimed by a header are checked against the
// pixel budget and the bytes actually present before any allocation. The
// decoders log only a library's own reason for refusing a file ("Texture : "
// tag); the texture manager writes the failure line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace qx {

class TStream;

namespace image {

// Largest picture the decoders accept, in pixels (64 megapixels); the game's
// own pictures are at most 1024 x 1024.
constexpr int64_t kMaxPixels = int64_t{8192} * 8192;

// No compressed picture we take packs more than this many pixels into one byte
// of file; a header claiming more is corrupt or hostile.
constexpr int64_t kMaxPixelsPerByte = 2048;

// Frees decoded pixels the way the decoders allocate them.
struct TFreePixels {
    void operator()(uint8_t* pixels) const { std::free(pixels); }
};
using TPixels = std::unique_ptr<uint8_t[], TFreePixels>;

struct TDecoded {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bpp = 0;  // 8, 24 or 32
    TPixels pixels;   // null on failure
};

// TGA (uncompressed types 1, 2, 3) from any stream positioned anywhere.
[[nodiscard]] bool ReadTga(TStream& stream, TDecoded& out);
[[nodiscard]] bool LoadTgaFile(const std::string& fileName, TDecoded& out);
[[nodiscard]] bool LoadTgaMem(const void* memory, size_t size, TDecoded& out);

// BMP, JPEG or GIF, told apart by their first bytes (anything else is
// refused), always as 24-bit blue-green-red. A GIF gives its first frame on its
// logical screen: transparent pixels are black, the screen outside the frame
// is the background colour.
[[nodiscard]] bool LoadPictureFile(const std::string& fileName, TDecoded& out);
[[nodiscard]] bool LoadPictureMem(const void* memory, size_t size, TDecoded& out);

// BMP from memory: OS/2 core, INFO, V4 and V5 headers; 1, 4, 8, 16, 24 and 32
// bits; bit-field masks; bottom-up or top-down rows; RLE4 and RLE8. Pixels an
// RLE stream never reaches (it ends early, skips or jumps outside) are black.
[[nodiscard]] bool ReadBmp(const uint8_t* bytes, size_t size, TDecoded& out);

} // namespace image
} // namespace qx
