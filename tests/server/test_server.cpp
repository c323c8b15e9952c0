// The score server running on 127.0.0.1: what it stores and how it ranks,
// and the requests a hostile client sends it, after which the database must
// still be whole.
#include <signal.h>
#include <sys/wait.h>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <thread>

#include "tests/server/backends.h"

using namespace scorestest;

namespace {

// Today's date in UTC, "YYYY-MM-DD".
std::string Today() { return scores::UtcDate(static_cast<int64_t>(std::time(nullptr))); }

} // namespace

NIVORA_ON_BOTH_BACKENDS(BackendTest);

TEST_P(BackendTest, StoresEachDistinctResultOnceBestFirstAndOlderFirstAmongEquals) {
    const std::string first = Post(port, "/saver.php", SendBody({{"Ann", 30, 5, 100}, {"Bob", 20, 3, 90}}));
    EXPECT_EQ(Status(first), 200);
    EXPECT_EQ(Body(first), "Received 2 rows: 2 new, 0 known, 0 empty, 0 rejected");
    // The whole table again, with a later result equal to Ann's and an empty slot.
    const std::string second =
        Post(port, "/saver.php", SendBody({{"Cid", 30, 6, 80}, {"Ann", 30, 5, 100}, {"Bob", 20, 3, 90}, {"", 0, 0, 0}}));
    EXPECT_EQ(Body(second), "Received 4 rows: 1 new, 2 known, 1 empty, 0 rejected");
    EXPECT_EQ(TopNames(port), (std::vector<std::string>{"Ann", "Cid", "Bob"}));
    // The same name with another score is another result.
    Post(port, "/saver.php", SendBody({{"Bob", 50, 1, 1}}));
    EXPECT_EQ(TopNames(port), (std::vector<std::string>{"Bob", "Ann", "Cid", "Bob"}));
    ExpectDatabaseIntact(4);
}

TEST_P(BackendTest, TopReplyFollowsTheGrammarAndHonoursTheCountWithinItsLimit) {
    std::vector<std::tuple<std::string, int, int, int>> rows;
    for (int i = 1; i <= 20; ++i) rows.emplace_back(std::string("P").append(std::to_string(i)), i, 2, i * 10);
    Post(port, "/saver.php", SendBody(rows));
    const std::string response = Post(port, "/top.php", "count=1");
    EXPECT_NE(response.find("Content-Type: text/plain"), std::string::npos);
    EXPECT_NE(response.find("X-Content-Type-Options: nosniff"), std::string::npos);
    const std::string body = Body(response);
    const size_t date = body.find("P20\n20\n2\n") + 9;
    ASSERT_EQ(body.substr(0, date), "<pre id=\"view_record\">\n1\nP20\n20\n2\n");
    EXPECT_EQ(body.substr(date + 10), "\n200\n1\n</pre>\n"); // date, time in hundredths, place
    EXPECT_EQ(TopNames(port, 3).size(), 3u);
    EXPECT_EQ(TopNames(port, 2000000000).size(), 20u); // at most kMaxTopCount, all 20 here
    EXPECT_EQ(Status(Get(port, "/top.php")), 200);
}

TEST_P(BackendTest, HostileRequestsAreRefusedAndLeaveTheTableWhole) {
    ASSERT_EQ(Status(Post(port, "/saver.php", SendBody({{"Keep", 10, 1, 1}}))), 200);
    const std::string overlong(200 * 1024, 'a');
    struct Case {
        const char* what;
        std::string request;
        int status; // kRefused: any 4xx, or a close without an answer
    };
    constexpr int kRefused = -1;
    const auto post = [](const std::string& path, const std::string& body) {
        return "POST " + path + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n\r\n" + body;
    };
    const std::string smuggled = SendBody({{"Smuggled", 99, 1, 1}}) + "&";
    const auto smuggle = [](const std::string& headers, const std::string& body) {
        return "POST /saver.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" + headers + "\r\n" + body;
    };
    const std::vector<Case> cases = {
        {"malformed percent-encoding", post("/saver.php", "user[]=%G1&score[]=1&level[]=1&time[]=1"), 400},
        {"a truncated escape", post("/saver.php", "user[]=a%4"), 400},
        {"missing fields", post("/saver.php", "user[]=A&score[]=1"), 400},
        {"mismatched lists", post("/saver.php", SendBody({{"A", 1, 1, 1}}) + "&user[]=B"), 400},
        {"more rows than a table", post("/saver.php", [] {
             std::string body = "user[]=x";
             for (int i = 0; i < 30; ++i) body += "&user[]=x";
             return body;
         }()), 400},
        {"a count of two billion", post("/top.php", "count=2000000000"), 200},
        {"a body over the cap", post("/saver.php", "user[]=" + std::string(20000, 'a')), 413},
        {"a length over the cap, no body", "POST /saver.php HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999999\r\n\r\n",
         413},
        {"a chunked body over the cap",
         "POST /saver.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\nTransfer-Encoding: chunked\r\n\r\n" +
             [] {
                 std::string chunks;
                 for (int i = 0; i < 20; ++i) chunks += "400\r\n" + std::string(1024, 'a') + "\r\n";
                 return chunks + "0\r\n\r\n";
             }(),
         413},
        {"an overlong request line", "GET /" + overlong + " HTTP/1.1\r\nHost: x\r\n\r\n", kRefused},
        {"an overlong header line", "GET / HTTP/1.1\r\nHost: x\r\nX: " + overlong + "\r\n\r\n", kRefused},
        {"an unknown path", post("/admin.php", "x=1"), 404},
        {"a read of the send page", "GET /saver.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 405},
        {"another verb", "DELETE /top.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n", 405},
        {"not HTTP at all", std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 16), kRefused},
        // Framing a proxy could read otherwise: either reading holds a whole send.
        {"two lengths", smuggle("Content-Length: " + std::to_string(smuggled.size()) + "\r\nContent-Length: " +
                                std::to_string(smuggled.size() - 1) + "\r\n", smuggled), 400},
        {"two equal lengths", smuggle("Content-Length: " + std::to_string(smuggled.size()) + "\r\ncontent-length: " +
                                      std::to_string(smuggled.size()) + "\r\n", smuggled), 400},
        {"a length beside chunks",
         smuggle("Content-Length: " + std::to_string(smuggled.size()) + "\r\nTransfer-Encoding: chunked\r\n",
                 [&] {
                     char size[16];
                     std::snprintf(size, sizeof size, "%zx", smuggled.size());
                     return size + std::string("\r\n") + smuggled + "\r\n0\r\n\r\n";
                 }()),
         400},
    };
    for (const Case& c : cases) {
        const int status = Status(Exchange(port, c.request));
        // The library answers an oversized line or garbage with a 4xx or by closing.
        if (c.status == kRefused)
            EXPECT_TRUE(status == 0 || (status >= 400 && status < 500)) << c.what << ": " << status;
        else
            EXPECT_EQ(status, c.status) << c.what;
    }
    // Rows out of the rules are dropped one by one, the rest are kept.
    const std::string mixed = Post(port, "/saver.php",
                                   "user[]=Neg&score[]=-5&level[]=1&time[]=1&user[]=Big&score[]=2147483648&level[]=1"
                                   "&time[]=1&user[]=Txt&score[]=12abc&level[]=1&time[]=1&user[]=" +
                                       std::string(33, 'n') + "&score[]=1&level[]=1&time[]=1&user[]=Ok&score[]=3"
                                       "&level[]=1&time[]=1");
    EXPECT_EQ(Body(mixed), "Received 5 rows: 1 new, 0 known, 0 empty, 4 rejected");
    // Quotes and markup are a name like any other: stored and served as sent.
    const std::string quoted = "'); DROP TABLE results; --";
    const std::string script = "<script>alert(1)</script>";
    const auto encode = [](const std::string& text) {
        std::string out;
        char hex[4];
        for (const unsigned char c : text) {
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
        return out;
    };
    EXPECT_EQ(Status(Post(port, "/saver.php",
                          "user[]=" + encode(quoted) + "&score[]=7&level[]=1&time[]=1&user[]=" + encode(script) +
                              "&score[]=6&level[]=1&time[]=1")),
              200);
    EXPECT_EQ(TopNames(port), (std::vector<std::string>{"Keep", quoted, script, "Ok"}));
    const std::string page = Get(port, "/");
    EXPECT_EQ(Status(page), 200);
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(page.find("&#39;); DROP TABLE results; --"), std::string::npos);
    EXPECT_NE(page.find("Content-Security-Policy: default-src 'none'"), std::string::npos);
    ExpectDatabaseIntact(4);
}

TEST_F(ServerTest, WithoutAnAddressBothIPv6AndIPv4AreServedAndAnAddressNarrowsIt) {
    const auto statusFrom = [&](const std::string& host) {
        const int fd = ConnectTo(host, port);
        if (fd < 0) return -1; // refused
        SendAll(fd, "GET /top.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        const int status = Status(ReadAll(fd));
        ::close(fd);
        return status;
    };
    server.Stop();
    options.Address = "";
    ASSERT_TRUE(server.Start(options)) << server.LastError();
    port = server.Port();
    EXPECT_EQ(statusFrom("::1"), 200);
    EXPECT_EQ(statusFrom("127.0.0.1"), 200);
    server.Stop();
    options.Address = "::1";
    ASSERT_TRUE(server.Start(options)) << server.LastError();
    port = server.Port();
    EXPECT_EQ(statusFrom("::1"), 200);
    EXPECT_EQ(statusFrom("127.0.0.1"), -1);
    server.Stop();
    options.Address = "localhost";
    EXPECT_FALSE(server.Start(options));
    EXPECT_EQ(server.LastError(), "not an IP address: localhost");
}

TEST_P(BackendTest, ASlowClientIsCutOffWhileOthersAreServed) {
    server.Stop();
    StartServer(0, 1);
    const int slow = Connect(port);
    ASSERT_GE(slow, 0);
    ASSERT_TRUE(SendAll(slow, "POST /saver.php HTTP/1.1\r\nHost: x\r\nContent-Length: 100\r\n\r\nuser[]=Slo"));
    // The server is not held up by it...
    EXPECT_EQ(Status(Post(port, "/saver.php", SendBody({{"Fast", 5, 1, 1}}))), 200);
    // ...and closes it after its time-out with nothing stored (a read returns
    // at the close, or fails the test after a minute).
    const std::string answer = ReadAll(slow);
    ::close(slow);
    EXPECT_EQ(answer.find("200 OK"), std::string::npos);
    EXPECT_EQ(TopNames(port), (std::vector<std::string>{"Fast"}));
    ExpectDatabaseIntact(1);
}

TEST_P(BackendTest, OneAddressMaySendOnlySoOftenAMinute) {
    server.Stop();
    StartServer(2);
    EXPECT_EQ(Status(Post(port, "/saver.php", SendBody({{"A", 1, 1, 1}}))), 200);
    EXPECT_EQ(Status(Post(port, "/saver.php", SendBody({{"B", 2, 1, 1}}))), 200);
    const std::string third = Post(port, "/saver.php", SendBody({{"C", 3, 1, 1}}));
    EXPECT_EQ(Status(third), 429);
    EXPECT_EQ(Status(Post(port, "/top.php", "count=20")), 200); // reading is not limited
    EXPECT_EQ(TopNames(port), (std::vector<std::string>{"B", "A"}));
}

TEST_P(BackendTest, TheSendLimitIsARollingWindowAndFollowsTheClientBehindATrustedProxyOnly) {
    server.Stop();
    options.SendWindowMs = 2000;
    options.TrustedProxies = {"127.0.0.1"};
    StartServer(2);
    int next = 0;
    const auto sendFrom = [&](const std::string& client) {
        const std::string body = SendBody({{"R" + std::to_string(++next), next, 1, 1}});
        return Status(Exchange(port, "POST /saver.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                     "X-Forwarded-For: " + client + "\r\nContent-Length: " +
                                         std::to_string(body.size()) + "\r\n\r\n" + body));
    };
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sendFrom("198.51.100.1"), 200);
    EXPECT_EQ(sendFrom("203.0.113.9, 198.51.100.2"), 200); // the address the proxy appended counts
    EXPECT_EQ(sendFrom("2001:db8:1:2::1"), 200);
    EXPECT_EQ(sendFrom("2001:db8:1:2::ff"), 200);
    EXPECT_EQ(sendFrom("2001:db8:1:2:abcd::1"), 429); // the same /64
    EXPECT_EQ(sendFrom("2001:db8:1:3::1"), 200);
    std::this_thread::sleep_until(start + std::chrono::milliseconds(1000));
    EXPECT_EQ(sendFrom("198.51.100.1"), 200);
    EXPECT_EQ(sendFrom("198.51.100.1"), 429);
    // The first send has left the window, the second has not: one more, not a fresh window.
    std::this_thread::sleep_until(start + std::chrono::milliseconds(2300));
    EXPECT_EQ(sendFrom("198.51.100.1"), 200);
    EXPECT_EQ(sendFrom("198.51.100.1"), 429);
    // From a connection that is no trusted proxy, the header is the client's own word.
    server.Stop();
    options.TrustedProxies = {"192.0.2.1"};
    StartServer(1);
    EXPECT_EQ(sendFrom("198.51.100.50"), 200);
    EXPECT_EQ(sendFrom("198.51.100.51"), 429);
}

TEST_P(BackendTest, TheProgramStartsWithItsOptionsAndStopsOnSigterm) {
    server.Stop();
    int output[2];
    ASSERT_EQ(::pipe(output), 0);
    const std::string db = database;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(output[1], 1);
        ::close(output[0]);
        ::execl(NIVORA_SCORES_PROGRAM, NIVORA_SCORES_PROGRAM, "--address", "127.0.0.1", "--port", "0", "--db",
                db.c_str(), "--quiet", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(output[1]);
    FILE* lines = ::fdopen(output[0], "r");
    char line[256] = "";
    ASSERT_NE(std::fgets(line, sizeof line, lines), nullptr);
    const std::string banner = line;
    const size_t colon = banner.rfind(':');
    ASSERT_NE(colon, std::string::npos) << banner;
    const auto childPort = static_cast<uint16_t>(std::stoi(banner.substr(colon + 1)));
    EXPECT_EQ(Status(Post(childPort, "/saver.php", SendBody({{"Own", 9, 1, 1}}))), 200);
    EXPECT_EQ(TopNames(childPort), (std::vector<std::string>{"Own"}));
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    // --quiet: no access-log lines, only the end.
    ASSERT_NE(std::fgets(line, sizeof line, lines), nullptr);
    EXPECT_EQ(std::string(line), "nivora-scores: stopped\n");
    std::fclose(lines);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    options.Database = db;
    ExpectDatabaseIntact(1);
}

TEST_F(ServerTest, ADatabaseFileDeletedOrReplacedUnderTheServerGets503NeverAnAcknowledgement) {
    ASSERT_EQ(Status(Post(port, "/saver.php", SendBody({{"Keep", 5, 1, 1}}))), 200);
    const std::string copy = dir + "/copy.db";
    std::filesystem::copy_file(database, copy);
    std::filesystem::remove(database);
    EXPECT_EQ(Status(Get(port, "/healthz")), 200);
    EXPECT_EQ(Status(Post(port, "/saver.php", SendBody({{"Lost", 6, 1, 1}}))), 503);
    EXPECT_EQ(Status(Get(port, "/healthz")), 503); // a proxy sends the game elsewhere
    EXPECT_EQ(TopNames(port), (std::vector<std::string>{"Keep"})); // reads go on from memory
    // Another file at the same path is not the one the server opened either.
    std::filesystem::rename(copy, database);
    EXPECT_EQ(Status(Post(port, "/saver.php", SendBody({{"Lost", 7, 1, 1}}))), 503);
    server.Stop();
    StartServer();
    EXPECT_EQ(Status(Post(port, "/saver.php", SendBody({{"Next", 8, 1, 1}}))), 200);
    EXPECT_EQ(TopNames(port), (std::vector<std::string>{"Next", "Keep"}));
}

TEST_F(ServerTest, AFileThatCannotBeWrittenIsSaidAtStartAndTheTableIsStillShown) {
    ASSERT_EQ(Status(Post(port, "/saver.php", SendBody({{"Keep", 5, 1, 1}}))), 200);
    server.Stop();
    // The file read-only for the server's user, in a folder it may write (for
    // SQLite's shared-memory file); root writes anything, so the program runs as nobody then.
    std::filesystem::permissions(dir, std::filesystem::perms::all);
    for (const char* suffix : {"", "-wal", "-shm"})
        if (std::filesystem::exists(database + suffix))
            std::filesystem::permissions(database + suffix, std::filesystem::perms::owner_read |
                                                                std::filesystem::perms::others_read);
    int output[2], errors[2];
    ASSERT_EQ(::pipe(output), 0);
    ASSERT_EQ(::pipe(errors), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(output[1], 1);
        ::dup2(errors[1], 2);
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(126);
        ::execl(NIVORA_SCORES_PROGRAM, NIVORA_SCORES_PROGRAM, "--address", "127.0.0.1", "--port", "0", "--db",
                database.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(output[1]);
    ::close(errors[1]);
    FILE* lines = ::fdopen(output[0], "r");
    FILE* errorLines = ::fdopen(errors[0], "r");
    char line[512] = "";
    ASSERT_NE(std::fgets(line, sizeof line, errorLines), nullptr);
    EXPECT_EQ(std::string(line), "nivora-scores: " + database + " cannot be written: the table is shown, sends get 503\n");
    ASSERT_NE(std::fgets(line, sizeof line, lines), nullptr);
    const std::string banner = line;
    const auto childPort = static_cast<uint16_t>(std::stoi(banner.substr(banner.rfind(':') + 1)));
    EXPECT_EQ(TopNames(childPort), (std::vector<std::string>{"Keep"}));
    EXPECT_EQ(Status(Post(childPort, "/saver.php", SendBody({{"Lost", 6, 1, 1}}))), 503);
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    std::fclose(lines);
    std::fclose(errorLines);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
}

TEST_F(ServerTest, MetricsCountRequestsSendsAndRefusalsInTheTextFormat) {
    server.Stop();
    StartServer(1);
    EXPECT_EQ(Status(Post(port, "/saver.php", SendBody({{"A", 1, 1, 1}}))), 200);
    EXPECT_EQ(Status(Post(port, "/saver.php", SendBody({{"B", 2, 1, 1}}))), 429);
    EXPECT_EQ(Status(Post(port, "/top.php", "count=20")), 200);
    EXPECT_EQ(Status(Post(port, "/top.php", "count=20")), 200);
    EXPECT_EQ(Status(Get(port, "/nothing")), 404);
    EXPECT_EQ(Status(Post(port, "/healthz", "")), 405);
    const std::string response = Get(port, "/metrics");
    EXPECT_NE(response.find("Content-Type: text/plain; version=0.0.4"), std::string::npos);
    const std::string text = Body(response);
    for (const char* line : {
             "nivora_requests_total{path=\"/saver.php\",status=\"200\"} 1\n",
             "nivora_requests_total{path=\"/saver.php\",status=\"429\"} 1\n",
             "nivora_requests_total{path=\"/top.php\",status=\"200\"} 2\n",
             "nivora_requests_total{path=\"other\",status=\"404\"} 1\n",
             "nivora_requests_total{path=\"/healthz\",status=\"405\"} 1\n",
             "nivora_request_duration_seconds_bucket{le=\"+Inf\"} 6\n",
             "nivora_request_duration_seconds_count 6\n",
             "nivora_sends_stored_total 1\n",
             "nivora_sends_refused_total{cause=\"limit\"} 1\n",
             "nivora_sends_refused_total{cause=\"store\"} 0\n",
             "nivora_store_errors_total 0\n",
             "# TYPE nivora_top_list_age_seconds gauge\nnivora_top_list_age_seconds ",
         })
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
}

TEST_F(ServerTest, TheAccessLogHasALinePerRequestWithItsFields) {
    server.Stop();
    int output[2];
    ASSERT_EQ(::pipe(output), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(output[1], 1);
        ::close(output[0]);
        ::execl(NIVORA_SCORES_PROGRAM, NIVORA_SCORES_PROGRAM, "--address", "127.0.0.1", "--port", "0", "--db",
                database.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(output[1]);
    FILE* lines = ::fdopen(output[0], "r");
    char line[512] = "";
    ASSERT_NE(std::fgets(line, sizeof line, lines), nullptr);
    const std::string banner = line;
    const auto childPort = static_cast<uint16_t>(std::stoi(banner.substr(banner.rfind(':') + 1)));
    const std::string send = Post(childPort, "/saver.php", SendBody({{"Log", 9, 1, 1}}));
    Get(childPort, "/a%20b%0Ac");
    const auto next = [&] {
        return std::fgets(line, sizeof line, lines) ? std::string(line) : std::string();
    };
    const std::regex field("(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z) (\\S+) (\\S+) (\\S+) (\\d+) (\\d+) "
                           "(\\d+\\.\\d)\n");
    std::smatch parts;
    const std::string first = next();
    ASSERT_TRUE(std::regex_match(first, parts, field)) << first;
    EXPECT_EQ(parts[1].str().substr(0, 10), Today());
    EXPECT_EQ(parts[2], "127.0.0.1");
    EXPECT_EQ(parts[3], "POST");
    EXPECT_EQ(parts[4], "/saver.php");
    EXPECT_EQ(parts[5], "200");
    EXPECT_EQ(parts[6], std::to_string(Body(send).size()));
    const std::string second = next();
    ASSERT_TRUE(std::regex_match(second, parts, field)) << second;
    EXPECT_EQ(parts[4], "/a%20b%0Ac"); // one field, one line, whatever the path holds
    EXPECT_EQ(parts[5], "404");
    ::kill(child, SIGTERM);
    ::waitpid(child, nullptr, 0);
    std::fclose(lines);
}

TEST_F(ServerTest, AnSQLiteFileGetsTheSchemaVersionAndChecksAndANewerOneIsRefused) {
    server.Stop();
    // A file as servers before schema versions made it, with one result.
    const std::string old = dir + "/old.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(old.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "CREATE TABLE results (id INTEGER PRIMARY KEY, name BLOB NOT NULL, score INTEGER NOT NULL,"
                           " level INTEGER NOT NULL, time INTEGER NOT NULL, received TEXT NOT NULL,"
                           " UNIQUE (name, score, level, time));"
                           "CREATE INDEX results_rank ON results (score DESC, id);"
                           "INSERT INTO results VALUES (1, 'Old', 5, 1, 1, '2020-01-01');",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    std::string error;
    std::unique_ptr<scores::TScoreStore> store = scores::OpenScoreStore(old, error);
    ASSERT_TRUE(store) << error;
    EXPECT_TRUE(store->IntegrityOk()) << store->LastError();
    EXPECT_EQ(store->Size(), 1);
    const auto kept = store->Top(1);
    ASSERT_TRUE(kept && kept->size() == 1u);
    EXPECT_FALSE(kept->at(0).Verified) << "a result from before replays is not verified";
    store.reset();
    ASSERT_EQ(sqlite3_open(old.c_str(), &db), SQLITE_OK);
    // The checks hold, and an index of the operator's own is no fault.
    EXPECT_NE(sqlite3_exec(db, "INSERT INTO results (name, score, level, time, received) VALUES ('N', -1, 1, 1, 'x')",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE INDEX mine ON results (name)", nullptr, nullptr, nullptr), SQLITE_OK);
    store = scores::OpenScoreStore(old, error);
    ASSERT_TRUE(store) << error;
    EXPECT_TRUE(store->IntegrityOk()) << store->LastError();
    store.reset();
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 99", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    EXPECT_FALSE(scores::OpenScoreStore(old, error));
    EXPECT_EQ(error, "the database has schema version 99, newer than this server's 2");
}
