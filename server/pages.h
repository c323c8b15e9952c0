// What the score server writes in its answers: the summary of a send, the
// top-list reply the game reads, and the page a person opens in a browser.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "server/request.h"
#include "server/score_store.h"

namespace scores {

// The short plain-text answer to a send, one line without a line feed (the game logs it as it is).
std::string SendSummary(const TSend& send, int32_t added);
// The game's top-list reply: the marker, the row count, six lines per row.
std::string TopReply(const std::vector<TResult>& results);
// The HTML page of the table: names in their colours, everything escaped, UTF-8,
// verified results marked; a non-empty note (plain ASCII text) is shown above the table.
std::string TopPage(const std::vector<TResult>& results, const std::string& note = {});

} // namespace scores
