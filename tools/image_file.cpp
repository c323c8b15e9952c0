// TGA and BMP encoders for the image generator.
#include "image_file.h"

#include <zlib.h>

#include <fstream>
#include <string_view>

namespace imagegen {

namespace {

void PutU16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v & 0xFF);
    out[at + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    PutU16(out, at, v & 0xFFFF);
    PutU16(out, at + 2, v >> 16);
}

// PNG numbers are big-endian, unlike the other two formats.
void AppendU32BigEndian(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>((v >> shift) & 0xFF));
}

// Length, type, data and the CRC of type and data.
void AppendPngChunk(std::vector<uint8_t>& out, std::string_view type, const std::vector<uint8_t>& data) {
    AppendU32BigEndian(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), data.begin(), data.end());
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
    AppendU32BigEndian(out, static_cast<uint32_t>(crc));
}

} // namespace

std::vector<uint8_t> EncodeTga(const Bitmap& image, int bitsPerPixel) {
    const size_t bytesPerPixel = bitsPerPixel == 32 ? 4 : 3;
    const size_t pixelCount = static_cast<size_t>(image.width) * image.height;
    std::vector<uint8_t> out(kTgaHeaderSize + pixelCount * bytesPerPixel, 0);
    out[2] = 2; // uncompressed true colour
    PutU16(out, 12, static_cast<uint32_t>(image.width));
    PutU16(out, 14, static_cast<uint32_t>(image.height));
    out[16] = static_cast<uint8_t>(bytesPerPixel * 8);
    // Bits 0-3 count the alpha bits; bit 5 stays clear: rows go bottom to top,
    // the layout every reader handles.
    out[17] = bytesPerPixel == 4 ? 8 : 0;
    size_t at = kTgaHeaderSize;
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.At(x, y);
            out[at++] = p[2];
            out[at++] = p[1];
            out[at++] = p[0];
            if (bytesPerPixel == 4) out[at++] = p[3];
        }
    }
    return out;
}

size_t BmpRowStride(int width) {
    return (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
}

std::vector<uint8_t> EncodeBmp(const Bitmap& image) {
    const size_t stride = BmpRowStride(image.width);
    const size_t pixelBytes = stride * static_cast<size_t>(image.height);
    std::vector<uint8_t> out(kBmpHeaderSize + pixelBytes, 0);
    out[0] = 'B';
    out[1] = 'M';
    PutU32(out, 2, static_cast<uint32_t>(out.size()));
    PutU32(out, 10, static_cast<uint32_t>(kBmpHeaderSize)); // offset of the pixels
    PutU32(out, 14, 40);                                      // info header size
    PutU32(out, 18, static_cast<uint32_t>(image.width));
    PutU32(out, 22, static_cast<uint32_t>(image.height));    // positive: bottom-up
    PutU16(out, 26, 1);                                       // planes
    PutU16(out, 28, 24);                                      // bits per pixel
    PutU32(out, 30, 0);                                       // no compression
    PutU32(out, 34, static_cast<uint32_t>(pixelBytes));
    PutU32(out, 38, 3780); // 96 pixels per inch, so decoders keep the pixel size
    PutU32(out, 42, 3780);
    for (int y = 0; y < image.height; ++y) {
        size_t at = kBmpHeaderSize + stride * static_cast<size_t>(image.height - 1 - y);
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = image.At(x, y);
            out[at++] = p[2];
            out[at++] = p[1];
            out[at++] = p[0];
        }
    }
    return out;
}

std::vector<uint8_t> EncodePng(const Bitmap& image) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    AppendU32BigEndian(header, static_cast<uint32_t>(image.width));
    AppendU32BigEndian(header, static_cast<uint32_t>(image.height));
    header.insert(header.end(), {8, 6, 0, 0, 0}); // 8 bits, RGBA, deflate, no filter, not interlaced
    AppendPngChunk(out, "IHDR", header);

    // Each row starts with its filter type, 0: the bytes as they are.
    const size_t rowBytes = static_cast<size_t>(image.width) * 4;
    std::vector<uint8_t> raw;
    raw.reserve((rowBytes + 1) * image.height);
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);
        const uint8_t* row = image.At(0, y);
        raw.insert(raw.end(), row, row + rowBytes);
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    // A buffer of compressBound bytes cannot run short; only memory can.
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
        return {};
    packed.resize(packedSize);
    AppendPngChunk(out, "IDAT", packed);
    AppendPngChunk(out, "IEND", {});
    return out;
}

bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return false;
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}

} // namespace imagegen
