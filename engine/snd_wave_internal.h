// WAV files for the sound module: the header reader and the sample
// conversion, apart from the device so they can be fed any bytes. Internal to
// the sound module.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/files.h"

namespace qx {

// Larger data is refused before anything is allocated for it.
constexpr uint32_t kMaxDataBytes = 512u << 20;

// One loaded sample: PCM shared by its master and every channel duplicated from it.
struct TPcm {
    std::vector<int16_t> samples;
    uint32_t frames = 0;
    uint32_t channels = 1;
};

struct TWaveFormat {
    uint16_t tag = 0;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t blockAlign = 0;
    uint16_t bits = 0;
    uint32_t dataSize = 0;
};

// Invalid: not "RIFF" ... "WAVE", or fewer than 8 bits per sample, the two
// faults the sound module reports as an invalid wave format. Damaged: a chunk
// layout that cannot be walked (no format chunk before the data, a chunk cut
// off, no data chunk).
enum class TWaveResult { Ok, Invalid, Damaged };

// Walks the chunks up to "data": a canonical 44-byte header reads as its fixed
// offsets do, and chunks before the data (LIST, fact, ...) are skipped. Every
// size is checked against the bytes the stream holds: a data chunk that claims
// more than is there holds what is there. The block align is recomputed from
// the channels and the bits, whatever the file says. The stream is left at the data.
TWaveResult ReadWaveHeader(TStream& stream, TWaveFormat& format);
// The format is one the mixer plays: 1 or 2 channels of 8-, 16-, 24- or 32-bit PCM or 32-bit float.
bool Playable(const TWaveFormat& f);
// Reads the data into 16-bit PCM; false when the stream gives fewer bytes than the header promised.
bool ReadSamples(TStream& stream, const TWaveFormat& f, TPcm& pcm);

} // namespace qx
