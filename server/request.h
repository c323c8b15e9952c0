// What the score server reads from a request's form fields: the rows of a send
// (with their replays, for /replay.php) and the count a top-list request asks for.
//
// Rows are checked one by one: a row with a bad field is rejected and the
// others are kept. A request whose lists cannot be lined up (different
// lengths, more rows than a game's table) is refused whole.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server/form.h"
#include "server/score_store.h"

namespace scores {

inline constexpr size_t kMaxNameBytes = 32;   // a game's name field
inline constexpr size_t kMaxRowsPerSend = 20; // a game's whole table
inline constexpr int32_t kMaxTopCount = 100;  // rows one /top.php answer holds at most
inline constexpr int32_t kDefaultTopCount = 20;

struct TSend {
    std::vector<TResult> Results; // the rows to store (or, for replays, to verify), in the order sent
    std::vector<std::string> Replays; // a /replay.php request's: each row's replay as sent (URL-safe base64)
    int32_t Rows = 0;             // rows in the request
    int32_t Empty = 0;            // empty slots of a table that is not full (no name)
    int32_t Rejected = 0;         // rows with a field out of the rules
    std::string Error;            // non-empty: the request is refused whole
};

// Reads the lists user, score, level and time (each name with or without "[]").
TSend ReadSend(const std::vector<TFormField>& fields);
// The same with a fifth list, replay: a row without its replay text is rejected.
TSend ReadReplaySend(const std::vector<TFormField>& fields);
// The count a /top.php request asks for: its "count" field clamped to 1..kMaxTopCount,
// kDefaultTopCount when it is missing or not a plain number.
int32_t ReadTopCount(const std::vector<TFormField>& fields);

} // namespace scores
