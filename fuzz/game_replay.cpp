// The replay decoder, as the score server meets it: the input is read both as
// a replay's bytes and as its URL-safe base64 text. A decoded replay must
// encode to bytes that decode to the same replay, stay within its bounds, and
// (when short enough to replay quickly) play to an end without fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "game/replay.h"

namespace {

bool Same(const TReplay& a, const TReplay& b) {
    if (a.Start.Seed != b.Start.Seed || a.Start.TickPhase != b.Start.TickPhase ||
        a.Start.SettlePending != b.Start.SettlePending || a.Start.FullBoard != b.Start.FullBoard ||
        a.Clicks.size() != b.Clicks.size())
        return false;
    for (size_t i = 0; i < a.Clicks.size(); ++i)
        if (a.Clicks[i].Tick != b.Clicks[i].Tick || a.Clicks[i].Column != b.Clicks[i].Column ||
            a.Clicks[i].Row != b.Clicks[i].Row)
            return false;
    return true;
}

void Check(std::span<const uint8_t> bytes) {
    TReplay replay;
    if (DecodeReplay(bytes, replay) != TReplayFault::Ok) return;
    if (replay.Clicks.size() > kMaxReplayClicks || replay.Start.TickPhase >= 5) std::abort();
    int32_t previous = -1;
    for (const TReplayClick& click : replay.Clicks) {
        if (click.Tick <= previous || click.Tick >= kMaxReplayTicks) std::abort();
        if (click.Column < 1 || click.Column > kReplayColumns || click.Row < 1 || click.Row > kReplayRows) std::abort();
        previous = click.Tick;
    }
    TReplay again;
    if (DecodeReplay(EncodeReplay(replay.Start, replay.Clicks), again) != TReplayFault::Ok || !Same(replay, again))
        std::abort();
    // A replay of a few thousand ticks: the rules run it to an end of some kind.
    if (replay.Clicks.empty() || replay.Clicks.back().Tick < 5000) {
        const TReplayOutcome outcome = PlayReplay(replay);
        if (outcome.Ticks > kMaxReplayTicks) std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Check({data, size});
    std::vector<uint8_t> decoded;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (Base64UrlDecode(text, decoded, kMaxReplayBytes)) {
        if (decoded.size() > kMaxReplayBytes || Base64UrlEncode(decoded) != text) std::abort();
        Check(decoded);
    }
    return 0;
}
