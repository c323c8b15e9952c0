// The offline records table and its file, Sys.rec: twenty results, best first,
// kept in the byte layout other copies of the game and the score server read.
//
// Record layout (48 bytes, no file header): Score, Level, Time as signed 32-bit
// little-endian at 0, 4, 8; name length at 12; 32 name bytes at 13 (unused ones
// 0); 3 reserved bytes (written as 0). Decoding trusts nothing: missing records
// read as zero, a name length above 32 is clamped, and every stored record goes
// back in through InsertRecord, so one with a score of 0 or less never enters.
// A failed write is logged ("Records : ") and leaves the previous file whole.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "game/score_rec.h"

constexpr size_t kRecordCount = 20; // ranks 1..20 at indices 0..19
constexpr size_t kRecordBytes = 48;
constexpr size_t kRecordsFileBytes = kRecordCount * kRecordBytes; // 960

using TRecordTable = std::array<TScoreRec, kRecordCount>;

// ---- The table ------------------------------------------------------------

// Insertion by carrying: the new record takes the first rank whose score is
// strictly lower and carries the displaced one on; whatever passes rank 20 is
// dropped. Equal scores stay behind the older record.
void InsertRecord(TRecordTable& table, const TScoreRec& record);
// The table of a first start: User[1]..User[20], scores 6..25, level 2, time i*10.
TRecordTable DefaultRecords();

// ---- Bytes ----------------------------------------------------------------

// The file image of a table, ranks in order.
std::array<uint8_t, kRecordsFileBytes> EncodeRecords(const TRecordTable& table);
// A table rebuilt by InsertRecord from the records in file order. Only whole
// 48-byte records count: a short span ends in zero records (a cut-off record
// would carry a score without its whole name); bytes beyond 960 are ignored.
TRecordTable DecodeRecords(std::span<const uint8_t> bytes);

// ---- The file -------------------------------------------------------------

// The table stored at path; nullopt only when no file exists there. A file that
// exists but cannot be read gives the empty table and a log line, so the caller
// does not write defaults over records it merely failed to read; `unreadable`
// (when given) tells that case apart from an empty table that was read.
std::optional<TRecordTable> ReadRecordsFile(const std::string& path, bool* unreadable = nullptr);
// Replaces the file atomically; false (with a log line saying why) on failure.
bool WriteRecordsFile(const std::string& path, const TRecordTable& table);
