// The game's images, loaded once at start-up into the texture manager and kept
// for the program's life. Each handle is the GL texture name, 0 when its file
// was missing or unreadable (the texture manager logs that; drawing 0 binds
// its placeholder, so the game goes on).
#pragma once

#include <cstdint>
#include <string>

namespace res {

extern uint32_t Cell;             // board cells
extern uint32_t Spark;            // particles, menu background
extern uint32_t WinterForestTree; // menu background
extern uint32_t Xlam;             // menu background
extern uint32_t ErrorCell;        // overflow cells
extern uint32_t CellClear;        // empty and vanishing cells
extern uint32_t Cursor;           // the shared mouse cursor
extern uint32_t Smoke;            // background scene
extern uint32_t Light;            // background scene
extern uint32_t Logo;             // menu background, background scene
extern uint32_t Back;             // loaded, not drawn
extern uint32_t Moon;             // menu background
extern uint32_t SelTex;           // the menus' highlight bar
extern uint32_t Msg;              // the records screens' message panel
extern uint32_t Snow;             // loaded, not drawn

} // namespace res

// "Images/" + name + ".tga": repeating edges, mip-mapped, group 0; 0 on failure.
[[nodiscard]] uint32_t LoadImage(const std::string& name);
// Loads every image above in a fixed order into its handle.
void LoadResources();
