// The score table on a PostgreSQL server, shared by every nivora-scores
// process started over the same database.
//
// One connection per store, guarded by a mutex; the server gives each of its
// workers a store of its own. Every exchange with the database runs
// asynchronously against a deadline (the call bound): a database that stops
// answering (stopped, a table locked, a network gone quiet) makes the call
// fail after the bound and drops the connection, whose transaction the
// database then rolls back. The database itself is told the same bound
// (statement_timeout, lock_timeout) so that it gives up first where it can
// and says why. A call that finds the connection lost fails at once with the
// reason; the next call connects again, unless a connect failed within the
// back-off, in which case it fails at once.
//
// On connecting, the schema is created or brought up to date in one
// transaction under an advisory lock, so servers starting together over a new
// database do not race. Arrival order is the results' id (a sequence every
// server draws from), which ranks equal scores the same on every server.
// The sends of the last minute per address live in a table of their own,
// counted and recorded in the transaction of the send itself under a lock of
// the address, so the rolling minute holds across every server (the same rule
// as the server's own count for SQLite: refused sends do not count). Times are
// the database's clock, which every server shares.
#include <arpa/inet.h>
#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "server/score_store_internal.h"

namespace scores {

namespace {

// Taken by every server while it creates or updates the schema.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(7301246071)";

// Each step brings the schema from version i to i + 1; a step is never changed
// once released, a new one is appended.
const char* const kMigrations[] = {
    "CREATE TABLE results ("
    " id bigserial PRIMARY KEY," // arrival order: the tie-break among equal scores
    " name bytea NOT NULL,"
    " score integer NOT NULL CHECK (score >= 0),"
    " level integer NOT NULL CHECK (level >= 0),"
    " time integer NOT NULL CHECK (time >= 0),"
    " received date NOT NULL,"
    " CONSTRAINT results_once UNIQUE (name, score, level, time));"
    "CREATE INDEX results_rank ON results (score DESC, id);"
    "CREATE TABLE send_counts ("
    " address text NOT NULL, minute bigint NOT NULL, sends integer NOT NULL,"
    " PRIMARY KEY (address, minute));"
    "CREATE INDEX send_counts_minute ON send_counts (minute);",
    // 2: a rolling minute instead of calendar minutes.
    "DROP TABLE send_counts;"
    "CREATE TABLE send_times ("
    " address text NOT NULL,"
    " at timestamptz NOT NULL DEFAULT clock_timestamp());"
    "CREATE INDEX send_times_address ON send_times (address, at);",
    // 3: results whose replay matched.
    "ALTER TABLE results ADD COLUMN verified boolean NOT NULL DEFAULT false;",
};
constexpr int kSchemaVersion = static_cast<int>(std::size(kMigrations));

constexpr int kTransactionTries = 3; // a deadlock or serialisation failure is tried again

void IgnoreNotice(void*, const char*) {}

// Owns one result of libpq.
struct TPgResult {
    explicit TPgResult(PGresult* result) : Result(result) {}
    ~TPgResult() { PQclear(Result); }
    TPgResult(const TPgResult&) = delete;
    TPgResult& operator=(const TPgResult&) = delete;
    ExecStatusType Status() const { return PQresultStatus(Result); }
    bool Ok() const { return Status() == PGRES_COMMAND_OK || Status() == PGRES_TUPLES_OK; }
    std::string State() const {
        const char* state = PQresultErrorField(Result, PG_DIAG_SQLSTATE);
        return state ? state : "";
    }
    PGresult* Result;
};

int32_t BinaryInt(const PGresult* result, int row, int column) {
    uint32_t network = 0;
    if (PQgetlength(result, row, column) == sizeof network)
        std::memcpy(&network, PQgetvalue(result, row, column), sizeof network);
    return static_cast<int32_t>(ntohl(network));
}

using Clock = std::chrono::steady_clock;

class TPgScoreStore final : public TScoreStore {
public:
    TPgScoreStore(std::string conninfo, const TStoreBounds& bounds) : conninfo(std::move(conninfo)), bounds(bounds) {}
    ~TPgScoreStore() override { PQfinish(conn); }

    bool Open() {
        const std::lock_guard lock(mutex);
        return Ready();
    }
    int32_t Add(const std::vector<TResult>& results, int64_t unixSeconds, const TSender* sender) override;
    int32_t Verify(const TResult& result) override;
    std::optional<std::vector<TResult>> Top(int32_t count, bool verifiedOnly) override;
    int64_t Size() override;
    bool IntegrityOk() override;
    bool CountsSends() const override { return true; }

private:
    bool Ready();
    bool Connect();
    bool Migrate();
    bool Exec(const char* sql);
    bool Prepare(const char* name, const char* sql, int parameters);
    // The result of the exchange a PQsend* call began (sent: its return), at
    // most the call bound later; null when it failed or timed out.
    PGresult* Await(int sent);
    PGresult* Query(const char* sql) { return Await(conn ? PQsendQuery(conn, sql) : 0); }
    PGresult* QueryParams(const char* sql, int count, const char* const* values, const int* lengths,
                          const int* formats, int resultFormat) {
        return Await(conn ? PQsendQueryParams(conn, sql, count, nullptr, values, lengths, formats, resultFormat) : 0);
    }
    PGresult* QueryPrepared(const char* name, int count, const char* const* values, int resultFormat) {
        return Await(conn ? PQsendQueryPrepared(conn, name, count, values, nullptr, nullptr, resultFormat) : 0);
    }
    // Waits until the socket is ready for events or the deadline passes; false at the deadline.
    bool WaitFor(short events, Clock::time_point deadline) const;
    void Drop(std::string reason);
    bool Fail(const std::string& what, const PGresult* result = nullptr);
    int32_t AddOnce(const std::vector<TResult>& results, const std::string& date, int64_t minute,
                    const TSender* sender, std::string& state);

    const std::string conninfo;
    const TStoreBounds bounds;
    PGconn* conn = nullptr;
    std::string dropReason;   // why the connection was dropped, for the calls that find it gone
    Clock::time_point retryAt; // no connect before this, after one failed
    int64_t purgedMinute = -1; // the minute whose older send counts this store last removed
    std::mutex mutex;
};

bool TPgScoreStore::Fail(const std::string& what, const PGresult* result) {
    const char* message = result ? PQresultErrorMessage(result) : conn ? PQerrorMessage(conn) : "";
    std::string reason = message && *message ? message : !dropReason.empty() ? dropReason : "no connection";
    // libpq's messages run over several lines; the server logs one line per request.
    for (char& c : reason)
        if (c == '\n' || c == '\t') c = ' ';
    while (!reason.empty() && reason.back() == ' ') reason.pop_back();
    lastError = what + ": " + reason;
    return false;
}

bool TPgScoreStore::Exec(const char* sql) {
    const TPgResult result(Query(sql));
    return result.Ok() || Fail("statement failed", result.Result);
}

bool TPgScoreStore::WaitFor(short events, Clock::time_point deadline) const {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd ready{PQsocket(conn), events, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left));
        if (polled != 0) return true; // ready, or an error that the next libpq call reports
    }
}

void TPgScoreStore::Drop(std::string reason) {
    PQfinish(conn);
    conn = nullptr;
    dropReason = std::move(reason);
}

PGresult* TPgScoreStore::Await(int sent) {
    if (!sent) return nullptr;
    const auto deadline = Clock::now() + std::chrono::milliseconds(bounds.CallMs);
    // A statement list gives a result per statement: keep the first error, or the last result.
    PGresult* kept = nullptr;
    for (;;) {
        while (PQisBusy(conn)) {
            if (!WaitFor(POLLIN, deadline)) {
                PQclear(kept);
                Drop("no answer from the database within " + std::to_string(bounds.CallMs) + " ms");
                return nullptr;
            }
            if (!PQconsumeInput(conn)) {
                PQclear(kept);
                return nullptr; // the connection broke: PQerrorMessage says how
            }
        }
        PGresult* next = PQgetResult(conn);
        if (!next) return kept;
        const ExecStatusType status = kept ? PQresultStatus(kept) : PGRES_COMMAND_OK;
        if (!kept || status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
            PQclear(kept);
            kept = next;
        } else {
            PQclear(next);
        }
    }
}

// A connection that works, made again when the last one was lost.
bool TPgScoreStore::Ready() {
    if (conn && PQstatus(conn) == CONNECTION_OK) {
        // A failed call may leave its transaction open when the connection survived.
        if (PQtransactionStatus(conn) != PQTRANS_IDLE && !Exec("ROLLBACK")) return false;
        return true;
    }
    if (Clock::now() < retryAt) return false; // lastError still holds why the last connect failed
    if (Connect()) return true;
    retryAt = Clock::now() + std::chrono::milliseconds(bounds.BackoffMs);
    return false;
}

bool TPgScoreStore::Connect() {
    PQfinish(conn);
    dropReason.clear();
    // Ours come first so that the same key in the connection string wins. The
    // keepalives and the user time-out notice a peer gone from the network.
    const std::string userTimeout = std::to_string(bounds.CallMs);
    const char* keys[] = {"application_name", "keepalives", "keepalives_idle", "keepalives_interval",
                          "keepalives_count", "tcp_user_timeout", "dbname", nullptr};
    const char* values[] = {"nivora-scores", "1", "5", "1", "3", userTimeout.c_str(), conninfo.c_str(), nullptr};
    const auto deadline = Clock::now() + std::chrono::milliseconds(bounds.CallMs);
    conn = PQconnectStartParams(keys, values, 1);
    PostgresPollingStatusType polled = PGRES_POLLING_WRITING;
    while (conn && PQstatus(conn) != CONNECTION_BAD && polled != PGRES_POLLING_OK && polled != PGRES_POLLING_FAILED) {
        if (!WaitFor(polled == PGRES_POLLING_READING ? POLLIN : POLLOUT, deadline)) {
            Drop("no answer from the database within " + std::to_string(bounds.CallMs) + " ms");
            break;
        }
        polled = PQconnectPoll(conn);
    }
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        Fail("cannot connect to the database");
        PQfinish(conn);
        conn = nullptr;
        return false;
    }
    PQsetNoticeProcessor(conn, IgnoreNotice, nullptr);
    // The database gives up a little before this side does, so the reason is its own.
    const std::string limits = "SET TIME ZONE 'UTC'; SET statement_timeout = " + std::to_string(bounds.CallMs * 9 / 10) +
                               "; SET lock_timeout = " + std::to_string(bounds.CallMs * 3 / 4) +
                               "; SET idle_in_transaction_session_timeout = " + std::to_string(bounds.CallMs * 4);
    const bool ok = Exec(limits.c_str()) && Migrate() &&
                    Prepare("top",
                            "SELECT name, score, level, time, to_char(received, 'YYYY-MM-DD'), verified::integer"
                            " FROM results WHERE verified OR NOT $2::boolean ORDER BY score DESC, id LIMIT $1::integer",
                            2) &&
                    Prepare("verify",
                            "UPDATE results SET verified = true"
                            " WHERE name = $1 AND score = $2::integer AND level = $3::integer AND time = $4::integer",
                            4) &&
                    Prepare("lock_sender", "SELECT pg_advisory_xact_lock(hashtextextended($1, 7301246071))", 1) &&
                    // A row only when the send is allowed; the count's snapshot is
                    // taken after the lock, so it sees every send counted before.
                    Prepare("count_send",
                            "INSERT INTO send_times (address) SELECT $1 WHERE (SELECT count(*) FROM send_times"
                            " WHERE address = $1 AND at > clock_timestamp() - $3::integer * interval '1 millisecond')"
                            " < $2::integer RETURNING 1",
                            3);
    if (!ok) {
        PQfinish(conn);
        conn = nullptr;
    }
    return ok;
}

bool TPgScoreStore::Prepare(const char* name, const char* sql, int parameters) {
    const TPgResult result(Await(conn ? PQsendPrepare(conn, name, sql, parameters, nullptr) : 0));
    return result.Ok() || Fail(std::string("cannot prepare ") + name, result.Result);
}

bool TPgScoreStore::Migrate() {
    if (!Exec("BEGIN")) return false;
    const auto fail = [&](const std::string& what, const PGresult* result = nullptr) {
        Fail(what, result);
        TPgResult(Query("ROLLBACK"));
        return false;
    };
    if (!TPgResult(Query(kSchemaLock)).Ok() ||
        !TPgResult(Query("CREATE TABLE IF NOT EXISTS nivora_schema (version integer NOT NULL)")).Ok())
        return fail("cannot lock the schema");
    const TPgResult current(Query("SELECT coalesce(max(version), 0) FROM nivora_schema"));
    if (current.Status() != PGRES_TUPLES_OK || PQntuples(current.Result) != 1)
        return fail("cannot read the schema version", current.Result);
    const int version = std::atoi(PQgetvalue(current.Result, 0, 0));
    if (version > kSchemaVersion) {
        lastError = "the database has schema version " + std::to_string(version) +
                    ", newer than this server's " + std::to_string(kSchemaVersion);
        TPgResult(Query("ROLLBACK"));
        return false;
    }
    for (int step = version; step < kSchemaVersion; ++step) {
        const TPgResult migrated(Query(kMigrations[step]));
        if (!migrated.Ok()) return fail("cannot update the schema", migrated.Result);
    }
    if (version < kSchemaVersion) {
        const std::string set = "DELETE FROM nivora_schema; INSERT INTO nivora_schema VALUES (" +
                                std::to_string(kSchemaVersion) + ")";
        const TPgResult stored(Query(set.c_str()));
        if (!stored.Ok()) return fail("cannot update the schema", stored.Result);
    }
    return Exec("COMMIT");
}

int32_t TPgScoreStore::Add(const std::vector<TResult>& results, int64_t unixSeconds, const TSender* sender) {
    const std::lock_guard lock(mutex);
    const std::string date = UtcDate(unixSeconds);
    for (int attempt = 1;; ++attempt) {
        if (!Ready()) return kStoreFailed;
        std::string state;
        const int32_t added = AddOnce(results, date, unixSeconds / 60, sender, state);
        if (added != kStoreFailed) return added;
        TPgResult(Query("ROLLBACK"));
        // Sends overlapping in other orders can deadlock on the unique key; the
        // database breaks it by failing one, which is then simply made again.
        if (attempt >= kTransactionTries || (state != "40P01" && state != "40001")) return kStoreFailed;
    }
}

int32_t TPgScoreStore::AddOnce(const std::vector<TResult>& results, const std::string& date, int64_t minute,
                               const TSender* sender, std::string& state) {
    if (!Exec("BEGIN")) return kStoreFailed;
    if (sender) {
        const std::string limit = std::to_string(sender->SendsPerMinute);
        const std::string window = std::to_string(sender->WindowMs);
        const char* values[] = {sender->Address.c_str(), limit.c_str(), window.c_str()};
        const TPgResult locked(QueryPrepared("lock_sender", 1, values, 0));
        const TPgResult counted(locked.Ok() ? QueryPrepared("count_send", 3, values, 0) : nullptr);
        if (counted.Status() != PGRES_TUPLES_OK) {
            state = locked.Ok() ? counted.State() : locked.State();
            Fail("cannot count the send", locked.Ok() ? counted.Result : locked.Result);
            return kStoreFailed;
        }
        if (PQntuples(counted.Result) == 0) {
            TPgResult(Query("ROLLBACK"));
            return kSendLimited;
        }
        if (purgedMinute != minute) {
            // Sends older than the window are of no use; any server may remove them.
            const char* purgeValues[] = {window.c_str()};
            const TPgResult purged(QueryParams(
                "DELETE FROM send_times WHERE at < clock_timestamp() - $1::integer * interval '1 millisecond'", 1,
                purgeValues, nullptr, nullptr, 0));
            if (!purged.Ok()) {
                state = purged.State();
                Fail("cannot count the send", purged.Result);
                return kStoreFailed;
            }
        }
    }
    int32_t added = 0;
    if (!results.empty()) {
        // One statement for the whole batch: name as bytes, the numbers as text, one date.
        std::string sql = "INSERT INTO results (name, score, level, time, received) VALUES ";
        std::vector<std::string> numbers;
        numbers.reserve(results.size() * 3);
        std::vector<const char*> values;
        std::vector<int> lengths;
        std::vector<int> formats;
        int next = 1;
        const std::string dateParameter = "$" + std::to_string(4 * results.size() + 1) + "::date";
        for (const TResult& result : results) {
            if (next > 1) sql += ",";
            sql += "($" + std::to_string(next) + "::bytea,$" + std::to_string(next + 1) + "::integer,$" +
                   std::to_string(next + 2) + "::integer,$" + std::to_string(next + 3) + "::integer," +
                   dateParameter + ")";
            next += 4;
            values.push_back(result.Name.data());
            lengths.push_back(static_cast<int>(result.Name.size()));
            formats.push_back(1);
            for (const int32_t number : {result.Score, result.Level, result.Time}) {
                values.push_back(numbers.emplace_back(std::to_string(number)).c_str());
                lengths.push_back(0);
                formats.push_back(0);
            }
        }
        values.push_back(date.c_str());
        lengths.push_back(0);
        formats.push_back(0);
        sql += " ON CONFLICT ON CONSTRAINT results_once DO NOTHING";
        const TPgResult inserted(QueryParams(sql.c_str(), static_cast<int>(values.size()), values.data(),
                                             lengths.data(), formats.data(), 0));
        if (!inserted.Ok()) {
            state = inserted.State();
            Fail("cannot store a result", inserted.Result);
            return kStoreFailed;
        }
        added = std::atoi(PQcmdTuples(inserted.Result));
    }
    const TPgResult committed(Query("COMMIT"));
    if (!committed.Ok()) {
        state = committed.State();
        Fail("cannot store the send", committed.Result);
        return kStoreFailed;
    }
    if (sender) purgedMinute = minute;
    return added;
}

int32_t TPgScoreStore::Verify(const TResult& result) {
    const std::lock_guard lock(mutex);
    if (!Ready()) return kStoreFailed;
    const std::string score = std::to_string(result.Score);
    const std::string level = std::to_string(result.Level);
    const std::string time = std::to_string(result.Time);
    const char* values[] = {result.Name.data(), score.c_str(), level.c_str(), time.c_str()};
    const int lengths[] = {static_cast<int>(result.Name.size()), 0, 0, 0};
    const int formats[] = {1, 0, 0, 0}; // the name as bytes
    const TPgResult updated(
        Await(conn ? PQsendQueryPrepared(conn, "verify", 4, values, lengths, formats, 0) : 0));
    if (updated.Status() != PGRES_COMMAND_OK) {
        Fail("cannot mark a result verified", updated.Result);
        return kStoreFailed;
    }
    return std::atoi(PQcmdTuples(updated.Result)) > 0 ? 1 : 0;
}

std::optional<std::vector<TResult>> TPgScoreStore::Top(int32_t count, bool verifiedOnly) {
    const std::lock_guard lock(mutex);
    if (!Ready()) return std::nullopt;
    const std::string countText = std::to_string(std::max(count, 0));
    const char* values[] = {countText.c_str(), verifiedOnly ? "true" : "false"};
    const TPgResult rows(QueryPrepared("top", 2, values, 1));
    if (rows.Status() != PGRES_TUPLES_OK || PQnfields(rows.Result) != 6) {
        Fail("cannot read the table", rows.Result);
        return std::nullopt;
    }
    std::vector<TResult> results(static_cast<size_t>(PQntuples(rows.Result)));
    for (int row = 0; row < PQntuples(rows.Result); ++row) {
        TResult& result = results[static_cast<size_t>(row)];
        result.Name.assign(PQgetvalue(rows.Result, row, 0), static_cast<size_t>(PQgetlength(rows.Result, row, 0)));
        result.Score = BinaryInt(rows.Result, row, 1);
        result.Level = BinaryInt(rows.Result, row, 2);
        result.Time = BinaryInt(rows.Result, row, 3);
        result.Date.assign(PQgetvalue(rows.Result, row, 4), static_cast<size_t>(PQgetlength(rows.Result, row, 4)));
        result.Verified = BinaryInt(rows.Result, row, 5) != 0;
    }
    return results;
}

int64_t TPgScoreStore::Size() {
    const std::lock_guard lock(mutex);
    if (!Ready()) return -1;
    const TPgResult rows(Query("SELECT count(*) FROM results"));
    if (rows.Status() != PGRES_TUPLES_OK || PQntuples(rows.Result) != 1) {
        Fail("cannot count the table", rows.Result);
        return -1;
    }
    return std::atoll(PQgetvalue(rows.Result, 0, 0));
}

bool TPgScoreStore::IntegrityOk() {
    const std::lock_guard lock(mutex);
    if (!Ready()) return false;
    // The constraints and indexes are all in place and valid, and what they
    // promise holds when the table is read without them.
    if (!Exec("BEGIN READ ONLY") ||
        !Exec("SET LOCAL enable_indexscan = off; SET LOCAL enable_indexonlyscan = off;"
              " SET LOCAL enable_bitmapscan = off"))
        return false;
    const std::string sql =
        "SELECT (SELECT count(*) FROM nivora_schema) = 1"
        " AND (SELECT max(version) FROM nivora_schema) = " + std::to_string(kSchemaVersion) +
        " AND (SELECT count(*) FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid"
        " WHERE i.indrelid = 'results'::regclass AND i.indisvalid"
        " AND c.relname IN ('results_pkey', 'results_once', 'results_rank')) = 3"
        " AND (SELECT count(*) FROM pg_constraint WHERE conrelid = 'results'::regclass AND contype = 'c'"
        " AND conname IN ('results_score_check', 'results_level_check', 'results_time_check')) = 3"
        " AND NOT EXISTS (SELECT 1 FROM results GROUP BY name, score, level, time HAVING count(*) > 1)"
        " AND NOT EXISTS (SELECT 1 FROM results GROUP BY id HAVING count(*) > 1)"
        " AND NOT EXISTS (SELECT 1 FROM results WHERE score < 0 OR level < 0 OR time < 0)";
    const TPgResult check(Query(sql.c_str()));
    Exec("COMMIT");
    if (check.Status() != PGRES_TUPLES_OK || PQntuples(check.Result) != 1) {
        Fail("cannot check the table", check.Result);
        return false;
    }
    if (std::string(PQgetvalue(check.Result, 0, 0)) == "t") return true;
    lastError = "the table fails its checks";
    return false;
}

} // namespace

std::unique_ptr<TScoreStore> OpenPgScoreStore(const std::string& conninfo, std::string& error,
                                               const TStoreBounds& bounds) {
    auto store = std::make_unique<TPgScoreStore>(conninfo, bounds);
    if (store->Open()) return store;
    error = store->LastError();
    return nullptr;
}

} // namespace scores
