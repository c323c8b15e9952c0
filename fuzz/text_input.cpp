// The typed-text filter: character messages (two bytes each: the character and
// the message's upper bits) go into the input text, which keeps only
// characters a name or console line may hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "app/scene.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StartTextInput("");
    for (size_t i = 0; i + 1 < size; i += 2) {
        const uint32_t upper = data[i + 1] & 0x80 ? uint32_t{data[i + 1]} << 24 : 0;
        InputChar(upper | data[i]);
    }
    const std::string text = StopTextInput();
    for (const char ch : text) {
        const auto c = static_cast<uint8_t>(ch);
        if (c < 32 || c == 64 || (c > 122 && c < 192)) std::abort();
    }
    if (text.size() > size / 2) std::abort();
    return 0;
}
