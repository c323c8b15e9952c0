// The shader file's section splitter. The first byte is the length of the
// section name to select, taken from the bytes after it; the rest is the file.
// Every section handed on must be a piece of the file's lines; the first byte's
// top bit makes the compiler refuse the second section, as a failed compile does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/vfp_sections_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t nameLength = std::min<size_t>(data[0] & 0x1F, size - 1);
    const bool refuseSecond = data[0] & 0x80;
    const std::string name(reinterpret_cast<const char*>(data) + 1, nameLength);
    const std::string text(reinterpret_cast<const char*>(data) + 1 + nameLength, size - 1 - nameLength);
    int sections = 0;
    size_t handed = 0;
    const bool attached = qx::SplitShaderSections(text, name, [&](const std::string& source, bool) {
        if (source.empty()) std::abort();
        handed += source.size();
        return !(refuseSecond && ++sections == 2);
    });
    // Each line gains at most one byte (LF to CR LF), so the sections cannot outgrow the file twice over.
    if (handed > 2 * text.size()) std::abort();
    if (attached && handed == 0) std::abort();
    return 0;
}
