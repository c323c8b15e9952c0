// What the server counts for its operator, answered at GET /metrics in the
// Prometheus text format: requests by path and status, their latency in
// buckets, sends stored and refused by cause, store errors, and the age of
// the top list in memory. Thread-safe: the HTTP thread counts requests, the
// workers count sends.
#pragma once

#include <array>
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
    uint64_t connectionsCut = 0;
};

} // namespace scores
