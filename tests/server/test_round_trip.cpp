// The game's client against a running nivora-scores on 127.0.0.1: a table sent
// as "Send record" sends it comes back from the top list exactly as sent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "menus/score_client.h"
#include "tests/server/server_fixture.h"

using namespace scorestest;

namespace {

std::string Today() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    return text;
}

} // namespace

TEST_F(ServerTest, ATableSentByTheClientComesBackFromTheTopListAsSent) {
    ::setenv("NIVORA_SCORE_SERVER", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);
    struct Row {
        std::string name;
        int score, level, time;
    };
    // Coloured names, a name in code page 1251 ("Ivan" in Cyrillic), spaces and
    // punctuation, a full 32-byte name; empty slots as a table not yet full has them.
    const std::vector<Row> table = {
        {"^2Ann", 900, 12, 12345},       {"\xC8\xE2\xE0\xED", 800, 11, 9999}, {"^x00aaffB o-b.", 700, 10, 500},
        {std::string(32, 'Z'), 600, 9, 1}, {"^1R&d <x> 'q'", 500, 8, 0},          {"", 0, 0, 0},
        {"", 0, 0, 0}};
    std::vector<std::string> values;
    for (const Row& row : table)
        for (const std::string& value : {row.name, std::to_string(row.score), std::to_string(row.level),
                                         std::to_string(row.time)})
            values.push_back(value);
    const std::vector<std::string> names = {"user", "score", "level", "time"};
    EXPECT_EQ(PostForm("saver.php", names, values), "Received 7 rows: 5 new, 0 known, 2 empty, 0 rejected");
    // The game sends its whole table every time: nothing new the second time.
    EXPECT_EQ(PostForm("saver.php", names, values), "Received 7 rows: 0 new, 5 known, 2 empty, 0 rejected");

    const TTopReply top = ParseTop(FetchTop(20));
    EXPECT_EQ(top.Count, 5);
    ASSERT_EQ(top.Rows.size(), 5u);
    for (size_t i = 0; i < top.Rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(top.Rows[i].Name, table[i].name);
        EXPECT_EQ(top.Rows[i].Score, std::to_string(table[i].score));
        EXPECT_EQ(top.Rows[i].Level, std::to_string(table[i].level));
        EXPECT_EQ(top.Rows[i].Time, std::to_string(table[i].time));
        EXPECT_EQ(top.Rows[i].Date, Today());
        EXPECT_EQ(top.Rows[i].Place, std::to_string(i + 1));
    }
    ExpectDatabaseIntact(5);
}
