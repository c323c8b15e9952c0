// The BMP reader: every header generation (OS/2 core, INFO, V4, V5), palettes
// of 1, 4 and 8 bits, 16 and 32 bits through bit-field masks, 24 bits, and the
// RLE4 and RLE8 run-length forms. Output is 24-bit blue-green-red, top row
// first; alpha is dropped, as the texture manager has always had it.
//
// Every size a header claims is checked, in 64 bits, against the pixel budget
// and the bytes present before the picture is allocated. An RLE stream is
// decoded through a bounds-checked cursor: one that ends early, or moves
// outside the picture, stops there and leaves the rest black.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "engine/bytes_internal.h"
#include "engine/image_internal.h"

namespace qx::image {

namespace {

enum : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

// One channel of a bit-field pixel, scaled so the mask's largest value is 255.
struct TChannel {
    uint32_t mask = 0;
    int shift = 0;
    uint64_t top = 0;

    explicit TChannel(uint32_t m) : mask(m) {
        if (mask == 0) return;
        shift = std::countr_zero(mask);
        top = mask >> shift;
    }
    uint8_t operator()(uint32_t pixel) const {
        if (top == 0) return 0;
        const uint64_t value = (pixel & mask) >> shift;
        return static_cast<uint8_t>((value * 255 + top / 2) / top);
    }
};

struct THeader {
    int64_t width = 0;
    int64_t height = 0; // always positive; topDown tells the row order
    bool topDown = false;
    uint32_t depth = 0;
    uint32_t compression = kRgb;
    uint32_t masks[3] = {0, 0, 0}; // red, green, blue
    size_t paletteAt = 0;
    size_t paletteEntryBytes = 4;
    uint32_t paletteCount = 0;
    size_t dataAt = 0;
};

bool ReadHeader(const uint8_t* bytes, size_t size, THeader& h) {
    if (size < 18) return false;
    h.dataAt = Le32(bytes + 10);
    const size_t headerSize = Le32(bytes + 14);
    // 12: OS/2 core; 16 and 64: OS/2 2.x; 40: INFO; 52, 56: INFO with masks; 108: V4; 124: V5.
    if (headerSize != 12 && headerSize != 16 && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
        headerSize != 64 && headerSize != 108 && headerSize != 124)
        return false;
    if (size < 14 + headerSize) return false;
    const uint8_t* info = bytes + 14;
    if (headerSize == 12) {
        h.width = Le16(info + 4);
        h.height = Le16(info + 6);
        h.depth = Le16(info + 10);
        h.paletteEntryBytes = 3;
    } else {
        h.width = static_cast<int32_t>(Le32(info + 4));
        h.height = static_cast<int32_t>(Le32(info + 8));
        h.depth = Le16(info + 14);
        if (headerSize >= 20) h.compression = Le32(info + 16);
        if (headerSize >= 36) h.paletteCount = Le32(info + 32);
    }
    if (h.height < 0) {
        h.topDown = true;
        h.height = -h.height;
    }
    h.paletteAt = 14 + headerSize;
    // In the 64-byte OS/2 header, 3 and 4 name Huffman and RLE24, which we do not read.
    if (headerSize == 64 && h.compression >= kBitFields) return false;
    if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
        if (h.depth != 16 && h.depth != 32) return false;
        const uint8_t* masks = info + 40;
        if (headerSize < 52) { // the masks follow a plain INFO header
            const size_t maskBytes = h.compression == kAlphaBitFields ? 16 : 12;
            if (size < h.paletteAt + maskBytes) return false;
            masks = bytes + h.paletteAt;
            h.paletteAt += maskBytes;
        }
        for (int i = 0; i < 3; ++i) h.masks[i] = Le32(masks + 4 * i);
    } else if (h.compression == kRgb) {
        if (h.depth == 16) {
            h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
        } else if (h.depth == 32) {
            h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF;
        } else if (h.depth != 1 && h.depth != 4 && h.depth != 8 && h.depth != 24) {
            return false;
        }
    } else if (!(h.compression == kRle8 && h.depth == 8) && !(h.compression == kRle4 && h.depth == 4)) {
        return false;
    }
    if (h.depth <= 8 && (h.paletteCount == 0 || h.paletteCount > (1u << h.depth))) h.paletteCount = 1u << h.depth;
    // A palette in a 16-, 24- or 32-bit file is only a hint for old displays.
    if (h.depth > 8) h.paletteCount = 0;
    // Writers often claim the full palette but store fewer entries before the
    // pixels (the OS/2 header has no count at all): take what is there.
    if (h.dataAt >= h.paletteAt)
        h.paletteCount = static_cast<uint32_t>(std::min<uint64_t>(h.paletteCount, (h.dataAt - h.paletteAt) / h.paletteEntryBytes));
    return h.width > 0 && h.height > 0 && h.width * h.height <= kMaxPixels && h.dataAt <= size;
}

// The output picture with a cursor in file row order, which never writes
// outside the picture.
class TCanvas {
public:
    TCanvas(const THeader& h, uint8_t* pixels) : h_(h), pixels_(pixels) {}
    uint8_t* Row(int64_t fileRow) const {
        const int64_t row = h_.topDown ? fileRow : h_.height - 1 - fileRow;
        return pixels_ + row * h_.width * 3;
    }
    bool Inside() const { return y_ < h_.height; }
    void Put(const uint8_t* bgr) {
        if (x_ < h_.width && y_ < h_.height) std::memcpy(Row(y_) + x_ * 3, bgr, 3);
        ++x_;
    }
    void NextLine() {
        x_ = 0;
        ++y_;
    }
    void Move(int64_t dx, int64_t dy) {
        x_ += dx;
        y_ += dy;
    }

private:
    const THeader& h_;
    uint8_t* pixels_;
    int64_t x_ = 0;
    int64_t y_ = 0;
};

using TPalette = std::array<std::array<uint8_t, 3>, 256>;

// An RLE stream: pairs of (count, index) runs, or an escape (0, code) for end
// of line, end of picture, a delta move or an absolute run padded to 16 bits.
void DecodeRle(const THeader& h, const uint8_t* data, size_t size, const TPalette& palette, uint8_t* pixels) {
    TCanvas canvas(h, pixels);
    const bool four = h.compression == kRle4;
    size_t at = 0;
    while (at + 2 <= size && canvas.Inside()) {
        const uint32_t count = data[at];
        const uint32_t code = data[at + 1];
        at += 2;
        if (count > 0) {
            for (uint32_t i = 0; i < count; ++i) {
                const uint32_t index = four ? ((i & 1) ? code & 15 : code >> 4) : code;
                canvas.Put(palette[index].data());
            }
        } else if (code == 0) {
            canvas.NextLine();
        } else if (code == 1) {
            return;
        } else if (code == 2) {
            if (at + 2 > size) return;
            canvas.Move(data[at], data[at + 1]);
            at += 2;
        } else {
            const size_t bytes = four ? (code + 1) / 2 : code;
            if (at + bytes > size) return;
            for (uint32_t i = 0; i < code; ++i) {
                const uint8_t byte = data[at + (four ? i / 2 : i)];
                const uint32_t index = four ? ((i & 1) ? byte & 15 : byte >> 4) : byte;
                canvas.Put(palette[index].data());
            }
            at += (bytes + 1) & ~size_t{1};
        }
    }
}

void DecodeRows(const THeader& h, const uint8_t* data, uint64_t rowBytes, const TPalette& palette,
                uint8_t* pixels) {
    const TCanvas canvas(h, pixels);
    const TChannel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]);
    for (int64_t y = 0; y < h.height; ++y) {
        const uint8_t* in = data + static_cast<uint64_t>(y) * rowBytes;
        uint8_t* out = canvas.Row(y);
        for (int64_t x = 0; x < h.width; ++x, out += 3) {
            switch (h.depth) {
            case 1: case 4: case 8: {
                const int64_t bit = x * h.depth;
                const uint32_t index = (in[bit / 8] >> (8 - h.depth - bit % 8)) & ((1u << h.depth) - 1);
                std::memcpy(out, palette[index].data(), 3);
                break;
            }
            case 24:
                std::memcpy(out, in + x * 3, 3);
                break;
            default: {
                const uint32_t v = h.depth == 16 ? Le16(in + x * 2) : Le32(in + x * 4);
                out[0] = blue(v);
                out[1] = green(v);
                out[2] = red(v);
            }
            }
        }
    }
}

} // namespace

bool ReadBmp(const uint8_t* bytes, size_t size, TDecoded& out) {
    out = TDecoded();
    THeader h;
    if (!bytes || size < 2 || bytes[0] != 'B' || bytes[1] != 'M' || !ReadHeader(bytes, size, h)) return false;

    // Indices past the stored palette are black.
    TPalette palette{};
    if (h.paletteAt + uint64_t{h.paletteCount} * h.paletteEntryBytes > size) return false;
    for (uint32_t i = 0; i < h.paletteCount; ++i)
        std::memcpy(palette[i].data(), bytes + h.paletteAt + i * h.paletteEntryBytes, 3);

    const uint64_t pixelCount = static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height);
    const size_t dataSize = size - h.dataAt;
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    const uint64_t rowBytes = (static_cast<uint64_t>(h.width) * h.depth + 31) / 32 * 4;
    if (rle) {
        // Runs, skips and an early end let a few bytes cover many pixels, but
        // not without bound.
        if (pixelCount > uint64_t{dataSize} * kMaxPixelsPerByte) return false;
    } else if (rowBytes * static_cast<uint64_t>(h.height) > dataSize) {
        return false;
    }

    TPixels pixels(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(pixelCount), 3)));
    if (!pixels) return false;
    if (rle) DecodeRle(h, bytes + h.dataAt, dataSize, palette, pixels.get());
    else DecodeRows(h, bytes + h.dataAt, rowBytes, palette, pixels.get());
    out.width = static_cast<int32_t>(h.width);
    out.height = static_cast<int32_t>(h.height);
    out.bpp = 24;
    out.pixels = std::move(pixels);
    return true;
}

} // namespace qx::image
