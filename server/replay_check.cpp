// Replays checked against their results.
#include "server/replay_check.h"

#include <cstdint>
#include <vector>

#include "game/replay.h"

namespace scores {

std::string_view CheckReplay(const TResult& row, std::string_view replay) {
    // The longest text the largest replay encodes to, checked before anything is decoded.
    if (replay.size() > (kMaxReplayBytes * 4 + 2) / 3) return "long";
    std::vector<uint8_t> bytes;
    if (!Base64UrlDecode(replay, bytes, kMaxReplayBytes)) return "encoding";
    TReplay played;
    if (const TReplayFault fault = DecodeReplay(bytes, played); fault != TReplayFault::Ok)
        return ReplayFaultName(fault);
    const TReplayOutcome outcome = PlayReplay(played);
    if (outcome.End != TReplayEnd::Ended) return ReplayEndName(outcome.End);
    if (outcome.Score != row.Score) return "score";
    if (outcome.Level != row.Level) return "level";
    if (row.Time < LeastReplayTime(outcome.Ticks)) return "time";
    return {};
}

} // namespace scores
