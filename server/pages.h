// What the score server reads from a request and writes in its answers: the
// rows of a send, the top-list reply the game reads, and the page a person
// opens in a browser.
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

// The short plain-text answer to a send, one line without a line feed (the game logs it as it is).
std::string SendSummary(const TSend& send, int32_t added);
// The game's top-list reply: the marker, the row count, six lines per row.
std::string TopReply(const std::vector<TResult>& results);
// The HTML page of the table: names in their colours, everything escaped, UTF-8,
// verified results marked; a non-empty note (plain ASCII text) is shown above the table.
std::string TopPage(const std::vector<TResult>& results, const std::string& note = {});

} // namespace scores
