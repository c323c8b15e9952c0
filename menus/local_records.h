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
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "menus/records_file.h"

class TLocalRecords {
public:
    static constexpr const char* kDefaultFile = "Sys.rec"; // in the working folder

    explicit TLocalRecords(std::string path = kDefaultFile);

    void Load(); // the file, or the default table (then saved) when there is none
    // Writes the table; false when the file was kept as it is or could not be written.
    bool Save();
    // Inserts a finished game; the name is cut to 32 characters.
    void Add(std::string_view name, int32_t score, int32_t level, int32_t time);

    const TRecordTable& Table() const { return table_; }
    const TScoreRec& Best() const { return table_[0]; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    TRecordTable table_{};
    bool storedUnread_ = false; // the file existed at load but could not be read
};
