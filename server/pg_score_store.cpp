// The score table on a PostgreSQL server, shared by every nivora-scores
// process started over the same database.
//
// One connection per store, guarded by a mutex: the HTTP side calls the store
// from its one polling thread, so the lock is never contended there, and a
// caller on other threads (the load program's checks) stays correct. A call
// that finds the connection lost (the database restarted) fails at once with
// the reason; the next call connects again, so a restart costs the requests
// made during it and no more.
//
// On connecting, the schema is created or brought up to date in one
// transaction under an advisory lock, so servers starting together over a new
// database do not race. Arrival order is the results' id (a sequence every
// server draws from), which ranks equal scores the same on every server.
// Send counts per address and minute live in a table of their own, counted in
// the transaction of the send itself.
#include <arpa/inet.h>
#include <libpq-fe.h>

#include <algorithm>
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

class TPgScoreStore final : public TScoreStore {
public:
    explicit TPgScoreStore(std::string conninfo) : conninfo(std::move(conninfo)) {}
    ~TPgScoreStore() override { PQfinish(conn); }

    bool Open() {
        const std::lock_guard lock(mutex);
        return Ready();
    }
    int32_t Add(const std::vector<TResult>& results, int64_t unixSeconds, const TSender* sender) override;
    std::optional<std::vector<TResult>> Top(int32_t count) override;
    int64_t Size() override;
    bool IntegrityOk() override;
    bool CountsSends() const override { return true; }

private:
    bool Ready();
    bool Connect();
    bool Migrate();
    bool Exec(const char* sql);
    bool Prepare(const char* name, const char* sql, int parameters);
    bool Fail(const std::string& what, const PGresult* result = nullptr);
    int32_t AddOnce(const std::vector<TResult>& results, const std::string& date, int64_t minute,
                    const TSender* sender, std::string& state);

    const std::string conninfo;
    PGconn* conn = nullptr;
    int64_t purgedMinute = -1; // the minute whose older send counts this store last removed
    std::mutex mutex;
};

bool TPgScoreStore::Fail(const std::string& what, const PGresult* result) {
    const char* message = result ? PQresultErrorMessage(result) : conn ? PQerrorMessage(conn) : "";
    std::string reason = message && *message ? message : "no connection";
    // libpq's messages run over several lines; the server logs one line per request.
    for (char& c : reason)
        if (c == '\n' || c == '\t') c = ' ';
    while (!reason.empty() && reason.back() == ' ') reason.pop_back();
    lastError = what + ": " + reason;
    return false;
}

bool TPgScoreStore::Exec(const char* sql) {
    const TPgResult result(PQexec(conn, sql));
    return result.Ok() || Fail("statement failed", result.Result);
}

// A connection that works, made again when the last one was lost.
bool TPgScoreStore::Ready() {
    if (conn && PQstatus(conn) == CONNECTION_OK) {
        // A failed call may leave its transaction open when the connection survived.
        if (PQtransactionStatus(conn) != PQTRANS_IDLE && !Exec("ROLLBACK")) return false;
        return true;
    }
    return Connect();
}

bool TPgScoreStore::Connect() {
    PQfinish(conn);
    // The time-out comes first so that one in the connection string wins.
    const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char* values[] = {"5", "nivora-scores", conninfo.c_str(), nullptr};
    conn = PQconnectdbParams(keys, values, 1);
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        Fail("cannot connect to the database");
        PQfinish(conn);
        conn = nullptr;
        return false;
    }
    PQsetNoticeProcessor(conn, IgnoreNotice, nullptr);
    const bool ok = Exec("SET TIME ZONE 'UTC'") && Migrate() &&
                    Prepare("top",
                            "SELECT name, score, level, time, to_char(received, 'YYYY-MM-DD') FROM results"
                            " ORDER BY score DESC, id LIMIT $1::integer",
                            1) &&
                    Prepare("count_send",
                            "INSERT INTO send_counts (address, minute, sends) VALUES ($1, $2::bigint, 1)"
                            " ON CONFLICT (address, minute) DO UPDATE SET sends = send_counts.sends + 1"
                            " RETURNING sends",
                            2);
    if (!ok) {
        PQfinish(conn);
        conn = nullptr;
    }
    return ok;
}

bool TPgScoreStore::Prepare(const char* name, const char* sql, int parameters) {
    const TPgResult result(PQprepare(conn, name, sql, parameters, nullptr));
    return result.Ok() || Fail(std::string("cannot prepare ") + name, result.Result);
}

bool TPgScoreStore::Migrate() {
    if (!Exec("BEGIN")) return false;
    const auto fail = [&](const std::string& what, const PGresult* result = nullptr) {
        Fail(what, result);
        TPgResult(PQexec(conn, "ROLLBACK"));
        return false;
    };
    if (!TPgResult(PQexec(conn, kSchemaLock)).Ok() ||
        !TPgResult(PQexec(conn, "CREATE TABLE IF NOT EXISTS nivora_schema (version integer NOT NULL)")).Ok())
        return fail("cannot lock the schema");
    const TPgResult current(PQexec(conn, "SELECT coalesce(max(version), 0) FROM nivora_schema"));
    if (current.Status() != PGRES_TUPLES_OK || PQntuples(current.Result) != 1)
        return fail("cannot read the schema version", current.Result);
    const int version = std::atoi(PQgetvalue(current.Result, 0, 0));
    if (version > kSchemaVersion) {
        lastError = "the database has schema version " + std::to_string(version) +
                    ", newer than this server's " + std::to_string(kSchemaVersion);
        TPgResult(PQexec(conn, "ROLLBACK"));
        return false;
    }
    for (int step = version; step < kSchemaVersion; ++step) {
        const TPgResult migrated(PQexec(conn, kMigrations[step]));
        if (!migrated.Ok()) return fail("cannot update the schema", migrated.Result);
    }
    if (version < kSchemaVersion) {
        const std::string set = "DELETE FROM nivora_schema; INSERT INTO nivora_schema VALUES (" +
                                std::to_string(kSchemaVersion) + ")";
        const TPgResult stored(PQexec(conn, set.c_str()));
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
        TPgResult(PQexec(conn, "ROLLBACK"));
        // Sends overlapping in other orders can deadlock on the unique key; the
        // database breaks it by failing one, which is then simply made again.
        if (attempt >= kTransactionTries || (state != "40P01" && state != "40001")) return kStoreFailed;
    }
}

int32_t TPgScoreStore::AddOnce(const std::vector<TResult>& results, const std::string& date, int64_t minute,
                               const TSender* sender, std::string& state) {
    if (!Exec("BEGIN")) return kStoreFailed;
    if (sender) {
        const std::string minuteText = std::to_string(minute);
        const char* values[] = {sender->Address.c_str(), minuteText.c_str()};
        const TPgResult counted(PQexecPrepared(conn, "count_send", 2, values, nullptr, nullptr, 0));
        if (counted.Status() != PGRES_TUPLES_OK || PQntuples(counted.Result) != 1) {
            state = counted.State();
            Fail("cannot count the send", counted.Result);
            return kStoreFailed;
        }
        if (std::atoll(PQgetvalue(counted.Result, 0, 0)) > sender->SendsPerMinute) {
            TPgResult(PQexec(conn, "ROLLBACK"));
            return kSendLimited;
        }
        if (purgedMinute != minute) {
            // Counts of minutes gone by are of no use; any server may remove them.
            const std::string before = std::to_string(minute - 1);
            const char* purgeValues[] = {before.c_str()};
            const TPgResult purged(PQexecParams(conn, "DELETE FROM send_counts WHERE minute < $1::bigint", 1, nullptr,
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
        const TPgResult inserted(PQexecParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                              values.data(), lengths.data(), formats.data(), 0));
        if (!inserted.Ok()) {
            state = inserted.State();
            Fail("cannot store a result", inserted.Result);
            return kStoreFailed;
        }
        added = std::atoi(PQcmdTuples(inserted.Result));
    }
    const TPgResult committed(PQexec(conn, "COMMIT"));
    if (!committed.Ok()) {
        state = committed.State();
        Fail("cannot store the send", committed.Result);
        return kStoreFailed;
    }
    if (sender) purgedMinute = minute;
    return added;
}

std::optional<std::vector<TResult>> TPgScoreStore::Top(int32_t count) {
    const std::lock_guard lock(mutex);
    if (!Ready()) return std::nullopt;
    const std::string countText = std::to_string(std::max(count, 0));
    const char* values[] = {countText.c_str()};
    const TPgResult rows(PQexecPrepared(conn, "top", 1, values, nullptr, nullptr, 1));
    if (rows.Status() != PGRES_TUPLES_OK || PQnfields(rows.Result) != 5) {
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
    }
    return results;
}

int64_t TPgScoreStore::Size() {
    const std::lock_guard lock(mutex);
    if (!Ready()) return -1;
    const TPgResult rows(PQexec(conn, "SELECT count(*) FROM results"));
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
        " AND (SELECT count(*) FROM pg_index WHERE indrelid = 'results'::regclass AND indisvalid) = 3"
        " AND (SELECT count(*) FROM pg_constraint WHERE conrelid = 'results'::regclass AND contype = 'c') = 3"
        " AND NOT EXISTS (SELECT 1 FROM results GROUP BY name, score, level, time HAVING count(*) > 1)"
        " AND NOT EXISTS (SELECT 1 FROM results GROUP BY id HAVING count(*) > 1)"
        " AND NOT EXISTS (SELECT 1 FROM results WHERE score < 0 OR level < 0 OR time < 0)";
    const TPgResult check(PQexec(conn, sql.c_str()));
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

std::unique_ptr<TScoreStore> OpenPgScoreStore(const std::string& conninfo, std::string& error) {
    auto store = std::make_unique<TPgScoreStore>(conninfo);
    if (store->Open()) return store;
    error = store->LastError();
    return nullptr;
}

} // namespace scores
