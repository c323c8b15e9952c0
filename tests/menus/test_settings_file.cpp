// Settings.dat: its bytes, the profile cut, files that are missing, short (the
// fields they hold are read), hostile or unreadable, and a save that cannot be made.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "menus/settings_file.h"
#include "tests/test_support.h"

namespace {

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(SettingsFile, BytesOfTheLayout) {
    const auto bytes = EncodeSettings({"^2Bob", false, true});
    std::vector<uint8_t> expected(44, 0);
    expected[4] = 5;
    for (size_t i = 0; i < 5; ++i) expected[5 + i] = static_cast<uint8_t>("^2Bob"[i]);
    expected[37] = 0;
    expected[38] = 1;
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.end()), expected);
    EXPECT_EQ(EncodeSettings({"", true, false})[37], 1);
}

TEST(SettingsFile, AProfileOf33CharactersComesBackCutTo32) {
    const std::string path = MakeTempDir() + "/Settings.dat";
    const std::string profile = "^2" + std::string(31, 'q');
    ASSERT_TRUE(WriteSettingsFile(path, {profile, false, false}));
    EXPECT_EQ(std::filesystem::file_size(path), 44u);

    TSettings loaded;
    ASSERT_TRUE(ReadSettingsFile(path, loaded));
    EXPECT_EQ(loaded.Profile, profile.substr(0, 32));
    EXPECT_FALSE(loaded.ShowFPS);
    EXPECT_FALSE(loaded.ActiveMenu);
}

TEST(SettingsFile, MissingShortOrHostileFilesLeaveTheDefaultsForWhatTheyLack) {
    const std::string path = MakeTempDir() + "/Settings.dat";
    const TSettings defaults{"^3player", true, true};
    TSettings settings = defaults;
    bool unreadable = true;
    EXPECT_FALSE(ReadSettingsFile(path, settings, &unreadable));
    EXPECT_FALSE(unreadable) << "missing is not unreadable";

    // Cut inside the profile: nothing whole but the length byte.
    const auto image = EncodeSettings({"^2Bobby", false, false});
    WriteBytes(path, std::vector<uint8_t>(image.begin(), image.begin() + 10));
    EXPECT_FALSE(ReadSettingsFile(path, settings));
    EXPECT_EQ(settings.Profile, defaults.Profile);
    EXPECT_TRUE(settings.ShowFPS && settings.ActiveMenu);
    EXPECT_NE(TestLogText().find("Settings: " + path + " has 10 of 44 bytes; the fields it holds are used"),
              std::string::npos);
    // Cut after Show FPS: the profile and Show FPS are read, Active menu stays.
    WriteBytes(path, std::vector<uint8_t>(image.begin(), image.begin() + 38));
    EXPECT_FALSE(ReadSettingsFile(path, settings));
    EXPECT_EQ(settings.Profile, "^2Bobby");
    EXPECT_FALSE(settings.ShowFPS);
    EXPECT_TRUE(settings.ActiveMenu);
    settings = defaults;

    // A length of 255 is clamped to the 32-byte field; bytes past 44 are ignored.
    std::vector<uint8_t> hostile(60, 'z');
    hostile[4] = 255;
    hostile[37] = 0;
    hostile[38] = 7;
    WriteBytes(path, hostile);
    ASSERT_TRUE(ReadSettingsFile(path, settings));
    EXPECT_EQ(settings.Profile, std::string(32, 'z'));
    EXPECT_FALSE(settings.ShowFPS);
    EXPECT_TRUE(settings.ActiveMenu);

    // A folder where the file should be is reported, not read.
    const std::string folder = MakeTempDir();
    settings = defaults;
    EXPECT_FALSE(ReadSettingsFile(folder, settings, &unreadable));
    EXPECT_TRUE(unreadable);
    EXPECT_EQ(settings.Profile, defaults.Profile);
    EXPECT_NE(TestLogText().find("Settings: Cannot read " + folder + ": it is a folder"), std::string::npos);
}

TEST(SettingsFile, AFailedSaveIsLoggedWithItsReason) {
    const std::string dir = MakeTempDir();
    WriteBytes(dir + "/file", {1});
    EXPECT_FALSE(WriteSettingsFile(dir + "/file/Settings.dat", {"^2Bob", true, true}));
    EXPECT_NE(TestLogText().find("Settings: Cannot save " + dir + "/file/Settings.dat: cannot create a temporary file in " +
                                 dir + "/file: Not a directory; the previous file is kept"),
              std::string::npos);
}

} // namespace
