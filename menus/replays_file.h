// The replays of the local records, in Replays.dat beside Sys.rec: the play
// of each result that has one, so that it can be sent with the result and
// replayed by a score server. Sys.rec keeps its layout; a replay belongs to
// the row whose four values (score, level, time, name) it carries, so a row
// without one (the default rows, a table from before replays) is normal.
//
// Layout (little-endian): "NRPL", version (1 byte, 1), entry count (1 byte,
// at most 20); per entry: score, level, time (signed 32-bit each), name length
// (1 byte, at most 32), the name, the replay's length (2 bytes, 1 to
// kMaxReplayBytes) and the replay's bytes (game/replay.h). Reading trusts
// nothing: every length is checked against the bytes present and its bound
// before it is used; the entries before a fault are kept, a replay that does
// not decode is dropped, and the fault is logged ("Records : "). Saving
// replaces the file whole (temp file, fsync, rename).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "game/replay.h"
#include "game/score_rec.h"

struct TStoredReplay {
    TScoreRec Row;              // the result the replay belongs to
    std::vector<uint8_t> Bytes; // EncodeReplay's bytes
};

inline constexpr size_t kMaxStoredReplays = 20;
inline constexpr size_t kReplaysFileHeaderBytes = 6;
inline constexpr size_t kMaxReplaysFileBytes =
    kReplaysFileHeaderBytes + kMaxStoredReplays * (12 + 1 + TPlayerName::Capacity + 2 + kMaxReplayBytes);

std::vector<uint8_t> EncodeReplays(std::span<const TStoredReplay> replays);
// The whole entries before the first fault; fault (when given) says what stopped the reading ("" when nothing did).
std::vector<TStoredReplay> DecodeReplays(std::span<const uint8_t> bytes, std::string* fault = nullptr);

// The replays stored at path; none when the file is missing or cannot be read (with a log line).
std::vector<TStoredReplay> ReadReplaysFile(const std::string& path);
// Replaces the file atomically; false (with a log line) on failure.
bool WriteReplaysFile(const std::string& path, std::span<const TStoredReplay> replays);
