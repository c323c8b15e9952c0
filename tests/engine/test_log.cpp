// The log's line format and its behaviour around opening and closing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "engine/engine.h"
#include "tests/test_support.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string procLines;
void CollectLine(const char* line) { procLines += line; }

TEST(LogFormat, PadsTheGapWithDashesToSevenCharacters) {
    EXPECT_EQ(qx::FormatLogLine("Engine  : x", true, 15), "[-----15] Engine  : x\r\n");
    EXPECT_EQ(qx::FormatLogLine("m", true, 0), "[------0] m\r\n");
    EXPECT_EQ(qx::FormatLogLine("m", true, 1234567), "[1234567] m\r\n");   // seven digits: no dashes
    EXPECT_EQ(qx::FormatLogLine("m", true, 12345678), "[12345678] m\r\n"); // eight digits: not cut
    EXPECT_EQ(qx::FormatLogLine("m", false, 99), "m\r\n");
}

TEST(Log, WritesStartLineFirstAndCloseLineLast) {
    const std::string path = MakeTempDir() + "/log.txt";
    {
        qx::TLog log;
        log.TimeStamp(false);
        ASSERT_TRUE(log.Open(path));
        log.Print("Engine  : hello");
    }
    EXPECT_EQ(ReadFile(path), "\"Quorvex 0.80\" log start\r\nEngine  : hello\r\n\"Quorvex 0.80\" log close\r\n");
}

TEST(Log, PrintBeforeOpenWritesNothingAndDoesNotFail) {
    qx::TLog log;
    log.Print("nobody hears this");
    EXPECT_FALSE(log.IsOpen());
}

TEST(Log, SecondOpenStartsANewFileAndKeepsTheProcedure) {
    const std::string dir = MakeTempDir();
    procLines.clear();
    qx::TLog log;
    log.TimeStamp(false);
    ASSERT_TRUE(log.Open(dir + "/first.txt", CollectLine));
    log.Print("one");
    ASSERT_TRUE(log.Open(dir + "/second.txt")); // no procedure: the old one stays
    log.Print("two");
    log.Close();
    EXPECT_EQ(ReadFile(dir + "/first.txt"), "\"Quorvex 0.80\" log start\r\none\r\n");
    EXPECT_EQ(ReadFile(dir + "/second.txt"), "\"Quorvex 0.80\" log start\r\ntwo\r\n");
    EXPECT_EQ(procLines, "\"Quorvex 0.80\" log start\r\none\r\n\"Quorvex 0.80\" log start\r\ntwo\r\n");
}

TEST(Log, AFileThatCannotBeCreatedLeavesOnlyTheProcedure) {
    const std::string dir = MakeTempDir();
    procLines.clear();
    qx::TLog log;
    EXPECT_FALSE(log.Open(dir + "/missing-folder/log.txt", CollectLine));
    log.TimeStamp(false);
    log.Print("still logged");
    EXPECT_NE(procLines.find("still logged\r\n"), std::string::npos);
}

TEST(Log, ASecondWriterOfTheSameFileIsRefused) {
    // Like a second running copy of the game: the first keeps its log intact.
    const std::string path = MakeTempDir() + "/log.txt";
    qx::TLog first;
    first.TimeStamp(false);
    ASSERT_TRUE(first.Open(path));
    first.Print("first copy");
    qx::TLog second;
    EXPECT_FALSE(second.Open(path));
    EXPECT_NE(ReadFile(path).find("first copy"), std::string::npos);
    EXPECT_FALSE(qx::FileExists(path)); // held for writing: not readable by others
}

} // namespace
