// A real nivora-scores on 127.0.0.1 with its database in a fresh folder, and
// plain HTTP exchanges with it over a socket, so the tests see exactly the
// bytes a client sends and receives.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "server/score_server.h"
#include "server/score_store.h"
#include "tests/test_support.h"

namespace scorestest {

// A connected socket to host (a numeric IPv4 or IPv6 address) and port, from
// the IPv4 address from when given, -1 on failure. Reads give up after a minute, so a server that never answers fails
// the test instead of hanging it.
inline int ConnectTo(const std::string& host, uint16_t port, const std::string& from = {}) {
    sockaddr_in four{};
    sockaddr_in6 six{};
    const sockaddr* address = nullptr;
    socklen_t size = 0;
    if (::inet_pton(AF_INET6, host.c_str(), &six.sin6_addr) == 1) {
        six.sin6_family = AF_INET6;
        six.sin6_port = htons(port);
        address = reinterpret_cast<const sockaddr*>(&six);
        size = sizeof six;
    } else if (::inet_pton(AF_INET, host.c_str(), &four.sin_addr) == 1) {
        four.sin_family = AF_INET;
        four.sin_port = htons(port);
        address = reinterpret_cast<const sockaddr*>(&four);
        size = sizeof four;
    } else {
        return -1;
    }
    const int fd = ::socket(address->sa_family, SOCK_STREAM, 0);
    if (!from.empty()) {
        // A source address of the loopback net: many clients from one machine.
        sockaddr_in source{};
        source.sin_family = AF_INET;
        ::inet_pton(AF_INET, from.c_str(), &source.sin_addr);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&source), sizeof source) != 0) {
            ::close(fd);
            return -1;
        }
    }
    timeval limit{60, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::connect(fd, address, size) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline int Connect(uint16_t port) { return ConnectTo("127.0.0.1", port); }

// Everything the peer sends until it closes (or the read limit passes).
inline std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0) text.append(buffer, static_cast<size_t>(got));
    return text;
}

inline bool SendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// Sends raw request bytes and returns the whole raw response.
inline std::string Exchange(uint16_t port, const std::string& request) {
    const int fd = Connect(port);
    if (fd < 0) return {};
    SendAll(fd, request);
    std::string response = ReadAll(fd);
    ::close(fd);
    return response;
}

inline std::string Post(uint16_t port, const std::string& path, const std::string& body) {
    return Exchange(port, "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                          "content-type: application/x-www-form-urlencoded\r\nContent-Length: " +
                              std::to_string(body.size()) + "\r\n\r\n" + body);
}

inline std::string Get(uint16_t port, const std::string& path) {
    return Exchange(port, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

// The status code of a raw response, 0 when there is none.
inline int Status(const std::string& response) {
    if (response.rfind("HTTP/1.", 0) != 0 || response.size() < 12) return 0;
    return std::stoi(response.substr(9, 3));
}

inline std::string Body(const std::string& response) {
    const size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
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
    std::string body;
    for (const auto& [name, score] : rows)
        body += (body.empty() ? "" : "&") + std::string("user[]=") + name + "&score[]=" + std::to_string(score) +
                "&level[]=1&time[]=1";
    return body;
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
