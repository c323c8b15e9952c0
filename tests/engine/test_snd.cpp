// The sound module on SDL's audio drivers: what a listener hears, read back
// from the disk driver's output file (16-bit stereo at 44.1 kHz), and the
// sample table's bookkeeping.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/sdl_internal.h"
#include "tests/support/test_files.h"
#include "tests/test_support.h"

namespace {

using test_files::Bytes;
using test_files::PutLe16;
using test_files::PutLe32;
using test_files::WavBytes;
using test_files::WriteFile;
constexpr double kPi = 3.14159265358979323846;
constexpr int kOutRate = 44100;

// Mono 16-bit samples of f(i).
Bytes Pcm16(size_t count, const std::function<double(size_t)>& f) {
    Bytes data(count * 2);
    for (size_t i = 0; i < count; ++i) PutLe16(data, 2 * i, static_cast<uint16_t>(static_cast<int16_t>(f(i))));
    return data;
}

// A sine of `hz` at 22050 Hz: the rate channels play at unless SetFreq says otherwise.
Bytes Sine(double hz, size_t count, double amplitude = 8000) {
    return WavBytes(1, 22050, 16,
                    Pcm16(count, [&](size_t i) { return amplitude * std::sin(2 * kPi * hz * i / 22050.0); }));
}

// Ogg Vorbis of a sine of `hz` at 44.1 kHz, `seconds` long.
Bytes EncodeOgg(int channels, double hz, double seconds) {
    const auto sine = [hz](long frame, int) {
        return static_cast<float>(0.4 * std::sin(2 * kPi * hz * frame / kOutRate));
    };
    Bytes ogg = test_files::OggBytes(channels, kOutRate, 0.4f, std::lround(seconds * kOutRate), sine, 1024);
    EXPECT_FALSE(ogg.empty()) << "the encoder refused " << channels << " channels";
    return ogg;
}

bool Eventually(const std::function<bool()>& done, int seconds = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Stereo 16-bit frames as the device played them.
struct TOutput {
    std::vector<int16_t> left, right;

    static double Rms(const std::vector<int16_t>& s, size_t from = 0, size_t to = SIZE_MAX) {
        to = std::min(to, s.size());
        if (from >= to) return 0;
        double sum = 0;
        for (size_t i = from; i < to; ++i) sum += static_cast<double>(s[i]) * s[i];
        return std::sqrt(sum / static_cast<double>(to - from));
    }
    double Rms() const { return std::max(Rms(left), Rms(right)); }
    // Sign changes per second in the left channel.
    double Crossings() const {
        int count = 0;
        for (size_t i = 1; i < left.size(); ++i)
            if ((left[i - 1] < 0) != (left[i] < 0)) ++count;
        return count * double{kOutRate} / static_cast<double>(left.size());
    }
};

double Db(double ratio) { return 20 * std::log10(ratio); }

class EnvVar {
public:
    // Sets the variable, or with no value removes it, until the end of the scope.
    EnvVar(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    }
    ~EnvVar() {
        if (had_) ::setenv(name_, old_.c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

// A sound object of its own on the disk driver; its output file records from
// the moment the device opened.
class Listening : public testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempDir();
        out_ = dir_ + "/out.raw";
        driver_ = std::make_unique<EnvVar>("SDL_AUDIODRIVER", "disk");
        file_ = std::make_unique<EnvVar>("SDL_DISKAUDIOFILE", out_.c_str());
        sound_ = std::make_unique<qx::TSnd>();
        sound_->SndInit();
        ASSERT_TRUE(sound_->Initialized());
    }
    void TearDown() override {
        sound_.reset();
        qx::eng->SetTimeSource(nullptr);
    }

    size_t Written() const {
        std::error_code error;
        const auto size = std::filesystem::file_size(out_, error);
        return error ? 0 : static_cast<size_t>(size);
    }

    // The next `ms` of output, after skipping the two device buffers that may
    // have been mixed before the call.
    TOutput Record(int ms) {
        const size_t from = Written() + 2 * 1024 * 4;
        const size_t bytes = static_cast<size_t>(kOutRate) * ms / 1000 * 4;
        EXPECT_TRUE(Eventually([&] { return Written() >= from + bytes; })) << "the device stopped writing";
        std::ifstream file(out_, std::ios::binary);
        file.seekg(static_cast<std::streamoff>(from));
        std::vector<int16_t> raw(bytes / 2);
        file.read(reinterpret_cast<char*>(raw.data()), static_cast<std::streamsize>(bytes));
        TOutput output;
        for (size_t i = 0; i + 1 < raw.size(); i += 2) {
            output.left.push_back(raw[i]);
            output.right.push_back(raw[i + 1]);
        }
        return output;
    }

    int32_t Load(const std::string& name, const Bytes& wav, int32_t group = 1) {
        samples_.push_back(std::make_shared<Bytes>(wav));
        return sound_->LoadSampleMem(name, samples_.back()->data(), samples_.back()->size(), group);
    }

    std::string dir_, out_;
    std::unique_ptr<EnvVar> driver_, file_;
    std::unique_ptr<qx::TSnd> sound_;
    std::vector<std::shared_ptr<Bytes>> samples_;
};

TEST_F(Listening, APlayedSampleIsHeardAndLevelZeroIsSilence) {
    EXPECT_EQ(Record(50).Rms(), 0.0);
    const int32_t id = Load("tone", Sine(441, 22050));
    ASSERT_GE(id, 0);
    const int32_t channel = sound_->Play(id, true, 0, 0, 0);
    EXPECT_EQ(channel, id); // an idle master plays its own sample
    EXPECT_GT(Record(100).Rms(), 3000.0);
    // 200 units away the distance level is 0: silence.
    sound_->SetPos(channel, 0, 0, 200);
    EXPECT_EQ(Record(100).Rms(), 0.0);
    sound_->SetPos(channel, 0, 0, 0);
    sound_->Stop(channel);
    EXPECT_EQ(Record(50).Rms(), 0.0);
}

TEST_F(Listening, EachHalvingOfLevelTimesVolumeLowersTheSoundByAboutTenDecibels) {
    const int32_t id = Load("tone", Sine(441, 22050));
    ASSERT_EQ(sound_->Play(id, true, 0, 0, 0), id);
    const double full = Record(100).Rms();
    sound_->SetVolume(50);
    sound_->SndUpdate(); // the 3-D level again, under the new volume
    const double half = Record(100).Rms();
    sound_->SetVolume(100);
    sound_->SetPos(id, 0, 0, 150); // level 25
    const double quarter = Record(100).Rms();
    EXPECT_NEAR(Db(half / full), -10.0, 1.0);
    EXPECT_NEAR(Db(quarter / full), -20.0, 1.0);
    sound_->SetVolume(0); // no logarithm of zero: silence
    sound_->SndUpdate();
    EXPECT_EQ(Record(50).Rms(), 0.0);
}

TEST_F(Listening, ASoundToTheRightIsLouderOnTheRight) {
    const int32_t id = Load("tone", Sine(441, 22050));
    const int32_t channel = sound_->Play(id, true, 50, 0, 0);
    TOutput right = Record(100);
    EXPECT_GT(TOutput::Rms(right.right), 2 * TOutput::Rms(right.left));
    sound_->SetPos(channel, -50, 0, 0);
    TOutput left = Record(100);
    EXPECT_GT(TOutput::Rms(left.left), 2 * TOutput::Rms(left.right));
    // Turned round, the listener has the sound on the other side.
    sound_->SetOrient(0, 0, 1, 0, 1, 0);
    sound_->SndUpdate();
    TOutput turned = Record(100);
    EXPECT_GT(TOutput::Rms(turned.right), 2 * TOutput::Rms(turned.left));
}

TEST_F(Listening, SetFreqChangesThePitch) {
    const int32_t id = Load("tone", Sine(441, 22050));
    sound_->Play(id, true, 0, 0, 0);
    EXPECT_NEAR(Record(200).Crossings(), 2 * 441.0, 20.0);
    sound_->SetFreq(44100);
    EXPECT_NEAR(Record(200).Crossings(), 2 * 882.0, 30.0);
    // A file's own rate does not matter: every channel plays at the common frequency.
    const int32_t other = Load("fast", WavBytes(1, 44100, 16, Pcm16(22050, [](size_t i) {
                                             return 8000 * std::sin(2 * kPi * 441 * i / 22050.0);
                                         })));
    sound_->Stop(-1);
    sound_->SndUpdate();
    sound_->Play(other, true, 0, 0, 0);
    EXPECT_NEAR(Record(200).Crossings(), 2 * 882.0, 30.0);
}

TEST_F(Listening, ALoopingChannelKeepsSoundingAndAOneShotEnds) {
    // 50 ms of tone: the output records well past its end.
    const int32_t loop = Load("loop", Sine(441, 1102));
    const int32_t once = Load("once", Sine(882, 1102));
    sound_->Play(loop, true, 0, 0, 0);
    sound_->Play(once, false, 0, 0, 0);
    const TOutput later = (Record(300), Record(200));
    EXPECT_GT(later.Rms(), 3000.0);
    EXPECT_NEAR(later.Crossings(), 2 * 441.0, 20.0); // only the looping one
    EXPECT_TRUE(Eventually([&] {
        sound_->SndUpdate();
        return !sound_->Playing(once);
    }));
    EXPECT_TRUE(sound_->Playing(loop));
}

TEST_F(Listening, SixtyFourChannelsClipInsteadOfWrappingAndTheSixtyFifthIsRefused) {
    const int32_t id = Load("dc", WavBytes(1, 22050, 16, Pcm16(22050, [](size_t) { return 30000; })));
    std::vector<int32_t> channels;
    for (int i = 0; i < qx::TSnd::kSlots; ++i) channels.push_back(sound_->Play(id, true, 0, 0, 0));
    std::sort(channels.begin(), channels.end());
    EXPECT_EQ(std::unique(channels.begin(), channels.end()), channels.end());
    EXPECT_EQ(channels.front(), 0);
    EXPECT_EQ(channels.back(), 63);
    EXPECT_EQ(sound_->Play(id, true, 0, 0, 0), -1);
    EXPECT_EQ(Load("more", Sine(441, 100)), -1);
    const TOutput out = Record(100);
    EXPECT_EQ(*std::min_element(out.left.begin(), out.left.end()), 32767);
    EXPECT_EQ(*std::min_element(out.right.begin(), out.right.end()), 32767);
}

TEST_F(Listening, AnOggStreamLoopsWithoutAGapAndAOneShotEndsInSilence) {
    // 0.25 s of 440 Hz: exactly 110 periods, so the loop seam continues the wave.
    const Bytes ogg = EncodeOgg(2, 440, 0.25);
    sound_->PlayMusicMem(ogg.data(), ogg.size(), true);
    ASSERT_TRUE(sound_->MusicStreaming());
    const TOutput looped = Record(1200); // past several ends of the file and of the ring
    EXPECT_NEAR(looped.Crossings(), 880.0, 20.0);
    for (size_t at = 0; at + 441 <= looped.left.size(); at += 441)
        ASSERT_GT(TOutput::Rms(looped.left, at, at + 441), 3000.0) << "a gap at frame " << at;
    EXPECT_FALSE(sound_->MusicEnded());

    sound_->PlayMusicMem(ogg.data(), ogg.size(), false);
    EXPECT_GT(Record(100).Rms(), 3000.0);
    ASSERT_TRUE(Eventually([&] { return sound_->MusicEnded(); }));
    // The ring still held up to 0.37 s of sound when the decoder ended.
    (void)Record(500);
    EXPECT_EQ(Record(200).Rms(), 0.0);
    EXPECT_TRUE(sound_->MusicStreaming()); // silence plays on until the music is stopped
    sound_->StopMusic();
    EXPECT_FALSE(sound_->MusicStreaming());
}

TEST_F(Listening, MusicThatIsNotOggGoesToThePlayerWhoseEndComesBackAsAnEvent) {
    const std::string tune = WriteFile(dir_ + "/tune.wav", WavBytes(2, 44100, 16, [] {
        Bytes d(44100 / 5 * 4);
        for (size_t i = 0; i < d.size() / 2; ++i)
            PutLe16(d, 2 * i,
                    static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(2 * kPi * 441 * (i / 2) / 44100.0))));
        return d;
    }()));
    SDL_FlushEvent(qx::SdlMusicEvent());
    sound_->PlayMusic(tune, true);
    EXPECT_FALSE(sound_->MusicStreaming()); // not the Ogg stream
    EXPECT_GT(Record(100).Rms(), 3000.0);
    SDL_Event event;
    ASSERT_TRUE(Eventually([&] {
        SDL_PumpEvents();
        return SDL_PeepEvents(&event, 1, SDL_GETEVENT, qx::SdlMusicEvent(), qx::SdlMusicEvent()) == 1;
    }));
    EXPECT_EQ(Record(50).Rms(), 0.0);
    sound_->MusicNotify(); // what the window does with the event: a looping tune starts again
    EXPECT_GT(Record(100).Rms(), 3000.0);
    sound_->StopMusic();
    EXPECT_EQ(Record(50).Rms(), 0.0);
}

TEST_F(Listening, ASampleLoadedIntoAFreedSlotNeverPlaysTheOldSound) {
    const int32_t old = Load("old", Sine(441, 2205));
    ASSERT_GE(old, 0);
    ASSERT_EQ(sound_->Play(old, false, 0, 0, 0), old);
    const int32_t duplicate = sound_->Play(old, false, 0, 0, 0);
    ASSERT_GE(duplicate, 0);
    ASSERT_TRUE(Eventually([&] {
        sound_->SndUpdate();
        return !sound_->Playing(old) && !sound_->Playing(duplicate);
    }));
    ASSERT_TRUE(sound_->FreeSample(old));
    const int32_t fresh = Load("fresh", Sine(2205, 44100));
    ASSERT_EQ(fresh, old) << "the freed slot takes the next load";
    ASSERT_EQ(sound_->Play(fresh, true, 0, 0, 0), fresh);
    const int32_t second = sound_->Play(fresh, true, 0, 0, 0);
    ASSERT_GE(second, 0);
    sound_->Stop(fresh); // only the second channel sounds on
    const TOutput out = Record(200);
    EXPECT_GT(out.Rms(), 3000.0);
    EXPECT_NEAR(out.Crossings(), 2 * 2205, 200) << "the new sample, not the 441 Hz one freed before it";
}

// ---- The table, without listening ------------------------------------------------

class SampleTable : public Listening {};

TEST_F(SampleTable, TheSameNameLoadedTwiceNeedsTwoFrees) {
    const Bytes wav = Sine(441, 100);
    const int32_t id = Load("twice", wav);
    ASSERT_GE(id, 0);
    EXPECT_EQ(Load("twice", wav), id);
    EXPECT_TRUE(sound_->FreeSample(id));
    EXPECT_EQ(TestLogText().find("Unload #" + std::to_string(id) + "\ttwice"), std::string::npos);
    EXPECT_TRUE(sound_->FreeSample(id));
    EXPECT_NE(TestLogText().find("Sound   : Unload #" + std::to_string(id) + "\ttwice\r\n"), std::string::npos);
    EXPECT_FALSE(sound_->FreeSample(id));
    EXPECT_FALSE(sound_->FreeSample(64));
    EXPECT_NE(TestLogText().find("Sound   : Loaded \"twice\"\r\n"), std::string::npos);
}

TEST_F(SampleTable, AFinishedDuplicateKeepsItsBufferForThreeSecondsAndIsReused) {
    int32_t now = 1000;
    qx::eng->SetTimeSource([&] { return now; });
    const int32_t id = Load("short", Sine(441, 64));
    ASSERT_EQ(sound_->Play(id, false, 0, 0, 0), id);
    const int32_t duplicate = sound_->Play(id, false, 0, 0, 0);
    ASSERT_GE(duplicate, 0);
    EXPECT_NE(duplicate, id);
    auto settle = [&] {
        return Eventually([&] {
            sound_->SndUpdate();
            return !sound_->Playing(id) && !sound_->Playing(duplicate);
        });
    };
    ASSERT_TRUE(settle());
    now += 3000;
    sound_->SndUpdate();
    EXPECT_TRUE(sound_->HasBuffer(duplicate));
    // The next plays take the idle master, then the idle duplicate.
    EXPECT_EQ(sound_->Play(id, false, 0, 0, 0), id);
    EXPECT_EQ(sound_->Play(id, false, 0, 0, 0), duplicate);
    ASSERT_TRUE(settle());
    now += 3001;
    sound_->SndUpdate();
    EXPECT_FALSE(sound_->HasBuffer(duplicate));
    EXPECT_TRUE(sound_->HasBuffer(id)); // a master keeps its sample
}

TEST_F(SampleTable, MarkAndPurgeFreeOnlyTheMarkedGroup) {
    const int32_t a = Load("a", Sine(441, 100), 1);
    const int32_t b = Load("b", Sine(441, 100), 2);
    sound_->MarkGroup(1);
    sound_->PurgeGroup(-1);
    EXPECT_FALSE(sound_->HasBuffer(a));
    EXPECT_TRUE(sound_->HasBuffer(b));
}

TEST_F(SampleTable, WaveFilesThatCannotLoadGiveTheLineOfTheirFault) {
    const Bytes data = Pcm16(100, [](size_t i) { return static_cast<double>(i); });
    struct TCase {
        const char* name;
        const char* line;
        Bytes wav;
    };
    std::vector<TCase> cases;
    auto with = [&](const char* name, const char* line, const std::function<void(Bytes&)>& change) {
        Bytes wav = WavBytes(1, 22050, 16, data);
        change(wav);
        cases.push_back({name, line, wav});
    };
    const char* invalid = "Invalid wave format \"";
    const char* damaged = "Error Loading \"";
    const char* unplayable = "Can't create sound buffer for \"";
    // Only these two are an invalid wave format.
    with("notriff.wav", invalid, [](Bytes& w) { std::memcpy(w.data(), "RIFX", 4); });
    with("nibbles.wav", invalid, [](Bytes& w) { PutLe16(w, 34, 4); });
    // Chunks that cannot be walked.
    with("truncated.wav", damaged, [](Bytes& w) { w.resize(30); });
    with("hugefmt.wav", damaged, [](Bytes& w) { PutLe32(w, 16, 0xFFFFFFF0); });
    with("nodata.wav", damaged, [](Bytes& w) { std::memcpy(w.data() + 36, "junk", 4); });
    // Read, but nothing the mixer can play.
    with("nochannels.wav", unplayable, [](Bytes& w) { PutLe16(w, 22, 0); });
    with("doubles.wav", unplayable, [](Bytes& w) { PutLe16(w, 34, 64); });
    with("adpcm.wav", unplayable, [](Bytes& w) { PutLe16(w, 20, 2); });
    with("nodatabytes.wav", unplayable, [](Bytes& w) { w.resize(44); });
    for (const auto& c : cases) {
        EXPECT_EQ(Load(c.name, c.wav), -1) << c.name;
        EXPECT_NE(TestLogText().find(std::string("Sound   : ") + c.line + c.name + "\"\r\n"), std::string::npos)
            << c.name;
        if (std::string(c.line) != invalid) {
            EXPECT_EQ(TestLogText().find(std::string("Invalid wave format \"") + c.name), std::string::npos) << c.name;
        }
    }
    EXPECT_EQ(sound_->LoadSample(dir_ + "/missing.wav", 1), -1);
    EXPECT_NE(TestLogText().find("Sound   : Can't load \"" + dir_ + "/missing.wav\"\r\n"), std::string::npos);
    EXPECT_FALSE(sound_->HasBuffer(0)); // every refusal left its slot free
}

TEST_F(SampleTable, AZeroBlockAlignIsRecomputedAndDataCutShortLoadsWhatIsThere) {
    const Bytes data = Pcm16(100, [](size_t i) { return static_cast<double>(i); });
    Bytes noAlign = WavBytes(1, 22050, 16, data);
    PutLe16(noAlign, 32, 0);
    PutLe32(noAlign, 28, 0);
    Bytes cut = WavBytes(2, 22050, 16, data); // 50 stereo frames present
    PutLe32(cut, 40, 4000);
    Bytes oddCut = WavBytes(1, 22050, 16, data);
    oddCut.pop_back(); // half a sample at the end
    PutLe32(oddCut, 40, 0x7FFFFFF0);
    for (const auto& [name, wav] : {std::pair{"noalign.wav", noAlign}, {"cut.wav", cut}, {"oddcut.wav", oddCut}}) {
        const int32_t id = Load(name, wav);
        EXPECT_GE(id, 0) << name;
        EXPECT_NE(TestLogText().find(std::string("Sound   : Loaded \"") + name + "\"\r\n"), std::string::npos);
        EXPECT_GE(sound_->Play(id, false, 0, 0, 0), 0) << name;
    }
}

TEST_F(SampleTable, OtherLayoutsLoad) {
    Bytes extra = WavBytes(2, 11025, 8, Bytes(200, 0x80));
    // A LIST chunk between the format and the data.
    const Bytes list = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    extra.insert(extra.begin() + 36, list.begin(), list.end());
    const std::string file = WriteFile(dir_ + "/extra.wav", extra);
    EXPECT_GE(sound_->LoadSample(file, 1), 0);
    EXPECT_GE(Load("deep.wav", WavBytes(2, 48000, 24, Bytes(600, 1))), 0);
    EXPECT_GE(Load("float.wav", WavBytes(1, 48000, 32, Bytes(400, 0), {.tag = 3})), 0);
}

TEST_F(SampleTable, StreamsThatAreNotOggOrAreCutDoNotPlayOrEndEarly) {
    const Bytes junk(5000, 'x');
    sound_->PlayMusicMem(junk.data(), junk.size(), true);
    EXPECT_FALSE(sound_->MusicStreaming());
    sound_->PlayMusic(dir_ + "/missing.OGG", true); // any letter case goes to the stream
    EXPECT_FALSE(sound_->MusicStreaming());
    EXPECT_EQ(TestLogText().find("Can't open music"), std::string::npos);

    Bytes cut = EncodeOgg(1, 440, 2.0);
    cut.resize(cut.size() / 2);
    sound_->PlayMusicMem(cut.data(), cut.size(), false);
    if (sound_->MusicStreaming()) {
        EXPECT_TRUE(Eventually([&] { return sound_->MusicEnded(); }));
    }
    sound_->PlayMusicMem(cut.data(), cut.size(), true); // looping a cut file: the filler survives it
    (void)Record(300);
    sound_->StopMusic();
}

// With no driver named, SDL searches for a device on a thread of its own;
// whatever it finds, the start's lines stay where the start was in the log.
TEST(SoundProbe, TheStartLinesKeepTheirPlaceAheadOfLaterLines) {
    EnvVar driver("SDL_AUDIODRIVER", nullptr);
    const std::string later = "Test    : printed while the device was being looked for";
    qx::TSnd sound;
    sound.SndInit();
    qx::log->Print(later);
    const bool opened = sound.Initialized();
    const std::string text = TestLogText();
    const auto start = text.rfind(opened ? "Sound   : Ogg Vorbis ready\r\n" : "Sound   : Fatal Error \"DirectSoundCreate\"\r\n");
    ASSERT_NE(start, std::string::npos);
    ASSERT_NE(text.rfind(later), std::string::npos);
    EXPECT_LT(start, text.rfind(later));
    // A search that found nothing leaves no audio subsystem running behind it.
    if (!opened) {
        EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    }
}

TEST(SoundProbe, LooksForTheDeviceOnlyOnceAFrameIsShown) {
    EnvVar driver("SDL_AUDIODRIVER", nullptr);
    const auto startLines = [] { return Occurrences(TestLogText(), "Sound   : "); };
    const size_t before = startLines();
    qx::TSnd sound;
    sound.SndInit();
    // Update steps before the first frame leave the search unstarted, so its
    // lines cannot have been written however long they run.
    for (int step = 0; step < 30; ++step) {
        sound.SndUpdate();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(startLines(), before);
    sound.FrameShown();
    sound.Initialized(); // waits for the search
    EXPECT_GT(startLines(), before);
}

TEST(SoundWithoutDevice, RunsSilently) {
    EnvVar driver("SDL_AUDIODRIVER", "no-such-driver");
    qx::TSnd sound;
    sound.SndInit();
    EXPECT_FALSE(sound.Initialized());
    EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    EXPECT_NE(TestLogText().find("Sound   : Fatal Error \"DirectSoundCreate\"\r\n"), std::string::npos);
    const Bytes wav = Sine(441, 100);
    EXPECT_EQ(sound.LoadSampleMem("x", wav.data(), wav.size(), 1), -1);
    EXPECT_EQ(sound.Play(0, false, 0, 0, 0), -1);
    EXPECT_FALSE(sound.FreeSample(0));
    sound.SetVolume(50);
    sound.SndUpdate();
    sound.PlayMusic("x.ogg", true);
    sound.PlayMusic("x.mid", true);
    EXPECT_FALSE(sound.MusicStreaming());
    sound.StopMusic();
}

} // namespace
