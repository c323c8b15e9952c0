// The engine-interface unit: creation and release of the engine globals.
#include "engine/engine.h"

#include <GL/gl.h>

#include <memory>

namespace qx {

TEng* eng = nullptr;
TLog* log = nullptr;
TWnd* wnd = nullptr;
TOGL* ogl = nullptr;
TInp* inp = nullptr;
TVBO* vbo = nullptr;
TTex* tex = nullptr;
TVFP* vfp = nullptr;
TNet* net = nullptr;
TVec* vec = nullptr;
TSnd* snd = nullptr;

namespace {
std::unique_ptr<TLog> ownedLog;
std::unique_ptr<TEng> ownedEng;

// Releases whatever is still alive when the process ends without FreeEngine.
struct TEngineFinalizer {
    ~TEngineFinalizer() { FreeEngine(); }
} finalizer;
} // namespace

void InitEngine(const std::string& logFile, TLogProc logProc) {
    if (eng) FreeEngine();
    ownedLog = std::make_unique<TLog>();
    log = ownedLog.get();
    if (!logFile.empty() || logProc) log->Open(logFile, logProc);
    ownedEng = std::make_unique<TEng>();
    eng = ownedEng.get();
    wnd = eng->Wnd();
    ogl = eng->OGL();
    inp = eng->Inp();
    vbo = eng->VBO();
    tex = eng->Tex();
    vfp = eng->VFP();
    net = eng->Net();
    vec = eng->Vec();
    snd = eng->Snd();
}

void FreeEngine() {
    // Modules first, in the shutdown order, then the root, then the log.
    if (ownedEng) ownedEng->ReleaseModules();
    ownedEng.reset();
    eng = nullptr;
    ownedLog.reset();
    log = nullptr;
}

TRGB MakeRGB(uint8_t r, uint8_t g, uint8_t b) { return {r, g, b}; }

void SetGLColor(uint32_t packed) {
    const std::array<uint8_t, 4> rgba = ColorBytes(packed);
    glColor4ub(rgba[0], rgba[1], rgba[2], rgba[3]);
}

} // namespace qx

// The executable exports one procedure that does nothing, named by the engine's
// banner, so the engine can be recognised from the outside. A quoted name in a
// .set carries escapes, so the export keeps the banner's CR LF pairs; the
// program's link exports this name alone.
__asm__(".text\n"
        ".type qx_banner_procedure, @function\n"
        "qx_banner_procedure:\n"
        "    ret\n"
        ".size qx_banner_procedure, . - qx_banner_procedure\n"
        ".set \"\\r\\n\\r\\n<<< Based on Quorvex >>>\\r\\n\\r\\n\", qx_banner_procedure\n"
        ".globl \"\\r\\n\\r\\n<<< Based on Quorvex >>>\\r\\n\\r\\n\"\n");
