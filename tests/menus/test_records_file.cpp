// The records table and Sys.rec: carrying order, the default file's bytes,
// hostile files, a failed save and a save killed at random moments; the
// replays kept beside the table in Replays.dat.
#include <gtest/gtest.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "game/replay.h"
#include "menus/local_records.h"
#include "menus/records_file.h"
#include "menus/replays_file.h"
#include "tests/test_support.h"

namespace {

TScoreRec Rec(std::string_view name, int32_t score, int32_t level = 1, int32_t time = 100) {
    TScoreRec record;
    record.Name = name;
    record.Score = score;
    record.Level = level;
    record.Time = time;
    return record;
}

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Bytes(const TRecordTable& table) {
    const auto image = EncodeRecords(table);
    return {image.begin(), image.end()};
}

TEST(RecordsTable, InsertionCarriesAndKeepsOlderRecordsAheadOfEqualScores) {
    TRecordTable table = DefaultRecords();
    InsertRecord(table, Rec("^2Tie", 25));
    EXPECT_EQ(table[0].Name.View(), "User[20]"); // the older 25 stays first
    EXPECT_EQ(table[1].Name.View(), "^2Tie");
    EXPECT_EQ(table[2].Name.View(), "User[19]");
    EXPECT_EQ(table[19].Name.View(), "User[2]"); // User[1], the lowest, fell out

    InsertRecord(table, Rec("^2Top", 1000));
    EXPECT_EQ(table[0].Name.View(), "^2Top");
    EXPECT_EQ(table[19].Name.View(), "User[3]");

    // Not above the 20th score (7 now): nothing moves.
    const auto before = Bytes(table);
    for (int32_t score : {7, 3, 0, -50}) InsertRecord(table, Rec("^2Low", score));
    EXPECT_EQ(Bytes(table), before);
}

TEST(RecordsFile, DefaultTableAndItsExactBytes) {
    const TRecordTable table = DefaultRecords();
    EXPECT_EQ(table[0].Name.View(), "User[20]");
    EXPECT_EQ(table[0].Score, 25);
    EXPECT_EQ(table[0].Time, 200);
    EXPECT_EQ(table[19].Name.View(), "User[1]");
    EXPECT_EQ(table[19].Score, 6);
    EXPECT_EQ(table[19].Time, 10);

    const auto bytes = EncodeRecords(table);
    ASSERT_EQ(bytes.size(), 960u);
    // Rank 1: 25, 2, 200 little-endian, then the counted name, then zeros.
    const std::vector<uint8_t> first = {25, 0, 0, 0, 2, 0, 0, 0, 200, 0, 0, 0, 8, 'U', 's', 'e', 'r', '[', '2', '0', ']'};
    EXPECT_TRUE(std::equal(first.begin(), first.end(), bytes.begin()));
    EXPECT_TRUE(std::all_of(bytes.begin() + 21, bytes.begin() + 48, [](uint8_t b) { return b == 0; }));
    // Rank 20 at byte 912.
    const std::vector<uint8_t> last = {6, 0, 0, 0, 2, 0, 0, 0, 10, 0, 0, 0, 7, 'U', 's', 'e', 'r', '[', '1', ']'};
    EXPECT_TRUE(std::equal(last.begin(), last.end(), bytes.begin() + 912));
    EXPECT_TRUE(std::all_of(bytes.begin() + 932, bytes.end(), [](uint8_t b) { return b == 0; }));
    // Every record's reserved tail (bytes 45-47) is zero.
    for (size_t i = 0; i < kRecordCount; ++i)
        for (size_t k = 45; k < 48; ++k) EXPECT_EQ(bytes[i * 48 + k], 0) << i;
}

TEST(RecordsFile, RoundTripThroughTheFileKeepsEveryField) {
    const std::string path = MakeTempDir() + "/Sys.rec";
    EXPECT_FALSE(ReadRecordsFile(path).has_value());

    TRecordTable table = DefaultRecords();
    InsertRecord(table, Rec("^2" + std::string(30, '\xE9'), 0x12345678, -3, 2147483647));
    InsertRecord(table, Rec("^2Eve", 25, 9, 0)); // equal to the top: must stay second after reloading
    ASSERT_TRUE(WriteRecordsFile(path, table));
    EXPECT_EQ(std::filesystem::file_size(path), 960u);

    const auto loaded = ReadRecordsFile(path);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(Bytes(*loaded), Bytes(table));
    EXPECT_EQ((*loaded)[0].Level, -3);
    EXPECT_EQ((*loaded)[2].Name.View(), "^2Eve");
}

TEST(RecordsFile, HostileBytesAreClampedOrTurnedAway) {
    auto image = EncodeRecords(DefaultRecords());
    // Rank 1 claims a 200-character name: clamped to the 32 bytes of its field.
    image[12] = 200;
    for (size_t k = 13; k < 45; ++k) image[k] = 'x';
    // Rank 2 gets a negative score (turned away) and rank 3 a negative level (kept).
    image[48] = 0xFF, image[49] = 0xFF, image[50] = 0xFF, image[51] = 0xFF;
    image[96 + 4] = 0xFE, image[96 + 5] = 0xFF, image[96 + 6] = 0xFF, image[96 + 7] = 0xFF;
    const TRecordTable table = DecodeRecords(image);
    EXPECT_EQ(table[0].Name.View(), std::string(32, 'x'));
    EXPECT_EQ(table[1].Name.View(), "User[18]");
    EXPECT_EQ(table[1].Level, -2);
    EXPECT_EQ(table[18].Name.View(), "User[1]");
    EXPECT_EQ(table[19].Score, 0); // User[19]'s place was not refilled
    EXPECT_TRUE(table[19].Name.Empty());
}

TEST(RecordsFile, ShortFileKeepsItsWholeRecordsAndLogsTheRest) {
    const std::string path = MakeTempDir() + "/Sys.rec";
    const auto image = EncodeRecords(DefaultRecords());
    WriteBytes(path, std::vector<uint8_t>(image.begin(), image.begin() + 500)); // 10 records and 20 bytes
    const auto table = ReadRecordsFile(path);
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ((*table)[9].Name.View(), "User[11]");
    EXPECT_EQ((*table)[10].Score, 0); // the cut-off User[10] does not enter half-named
    EXPECT_NE(TestLogText().find("Records : " + path + " has 500 of 960 bytes"), std::string::npos);

    WriteBytes(path, {});
    const auto empty = ReadRecordsFile(path);
    ASSERT_TRUE(empty.has_value()); // an empty file is a table, not a first start
    EXPECT_EQ((*empty)[0].Score, 0);
}

TEST(RecordsFile, AnUnreadableFileIsNotTakenForAFirstStart) {
    // Defaults written over it would destroy records that are only unreadable for now.
    const std::string folder = MakeTempDir();
    const auto table = ReadRecordsFile(folder);
    ASSERT_TRUE(table.has_value());
    EXPECT_EQ((*table)[0].Score, 0);
    EXPECT_NE(TestLogText().find("Records : Cannot read " + folder + ": it is a folder; the table starts empty"),
              std::string::npos);
}

TEST(RecordsFile, RandomBytesNeverBreakTheTableOrder) {
    std::mt19937 random(20240611);
    std::vector<uint8_t> bytes;
    for (int round = 0; round < 300; ++round) {
        bytes.resize(random() % 1100);
        for (auto& b : bytes) b = static_cast<uint8_t>(random());
        const TRecordTable table = DecodeRecords(bytes);
        for (size_t i = 0; i < kRecordCount; ++i) {
            EXPECT_LE(table[i].Name.Size(), 32u);
            EXPECT_GE(table[i].Score, 0);
            if (i > 0) {
                EXPECT_LE(table[i].Score, table[i - 1].Score);
            }
        }
    }
}

// Runs save() in a child that cannot bypass permission bits: as root it first
// becomes "nobody". Gives the child's exit status, 77 when it could not drop root.
template <typename Save> int SaveAsUnprivilegedChild(Save save) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(77);
        _exit(save() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RecordsFile, ReadOnlyFolderLogsTheFailureAndKeepsTheOldFile) {
    const std::string dir = MakeTempDir();
    const std::string path = dir + "/Sys.rec";
    ASSERT_TRUE(WriteRecordsFile(path, DefaultRecords()));
    const auto old = FileBytes(path);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                          std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                                          std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    TRecordTable changed = DefaultRecords();
    InsertRecord(changed, Rec("^2New", 99));
    const int status = SaveAsUnprivilegedChild([&] { return WriteRecordsFile(path, changed); });
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    if (status == 77) GTEST_SKIP() << "running as root and cannot become an unprivileged user";

    EXPECT_EQ(status, 1); // the save reported failure
    EXPECT_EQ(FileBytes(path), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
    const std::string log = TestLogText();
    EXPECT_NE(log.find("Records : Cannot save " + path + ": cannot create a temporary file in " + dir +
                       ": Permission denied; the previous file is kept"),
              std::string::npos)
        << log;
}

// Saves of two contents, alternating in a child killed at varying moments:
// the file is always one of them whole, and nothing but a stray temporary is left.
template <typename Save>
void ExpectKilledSavesLeaveAWholeFile(const std::string& dir, const std::string& name, Save save,
                                      const std::vector<uint8_t>& firstBytes, const std::vector<uint8_t>& secondBytes) {
    const std::string path = dir + "/" + name;
    ASSERT_TRUE(save(path, 0));
    int seenFirst = 0, seenSecond = 0;
    for (int round = 0; round < 40; ++round) {
        int progress[2];
        ASSERT_EQ(pipe(progress), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(progress[0]);
            const char saved = 1;
            for (;;)
                for (const int which : {1, 0}) {
                    if (!save(path, which)) _exit(1);
                    if (write(progress[1], &saved, 1) != 1) _exit(2);
                }
        }
        close(progress[1]);
        // Let a varying number of saves finish, then kill at a varying point of the next ones.
        char done;
        for (int saves = 1 + round % 3; saves > 0; --saves) ASSERT_EQ(read(progress[0], &done, 1), 1);
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(round * 97 % 1500);
        while (std::chrono::steady_clock::now() < until) {
        }
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        close(progress[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child stopped by itself: " << status;

        const auto bytes = FileBytes(path);
        ASSERT_TRUE(bytes == firstBytes || bytes == secondBytes) << "round " << round << ", " << bytes.size() << " bytes";
        (bytes == firstBytes ? seenFirst : seenSecond)++;
    }
    // Kills land both between and inside saves: each content was found on disk at least once.
    EXPECT_GT(seenFirst, 0);
    EXPECT_GT(seenSecond, 0);
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string file = entry.path().filename().string();
        EXPECT_TRUE(file == name || file.rfind("." + name + ".tmp", 0) == 0) << file;
    }
}

TEST(RecordsFile, ASaveKilledAtAnyMomentLeavesOneWholeTable) {
    const TRecordTable first = DefaultRecords();
    TRecordTable second = first;
    InsertRecord(second, Rec("^2Killed", 500, 7, 4321));
    const TRecordTable* tables[] = {&first, &second};
    const auto firstBytes = Bytes(first), secondBytes = Bytes(second);
    ASSERT_EQ(firstBytes.size(), 960u);
    ExpectKilledSavesLeaveAWholeFile(
        MakeTempDir(), "Sys.rec", [&](const std::string& path, int which) { return WriteRecordsFile(path, *tables[which]); },
        firstBytes, secondBytes);
}

// ---- Replays.dat ----

std::vector<uint8_t> SomeReplay(int32_t firstTick) {
    return EncodeReplay({42, 1, false, false}, std::vector<TReplayClick>{{firstTick, 3, 4}, {firstTick + 80, 7, 2}});
}

TEST(ReplaysFile, ASaveKilledAtAnyMomentLeavesOneWholeFile) {
    const std::vector<TStoredReplay> first = {{Rec("^2One", 90), SomeReplay(5)}};
    const std::vector<TStoredReplay> second = {{Rec("^2One", 90), SomeReplay(5)}, {Rec("Two", 80), SomeReplay(9)}};
    const std::vector<TStoredReplay>* lists[] = {&first, &second};
    ExpectKilledSavesLeaveAWholeFile(
        MakeTempDir(), "Replays.dat",
        [&](const std::string& path, int which) { return WriteReplaysFile(path, *lists[which]); }, EncodeReplays(first),
        EncodeReplays(second));
}

// A result's replay follows its row through the table and the files; Sys.rec
// keeps its bytes; a row that leaves the table takes its replay with it.
TEST(ReplaysFile, AReplayFollowsItsRowAndSysRecKeepsItsBytes) {
    const std::string dir = MakeTempDir();
    {
        TLocalRecords records(dir + "/Sys.rec");
        records.Load();
        EXPECT_FALSE(std::filesystem::exists(dir + "/Replays.dat")) << "no replay, no file";
        records.Add("^2Played", 100, 9, 5000, SomeReplay(1));
        records.Add("Plain", 200, 3, 100);
        ASSERT_TRUE(records.Save());
        TRecordTable expected = DefaultRecords();
        InsertRecord(expected, Rec("^2Played", 100, 9, 5000));
        InsertRecord(expected, Rec("Plain", 200, 3, 100));
        EXPECT_EQ(FileBytes(dir + "/Sys.rec"), Bytes(expected));
    }
    TLocalRecords again(dir + "/Sys.rec");
    again.Load();
    ASSERT_EQ(again.Table()[1].Score, 100);
    ASSERT_NE(again.ReplayOf(1), nullptr);
    EXPECT_EQ(*again.ReplayOf(1), SomeReplay(1));
    EXPECT_EQ(again.ReplayOf(0), nullptr) << "a result added without one";
    for (size_t rank = 2; rank < kRecordCount; ++rank) EXPECT_EQ(again.ReplayOf(rank), nullptr);
    // Twenty better results push it out: its replay goes too.
    for (int i = 0; i < 20; ++i) again.Add("Better", 1000 + i, 1, 1, SomeReplay(i));
    ASSERT_TRUE(again.Save());
    TLocalRecords last(dir + "/Sys.rec");
    last.Load();
    EXPECT_EQ(DecodeReplays(FileBytes(dir + "/Replays.dat")).size(), 20u);
    for (size_t rank = 0; rank < kRecordCount; ++rank) {
        ASSERT_NE(last.ReplayOf(rank), nullptr);
        EXPECT_EQ(*last.ReplayOf(rank), SomeReplay(19 - static_cast<int>(rank)));
    }
}

TEST(ReplaysFile, HostileBytesKeepTheWholeEntriesBeforeTheFault) {
    const std::vector<TStoredReplay> stored = {{Rec("^2One", 90), SomeReplay(5)}, {Rec("Two", 80), SomeReplay(9)}};
    const std::vector<uint8_t> good = EncodeReplays(stored);
    std::string fault;
    ASSERT_EQ(DecodeReplays(good, &fault).size(), 2u);
    EXPECT_EQ(fault, "");
    // Cut anywhere: never read past, whole entries kept.
    // Header, then the first entry: its numbers and name length, "^2One", the replay's length, the replay.
    const size_t firstLengthAt = 6 + 13 + 5, firstReplayAt = firstLengthAt + 2;
    const size_t firstEnd = firstReplayAt + SomeReplay(5).size();
    for (size_t cut = 0; cut < good.size(); ++cut) {
        const auto kept = DecodeReplays(std::span(good).first(cut), &fault);
        EXPECT_EQ(kept.size(), cut >= firstEnd ? 1u : 0u) << "cut at " << cut;
        EXPECT_NE(fault, "");
    }
    std::vector<uint8_t> bytes = good;
    bytes[firstReplayAt] = 9; // the first replay's version
    const auto rest = DecodeReplays(bytes, &fault);
    ASSERT_EQ(rest.size(), 1u) << "a replay that does not decode is dropped, the next kept";
    EXPECT_EQ(rest[0].Row.Score, 80);
    bytes = good;
    bytes[5] = 21;
    EXPECT_TRUE(DecodeReplays(bytes, &fault).empty());
    bytes = good;
    bytes[6 + 12] = 33; // a name longer than a name can be
    EXPECT_TRUE(DecodeReplays(bytes, &fault).empty());
    bytes = good;
    bytes[firstLengthAt] = 0xFF; // a replay length beyond the bound
    bytes[firstLengthAt + 1] = 0xFF;
    EXPECT_TRUE(DecodeReplays(bytes, &fault).empty());
}

} // namespace
