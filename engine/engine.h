// The engine-interface unit: the eleven engine globals through which all game
// code reaches the engine, and the few helpers the whole program shares.
//
// Ownership: InitEngine creates the log (opening the file when a name is
// given) and the engine root, which creates every other module; the globals are
// plain pointers into those objects. FreeEngine destroys them in the order snd,
// vec, net, vfp, tex, vbo, inp, ogl, wnd, eng, log, so the log, destroyed last,
// records every module's closing lines. All of them belong to the main thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/eng.h"
#include "engine/files.h"
#include "engine/inp.h"
#include "engine/log.h"
#include "engine/net.h"
#include "engine/ogl.h"
#include "engine/snd.h"
#include "engine/tex.h"
#include "engine/vbo.h"
#include "engine/vec.h"
#include "engine/vfp.h"
#include "engine/wnd.h"

namespace qx {

extern TEng* eng;
extern TLog* log;
extern TWnd* wnd;
extern TOGL* ogl;
extern TInp* inp;
extern TVBO* vbo;
extern TTex* tex;
extern TVFP* vfp;
extern TNet* net;
extern TVec* vec;
extern TSnd* snd;

// Creates the engine and fills the globals; a second call frees the first
// engine. An empty file name and no proc leave the log closed.
void InitEngine(const std::string& logFile, TLogProc logProc = nullptr);
// Releases the globals in the shutdown order; safe to call twice.
void FreeEngine();

struct TRGB {
    uint8_t r, g, b;
};

TRGB MakeRGB(uint8_t r, uint8_t g, uint8_t b);
// Red in bits 0-7, green 8-15, blue 16-23, alpha 24-31.
constexpr uint32_t PackRGBA(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return uint32_t{r} | (uint32_t{g} << 8) | (uint32_t{b} << 16) | (uint32_t{a} << 24);
}
// The four channels of a packed colour, red first.
constexpr std::array<uint8_t, 4> ColorBytes(uint32_t packed) {
    return {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8), static_cast<uint8_t>(packed >> 16),
            static_cast<uint8_t>(packed >> 24)};
}
// The packed colour with its alpha replaced.
constexpr uint32_t WithAlpha(uint32_t packed, uint8_t alpha) {
    return (packed & 0x00FFFFFFu) | (uint32_t{alpha} << 24);
}
// Makes a packed colour the current GL colour (glColor4ub).
void SetGLColor(uint32_t packed);

} // namespace qx
