// SDL start-up shared by the engine modules that talk to SDL (window, GL
// context, input, sound). Internal to the engine; game code never includes it.
//
// Every module starts the SDL subsystems it needs through SdlStart and stops
// them through SdlStop; SDL counts the starts, so the modules may come and go in
// any order. SDL is told to leave SIGINT and SIGTERM alone: the engine's main
// loop installs its own handlers for a clean quit.
#pragma once

#include <SDL.h>

#include <cstdint>

namespace qx {

// Starts the subsystems in flags (SDL_INIT_*); false when SDL cannot start them.
inline bool SdlStart(uint32_t flags) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(flags) == 0;
}

// Stops subsystems started with SdlStart (one stop per successful start).
inline void SdlStop(uint32_t flags) { SDL_QuitSubSystem(flags); }

// The event type by which the sound module's music player tells the window
// that a music file finished (it arrives on the audio thread).
inline uint32_t SdlMusicEvent() {
    static const uint32_t type = SDL_RegisterEvents(1);
    return type;
}

} // namespace qx
