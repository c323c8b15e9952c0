// Counts the frames a program presents, from outside it: loaded with
// LD_PRELOAD, it stands in front of SDL's SDL_GL_SwapWindow, passes every call
// on, and once a second appends "seconds frames" (a monotonic clock, the frames
// presented since the last line) to the file SWAP_COUNTER_LOG names (stderr
// without it). The game's own FPS line counts the same presents.
// Used by bench/frame_rates.sh; nothing here is part of the game.
#include <dlfcn.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>

namespace {

using TSwap = void (*)(void*);

TSwap nextSwap = nullptr;
FILE* out = nullptr;
long frames = 0;
double secondStart = 0;

double Seconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void Start() {
    nextSwap = reinterpret_cast<TSwap>(dlsym(RTLD_NEXT, "SDL_GL_SwapWindow"));
    const char* path = std::getenv("SWAP_COUNTER_LOG");
    out = path ? std::fopen(path, "a") : nullptr;
    if (!out) out = stderr;
    secondStart = Seconds();
}

} // namespace

extern "C" __attribute__((visibility("default"))) void SDL_GL_SwapWindow(void* window) {
    if (!nextSwap) Start();
    if (nextSwap) nextSwap(window);
    ++frames;
    const double now = Seconds();
    if (now - secondStart >= 1.0) {
        std::fprintf(out, "%.3f %ld\n", now, frames);
        std::fflush(out);
        frames = 0;
        secondStart = now;
    }
}
