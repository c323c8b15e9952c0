// The board's rules.
#include "game/board_rules.h"

#include <cmath>
#include <iterator>

namespace {
// TickCount wraps at a multiple of 5, so its remainder modulo 5 never jumps.
constexpr int32_t kTickWrap = 2000000000;

// Neighbour orders of the searches: counting and removing visit in different orders.
constexpr int32_t kCountStep[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
constexpr int32_t kWaveStep[4][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
} // namespace

uint64_t TDealRandom::Next() {
    State += 0x9E3779B97F4A7C15ull;
    uint64_t z = State;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int32_t TDealRandom::Pick(int32_t n) {
    if (n <= 1) return 0;
    const auto range = static_cast<uint64_t>(n);
    // The largest multiple of n that fits: values above it would favour the low results.
    const uint64_t limit = UINT64_MAX - UINT64_MAX % range;
    uint64_t value;
    do value = Next();
    while (value >= limit);
    return static_cast<int32_t>(value % range);
}

// ---- The deal ----

void TBoardRules::Deal(uint64_t seed, int32_t fullBoard) {
    DealRandom.Seed(seed);
    Cur.Score = 0;
    Cur.Level = 0;
    Cur.Time = 0;
    const int32_t lastColumn = LastColumn();
    const int32_t lastRow = LastRow();
    for (int32_t c = 1; c <= lastColumn; ++c) {
        for (int32_t r = 1; r <= lastRow; ++r) {
            Board[c][r].Color = RandomColor();
            Board[c][r].State = (r < 8 || fullBoard > 0) ? TCellState::Full : TCellState::Empty;
        }
    }
    GameOver = false;
    Busy = false;
    WaveTimer = 0;
}

// ---- Searches ----

bool TBoardRules::Takes(int32_t c, int32_t r, TSearch kind, uint8_t color) const {
    if (!OnBoard(c, r) || Marks[c][r] || Board[c][r].State != TCellState::Full) return false;
    return kind == TSearch::Overflow || Board[c][r].Color == color;
}

int32_t TBoardRules::Search(int32_t c, int32_t r, TSearch kind) {
    for (auto& column : Marks) std::fill(std::begin(column), std::end(column), false);
    if (!OnBoard(c, r)) return 0;
    const uint8_t color = Board[c][r].Color;
    const auto& steps = kind == TSearch::Count ? kCountStep : kWaveStep;
    int32_t tail = 0;
    if (Takes(c, r, kind, color)) {
        Marks[c][r] = true;
        Queue[tail++] = {c, r, 1};
    }
    // Each cell is marked when queued, so the queue never holds more than the board.
    for (int32_t head = 0; head < tail; ++head) {
        const TQueueEntry entry = Queue[head];
        for (const auto& step : steps) {
            const int32_t nc = entry.c + step[0];
            const int32_t nr = entry.r + step[1];
            if (!Takes(nc, nr, kind, color)) continue;
            Marks[nc][nr] = true;
            Queue[tail++] = {nc, nr, entry.depth + 1};
        }
    }
    return tail;
}

int32_t TBoardRules::CountGroupAt(int32_t c, int32_t r) { return Search(c, r, TSearch::Count); }

int32_t TBoardRules::RemoveGroupAt(int32_t c, int32_t r) {
    const int32_t taken = Search(c, r, TSearch::Remove);
    StartWave(taken, TCellState::Vanish);
    Busy = true;
    return taken;
}

int32_t TBoardRules::Click(int32_t c, int32_t r) {
    if (GameOver || Busy || CountGroupAt(c, r) < 3) return 0;
    const int32_t removed = RemoveGroupAt(c, r);
    Cur.Score += Points(removed);
    return removed;
}

void TBoardRules::MarkOverflow(int32_t c, int32_t r) { StartWave(Search(c, r, TSearch::Overflow), TCellState::Error); }

void TBoardRules::StartWave(int32_t taken, TCellState state) {
    WaveTimer = 0;
    for (int32_t i = 0; i < taken; ++i) {
        TCell& target = Board[Queue[i].c][Queue[i].r];
        target.State = state;
        target.Timer = 10.0 * Queue[i].depth;
        WaveTimer = std::max(WaveTimer, target.Timer);
    }
}

// ---- Gravity, rows, end ----

bool TBoardRules::Settle() {
    // Idle boards move every fifth tick only; waves and the closing sequence every tick.
    if (!Busy && !GameOver && TickCount % 5 != 0) return false;
    bool settled = true;
    const int32_t lastColumn = LastColumn();
    const int32_t lastRow = LastRow();
    for (int32_t c = 1; c <= lastColumn; ++c) {
        for (int32_t r = 1; r <= lastRow; ++r) {
            TCell& cell = Board[c][r];
            switch (cell.State) {
            case TCellState::Error:
                cell.Timer -= 1;
                if (std::nearbyint(cell.Timer) == 10) CellSparks(c, r);
                break;
            case TCellState::Vanish:
                cell.Timer -= 1;
                if (cell.Timer < 0) cell.State = TCellState::Empty;
                if (std::nearbyint(cell.Timer) == 10) CellSparks(c, r);
                break;
            case TCellState::Empty:
                if (r < lastRow && !Busy && Board[c][r + 1].State == TCellState::Full) {
                    cell = Board[c][r + 1];
                    Board[c][r + 1].State = TCellState::Empty;
                    // Only a cell coming to rest on a full cell in row 3 or higher keeps the board unsettled.
                    if (r >= 3 && Board[c][r - 1].State == TCellState::Full) settled = false;
                }
                break;
            default:
                break;
            }
        }
    }
    return settled;
}

bool TBoardRules::TopRowFull() const { return FirstFullTopColumn() > 0; }

int32_t TBoardRules::FirstFullTopColumn() const {
    if (Rows < 1 || Rows > kBoardSize) return 0;
    for (int32_t c = 1; c <= LastColumn(); ++c) {
        if (Board[c][Rows].State == TCellState::Full) return c;
    }
    return 0;
}

void TBoardRules::AddRow() {
    const int32_t lastColumn = LastColumn();
    const int32_t lastRow = LastRow();
    for (int32_t c = 1; c <= lastColumn; ++c) {
        for (int32_t r = lastRow; r >= 2; --r) Board[c][r] = Board[c][r - 1];
        Board[c][1].State = TCellState::Full;
        Board[c][1].Color = RandomColor();
    }
    Cur.Level += 1;
}

// ---- One tick ----

void TBoardRules::CountTick() {
    TickCount = TickCount + 1 >= kTickWrap ? 0 : TickCount + 1;
    WaveTimer -= 1;
    if (WaveTimer < 0 && Busy) {
        Busy = false;
        SettlePending = true;
    }
}

bool TBoardRules::SettleStep() {
    if (!Settle() || !SettlePending) return false;
    SettlePending = false;
    if (TopRowFull()) return true;
    AddRow();
    return false;
}

void TBoardRules::Overflow() {
    GameOver = true;
    if (const int32_t column = FirstFullTopColumn(); column > 0) MarkOverflow(column, Rows);
}

TBoardRules::TClosing TBoardRules::CloseStep(TScoreRec& best) {
    Busy = false;
    if (best.Score <= Cur.Score) best = Cur;
    if (Cur.Score < 0) return TClosing::Finished;
    Cur.Score -= 1;
    if (Cur.Score == 0) WaveTimer = 200; // hold the zero for two seconds
    return TClosing::CountedDown;
}
