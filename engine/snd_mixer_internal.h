// The sound module's software mixer: a fixed set of voices, each a buffer of
// 16-bit PCM with its own rate, volume (hundredths of a decibel, -10000..0),
// pan (-10000..10000) and play cursor, mixed into 16-bit stereo at the device
// rate. Internal to the sound module (and its benchmark).
//
// Threads: the main thread (and the music filler) set voices up and change
// them; the audio thread calls Mix. Both go through one mutex that the control
// side holds only for a few field copies, never across an allocation, a
// decoder call or file access, so the audio thread never waits long. The PCM a
// voice plays is owned by the caller and must outlive its Attach: Detach (or
// the mixer's destruction) is the point after which the audio thread no longer
// reads it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace qx {

class TMixer {
public:
    static constexpr int kVoices = 65; // the 64 slots of the sound table and the music stream
    static constexpr int32_t kSilence = -10000;

    // A volume setting as a share of full (1 full, 0.5 the slider at half) in
    // the hundredths of a decibel SetVolume takes; kSilence at or below zero.
    static int32_t HundredthsDb(double share);

    explicit TMixer(uint32_t deviceRate);

    // Makes the voice play `frames` frames of interleaved 16-bit PCM with 1 or
    // 2 channels at `rate` Hz; stopped, cursor 0, full volume, centred.
    void Attach(int voice, const int16_t* pcm, uint32_t frames, uint32_t channels, uint32_t rate);
    // The audio thread no longer reads the voice's PCM once this returns.
    void Detach(int voice);
    void Start(int voice, bool loop);
    void Stop(int voice);
    bool Playing(int voice) const;
    void SetRate(int voice, uint32_t rate);
    void SetVolume(int voice, int32_t hundredthsDb);
    void SetPan(int voice, int32_t pan);
    void SetCursor(int voice, uint32_t frame);
    uint32_t Cursor(int voice) const; // the frame the voice plays next

    // Adds every playing voice into `out` (interleaved stereo, `frames` frames),
    // saturating at the 16-bit limits. Allocates nothing.
    void Mix(int16_t* out, size_t frames);

    // Runs f under the lock the audio thread mixes under (for writing a
    // playing voice's PCM); f must be short and must not call back in.
    template <typename F>
    void Locked(F&& f) {
        std::lock_guard guard(lock_);
        f();
    }

    // The gain for a level in hundredths of a decibel (0 is unity, -10000 silence).
    static float Gain(int32_t hundredthsDb);

private:
    struct TVoice {
        const int16_t* pcm = nullptr;
        uint32_t frames = 0;
        uint32_t channels = 1;
        uint64_t step = 0;   // frames per output frame, 32.32 fixed point
        uint64_t cursor = 0; // 32.32 fixed point
        float gainLeft = 1.0f, gainRight = 1.0f;
        int32_t volume = 0, pan = 0;
        bool playing = false, loop = false;
    };
    static constexpr size_t kBlock = 256; // output frames mixed per pass

    bool Valid(int voice) const { return voice >= 0 && voice < kVoices; }
    void UpdateGains(TVoice& v);
    uint64_t StepFor(uint32_t rate) const;
    static void MixVoice(TVoice& v, float* accum, size_t frames);

    const uint32_t deviceRate_;
    mutable std::mutex lock_;
    std::array<TVoice, kVoices> voices_{};
    std::array<float, kBlock * 2> accum_{};
};

} // namespace qx
