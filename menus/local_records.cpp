// The local records table of the run and its file.
#include "menus/local_records.h"

#include <optional>
#include <utility>

#include "menus/stored_file.h"

TLocalRecords::TLocalRecords(std::string path) : path_(std::move(path)) {}

void TLocalRecords::Load() {
    if (const std::optional<TRecordTable> stored = ReadRecordsFile(path_, &storedUnread_)) {
        table_ = *stored;
    } else {
        table_ = DefaultRecords();
        Save();
    }
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
        if (stored)
            for (const TScoreRec& record : *stored) InsertRecord(table_, record);
        storedUnread_ = false;
    }
    return WriteRecordsFile(path_, table_);
}

void TLocalRecords::Add(std::string_view name, int32_t score, int32_t level, int32_t time) {
    TScoreRec record;
    record.Score = score;
    record.Level = level;
    record.Time = time;
    record.Name = name; // cut to 32 characters
    InsertRecord(table_, record);
}
