// The player's local top 20 for the whole run: one table, owned by the main
// menu, shown by the records screen and fed by the game through the game host.
// It outlives the screens, so rebuilding them (a nickname change) neither reads
// the file again nor drops a result that could not be saved.
//
// Load reads the file once, at start; a missing file gives the default table,
// written at once. Save writes the table whole (temp file, fsync, rename). A
// file that existed but could not be read at load is read again at each save
// and merged in, or left as it is while it still cannot be read; a failed save
// keeps its results in the table for the next one. Failures are log lines
// ("Records : "), never exceptions.
//
// Results added with the record of their play keep it in Replays.dat beside
// the table (menus/replays_file.h), at most one per row, matched to its row by
// the row's values; Save writes it after the table.
#pragma once

#include <array>
#include <cstdint>
#include <vector>
#include <string>
#include <string_view>

#include "menus/records_file.h"
#include "menus/replays_file.h"

class TLocalRecords {
public:
    static constexpr const char* kDefaultFile = "Sys.rec"; // in the working folder
    static constexpr const char* kReplaysFile = "Replays.dat"; // beside the table

    explicit TLocalRecords(std::string path = kDefaultFile);

    void Load(); // the file, or the default table (then saved) when there is none
    // Writes the table; false when the file was kept as it is or could not be written.
    bool Save();
    // Inserts a finished game; the name is cut to 32 characters.
    void Add(std::string_view name, int32_t score, int32_t level, int32_t time);
    // The same, with the replay's bytes (EncodeReplay), kept while the result stays in the table.
    void Add(std::string_view name, int32_t score, int32_t level, int32_t time, std::vector<uint8_t> replay);
    // The replay of the row at rank (0-based); null when that row has none.
    const std::vector<uint8_t>* ReplayOf(size_t rank) const;

    const TRecordTable& Table() const { return table_; }
    const TScoreRec& Best() const { return table_[0]; }
    const std::string& Path() const { return path_; }
    const std::string& ReplaysPath() const { return replaysPath_; }

private:
    std::string path_;
    TRecordTable table_{};
    bool storedUnread_ = false; // the file existed at load but could not be read
    std::string replaysPath_;
    // Each row's replay, rank order; an empty one: none. Kept in step with
    // table_ by matching values, so a row's replay follows it wherever it moves.
    std::array<std::vector<uint8_t>, kRecordCount> replays_{};
    bool replaysStored_ = false; // Replays.dat existed or has been written: keep it current

    // Gives each row the first unused replay with its values; the others are dropped.
    void Match(std::vector<TStoredReplay> replays);
    std::vector<TStoredReplay> StoredReplays() const;
};
