// The game's folders: which layout an executable's surroundings give, where
// an installed game keeps the player's files, and making that folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/folders.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

// A prefix with bin/nivora and, when asked, share/nivora/Images and Images/ beside the program.
fs::path MakePrefix(bool installedData, bool imagesBesideProgram) {
    const fs::path prefix = MakeTempDir();
    fs::create_directories(prefix / "bin");
    std::ofstream(prefix / "bin" / "nivora") << "";
    if (installedData) fs::create_directories(prefix / "share" / "nivora" / "Images");
    if (imagesBesideProgram) fs::create_directories(prefix / "bin" / "Images");
    return prefix;
}

std::string Program(const fs::path& prefix) { return (prefix / "bin" / "nivora").string(); }

TEST(Folders, TheBuildFolderWorksInTheCurrentFolder) {
    // Images beside the program win even when an installed data folder is there too.
    for (const bool installedData : {false, true}) {
        const TFolders folders = TFolders::Choose(Program(MakePrefix(installedData, true)), "../share/nivora",
                                                  "/data", "/home/player");
        EXPECT_EQ(folders.layout, TFolders::Layout::BuildFolder);
        EXPECT_EQ(folders.data, "");
        EXPECT_EQ(folders.user, "");
        EXPECT_EQ(folders.screenShots, "../ScreenShots/");
        std::string error;
        EXPECT_TRUE(folders.Enter(error));
    }
    // Neither layout (a copied program, an unreadable /proc): as in the build folder.
    EXPECT_EQ(TFolders::Choose(Program(MakePrefix(false, false)), "../share/nivora", "/data", "/h").layout,
              TFolders::Layout::BuildFolder);
    EXPECT_EQ(TFolders::Choose("", "../share/nivora", "/data", "/h").layout, TFolders::Layout::BuildFolder);
}

TEST(Folders, AnInstalledGameReadsItsDataBesideBinAndKeepsFilesInTheDataHome) {
    const fs::path prefix = MakePrefix(true, false);
    const TFolders folders = TFolders::Choose(Program(prefix), "../share/nivora", "/xdg/data", "/home/player");
    EXPECT_EQ(folders.layout, TFolders::Layout::Installed);
    EXPECT_EQ(folders.data, (prefix / "share" / "nivora").string() + "/");
    EXPECT_EQ(folders.user, "/xdg/data/nivora/");
    EXPECT_EQ(folders.screenShots, "ScreenShots/");
}

TEST(Folders, WithoutAnAbsoluteXdgDataHomeTheFilesGoUnderHome) {
    const std::string program = Program(MakePrefix(true, false));
    // Unset, empty and relative values all fall back, as the XDG rules ask.
    for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative/data"}) {
        SCOPED_TRACE(xdg ? xdg : "(unset)");
        EXPECT_EQ(TFolders::Choose(program, "../share/nivora", xdg, "/home/player").user,
                  "/home/player/.local/share/nivora/");
    }
    // No HOME: the account's home folder.
    EXPECT_NE(TFolders::Choose(program, "../share/nivora", nullptr, nullptr).user, "");
}

class FoldersEnter : public ::testing::Test {
protected:
    void SetUp() override { start_ = fs::current_path(); }
    void TearDown() override { fs::current_path(start_); }

    TFolders Installed(const std::string& user) {
        TFolders folders;
        folders.layout = TFolders::Layout::Installed;
        folders.user = user;
        return folders;
    }

    fs::path start_;
};

TEST_F(FoldersEnter, MakesTheMissingFoldersPrivateAndWorksInThem) {
    const fs::path root = MakeTempDir();
    const fs::path user = root / "data" / "nivora";
    std::string error;
    ASSERT_TRUE(Installed(user.string() + "/").Enter(error)) << error;
    EXPECT_EQ(fs::current_path(), user);
    struct stat info {};
    ASSERT_EQ(::stat(user.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((root / "data").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // A second start finds the folder there.
    EXPECT_TRUE(Installed(user.string() + "/").Enter(error)) << error;
}

TEST_F(FoldersEnter, AFolderThatCannotBeMadeIsReportedAndTheCurrentFolderKept) {
    const fs::path root = MakeTempDir();
    std::ofstream(root / "file") << "x";
    std::string error;
    EXPECT_FALSE(Installed((root / "file" / "nivora").string() + "/").Enter(error));
    EXPECT_NE(error.find("is not a folder"), std::string::npos) << error;
    EXPECT_EQ(fs::current_path(), start_);
    EXPECT_FALSE(fs::exists(root / "file" / "nivora"));

    error.clear();
    EXPECT_FALSE(Installed("").Enter(error));
    EXPECT_NE(error.find("HOME"), std::string::npos) << error;
    EXPECT_EQ(fs::current_path(), start_);
}

} // namespace
