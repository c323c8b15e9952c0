// The Settings.dat reader: a short image changes only the fields it holds,
// and whatever it reads whole must come back unchanged through the writer's layout.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "menus/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TSettings settings;
    settings.Profile = "unchanged";
    const TSettings before = settings;
    if (!DecodeSettings(std::span<const uint8_t>(data, size), settings)) {
        if (size >= kSettingsFileBytes || settings.Profile.size() > kProfileCapacity) std::abort();
        // The flags sit at 37 and 38: an image that ends before one leaves it.
        if ((size <= 37 && settings.ShowFPS != before.ShowFPS) ||
            (size <= 38 && settings.ActiveMenu != before.ActiveMenu))
            std::abort();
        return 0;
    }
    if (size < kSettingsFileBytes || settings.Profile.size() > kProfileCapacity) std::abort();
    const auto image = EncodeSettings(settings);
    TSettings again;
    if (!DecodeSettings(image, again) || again.Profile != settings.Profile || again.ShowFPS != settings.ShowFPS ||
        again.ActiveMenu != settings.ActiveMenu)
        std::abort();
    return 0;
}
