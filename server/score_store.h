// The score server's table: every distinct result it has received, in one
// SQLite database file in WAL mode.
//
// A result is (name, score, level, time); the same result sent again (the game
// sends its whole table every time) is stored once, dated when it first came.
// Ranking: best score first, among equal scores the one received first. Every
// statement binds its values; no text from a request is ever part of SQL.
// Failures come back as false or an empty list, with the reason in LastError.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace scores {

struct TResult {
    std::string Name; // as the game holds it: colour code and code-page-1251 bytes included
    int32_t Score = 0;
    int32_t Level = 0;
    int32_t Time = 0;         // hundredths of a second
    std::string Date;         // "YYYY-MM-DD" (UTC) of the first receipt; set by the store
};

class TScoreStore {
public:
    TScoreStore() = default;
    ~TScoreStore();
    TScoreStore(const TScoreStore&) = delete;
    TScoreStore& operator=(const TScoreStore&) = delete;

    // Opens or creates the database file; false (see LastError) when it cannot be used.
    bool Open(const std::string& path);
    // Stores the results not yet known, dated by unixSeconds; the number newly stored, -1 on failure.
    int32_t Add(const std::vector<TResult>& results, int64_t unixSeconds);
    // The best count results (count is clamped to 0..limit by the caller).
    std::vector<TResult> Top(int32_t count);
    // How many results the table holds; -1 on failure.
    int64_t Size();
    // SQLite's own integrity check passes.
    bool IntegrityOk();
    const std::string& LastError() const { return lastError; }

private:
    void Close();
    bool Exec(const char* sql);
    bool Fail(const char* what);

    sqlite3* db = nullptr;
    sqlite3_stmt* insert = nullptr;
    sqlite3_stmt* top = nullptr;
    std::string lastError;
};

} // namespace scores
