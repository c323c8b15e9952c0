// Recording, bytes and replaying of a played game.
#include "game/replay.h"

#include <memory>

namespace {

constexpr uint8_t kFlagSettlePending = 1;
constexpr uint8_t kFlagFullBoard = 2;
constexpr size_t kMaxTickBytes = 4; // LEB128: 28 bits, beyond kMaxReplayTicks
constexpr int32_t kCells = kReplayColumns * kReplayRows;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int Sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '-') return 62;
    if (c == '_') return 63;
    return -1;
}

} // namespace

// ---- Recording ----

void TReplayRecorder::Start(const TReplayStart& head, bool standardBoard) {
    start = head;
    count = 0;
    ticks = 0;
    started = true;
    overflowed = !standardBoard;
}

void TReplayRecorder::Click(int32_t c, int32_t r) {
    if (!started || overflowed) return;
    if (count >= clicks.size() || c < 1 || c > kReplayColumns || r < 1 || r > kReplayRows) {
        overflowed = true;
        return;
    }
    clicks[count++] = {static_cast<int32_t>(ticks), static_cast<uint8_t>(c), static_cast<uint8_t>(r)};
}

// ---- Bytes ----

const char* ReplayFaultName(TReplayFault fault) {
    switch (fault) {
    case TReplayFault::Ok: return "ok";
    case TReplayFault::Short: return "short";
    case TReplayFault::Long: return "long";
    case TReplayFault::Version: return "version";
    case TReplayFault::Field: return "field";
    case TReplayFault::Clicks: return "clicks";
    case TReplayFault::Ticks: return "ticks";
    }
    return "unknown";
}

std::vector<uint8_t> EncodeReplay(const TReplayStart& start, std::span<const TReplayClick> clicks) {
    const size_t count = std::min(clicks.size(), kMaxReplayClicks);
    std::vector<uint8_t> bytes;
    bytes.reserve(kReplayHeaderBytes + count * 3);
    bytes.push_back(kReplayVersion);
    bytes.push_back(static_cast<uint8_t>((start.SettlePending ? kFlagSettlePending : 0) |
                                         (start.FullBoard ? kFlagFullBoard : 0)));
    bytes.push_back(static_cast<uint8_t>(start.TickPhase % 5));
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(start.Seed >> (8 * i)));
    bytes.push_back(static_cast<uint8_t>(count));
    bytes.push_back(static_cast<uint8_t>(count >> 8));
    int32_t previous = 0;
    for (size_t i = 0; i < count; ++i) {
        auto step = static_cast<uint32_t>(clicks[i].Tick - previous);
        previous = clicks[i].Tick;
        do {
            const auto low = static_cast<uint8_t>(step & 0x7F);
            step >>= 7;
            bytes.push_back(step ? static_cast<uint8_t>(low | 0x80) : low);
        } while (step);
        bytes.push_back(static_cast<uint8_t>((clicks[i].Column - 1) + kReplayColumns * (clicks[i].Row - 1)));
    }
    return bytes;
}

TReplayFault DecodeReplay(std::span<const uint8_t> bytes, TReplay& replay) {
    replay = {};
    if (bytes.size() > kMaxReplayBytes) return TReplayFault::Long;
    if (bytes.empty()) return TReplayFault::Short;
    if (bytes[0] != kReplayVersion) return TReplayFault::Version;
    if (bytes.size() < kReplayHeaderBytes) return TReplayFault::Short;
    const uint8_t flags = bytes[1];
    if ((flags & ~(kFlagSettlePending | kFlagFullBoard)) != 0 || bytes[2] >= 5) return TReplayFault::Field;
    replay.Start.SettlePending = (flags & kFlagSettlePending) != 0;
    replay.Start.FullBoard = (flags & kFlagFullBoard) != 0;
    replay.Start.TickPhase = bytes[2];
    for (int i = 0; i < 8; ++i) replay.Start.Seed |= uint64_t{bytes[3 + static_cast<size_t>(i)]} << (8 * i);
    const size_t count = bytes[11] | (size_t{bytes[12]} << 8);
    if (count > kMaxReplayClicks) return TReplayFault::Clicks;
    // Every click takes two bytes at least: a count the bytes cannot hold is
    // refused before anything is allocated for it.
    if (count * 2 > bytes.size() - kReplayHeaderBytes) return TReplayFault::Short;
    replay.Clicks.reserve(count);
    size_t at = kReplayHeaderBytes;
    int64_t tick = 0;
    for (size_t i = 0; i < count; ++i) {
        uint32_t step = 0;
        for (size_t shift = 0;; ++shift) {
            if (at >= bytes.size()) return TReplayFault::Short;
            if (shift >= kMaxTickBytes) return TReplayFault::Field;
            const uint8_t byte = bytes[at++];
            step |= uint32_t{static_cast<uint8_t>(byte & 0x7F)} << (7 * shift);
            if (!(byte & 0x80)) break;
        }
        // Two waves never start at one tick: after the first click each is a tick later at least.
        if (i > 0 && step == 0) return TReplayFault::Field;
        tick += step;
        if (tick >= kMaxReplayTicks) return TReplayFault::Ticks;
        if (at >= bytes.size()) return TReplayFault::Short;
        const uint8_t cell = bytes[at++];
        if (cell >= kCells) return TReplayFault::Field;
        replay.Clicks.push_back({static_cast<int32_t>(tick), static_cast<uint8_t>(1 + cell % kReplayColumns),
                                 static_cast<uint8_t>(1 + cell / kReplayColumns)});
    }
    if (at != bytes.size()) return TReplayFault::Long;
    return TReplayFault::Ok;
}

std::string Base64UrlEncode(std::span<const uint8_t> bytes) {
    std::string text;
    text.reserve((bytes.size() * 4 + 2) / 3);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t group = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        for (int shift = 18; shift >= 0; shift -= 6) text.push_back(kAlphabet[(group >> shift) & 63]);
    }
    const size_t rest = bytes.size() - i;
    if (rest > 0) {
        uint32_t group = uint32_t{bytes[i]} << 16;
        if (rest == 2) group |= uint32_t{bytes[i + 1]} << 8;
        text.push_back(kAlphabet[(group >> 18) & 63]);
        text.push_back(kAlphabet[(group >> 12) & 63]);
        if (rest == 2) text.push_back(kAlphabet[(group >> 6) & 63]);
    }
    return text;
}

bool Base64UrlDecode(std::string_view text, std::vector<uint8_t>& bytes, size_t maxBytes) {
    bytes.clear();
    if (text.size() % 4 == 1) return false;
    const size_t length = text.size() / 4 * 3 + (text.size() % 4 == 0 ? 0 : text.size() % 4 - 1);
    if (length > maxBytes) return false;
    bytes.reserve(length);
    uint32_t group = 0;
    int bits = 0;
    for (const char c : text) {
        const int value = Sextet(c);
        if (value < 0) return false;
        group = (group << 6) | static_cast<uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<uint8_t>(group >> bits));
            group &= (1u << bits) - 1;
        }
    }
    // The bits left over must be zero, so each byte string has one encoding.
    return group == 0;
}

// ---- Replaying ----

const char* ReplayEndName(TReplayEnd end) {
    switch (end) {
    case TReplayEnd::Ended: return "ended";
    case TReplayEnd::BadClick: return "click";
    case TReplayEnd::Unfinished: return "unfinished";
    case TReplayEnd::TooLong: return "ticks";
    }
    return "unknown";
}

int64_t LeastReplayTime(int64_t ticks) {
    return ticks - ticks * kReplayTimeSlackPercent / 100 - kReplayTimeSlackTicks;
}

TReplayOutcome PlayReplay(const TReplay& replay) {
    // The board holds a few tens of kilobytes of tables: on the heap, not a worker's stack.
    const auto rules = std::make_unique<TBoardRules>();
    rules->Colors = kReplayColors;
    rules->Columns = kReplayColumns;
    rules->Rows = kReplayRows;
    rules->TickCount = replay.Start.TickPhase % 5;
    rules->SettlePending = replay.Start.SettlePending;
    rules->Deal(replay.Start.Seed, replay.Start.FullBoard ? 1 : 0);

    TReplayOutcome outcome;
    const std::vector<TReplayClick>& clicks = replay.Clicks;
    size_t next = 0;
    for (int64_t tick = 0; tick < kMaxReplayTicks; ++tick) {
        if (next < clicks.size() && clicks[next].Tick == tick) {
            if (rules->Click(clicks[next].Column, clicks[next].Row) == 0) {
                outcome.End = TReplayEnd::BadClick;
                outcome.ClickIndex = next;
                return outcome;
            }
            ++next;
        }
        rules->CountTick();
        if (rules->SettleStep()) {
            rules->Overflow();
            outcome.Score = rules->Cur.Score;
            outcome.Level = rules->Cur.Level;
            outcome.Ticks = tick + 1;
            // A click the ended game never saw is not part of its result.
            outcome.End = next == clicks.size() ? TReplayEnd::Ended : TReplayEnd::BadClick;
            outcome.ClickIndex = next;
            return outcome;
        }
        // Only a finished wave leaves a row pending, and only a pending row can end the game.
        if (next == clicks.size() && !rules->Busy && !rules->SettlePending) {
            outcome.End = TReplayEnd::Unfinished;
            outcome.Ticks = tick + 1;
            return outcome;
        }
    }
    outcome.End = TReplayEnd::TooLong;
    outcome.Ticks = kMaxReplayTicks;
    return outcome;
}
