// A whole game played by the board's rules alone, the way a patient player
// might: every seventh tick of an idle board, the largest group is clicked.
// The recorder holds the game as the scene would have recorded it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "game/board_rules.h"
#include "game/replay.h"

namespace test_game {

struct TPlayedGame {
    std::vector<uint8_t> Replay; // EncodeReplay's bytes
    int32_t Score = 0;
    int32_t Level = 0;
    int64_t Ticks = 0;
    size_t Clicks = 0;
};

inline TPlayedGame PlayByRules(uint64_t seed, TReplayRecorder& recorder) {
    const auto rules = std::make_unique<TBoardRules>();
    recorder.Start({seed, 0, false, false}, true);
    rules->Deal(seed, 0);
    TPlayedGame game;
    for (int64_t tick = 0; tick < kMaxReplayTicks; ++tick) {
        if (!rules->Busy && !rules->SettlePending && tick % 7 == 0) {
            int32_t best = 0, column = 0, row = 0;
            for (int32_t c = 1; c <= rules->Columns; ++c)
                for (int32_t r = 1; r <= rules->Rows; ++r)
                    if (const int32_t n = rules->CountGroupAt(c, r); n >= 3 && n > best) {
                        best = n;
                        column = c;
                        row = r;
                    }
            if (best > 0 && rules->Click(column, row) > 0) recorder.Click(column, row);
        }
        rules->CountTick();
        recorder.Tick();
        if (rules->SettleStep()) {
            rules->Overflow();
            break;
        }
    }
    game.Replay = EncodeReplay(recorder.Head(), recorder.Clicks());
    game.Score = rules->Cur.Score;
    game.Level = rules->Cur.Level;
    game.Ticks = recorder.Ticks();
    game.Clicks = recorder.Clicks().size();
    return game;
}

inline TPlayedGame PlayByRules(uint64_t seed) {
    const auto recorder = std::make_unique<TReplayRecorder>();
    return PlayByRules(seed, *recorder);
}

} // namespace test_game
