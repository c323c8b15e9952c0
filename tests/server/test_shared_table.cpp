// Several score servers over one PostgreSQL database: one table and one send
// limit for all of them, a schema that servers starting together create once,
// a database that goes away and comes back, and the checks that would notice
// a table gone wrong.
#include <gtest/gtest.h>

#include <thread>

#include "tests/server/backends.h"

using namespace scorestest;

namespace {

class SharedTableTest : public ServerTest {
protected:
    void SetUp() override {
        database = FreshPostgres();
        ASSERT_FALSE(database.empty());
        options.RefreshMs = 100; // another server's sends show here within this
        StartServer();
    }
    void TearDown() override {
        // A test that stopped the database leaves it running for the next one.
        if (stoppedDatabase) PostgresControl("start");
    }

    uint16_t StartSecond(scores::TScoreServer& second) {
        EXPECT_TRUE(second.Start(options)) << second.LastError();
        return second.Port();
    }

    bool stoppedDatabase = false;
};

std::string Row(const std::string& name, int score) {
    return "user[]=" + name + "&score[]=" + std::to_string(score) + "&level[]=1&time[]=1";
}

std::string TopBody(uint16_t port) { return Body(Post(port, "/top.php", "count=20")); }

} // namespace

TEST_F(SharedTableTest, TwoServersServeOneTableInOneOrderAndShareTheSendLimit) {
    server.Stop();
    StartServer(3);
    scores::TScoreServer second;
    const uint16_t other = StartSecond(second);
    EXPECT_EQ(Body(Post(port, "/saver.php", Row("Ann", 30))), "Received 1 rows: 1 new, 0 known, 0 empty, 0 rejected");
    EXPECT_EQ(Body(Post(other, "/saver.php", Row("Bob", 30) + "&" + Row("Ann", 30))),
              "Received 2 rows: 1 new, 1 known, 0 empty, 0 rejected");
    EXPECT_EQ(Status(Post(port, "/saver.php", Row("Cid", 30))), 200);
    // The fourth send from this address this minute, whichever server takes it.
    EXPECT_EQ(Status(Post(other, "/saver.php", Row("Dan", 40))), 429);
    EXPECT_EQ(Status(Post(port, "/saver.php", Row("Dan", 40))), 429);
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // both have read the table again
    const std::string top = TopBody(port);
    EXPECT_EQ(top, TopBody(other));
    EXPECT_LT(top.find("Ann"), top.find("Bob"));
    EXPECT_LT(top.find("Bob"), top.find("Cid"));
    EXPECT_EQ(top.find("Dan"), std::string::npos);
    ExpectDatabaseIntact(3);
}

TEST_F(SharedTableTest, ServersStartingTogetherOverAnEmptyDatabaseAllFindOneSchema) {
    server.Stop();
    FreshPostgres();
    std::vector<std::unique_ptr<scores::TScoreStore>> stores(6);
    std::vector<std::string> errors(stores.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < stores.size(); ++i)
        threads.emplace_back([&, i] { stores[i] = scores::OpenScoreStore(database, errors[i]); });
    for (std::thread& thread : threads) thread.join();
    for (size_t i = 0; i < stores.size(); ++i) {
        ASSERT_TRUE(stores[i]) << errors[i];
        EXPECT_EQ(stores[i]->Add({{"A", static_cast<int32_t>(i % 2), 1, 1, ""}}, 0), i < 2 ? 1 : 0);
    }
    ExpectDatabaseIntact(2);
}

TEST_F(SharedTableTest, ADatabaseAwayGets503sForSendsKeepsServingTheTableItHeldAndIsUsedAgainWhenBack) {
    ASSERT_EQ(Status(Post(port, "/saver.php", Row("Keep", 5))), 200);
    const std::string before = TopBody(port);
    ASSERT_TRUE(PostgresControl("stop -m fast"));
    stoppedDatabase = true;
    EXPECT_EQ(Status(Post(port, "/saver.php", Row("Lost", 6))), 503);
    // Reads come from the list in memory, never an empty one.
    EXPECT_EQ(TopBody(port), before);
    EXPECT_EQ(Status(Get(port, "/")), 200);
    EXPECT_EQ(Status(Get(port, "/top.php")), 200);
    ASSERT_TRUE(PostgresControl("start"));
    stoppedDatabase = false;
    // Connecting again waits out the back-off of the connects that failed.
    int status = 0;
    for (int tries = 0; tries < 50 && status != 200; ++tries) {
        status = Status(Post(port, "/saver.php", Row("Next", 7)));
        if (status != 200) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(status, 200);
    // A restart between two sends costs at most the one that finds the old connection gone.
    ASSERT_TRUE(PostgresControl("restart -m fast"));
    const int first = Status(Post(port, "/saver.php", Row("Next", 7)));
    EXPECT_TRUE(first == 200 || first == 503) << first;
    EXPECT_NE(TopBody(port).find("Next"), std::string::npos);
    ExpectDatabaseIntact(2);
}

TEST_F(SharedTableTest, ASchemaFromANewerServerIsRefusedAndABrokenTableFailsTheCheck) {
    server.Stop();
    ASSERT_TRUE(PostgresExec(database, "UPDATE nivora_schema SET version = version + 1"));
    std::string error;
    EXPECT_FALSE(scores::OpenScoreStore(database, error));
    EXPECT_NE(error.find("newer than this server's"), std::string::npos) << error;
    ASSERT_TRUE(PostgresExec(database, "UPDATE nivora_schema SET version = version - 1"));
    const std::unique_ptr<scores::TScoreStore> store = scores::OpenScoreStore(database, error);
    ASSERT_TRUE(store) << error;
    EXPECT_TRUE(store->IntegrityOk()) << store->LastError();
    // An index of the operator's own is no fault.
    ASSERT_TRUE(PostgresExec(database, "CREATE INDEX mine ON results (name)"));
    EXPECT_TRUE(store->IntegrityOk()) << store->LastError();
    // Results twice over, as a lost unique key would let through.
    ASSERT_TRUE(PostgresExec(database, "ALTER TABLE results DROP CONSTRAINT results_once;"
                                       "INSERT INTO results (name, score, level, time, received) VALUES"
                                       " ('A', 1, 1, 1, '2026-01-01'), ('A', 1, 1, 1, '2026-01-01')"));
    EXPECT_FALSE(store->IntegrityOk());
}
