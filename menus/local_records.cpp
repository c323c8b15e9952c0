// The local records table of the run and its file.
#include "menus/local_records.h"

#include <optional>
#include <utility>

#include "menus/stored_file.h"

namespace {

bool SameResult(const TScoreRec& a, const TScoreRec& b) {
    return a.Score == b.Score && a.Level == b.Level && a.Time == b.Time && a.Name == b.Name;
}

// Replays.dat in the table file's folder.
std::string ReplaysPathBeside(const std::string& table) {
    const size_t slash = table.rfind('/');
    return (slash == std::string::npos ? std::string() : table.substr(0, slash + 1)) + TLocalRecords::kReplaysFile;
}

} // namespace

TLocalRecords::TLocalRecords(std::string path) : path_(std::move(path)), replaysPath_(ReplaysPathBeside(path_)) {}

void TLocalRecords::Load() {
    if (const std::optional<TRecordTable> stored = ReadRecordsFile(path_, &storedUnread_)) {
        table_ = *stored;
    } else {
        table_ = DefaultRecords();
        Save();
    }
    std::vector<TStoredReplay> replays = ReadReplaysFile(replaysPath_);
    replaysStored_ = replaysStored_ || !replays.empty();
    Match(std::move(replays));
}

void TLocalRecords::Match(std::vector<TStoredReplay> replays) {
    for (size_t rank = 0; rank < kRecordCount; ++rank) {
        replays_[rank].clear();
        for (TStoredReplay& replay : replays) {
            if (replay.Bytes.empty() || !SameResult(replay.Row, table_[rank])) continue;
            replays_[rank] = std::move(replay.Bytes);
            replay.Bytes.clear(); // used: a second equal row does not get it too
            break;
        }
    }
}

std::vector<TStoredReplay> TLocalRecords::StoredReplays() const {
    std::vector<TStoredReplay> replays;
    for (size_t rank = 0; rank < kRecordCount; ++rank)
        if (!replays_[rank].empty()) replays.push_back({table_[rank], replays_[rank]});
    return replays;
}

const std::vector<uint8_t>* TLocalRecords::ReplayOf(size_t rank) const {
    return rank < kRecordCount && !replays_[rank].empty() ? &replays_[rank] : nullptr;
}

bool TLocalRecords::Save() {
    // A table that could not be read at load time (another copy of the game
    // held it, say) must not be replaced by this run's results alone: read it
    // again and keep both, or leave it as it is.
    if (storedUnread_) {
        bool stillUnread = false;
        const std::optional<TRecordTable> stored = ReadRecordsFile(path_, &stillUnread);
        if (stillUnread) {
            LogStored("Records : ", path_ + " is kept as it is; this table is not saved");
            return false;
        }
        if (stored) {
            std::vector<TStoredReplay> replays = StoredReplays();
            for (const TScoreRec& record : *stored) InsertRecord(table_, record);
            Match(std::move(replays));
        }
        storedUnread_ = false;
    }
    if (!WriteRecordsFile(path_, table_)) return false;
    // The replays follow the table they belong to; a player who never had one gets no file.
    const std::vector<TStoredReplay> replays = StoredReplays();
    if (replays.empty() && !replaysStored_) return true;
    replaysStored_ = true;
    return WriteReplaysFile(replaysPath_, replays);
}

void TLocalRecords::Add(std::string_view name, int32_t score, int32_t level, int32_t time) {
    Add(name, score, level, time, {});
}

void TLocalRecords::Add(std::string_view name, int32_t score, int32_t level, int32_t time,
                        std::vector<uint8_t> replay) {
    TScoreRec record;
    record.Score = score;
    record.Level = level;
    record.Time = time;
    record.Name = name; // cut to 32 characters
    std::vector<TStoredReplay> replays = StoredReplays();
    if (!replay.empty()) replays.push_back({record, std::move(replay)});
    InsertRecord(table_, record);
    Match(std::move(replays));
}
