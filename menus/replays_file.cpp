// Replays.dat.
#include "menus/replays_file.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "menus/stored_file.h"

namespace {

constexpr const char* kTag = "Records : ";
constexpr char kMagic[4] = {'N', 'R', 'P', 'L'};
constexpr uint8_t kVersion = 1;

void AppendInt32(std::vector<uint8_t>& out, int32_t value) {
    uint8_t bytes[4];
    PutInt32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

} // namespace

std::vector<uint8_t> EncodeReplays(std::span<const TStoredReplay> replays) {
    std::vector<uint8_t> bytes(std::begin(kMagic), std::end(kMagic));
    bytes.push_back(kVersion);
    const size_t count = std::min(replays.size(), kMaxStoredReplays);
    size_t kept = 0;
    for (size_t i = 0; i < count; ++i) kept += !replays[i].Bytes.empty() && replays[i].Bytes.size() <= kMaxReplayBytes;
    bytes.push_back(static_cast<uint8_t>(kept));
    for (size_t i = 0; i < count; ++i) {
        const TStoredReplay& replay = replays[i];
        if (replay.Bytes.empty() || replay.Bytes.size() > kMaxReplayBytes) continue;
        AppendInt32(bytes, replay.Row.Score);
        AppendInt32(bytes, replay.Row.Level);
        AppendInt32(bytes, replay.Row.Time);
        const std::string_view name = replay.Row.Name.View();
        bytes.push_back(static_cast<uint8_t>(name.size()));
        bytes.insert(bytes.end(), name.begin(), name.end());
        bytes.push_back(static_cast<uint8_t>(replay.Bytes.size()));
        bytes.push_back(static_cast<uint8_t>(replay.Bytes.size() >> 8));
        bytes.insert(bytes.end(), replay.Bytes.begin(), replay.Bytes.end());
    }
    return bytes;
}

std::vector<TStoredReplay> DecodeReplays(std::span<const uint8_t> bytes, std::string* fault) {
    std::vector<TStoredReplay> replays;
    const auto stop = [&](const char* why) {
        if (fault) *fault = why;
        return replays;
    };
    if (fault) fault->clear();
    if (bytes.size() < kReplaysFileHeaderBytes) return stop("the header is cut off");
    if (std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) return stop("not a replays file");
    if (bytes[4] != kVersion) return stop("a version this game does not read");
    const size_t count = bytes[5];
    if (count > kMaxStoredReplays) return stop("more replays than the table has rows");
    size_t at = kReplaysFileHeaderBytes;
    for (size_t i = 0; i < count; ++i) {
        if (bytes.size() - at < 13) return stop("an entry is cut off");
        TStoredReplay replay;
        replay.Row.Score = GetInt32(&bytes[at]);
        replay.Row.Level = GetInt32(&bytes[at + 4]);
        replay.Row.Time = GetInt32(&bytes[at + 8]);
        const size_t nameLength = bytes[at + 12];
        at += 13;
        if (nameLength > TPlayerName::Capacity) return stop("a name is too long");
        if (bytes.size() - at < nameLength + 2) return stop("an entry is cut off");
        replay.Row.Name = std::string_view(reinterpret_cast<const char*>(&bytes[at]), nameLength);
        at += nameLength;
        const size_t length = bytes[at] | (size_t{bytes[at + 1]} << 8);
        at += 2;
        if (length == 0 || length > kMaxReplayBytes) return stop("a replay's length is out of bounds");
        if (bytes.size() - at < length) return stop("a replay is cut off");
        const std::span<const uint8_t> played = bytes.subspan(at, length);
        at += length;
        // A replay that does not decode could never be verified: it is dropped, the rest is kept.
        TReplay decoded;
        if (DecodeReplay(played, decoded) != TReplayFault::Ok) {
            if (fault) *fault = "a replay does not decode";
            continue;
        }
        replay.Bytes.assign(played.begin(), played.end());
        replays.push_back(std::move(replay));
    }
    return replays;
}

std::vector<TStoredReplay> ReadReplaysFile(const std::string& path) {
    std::vector<uint8_t> bytes(kMaxReplaysFileBytes);
    size_t count = 0;
    std::string reason;
    switch (ReadStoredFile(path, bytes, count, reason)) {
    case TStoredRead::Missing:
        return {};
    case TStoredRead::Failed:
        LogStored(kTag, "Cannot read " + path + ": " + reason + "; the results have no replays");
        return {};
    case TStoredRead::Read:
        break;
    }
    std::string fault;
    std::vector<TStoredReplay> replays = DecodeReplays(std::span(bytes).first(count), &fault);
    if (!fault.empty()) LogStored(kTag, path + ": " + fault + "; the replays read before it are kept");
    return replays;
}

bool WriteReplaysFile(const std::string& path, std::span<const TStoredReplay> replays) {
    return SaveStoredFile(kTag, path, EncodeReplays(replays));
}
