// Image decoders used by the texture manager (internal to the engine).
//
// Every entry point delivers the same shape: width x height pixels at 8 (grey),
// 24 (blue, green, red) or 32 (blue, green, red, alpha) bits, rows tightly
// packed, first row = top of the picture. The buffer comes from std::malloc and
// is the caller's (the texture manager frees it in FreeData). On failure the
// result is false, pixels is null and nothing needs freeing. Sizes claimed by a
// header are checked against the bytes actually present before any allocation.
// The decoders never log: the texture manager writes the failure line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qx {

class TStream;

namespace image {

// Largest picture the decoders accept, in pixels (16384 x 16384).
constexpr int64_t kMaxPixels = int64_t{16384} * 16384;

struct TDecoded {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bpp = 0;            // 8, 24 or 32
    uint8_t* pixels = nullptr;  // std::malloc'd, owned by the caller
};

// TGA (uncompressed types 1, 2, 3) from any stream positioned anywhere.
bool ReadTga(TStream& stream, TDecoded& out);
bool LoadTgaFile(const std::string& fileName, TDecoded& out);
bool LoadTgaMem(const void* memory, size_t size, TDecoded& out);

// BMP, JPG, GIF (and PNG) always as 24-bit blue-green-red.
bool LoadPictureFile(const std::string& fileName, TDecoded& out);
bool LoadPictureMem(const void* memory, size_t size, TDecoded& out);

} // namespace image
} // namespace qx
