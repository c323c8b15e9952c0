// The Ogg Vorbis music stream over a memory image: the decoder reads through
// the stream callbacks; the ring is refilled, without the filler thread, by
// moving the play cursor by hand, until the stream ends or enough is decoded.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "engine/files.h"
#include "engine/snd_mixer_internal.h"
#include "engine/snd_ogg_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qx::TMixer mixer(44100);
    constexpr int kVoice = 0;
    qx::TOGG ogg(mixer, kVoice, std::make_unique<qx::TMemoryStream>(data, size), true);
    if (!ogg.Ready()) return 0;
    // Each pass frees half the ring for the decoder; eight passes decode 256 KiB of PCM.
    constexpr uint32_t kHalfFrames = qx::TOGG::kRingBytes / 8;
    for (int pass = 0; pass < 8 && !ogg.Ended(); ++pass) {
        mixer.SetCursor(kVoice, pass % 2 == 0 ? kHalfFrames : 0);
        ogg.Fill();
    }
    return 0;
}
