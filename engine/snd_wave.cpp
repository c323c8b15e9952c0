// The WAV reader of the sound module: the chunk walk up to the data and the
// conversion of every accepted sample format to 16-bit PCM. It touches no
// device, so it can be exercised on its own.
#include "engine/snd_wave_internal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "engine/bytes_internal.h"

namespace qx {

namespace {

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatFloat = 3;
constexpr uint16_t kFormatExtensible = 0xFFFE;

int16_t Convert(const uint8_t* p, const TWaveFormat& f) {
    switch (f.bits) {
    case 8: return static_cast<int16_t>((p[0] - 128) * 256);
    case 16: return static_cast<int16_t>(Le16(p));
    case 24: return static_cast<int16_t>(Le16(p + 1));
    default: break;
    }
    if (f.tag == kFormatFloat) {
        float value;
        std::memcpy(&value, p, 4);
        if (!(value == value)) value = 0.0f; // NaN
        return static_cast<int16_t>(std::lrint(std::clamp(value, -1.0f, 1.0f) * 32767.0f));
    }
    return static_cast<int16_t>(Le16(p + 2));
}

} // namespace

TWaveResult ReadWaveHeader(TStream& stream, TWaveFormat& format) {
    uint8_t riff[12];
    if (stream.Read(riff, 12) != 12 || std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        return TWaveResult::Invalid;
    const int64_t size = stream.Size();
    bool haveFormat = false;
    for (int chunk = 0; chunk < 64; ++chunk) {
        uint8_t head[8];
        if (stream.Read(head, 8) != 8) return TWaveResult::Damaged;
        const uint32_t length = Le32(head + 4);
        const int64_t body = stream.Position();
        if (std::memcmp(head, "data", 4) == 0) {
            if (!haveFormat) return TWaveResult::Damaged;
            // A file cut short loads the samples it still holds.
            format.dataSize = static_cast<uint32_t>(std::min<int64_t>(length, size - body));
            return TWaveResult::Ok;
        }
        if (std::memcmp(head, "fmt ", 4) == 0) {
            if (length < 16 || length > size - body) return TWaveResult::Damaged;
            uint8_t fmt[40] = {};
            const size_t wanted = std::min<size_t>(length, sizeof fmt);
            if (stream.Read(fmt, wanted) != wanted) return TWaveResult::Damaged;
            format.tag = Le16(fmt);
            format.channels = Le16(fmt + 2);
            format.rate = Le32(fmt + 4);
            format.bits = Le16(fmt + 14);
            if (format.bits < 8) return TWaveResult::Invalid;
            // Taken from the channels and the bits, never from the file, whose field may be 0.
            format.blockAlign = static_cast<uint16_t>(format.channels * (format.bits / 8u));
            // The extensible layout names the real format in its sub-format's first word.
            if (format.tag == kFormatExtensible && length >= 40) format.tag = Le16(fmt + 24);
            haveFormat = true;
        }
        const int64_t next = body + length + (length & 1);
        if (next > size) return TWaveResult::Damaged;
        stream.Seek(next);
    }
    return TWaveResult::Damaged;
}

bool Playable(const TWaveFormat& f) {
    if (f.channels < 1 || f.channels > 2 || f.rate == 0 || f.blockAlign == 0) return false;
    if (f.tag == kFormatPcm) return f.bits == 8 || f.bits == 16 || f.bits == 24 || f.bits == 32;
    if (f.tag == kFormatFloat) return f.bits == 32;
    return false;
}

bool ReadSamples(TStream& stream, const TWaveFormat& f, TPcm& pcm) {
    const uint32_t bytesPerSample = f.bits / 8u;
    const uint32_t frameBytes = bytesPerSample * f.channels;
    pcm.channels = f.channels;
    pcm.frames = f.dataSize / frameBytes;
    pcm.samples.resize(size_t{pcm.frames} * f.channels);
    std::array<uint8_t, 4096> chunk{}; // a whole number of frames for every accepted format
    const uint32_t chunkFrames = static_cast<uint32_t>(chunk.size()) / frameBytes / 2 * 2;
    size_t out = 0;
    for (uint32_t frame = 0; frame < pcm.frames;) {
        const uint32_t count = std::min(chunkFrames, pcm.frames - frame);
        const size_t bytes = size_t{count} * frameBytes;
        if (stream.Read(chunk.data(), bytes) != bytes) return false;
        for (size_t at = 0; at < bytes; at += bytesPerSample) pcm.samples[out++] = Convert(chunk.data() + at, f);
        frame += count;
    }
    return true;
}

} // namespace qx
