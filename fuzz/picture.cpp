// The picture decoder wrapper (BMP, JPEG, GIF) over a memory image: a decoded
// picture is 24-bit and owns every byte its size claims.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "engine/image_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qx::image::TDecoded out;
    if (!qx::image::LoadPictureMem(data, size, out)) {
        if (out.pixels) std::abort();
        return 0;
    }
    if (!out.pixels || out.width <= 0 || out.height <= 0 || out.bpp != 24) std::abort();
    if (int64_t{out.width} * out.height > qx::image::kMaxPixels) std::abort();
    const size_t bytes = static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * 3;
    // Reading every byte lets the memory checkers see pixels the decoder never wrote.
    uint32_t sum = 0;
    for (size_t i = 0; i < bytes; ++i) sum += out.pixels[i];
    volatile uint32_t sink = sum;
    (void)sink;
    return 0;
}
