// The per-address send limit kept in the server.
#include "server/send_limit.h"

#include <arpa/inet.h>

namespace scores {

std::string LimitKey(const std::string& address) {
    in6_addr six{};
    if (inet_pton(AF_INET6, address.c_str(), &six) != 1) return address;
    for (size_t i = 8; i < 16; ++i) six.s6_addr[i] = 0;
    char text[INET6_ADDRSTRLEN];
    inet_ntop(AF_INET6, &six, text, sizeof text);
    return std::string(text) + "/64";
}

bool TSendLimit::Allow(const std::string& key, Clock::time_point now) {
    auto found = byKey.find(key);
    if (found == byKey.end()) {
        if (byKey.size() >= maxAddresses) {
            byKey.erase(recent.back().Key);
            recent.pop_back();
        }
        recent.push_front({key, {}});
        found = byKey.emplace(key, recent.begin()).first;
    } else {
        recent.splice(recent.begin(), recent, found->second);
    }
    std::deque<Clock::time_point>& sends = found->second->Sends;
    while (!sends.empty() && now - sends.front() >= window) sends.pop_front();
    if (static_cast<int32_t>(sends.size()) >= perWindow) return false;
    sends.push_back(now);
    return true;
}

} // namespace scores
