// The per-address send limit the server keeps for the SQLite store: a rolling
// minute, IPv6 clients by their /64, and a table of addresses that a flood of
// other addresses cannot empty.
#include <gtest/gtest.h>

#include "server/score_server.h"
#include "server/send_limit.h"

using scores::TSendLimit;
using namespace std::chrono_literals;

TEST(SendLimit, IsARollingMinuteNotACalendarOne) {
    TSendLimit limit(3, 60s);
    const auto start = TSendLimit::Clock::now();
    EXPECT_TRUE(limit.Allow("a", start));
    EXPECT_TRUE(limit.Allow("a", start + 50s));
    EXPECT_TRUE(limit.Allow("a", start + 59s));
    EXPECT_FALSE(limit.Allow("a", start + 59s + 900ms)); // refused sends do not count...
    EXPECT_FALSE(limit.Allow("a", start + 59s + 950ms));
    // ...and a window that starts afresh at 60 s would let three more through here.
    EXPECT_TRUE(limit.Allow("a", start + 60s));
    EXPECT_FALSE(limit.Allow("a", start + 61s));
    EXPECT_TRUE(limit.Allow("a", start + 110s));
    EXPECT_TRUE(limit.Allow("b", start + 61s)); // each address on its own
}

TEST(SendLimit, ForgetsTheLeastRecentlySeenAddressWhenFull) {
    TSendLimit limit(1, 60s, 3);
    const auto now = TSendLimit::Clock::now();
    for (const char* key : {"a", "b", "c"}) EXPECT_TRUE(limit.Allow(key, now));
    EXPECT_FALSE(limit.Allow("a", now)); // seen again: now the most recent
    EXPECT_TRUE(limit.Allow("d", now));  // forgets b, the least recently seen
    EXPECT_EQ(limit.Addresses(), 3u);
    EXPECT_FALSE(limit.Allow("a", now));
    EXPECT_FALSE(limit.Allow("c", now));
    EXPECT_TRUE(limit.Allow("b", now));
}

TEST(SendLimit, IPv6AddressesCountByTheirSlash64) {
    EXPECT_EQ(scores::LimitKey("2001:db8:1:2:aaaa::1"), "2001:db8:1:2::/64");
    EXPECT_EQ(scores::LimitKey("2001:db8:1:2:ffff:ffff:ffff:ffff"), "2001:db8:1:2::/64");
    EXPECT_EQ(scores::LimitKey("2001:db8:1:3::1"), "2001:db8:1:3::/64");
    EXPECT_EQ(scores::LimitKey("198.51.100.7"), "198.51.100.7");
}

TEST(SendLimit, TenThousandAndOneOtherAddressesDoNotFreeALimitedOne) {
    scores::TTopList top;
    scores::TServerOptions options;
    options.Quiet = true;
    options.SendsPerMinute = 30;
    scores::TRequestHandler handler(top, options);
    const auto send = [&](const std::string& address) {
        const std::optional<scores::TAnswer> answer = handler.Begin("POST", "/saver.php", "0", address);
        return answer ? answer->Status : 0u; // nothing: let through to read the body
    };
    for (int i = 0; i < 30; ++i) ASSERT_EQ(send("198.51.100.1"), 0u) << i;
    EXPECT_EQ(send("198.51.100.1"), 429u);
    for (int i = 0; i <= 10000; ++i)
        ASSERT_EQ(send("10." + std::to_string(i >> 16) + "." + std::to_string((i >> 8) & 255) + "." +
                       std::to_string(i & 255)),
                  0u);
    EXPECT_EQ(send("198.51.100.1"), 429u);
}
