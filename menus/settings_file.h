// The player's settings and their file, Settings.dat: 44 bytes in a fixed
// layout other copies of the game read.
//
// Layout: bytes 0-3 reserved; 4 the profile length (0..32); 5-36 the profile's
// characters, colour code included (unused ones 0); 37 ShowFPS and 38
// ActiveMenu (0 off, 1 on); 39-43 reserved. Reserved bytes are written as 0 and
// ignored when read. A file shorter than 44 bytes gives the fields it holds
// whole and leaves the others as they were (the defaults at start-up); an
// unreadable one leaves them all. A failed write is logged ("Settings: ") and
// leaves the previous file whole.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

constexpr size_t kSettingsFileBytes = 44;
constexpr size_t kProfileCapacity = 32; // characters kept in the file

struct TSettings {
    std::string Profile; // as shown, colour code included
    bool ShowFPS = true;
    bool ActiveMenu = true;
};

// The file image; the profile is cut to its first 32 characters.
std::array<uint8_t, kSettingsFileBytes> EncodeSettings(const TSettings& settings);
// Fills settings from a file image (a length above 32 is clamped, any non-zero
// flag byte is on). Each field the bytes hold whole is used, the others are
// left alone (the profile needs its length and all its characters); true only
// for a whole image of 44 bytes or more.
bool DecodeSettings(std::span<const uint8_t> bytes, TSettings& settings);
// Reads path into settings as DecodeSettings does; false when the file is
// missing, short or unreadable, with a log line unless it simply does not
// exist. `unreadable` (when given) tells a file that exists but cannot be read,
// which must not be written over with settings that never saw it.
bool ReadSettingsFile(const std::string& path, TSettings& settings, bool* unreadable = nullptr);
// Replaces the file atomically; false (with a log line saying why) on failure.
bool WriteSettingsFile(const std::string& path, const TSettings& settings);
