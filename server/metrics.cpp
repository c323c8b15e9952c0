// The operator's counters.
#include "server/metrics.h"

#include <cstdio>

namespace scores {

namespace {

std::string_view PathLabel(std::string_view path) {
    for (const std::string_view known : {"/", "/top.php", "/saver.php", "/replay.php", "/healthz", "/metrics"})
        if (path == known) return known;
    return "other";
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

} // namespace

void TMetrics::Request(std::string_view path, unsigned status, double seconds) {
    const std::lock_guard lock(mutex);
    ++requests[{std::string(PathLabel(path)), status}];
    for (size_t i = 0; i < kBuckets.size(); ++i)
        if (seconds <= kBuckets[i]) {
            ++latency[i];
            break;
        }
    ++latencyCount;
    latencySum += seconds;
}

void TMetrics::Stored() {
    const std::lock_guard lock(mutex);
    ++stored;
}

void TMetrics::Refused(TRefusal cause) {
    const std::lock_guard lock(mutex);
    ++refused[static_cast<size_t>(cause)];
}

void TMetrics::StoreError() {
    const std::lock_guard lock(mutex);
    ++storeErrors;
}

void TMetrics::ConnectionsCut(uint64_t count) {
    const std::lock_guard lock(mutex);
    connectionsCut += count;
}

void TMetrics::ReplayVerified() {
    const std::lock_guard lock(mutex);
    ++replaysVerified;
}

void TMetrics::ReplayRefused(std::string_view cause) {
    const std::lock_guard lock(mutex);
    ++replaysRefused[std::string(cause)];
}

std::string TMetrics::Text(double topListAge) const {
    const std::lock_guard lock(mutex);
    std::string text = "# HELP nivora_requests_total Requests answered, by path and status.\n"
                       "# TYPE nivora_requests_total counter\n";
    for (const auto& [key, count] : requests)
        text += "nivora_requests_total{path=\"" + key.first + "\",status=\"" + std::to_string(key.second) + "\"} " +
                std::to_string(count) + "\n";
    text += "# HELP nivora_request_duration_seconds Time from the request's headers to its answer.\n"
            "# TYPE nivora_request_duration_seconds histogram\n";
    uint64_t cumulative = 0;
    for (size_t i = 0; i < kBuckets.size(); ++i) {
        cumulative += latency[i];
        text += "nivora_request_duration_seconds_bucket{le=\"" + Number(kBuckets[i]) + "\"} " +
                std::to_string(cumulative) + "\n";
    }
    text += "nivora_request_duration_seconds_bucket{le=\"+Inf\"} " + std::to_string(latencyCount) + "\n" +
            "nivora_request_duration_seconds_sum " + Number(latencySum) + "\n" +
            "nivora_request_duration_seconds_count " + std::to_string(latencyCount) + "\n";
    text += "# HELP nivora_sends_stored_total Sends stored.\n# TYPE nivora_sends_stored_total counter\n"
            "nivora_sends_stored_total " + std::to_string(stored) + "\n";
    text += "# HELP nivora_sends_refused_total Sends refused, by cause.\n# TYPE nivora_sends_refused_total counter\n";
    static constexpr std::array<const char*, 4> kCauses = {"limit", "busy", "store", "invalid"};
    for (size_t i = 0; i < kCauses.size(); ++i)
        text += std::string("nivora_sends_refused_total{cause=\"") + kCauses[i] + "\"} " + std::to_string(refused[i]) +
                "\n";
    text += "# HELP nivora_replays_verified_total Results whose replay gave their score and level.\n"
            "# TYPE nivora_replays_verified_total counter\n"
            "nivora_replays_verified_total " + std::to_string(replaysVerified) + "\n";
    text += "# HELP nivora_replays_refused_total Replays refused, by cause.\n"
            "# TYPE nivora_replays_refused_total counter\n";
    for (const std::string_view cause : kReplayCauses) {
        const auto counted = replaysRefused.find(cause);
        text += "nivora_replays_refused_total{cause=\"" + std::string(cause) + "\"} " +
                std::to_string(counted == replaysRefused.end() ? 0 : counted->second) + "\n";
    }
    text += "# HELP nivora_store_errors_total Database calls that failed.\n# TYPE nivora_store_errors_total counter\n"
            "nivora_store_errors_total " + std::to_string(storeErrors) + "\n";
    text += "# HELP nivora_connections_cut_total Connections closed for sending their request too slowly.\n"
            "# TYPE nivora_connections_cut_total counter\n"
            "nivora_connections_cut_total " + std::to_string(connectionsCut) + "\n";
    text += "# HELP nivora_top_list_age_seconds Time since the top list in memory was read.\n"
            "# TYPE nivora_top_list_age_seconds gauge\n"
            "nivora_top_list_age_seconds " + Number(topListAge) + "\n";
    return text;
}

} // namespace scores
