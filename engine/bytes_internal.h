// Little-endian numbers read from bytes, the same on any host: the file formats
// the engine decodes (TGA, BMP, WAV) store theirs this way.
//
// The caller has already checked that the bytes are there; these only assemble them.
#pragma once

#include <cstdint>

namespace qx {

// The 16-bit value whose low byte is at p.
constexpr uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// The 32-bit value whose low byte is at p.
constexpr uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

} // namespace qx
