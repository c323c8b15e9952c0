// The server while its database stalls: a send stuck in the store, a file
// held by another writer, a PostgreSQL table locked from another session and
// a database that stops answering. Reads are answered from memory within a
// bound throughout; sends get a 503 after the call bound, never a hang, and
// work again once the database is back.
#include <sqlite3.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>

#include "tests/server/backends.h"

using namespace scorestest;

namespace {

// A read answered from memory takes well under this, even under the sanitizers;
// one that waits on the stalled store takes seconds.
constexpr double kReadBoundMs = 250;

// Stores whose Add blocks until the test opens the latch; Top answers at once.
struct TLatch {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int adding = 0; // calls of Add begun
    std::vector<scores::TResult> table{{"Old", 5, 1, 1, "2026-01-01"}};

    void Open() {
        const std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    bool WaitForAdds(int count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [&] { return adding >= count; });
    }
};

class TLatchStore final : public scores::TScoreStore {
public:
    explicit TLatchStore(std::shared_ptr<TLatch> latch) : latch(std::move(latch)) {}
    int32_t Add(const std::vector<scores::TResult>& results, int64_t, const scores::TSender*) override {
        std::unique_lock lock(latch->mutex);
        ++latch->adding;
        latch->changed.notify_all();
        latch->changed.wait(lock, [&] { return latch->open; });
        for (const scores::TResult& result : results) latch->table.insert(latch->table.begin(), result);
        return static_cast<int32_t>(results.size());
    }
    int32_t Verify(const scores::TResult&) override { return 0; }
    std::optional<std::vector<scores::TResult>> Top(int32_t, bool) override {
        const std::lock_guard lock(latch->mutex);
        return latch->table;
    }
    int64_t Size() override { return -1; }
    bool IntegrityOk() override { return true; }

private:
    std::shared_ptr<TLatch> latch;
};

class LatchTest : public ServerTest {
protected:
    void SetUp() override {
        options.OpenStore = [latch = latch](std::string&) { return std::make_unique<TLatchStore>(latch); };
    }
    void TearDown() override { latch->Open(); }

    std::shared_ptr<TLatch> latch = std::make_shared<TLatch>();
};

// The reads that need no database, each answered within the bound.
void ExpectReadsAnsweredFromMemory(uint16_t port, const std::string& expectedName) {
    std::string top, page, missing;
    EXPECT_LT(MillisecondsOf([&] { top = Post(port, "/top.php", "count=20"); }), kReadBoundMs);
    EXPECT_LT(MillisecondsOf([&] { page = Get(port, "/"); }), kReadBoundMs);
    EXPECT_LT(MillisecondsOf([&] { missing = Get(port, "/nothing.php"); }), kReadBoundMs);
    EXPECT_EQ(Status(top), 200);
    EXPECT_NE(Body(top).find("\n" + expectedName + "\n"), std::string::npos) << top;
    EXPECT_EQ(Status(page), 200);
    EXPECT_EQ(Status(missing), 404);
}

class StallTest : public BackendTest {
protected:
    void SetUp() override {
        options.Bounds.CallMs = 500;
        options.Bounds.BackoffMs = 1000;
        BackendTest::SetUp();
    }
    void TearDown() override {
        if (stopped) PostgresSignal(SIGCONT);
    }
    bool stopped = false;
};

} // namespace

TEST_F(LatchTest, ReadsAreAnsweredWhileASendIsStuckAndSeeTheSendOnceItIsStored) {
    StartServer();
    auto stuck = std::async(std::launch::async, [&] { return Post(port, "/saver.php", Rows({{"New", 9}})); });
    ASSERT_TRUE(latch->WaitForAdds(1));
    ExpectReadsAnsweredFromMemory(port, "Old");
    EXPECT_EQ(Body(Post(port, "/top.php", "count=20")).find("New"), std::string::npos);
    latch->Open();
    EXPECT_EQ(Body(stuck.get()), "Received 1 rows: 1 new, 0 known, 0 empty, 0 rejected");
    // The list was replaced before the answer went.
    EXPECT_LT(Body(Post(port, "/top.php", "count=20")).find("New"), Body(Post(port, "/top.php", "count=20")).find("Old"));
}

TEST_F(LatchTest, SendsBeyondTheQueueAndSendsThatWaitedOutTheBoundGet503WithoutReachingTheStore) {
    options.Workers = 1;
    options.QueuedSends = 1;
    options.Bounds.CallMs = 300;
    StartServer();
    auto first = std::async(std::launch::async, [&] { return Post(port, "/saver.php", Rows({{"First", 9}})); });
    ASSERT_TRUE(latch->WaitForAdds(1));
    // The one worker is stuck: of two more sends one waits in the queue and
    // the other finds it full and is answered at once.
    auto second = std::async(std::launch::async, [&] { return Post(port, "/saver.php", Rows({{"Second", 8}})); });
    auto third = std::async(std::launch::async, [&] { return Post(port, "/saver.php", Rows({{"Third", 7}})); });
    const auto bound = std::chrono::milliseconds(static_cast<int>(kReadBoundMs));
    const bool secondFirst = second.wait_for(bound) == std::future_status::ready;
    auto& refusedAtOnce = secondFirst ? second : third;
    auto& queued = secondFirst ? third : second;
    ASSERT_EQ(refusedAtOnce.wait_for(bound), std::future_status::ready);
    EXPECT_EQ(Status(refusedAtOnce.get()), 503);
    EXPECT_NE(queued.wait_for(std::chrono::milliseconds(400)), std::future_status::ready);
    latch->Open();
    EXPECT_EQ(Status(first.get()), 200);
    EXPECT_EQ(Status(queued.get()), 503); // it waited longer than a call may take
    EXPECT_EQ(latch->adding, 1);
    // The server stops cleanly with connections that were suspended.
    server.Stop();
}

NIVORA_ON_BOTH_BACKENDS(StallTest);

TEST_P(StallTest, ASendWhileTheTableIsLockedGets503WithinTheBoundWhileReadsGoOn) {
    ASSERT_EQ(Status(Post(port, "/saver.php", Rows({{"Keep", 5}}))), 200);
    // Another writer holds the table: an SQLite transaction, or a PostgreSQL
    // session that locked it.
    sqlite3* writer = nullptr;
    PGconn* locker = nullptr;
    if (GetParam() == TBackend::Sqlite) {
        ASSERT_EQ(sqlite3_open(database.c_str(), &writer), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    } else {
        locker = PQconnectdb(database.c_str());
        PGresult* locked = PQexec(locker, "BEGIN; LOCK TABLE results IN ACCESS EXCLUSIVE MODE");
        ASSERT_EQ(PQresultStatus(locked), PGRES_COMMAND_OK) << PQerrorMessage(locker);
        PQclear(locked);
    }
    std::string refused;
    const double sendMs = MillisecondsOf([&] { refused = Post(port, "/saver.php", Rows({{"Lost", 6}})); });
    EXPECT_EQ(Status(refused), 503);
    EXPECT_LT(sendMs, options.Bounds.CallMs + 1000.0);
    ExpectReadsAnsweredFromMemory(port, "Keep");
    if (GetParam() == TBackend::Postgres) {
        // The refresher cannot read the table either: the page says how old its list is.
        std::this_thread::sleep_for(std::chrono::milliseconds(options.RefreshMs + 2 * options.Bounds.CallMs));
        const std::string page = Get(port, "/");
        EXPECT_NE(page.find("The table could not be read again: shown as it was at "), std::string::npos) << page;
        EXPECT_EQ(Status(Get(port, "/healthz")), 503);
    }
    if (writer) sqlite3_close(writer); // rolls back
    if (locker) PQfinish(locker);
    EXPECT_EQ(Status(Post(port, "/saver.php", Rows({{"Next", 7}}))), 200);
    EXPECT_EQ(Get(port, "/").find("could not be read again"), std::string::npos);
    EXPECT_EQ(Status(Get(port, "/healthz")), 200);
    ExpectDatabaseIntact(2);
}

TEST_P(StallTest, ADatabaseThatStopsAnsweringCostsSends503sAfterTheBoundAndReadsNothing) {
    if (GetParam() == TBackend::Sqlite) GTEST_SKIP() << "a file does not stop answering";
    ASSERT_EQ(Status(Post(port, "/saver.php", Rows({{"Keep", 5}}))), 200);
    // A store of the test's own sees the back-off after a connect that timed out.
    std::string error;
    const std::unique_ptr<scores::TScoreStore> store = scores::OpenScoreStore(database, error, options.Bounds);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(PostgresSignal(SIGSTOP));
    stopped = true;
    for (int send = 0; send < 6; ++send) {
        std::string refused;
        const double ms = MillisecondsOf([&] { refused = Post(port, "/saver.php", Rows({{"Lost", 6 + send}})); });
        EXPECT_EQ(Status(refused), 503) << send;
        // A statement that times out, then a connect that does: two bounds at most.
        EXPECT_LT(ms, 2 * options.Bounds.CallMs + 1000.0) << send;
        ExpectReadsAnsweredFromMemory(port, "Keep");
    }
    const std::vector<scores::TResult> row{{"Direct", 1, 1, 1, ""}};
    EXPECT_EQ(store->Add(row, 0), scores::kStoreFailed); // the statement times out
    EXPECT_EQ(store->Add(row, 0), scores::kStoreFailed); // the connect times out
    EXPECT_NE(store->LastError().find("no answer from the database within 500 ms"), std::string::npos)
        << store->LastError();
    EXPECT_LT(MillisecondsOf([&] { EXPECT_EQ(store->Add(row, 0), scores::kStoreFailed); }), 100.0); // backing off
    ASSERT_TRUE(PostgresSignal(SIGCONT));
    stopped = false;
    // Back within a back-off and a refresh.
    int status = 0;
    for (int tries = 0; tries < 40 && status != 200; ++tries) {
        status = Status(Post(port, "/saver.php", Rows({{"Back", 20}})));
        if (status != 200) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(status, 200);
    EXPECT_LT(Body(Post(port, "/top.php", "count=20")).find("Back"), Body(Post(port, "/top.php", "count=20")).find("Keep"));
    ExpectDatabaseIntact(2);
}
