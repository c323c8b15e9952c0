// The Ogg Vorbis music stream: the decoder reads through four callbacks over
// the engine stream; the ring is prefilled by Play and refilled by the filler.
#include "engine/snd_ogg_internal.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>

namespace qx {

namespace {

size_t ReadCallback(void* buffer, size_t size, size_t count, void* source) {
    if (size == 0 || count == 0) return 0;
    if (count > std::numeric_limits<size_t>::max() / size) return 0;
    return static_cast<TStream*>(source)->Read(buffer, size * count) / size;
}

int SeekCallback(void* source, ogg_int64_t offset, int whence) {
    auto* stream = static_cast<TStream*>(source);
    int64_t target = 0;
    switch (whence) {
    case SEEK_SET: target = offset; break;
    case SEEK_CUR: target = stream->Position() + offset; break;
    case SEEK_END: target = stream->Size() + offset; break;
    default: return -1;
    }
    if (target < 0) return -1;
    stream->Seek(target);
    return stream->Position() == target ? 0 : -1;
}

int CloseCallback(void*) { return 0; } // the object frees the stream itself

long TellCallback(void* source) { return static_cast<long>(static_cast<TStream*>(source)->Position()); }

constexpr ov_callbacks kCallbacks{ReadCallback, SeekCallback, CloseCallback, TellCallback};

} // namespace

TOGG::TOGG(TMixer& mixer, int voice, std::unique_ptr<TStream> source, bool available)
    : mixer_(mixer), voice_(voice), source_(std::move(source)) {
    if (!available || !source_ || !source_->Valid()) {
        source_.reset();
        return;
    }
    open_ = ov_open_callbacks(source_.get(), &decoder_, nullptr, 0, kCallbacks) == 0;
    const vorbis_info* info = open_ ? ov_info(&decoder_, -1) : nullptr;
    if (!info || info->channels < 1 || info->channels > 2 || info->rate <= 0 || info->rate > 200000) {
        if (open_) ov_clear(&decoder_);
        open_ = false;
        source_.reset();
        return;
    }
    blockAlign_ = static_cast<uint32_t>(info->channels) * 2;
    ring_.assign(kRingBytes / 2, 0);
    scratch_.resize(kRingBytes);
    mixer_.Attach(voice_, ring_.data(), kRingBytes / blockAlign_, static_cast<uint32_t>(info->channels),
                  static_cast<uint32_t>(info->rate));
    Volume(100);
    ready_ = true;
}

TOGG::~TOGG() {
    if (!ready_) return;
    Stop();
    mixer_.Detach(voice_);
    ov_clear(&decoder_);
    source_.reset();
}

void TOGG::Volume(int32_t volume) {
    if (!ready_) return;
    volume = std::clamp(volume, 0, 100);
    mixer_.SetVolume(voice_, TMixer::HundredthsDb(volume / 100.0));
}

bool TOGG::IsPlaying() const { return ready_ && mixer_.Playing(voice_); }

void TOGG::Rewind() { ov_pcm_seek(&decoder_, 0); }

void TOGG::Decode(uint8_t* out, uint32_t bytes) {
    uint32_t filled = 0;
    bool rewoundEmpty = false; // a rewind that gave nothing: the stream holds no sound
    while (filled < bytes) {
        int section = 0;
        const long got = ov_read(&decoder_, reinterpret_cast<char*>(out + filled), static_cast<int>(bytes - filled),
                                 0, 2, 1, &section);
        if (got == OV_HOLE) continue; // a gap in the data: the decoder resumes after it
        if (got > 0) {
            filled += static_cast<uint32_t>(got);
            rewoundEmpty = false;
            continue;
        }
        // The end, or a decoder error, which ends the stream the same way.
        if (loop_ && got == 0 && !rewoundEmpty) {
            Rewind();
            rewoundEmpty = true;
            continue;
        }
        std::memset(out + filled, 0, bytes - filled);
        ended_.store(true, std::memory_order_release);
        return;
    }
}

void TOGG::FillSpan(uint32_t from, uint32_t bytes) {
    if (bytes == 0) return;
    Decode(scratch_.data(), bytes);
    mixer_.Locked([&] { std::memcpy(reinterpret_cast<uint8_t*>(ring_.data()) + from, scratch_.data(), bytes); });
}

void TOGG::Fill() {
    if (!ready_) return;
    const uint32_t play = mixer_.Cursor(voice_) * blockAlign_;
    const uint32_t write = writePos_;
    if (write == play) return;
    writePos_ = play;
    if (write < play) {
        FillSpan(write, play - write);
    } else {
        FillSpan(write, kRingBytes - write);
        FillSpan(0, play);
    }
}

void TOGG::Play(bool loop) {
    if (!ready_) return;
    if (IsPlaying() || filler_.joinable()) Stop();
    if (stopped_) {
        stopped_ = false;
        ended_.store(false, std::memory_order_release);
        Rewind();
    }
    loop_ = loop;
    writePos_ = 0;
    FillSpan(0, kRingBytes);
    mixer_.SetCursor(voice_, 0);
    // Started here rather than by the filler, so the stream plays as Play returns.
    mixer_.Start(voice_, true);
    {
        std::lock_guard guard(wakeLock_);
        quit_ = false;
    }
    filler_ = std::thread([this] { Filler(); });
}

void TOGG::Filler() {
    std::unique_lock guard(wakeLock_);
    while (!quit_ && mixer_.Playing(voice_)) {
        guard.unlock();
        Fill();
        guard.lock();
        wake_.wait_for(guard, std::chrono::milliseconds(kFillMs), [this] { return quit_; });
    }
}

void TOGG::Stop() {
    if (!ready_) return;
    if (filler_.joinable()) {
        {
            std::lock_guard guard(wakeLock_);
            quit_ = true;
        }
        wake_.notify_all();
        filler_.join();
    }
    mixer_.Stop(voice_);
    mixer_.SetCursor(voice_, 0);
    stopped_ = true;
    ended_.store(true, std::memory_order_release);
}

} // namespace qx
