// One Ogg Vorbis music stream: decoded from an engine stream into a 64 KiB
// ring of 16-bit PCM that the mixer plays in a loop, kept ahead of the play
// cursor by a filler thread that wakes every 100 ms. Internal to the sound
// module.
//
// Threads: the filler touches only this object's decoder, source stream, ring
// and write position. The main thread touches them in the constructor, Play,
// Stop, Volume and the destructor, always with the filler stopped (joined) or
// not yet started. The ring is written under the mixer's lock, so the audio
// thread never reads a half-written span.
#pragma once

#include <vorbis/vorbisfile.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/files.h"
#include "engine/snd_mixer_internal.h"

namespace qx {

class TOGG {
public:
    static constexpr uint32_t kRingBytes = 65536;
    static constexpr int kFillMs = 100;

    // Takes the stream. Ready when `available` (the sound module is up), the
    // stream is valid and holds Ogg Vorbis with one or two channels.
    TOGG(TMixer& mixer, int voice, std::unique_ptr<TStream> source, bool available);
    ~TOGG();
    TOGG(const TOGG&) = delete;
    TOGG& operator=(const TOGG&) = delete;

    // Starts from the beginning after a Stop; restarts when already playing.
    void Play(bool loop);
    // Stops the filler and the ring; the next Play starts from the beginning.
    void Stop();
    bool IsPlaying() const;
    // 0..100
    void Volume(int32_t volume);
    bool Ready() const { return ready_; }
    // A non-looping stream reached its end; silence plays from there.
    bool Ended() const { return ended_.load(std::memory_order_acquire); }
    // One refill pass: decodes into the span the play cursor has freed.
    void Fill();

private:
    void FillSpan(uint32_t from, uint32_t bytes);
    void Decode(uint8_t* out, uint32_t bytes);
    void Filler();
    void Rewind();

    TMixer& mixer_;
    const int voice_;
    std::unique_ptr<TStream> source_;
    OggVorbis_File decoder_{};
    bool open_ = false;
    bool ready_ = false;
    bool loop_ = false;
    bool stopped_ = false;
    std::atomic<bool> ended_{false};
    uint32_t blockAlign_ = 4;
    uint32_t writePos_ = 0;
    std::vector<int16_t> ring_;
    std::vector<uint8_t> scratch_;

    std::thread filler_;
    std::mutex wakeLock_;
    std::condition_variable wake_;
    bool quit_ = false;
};

} // namespace qx
