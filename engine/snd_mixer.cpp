// The software mixer: linear interpolation between frames, a 32.32 fixed-point
// cursor per voice, accumulation in floats and one saturating store per
// output sample.
#include "engine/snd_mixer_internal.h"

#include <algorithm>
#include <cmath>

namespace qx {

namespace {

// The frequency range a buffer accepts; outside it the cursor arithmetic
// would leave 32.32 fixed point.
constexpr uint32_t kMinRate = 100;
constexpr uint32_t kMaxRate = 200000;
constexpr float kFraction = 1.0f / 4294967296.0f;

} // namespace

int32_t TMixer::HundredthsDb(double share) {
    // The volume curve: 3322 * log10(share) hundredths of a decibel, so the
    // amplitude goes as share^1.66, steeper than linear, and a slider at half
    // sounds about half as loud. Music and sounds share it.
    constexpr double kCurve = 3322.0;
    if (share <= 0) return kSilence;
    return static_cast<int32_t>(std::max(std::nearbyint(kCurve * std::log10(share)), double{kSilence}));
}

TMixer::TMixer(uint32_t deviceRate) : deviceRate_(deviceRate == 0 ? 44100 : deviceRate) {}

float TMixer::Gain(int32_t hundredthsDb) {
    if (hundredthsDb <= kSilence) return 0.0f;
    if (hundredthsDb >= 0) return 1.0f;
    return std::pow(10.0f, static_cast<float>(hundredthsDb) / 2000.0f);
}

uint64_t TMixer::StepFor(uint32_t rate) const {
    rate = std::clamp(rate, kMinRate, kMaxRate);
    return (uint64_t{rate} << 32) / deviceRate_;
}

void TMixer::UpdateGains(TVoice& v) {
    const float gain = Gain(v.volume);
    v.gainLeft = gain * (v.pan > 0 ? Gain(-v.pan) : 1.0f);
    v.gainRight = gain * (v.pan < 0 ? Gain(v.pan) : 1.0f);
}

void TMixer::Attach(int voice, const int16_t* pcm, uint32_t frames, uint32_t channels, uint32_t rate) {
    if (!Valid(voice)) return;
    TVoice fresh;
    fresh.pcm = frames > 0 ? pcm : nullptr;
    fresh.frames = fresh.pcm ? frames : 0;
    fresh.channels = channels == 2 ? 2 : 1;
    fresh.step = StepFor(rate);
    UpdateGains(fresh);
    std::lock_guard guard(lock_);
    voices_[voice] = fresh;
}

void TMixer::Detach(int voice) {
    if (!Valid(voice)) return;
    std::lock_guard guard(lock_);
    voices_[voice] = TVoice{};
}

void TMixer::Start(int voice, bool loop) {
    if (!Valid(voice)) return;
    std::lock_guard guard(lock_);
    TVoice& v = voices_[voice];
    if (!v.pcm) return;
    v.loop = loop;
    v.playing = true;
}

void TMixer::Stop(int voice) {
    if (!Valid(voice)) return;
    std::lock_guard guard(lock_);
    voices_[voice].playing = false;
}

bool TMixer::Playing(int voice) const {
    if (!Valid(voice)) return false;
    std::lock_guard guard(lock_);
    return voices_[voice].playing;
}

void TMixer::SetRate(int voice, uint32_t rate) {
    if (!Valid(voice)) return;
    const uint64_t step = StepFor(rate);
    std::lock_guard guard(lock_);
    voices_[voice].step = step;
}

void TMixer::SetVolume(int voice, int32_t hundredthsDb) {
    if (!Valid(voice)) return;
    std::lock_guard guard(lock_);
    TVoice& v = voices_[voice];
    v.volume = std::clamp(hundredthsDb, kSilence, 0);
    UpdateGains(v);
}

void TMixer::SetPan(int voice, int32_t pan) {
    if (!Valid(voice)) return;
    std::lock_guard guard(lock_);
    TVoice& v = voices_[voice];
    v.pan = std::clamp(pan, -10000, 10000);
    UpdateGains(v);
}

void TMixer::SetCursor(int voice, uint32_t frame) {
    if (!Valid(voice)) return;
    std::lock_guard guard(lock_);
    TVoice& v = voices_[voice];
    v.cursor = frame < v.frames ? uint64_t{frame} << 32 : 0;
}

uint32_t TMixer::Cursor(int voice) const {
    if (!Valid(voice)) return 0;
    std::lock_guard guard(lock_);
    return static_cast<uint32_t>(voices_[voice].cursor >> 32);
}

template <uint32_t Channels>
static void MixFrames(const int16_t* pcm, uint32_t frames, bool loop, bool& playing, uint64_t& cursorRef,
                      uint64_t step, float gainLeft, float gainRight, float* accum, size_t count) {
    const uint64_t end = uint64_t{frames} << 32;
    uint64_t cursor = cursorRef;
    for (size_t i = 0; i < count; ++i) {
        if (cursor >= end) {
            if (!loop) {
                playing = false;
                cursor = 0;
                break;
            }
            cursor %= end;
        }
        const uint32_t index = static_cast<uint32_t>(cursor >> 32);
        const float t = static_cast<float>(cursor & 0xFFFFFFFFu) * kFraction;
        uint32_t next = index + 1;
        if (next >= frames) next = loop ? 0 : index;
        if constexpr (Channels == 1) {
            const float a = pcm[index], b = pcm[next];
            const float s = a + (b - a) * t;
            accum[2 * i] += s * gainLeft;
            accum[2 * i + 1] += s * gainRight;
        } else {
            const float al = pcm[2 * index], bl = pcm[2 * next];
            const float ar = pcm[2 * index + 1], br = pcm[2 * next + 1];
            accum[2 * i] += (al + (bl - al) * t) * gainLeft;
            accum[2 * i + 1] += (ar + (br - ar) * t) * gainRight;
        }
        cursor += step;
    }
    cursorRef = cursor;
}

void TMixer::MixVoice(TVoice& v, float* accum, size_t frames) {
    if (v.channels == 2)
        MixFrames<2>(v.pcm, v.frames, v.loop, v.playing, v.cursor, v.step, v.gainLeft, v.gainRight, accum, frames);
    else
        MixFrames<1>(v.pcm, v.frames, v.loop, v.playing, v.cursor, v.step, v.gainLeft, v.gainRight, accum, frames);
}

void TMixer::Mix(int16_t* out, size_t frames) {
    std::lock_guard guard(lock_);
    while (frames > 0) {
        const size_t count = std::min(frames, kBlock);
        std::fill_n(accum_.begin(), count * 2, 0.0f);
        for (TVoice& v : voices_)
            if (v.playing && v.pcm) MixVoice(v, accum_.data(), count);
        for (size_t i = 0; i < count * 2; ++i) {
            const float sum = static_cast<float>(out[i]) + accum_[i];
            out[i] = static_cast<int16_t>(std::lrint(std::clamp(sum, -32768.0f, 32767.0f)));
        }
        out += count * 2;
        frames -= count;
    }
}

} // namespace qx
