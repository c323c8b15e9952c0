// A game as it was played, small enough to send with its result: the deal's
// seed, the two values of the scene a deal does not reset (TickCount modulo 5
// and SettlePending), and the tick and cell of every click that started a
// wave. Replaying runs the board's rules (TBoardRules) over it and gives the
// score, the level and the ticks the game took.
//
// Ticks count the running game from NewGame: the first update of a new game
// is tick 0, and a paused game does not tick. Cells are 1-based on the game's
// 10 x 20 board.
//
// Bytes (version 1, little-endian): version (1), flags (bit 0 SettlePending,
// bit 1 a full board; the rest 0), TickCount modulo 5, the seed (8 bytes),
// the number of clicks (2 bytes), then per click its tick as an unsigned
// LEB128 count from the previous click's tick (from 0 for the first; later
// ones at least 1 apart), at most 4 bytes, and its cell as one byte,
// (column - 1) + 10 x (row - 1). The decoder trusts nothing: every count is
// held to the bounds below before it is used, and any byte out of place
// refuses the whole replay with its fault.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "game/board_rules.h"

inline constexpr uint8_t kReplayVersion = 1;
inline constexpr int32_t kReplayColumns = 10;
inline constexpr int32_t kReplayRows = 20;
inline constexpr int32_t kReplayColors = 3;
// Clicks one replay holds: far beyond a game (each wave adds a row of ten
// cells and takes three or more, so games end within a few hundred waves).
inline constexpr size_t kMaxReplayClicks = 2048;
// Ticks a replayed game may last: six hours of play at 100 ticks a second.
inline constexpr int64_t kMaxReplayTicks = 6LL * 3600 * 100;
inline constexpr size_t kReplayHeaderBytes = 13;
inline constexpr size_t kMaxReplayBytes = kReplayHeaderBytes + kMaxReplayClicks * 5;
// A game's time may fall this far below its ticks (a loop that lags behind
// the clock, the rounding of each paused stretch): 2 % and half a second.
inline constexpr int64_t kReplayTimeSlackTicks = 50;
inline constexpr int64_t kReplayTimeSlackPercent = 2;

struct TReplayClick {
    int32_t Tick = 0; // since NewGame, of the running game
    uint8_t Column = 0;
    uint8_t Row = 0;
};

struct TReplayStart {
    uint64_t Seed = 0;
    uint8_t TickPhase = 0; // TickCount modulo 5 at NewGame
    bool SettlePending = false;
    bool FullBoard = false;
};

// What the game scene records while a game runs: fixed capacity, so recording
// never allocates. A game with more waves than it holds, or on a board other
// than the standard one, is not replayable (Complete() is false).
class TReplayRecorder {
public:
    void Start(const TReplayStart& start, bool standardBoard);
    // One tick of the running game has passed.
    void Tick() {
        if (ticks < kMaxReplayTicks) ++ticks;
    }
    // A click at this tick started a wave on (c, r).
    void Click(int32_t c, int32_t r);
    [[nodiscard]] bool Complete() const { return started && !overflowed && ticks < kMaxReplayTicks; }
    const TReplayStart& Head() const { return start; }
    std::span<const TReplayClick> Clicks() const { return {clicks.data(), count}; }
    int64_t Ticks() const { return ticks; }

private:
    TReplayStart start;
    std::array<TReplayClick, kMaxReplayClicks> clicks{};
    size_t count = 0;
    int64_t ticks = 0;
    bool started = false;
    bool overflowed = false;
};

// ---- Bytes ----------------------------------------------------------------

enum class TReplayFault {
    Ok,       // a whole, well-formed replay
    Short,    // cut off: fewer bytes than its counts need
    Long,     // bytes after the last click, or more than kMaxReplayBytes
    Version,  // a version this code does not read
    Field,    // a flag, phase, cell or tick step out of its range
    Clicks,   // more than kMaxReplayClicks
    Ticks,    // a click past kMaxReplayTicks
};
const char* ReplayFaultName(TReplayFault fault);

struct TReplay {
    TReplayStart Start;
    std::vector<TReplayClick> Clicks;
};

// The bytes of a recorded game (at most kMaxReplayBytes).
std::vector<uint8_t> EncodeReplay(const TReplayStart& start, std::span<const TReplayClick> clicks);
// Reads bytes into replay; Ok when they are a whole, well-formed replay.
TReplayFault DecodeReplay(std::span<const uint8_t> bytes, TReplay& replay);

// URL-safe base64 without padding ("-" and "_" for "+" and "/").
std::string Base64UrlEncode(std::span<const uint8_t> bytes);
// False on any character outside the alphabet, padding, or a length no encoding gives.
bool Base64UrlDecode(std::string_view text, std::vector<uint8_t>& bytes, size_t maxBytes);

// ---- Replaying ------------------------------------------------------------

enum class TReplayEnd {
    Ended,      // the game ended: Score, Level and Ticks hold its result
    BadClick,   // a click at a tick where it starts no wave (or after the end)
    Unfinished, // the clicks run out and the game cannot end
    TooLong,    // the game runs past kMaxReplayTicks
};
const char* ReplayEndName(TReplayEnd end);

struct TReplayOutcome {
    TReplayEnd End = TReplayEnd::Unfinished;
    int32_t Score = 0;
    int32_t Level = 0;
    int64_t Ticks = 0;     // running ticks up to and including the one that ended the game
    size_t ClickIndex = 0; // for BadClick: the click refused
};

// Plays the deal and the clicks with the board's rules until the game ends.
TReplayOutcome PlayReplay(const TReplay& replay);
// The least play time (hundredths of a second) a game of this many ticks may show.
int64_t LeastReplayTime(int64_t ticks);
