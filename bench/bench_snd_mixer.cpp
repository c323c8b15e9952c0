// The sound mixer's cost: 64 channels playing at once, resampled from 22.05
// kHz to the device's 44.1 kHz stereo, mixed one device buffer (1024 frames,
// 23 ms of sound) per iteration. The share of one core is the time per
// iteration over 23.2 ms.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "engine/snd_mixer_internal.h"

namespace {

void MixSixtyFourChannels(benchmark::State& state) {
    constexpr size_t kFrames = 1024;
    const uint32_t channels = static_cast<uint32_t>(state.range(0));
    std::vector<int16_t> pcm(22050 * channels);
    for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>(8000 * std::sin(i * 0.05));
    qx::TMixer mixer(44100);
    for (int voice = 0; voice < 64; ++voice) {
        mixer.Attach(voice, pcm.data(), 22050, channels, 22050 + voice * 10);
        mixer.SetVolume(voice, -voice * 20);
        mixer.SetPan(voice, voice * 100 - 3200);
        mixer.Start(voice, true);
    }
    std::vector<int16_t> out(kFrames * 2);
    for (auto _ : state) {
        std::fill(out.begin(), out.end(), 0);
        mixer.Mix(out.data(), kFrames);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kFrames * 64);
}
BENCHMARK(MixSixtyFourChannels)->Arg(1)->Arg(2)->ArgName("channels");

} // namespace

BENCHMARK_MAIN();
