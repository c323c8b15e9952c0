// The score table on SQLite, and the choice between the two stores.
#include <sqlite3.h>
#include <sys/stat.h>

#include <ctime>
#include <iterator>
#include <optional>

#include "server/score_store_internal.h"

namespace scores {

std::string UtcDate(int64_t unixSeconds) {
    const std::time_t when = static_cast<std::time_t>(unixSeconds);
    std::tm parts{};
    gmtime_r(&when, &parts);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    return text;
}

bool IsPostgresDatabase(const std::string& database) {
    return database.starts_with("postgresql://") || database.starts_with("postgres://");
}

std::unique_ptr<TScoreStore> OpenScoreStore(const std::string& database, std::string& error,
                                            const TStoreBounds& bounds) {
    return IsPostgresDatabase(database) ? OpenPgScoreStore(database, error, bounds)
                                        : OpenSqliteScoreStore(database, error, bounds);
}

namespace {

// Each step brings the schema from version i (PRAGMA user_version) to i + 1,
// the same rule as the PostgreSQL store's; a step is never changed once
// released, a new one is appended.
const char* const kMigrations[] = {
    // 1: the checks. A file from before versions has the table without them
    // (or none yet): it is copied into one with them.
    "CREATE TABLE IF NOT EXISTS results ("
    " id INTEGER PRIMARY KEY, name BLOB NOT NULL, score INTEGER NOT NULL, level INTEGER NOT NULL,"
    " time INTEGER NOT NULL, received TEXT NOT NULL, UNIQUE (name, score, level, time));"
    "CREATE TABLE results_checked ("
    " id INTEGER PRIMARY KEY," // receipt order: the tie-break among equal scores
    " name BLOB NOT NULL,"
    " score INTEGER NOT NULL CHECK (score >= 0),"
    " level INTEGER NOT NULL CHECK (level >= 0),"
    " time INTEGER NOT NULL CHECK (time >= 0),"
    " received TEXT NOT NULL,"
    " UNIQUE (name, score, level, time));"
    "INSERT INTO results_checked SELECT id, name, score, level, time, received FROM results;"
    "DROP TABLE results;"
    "ALTER TABLE results_checked RENAME TO results;"
    "CREATE INDEX results_rank ON results (score DESC, id);",
    // 2: results whose replay matched.
    "ALTER TABLE results ADD COLUMN verified INTEGER NOT NULL DEFAULT 0 CHECK (verified IN (0, 1));",
};
constexpr int kSchemaVersion = static_cast<int>(std::size(kMigrations));

// One file, one server process: the send counts stay in the server.
//
// The file's identity (device and inode) is taken when it is opened and
// checked before each write: a file deleted or replaced under the running
// server would otherwise take writes that no later start finds, so the
// writes fail instead.
class TSqliteScoreStore final : public TScoreStore {
public:
    ~TSqliteScoreStore() override { Close(); }
    bool Open(const std::string& path, int busyMs);
    int32_t Add(const std::vector<TResult>& results, int64_t unixSeconds, const TSender* sender) override;
    int32_t Verify(const TResult& result) override;
    std::optional<std::vector<TResult>> Top(int32_t count, bool verifiedOnly) override;
    int64_t Size() override;
    bool IntegrityOk() override;
    bool Writable() const override { return writable; }

private:
    void Close();
    bool Exec(const char* sql);
    // The first column of the first row of a query; empty when it cannot be run.
    std::optional<int64_t> QueryInteger(const char* sql);
    bool Fail(const char* what);
    // The path still names the file opened; false, with the reason in lastError, otherwise.
    bool StillThere();
    // Creates or updates the schema in one transaction; a newer one is refused.
    bool Migrate();
    int SchemaVersion();

    std::string path;
    bool identified = false; // a file on disk (not ":memory:" or a temporary database)
    struct stat identity {};
    bool writable = true;
    sqlite3* db = nullptr;
    sqlite3_stmt* insert = nullptr;
    sqlite3_stmt* top = nullptr;
    sqlite3_stmt* verify = nullptr;
};

void TSqliteScoreStore::Close() {
    sqlite3_finalize(insert);
    sqlite3_finalize(top);
    sqlite3_finalize(verify);
    insert = top = verify = nullptr;
    if (db) sqlite3_close(db);
    db = nullptr;
}

bool TSqliteScoreStore::Fail(const char* what) {
    lastError = std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "no database");
    return false;
}

bool TSqliteScoreStore::Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    lastError = message ? message : "statement failed";
    sqlite3_free(message);
    return false;
}

bool TSqliteScoreStore::StillThere() {
    if (!identified) return true;
    struct stat now {};
    if (::stat(path.c_str(), &now) != 0) {
        lastError = "the database file " + path + " is gone: restart the server over the file to keep";
        return false;
    }
    if (now.st_dev != identity.st_dev || now.st_ino != identity.st_ino) {
        lastError = "the database file " + path + " was replaced: restart the server over the file to keep";
        return false;
    }
    return true;
}

std::optional<int64_t> TSqliteScoreStore::QueryInteger(const char* sql) {
    sqlite3_stmt* query = nullptr;
    std::optional<int64_t> value;
    if (sqlite3_prepare_v2(db, sql, -1, &query, nullptr) == SQLITE_OK && sqlite3_step(query) == SQLITE_ROW)
        value = sqlite3_column_int64(query, 0);
    sqlite3_finalize(query);
    return value;
}

int TSqliteScoreStore::SchemaVersion() {
    const int version = static_cast<int>(QueryInteger("PRAGMA user_version").value_or(-1));
    if (version < 0) Fail("cannot read the schema version");
    else if (version != kSchemaVersion)
        lastError = "the database has schema version " + std::to_string(version) + "; this server's is " +
                    std::to_string(kSchemaVersion);
    return version;
}

bool TSqliteScoreStore::Migrate() {
    // Several connections of one server open together: the write lock orders them.
    if (!Exec("BEGIN IMMEDIATE;")) return false;
    const int version = SchemaVersion();
    const auto fail = [&] {
        Exec("ROLLBACK;");
        return false;
    };
    if (version < 0) return fail();
    if (version > kSchemaVersion) {
        lastError = "the database has schema version " + std::to_string(version) + ", newer than this server's " +
                    std::to_string(kSchemaVersion);
        return fail();
    }
    for (int step = version; step < kSchemaVersion; ++step)
        if (!Exec(kMigrations[step])) return fail();
    const std::string set = "PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
    if (version < kSchemaVersion && !Exec(set.c_str())) return fail();
    return Exec("COMMIT;") || fail();
}

bool TSqliteScoreStore::Open(const std::string& file, int busyMs) {
    Close();
    path = file;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        Fail("cannot open the database");
        Close();
        return false;
    }
    // SQLite falls back to reading a file it may not write; the server says so at start.
    writable = sqlite3_db_readonly(db, "main") == 0;
    identified = !path.empty() && path != ":memory:" && ::stat(path.c_str(), &identity) == 0;
    // WAL lets a reader (a backup, sqlite3 on the command line) look while the
    // server writes; NORMAL sync is durable across a server crash in WAL mode.
    // Each worker has a connection of its own; a writer holding the lock
    // longer than the bound makes the others fail rather than wait on.
    sqlite3_busy_timeout(db, busyMs);
    // A file that may only be read is read as it is: its schema is not touched.
    const bool ok = (writable ? Exec("PRAGMA journal_mode=WAL;") && Exec("PRAGMA synchronous=NORMAL;") && Migrate()
                              : SchemaVersion() == kSchemaVersion) &&
                    sqlite3_prepare_v2(db,
                                       "INSERT OR IGNORE INTO results (name, score, level, time, received)"
                                       " VALUES (?1, ?2, ?3, ?4, ?5)",
                                       -1, &insert, nullptr) == SQLITE_OK &&
                    sqlite3_prepare_v2(db,
                                       "SELECT name, score, level, time, received, verified FROM results"
                                       " WHERE verified >= ?2 ORDER BY score DESC, id LIMIT ?1",
                                       -1, &top, nullptr) == SQLITE_OK &&
                    sqlite3_prepare_v2(db,
                                       "UPDATE results SET verified = 1"
                                       " WHERE name = ?1 AND score = ?2 AND level = ?3 AND time = ?4",
                                       -1, &verify, nullptr) == SQLITE_OK;
    if (!ok) {
        if (lastError.empty()) Fail("cannot prepare the statements");
        Close();
    }
    return ok;
}

int32_t TSqliteScoreStore::Add(const std::vector<TResult>& results, int64_t unixSeconds, const TSender*) {
    if (!db) return kStoreFailed;
    if (!writable) {
        lastError = "the database file " + path + " cannot be written";
        return kStoreFailed;
    }
    if (!StillThere()) return kStoreFailed;
    const std::string date = UtcDate(unixSeconds);
    // One transaction for the whole send: all of it is stored or none.
    if (!Exec("BEGIN IMMEDIATE;")) return kStoreFailed;
    int32_t added = 0;
    for (const TResult& result : results) {
        sqlite3_reset(insert);
        sqlite3_bind_blob(insert, 1, result.Name.data(), static_cast<int>(result.Name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 2, result.Score);
        sqlite3_bind_int(insert, 3, result.Level);
        sqlite3_bind_int(insert, 4, result.Time);
        sqlite3_bind_text(insert, 5, date.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(insert) != SQLITE_DONE) {
            Fail("cannot store a result");
            sqlite3_reset(insert);
            Exec("ROLLBACK;");
            return kStoreFailed;
        }
        added += sqlite3_changes(db);
    }
    sqlite3_reset(insert);
    if (!Exec("COMMIT;")) {
        Exec("ROLLBACK;");
        return kStoreFailed;
    }
    return added;
}

int32_t TSqliteScoreStore::Verify(const TResult& result) {
    if (!db) return kStoreFailed;
    if (!writable) {
        lastError = "the database file " + path + " cannot be written";
        return kStoreFailed;
    }
    if (!StillThere()) return kStoreFailed;
    sqlite3_reset(verify);
    sqlite3_bind_blob(verify, 1, result.Name.data(), static_cast<int>(result.Name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(verify, 2, result.Score);
    sqlite3_bind_int(verify, 3, result.Level);
    sqlite3_bind_int(verify, 4, result.Time);
    const int step = sqlite3_step(verify);
    sqlite3_reset(verify);
    if (step != SQLITE_DONE) {
        Fail("cannot mark a result verified");
        return kStoreFailed;
    }
    return sqlite3_changes(db) > 0 ? 1 : 0;
}

std::optional<std::vector<TResult>> TSqliteScoreStore::Top(int32_t count, bool verifiedOnly) {
    std::vector<TResult> results;
    if (!db) return std::nullopt;
    if (count <= 0) return results;
    sqlite3_reset(top);
    sqlite3_bind_int(top, 1, count);
    sqlite3_bind_int(top, 2, verifiedOnly ? 1 : 0);
    int step;
    while ((step = sqlite3_step(top)) == SQLITE_ROW) {
        TResult& result = results.emplace_back();
        const auto* name = static_cast<const char*>(sqlite3_column_blob(top, 0));
        result.Name.assign(name ? name : "", static_cast<size_t>(sqlite3_column_bytes(top, 0)));
        result.Score = sqlite3_column_int(top, 1);
        result.Level = sqlite3_column_int(top, 2);
        result.Time = sqlite3_column_int(top, 3);
        const auto* date = reinterpret_cast<const char*>(sqlite3_column_text(top, 4));
        result.Date = date ? date : "";
        result.Verified = sqlite3_column_int(top, 5) != 0;
    }
    sqlite3_reset(top);
    if (step != SQLITE_DONE) {
        Fail("cannot read the table");
        return std::nullopt;
    }
    return results;
}

int64_t TSqliteScoreStore::Size() {
    if (!db) return -1;
    return QueryInteger("SELECT COUNT(*) FROM results").value_or(-1);
}

bool TSqliteScoreStore::IntegrityOk() {
    if (!db) return false;
    // The file's own check, the schema this server writes, and what the
    // constraints promise when the table is read without its indexes.
    sqlite3_stmt* check = nullptr;
    bool ok = sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr) == SQLITE_OK &&
              sqlite3_step(check) == SQLITE_ROW &&
              std::string(reinterpret_cast<const char*>(sqlite3_column_text(check, 0))) == "ok";
    sqlite3_finalize(check);
    if (!ok) {
        lastError = "the file fails its integrity check";
        return false;
    }
    if (SchemaVersion() != kSchemaVersion) return false;
    const char* sql =
        "SELECT NOT EXISTS (SELECT 1 FROM results NOT INDEXED GROUP BY name, score, level, time HAVING count(*) > 1)"
        " AND NOT EXISTS (SELECT 1 FROM results NOT INDEXED WHERE score < 0 OR level < 0 OR time < 0"
        " OR verified NOT IN (0, 1))"
        " AND (SELECT count(*) FROM sqlite_schema WHERE type = 'index' AND tbl_name = 'results'"
        " AND name = 'results_rank') = 1";
    ok = QueryInteger(sql) == 1;
    if (!ok) lastError = "the table fails its checks";
    return ok;
}

} // namespace

std::unique_ptr<TScoreStore> OpenSqliteScoreStore(const std::string& path, std::string& error,
                                                   const TStoreBounds& bounds) {
    auto store = std::make_unique<TSqliteScoreStore>();
    if (store->Open(path, bounds.CallMs)) return store;
    error = store->LastError();
    return nullptr;
}

} // namespace scores
