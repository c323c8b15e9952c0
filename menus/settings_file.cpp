// The settings file bytes.
#include "menus/settings_file.h"

#include <algorithm>

#include "engine/files.h"
#include "menus/stored_file.h"

namespace {

constexpr const char* kTag = "Settings: ";
constexpr size_t kProfileLengthAt = 4, kProfileAt = 5, kShowFPSAt = 37, kActiveMenuAt = 38;

} // namespace

std::array<uint8_t, kSettingsFileBytes> EncodeSettings(const TSettings& settings) {
    std::array<uint8_t, kSettingsFileBytes> bytes{};
    const size_t length = std::min(settings.Profile.size(), kProfileCapacity);
    bytes[kProfileLengthAt] = static_cast<uint8_t>(length);
    std::copy_n(settings.Profile.begin(), length, bytes.begin() + kProfileAt);
    bytes[kShowFPSAt] = settings.ShowFPS ? 1 : 0;
    bytes[kActiveMenuAt] = settings.ActiveMenu ? 1 : 0;
    return bytes;
}

bool DecodeSettings(std::span<const uint8_t> bytes, TSettings& settings) {
    if (bytes.size() > kProfileLengthAt) {
        const size_t length = std::min<size_t>(bytes[kProfileLengthAt], kProfileCapacity);
        if (bytes.size() >= kProfileAt + length)
            settings.Profile.assign(reinterpret_cast<const char*>(bytes.data() + kProfileAt), length);
    }
    if (bytes.size() > kShowFPSAt) settings.ShowFPS = bytes[kShowFPSAt] != 0;
    if (bytes.size() > kActiveMenuAt) settings.ActiveMenu = bytes[kActiveMenuAt] != 0;
    return bytes.size() >= kSettingsFileBytes;
}

bool ReadSettingsFile(const std::string& path, TSettings& settings, bool* unreadable) {
    if (unreadable) *unreadable = false;
    std::array<uint8_t, kSettingsFileBytes> bytes{};
    size_t count = 0;
    std::string reason;
    switch (ReadStoredFile(path, bytes, count, reason)) {
    case TStoredRead::Missing:
        return false;
    case TStoredRead::Failed:
        LogStored(kTag, "Cannot read " + path + ": " + reason + "; the defaults stay");
        if (unreadable) *unreadable = true;
        return false;
    case TStoredRead::Read:
        break;
    }
    if (!DecodeSettings(std::span(bytes).first(count), settings)) {
        LogStored(kTag, path + " has " + qx::IntToStr(static_cast<int32_t>(count)) + " of " +
                            qx::IntToStr(kSettingsFileBytes) + " bytes; the fields it holds are used");
        return false;
    }
    return true;
}

bool WriteSettingsFile(const std::string& path, const TSettings& settings) {
    return SaveStoredFile(kTag, path, EncodeSettings(settings));
}
