// Writes the seed inputs of the fuzz targets: valid inputs of every kind each
// reader takes, made here with the game's own writers (records, settings, form
// bodies, the server's top-list reply), pictures and sounds from the tests'
// file writers, and JPEG from stb's encoder. Usage: make_seeds <corpus folder>; files
// named seed-* are replaced, every other file (crash-*, edge-*) is left alone.
#include <stb/stb_image_write.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "game/replay.h"
#include "menus/records_file.h"
#include "menus/score_client.h"
#include "menus/settings_file.h"
#include "server/pages.h"
#include "tests/support/test_files.h"

namespace {

using test_files::Bytes;
std::filesystem::path root;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
    const std::filesystem::path folder = root / target;
    std::filesystem::create_directories(folder);
    std::ofstream out(folder / ("seed-" + name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
void Write(const std::string& target, const std::string& name, const std::string& text) {
    Write(target, name, Bytes(text.begin(), text.end()));
}

using test_files::AppendLe16;
using test_files::AppendLe32;
using test_files::AppendText;

// A small test picture: a colour ramp, so rows and channels differ.
uint8_t Channel(int x, int y, int c) { return static_cast<uint8_t>(x * 40 + y * 25 + c * 70); }

// ---- TGA ----
Bytes Tga(int type, int depth, int width, int height, uint8_t descriptor, int idLength, int paletteEntries) {
    Bytes id, palette, pixels;
    for (int i = 0; i < idLength; ++i) id.push_back(static_cast<uint8_t>('a' + i));
    for (int i = 0; i < paletteEntries * 3; ++i) palette.push_back(static_cast<uint8_t>(i * 11));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < depth / 8; ++c)
                pixels.push_back(type == 1 ? static_cast<uint8_t>((x + y) % paletteEntries) : Channel(x, y, c));
    return test_files::TgaBytes(static_cast<uint8_t>(type), static_cast<uint8_t>(depth), static_cast<uint16_t>(width),
                                static_cast<uint16_t>(height), descriptor, pixels, palette, 24, id);
}

void TgaSeeds() {
    Write("tga", "rgb24", Tga(2, 24, 3, 2, 0, 0, 0));
    Write("tga", "rgba32-top-down", Tga(2, 32, 3, 2, 32 | 8, 0, 0));
    Write("tga", "rgb24-mirrored-id", Tga(2, 24, 4, 3, 16, 5, 0));
    Write("tga", "rgb16", Tga(2, 16, 2, 2, 0, 0, 0));
    Write("tga", "grey8", Tga(3, 8, 5, 1, 0, 0, 0));
    Write("tga", "mapped8", Tga(1, 8, 3, 3, 0, 0, 4));
    Bytes cut = Tga(2, 24, 3, 2, 0, 0, 0);
    cut.resize(cut.size() - 1);
    Write("tga", "rgb24-cut", cut);
}

// ---- BMP ----
// headerSize 12 (OS/2), 40, 108 (V4) or 124 (V5); negative height is top-down.
Bytes Bmp(uint32_t headerSize, int depth, int width, int height, uint32_t compression, int paletteEntries,
          const Bytes& pixels) {
    test_files::TBmp bmp{.headerSize = headerSize, .width = width, .height = height,
                         .depth = static_cast<uint16_t>(depth), .compression = compression,
                         .paletteCount = static_cast<uint32_t>(paletteEntries), .data = pixels,
                         .pixelsPerMetre = 2835, .colourSpace = 0x73524742}; // sRGB
    const bool fields = compression == 3;
    const std::vector<uint32_t> masks = {depth == 16 ? 0xF800u : 0xFF0000u, depth == 16 ? 0x07E0u : 0xFF00u,
                                         depth == 16 ? 0x001Fu : 0xFFu, depth == 32 ? 0xFF000000u : 0u};
    if (headerSize == 40 && fields) bmp.masks.assign(masks.begin(), masks.begin() + 3);
    else if (headerSize > 40) bmp.masks = fields ? masks : std::vector<uint32_t>(4, 0);
    for (int i = 0; i < paletteEntries; ++i)
        bmp.palette.insert(bmp.palette.end(), {static_cast<uint8_t>(i * 60), static_cast<uint8_t>(255 - i * 30),
                                               static_cast<uint8_t>(i * 17)});
    return test_files::BmpBytes(bmp);
}

Bytes BmpRows(int depth, int width, int height) {
    Bytes rows;
    const size_t stride = (static_cast<size_t>(width) * depth + 31) / 32 * 4;
    for (int y = 0; y < height; ++y) {
        Bytes row;
        for (int x = 0; x < width; ++x) {
            if (depth >= 24) {
                for (int c = 0; c < depth / 8; ++c) row.push_back(Channel(x, y, c));
            } else if (depth == 16) {
                AppendLe16(row, static_cast<uint32_t>(Channel(x, y, 0) * 257));
            } else if (depth == 8) {
                row.push_back(static_cast<uint8_t>((x + y) % 4));
            }
        }
        if (depth == 4) for (int x = 0; x < width; x += 2) row.push_back(static_cast<uint8_t>(((x + y) % 4) << 4 | 1));
        if (depth == 1) for (int x = 0; x < width; x += 8) row.push_back(static_cast<uint8_t>(0xA5 >> (y % 2)));
        row.resize(stride, 0);
        rows.insert(rows.end(), row.begin(), row.end());
    }
    return rows;
}

void BmpSeeds() {
    Write("picture", "bmp24", Bmp(40, 24, 3, 2, 0, 0, BmpRows(24, 3, 2)));
    Write("picture", "bmp24-top-down", Bmp(40, 24, 3, -2, 0, 0, BmpRows(24, 3, 2)));
    Write("picture", "bmp32", Bmp(40, 32, 2, 2, 0, 0, BmpRows(32, 2, 2)));
    Write("picture", "bmp32-fields-v4", Bmp(108, 32, 2, 2, 3, 0, BmpRows(32, 2, 2)));
    Write("picture", "bmp32-fields-v5", Bmp(124, 32, 2, 3, 3, 0, BmpRows(32, 2, 3)));
    Write("picture", "bmp16-555", Bmp(40, 16, 3, 2, 0, 0, BmpRows(16, 3, 2)));
    Write("picture", "bmp16-565", Bmp(40, 16, 3, 2, 3, 0, BmpRows(16, 3, 2)));
    Write("picture", "bmp24-palette", Bmp(40, 24, 2, 2, 0, 4, BmpRows(24, 2, 2)));
    Write("picture", "bmp8", Bmp(40, 8, 5, 3, 0, 4, BmpRows(8, 5, 3)));
    Write("picture", "bmp4", Bmp(40, 4, 4, 2, 0, 4, BmpRows(4, 4, 2)));
    Write("picture", "bmp1", Bmp(40, 1, 9, 2, 0, 2, BmpRows(1, 9, 2)));
    Write("picture", "bmp-os2", Bmp(12, 24, 3, 2, 0, 0, BmpRows(24, 3, 2)));
    Write("picture", "bmp-os2-8", Bmp(12, 8, 3, 2, 0, 4, BmpRows(8, 3, 2)));
    // RLE8: a run, an absolute run, a delta, line ends and the end of the picture.
    const Bytes rle8{3, 1, 0, 3, 2, 0, 1, 0, 0, 0, 2, 0, 2, 0, 0, 0, 0, 1};
    Write("picture", "bmp-rle8", Bmp(40, 8, 4, 3, 1, 4, rle8));
    const Bytes rle4{4, 0x12, 0, 3, 0x30, 0x10, 0, 0, 2, 0x23, 0, 1};
    Write("picture", "bmp-rle4", Bmp(40, 4, 4, 2, 2, 4, rle4));
    const Bytes rle8Early{2, 1, 0, 2, 9, 9};
    Write("picture", "bmp-rle8-early-end", Bmp(40, 8, 4, 3, 1, 4, rle8Early));
}

void JpegSeeds() {
    for (const int components : {1, 3}) {
        for (const int quality : {10, 90}) {
            const int width = 17;
            const int height = 9;
            Bytes pixels;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    for (int c = 0; c < components; ++c) pixels.push_back(Channel(x, y, c));
            Bytes file;
            stbi_write_jpg_to_func(
                [](void* context, void* data, int size) {
                    auto* out = static_cast<Bytes*>(context);
                    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
                },
                &file, width, height, components, pixels.data(), quality);
            Write("picture", "jpeg-" + std::to_string(components) + "-q" + std::to_string(quality), file);
        }
    }
}

// A GIF of four colours and a transparent index, its indices a ramp in the
// order the stream stores them; a second frame continues the ramp by one.
Bytes Gif(int width, int height, bool interlaced, bool localPalette, bool twoFrames) {
    test_files::TGif gif{.width = width, .height = height, .transparent = 3};
    for (int i = 0; i < 4; ++i) {
        gif.palette.push_back(static_cast<uint8_t>(i * 80));
        gif.palette.push_back(static_cast<uint8_t>(200 - i * 40));
        gif.palette.push_back(static_cast<uint8_t>(i * 30));
    }
    const std::vector<int> rows = test_files::GifRowOrder(height, interlaced);
    for (int frame = 0; frame < (twoFrames ? 2 : 1); ++frame) {
        test_files::TGifFrame picture{.width = width, .height = height, .interlaced = interlaced,
                                      .localPalette = localPalette};
        picture.indices.resize(static_cast<size_t>(width) * height);
        for (int stored = 0; stored < height; ++stored)
            for (int x = 0; x < width; ++x)
                picture.indices[static_cast<size_t>(rows[stored]) * width + x] =
                    static_cast<uint8_t>((stored * width + x + frame) % 4);
        gif.frames.push_back(picture);
    }
    return test_files::GifLiteralBytes(gif);
}

void GifSeeds() {
    Write("picture", "gif", Gif(5, 3, false, false, false));
    Write("picture", "gif-interlaced", Gif(3, 9, true, false, false));
    Write("picture", "gif-local-palette-two-frames", Gif(4, 2, false, true, true));
}

// ---- WAV ----
Bytes Wav(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, int frames, bool extensible, bool listChunk) {
    Bytes data;
    for (int i = 0; i < frames * channels; ++i) {
        const double value = std::sin(i * 0.3) * 0.8;
        if (tag == 3) {
            float f = static_cast<float>(value);
            uint32_t u;
            std::memcpy(&u, &f, 4);
            AppendLe32(data, u);
        } else if (bits == 8) {
            data.push_back(static_cast<uint8_t>(128 + value * 127));
        } else {
            const auto v = static_cast<int32_t>(value * 2147483647.0);
            for (int byte = 4 - bits / 8; byte < 4; ++byte) data.push_back(static_cast<uint8_t>(v >> (8 * byte)));
        }
    }
    return test_files::WavBytes(channels, rate, bits, data,
                                {.tag = tag, .extensible = extensible, .listChunk = listChunk});
}

void WavSeeds() {
    Write("wav", "pcm8-mono", Wav(1, 1, 8000, 8, 40, false, false));
    Write("wav", "pcm16-stereo", Wav(1, 2, 44100, 16, 30, false, false));
    Write("wav", "pcm24-mono-list", Wav(1, 1, 22050, 24, 20, false, true));
    Write("wav", "pcm32-stereo", Wav(1, 2, 48000, 32, 10, false, false));
    Write("wav", "float32-mono", Wav(3, 1, 44100, 32, 20, false, false));
    Write("wav", "extensible16-stereo", Wav(1, 2, 44100, 16, 20, true, false));
    Bytes cut = Wav(1, 1, 8000, 16, 40, false, false);
    cut.resize(cut.size() - 7);
    Write("wav", "pcm16-cut", cut);
}

// ---- Ogg Vorbis ----
Bytes Vorbis(int channels, long rate, int frames) {
    return test_files::OggBytes(channels, rate, 0.1f, frames, [](long i, int c) {
        return static_cast<float>(0.5 * std::sin(static_cast<double>(i) * 0.05 * (c + 1)));
    });
}

void OggSeeds() {
    Write("ogg", "mono-8000", Vorbis(1, 8000, 1600));
    Write("ogg", "stereo-22050", Vorbis(2, 22050, 2000));
}

// ---- Game files and server text ----
void GameSeeds() {
    const auto image = [](const TSettings& s) {
        const auto bytes = EncodeSettings(s);
        return Bytes(bytes.begin(), bytes.end());
    };
    TSettings settings;
    settings.Profile = "^2Player";
    Write("settings", "profile", image(settings));
    settings.Profile = std::string(32, 'z');
    settings.ShowFPS = false;
    settings.ActiveMenu = false;
    Write("settings", "full-profile-flags-off", image(settings));
    Bytes oversized = image(settings);
    oversized[4] = 200;
    oversized.push_back(7);
    Write("settings", "length-above-capacity", oversized);
    Write("settings", "short", Bytes(43, 1));

    const auto recordsInput = [](const TRecordTable& table, size_t keep, const Bytes& adds) {
        const auto image = EncodeRecords(table);
        Bytes b;
        AppendLe16(b, static_cast<uint32_t>(keep));
        b.insert(b.end(), image.begin(), image.begin() + static_cast<long>(keep));
        b.insert(b.end(), adds.begin(), adds.end());
        return b;
    };
    Bytes adds;
    for (const int32_t score : {30, 7, 0, -5, 25}) {
        AppendLe32(adds, static_cast<uint32_t>(score));
        AppendLe32(adds, 3);
        AppendLe32(adds, 1234);
        const std::string name = score == 7 ? std::string(40, 'n') : "^1Name";
        adds.push_back(static_cast<uint8_t>(name.size()));
        AppendText(adds, name);
    }
    Write("records", "default-table", recordsInput(DefaultRecords(), kRecordsFileBytes, {}));
    Write("records", "default-table-adds", recordsInput(DefaultRecords(), kRecordsFileBytes, adds));
    Write("records", "cut-record-adds", recordsInput(DefaultRecords(), 100, adds));
    Bytes damaged = recordsInput(DefaultRecords(), kRecordsFileBytes, {});
    damaged[2 + 12] = 255; // a name length above 32
    damaged[2 + 48 + 3] = 0x80; // a negative score
    Write("records", "damaged", damaged);

    std::vector<scores::TResult> results;
    for (int i = 0; i < 3; ++i) {
        std::string name = "^";
        name += std::to_string(i) + "Name" + std::to_string(i);
        results.push_back({name, 100 - i, 5 + i, 12345 * i, "2026-12-09"});
    }
    const std::string reply = scores::TopReply(results);
    Write("top_list", "three-rows", std::string(1, 20) + reply);
    Write("top_list", "empty", std::string(1, 20) + scores::TopReply({}));
    Write("top_list", "count-above-rows", std::string(1, 20) + "<pre id=\"view_record\">\n2147483647\nA\n1\n");
    Write("top_list", "no-marker", std::string(1, 5) + "404 Not Found\n");

    std::vector<std::string> values;
    for (int i = 0; i < 3; ++i)
        for (const std::string& v : {std::string("^3Na me&=%") + char('a' + i), std::to_string(99 - i), std::string("4"),
                                     std::to_string(1000 * i)})
            values.push_back(v);
    const std::string saver = FormBody({"user", "score", "level", "time"}, values);
    Write("form", "saver", std::string(1, 0) + saver);
    Write("form", "top", std::string(1, 0) + FormBody({"count"}, {"20"}));
    Write("form", "small-limits", std::string(1, 3) + saver);
    Write("form", "bad-escape", std::string(1, 0) + "count=%2");

    // Request flags: method in bits 0-1 (GET, HEAD, POST, PUT), path in bits 2-3
    // (/, /top.php, /saver.php, other), a Content-Length in bit 4, limited sends in bit 5.
    const auto request = [](int verb, int path, const std::string& length, bool limited, const std::string& body) {
        std::string r(1, static_cast<char>(verb | path << 2 | (length.empty() ? 0 : 0x10) | (limited ? 0x20 : 0)));
        if (!length.empty()) r += static_cast<char>(length.size()) + length;
        return r + body;
    };
    Write("request", "send", request(2, 2, std::to_string(saver.size()), false, saver));
    Write("request", "send-limited", request(2, 2, "", true, saver));
    Write("request", "top", request(2, 1, "8", false, FormBody({"count"}, {"3"})));
    Write("request", "top-get", request(0, 1, "", false, ""));
    Write("request", "page", request(0, 0, "", false, ""));
    Write("request", "head-saver", request(1, 2, "", false, ""));
    Write("request", "not-found", request(0, 3, "", false, ""));
    Write("request", "length-too-large", request(2, 2, "99999999", false, ""));
    Write("request", "send-bad-row", request(2, 2, "", false, "user[]=a&score[]=-1&level[]=x&time[]=1"));

    Write("markup", "strip", std::string(1, 0) + "^1Red ^xFF8800orange^-next^X12345^");
    Write("markup", "find", std::string(1, 1) + std::string("\x02\0\0\0", 4) + "\x02" "ab" "xxabyyab");
    Write("markup", "find-negative-start", std::string(1, 1) + "\xff\xff\xff\xff" "\x01" "\n" "line\nline\n");
    Write("markup", "extract", std::string(1, 2) + std::string("\x01\0\0\0", 4) + "\x05<pre>" "\x06</pre>" +
                                   "head<pre>body</pre>tail");
    Write("markup", "extract-no-start", std::string(1, 2) + std::string("\x01\0\0\0", 4) + "\x00" "\x01\n" + "a\nb\n");

    std::string typed;
    for (const char c : std::string("Name_1 ^2\xC0\xFF")) typed += std::string(1, c) + '\0';
    typed += std::string("\b\0\b\0@\0\x7F\0a\x80", 10);
    Write("text_input", "typed", typed);
}

void EngineTextSeeds() {
    const std::string file = "[VP water]\r\nvoid main() { gl_Position = ftransform(); }\r\n"
                             "[FP water]\r\nvoid main() { gl_FragColor = vec4(1.0); }\r\n"
                             "[VP sky]\nvoid main() {}\n[FP]\nempty name\n[FP water\nunclosed header";
    Write("shader", "select-water", std::string(1, 5) + "water" + file);
    Write("shader", "select-water-refuse-second", std::string(1, char(0x80 | 5)) + "water" + file);
    Write("shader", "select-empty-name", std::string(1, 0) + file);
    Write("shader", "select-missing", std::string(1, 4) + "none" + file);

    // Pushes of several sizes (one past the byte budget), takes between them, and a flood past the count.
    Bytes commands{0, 3, 'a', 'b', 'c', 1, 0, 0, 1, 1, 1, 2, 100};
    commands.resize(commands.size() + 200, 'x');
    commands.push_back(1);
    for (int i = 0; i < 20; ++i) {
        commands.push_back(0);
        commands.push_back(1);
        commands.push_back(static_cast<uint8_t>(i));
    }
    for (int i = 0; i < 22; ++i) commands.push_back(1);
    Write("udp", "pushes-takes-flood", commands);
}

} // namespace

// Replays as the game records them: empty, a few clicks with steps of one to
// four LEB128 bytes, a pending row and a full board; and one in base64.
void ReplaySeeds() {
    const std::vector<TReplayClick> clicks = {{0, 1, 1}, {1, 10, 20}, {200, 5, 7}, {20000, 3, 2}, {840000, 2, 2}};
    const std::vector<TReplayClick> first(clicks.begin(), clicks.begin() + 3);
    Write("game_replay", "empty", EncodeReplay({7, 0, false, false}, {}));
    Write("game_replay", "clicks", EncodeReplay({0xFEDCBA9876543210ull, 4, true, false}, clicks));
    Write("game_replay", "full-board", EncodeReplay({1, 2, false, true}, first));
    Write("game_replay", "base64", Base64UrlEncode(EncodeReplay({99, 1, false, false}, clicks)));
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    root = argv[1];
    TgaSeeds();
    BmpSeeds();
    JpegSeeds();
    GifSeeds();
    WavSeeds();
    OggSeeds();
    GameSeeds();
    EngineTextSeeds();
    ReplaySeeds();
    return 0;
}
