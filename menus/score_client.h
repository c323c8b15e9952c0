// The score server's client side: the two form requests and the reader of the
// top-list reply.
//
// Both requests block the caller until the reply is complete or the request
// has failed; a failure (no server, a refusal, a time-out) gives an empty reply
// and one "Scores  : " log line. A reply cut short by the server (a reset
// connection, a body shorter than announced) keeps what arrived, with the
// line. A request costs at most kRequestTimeoutMs. The server is the build's
// NIVORA_SCORE_HOST on port 80, or the environment's NIVORA_SCORE_SERVER
// ("host" or "host:port"). Replies are cut at kMaxReplyBytes.
// ParseTop trusts nothing: a reply without the marker or with missing lines
// gives fewer or empty fields, and at most maxRows rows are read whatever
// count the reply declares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One row of the online table, as the server sends it plus its place.
struct TOnlineRec {
    std::string Name, Score, Level, Date, Time, Place;
};

struct TTopReply {
    int32_t Count = 0;               // the row count the reply declares
    std::vector<TOnlineRec> Rows;    // the rows read, at most min(Count, maxRows)
};

inline constexpr long kConnectTimeoutMs = 3000; // to reach the server
inline constexpr long kRequestTimeoutMs = 5000; // the whole exchange, connection included
inline constexpr size_t kMaxReplyBytes = 1024 * 1024;

// The server the requests go to: host (an IPv6 address in brackets) and port.
struct TScoreServerAddress {
    std::string Host;
    uint16_t Port = 80;
};
// The address from NIVORA_SCORE_SERVER, else the built-in one; false when the variable is not host[:port].
bool ScoreServerAddress(TScoreServerAddress& address);

// A text form-encoded byte by byte: space as "+", digits, letters and "_" kept, all else "%XX".
std::string FormEncode(std::string_view text);
// The body of a form: pair mode when there are as many values as names, else list mode ("name[]=").
std::string FormBody(const std::vector<std::string>& names, const std::vector<std::string>& values);
// Posts the fields to "/" + page; the reply body, empty on failure. status
// (when given) gets the answer's HTTP status, 0 when no answer came whole.
std::string PostForm(const std::string& page, const std::vector<std::string>& names,
                     const std::vector<std::string>& values, long* status = nullptr);
// Asks "/top.php" for the best count results; the reply body, empty on failure.
std::string FetchTop(int32_t count);
// Reads a top-list reply: the count line after the marker, then six lines per row.
TTopReply ParseTop(const std::string& reply, int32_t maxRows = 20);
// The value of the text's leading digits (spaces and a sign allowed), 0 without digits, held to 32 bits.
int32_t LeadingInt(const std::string& text);
