// The score server's table: every distinct result it has received, behind one
// narrow interface with two implementations. The default keeps the table in
// one SQLite database file in WAL mode, for one server process; the other
// keeps it on a PostgreSQL server, for several server processes over one table.
// OpenScoreStore picks by the database text: a "postgresql://" or
// "postgres://" connection string, anything else a file path.
//
// A result is (name, score, level, time); the same result sent again (the game
// sends its whole table every time) is stored once, dated when it first came.
// A result is verified once a replay of its game (game/replay.h) gave its
// score and level; results without one stay unverified.
// Ranking: best score first, among equal scores the one received first. Every
// statement binds its values; no text from a request is ever part of SQL.
// Failures come back as a negative count or no list, with the reason in
// LastError. A PostgreSQL store that lost its server connects again on a later
// call (after a short back-off); an SQLite store keeps its file open, and one
// whose file was deleted or replaced refuses every write.
// Every call is bounded (TStoreBounds): a database that stalls makes a call
// fail after the bound, never hang, and a connect that failed makes the calls
// of a short back-off fail at once instead of connecting again each time.
// One store is one connection, used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace scores {

struct TResult {
    std::string Name; // as the game holds it: colour code and code-page-1251 bytes included
    int32_t Score = 0;
    int32_t Level = 0;
    int32_t Time = 0;         // hundredths of a second
    std::string Date;         // "YYYY-MM-DD" (UTC) of the first receipt; set by the store
    bool Verified = false;    // a replay of its game gave this score and level; set by the store
};

// Who sends, for a store that keeps the per-address send counts itself.
struct TSender {
    std::string Address;        // as the limit counts it (see LimitKey)
    int32_t SendsPerMinute = 0; // > 0
    int32_t WindowMs = 60000;   // the rolling minute
};

// How long a store waits on its database.
struct TStoreBounds {
    int CallMs = 1500;   // one statement, a lock wait, a connect; > 0
    int BackoffMs = 1000; // after a failed connect, calls fail at once this long
};

inline constexpr int32_t kStoreFailed = -1;  // Add: nothing stored, see LastError
inline constexpr int32_t kSendLimited = -2;  // Add: the sender sent its limit within the last minute

class TScoreStore {
public:
    virtual ~TScoreStore() = default;

    // Stores the results not yet known, dated by unixSeconds, in one transaction; the
    // number newly stored, kStoreFailed, or kSendLimited when sender is given and over its limit.
    virtual int32_t Add(const std::vector<TResult>& results, int64_t unixSeconds,
                        const TSender* sender = nullptr) = 0;
    // Marks the stored result with these four values verified; 1 when it is
    // stored (verified now or before), 0 when no such result is, kStoreFailed.
    virtual int32_t Verify(const TResult& result) = 0;
    // The best count results in rank order (count >= 0; the caller bounds it),
    // only verified ones when verifiedOnly; nothing on failure.
    virtual std::optional<std::vector<TResult>> Top(int32_t count, bool verifiedOnly = false) = 0;
    // How many results the table holds; -1 on failure.
    virtual int64_t Size() = 0;
    // The database's own checks pass and every result is there once.
    virtual bool IntegrityOk() = 0;
    // True when Add counts sends per address (across every server over the same database).
    virtual bool CountsSends() const { return false; }
    // False when the database could be opened only for reading: Add then fails.
    virtual bool Writable() const { return true; }
    const std::string& LastError() const { return lastError; }

protected:
    std::string lastError;
};

// Opens (creating or updating the schema) the store the database text names;
// nothing, with the reason in error, when it cannot be used.
std::unique_ptr<TScoreStore> OpenScoreStore(const std::string& database, std::string& error,
                                            const TStoreBounds& bounds = {});
// True for a PostgreSQL connection string.
bool IsPostgresDatabase(const std::string& database);
// "YYYY-MM-DD" (UTC) of a Unix time.
std::string UtcDate(int64_t unixSeconds);

} // namespace scores
