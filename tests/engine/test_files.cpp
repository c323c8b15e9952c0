// Streams, file handles and text helpers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

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

TEST(Streams, ANegativeSeekIsRefusedByFileAndMemoryAlike) {
    const std::string path = MakeTempDir() + "/data.bin";
    std::ofstream(path, std::ios::binary) << "abcdef";
    qx::TFileStream file(path);
    qx::TMemoryStream memory("abcdef", 6);
    for (qx::TStream* stream : {static_cast<qx::TStream*>(&file), static_cast<qx::TStream*>(&memory)}) {
        char buffer[2] = {};
        ASSERT_EQ(stream->Read(buffer, 2), 2u);
        stream->Seek(-1);
        EXPECT_EQ(stream->Position(), 2) << "the position stays";
        ASSERT_EQ(stream->Read(buffer, 1), 1u);
        EXPECT_EQ(buffer[0], 'c');
    }
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

std::string FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

size_t FilesIn(const std::string& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(SaveFileAtomic, ReplacesTheFileWholeKeepingItsPermissions) {
    const std::string dir = MakeTempDir();
    const std::string path = dir + "/data.bin";
    ASSERT_TRUE(qx::SaveFileAtomic(path, "first version", 13));
    EXPECT_EQ(FileText(path), "first version");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    std::string error = "stale";
    ASSERT_TRUE(qx::SaveFileAtomic(path, "second", 6, &error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(FileText(path), "second");
    EXPECT_EQ(std::filesystem::status(path).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(FilesIn(dir), 1u); // no temporary left beside it

    ASSERT_TRUE(qx::SaveFileAtomic(path, nullptr, 0));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST(SaveFileAtomic, AFolderThatIsAFileFailsWithTheReason) {
    const std::string dir = MakeTempDir();
    ASSERT_TRUE(qx::SaveFileAtomic(dir + "/plain", "x", 1));
    std::string error;
    EXPECT_FALSE(qx::SaveFileAtomic(dir + "/plain/data.bin", "abc", 3, &error));
    EXPECT_EQ(error, "cannot create a temporary file in " + dir + "/plain: Not a directory");
    EXPECT_FALSE(qx::SaveFileAtomic(dir + "/", "abc", 3, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(FilesIn(dir), 1u);
}

// A disk that fills up mid-write, made real with a file-size limit, which binds root too.
TEST(SaveFileAtomic, AWriteCutShortRemovesTheTemporaryAndKeepsTheOldFile) {
    const std::string dir = MakeTempDir();
    const std::string path = dir + "/data.bin";
    const std::string old(300, 'o');
    ASSERT_TRUE(qx::SaveFileAtomic(path, old.data(), old.size()));

    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 100;
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(3);
        const std::string replacement(960, 'n');
        std::string error;
        if (qx::SaveFileAtomic(path, replacement.data(), replacement.size(), &error)) _exit(1);
        _exit(error.find(": File too large") != std::string::npos ? 0 : 2);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: reported success, 2: no reason, 3: no limit";
    EXPECT_EQ(FileText(path), old);
    EXPECT_EQ(FilesIn(dir), 1u);
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
