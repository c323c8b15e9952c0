// Floods of slow, silent and half-sent connections from fifty loopback
// addresses, each as many connections as an address may open: a probe from
// another address is answered within a second all the while, and the
// server closes the hoarders by their deadlines, not its idle time-out.
#include <fcntl.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "tests/server/server_fixture.h"

namespace scorestest {
namespace {

using namespace std::chrono_literals;

constexpr int kAddresses = 50;
constexpr int kPerAddress = 8;

// Flood sockets and their peers both live in this process: some 1,600 descriptors.
void AllowManyDescriptors() {
    rlimit files{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    files.rlim_cur = std::max<rlim_t>(files.rlim_cur, std::min<rlim_t>(files.rlim_max, 8192));
    ::setrlimit(RLIMIT_NOFILE, &files);
}

// The server has closed fd: a read finds its end (or a reset) without waiting.
bool ClosedByServer(int fd) {
    char byte;
    const ssize_t got = ::recv(fd, &byte, 1, MSG_DONTWAIT);
    return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

class FloodTest : public ServerTest {
protected:
    void SetUp() override {
        AllowManyDescriptors();
        options.HeaderSeconds = 1;
        options.MinBodyRate = 512;
        options.ConnectionsPerAddress = kPerAddress;
        StartServer();
    }
    void TearDown() override {
        for (const int fd : flood) ::close(fd);
        if (worstProbe > 0) std::printf("the slowest probe took %.1f ms\n", worstProbe);
    }

    // Every address of the flood opens its connections and sends them start.
    void Open(const std::string& start) {
        for (int a = 0; a < kAddresses; ++a)
            for (int c = 0; c < kPerAddress; ++c) {
                const int fd = ConnectTo("127.0.0.1", port, "127.0.2." + std::to_string(a + 1));
                ASSERT_GE(fd, 0);
                if (!start.empty()) SendAll(fd, start);
                flood.push_back(fd);
            }
    }

    // A /top.php from an address outside the flood, answered 200 within a second.
    void ExpectProbeAnswered(const std::string& from = "127.0.3.1") {
        std::string answer;
        const double ms = MillisecondsOf([&] {
            const int fd = ConnectTo("127.0.0.1", port, from);
            ASSERT_GE(fd, 0);
            SendAll(fd, "GET /top.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
            answer = ReadAll(fd);
            ::close(fd);
        });
        EXPECT_EQ(Status(answer), 200) << from;
        EXPECT_LT(ms, 1000.0) << from;
        worstProbe = std::max(worstProbe, ms);
    }

    // Keeps writing line to every flood connection every 300 ms (each write
    // well inside the idle time-out), probing between rounds, for rounds
    // rounds; then every flood connection must have been closed.
    void TrickleAndProbe(const std::string& line, int rounds) {
        for (int round = 0; round < rounds; ++round) {
            for (const int fd : flood) ::send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            ExpectProbeAnswered();
            std::this_thread::sleep_for(300ms);
        }
    }

    size_t StillOpen() const {
        return static_cast<size_t>(std::count_if(flood.begin(), flood.end(), [](int fd) { return !ClosedByServer(fd); }));
    }

    std::vector<int> flood;
    double worstProbe = 0;
};

TEST_F(FloodTest, HeadersSentALineAtATimeAreCutOffAtTheHeaderDeadline) {
    Open("GET / HTTP/1.1\r\n");
    TrickleAndProbe("X-Slow: 1\r\n", 10); // 3 s against a 1 s deadline and a 10 s idle time-out
    EXPECT_EQ(StillOpen(), 0u);
    EXPECT_NE(Body(Get(port, "/metrics")).find("nivora_connections_cut_total 400\n"), std::string::npos);
}

TEST_F(FloodTest, SilentConnectionsAreClosedAtTheHeaderDeadlineNotTheIdleOne) {
    Open("");
    TrickleAndProbe("", 8);
    EXPECT_EQ(StillOpen(), 0u);
}

TEST_F(FloodTest, BodiesTrickledBelowTheRateAreCutOffWithNothingStored) {
    // Half with a length, half chunked without end.
    for (int a = 0; a < kAddresses; ++a)
        for (int c = 0; c < kPerAddress; ++c) {
            const int fd = ConnectTo("127.0.0.1", port, "127.0.2." + std::to_string(a + 1));
            ASSERT_GE(fd, 0);
            SendAll(fd, c % 2 ? "POST /saver.php HTTP/1.1\r\nHost: x\r\nContent-Length: 4000\r\n\r\n"
                              : "POST /saver.php HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n");
            flood.push_back(fd);
        }
    TrickleAndProbe("1\r\nu\r\n", 10);
    EXPECT_EQ(StillOpen(), 0u);
    ExpectDatabaseIntact(0);
}

TEST_F(FloodTest, AConnectionWhoseClientHungUpFreesItsPlaceWithinASecond) {
    // Deadlines far off: only the hang-up can free the places.
    server.Stop();
    options.HeaderSeconds = 30;
    StartServer();
    // Every address uses up its connections and hangs up; each may connect
    // again within a second.
    Open("GET / HTTP/1.1\r\nHost: x\r\n");
    for (const int fd : flood) ::close(fd);
    flood.clear();
    for (int a = 0; a < kAddresses; a += 7) {
        const std::string from = "127.0.2." + std::to_string(a + 1);
        std::string answer;
        const auto until = std::chrono::steady_clock::now() + 1s;
        do {
            answer.clear();
            const int fd = ConnectTo("127.0.0.1", port, from);
            ASSERT_GE(fd, 0);
            SendAll(fd, "GET /top.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
            answer = ReadAll(fd);
            ::close(fd);
        } while (Status(answer) != 200 && std::chrono::steady_clock::now() < until);
        EXPECT_EQ(Status(answer), 200) << from;
    }
}

TEST_F(FloodTest, AKeptConnectionMayIdlePastTheHeaderDeadlineBeforeItsNextRequest) {
    const int fd = Connect(port);
    ASSERT_GE(fd, 0);
    const std::string request = "GET /top.php HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_TRUE(SendAll(fd, request));
    char buffer[4096];
    ASSERT_GT(::recv(fd, buffer, sizeof buffer, 0), 0);
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(SendAll(fd, request));
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    ::close(fd);
    ASSERT_GT(got, 0);
    EXPECT_EQ(Status(std::string(buffer, static_cast<size_t>(got))), 200);
}

} // namespace
} // namespace scorestest
