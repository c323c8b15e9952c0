// "Send record" and "Online Top" against running score servers on 127.0.0.1:
// the debug log of the server's answer, the rows a refresh brings and the
// rows above its count that keep their texts, and how long a refresh holds the
// game when the server is not there or never answers.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "menus/online_menu.h"
#include "server/http_client.h"
#include "server/score_server.h"
#include "tests/menus/menu_fixture.h"
#include "tests/support/played_game.h"
#include "tests/support/window.h"

namespace {

const bool installed = (test_window::GameWindow::Install(), true);

class OnlineTest : public MenusTest {
protected:
    // A server with its own database; the game's requests go to it from now on.
    uint16_t Serve(scores::TScoreServer& server) {
        scores::TServerOptions options;
        options.Address = "127.0.0.1";
        options.Port = 0;
        options.Database = MakeTempDir() + "/scores.db";
        options.SendsPerMinute = 0;
        options.Quiet = true;
        EXPECT_TRUE(server.Start(options)) << server.LastError();
        PointAt(server.Port());
        return server.Port();
    }
    static void PointAt(uint16_t port) {
        ::setenv("NIVORA_SCORE_SERVER", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);
    }
    // The raw response to a request sent to the server on port.
    static std::string Exchange(uint16_t port, const std::string& request) {
        return scores::http::Exchange("127.0.0.1", port, request, 60);
    }
    // Seconds a refresh holds the update step.
    double TimedRefresh(TOnLineMenu& online) {
        const auto start = std::chrono::steady_clock::now();
        Choose(online, "Refresh");
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

TEST_F(OnlineTest, SentRecordsComeBackInTheOnlineTopAndRowsAboveTheCountKeepTheirTexts) {
    scores::TScoreServer full;
    Serve(full);
    Create();
    TRecordMenu& records = *menu->RecordsMenu; // the default table, User[20] first
    menu->Debug = true;
    Choose(records, "Send record");
    EXPECT_NE(TestLogText().find("Received 20 rows: 20 new, 0 known, 0 empty, 0 rejected\r\n"), std::string::npos);
    menu->Debug = false; // without -Debug only the line "Send Records", not the answer
    Choose(records, "Send record");
    EXPECT_NE(TestLogText().find("Send Records\r\n"), std::string::npos);
    EXPECT_EQ(TestLogText().find("0 new, 20 known"), std::string::npos);

    TOnLineMenu& online = *menu->OnlineMenu;
    Choose(online, "Refresh");
    EXPECT_EQ(online.MsgText, "Record loading...");
    EXPECT_EQ(online.RowCount, 20);
    for (int32_t i = 0; i < 20; ++i) {
        const TScoreRec& sent = records.Records()[static_cast<size_t>(i)];
        EXPECT_EQ(online.OnlineRows[static_cast<size_t>(i)].Name, sent.Name.Str());
        EXPECT_EQ(online.OnlineRows[static_cast<size_t>(i)].Score, std::to_string(sent.Score));
        EXPECT_EQ(online.OnlineRows[static_cast<size_t>(i)].Time, std::to_string(sent.Time));
        EXPECT_EQ(online.OnlineRows[static_cast<size_t>(i)].Place, std::to_string(i + 1));
    }

    // Another server with three results: rows 4..20 stay as the first one sent them.
    scores::TScoreServer small;
    const uint16_t port = Serve(small);
    const std::string sent = scores::http::SendBody({{"%5E2A", 90, 1, 1}, {"B", 80, 1, 1}, {"C", 70, 1, 1}});
    EXPECT_EQ(scores::http::StatusOf(Exchange(port, scores::http::PostRequest("/saver.php", sent))), 200);
    Choose(online, "Refresh");
    EXPECT_EQ(online.RowCount, 3);
    EXPECT_EQ(online.OnlineRows[0].Name, "^2A");
    EXPECT_EQ(online.OnlineRows[2].Name, "C");
    EXPECT_EQ(online.OnlineRows[3].Name, records.Records()[3].Name.Str());
    EXPECT_EQ(online.OnlineRows[19].Name, records.Records()[19].Name.Str());
    CurrentScene = &online;
    AppRender(); // the recompiled table draws
}

// "Send record" sends the table as before, then the replays of the rows that
// have one: the server verifies the played result. When the table does not
// get through, no replay is sent.
TEST_F(OnlineTest, SendRecordSendsTheTableThenTheReplaysAndThePlayedRowIsVerified) {
    scores::TScoreServer server;
    const uint16_t port = Serve(server);
    Create();
    const auto recorder = std::make_unique<TReplayRecorder>();
    const test_game::TPlayedGame game = test_game::PlayByRules(77, *recorder);
    menu->AddPlayedRecord("^2Played", game.Score, game.Level, static_cast<int32_t>(game.Ticks), *recorder);
    menu->Debug = true;
    Choose(*menu->RecordsMenu, "Send record");
    EXPECT_NE(TestLogText().find("Received 20 rows: 20 new, 0 known, 0 empty, 0 rejected\r\n"), std::string::npos);
    EXPECT_NE(TestLogText().find("Received 1 replays: 1 verified, 0 refused, 0 rejected\r\n"), std::string::npos);
    EXPECT_NE(scores::http::BodyOf(Exchange(port, scores::http::GetRequest("/"))).find("class=\"v\""),
              std::string::npos);

    // A server that is gone: the table is not taken, and no replay follows it.
    scores::TScoreServer other;
    Serve(other);
    other.Stop();
    const size_t logged = TestLogText().size();
    Choose(*menu->RecordsMenu, "Send record");
    EXPECT_EQ(TestLogText().find("replays", logged), std::string::npos);
}

TEST_F(OnlineTest, ARefreshWithoutAnAnsweringServerHoldsTheGameOnlyForTheTimeOut) {
    Create();
    TOnLineMenu& online = *menu->OnlineMenu;
    online.OnlineRows[5].Name = "^2Kept";

    // A port nobody listens on: refused at once.
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size), 0);
    PointAt(ntohs(address.sin_port));
    const double refused = TimedRefresh(online); // bound, not listening
    // A server that takes the connection and never answers.
    ASSERT_EQ(::listen(probe, 4), 0);
    const double silent = TimedRefresh(online);
    ::close(probe);
    RecordProperty("refused_seconds", std::to_string(refused));
    RecordProperty("silent_seconds", std::to_string(silent));
    std::printf("Refresh held the game %.3f s against a closed port, %.3f s against a silent server\n", refused,
                silent);
    EXPECT_LT(refused, kRequestTimeoutMs / 1000.0 + 10);
    EXPECT_LT(silent, kRequestTimeoutMs / 1000.0 + 10);
    EXPECT_EQ(online.RowCount, 0);
    EXPECT_EQ(online.OnlineRows[5].Name, "^2Kept");
    EXPECT_EQ(online.MsgTimer, 250);
}

} // namespace
