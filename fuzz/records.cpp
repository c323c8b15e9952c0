// The Sys.rec reader and the table's insertion. The input's first two bytes
// give how much of the rest is the file; what follows the file is a run of
// finished games (score, level, time, name length, name), each added the way
// the records screen adds one. The table must stay ordered, hold no empty
// record among stored ones, and survive the writer's layout unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

#include "menus/records_file.h"

namespace {

int32_t Int(const uint8_t* p) {
    uint32_t value = 0;
    std::memcpy(&value, p, 4);
    return static_cast<int32_t>(value);
}

void Check(const TRecordTable& table) {
    for (size_t i = 0; i + 1 < table.size(); ++i) {
        if (table[i].Score < table[i + 1].Score) std::abort();
        // Only empty (zero) records follow the first empty one.
        if (table[i].Score <= 0 && table[i + 1].Score > 0) std::abort();
    }
    for (const TScoreRec& record : table)
        if (record.Name.Size() > TPlayerName::Capacity) std::abort();
}

bool Same(const TRecordTable& a, const TRecordTable& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].Score != b[i].Score || a[i].Level != b[i].Level || a[i].Time != b[i].Time || !(a[i].Name == b[i].Name))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t fileBytes = std::min<size_t>(data[0] | (data[1] << 8), size - 2);
    std::span<const uint8_t> file(data + 2, fileBytes);
    TRecordTable table = DecodeRecords(file);
    Check(table);
    if (!Same(DecodeRecords(EncodeRecords(table)), table)) std::abort();

    const uint8_t* at = data + 2 + fileBytes;
    const uint8_t* end = data + size;
    while (end - at >= 13) {
        TScoreRec record;
        record.Score = Int(at);
        record.Level = Int(at + 4);
        record.Time = Int(at + 8);
        const size_t length = std::min<size_t>(at[12], static_cast<size_t>(end - at - 13));
        record.Name = std::string_view(reinterpret_cast<const char*>(at + 13), length);
        at += 13 + length;
        InsertRecord(table, record);
        Check(table);
    }
    if (!Same(DecodeRecords(EncodeRecords(table)), table)) std::abort();
    return 0;
}
