// Requests read: the rows of a send and the count of a top-list request.
#include "server/request.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>

namespace scores {

namespace {

// The field lists of a send, by the names the game uses.
enum Column { kUser, kScore, kLevel, kTime, kReplay, kColumns };
constexpr std::array<std::string_view, kColumns> kColumnNames = {"user", "score", "level", "time", "replay"};

int ColumnOf(std::string_view name, int columns) {
    if (name.ends_with("[]")) name.remove_suffix(2);
    for (int c = 0; c < columns; ++c)
        if (name == kColumnNames[static_cast<size_t>(c)]) return c;
    return -1;
}

// A name fits the reply's one-line rows and the game's 32-byte field.
bool NameFits(const std::string& name) {
    if (name.size() > kMaxNameBytes) return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return false;
    }
    return true;
}

// The rows of a send: the first `columns` lists (four, or five with the replays).
TSend ReadRows(const std::vector<TFormField>& fields, int columnCount) {
    TSend send;
    std::array<std::vector<const std::string*>, kColumns> columns;
    for (const TFormField& field : fields) {
        const int column = ColumnOf(field.Name, columnCount);
        if (column < 0) continue; // fields of no column are not ours to judge
        auto& values = columns[static_cast<size_t>(column)];
        if (values.size() == kMaxRowsPerSend) {
            send.Error = "more than " + std::to_string(kMaxRowsPerSend) + " rows";
            return send;
        }
        values.push_back(&field.Value);
    }
    for (int column = 0; column < columnCount; ++column) {
        if (columns[static_cast<size_t>(column)].size() != columns[kUser].size()) {
            send.Error = columnCount > kReplay ? "the lists user, score, level, time and replay differ in length"
                                               : "the lists user, score, level and time differ in length";
            return send;
        }
    }
    send.Rows = static_cast<int32_t>(columns[kUser].size());
    for (size_t row = 0; row < columns[kUser].size(); ++row) {
        const std::string& name = *columns[kUser][row];
        if (name.empty()) {
            ++send.Empty;
            continue;
        }
        const std::optional<int32_t> score = ParseCount(*columns[kScore][row]);
        const std::optional<int32_t> level = ParseCount(*columns[kLevel][row]);
        const std::optional<int32_t> time = ParseCount(*columns[kTime][row]);
        const bool replayGiven = columnCount <= kReplay || !columns[kReplay][row]->empty();
        if (!NameFits(name) || !score || !level || !time || !replayGiven) {
            ++send.Rejected;
            continue;
        }
        send.Results.push_back({name, *score, *level, *time, {}});
        if (columnCount > kReplay) send.Replays.push_back(*columns[kReplay][row]);
    }
    return send;
}

} // namespace

TSend ReadSend(const std::vector<TFormField>& fields) { return ReadRows(fields, kReplay); }

TSend ReadReplaySend(const std::vector<TFormField>& fields) { return ReadRows(fields, kColumns); }

int32_t ReadTopCount(const std::vector<TFormField>& fields) {
    for (const TFormField& field : fields) {
        if (field.Name != "count") continue;
        const std::optional<int32_t> count = ParseCount(field.Value);
        if (!count) return kDefaultTopCount;
        return std::clamp(*count, 1, kMaxTopCount);
    }
    return kDefaultTopCount;
}

} // namespace scores
