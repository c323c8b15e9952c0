// The check of one replay against the result it was sent with: decoded within
// the bounds of game/replay.h, played with the board's rules (the same code
// the game plays by), and compared. A verified result follows from the rules,
// its deal and its clicks; it says nothing of who or what chose the clicks.
#pragma once

#include <string_view>

#include "server/score_store.h"

namespace scores {

// Empty when the replay (URL-safe base64) gives the row's score and level and
// its time is not below what the replayed ticks allow; otherwise the cause,
// one of kReplayCauses (server/metrics.h) but "unknown", which the store decides.
std::string_view CheckReplay(const TResult& row, std::string_view replay);

} // namespace scores
