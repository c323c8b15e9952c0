// A real nivora-scores on 127.0.0.1 with its database in a fresh folder, and
// plain HTTP exchanges with it through the HTTP client of server/http_client.h,
// so the tests see exactly the bytes a client sends and receives.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "server/http_client.h"
#include "server/score_server.h"
#include "server/score_store.h"
#include "tests/test_support.h"

namespace scorestest {

// Reads give up after a minute, so a server that never answers fails the test instead of hanging it.
constexpr int kReadLimitSeconds = 60;

using scores::http::ReadAll;
using scores::http::SendAll;
using scores::http::SendBody;

// A connected socket to host (a numeric IPv4 or IPv6 address) and port, from
// the IPv4 address from when given, -1 on failure.
inline int ConnectTo(const std::string& host, uint16_t port, const std::string& from = {}) {
    return scores::http::Connect(host, port, kReadLimitSeconds, from);
}

inline int Connect(uint16_t port) { return ConnectTo("127.0.0.1", port); }

// Sends raw request bytes to 127.0.0.1 and returns the whole raw response.
inline std::string Exchange(uint16_t port, const std::string& request) {
    return scores::http::Exchange("127.0.0.1", port, request, kReadLimitSeconds);
}

inline std::string Post(uint16_t port, const std::string& path, const std::string& body) {
    return Exchange(port, scores::http::PostRequest(path, body));
}

inline std::string Get(uint16_t port, const std::string& path) { return Exchange(port, scores::http::GetRequest(path)); }

// The status code of a raw response, 0 when there is none.
inline int Status(const std::string& response) { return scores::http::StatusOf(response); }

inline std::string Body(const std::string& response) { return scores::http::BodyOf(response); }

// The names of a /top.php reply for count rows, in order; empty when the reply is not one.
inline std::vector<std::string> TopNames(uint16_t port, int count = 20) {
    const auto rows = scores::http::ParseTopReply(Body(Post(port, "/top.php", "count=" + std::to_string(count))));
    std::vector<std::string> names;
    if (rows)
        for (const scores::http::TTopRow& row : *rows) names.push_back(row.Name);
    return names;
}

// How long f takes, in milliseconds.
template <class F>
double MillisecondsOf(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// A send body in the game's list mode: one row per (name, score), level and time 1.
inline std::string Rows(const std::vector<std::pair<std::string, int>>& rows) {
    std::vector<scores::http::TSentRow> sent;
    for (const auto& [name, score] : rows) sent.emplace_back(name, score, 1, 1);
    return SendBody(sent);
}

// One running server per test, on a port of its own. A test may set further
// options (workers, bounds, a store of its own) before StartServer.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override { StartServer(); }

    void StartServer(int32_t sendsPerMinute = 0, unsigned timeoutSeconds = 10) {
        options.Address = "127.0.0.1";
        options.Port = 0;
        options.Database = database;
        options.SendsPerMinute = sendsPerMinute;
        options.TimeoutSeconds = timeoutSeconds;
        options.Quiet = true;
        ASSERT_TRUE(server.Start(options)) << server.LastError();
        port = server.Port();
    }

    // The database as another process would find it: whole and consistent.
    void ExpectDatabaseIntact(int64_t results) {
        std::string error;
        const std::unique_ptr<scores::TScoreStore> check = scores::OpenScoreStore(options.Database, error);
        ASSERT_TRUE(check) << error;
        EXPECT_TRUE(check->IntegrityOk()) << check->LastError();
        EXPECT_EQ(check->Size(), results);
    }

    std::string dir = MakeTempDir();
    std::string database = dir + "/scores.db"; // a subclass may choose another before SetUp
    scores::TServerOptions options;
    scores::TScoreServer server;
    uint16_t port = 0;
};

} // namespace scorestest
