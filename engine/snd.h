// Sound effects and music: a table of 64 slots holding WAV samples (masters)
// and the channels that play them, mixed in software onto the audio device;
// one music stream at a time, Ogg Vorbis decoded by the module itself, any
// other file through the media player.
//
// Words: a master is a slot holding a loaded sample; a channel is a slot that
// plays one (an idle master plays its own sample, a busy one is duplicated
// into a free slot that shares its samples). Sample ids and channel ids are
// both slot indices 0..63. Levels are in hundredths of a decibel; pan runs
// from -10000 (left) to 10000 (right). Every channel plays at the common
// Frequency, whatever rate its file declares.
//
// Without an audio device every operation does nothing, loads and Play give -1
// and the program runs silently. Only the main thread calls this module; the
// audio thread mixes and the music filler decodes behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qx {

class TSnd {
public:
    static constexpr int32_t kSlots = 64;

    TSnd(); // opens nothing: SndInit opens the device
    ~TSnd(); // stops the music and frees every sample (their "Unload #" lines), then closes the device
    TSnd(const TSnd&) = delete;
    TSnd& operator=(const TSnd&) = delete;

    // Loads a WAV file (a name already loaded only gains a reference); sample id or -1.
    int32_t LoadSample(const std::string& fileName, int32_t group);
    // Loads a WAV image from caller-owned memory under the given name; sample id or -1.
    int32_t LoadSampleMem(const std::string& name, const void* memory, size_t size, int32_t group);
    // Drops one reference; the last one unloads the sample. False for no sample.
    bool FreeSample(int32_t id);
    // Plays a sample at a position; the channel id, or -1.
    int32_t Play(int32_t id, bool loop, float x, float y, float z);
    // Stops one channel, or every channel with -1.
    void Stop(int32_t channel);
    // Marks every slot whose group shares a bit with mask (-1: every slot).
    void MarkGroup(int32_t mask);
    // Frees once every marked slot whose group matches mask.
    void PurgeGroup(int32_t mask);
    // Master volume 0..100, applied at once to every playing channel.
    void SetVolume(int32_t volume);
    // The frequency every channel plays at, in Hz.
    void SetFreq(uint32_t frequency);
    // Moves a channel; its pan and distance level follow at once.
    void SetPos(int32_t channel, float x, float y, float z);
    // Moves the listener.
    void SetListener(float x, float y, float z);
    // Turns the listener: front and up vectors.
    void SetOrient(float frontX, float frontY, float frontZ, float upX, float upY, float upZ);
    // Pan per unit of the sideways cosine.
    void SetPanFactor(float factor);
    // Level lost per unit of distance (1 = the whole level).
    void SetDistFactor(float factor);
    // Plays a music file: names ending in "ogg" (any case) stream here, others go to the media player.
    void PlayMusic(const std::string& fileName, bool loop);
    // Streams Ogg Vorbis music from caller-owned memory that outlives the music.
    void PlayMusicMem(const void* memory, size_t size, bool loop);
    // Stops and closes whatever music plays.
    void StopMusic();

    // ---- Engine-internal ----
    // Opens the audio device (the window calls this once it exists). The
    // search for it starts at the first FrameShown, or at once when a call
    // needs the device or SDL_AUDIODRIVER names the driver.
    void SndInit();
    // A frame is on screen (the engine calls this after each one).
    void FrameShown();
    // Per update step: follows the 3-D model, retires finished channels.
    void SndUpdate();
    // The media player's music finished: a looping one starts again.
    void MusicNotify();

    // Whether the device opened.
    bool Initialized() const;
    // The slot's playing flag (set by Play, cleared by SndUpdate once it stopped).
    bool Playing(int32_t slot) const;
    // Whether the slot holds sound data (a sample or a channel's duplicate).
    bool HasBuffer(int32_t slot) const;
    // Whether Ogg music is streaming; Ended: a non-looping stream reached its end.
    bool MusicStreaming() const;
    bool MusicEnded() const;

private:
    struct TState;
    std::unique_ptr<TState> state_;
};

} // namespace qx
