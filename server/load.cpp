// nivora-scores-load: how many top-list reads and sends a score server answers
// per second on this machine. It starts a server of its own on 127.0.0.1 with
// a fresh database, fills it with a game's table, then runs a bounded number of
// requests from a few client threads, each on a new connection as the game
// makes them, and stops early when a time limit passes.
//
//   nivora-scores-load [--requests N] [--clients C] [--seconds S]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "server/form.h"
#include "server/score_server.h"

namespace {

using Clock = std::chrono::steady_clock;

// One request on a new connection; true when the answer is a 200.
bool Request(uint16_t port, const std::string& bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    std::string answer;
    char buffer[8192];
    ssize_t got;
    while (ok && (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, static_cast<size_t>(got));
    ::close(fd);
    return ok && answer.rfind("HTTP/1.1 200", 0) == 0;
}

std::string PostBytes(const std::string& path, const std::string& body) {
    return "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
           "content-type: application/x-www-form-urlencoded\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// A game's table of 20 results; `fresh` makes the first row one the server has not seen.
std::string Table(int fresh) {
    std::string body;
    for (int rank = 1; rank <= 20; ++rank) {
        const int score = rank == 1 ? 1000 + fresh : 500 - rank;
        if (!body.empty()) body += "&";
        body += "user[]=%5E2Player" + std::to_string(rank) + "&score[]=" + std::to_string(score) +
                "&level[]=7&time[]=" + std::to_string(rank * 1234);
    }
    return body;
}

struct TRun {
    int Done = 0;
    int Failed = 0;
    double Seconds = 0;
};

template <class MakeRequest>
TRun Run(uint16_t port, int requests, int clients, double maxSeconds, MakeRequest make) {
    std::atomic<int> next{0};
    std::atomic<int> failed{0};
    std::atomic<int> done{0};
    const auto start = Clock::now();
    const auto deadline = start + std::chrono::duration<double>(maxSeconds);
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&] {
            for (int i; (i = next.fetch_add(1)) < requests && Clock::now() < deadline;)
            {
                if (!Request(port, make(i))) failed.fetch_add(1);
                done.fetch_add(1);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    TRun run;
    run.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.Done = done.load();
    run.Failed = failed.load();
    return run;
}

void Report(const char* what, const TRun& run) {
    std::printf("%-10s %6d requests in %6.2f s: %8.0f per second, %d failed\n", what, run.Done, run.Seconds,
                run.Done / run.Seconds, run.Failed);
}

} // namespace

int main(int argc, char** argv) {
    int requests = 2000;
    int clients = 4;
    int seconds = 30;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const std::optional<int32_t> value = scores::ParseCount(argv[i + 1]);
        if (!value || *value == 0) return 2;
        if (option == "--requests") requests = *value;
        else if (option == "--clients") clients = std::min(*value, 64);
        else if (option == "--seconds") seconds = *value;
        else return 2;
    }
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("nivora-scores-load-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    scores::TServerOptions options;
    options.Address = "127.0.0.1";
    options.Port = 0;
    options.Database = (dir / "load.db").string();
    options.SendsPerMinute = 0;
    options.ConnectionsPerAddress = 0; // every client comes from 127.0.0.1
    options.Quiet = true;
    scores::TScoreServer server;
    if (!server.Start(options)) {
        std::fprintf(stderr, "nivora-scores-load: %s\n", server.LastError().c_str());
        return 1;
    }
    const uint16_t port = server.Port();
    Request(port, PostBytes("/saver.php", Table(0)));
    std::printf("%d requests of each kind (at most %d s), %d clients, a new connection each\n", requests, seconds,
                clients);
    const std::string top = PostBytes("/top.php", "count=20");
    Report("/top.php", Run(port, requests, clients, seconds, [&](int) { return top; }));
    Report("/saver.php", Run(port, requests, clients, seconds, [](int i) { return PostBytes("/saver.php", Table(i)); }));
    server.Stop();
    std::filesystem::remove_all(dir);
    return 0;
}
