// The TGA reader over a memory image: a decoded picture must own every byte
// its width, height and depth claim.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/image_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qx::image::TDecoded out;
    if (!qx::image::LoadTgaMem(data, size, out)) {
        if (out.pixels) std::abort();
        return 0;
    }
    if (!out.pixels || out.width <= 0 || out.height <= 0) std::abort();
    if (out.bpp != 8 && out.bpp != 24 && out.bpp != 32) std::abort();
    const size_t bytes = static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * (out.bpp / 8);
    // Touching both ends lets the address checker see a buffer shorter than claimed.
    volatile uint8_t sink = out.pixels[0];
    sink = out.pixels[bytes - 1];
    (void)sink;
    return 0;
}
