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

#include "app/clock.h"
#include "app/nav.h"
#include "app/scene.h"
#include "game/game_host.h"
#include "game/score_rec.h"
#include "presentation/tools.h"

enum class TCellState : uint8_t {
    Empty = 0,
    Full = 1,
    Error = 3,  // part of the overflow at game over
    Vanish = 4, // being removed by a wave
};

struct TCell {
    TCellState State = TCellState::Empty;
    uint8_t Color = 0;  // 1..Colors; meaningless while empty
    double Timer = 0;   // ticks left of the cell's wave animation
};

struct TParticle {
    Vec2 Pos;           // centre, view pixels
    Vec2 Vel;           // pixels per tick
    uint32_t Color = 0; // packed RGBA; alpha is replaced by the life when drawn
    double Life = 0;    // starts in 0.9..1.2, falls 0.01 per tick, dead at 0
};

class TGameScene : public TScene {
public:
    static constexpr int32_t kBoardSize = 50;       // storage per side; the game uses Columns x Rows
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
    [[nodiscard]] int32_t CountGroup(int32_t px, int32_t py); // size of the same-colour group under the pixel
    int32_t RemoveGroup(int32_t px, int32_t py); // starts its vanishing wave; the group's size
    void MarkOverflow(int32_t c, int32_t r);     // every connected full cell becomes an overflow cell
    bool Settle();                               // one gravity pass; true when it counts as settled
    [[nodiscard]] bool TopRowFull() const;       // a full cell stands in the top row
    void AddRow();                               // lifts every column, a random row at the bottom
    void EndGame();
    void AddParticle(const Vec2& pos, const Vec2& vel, uint32_t color); // dropped when the table is full

    // ---- State (fields of the running game) ----
    TCell Board[kBoardSize + 1][kBoardSize + 1]{};  // [column][row], index 0 unused
    std::array<uint32_t, 4> CellColors{};           // packed RGBA per colour 1..3
    std::array<TParticle, kMaxParticles + 1> Particles{}; // 1..ParticleCount in use
    int32_t Colors = 3;
    int32_t ParticleCount = 0;
    int32_t Columns = 10;
    int32_t Rows = 20;
    bool GameOver = false;
    int32_t TickCount = 0;      // only its remainder modulo 5 matters
    TScoreRec Best;             // shown in the side panel
    TScoreRec Cur;              // the running game; Time banks the paused stretches
    double WaveTimer = 0;       // ticks until the wave or the closing pause is over
    bool Busy = false;          // a removal wave runs: no clicks, no gravity
    bool SettlePending = false; // a wave ended: the next settled board gets a new row
    std::unique_ptr<TClock> Clock;

private:
    struct TQueueEntry {
        int32_t c = 0, r = 0, depth = 0;
    };
    enum class TSearch { Count, Remove, Overflow };

    // The columns and rows in use, held to the storage.
    int32_t LastColumn() const { return std::clamp(Columns, 0, kBoardSize); }
    int32_t LastRow() const { return std::clamp(Rows, 0, kBoardSize); }
    bool OnBoard(int32_t c, int32_t r) const { return c >= 1 && c <= LastColumn() && r >= 1 && r <= LastRow(); }
    // The first column whose top-row cell is full; 0 when none (or the top row is not stored).
    int32_t FirstFullTopColumn() const;

    // Breadth-first search from (c, r); fills Queue[0..result) and returns the count taken.
    int32_t Search(int32_t c, int32_t r, TSearch kind);
    // The wave over the cells Search took: each turns to state with a timer of
    // 10 ticks per step from the start; WaveTimer becomes the longest.
    void StartWave(int32_t taken, TCellState state);
    bool Takes(int32_t c, int32_t r, TSearch kind, uint8_t color) const;
    // The cursor to the centre of the neighbouring cell, dy = 1 being down the
    // screen; held at the board's edges, and from outside onto the nearest cell.
    void StepCursor(int32_t dx, int32_t dy);
    void EmitSparks(int32_t c, int32_t r);
    void MoveParticles();
    void ClosingStep();
    void DrawCell(const TCell& cell, const Vec2& pos) const;
    void DrawPanel();
    void PanelLine(double y, std::string_view label, std::string_view value);
    // Title, name, score, level and time (seconds), one line each from top down.
    void PanelBlock(double top, std::string_view title, std::string_view name, int32_t score, int32_t level,
                    double seconds);

    TGameHost* Host;
    TNav Nav;
    bool Marks[kBoardSize + 1][kBoardSize + 1]{};
    std::array<TQueueEntry, kBoardSize * kBoardSize> Queue{};
    std::string LineText;  // panel line being built; capacity reserved once
    std::string ValueText; // number being formatted; capacity reserved once
};
