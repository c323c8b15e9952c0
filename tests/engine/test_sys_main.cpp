// Streams, file handles and text helpers.
#include <gtest/gtest.h>

#include <fstream>

#include "engine/engine.h"
#include "tests/test_support.h"

namespace {

TEST(MemoryStream, ReadsStopAtTheEnd) {
    const char data[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    qx::TMemoryStream stream(data, sizeof data);
    ASSERT_TRUE(stream.Valid());
    char buffer[4] = {};
    stream.Seek(8);
    EXPECT_EQ(stream.Read(buffer, 4), 2u);
    EXPECT_EQ(buffer[0], 8);
    EXPECT_EQ(buffer[1], 9);
    EXPECT_EQ(stream.Read(buffer, 4), 0u);
    EXPECT_EQ(stream.Position(), 10);
}

TEST(MemoryStream, SeekPastTheEndReadsNothing) {
    const char data[4] = {1, 2, 3, 4};
    qx::TMemoryStream stream(data, sizeof data);
    stream.Seek(100);
    char buffer[4] = {};
    EXPECT_EQ(stream.Read(buffer, 4), 0u);
    qx::TMemoryStream empty(nullptr, 16);
    EXPECT_FALSE(empty.Valid());
    EXPECT_EQ(empty.Read(buffer, 4), 0u);
}

TEST(FileStream, MissingFileIsNotValidAndReadsNothing) {
    qx::TFileStream stream(MakeTempDir() + "/nothing-here");
    EXPECT_FALSE(stream.Valid());
    char buffer[4] = {};
    EXPECT_EQ(stream.Read(buffer, 4), 0u);
    EXPECT_EQ(stream.Size(), 0);
}

TEST(FileStream, ReadsWhatFileFunctionsWrote) {
    const std::string path = MakeTempDir() + "/data.bin";
    int handle = qx::FileOpen(path, true);
    ASSERT_TRUE(qx::FileValid(handle));
    EXPECT_EQ(qx::FileWrite(handle, "abcdef", 6), 6u);
    qx::FileClose(handle);
    EXPECT_FALSE(qx::FileValid(handle));
    qx::FileClose(handle); // closing twice is harmless

    qx::TFileStream stream(path);
    ASSERT_TRUE(stream.Valid());
    EXPECT_EQ(stream.Size(), 6);
    stream.Seek(2);
    char buffer[8] = {};
    EXPECT_EQ(stream.Read(buffer, 8), 4u);
    EXPECT_STREQ(buffer, "cdef");
    EXPECT_TRUE(qx::FileExists(path));
    EXPECT_FALSE(qx::FileExists(path + ".nope"));
}

TEST(Text, StrToIntAcceptsDecimalAndHexAndGivesZeroForMalformedText) {
    EXPECT_EQ(qx::StrToInt("42"), 42);
    EXPECT_EQ(qx::StrToInt("  -17"), -17);
    EXPECT_EQ(qx::StrToInt("+8"), 8);
    EXPECT_EQ(qx::StrToInt("$1F"), 31);
    EXPECT_EQ(qx::StrToInt("0x10"), 16);
    EXPECT_EQ(qx::StrToInt("-2147483648"), INT32_MIN);
    for (const char* bad : {"", "abc", "12x", "-", "0x", "99999999999", "2147483648", " 1 2"})
        EXPECT_EQ(qx::StrToInt(bad), 0) << bad;
}

TEST(Text, LowerCaseTouchesOnlyLatinAndCyrillicCapitals) {
    const std::string text = "AbZ09!\xC0\xDF\xE0\xFF";
    EXPECT_EQ(qx::LowerCase(text), "abz09!\xE0\xFF\xE0\xFF");
}

TEST(Text, ExtractFileExtTakesTheTextAfterTheLastDot) {
    EXPECT_EQ(qx::ExtractFileExt("a.b.tga"), "tga");
    EXPECT_EQ(qx::ExtractFileExt("noext"), "");
    EXPECT_EQ(qx::ExtractFileExt("Images/Cell.TGA"), "TGA");
    EXPECT_EQ(qx::IntToStr(-5), "-5");
}

} // namespace
