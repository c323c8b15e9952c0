// Image decoders: the engine's own TGA reader, and pictures told apart by their
// first bytes: BMP by our own reader (image_bmp.cpp), JPEG through libjpeg-turbo
// and GIF through giflib, both libraries hardened for untrusted files. All hand
// back pixels in blue-green-red order, top row first, because that is what the
// texture manager uploads with GL_BGR(A).
#include "engine/image_internal.h"

#include <gif_lib.h>

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "engine/bytes_internal.h"
#include "engine/engine.h"
#include "engine/files.h"

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

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

} // namespace

bool ReadTga(TStream& stream, TDecoded& out) {
    out = TDecoded();
    if (!stream.Valid()) return false;
    // The picture may sit inside a larger stream: every offset below counts
    // from where its header starts.
    const int64_t origin = stream.Position();
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

    const int64_t dataStart = origin + 18 + idLength;
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

namespace {

// ---- JPEG through libjpeg-turbo -------------------------------------------

// libjpeg reports a fatal error by calling error_exit, which must not return:
// it jumps back to DecodeJpeg with the library's reason kept for the log.
struct TJpegErrors {
    jpeg_error_mgr manager;
    jmp_buf jump;
    char reason[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegFail(j_common_ptr info) {
    auto* errors = reinterpret_cast<TJpegErrors*>(info->err);
    info->err->format_message(info, errors->reason);
    std::longjmp(errors->jump, 1);
}

// Corrupt-data warnings are not fatal: the library fills what it cannot decode.
void JpegQuiet(j_common_ptr, int) {}

// A progressive file may hold thousands of tiny scans that each cost a pass
// over the whole picture; no real encoder writes more than a few dozen.
constexpr int kMaxJpegScans = 500;
// Working memory the library may take (the whole-picture coefficient buffers
// of a progressive file); past it the file is refused, as there is no disk
// backing store.
constexpr long kMaxJpegWorkMemory = 256L * 1024 * 1024;

void JpegProgress(j_common_ptr info) {
    auto* decoder = reinterpret_cast<j_decompress_ptr>(info);
    if (decoder->input_scan_number > kMaxJpegScans) {
        auto* errors = reinterpret_cast<TJpegErrors*>(info->err);
        std::snprintf(errors->reason, sizeof errors->reason, "more than %d scans", kMaxJpegScans);
        std::longjmp(errors->jump, 1);
    }
}

bool PixelsFit(int64_t width, int64_t height, size_t fileSize) {
    if (width <= 0 || height <= 0) return false;
    const int64_t pixels = width * height;
    return pixels <= kMaxPixels && pixels <= static_cast<int64_t>(fileSize) * kMaxPixelsPerByte;
}

void SayRefused(const char* format, const char* reason) {
    if (log) log->Print(std::string("Texture : ") + format + ": " + reason);
}

// Nothing with a destructor lives in this function: the library's error exit
// jumps back into it. The picture buffer is a raw pointer freed on both paths.
bool DecodeJpeg(const uint8_t* bytes, size_t size, TDecoded& out) {
    jpeg_decompress_struct info;
    TJpegErrors errors;
    jpeg_progress_mgr progress;
    uint8_t* volatile pixels = nullptr;
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = JpegFail;
    errors.manager.emit_message = JpegQuiet;
    errors.reason[0] = '\0';
    if (setjmp(errors.jump)) {
        SayRefused("JPEG", errors.reason);
        jpeg_destroy_decompress(&info);
        std::free(pixels);
        return false;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = kMaxJpegWorkMemory;
    progress.progress_monitor = JpegProgress;
    info.progress = &progress;
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    if (!PixelsFit(info.image_width, info.image_height, size)) {
        std::snprintf(errors.reason, sizeof errors.reason, "%ux%u is beyond the pixel budget",
                      static_cast<unsigned>(info.image_width), static_cast<unsigned>(info.image_height));
        std::longjmp(errors.jump, 1);
    }
    // CMYK has no conversion in the library; it is done per row below.
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    const size_t width = info.output_width;
    const size_t height = info.output_height;
    pixels = static_cast<uint8_t*>(std::malloc(width * height * 3));
    if (!pixels) {
        std::snprintf(errors.reason, sizeof errors.reason, "out of memory");
        std::longjmp(errors.jump, 1);
    }
    JSAMPARRAY cmykRow =
        cmyk ? (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                         static_cast<JDIMENSION>(width * 4), 1)
             : nullptr;
    while (info.output_scanline < info.output_height) {
        uint8_t* row = pixels + static_cast<size_t>(info.output_scanline) * width * 3;
        if (!cmyk) {
            JSAMPROW rows[1] = {row};
            jpeg_read_scanlines(&info, rows, 1);
            continue;
        }
        if (jpeg_read_scanlines(&info, cmykRow, 1) == 0) break;
        // Adobe writes CMYK inverted (0 = full ink), which is what these files
        // carry in practice: each channel times K gives the light left.
        const uint8_t* ink = cmykRow[0];
        for (size_t x = 0; x < width; ++x, ink += 4) {
            const unsigned k = ink[3];
            row[x * 3 + 0] = static_cast<uint8_t>((ink[2] * k + 127) / 255);
            row[x * 3 + 1] = static_cast<uint8_t>((ink[1] * k + 127) / 255);
            row[x * 3 + 2] = static_cast<uint8_t>((ink[0] * k + 127) / 255);
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    out.width = static_cast<int32_t>(width);
    out.height = static_cast<int32_t>(height);
    out.bpp = 24;
    out.pixels.reset(pixels);
    return true;
}

// ---- GIF through giflib --------------------------------------------------------

struct TGifSource {
    const uint8_t* bytes;
    size_t size;
    size_t position;
};

int GifRead(GifFileType* gif, GifByteType* into, int count) {
    auto* source = static_cast<TGifSource*>(gif->UserData);
    if (count <= 0) return 0;
    const size_t n = std::min(static_cast<size_t>(count), source->size - source->position);
    std::memcpy(into, source->bytes + source->position, n);
    source->position += n;
    return static_cast<int>(n);
}

struct TCloseGif {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

bool GifFailed(GifFileType* gif) {
    SayRefused("GIF", GifErrorString(gif->Error) ? GifErrorString(gif->Error) : "unreadable");
    return false;
}

void PutColour(uint8_t* pixel, const ColorMapObject* map, int index) {
    if (map && index >= 0 && index < map->ColorCount) {
        pixel[0] = map->Colors[index].Blue;
        pixel[1] = map->Colors[index].Green;
        pixel[2] = map->Colors[index].Red;
    } else {
        pixel[0] = pixel[1] = pixel[2] = 0;
    }
}

// The first frame on the logical screen. Records are read one at a time rather
// than slurped, so later frames are never allocated at all.
bool DecodeGif(const uint8_t* bytes, size_t size, TDecoded& out) {
    TGifSource source{bytes, size, 0};
    int error = 0;
    std::unique_ptr<GifFileType, TCloseGif> gif(DGifOpen(&source, GifRead, &error));
    if (!gif) {
        SayRefused("GIF", GifErrorString(error) ? GifErrorString(error) : "unreadable");
        return false;
    }
    const int64_t width = gif->SWidth;
    const int64_t height = gif->SHeight;
    if (!PixelsFit(width, height, size)) {
        SayRefused("GIF", "screen size beyond the pixel budget");
        return false;
    }
    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &record) == GIF_ERROR) return GifFailed(gif.get());
        if (record == TERMINATE_RECORD_TYPE) {
            SayRefused("GIF", "no image");
            return false;
        }
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return GifFailed(gif.get());
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
                GraphicsControlBlock control;
                if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
                    transparent = control.TransparentColor;
            }
            while (block) {
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return GifFailed(gif.get());
            }
            continue;
        }
        if (record != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return GifFailed(gif.get());
        break;
    }

    const GifImageDesc& frame = gif->Image;
    if (frame.Left < 0 || frame.Top < 0 || frame.Width <= 0 || frame.Height <= 0 ||
        int64_t{frame.Left} + frame.Width > width || int64_t{frame.Top} + frame.Height > height) {
        SayRefused("GIF", "frame outside the screen");
        return false;
    }
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    if (!map) {
        SayRefused("GIF", "no colour table");
        return false;
    }

    const size_t rowBytes = static_cast<size_t>(width) * 3;
    TPixels pixels(static_cast<uint8_t*>(std::malloc(rowBytes * static_cast<size_t>(height))));
    std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
    if (!pixels) return false;
    uint8_t background[3];
    PutColour(background, gif->SColorMap, gif->SBackGroundColor);
    for (size_t i = 0; i < static_cast<size_t>(width * height); ++i) std::memcpy(pixels.get() + i * 3, background, 3);

    // Interlaced rows arrive in four passes: every 8th from 0, every 8th from
    // 4, every 4th from 2, every 2nd from 1.
    static constexpr int kPassStart[] = {0, 4, 2, 1};
    static constexpr int kPassStep[] = {8, 8, 4, 2};
    const int passes = frame.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = frame.Interlace ? kPassStart[pass] : 0;
        const int step = frame.Interlace ? kPassStep[pass] : 1;
        for (int y = start; y < frame.Height; y += step) {
            if (DGifGetLine(gif.get(), line.data(), frame.Width) == GIF_ERROR) return GifFailed(gif.get());
            uint8_t* row = pixels.get() + static_cast<size_t>(frame.Top + y) * rowBytes + static_cast<size_t>(frame.Left) * 3;
            for (int x = 0; x < frame.Width; ++x, row += 3) {
                if (line[static_cast<size_t>(x)] == transparent) row[0] = row[1] = row[2] = 0;
                else PutColour(row, map, line[static_cast<size_t>(x)]);
            }
        }
    }
    out.width = static_cast<int32_t>(width);
    out.height = static_cast<int32_t>(height);
    out.bpp = 24;
    out.pixels = std::move(pixels);
    return true;
}

bool StartsWith(const uint8_t* bytes, size_t size, const char* signature) {
    const size_t length = std::strlen(signature);
    return size >= length && std::memcmp(bytes, signature, length) == 0;
}

} // namespace

bool LoadPictureMem(const void* memory, size_t size, TDecoded& out) {
    out = TDecoded();
    if (!memory || size == 0 || size > static_cast<size_t>(INT_MAX)) return false;
    const auto* bytes = static_cast<const uint8_t*>(memory);
    // Each library sees only its own format.
    if (StartsWith(bytes, size, "BM")) return ReadBmp(bytes, size, out);
    if (StartsWith(bytes, size, "\xFF\xD8\xFF")) return DecodeJpeg(bytes, size, out);
    if (StartsWith(bytes, size, "GIF87a") || StartsWith(bytes, size, "GIF89a")) return DecodeGif(bytes, size, out);
    return false;
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
