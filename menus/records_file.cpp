// The records table: insertion by carrying, the default table, the file bytes.
#include "menus/records_file.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "engine/files.h"
#include "menus/stored_file.h"

namespace {

constexpr const char* kTag = "Records : ";
constexpr size_t kScoreAt = 0, kLevelAt = 4, kTimeAt = 8, kNameLengthAt = 12, kNameAt = 13;

} // namespace

void InsertRecord(TRecordTable& table, const TScoreRec& record) {
    TScoreRec carried = record;
    for (TScoreRec& ranked : table)
        if (ranked.Score < carried.Score) std::swap(ranked, carried);
}

TRecordTable DefaultRecords() {
    TRecordTable table{};
    for (int32_t i = 1; i <= static_cast<int32_t>(kRecordCount); ++i) {
        TScoreRec record;
        record.Name = "User[" + qx::IntToStr(i) + "]";
        record.Score = i + 5;
        record.Level = 2;
        record.Time = i * 10;
        InsertRecord(table, record);
    }
    return table;
}

std::array<uint8_t, kRecordsFileBytes> EncodeRecords(const TRecordTable& table) {
    std::array<uint8_t, kRecordsFileBytes> bytes{};
    for (size_t i = 0; i < kRecordCount; ++i) {
        uint8_t* out = bytes.data() + i * kRecordBytes;
        const TScoreRec& record = table[i];
        PutInt32(out + kScoreAt, record.Score);
        PutInt32(out + kLevelAt, record.Level);
        PutInt32(out + kTimeAt, record.Time);
        const std::string_view name = record.Name.View();
        out[kNameLengthAt] = static_cast<uint8_t>(name.size());
        std::copy(name.begin(), name.end(), out + kNameAt);
    }
    return bytes;
}

TRecordTable DecodeRecords(std::span<const uint8_t> bytes) {
    // The records a short file lacks stay zero, which InsertRecord would turn away anyway.
    const size_t whole = std::min(bytes.size() / kRecordBytes, kRecordCount);
    TRecordTable table{};
    for (size_t i = 0; i < whole; ++i) {
        const uint8_t* in = bytes.data() + i * kRecordBytes;
        TScoreRec record;
        record.Score = GetInt32(in + kScoreAt);
        record.Level = GetInt32(in + kLevelAt);
        record.Time = GetInt32(in + kTimeAt);
        const size_t length = std::min<size_t>(in[kNameLengthAt], TPlayerName::Capacity);
        record.Name = std::string_view(reinterpret_cast<const char*>(in + kNameAt), length);
        InsertRecord(table, record);
    }
    return table;
}

std::optional<TRecordTable> ReadRecordsFile(const std::string& path, bool* unreadable) {
    if (unreadable) *unreadable = false;
    std::array<uint8_t, kRecordsFileBytes> bytes{};
    size_t count = 0;
    std::string reason;
    switch (ReadStoredFile(path, bytes, count, reason)) {
    case TStoredRead::Missing:
        return std::nullopt;
    case TStoredRead::Failed:
        LogStored(kTag, "Cannot read " + path + ": " + reason + "; the table starts empty");
        if (unreadable) *unreadable = true;
        return TRecordTable{};
    case TStoredRead::Read:
        break;
    }
    if (count < bytes.size())
        LogStored(kTag, path + " has " + qx::IntToStr(static_cast<int32_t>(count)) + " of " +
                            qx::IntToStr(kRecordsFileBytes) + " bytes; the missing records are empty");
    return DecodeRecords(std::span(bytes).first(count));
}

bool WriteRecordsFile(const std::string& path, const TRecordTable& table) {
    return SaveStoredFile(kTag, path, EncodeRecords(table));
}
