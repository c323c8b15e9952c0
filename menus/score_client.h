// The score server's client side: the two form requests and the reader of the
// top-list reply.
//
// Both requests block the caller until the reply is complete; any failure
// gives an empty reply. Until the HTTP client is built in, no request leaves
// the machine and every reply is empty. ParseTop trusts nothing: a reply
// without the marker or with missing lines gives fewer or empty fields, and
// at most maxRows rows are read whatever count the reply declares.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One row of the online table, as the server sends it plus its place.
struct TOnlineRec {
    std::string Name, Score, Level, Date, Time, Place;
};

struct TTopReply {
    int32_t Count = 0;               // the row count the reply declares
    std::vector<TOnlineRec> Rows;    // the rows read, at most min(Count, maxRows)
};

// Posts the fields to "/" + page; the reply body, empty on failure.
std::string PostForm(const std::string& page, const std::vector<std::string>& names,
                     const std::vector<std::string>& values);
// Asks "/top.php" for the best count results; the reply body, empty on failure.
std::string FetchTop(int32_t count);
// Reads a top-list reply: the count line after the marker, then six lines per row.
TTopReply ParseTop(const std::string& reply, int32_t maxRows = 20);
// The value of the text's leading digits (spaces and a sign allowed), 0 without digits, held to 32 bits.
int32_t LeadingInt(const std::string& text);
