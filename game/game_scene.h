// The puzzle: a board of ten columns by twenty rows in three colours. A click
// on a 4-connected group of three or more cells of one colour removes it in a
// wave spreading from the clicked cell; the board settles, a new row rises
// from the bottom and the level goes up. A cell in the top row of a settled
// board ends the game: the overflow turns grey, the result is recorded and the
// score counts down with confetti before control returns to the menu.
//
// Without a mouse: the arrow keys and the gamepad move the cursor to the centre
// of the neighbouring cell (from outside the board, to the nearest cell), and
// Space, Enter or gamepad button 0 act on the cell under it as a left click
// does; gamepad button 1 pauses as Esc does.
//
// The rules themselves live in TBoardRules, which the scene derives from (the
// score server replays games with the same code); the scene adds the clock,
// input, particles and drawing, and records each game (Played) so that its
// result can be replayed.
//
// Words: a "tick" is one 10 ms update step; every timer counts ticks. Cells and
// particles are 1-based ([column][row], row 1 at the bottom). Everything lives
// in fixed tables: play and drawing allocate nothing. Nothing here fails; a
// click that hits no group only clears the key flags.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "app/clock.h"
#include "app/nav.h"
#include "app/scene.h"
#include "game/board_rules.h"
#include "game/game_host.h"
#include "game/replay.h"
#include "game/score_rec.h"
#include "presentation/text.h"
#include "presentation/tools.h"

struct TParticle {
    Vec2 Pos;           // centre, view pixels
    Vec2 Vel;           // pixels per tick
    uint32_t Color = 0; // packed RGBA; alpha is replaced by the life when drawn
    double Life = 0;    // starts in 0.9..1.2, falls 0.01 per tick, dead at 0
};

class TGameScene : public TScene, public TBoardRules {
public:
    static constexpr int32_t kMaxParticles = 10000;
    static constexpr int32_t kCellSize = 32;        // pixels, both directions

    explicit TGameScene(TGameHost& host); // joins the scene list as "Game Scene"
    ~TGameScene() override;               // the records save themselves

    // ---- The game as the menus drive it ----
    void NewGame(int32_t fullBoard); // fresh board (every cell filled when fullBoard > 0), then Resume
    void Pause();                    // banks play time, clears the keys, the menu becomes current
    void Resume();                   // the clock runs, the game scene becomes current
    bool IsRunning() const;          // the play clock runs
    void Update() override;          // one tick
    void Render() override;          // one frame

    void SetHost(TGameHost& host);               // another host; Cur.Name follows its player name
    void SetClock(std::unique_ptr<TClock> clock); // another stopwatch (tests use a manual one)

    // ---- Board geometry (view pixels, y down) ----
    [[nodiscard]] Vec2 CellPos(int32_t c, int32_t r) const;    // top-left corner of cell (c, r)
    [[nodiscard]] IntPoint CellAt(double px, double py) const; // the cell under a pixel; may lie off the board

    // ---- Rule steps (Update runs them; public so a game can be staged) ----
    // The rest (MarkOverflow, Settle, TopRowFull, AddRow) are the board's rules as they stand.
    [[nodiscard]] int32_t CountGroup(int32_t px, int32_t py); // size of the same-colour group under the pixel
    int32_t RemoveGroup(int32_t px, int32_t py); // starts its vanishing wave; the group's size
    void EndGame();
    void AddParticle(const Vec2& pos, const Vec2& vel, uint32_t color); // dropped when the table is full

    // ---- State of the scene (the board's is TBoardRules') ----
    std::array<uint32_t, 4> CellColors{};           // packed RGBA per colour 1..3
    std::array<TParticle, kMaxParticles + 1> Particles{}; // 1..ParticleCount in use
    int32_t ParticleCount = 0;
    TScoreRec Best;             // shown in the side panel
    std::unique_ptr<TClock> Clock;
    TReplayRecorder Played;     // the running game's seed and clicks

protected:
    void CellSparks(int32_t c, int32_t r) override { EmitSparks(c, r); }

private:
    // The cursor to the centre of the neighbouring cell, dy = 1 being down the
    // screen; held at the board's edges, and from outside onto the nearest cell.
    void StepCursor(int32_t dx, int32_t dy);
    void EmitSparks(int32_t c, int32_t r);
    void MoveParticles();
    void ClosingStep();
    // The board's quads by image: the grey cells and the grey under a fading
    // cell, the error cells, the whole cells, then the colours fading over the grey.
    enum TCellLayer { kClearLayer, kErrorLayer, kCellLayer, kFadeLayer, kCellLayers };
    // What a cell shows, bottom first: one quad, or a grey one under a fading colour.
    struct TCellLook {
        int32_t Count = 0;
        std::array<std::pair<int32_t, TRGBA>, 2> Quads{}; // layer, colour
    };
    TCellLook LookOf(const TCell& cell) const;
    void DrawBoard();
    void DrawPanel();
    void PanelLine(double y, std::string_view label, std::string_view value);
    // Title, name, score, level and time (seconds), one line each from top down.
    void PanelBlock(double top, std::string_view title, std::string_view name, int32_t score, int32_t level,
                    double seconds);

    TGameHost* Host;
    TNav Nav;
    std::string LineText;  // panel line being built; capacity reserved once
    std::string ValueText; // number being formatted; capacity reserved once
    TQuadBatch CellQuads{256}; // the board's quads of one image at a time
};
