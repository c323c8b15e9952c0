// What the server counts for its operator, answered at GET /metrics in the
// Prometheus text format: requests by path and status, their latency in
// buckets, sends stored and refused by cause, replays verified and refused by
// cause, store errors, and the age of the top list in memory. Thread-safe: the HTTP thread counts requests, the
// workers count sends.
#pragma once

#include <array>
#include <functional>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

namespace scores {

enum class TRefusal { Limit, Busy, Store, Invalid };

class TMetrics {
public:
    // One answered request; its path is counted under a known path or "other".
    void Request(std::string_view path, unsigned status, double seconds);
    void Stored();
    void Refused(TRefusal cause);
    void StoreError();
    // Replays: one matched its stored result; one was refused for cause (one of kReplayCauses).
    void ReplayVerified();
    void ReplayRefused(std::string_view cause);
    // Connections closed for sending their request too slowly.
    void ConnectionsCut(uint64_t count);
    // The whole exposition; topListAge: seconds since the top list was read, negative when none was.
    std::string Text(double topListAge) const;

private:
    static constexpr std::array<double, 10> kBuckets = {0.001, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5};

    mutable std::mutex mutex;
    std::map<std::pair<std::string, unsigned>, uint64_t> requests;
    std::array<uint64_t, kBuckets.size()> latency{}; // cumulative only when written out
    uint64_t latencyCount = 0;
    double latencySum = 0;
    uint64_t stored = 0;
    std::array<uint64_t, 4> refused{};
    uint64_t storeErrors = 0;
    uint64_t replaysVerified = 0;
    std::map<std::string, uint64_t, std::less<>> replaysRefused;
    uint64_t connectionsCut = 0;
};

// Why a replay was refused, as /metrics and the answer name it: the decoder's
// faults (encoding, short, long, version, field, clicks, ticks), the replay's
// (click: a click that starts no wave; unfinished: the clicks end before the
// game does), a result that does not follow (score, level, time), and unknown:
// no stored result with the row's values.
inline constexpr std::array<std::string_view, 13> kReplayCauses = {
    "encoding", "short", "long", "version", "field", "clicks", "ticks",
    "click", "unfinished", "score", "level", "time", "unknown"};

} // namespace scores
