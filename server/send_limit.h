// The per-address send limit of a server whose store does not count sends
// (the SQLite store; the PostgreSQL store counts them in the database, by the
// same rule). A send is allowed when its address made fewer than the limit of
// allowed sends within the window (a rolling minute) before it; refused sends
// do not count. An IPv6 client is limited by its /64, the block one host or
// one home gets; an IPv4 client by its address.
//
// Memory is bounded: past maxAddresses the least recently seen address is
// forgotten, which is one whose window has long passed unless that many
// addresses sent within one window. Not thread-safe: its owner holds a lock.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <string>
#include <unordered_map>

namespace scores {

// The address a limit counts by: IPv6 addresses as their /64 ("2001:db8:1:2::/64"),
// anything else as it is.
std::string LimitKey(const std::string& address);

class TSendLimit {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t kMaxAddresses = 100000;

    TSendLimit(int32_t perWindow, std::chrono::milliseconds window, size_t maxAddresses = kMaxAddresses)
        : perWindow(perWindow), window(window), maxAddresses(maxAddresses) {}

    // Counts a send from key (see LimitKey) at now; false when it is over the limit.
    bool Allow(const std::string& key, Clock::time_point now);
    // Addresses remembered now.
    size_t Addresses() const { return byKey.size(); }
    void Clear() {
        recent.clear();
        byKey.clear();
    }

private:
    struct TEntry {
        std::string Key;
        std::deque<Clock::time_point> Sends; // allowed sends within the window, oldest first
    };

    const int32_t perWindow;
    const std::chrono::milliseconds window;
    const size_t maxAddresses;
    std::list<TEntry> recent; // most recently seen first
    std::unordered_map<std::string, std::list<TEntry>::iterator> byKey;
};

} // namespace scores
