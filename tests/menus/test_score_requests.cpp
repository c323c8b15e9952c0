// The score client's requests on the wire: the exact bytes it sends, taken by
// a real listener on 127.0.0.1, the replies it keeps, and how soon it gives up
// on a server that is not there or never answers.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "menus/score_client.h"
#include "tests/test_support.h"

namespace {

// A listening socket on 127.0.0.1 with a port of its own. Answer() takes one
// request and sends the given reply bytes; without Answer() the connections
// wait in the backlog, accepted by the kernel and never answered.
class Listener {
public:
    Listener() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 && ::listen(fd, 4) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port = ntohs(address.sin_port);
        ::setenv("NIVORA_SCORE_SERVER", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);
    }
    ~Listener() {
        if (thread.joinable()) thread.join();
        ::close(fd);
    }

    // reset: once the reply is sent and read, the connection is reset rather than closed.
    void Answer(std::string reply, bool reset = false) {
        thread = std::thread([this, reply = std::move(reply), reset] {
            const int client = ::accept(fd, nullptr, nullptr);
            if (client < 0) return;
            // Headers, then as many body bytes as Content-Length says.
            char buffer[4096];
            ssize_t got;
            while ((got = ::recv(client, buffer, sizeof buffer, 0)) > 0) {
                request.append(buffer, static_cast<size_t>(got));
                const size_t end = request.find("\r\n\r\n");
                if (end == std::string::npos) continue;
                const size_t length = request.find("Content-Length: ");
                const size_t body = length == std::string::npos ? 0 : std::stoul(request.substr(length + 16));
                if (request.size() >= end + 4 + body) break;
            }
            for (size_t sent = 0; sent < reply.size();) {
                const ssize_t n = ::send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
            if (reset) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the client reads what came
                const linger abort{1, 0};
                ::setsockopt(client, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            }
            ::close(client);
        });
    }

    // The request's bytes; valid once the client's call has returned.
    const std::string& Request() {
        if (thread.joinable()) thread.join();
        return request;
    }

    int fd = -1;
    uint16_t port = 0;

private:
    std::thread thread;
    std::string request;
};

std::string Ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

double SecondsOf(const auto& call) {
    const auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(ScoreClient, FormEncodeKeepsOnlyLettersDigitsAndUnderscore) {
    EXPECT_EQ(FormEncode("a b_C9"), "a+b_C9");
    EXPECT_EQ(FormEncode("x.y"), "x%2Ey");
    EXPECT_EQ(FormEncode(""), "");
    EXPECT_EQ(FormEncode("^2-\xE9\x01[]=&%+"), "%5E2%2D%E9%01%5B%5D%3D%26%25%2B");
    EXPECT_EQ(FormBody({"user", "score"}, {"^2A", "1", "B", "2", "C"}), "user[]=%5E2A&score[]=1&user[]=B&score[]=2&user[]=C");
    EXPECT_EQ(FormBody({"count"}, {"20"}), "count=20");
}

TEST(ScoreClient, SendsExactlyThePostTheServerExpects) {
    Listener listener;
    listener.Answer(Ok("Received 1 rows"));
    EXPECT_EQ(PostForm("saver.php", {"user", "score", "level", "time"}, {"^2Ann", "30", "5", "1234", "B", "1", "1", "5"}),
              "Received 1 rows");
    const std::string body = "user[]=%5E2Ann&score[]=30&level[]=5&time[]=1234&user[]=B&score[]=1&level[]=1&time[]=5";
    EXPECT_EQ(listener.Request(), "POST /saver.php HTTP/1.1\r\n"
                                  "Host: 127.0.0.1:" + std::to_string(listener.port) + "\r\n"
                                  "Accept: */*\r\n"
                                  "content-type: application/x-www-form-urlencoded\r\n"
                                  "Content-Length: " + std::to_string(body.size()) + "\r\n"
                                  "\r\n" + body);

    Listener top;
    top.Answer(Ok("<pre id=\"view_record\">\n0\n"));
    EXPECT_EQ(FetchTop(20), "<pre id=\"view_record\">\n0\n");
    EXPECT_NE(top.Request().find("POST /top.php HTTP/1.1\r\n"), std::string::npos);
    EXPECT_TRUE(top.Request().ends_with("\r\n\r\ncount=20"));
}

TEST(ScoreClient, KeepsAnErrorPageWholeAndCutsAnEnormousReplyAtItsCap) {
    {
        Listener listener;
        const std::string page(5000, 'e'); // several reads of 1024 bytes and more
        listener.Answer("HTTP/1.1 404 Not Found\r\nContent-Length: 5000\r\nConnection: close\r\n\r\n" + page);
        EXPECT_EQ(FetchTop(20), page);
    }
    Listener listener;
    listener.Answer(Ok(std::string(3 * kMaxReplyBytes, 'x')));
    const std::string reply = FetchTop(20);
    EXPECT_EQ(reply.size(), kMaxReplyBytes);
    EXPECT_EQ(reply.find_first_not_of('x'), std::string::npos);
}

TEST(ScoreClient, AReplyTheServerCutShortKeepsWhatArrived) {
    const std::string body = "<pre id=\"view_record\">\n1\n^2Ann\n30\n";
    {
        Listener listener; // announces more than it sends, then closes
        listener.Answer("HTTP/1.1 200 OK\r\nContent-Length: 500\r\nConnection: close\r\n\r\n" + body);
        EXPECT_EQ(FetchTop(20), body);
        EXPECT_NE(TestLogText().find("Scores  : http://127.0.0.1:" + std::to_string(listener.port) + "/top.php: "),
                  std::string::npos);
    }
    Listener listener; // resets the connection part-way
    listener.Answer("HTTP/1.1 200 OK\r\nContent-Length: 500\r\n\r\n" + body, true);
    EXPECT_EQ(PostForm("saver.php", {"user"}, {"x"}), body);
}

TEST(ScoreClient, ADeadOrSilentServerGivesAnEmptyReplyWithinTheTimeOut) {
    uint16_t deadPort;
    {
        Listener closed; // the port is free again once it closes
        deadPort = closed.port;
    }
    ::setenv("NIVORA_SCORE_SERVER", ("127.0.0.1:" + std::to_string(deadPort)).c_str(), 1);
    std::string reply = "unset";
    EXPECT_LT(SecondsOf([&] { reply = FetchTop(20); }), kRequestTimeoutMs / 1000.0 + 10);
    EXPECT_EQ(reply, "");

    Listener silent; // accepts (in the kernel) and never answers
    reply = "unset";
    const double seconds = SecondsOf([&] { reply = FetchTop(20); });
    EXPECT_EQ(reply, "");
    EXPECT_LT(seconds, kRequestTimeoutMs / 1000.0 + 10); // bounded: a few seconds, not minutes
    EXPECT_NE(TestLogText().find("Scores  : http://127.0.0.1:" + std::to_string(silent.port) + "/top.php: "),
              std::string::npos);
}

TEST(ScoreClient, TheServerVariableNamesHostAndPortOrIsRefused) {
    TScoreServerAddress address;
    ::setenv("NIVORA_SCORE_SERVER", "scores.example:8080", 1);
    ASSERT_TRUE(ScoreServerAddress(address));
    EXPECT_EQ(address.Host, "scores.example");
    EXPECT_EQ(address.Port, 8080);
    ::setenv("NIVORA_SCORE_SERVER", "[::1]:81", 1);
    ASSERT_TRUE(ScoreServerAddress(address));
    EXPECT_EQ(address.Host, "[::1]");
    EXPECT_EQ(address.Port, 81);
    ::setenv("NIVORA_SCORE_SERVER", "host.only", 1);
    ASSERT_TRUE(ScoreServerAddress(address));
    EXPECT_EQ(address.Port, 80);
    for (const char* bad : {"evil/path", "a:0", "a:65536", "a:", "a:8x", "user@host", "[::1", "[zz]:1", ":80"}) {
        ::setenv("NIVORA_SCORE_SERVER", bad, 1);
        EXPECT_FALSE(ScoreServerAddress(address)) << bad;
        EXPECT_EQ(PostForm("saver.php", {"a"}, {"b"}), "") << bad; // nothing is sent anywhere
    }
    ::unsetenv("NIVORA_SCORE_SERVER");
    ASSERT_TRUE(ScoreServerAddress(address)); // the built-in server
    EXPECT_FALSE(address.Host.empty());
    ::setenv("NIVORA_SCORE_SERVER", "127.0.0.1:1", 1); // as every test starts
}
