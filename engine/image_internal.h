// Image decoders used by the texture manager (internal to the engine).
//
// Every entry point delivers the same shape: width x height pixels at 8 (grey),
// 24 (blue, green, red) or 32 (blue, green, red, alpha) bits, rows tightly
// packed, first row = top of the picture. The buffer comes from std::malloc and
// is owned by the result, which frees it; the texture manager's LoadData hands
// it on to its caller, who frees it with FreeData. On failure the result is
// false and pixels is null. Sizes claimed by a
// header are checked against the bytes actually present before any allocation.
// The decoders never log: the texture manager writes the failure line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace qx {

class TStream;

namespace image {

// Largest picture the decoders accept, in pixels (16384 x 16384).
constexpr int64_t kMaxPixels = int64_t{16384} * 16384;

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

// BMP, JPG, GIF (and PNG) always as 24-bit blue-green-red.
[[nodiscard]] bool LoadPictureFile(const std::string& fileName, TDecoded& out);
[[nodiscard]] bool LoadPictureMem(const void* memory, size_t size, TDecoded& out);

} // namespace image
} // namespace qx
