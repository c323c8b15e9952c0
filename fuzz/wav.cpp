// The WAV reader over a memory image, taken the way the sound table loads a
// sample: the header walk, the format check, the size cap, then the samples.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/files.h"
#include "engine/snd_wave_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qx::TMemoryStream stream(data, size);
    qx::TWaveFormat format;
    if (qx::ReadWaveHeader(stream, format) != qx::TWaveResult::Ok) return 0;
    // A header that was accepted names data the stream holds.
    if (format.dataSize > static_cast<uint64_t>(stream.Size() - stream.Position())) std::abort();
    if (!qx::Playable(format) || format.dataSize > qx::kMaxDataBytes) return 0;
    if (format.dataSize < format.channels * (format.bits / 8u)) return 0;
    qx::TPcm pcm;
    if (!qx::ReadSamples(stream, format, pcm)) return 0;
    if (pcm.channels != format.channels || pcm.samples.size() != size_t{pcm.frames} * pcm.channels) std::abort();
    return 0;
}
