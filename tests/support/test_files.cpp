// Picture and sound files made in memory: see test_files.h.
#include "tests/support/test_files.h"

#include <gif_lib.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>

namespace test_files {

void PutLe16(Bytes& bytes, size_t at, uint32_t v) {
    bytes[at] = static_cast<uint8_t>(v);
    bytes[at + 1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(Bytes& bytes, size_t at, uint32_t v) {
    PutLe16(bytes, at, v & 0xFFFF);
    PutLe16(bytes, at + 2, v >> 16);
}

void AppendLe16(Bytes& bytes, uint32_t v) {
    bytes.push_back(static_cast<uint8_t>(v));
    bytes.push_back(static_cast<uint8_t>(v >> 8));
}

void AppendLe32(Bytes& bytes, uint32_t v) {
    AppendLe16(bytes, v & 0xFFFF);
    AppendLe16(bytes, v >> 16);
}

void AppendText(Bytes& bytes, const std::string& text) { bytes.insert(bytes.end(), text.begin(), text.end()); }

std::string WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

// ---- TGA ----

Bytes TgaBytes(uint8_t type, uint8_t depth, uint16_t width, uint16_t height, uint8_t descriptor, const Bytes& pixels,
               const Bytes& palette, uint8_t paletteEntryBits, const Bytes& id) {
    Bytes b(18, 0);
    // Room for everything first: GCC 12 misreads appending to a vector just
    // grown from a fixed size as an overrun.
    b.reserve(b.size() + id.size() + palette.size() + pixels.size());
    b[0] = static_cast<uint8_t>(id.size());
    b[1] = palette.empty() ? 0 : 1;
    b[2] = type;
    PutLe16(b, 5, static_cast<uint32_t>(palette.size() / (paletteEntryBits / 8)));
    b[7] = palette.empty() ? 0 : paletteEntryBits;
    PutLe16(b, 12, width);
    PutLe16(b, 14, height);
    b[16] = depth;
    b[17] = descriptor;
    b.insert(b.end(), id.begin(), id.end());
    b.insert(b.end(), palette.begin(), palette.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// ---- BMP ----

namespace {

void PutBmpInfoHeader(Bytes& b, const TBmp& bmp) {
    PutLe32(b, 18, static_cast<uint32_t>(bmp.width));
    PutLe32(b, 22, static_cast<uint32_t>(bmp.height));
    PutLe16(b, 26, 1);
    PutLe16(b, 28, bmp.depth);
    PutLe32(b, 30, bmp.compression);
    PutLe32(b, 34, static_cast<uint32_t>(bmp.data.size()));
    PutLe32(b, 38, bmp.pixelsPerMetre);
    PutLe32(b, 42, bmp.pixelsPerMetre);
    PutLe32(b, 46, bmp.paletteCount);
    for (size_t i = 0; i < bmp.masks.size() && 54 + 4 * i + 4 <= b.size(); ++i) PutLe32(b, 54 + 4 * i, bmp.masks[i]);
    if (bmp.headerSize >= 108) PutLe32(b, 70, bmp.colourSpace);
}

} // namespace

Bytes BmpBytes(const TBmp& bmp) {
    Bytes b(14 + bmp.headerSize, 0);
    const bool core = bmp.headerSize == 12;
    b[0] = 'B';
    b[1] = 'M';
    PutLe32(b, 14, bmp.headerSize);
    if (core) {
        PutLe16(b, 18, static_cast<uint32_t>(bmp.width));
        PutLe16(b, 20, static_cast<uint32_t>(bmp.height));
        PutLe16(b, 22, 1);
        PutLe16(b, 24, bmp.depth);
    } else {
        PutBmpInfoHeader(b, bmp);
    }
    if (bmp.headerSize == 40)
        for (uint32_t mask : bmp.masks) AppendLe32(b, mask);
    for (size_t i = 0; i + 3 <= bmp.palette.size(); i += 3) {
        b.insert(b.end(), bmp.palette.begin() + static_cast<long>(i), bmp.palette.begin() + static_cast<long>(i) + 3);
        if (!core) b.push_back(0);
    }
    PutLe32(b, 10, static_cast<uint32_t>(b.size()));
    b.reserve(b.size() + bmp.data.size()); // as in TgaBytes
    b.insert(b.end(), bmp.data.begin(), bmp.data.end());
    PutLe32(b, 2, static_cast<uint32_t>(b.size()));
    return b;
}

// ---- GIF ----

std::vector<int> GifRowOrder(int height, bool interlaced) {
    std::vector<int> order;
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < (interlaced ? 4 : 1); ++pass)
        for (int y = interlaced ? kStart[pass] : 0; y < height; y += interlaced ? kStep[pass] : 1) order.push_back(y);
    return order;
}

namespace {

// The frame's indices in the order the stream stores them.
Bytes StoredIndices(const TGifFrame& frame) {
    Bytes stored;
    for (const int y : GifRowOrder(frame.height, frame.interlaced))
        stored.insert(stored.end(), frame.indices.begin() + static_cast<long>(y) * frame.width,
                      frame.indices.begin() + static_cast<long>(y + 1) * frame.width);
    return stored;
}

// Literal 3-bit codes for a four-colour palette: clear (4), end (5); after a
// clear, two literals fit before the code size would grow.
Bytes LiteralCodes(const Bytes& indices) {
    Bytes codes;
    uint32_t bits = 0;
    int count = 0;
    const auto emit = [&](uint32_t code) {
        bits |= code << count;
        count += 3;
        while (count >= 8) {
            codes.push_back(static_cast<uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
    };
    int sinceClear = 0;
    emit(4);
    for (const uint8_t index : indices) {
        if (sinceClear == 2) {
            emit(4);
            sinceClear = 0;
        }
        emit(index);
        ++sinceClear;
    }
    emit(5);
    if (count > 0) codes.push_back(static_cast<uint8_t>(bits));
    return codes;
}

// Data sub-blocks of at most 255 bytes and the terminator.
void AppendSubBlocks(Bytes& b, const Bytes& data) {
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t n = std::min<size_t>(255, data.size() - at);
        b.push_back(static_cast<uint8_t>(n));
        b.insert(b.end(), data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
    }
    b.push_back(0);
}

void AppendLiteralFrame(Bytes& b, const TGif& gif, const TGifFrame& frame) {
    b.push_back(0x2C);
    AppendLe16(b, static_cast<uint32_t>(frame.left));
    AppendLe16(b, static_cast<uint32_t>(frame.top));
    AppendLe16(b, static_cast<uint32_t>(frame.width));
    AppendLe16(b, static_cast<uint32_t>(frame.height));
    b.push_back(static_cast<uint8_t>((frame.localPalette ? 0x81 : 0) | (frame.interlaced ? 0x40 : 0)));
    if (frame.localPalette) b.insert(b.end(), gif.palette.begin(), gif.palette.end());
    b.push_back(2); // the minimum code size of four colours
    AppendSubBlocks(b, LiteralCodes(StoredIndices(frame)));
}

} // namespace

Bytes GifLiteralBytes(const TGif& gif) {
    const bool globalPalette = gif.frames.empty() || !gif.frames.front().localPalette;
    Bytes b;
    AppendText(b, "GIF89a");
    AppendLe16(b, static_cast<uint32_t>(gif.width));
    AppendLe16(b, static_cast<uint32_t>(gif.height));
    b.push_back(globalPalette ? 0xF1 : 0x00); // a global table of 4 entries
    b.push_back(static_cast<uint8_t>(gif.background));
    b.push_back(0);
    if (globalPalette) b.insert(b.end(), gif.palette.begin(), gif.palette.end());
    if (gif.transparent >= 0) {
        const Bytes control{0x21, 0xF9, 4, 1, 0, 0, static_cast<uint8_t>(gif.transparent), 0};
        b.insert(b.end(), control.begin(), control.end());
    }
    for (const TGifFrame& frame : gif.frames) AppendLiteralFrame(b, gif, frame);
    b.push_back(0x3B);
    return b;
}

Bytes GifEncodedBytes(const TGif& gif) {
    struct TSink {
        Bytes bytes;
    } sink;
    auto write = [](GifFileType* file, const GifByteType* data, int n) {
        auto* out = static_cast<TSink*>(file->UserData);
        out->bytes.insert(out->bytes.end(), data, data + n);
        return n;
    };
    int error = 0;
    GifFileType* file = EGifOpen(&sink, write, &error);
    std::vector<GifColorType> colours;
    for (size_t i = 0; i + 3 <= gif.palette.size(); i += 3)
        colours.push_back({gif.palette[i], gif.palette[i + 1], gif.palette[i + 2]});
    ColorMapObject* map = GifMakeMapObject(static_cast<int>(colours.size()), colours.data());
    EGifSetGifVersion(file, true);
    EGifPutScreenDesc(file, gif.width, gif.height, map->BitsPerPixel, gif.background, map);
    if (gif.transparent >= 0) {
        GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, gif.transparent};
        GifByteType block[4];
        EGifGCBToExtension(&control, block);
        EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, 4, block);
    }
    for (const TGifFrame& frame : gif.frames) {
        EGifPutImageDesc(file, frame.left, frame.top, frame.width, frame.height, frame.interlaced, nullptr);
        for (const int y : GifRowOrder(frame.height, frame.interlaced)) {
            Bytes row(frame.indices.begin() + static_cast<long>(y) * frame.width,
                      frame.indices.begin() + static_cast<long>(y + 1) * frame.width);
            EGifPutLine(file, row.data(), frame.width);
        }
    }
    EGifCloseFile(file, &error);
    GifFreeMapObject(map);
    return sink.bytes;
}

// ---- WAV ----

namespace {

Bytes WavFormat(uint16_t channels, uint32_t rate, uint16_t bits, const TWavOptions& options) {
    const uint16_t block = static_cast<uint16_t>(channels * bits / 8);
    Bytes fmt;
    AppendLe16(fmt, options.extensible ? 0xFFFE : options.tag);
    AppendLe16(fmt, channels);
    AppendLe32(fmt, rate);
    AppendLe32(fmt, rate * block);
    AppendLe16(fmt, block);
    AppendLe16(fmt, bits);
    if (options.extensible) {
        AppendLe16(fmt, 22);
        AppendLe16(fmt, bits);
        AppendLe32(fmt, channels == 2 ? 3 : 4); // front left and right, or front centre
        AppendLe16(fmt, options.tag);
        const uint8_t guid[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        fmt.insert(fmt.end(), guid, guid + 14);
    }
    return fmt;
}

} // namespace

Bytes WavBytes(uint16_t channels, uint32_t rate, uint16_t bits, const Bytes& data, const TWavOptions& options) {
    const Bytes fmt = WavFormat(channels, rate, bits, options);
    Bytes b;
    b.reserve(64 + fmt.size() + data.size());
    AppendText(b, "RIFF");
    AppendLe32(b, 0); // the size, once known
    AppendText(b, "WAVE");
    if (options.listChunk) {
        AppendText(b, "LIST");
        AppendLe32(b, 5);
        AppendText(b, "INFOx");
        b.push_back(0); // pad byte of an odd chunk
    }
    AppendText(b, "fmt ");
    AppendLe32(b, static_cast<uint32_t>(fmt.size()));
    b.insert(b.end(), fmt.begin(), fmt.end());
    AppendText(b, "data");
    AppendLe32(b, static_cast<uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    PutLe32(b, 4, static_cast<uint32_t>(b.size() - 8));
    return b;
}

// ---- Ogg Vorbis ----

namespace {

// The encoder's state from start to end, released in reverse order.
class TVorbisEncoder {
public:
    TVorbisEncoder(int channels, long rate, float quality) : channels(channels) {
        vorbis_info_init(&info);
        ready = vorbis_encode_init_vbr(&info, channels, rate, quality) == 0;
        vorbis_comment_init(&comment);
        if (!ready) return;
        vorbis_analysis_init(&dsp, &info);
        vorbis_block_init(&dsp, &block);
        ogg_stream_init(&stream, 1);
    }
    ~TVorbisEncoder() {
        if (ready) {
            ogg_stream_clear(&stream);
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
    TVorbisEncoder(const TVorbisEncoder&) = delete;
    TVorbisEncoder& operator=(const TVorbisEncoder&) = delete;

    bool Ready() const { return ready; }

    // The three header packets, flushed to pages of their own.
    void Headers() {
        ogg_packet header, commentPacket, codebooks;
        vorbis_analysis_headerout(&dsp, &comment, &header, &commentPacket, &codebooks);
        ogg_stream_packetin(&stream, &header);
        ogg_stream_packetin(&stream, &commentPacket);
        ogg_stream_packetin(&stream, &codebooks);
        Pages(true);
    }

    // Hands frames [first, first + count) to the analysis (count 0: the end of the stream).
    void Write(long first, long count, const std::function<float(long, int)>& sample) {
        if (count > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(count));
            for (long i = 0; i < count; ++i)
                for (int c = 0; c < channels; ++c) buffer[c][i] = sample(first + i, c);
        }
        vorbis_analysis_wrote(&dsp, static_cast<int>(count));
    }

    // Encodes the blocks the analysis has ready and pages them out.
    void Encode() {
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                Pages(false);
            }
        }
    }

    // Appends the complete pages, or with all every page including a partial one.
    void Pages(bool all) {
        ogg_page page;
        while (all ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page)) {
            out.insert(out.end(), page.header, page.header + page.header_len);
            out.insert(out.end(), page.body, page.body + page.body_len);
        }
    }

    Bytes out;

private:
    int channels;
    bool ready = false;
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state stream;
};

} // namespace

Bytes OggBytes(int channels, long rate, float quality, long frames, const std::function<float(long, int)>& sample,
               long chunkFrames) {
    TVorbisEncoder encoder(channels, rate, quality);
    if (!encoder.Ready()) return {};
    encoder.Headers();
    if (chunkFrames <= 0) {
        encoder.Write(0, frames, sample);
        encoder.Write(frames, 0, sample);
        encoder.Encode();
    } else {
        for (long done = 0; done <= frames;) {
            const long count = std::min(chunkFrames, frames - done);
            encoder.Write(done, count, sample);
            done += count == 0 ? 1 : count;
            encoder.Encode();
        }
    }
    encoder.Pages(true);
    return std::move(encoder.out);
}

} // namespace test_files
