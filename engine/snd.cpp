// The sound table on the software mixer. SDL_mixer owns the audio device for
// its music player; the mixer joins its output as the post-mix step, so
// samples, Ogg music and the player's music all reach one device.
#include "engine/snd.h"

#include <SDL_mixer.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/sdl_internal.h"
#include "engine/shared_library.h"
#include "engine/snd_mixer_internal.h"
#include "engine/snd_ogg_internal.h"
#include "engine/snd_wave_internal.h"

namespace qx {

namespace {

constexpr int kDeviceRate = 44100;
constexpr int kDeviceFrames = 1024;
constexpr int kMusicVoice = TSnd::kSlots; // the mixer voice of the Ogg stream
constexpr int32_t kReleaseMs = 3000;      // a finished channel keeps its duplicate this long

void SndLog(const std::string& message) {
    if (log) log->Print("Sound   : " + message);
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

int32_t NowMs() { return eng ? eng->GetTime() : TimeMs(); }

// The music finished notice arrives on the audio thread: it reaches the main
// thread as an event of the window's queue.
void OnMusicFinished() {
    SDL_Event event{};
    event.type = SdlMusicEvent();
    SDL_PushEvent(&event);
}

// SDL_mixer is opened when there is a device to play on, not linked: with the
// decoders and synthesisers it brings it cost a start a twentieth of its time
// before the first frame, on machines without sound too.
struct TMixLibrary {
    decltype(&Mix_OpenAudioDevice) OpenAudioDevice = nullptr;
    decltype(&Mix_CloseAudio) CloseAudio = nullptr;
    decltype(&Mix_AllocateChannels) AllocateChannels = nullptr;
    decltype(&Mix_SetPostMix) SetPostMix = nullptr;
    decltype(&Mix_LoadMUS) LoadMUS = nullptr;
    decltype(&Mix_FreeMusic) FreeMusic = nullptr;
    decltype(&Mix_PlayMusic) PlayMusic = nullptr;
    decltype(&Mix_HaltMusic) HaltMusic = nullptr;
    decltype(&Mix_HookMusicFinished) HookMusicFinished = nullptr;
    std::string error; // why it could not be opened; empty once open
};

constexpr const char* kMixLibrary = "libSDL2_mixer-2.0.so.0";

TMixLibrary OpenMixLibrary() {
    TMixLibrary mix;
    TSharedLibrary library(kMixLibrary);
    library.Find(mix.OpenAudioDevice, "Mix_OpenAudioDevice");
    library.Find(mix.CloseAudio, "Mix_CloseAudio");
    library.Find(mix.AllocateChannels, "Mix_AllocateChannels");
    library.Find(mix.SetPostMix, "Mix_SetPostMix");
    library.Find(mix.LoadMUS, "Mix_LoadMUS");
    library.Find(mix.FreeMusic, "Mix_FreeMusic");
    library.Find(mix.PlayMusic, "Mix_PlayMusic");
    library.Find(mix.HaltMusic, "Mix_HaltMusic");
    library.Find(mix.HookMusicFinished, "Mix_HookMusicFinished");
    mix.error = library.Error();
    return mix;
}

// Opened once, by the first probe that finds a device; afterwards read only.
const TMixLibrary& Mix() {
    static const TMixLibrary mix = OpenMixLibrary();
    return mix;
}

} // namespace

struct TSnd::TState {
    struct TSlot {
        std::shared_ptr<const TPcm> buffer;
        int32_t source = -1;
        bool master = false;
        bool playing = false;
        int32_t stopTime = 0;
        int32_t group = 0;
        bool marked = false;
        int32_t refs = 0;
        float position[3] = {0, 0, 0};
        std::string name;
    };

    bool initialized = false;
    bool audioStarted = false;
    // The device is probed on a thread of its own (looking for a device that
    // is not there can take a tenth of a second); the main thread finishes
    // the start when it next needs the sound module, or after an update step
    // once the probe is done. The probe touches nothing else of the state.
    // SDL's start-up is not made for two threads at once: the window starts
    // its subsystems (video, events, joystick) before SndInit, and nothing
    // starts or stops one while the probe runs.
    // The probe starts once the first frame is on screen (or at once when a
    // call needs the device): its loading and searching would otherwise
    // compete with the making of that frame for the processors.
    std::thread probe;
    std::atomic<bool> probeDone{false};
    bool probeDue = false; // SndInit asked for a device; the probe has not started
    bool deviceOpened = false;
    std::string mixError; // set by the probe when SDL_mixer could not be opened
    bool heldLog = false; // the log keeps the place of the start's lines
    int32_t volume = 100;
    uint32_t frequency = 22050;
    float panFactor = 0.1f;
    float distFactor = 0.005f;
    float listener[3] = {0, 0, 0};
    float front[3] = {0, 0, -1};
    float up[3] = {0, 1, 0};
    float right[3] = {1, 0, 0};
    std::array<TSlot, kSlots> slots;
    TMixer mixer{kDeviceRate};
    std::unique_ptr<TOGG> ogg;
    Mix_Music* music = nullptr;
    bool musicLoop = false;

    static void PostMix(void* self, Uint8* stream, int bytes) {
        if (bytes > 0) static_cast<TState*>(self)->mixer.Mix(reinterpret_cast<int16_t*>(stream), bytes / 4u);
    }

    void Release(int32_t i) {
        mixer.Detach(i);
        slots[i].buffer.reset();
    }

    int32_t FreeSlot() const {
        int32_t idle = -1;
        for (int32_t i = 0; i < kSlots; ++i) {
            const TSlot& s = slots[i];
            if (s.master || (s.playing && s.buffer)) continue;
            if (!s.buffer) return i;
            idle = i;
        }
        return idle;
    }

    void ChannelVolume(int32_t i, int32_t level) {
        level = std::clamp(level, 0, 100);
        const double share = level * volume / 10000.0;
        mixer.SetVolume(i, TMixer::HundredthsDb(share));
    }

    void Apply3D(int32_t i) {
        const float* p = slots[i].position;
        const double d[3] = {double{listener[0]} - p[0], double{listener[1]} - p[1], double{listener[2]} - p[2]};
        const double dist = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        const double cosine = dist > 0 ? (d[0] * right[0] + d[1] * right[1] + d[2] * right[2]) / dist : 0.0;
        const double pan = std::clamp(std::nearbyint(cosine * -10000.0 * panFactor), -10000.0, 10000.0);
        mixer.SetPan(i, static_cast<int32_t>(pan));
        const double level = std::clamp(std::nearbyint((1.0 - dist * distFactor) * 100.0), 0.0, 100.0);
        ChannelVolume(i, static_cast<int32_t>(level));
    }

    int32_t Load(const std::string& name, TStream* stream, int32_t group);
    void CloseDevice();
    // Starts the probe SndInit asked for, if it has not started.
    void StartProbe();
    // Finishes a probe: with wait, starts a due one and waits for it; without,
    // finishes one only when it is done.
    void Settle(bool wait);
    void FinishStart(std::vector<std::string>& lines);
};

int32_t TSnd::TState::Load(const std::string& name, TStream* stream, int32_t group) {
    if (!initialized) return -1;
    for (int32_t i = 0; i < kSlots; ++i) {
        if (slots[i].buffer && slots[i].name == name) {
            ++slots[i].refs;
            return i;
        }
    }
    const int32_t slot = FreeSlot();
    if (slot < 0) return -1;
    if (!stream || !stream->Valid()) {
        SndLog("Can't load " + Quoted(name));
        return -1;
    }
    try {
        TWaveFormat format;
        switch (ReadWaveHeader(*stream, format)) {
        case TWaveResult::Ok:
            break;
        case TWaveResult::Invalid:
            SndLog("Invalid wave format " + Quoted(name));
            return -1;
        case TWaveResult::Damaged:
            SndLog("Error Loading " + Quoted(name));
            return -1;
        }
        // The mixer makes no buffer for a format it cannot play, for data too
        // large, or for less than one frame.
        if (!Playable(format) || format.dataSize > kMaxDataBytes ||
            format.dataSize < format.channels * (format.bits / 8u)) {
            SndLog("Can't create sound buffer for " + Quoted(name));
            return -1;
        }
        auto pcm = std::make_shared<TPcm>();
        if (!ReadSamples(*stream, format, *pcm)) {
            SndLog("Error Loading " + Quoted(name));
            return -1;
        }
        Release(slot);
        TSlot& s = slots[slot];
        s = TSlot{};
        s.buffer = std::move(pcm);
        s.name = name;
        s.source = slot;
        s.refs = 1;
        s.master = true;
        s.group = group;
        mixer.Attach(slot, s.buffer->samples.data(), s.buffer->frames, s.buffer->channels, frequency);
        SndLog("Loaded " + Quoted(name));
        return slot;
    } catch (const std::bad_alloc&) {
        SndLog("Error Loading " + Quoted(name));
        return -1;
    }
}

void TSnd::TState::CloseDevice() {
    if (initialized) {
        Mix().SetPostMix(nullptr, nullptr);
        Mix().CloseAudio();
        initialized = false;
    }
    if (audioStarted) {
        SdlStop(SDL_INIT_AUDIO);
        audioStarted = false;
    }
}

TSnd::TSnd() : state_(std::make_unique<TState>()) {}

TSnd::~TSnd() {
    StopMusic();
    MarkGroup(-1);
    PurgeGroup(-1);
    state_->CloseDevice();
}

bool TSnd::Initialized() const {
    state_->Settle(true);
    return state_->initialized;
}

void TSnd::SndInit() {
    TState& s = *state_;
    if (s.initialized || s.probeDue || s.probe.joinable()) return;
    // Set here, on the main thread: the probe must only read SDL's hints.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    s.heldLog = log && log->Reserve([&s] { s.Settle(false); });
    s.probeDue = true;
    // A driver named by the environment is opened, not searched for: nothing
    // to wait for in the background.
    if (SDL_getenv("SDL_AUDIODRIVER")) s.Settle(true);
}

void TSnd::FrameShown() { state_->StartProbe(); }

void TSnd::TState::StartProbe() {
    if (!probeDue) return;
    probeDue = false;
    TState& s = *this;
    s.probeDone = false;
    s.probe = std::thread([&s] {
        s.audioStarted = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        // The device is asked for exactly 16-bit stereo at 44.1 kHz: SDL converts
        // for hardware that differs, so the mixer has one output format.
        if (s.audioStarted) s.mixError = Mix().error;
        s.deviceOpened = s.audioStarted && s.mixError.empty() &&
                         Mix().OpenAudioDevice(kDeviceRate, AUDIO_S16SYS, 2, kDeviceFrames, nullptr, 0) == 0;
        // Without a device the subsystem is stopped here too: stopping can wait
        // up to a tenth of a second for a driver's device-watching thread,
        // which would otherwise hold up the main thread.
        if (s.audioStarted && !s.deviceOpened) {
            SdlStop(SDL_INIT_AUDIO);
            s.audioStarted = false;
        }
        // SDL keeps per-thread data (its error text) for a thread it did not
        // create until told to free it.
        SDL_TLSCleanup();
        s.probeDone = true;
    });
}

void TSnd::TState::Settle(bool wait) {
    if (wait) StartProbe();
    if (!probe.joinable() || (!wait && !probeDone)) return;
    probe.join();
    std::vector<std::string> lines;
    FinishStart(lines);
    if (heldLog) log->Fill(lines);
    else if (log)
        for (const auto& line : lines) log->Print(line);
    heldLog = false;
}

void TSnd::TState::FinishStart(std::vector<std::string>& lines) {
    if (!deviceOpened) {
        CloseDevice();
        if (!mixError.empty()) lines.push_back("Sound   : " + mixError);
        // This line and "DirectSound Initialized" below keep their fixed words
        // although the device is SDL's: the engine's log lines are the same on
        // every platform, and people and tools that read logs search for them.
        lines.push_back("Sound   : Fatal Error \"DirectSoundCreate\"");
        return;
    }
    Mix().AllocateChannels(0);
    for (int32_t i = 0; i < kSlots; ++i) Release(i);
    slots = {};
    volume = 100;
    frequency = 22050;
    panFactor = 0.1f;
    distFactor = 0.005f;
    std::fill_n(listener, 3, 0.0f);
    front[0] = 0, front[1] = 0, front[2] = -1;
    up[0] = 0, up[1] = 1, up[2] = 0;
    SdlMusicEvent(); // registered here, on the main thread, before the audio thread can ask
    Mix().SetPostMix(TState::PostMix, this);
    initialized = true;
    lines.push_back("Sound   : DirectSound Initialized"); // fixed text, see the failure line above
    // The decoder is linked in: Ogg music is there whenever the device is.
    lines.push_back("Sound   : Ogg Vorbis ready");
}

int32_t TSnd::LoadSample(const std::string& fileName, int32_t group) {
    state_->Settle(true);
    if (!state_->initialized) return -1;
    TFileStream stream(fileName);
    return state_->Load(fileName, &stream, group);
}

int32_t TSnd::LoadSampleMem(const std::string& name, const void* memory, size_t size, int32_t group) {
    state_->Settle(true);
    if (!state_->initialized) return -1;
    TMemoryStream stream(memory, memory ? size : 0);
    return state_->Load(name, &stream, group);
}

bool TSnd::FreeSample(int32_t id) {
    state_->Settle(true);
    TState& s = *state_;
    if (!s.initialized || id < 0 || id >= kSlots) return false;
    TState::TSlot& slot = s.slots[id];
    if (!slot.buffer || !slot.master) return false;
    if (slot.refs <= 1) {
        SndLog("Unload #" + IntToStr(id) + "\t" + slot.name);
        s.Release(id);
        slot = TState::TSlot{};
        // The freed slot may take the next load: its channels must not answer a
        // Play of that sample. Idle ones go now; one still sounding finishes
        // its own copy and is released once it has stopped.
        for (int32_t i = 0; i < kSlots; ++i) {
            TState::TSlot& channel = s.slots[i];
            if (channel.master || channel.source != id) continue;
            channel.source = -1;
            if (!channel.playing) s.Release(i);
        }
    } else {
        --slot.refs;
    }
    return true;
}

int32_t TSnd::Play(int32_t id, bool loop, float x, float y, float z) {
    state_->Settle(true);
    TState& s = *state_;
    if (!s.initialized || id < 0 || id >= kSlots) return -1;
    const TState::TSlot& master = s.slots[id];
    if (!master.buffer || !master.master) return -1;
    int32_t channel = -1;
    for (int32_t i = 0; i < kSlots && channel < 0; ++i)
        if (s.slots[i].source == id && !s.slots[i].playing && s.slots[i].buffer) channel = i;
    if (channel < 0) {
        channel = s.FreeSlot();
        if (channel < 0) return -1;
        TState::TSlot& slot = s.slots[channel];
        s.Release(channel);
        slot.source = id;
        slot.master = false;
        slot.marked = false;
        slot.buffer = master.buffer; // shared, not copied
        slot.name.clear();
        slot.group = 0;
        s.mixer.Attach(channel, slot.buffer->samples.data(), slot.buffer->frames, slot.buffer->channels,
                       s.frequency);
    }
    TState::TSlot& slot = s.slots[channel];
    if (!slot.master) slot.refs = 1;
    slot.position[0] = x, slot.position[1] = y, slot.position[2] = z;
    s.Apply3D(channel);
    s.mixer.SetRate(channel, s.frequency);
    // From the start, also for a channel that Stop left part-way.
    s.mixer.SetCursor(channel, 0);
    s.mixer.Start(channel, loop);
    slot.playing = s.mixer.Playing(channel);
    return channel;
}

void TSnd::Stop(int32_t channel) {
    state_->Settle(true);
    TState& s = *state_;
    if (channel == -1) {
        for (int32_t i = 0; i < kSlots; ++i)
            if (s.slots[i].playing) s.mixer.Stop(i);
    } else if (channel >= 0 && channel < kSlots && s.slots[channel].playing) {
        s.mixer.Stop(channel);
    }
}

void TSnd::MarkGroup(int32_t mask) {
    state_->Settle(true);
    for (auto& slot : state_->slots)
        if ((slot.group & mask) > 0 || mask == -1) slot.marked = true;
}

void TSnd::PurgeGroup(int32_t mask) {
    state_->Settle(true);
    for (int32_t i = 0; i < kSlots; ++i) {
        const auto& slot = state_->slots[i];
        if (((slot.group & mask) > 0 || mask == -1) && slot.marked) FreeSample(i);
    }
}

void TSnd::SetVolume(int32_t volume) {
    state_->Settle(true);
    TState& s = *state_;
    if (!s.initialized) return;
    s.volume = std::clamp(volume, 0, 100);
    for (int32_t i = 0; i < kSlots; ++i)
        if (s.slots[i].playing && s.slots[i].buffer) s.ChannelVolume(i, s.volume);
}

void TSnd::SetFreq(uint32_t frequency) {
    state_->Settle(true);
    TState& s = *state_;
    if (!s.initialized) return;
    s.frequency = frequency;
    for (int32_t i = 0; i < kSlots; ++i)
        if (s.slots[i].playing) s.mixer.SetRate(i, frequency);
}

void TSnd::SetPos(int32_t channel, float x, float y, float z) {
    state_->Settle(true);
    TState& s = *state_;
    if (!s.initialized || channel < 0 || channel >= kSlots || !s.slots[channel].buffer) return;
    float* p = s.slots[channel].position;
    p[0] = x, p[1] = y, p[2] = z;
    s.Apply3D(channel);
}

void TSnd::SetListener(float x, float y, float z) {
    state_->Settle(true);
    TState& s = *state_;
    if (!s.initialized) return;
    s.listener[0] = x, s.listener[1] = y, s.listener[2] = z;
}

void TSnd::SetOrient(float frontX, float frontY, float frontZ, float upX, float upY, float upZ) {
    state_->Settle(true);
    TState& s = *state_;
    s.front[0] = frontX, s.front[1] = frontY, s.front[2] = frontZ;
    s.up[0] = upX, s.up[1] = upY, s.up[2] = upZ;
}

void TSnd::SetPanFactor(float factor) {
    state_->Settle(true);
    state_->panFactor = factor;
}
void TSnd::SetDistFactor(float factor) {
    state_->Settle(true);
    state_->distFactor = factor;
}

void TSnd::SndUpdate() {
    TState& s = *state_;
    // A probe still looking for a device holds up nothing: the steps go on silently.
    s.Settle(false);
    if (!s.initialized) return;
    const float* f = s.front;
    const float* u = s.up;
    s.right[0] = f[1] * u[2] - f[2] * u[1];
    s.right[1] = f[2] * u[0] - f[0] * u[2];
    s.right[2] = f[0] * u[1] - f[1] * u[0];
    const int32_t now = NowMs();
    for (int32_t i = 0; i < kSlots; ++i) {
        TState::TSlot& slot = s.slots[i];
        if (!slot.buffer) continue;
        if (s.mixer.Playing(i)) {
            s.Apply3D(i);
            continue;
        }
        if (!slot.master) {
            if (slot.playing) {
                slot.stopTime = now;
            } else if (static_cast<int32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(slot.stopTime)) >
                       kReleaseMs) {
                s.Release(i);
                slot.source = -1;
            }
        }
        slot.playing = false;
    }
}

void TSnd::PlayMusic(const std::string& fileName, bool loop) {
    state_->Settle(true);
    TState& s = *state_;
    if (LowerCase(fileName.size() >= 3 ? fileName.substr(fileName.size() - 3) : fileName) == "ogg") {
        s.ogg.reset();
        s.ogg = std::make_unique<TOGG>(s.mixer, kMusicVoice, std::make_unique<TFileStream>(fileName), s.initialized);
        s.ogg->Play(loop);
        return;
    }
    s.musicLoop = loop;
    StopMusic();
    if (!s.initialized) return;
    s.music = Mix().LoadMUS(fileName.c_str());
    if (!s.music) {
        SndLog("Can't open music " + Quoted(fileName));
        return;
    }
    Mix().HookMusicFinished(OnMusicFinished);
    Mix().PlayMusic(s.music, 1);
}

void TSnd::PlayMusicMem(const void* memory, size_t size, bool loop) {
    state_->Settle(true);
    TState& s = *state_;
    s.ogg.reset();
    s.ogg = std::make_unique<TOGG>(s.mixer, kMusicVoice, std::make_unique<TMemoryStream>(memory, memory ? size : 0),
                                   s.initialized);
    s.ogg->Play(loop);
}

void TSnd::MusicNotify() {
    state_->Settle(true);
    TState& s = *state_;
    if (s.music && s.musicLoop) Mix().PlayMusic(s.music, 1);
}

void TSnd::StopMusic() {
    state_->Settle(true);
    TState& s = *state_;
    if (s.music) {
        // Halting calls the finished hook too; a stop is no end to repeat.
        Mix().HookMusicFinished(nullptr);
        Mix().HaltMusic();
        Mix().FreeMusic(s.music);
        s.music = nullptr;
    }
    s.ogg.reset();
}

bool TSnd::Playing(int32_t slot) const {
    state_->Settle(true);
    return slot >= 0 && slot < kSlots && state_->slots[slot].playing;
}
bool TSnd::HasBuffer(int32_t slot) const {
    state_->Settle(true);
    return slot >= 0 && slot < kSlots && state_->slots[slot].buffer != nullptr;
}
bool TSnd::MusicStreaming() const {
    state_->Settle(true);
    return state_->ogg && state_->ogg->IsPlaying();
}
bool TSnd::MusicEnded() const {
    state_->Settle(true);
    return state_->ogg && state_->ogg->Ended();
}

} // namespace qx
