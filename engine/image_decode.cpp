// Image decoders: the engine's own TGA reader and a BMP/JPG/GIF decoder on top
// of stb_image. Both hand back 24/32-bit pixels in blue-green-red order, top row
// first, because that is what the texture manager uploads with GL_BGR(A).
#include "engine/image_internal.h"

#include <stb/stb_image.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "engine/sys_main.h"

namespace qx::image {

namespace {

using Buffer = TPixels;

Buffer Allocate(int64_t bytes) {
    if (bytes <= 0 || static_cast<uint64_t>(bytes) > SIZE_MAX) return Buffer();
    return Buffer(static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes))));
}

// Reads exactly count bytes or reports failure (file reads may come back short).
bool ReadFully(TStream& stream, void* buffer, size_t count) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        const size_t n = stream.Read(bytes, count);
        if (n == 0) return false;
        bytes += n;
        count -= n;
    }
    return true;
}

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void MirrorRows(uint8_t* pixels, int64_t width, int64_t height, int64_t pixelBytes) {
    const int64_t rowBytes = width * pixelBytes;
    for (int64_t row = 0; row < height; ++row) {
        uint8_t* line = pixels + row * rowBytes;
        for (int64_t i = 0; i < width / 2; ++i) {
            uint8_t* left = line + i * pixelBytes;
            uint8_t* right = line + (width - 1 - i) * pixelBytes;
            for (int64_t b = 0; b < pixelBytes; ++b) std::swap(left[b], right[b]);
        }
    }
}

void FlipRows(uint8_t* pixels, int64_t height, int64_t rowBytes) {
    std::vector<uint8_t> temp(static_cast<size_t>(rowBytes));
    for (int64_t row = 0; row < height / 2; ++row) {
        uint8_t* top = pixels + row * rowBytes;
        uint8_t* bottom = pixels + (height - 1 - row) * rowBytes;
        std::memcpy(temp.data(), top, static_cast<size_t>(rowBytes));
        std::memcpy(top, bottom, static_cast<size_t>(rowBytes));
        std::memcpy(bottom, temp.data(), static_cast<size_t>(rowBytes));
    }
}

// An uncompressed BMP must hold every row its header claims; stb would fill the
// missing part with zeros after allocating the full picture.
bool BmpDataPresent(const uint8_t* bytes, size_t size) {
    if (size < 2 || bytes[0] != 'B' || bytes[1] != 'M') return true; // not a BMP
    if (size < 26) return false;
    const uint64_t dataOffset = Le32(bytes + 10);
    const uint32_t headerSize = Le32(bytes + 14);
    int64_t width = 0;
    int64_t height = 0;
    uint32_t depth = 0;
    uint32_t compression = 0;
    if (headerSize == 12) {
        width = Le16(bytes + 18);
        height = Le16(bytes + 20);
        depth = Le16(bytes + 24);
    } else {
        if (size < 34) return false;
        width = static_cast<int32_t>(Le32(bytes + 18));
        height = static_cast<int32_t>(Le32(bytes + 22));
        depth = Le16(bytes + 28);
        compression = Le32(bytes + 30);
    }
    // Run-length data has no fixed size; the pixel-per-byte cap covers it.
    if (compression != 0 && compression != 3 && compression != 6) return true;
    if (height < 0) height = -height;
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535 || depth == 0 || depth > 64) return false;
    const uint64_t rowBytes = (static_cast<uint64_t>(width) * depth + 31) / 32 * 4;
    const uint64_t needed = rowBytes * static_cast<uint64_t>(height);
    return dataOffset <= size && needed <= size - dataOffset;
}

// No picture format we take packs more than this many pixels into one byte of
// file; a header claiming more is corrupt or hostile.
constexpr int64_t kMaxPixelsPerByte = 2048;

} // namespace

bool ReadTga(TStream& stream, TDecoded& out) {
    out = TDecoded();
    if (!stream.Valid()) return false;
    uint8_t header[18];
    if (!ReadFully(stream, header, sizeof header)) return false;

    const int64_t idLength = header[0];
    const uint8_t colourMapType = header[1];
    const uint8_t imageType = header[2];
    const uint32_t colourMapLength = Le16(header + 5);
    const uint8_t colourMapEntry = header[7];
    const int64_t width = Le16(header + 12);
    const int64_t height = Le16(header + 14);
    const uint8_t depth = header[16];
    const uint8_t descriptor = header[17];

    if (imageType != 1 && imageType != 2 && imageType != 3) return false;
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return false;
    if (imageType == 1 && (colourMapType != 1 || colourMapEntry != 24 || depth != 8)) return false;
    if (width == 0 || height == 0 || width * height > kMaxPixels) return false;

    const int64_t dataStart = 18 + idLength;
    if (stream.Size() < dataStart) return false;
    stream.Seek(dataStart);

    std::vector<uint8_t> palette;
    if (imageType == 1) {
        const int64_t paletteBytes = int64_t{colourMapLength} * 3;
        if (stream.Size() - stream.Position() < paletteBytes) return false;
        palette.resize(static_cast<size_t>(paletteBytes));
        if (paletteBytes > 0 && !ReadFully(stream, palette.data(), palette.size())) return false;
    }

    // For types 2 and 3 a colour map, if present, is not skipped: it is read as
    // the start of the pixel data, which is how these files have always loaded.
    const int64_t storedBytes = depth / 8;
    const int32_t outBpp = depth == 8 ? (imageType == 1 ? 24 : 8) : (depth == 16 ? 24 : depth);
    const int64_t outBytes = outBpp / 8;
    const int64_t pixelCount = width * height;
    const int64_t rawSize = pixelCount * storedBytes;
    if (stream.Size() - stream.Position() < rawSize) return false;

    Buffer raw = Allocate(rawSize);
    if (!raw || !ReadFully(stream, raw.get(), static_cast<size_t>(rawSize))) return false;

    Buffer result;
    if (outBpp == depth) {
        result = std::move(raw);
    } else {
        result = Allocate(pixelCount * outBytes);
        if (!result) return false;
        const uint8_t* src = raw.get();
        uint8_t* dst = result.get();
        if (depth == 8) { // colour-mapped
            for (int64_t i = 0; i < pixelCount; ++i, dst += 3) {
                const uint32_t index = src[i];
                if (index >= colourMapLength) return false;
                std::memcpy(dst, palette.data() + index * 3, 3);
            }
        } else { // 16 bits: x1r5g5b5
            for (int64_t i = 0; i < pixelCount; ++i, dst += 3) {
                const uint32_t v = Le16(src + i * 2);
                dst[0] = static_cast<uint8_t>((v & 31) * 8);
                dst[1] = static_cast<uint8_t>(((v >> 5) & 31) * 8);
                dst[2] = static_cast<uint8_t>(((v >> 10) & 31) * 8);
            }
        }
    }

    if (descriptor & 16) MirrorRows(result.get(), width, height, outBytes);
    if (!(descriptor & 32)) FlipRows(result.get(), height, width * outBytes);

    out.width = static_cast<int32_t>(width);
    out.height = static_cast<int32_t>(height);
    out.bpp = outBpp;
    out.pixels = std::move(result);
    return true;
}

bool LoadTgaFile(const std::string& fileName, TDecoded& out) {
    TFileStream stream(fileName);
    return ReadTga(stream, out);
}

bool LoadTgaMem(const void* memory, size_t size, TDecoded& out) {
    TMemoryStream stream(memory, size);
    return ReadTga(stream, out);
}

bool LoadPictureMem(const void* memory, size_t size, TDecoded& out) {
    out = TDecoded();
    if (!memory || size == 0 || size > static_cast<size_t>(INT_MAX)) return false;
    const auto* bytes = static_cast<const stbi_uc*>(memory);
    const int length = static_cast<int>(size);

    // Check the claimed size before stb allocates for it.
    int width = 0;
    int height = 0;
    int components = 0;
    if (!stbi_info_from_memory(bytes, length, &width, &height, &components)) return false;
    if (width <= 0 || height <= 0) return false;
    const int64_t pixelCount = int64_t{width} * height;
    if (pixelCount > kMaxPixels || pixelCount > static_cast<int64_t>(size) * kMaxPixelsPerByte) return false;
    if (!BmpDataPresent(bytes, size)) return false;

    // stb allocates with malloc, so its buffer is owned like the TGA reader's.
    Buffer data(stbi_load_from_memory(bytes, length, &width, &height, &components, 3));
    if (!data) return false;
    if (width <= 0 || height <= 0 || int64_t{width} * height != pixelCount) return false;
    // stb gives red-green-blue; the texture manager uploads blue-green-red.
    for (int64_t i = 0; i < pixelCount; ++i) std::swap(data[i * 3], data[i * 3 + 2]);
    out.width = width;
    out.height = height;
    out.bpp = 24;
    out.pixels = std::move(data);
    return true;
}

bool LoadPictureFile(const std::string& fileName, TDecoded& out) {
    out = TDecoded();
    TFileStream stream(fileName);
    if (!stream.Valid()) return false;
    const int64_t size = stream.Size();
    if (size <= 0 || size > INT_MAX) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    stream.Seek(0);
    if (!ReadFully(stream, bytes.data(), bytes.size())) return false;
    return LoadPictureMem(bytes.data(), bytes.size(), out);
}

} // namespace qx::image
