// The board's rules on their own: the deal, the group searches and scoring,
// gravity, the rising rows, the overflow and the bookkeeping of the closing
// sequence. No engine, no drawing, no clock and no input: the game scene runs
// them once per tick, and the score server runs the same code to replay a
// game from its seed and clicks.
//
// Words: a "tick" is one 10 ms update step. Cells are 1-based [column][row],
// row 1 at the bottom; clicks name cells, not pixels. Colours come from the
// game's own generator (TDealRandom), seeded once per deal, so a deal and its
// rising rows follow from the seed alone. Everything lives in fixed tables:
// nothing here allocates, and nothing fails.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "game/score_rec.h"

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

// The game's own generator (SplitMix64): the same numbers for a seed on every
// machine and compiler, which the standard library's distributions do not promise.
class TDealRandom {
public:
    void Seed(uint64_t seed) { State = seed; }
    uint64_t Next();
    // Uniform in 0..n-1 (by rejection, so without bias); 0 when n <= 1.
    int32_t Pick(int32_t n);

private:
    uint64_t State = 0;
};

class TBoardRules {
public:
    static constexpr int32_t kBoardSize = 50; // storage per side; the game uses Columns x Rows

    TBoardRules() = default;
    virtual ~TBoardRules() = default;
    TBoardRules(const TBoardRules&) = default;
    TBoardRules& operator=(const TBoardRules&) = default;

    // ---- The deal ----
    // Score, level and time to 0 and a fresh board from the seed: rows 1..7
    // filled (every row when fullBoard > 0). SettlePending and TickCount keep
    // their values; so does the name.
    void Deal(uint64_t seed, int32_t fullBoard);

    // ---- Clicks and searches (cells, not pixels) ----
    // Size of the same-colour group of full cells at (c, r); 0 off the board or on a cell that is not full.
    [[nodiscard]] int32_t CountGroupAt(int32_t c, int32_t r);
    // Starts the vanishing wave over the group at (c, r) and sets Busy; the group's size.
    int32_t RemoveGroupAt(int32_t c, int32_t r);
    // Points for a removed group of n cells: n up to 5, 2n above.
    static int32_t Points(int32_t removed) { return removed <= 5 ? removed : 2 * removed; }
    // A click on cell (c, r) of an idle board: a group of three or more is
    // removed and scored. The cells removed; 0 when the click started no wave.
    int32_t Click(int32_t c, int32_t r);
    // Every full cell connected to (c, r), whatever its colour, becomes an overflow cell in a wave.
    void MarkOverflow(int32_t c, int32_t r);

    // ---- Gravity, rows, end ----
    bool Settle();                         // one gravity pass; true when it counts as settled
    [[nodiscard]] bool TopRowFull() const; // a full cell stands in the top row
    void AddRow();                         // lifts every column, a random row at the bottom, level + 1

    // ---- One tick, in the order the scene runs it ----
    // The tick count, the wave timer, and the end of a wave (it leaves a row pending).
    void CountTick();
    // The closing sequence is due this tick.
    [[nodiscard]] bool ClosingDue() const { return WaveTimer < 0 && GameOver; }
    // Gravity, and the pending row once the board has settled: true when the
    // settled board overflows and the game must end (the caller ends it).
    bool SettleStep();
    // The board's part of the end of a game: GameOver, and the overflow wave from the first full top cell.
    void Overflow();
    enum class TClosing { Finished, CountedDown };
    // One step of the closing sequence: Best takes the result once it is at
    // least as good; then either the game is finished (score below 0), or the
    // score counts down by one (and holds 200 ticks at 0).
    TClosing CloseStep(TScoreRec& best);

    // ---- State ----
    TCell Board[kBoardSize + 1][kBoardSize + 1]{}; // [column][row], index 0 unused
    int32_t Colors = 3;
    int32_t Columns = 10;
    int32_t Rows = 20;
    bool GameOver = false;
    int32_t TickCount = 0;      // only its remainder modulo 5 matters
    TScoreRec Cur;              // the running game; Time banks the paused stretches
    double WaveTimer = 0;       // ticks until the wave or the closing pause is over
    bool Busy = false;          // a removal wave runs: no clicks, no gravity
    bool SettlePending = false; // a wave ended: the next settled board gets a new row
    TDealRandom DealRandom;     // the colours of this game

protected:
    // A vanishing or overflow cell's timer has just reached 10 (the scene emits sparks).
    virtual void CellSparks(int32_t /*c*/, int32_t /*r*/) {}

    // The columns and rows in use, held to the storage.
    int32_t LastColumn() const { return std::clamp(Columns, 0, kBoardSize); }
    int32_t LastRow() const { return std::clamp(Rows, 0, kBoardSize); }
    bool OnBoard(int32_t c, int32_t r) const { return c >= 1 && c <= LastColumn() && r >= 1 && r <= LastRow(); }
    // The first column whose top-row cell is full; 0 when none (or the top row is not stored).
    int32_t FirstFullTopColumn() const;
    uint8_t RandomColor() { return static_cast<uint8_t>(1 + DealRandom.Pick(Colors)); }

private:
    struct TQueueEntry {
        int32_t c = 0, r = 0, depth = 0;
    };
    enum class TSearch { Count, Remove, Overflow };

    // Breadth-first search from (c, r); fills Queue[0..result) and returns the count taken.
    int32_t Search(int32_t c, int32_t r, TSearch kind);
    // The wave over the cells Search took: each turns to state with a timer of
    // 10 ticks per step from the start; WaveTimer becomes the longest.
    void StartWave(int32_t taken, TCellState state);
    bool Takes(int32_t c, int32_t r, TSearch kind, uint8_t color) const;

    bool Marks[kBoardSize + 1][kBoardSize + 1]{};
    std::array<TQueueEntry, kBoardSize * kBoardSize> Queue{};
};
