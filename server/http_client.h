// A plain HTTP/1.1 client for talking to score servers from outside: the load
// tool and the tests. Each exchange is one request on a new connection that
// the server closes after answering (Connection: close), as the game sends
// them; the raw response is kept whole, so a caller sees exactly the bytes
// that came back. Hosts are numeric addresses; nothing here resolves names.
//
// Failures are results: a socket of -1, an empty response, a status of 0.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace scores::http {

// ---- Connections ----
// A connected TCP socket to host (a numeric IPv4 or IPv6 address) and port,
// bound first to the IPv4 address `from` when one is given; reads and writes
// give up after timeoutSeconds. -1 on failure.
int Connect(const std::string& host, uint16_t port, int timeoutSeconds, const std::string& from = {});
// Sends every byte; false when the connection failed first.
bool SendAll(int fd, std::string_view bytes);
// Everything the peer sends until it closes (or a read times out).
std::string ReadAll(int fd);
// Sends the raw request on a new connection and returns the raw response,
// read even when the server stopped taking the request early; empty when
// nothing came back.
std::string Exchange(const std::string& host, uint16_t port, std::string_view request, int timeoutSeconds);

// ---- Requests, as the game sends them ----
// A form POST to path on 127.0.0.1.
std::string PostRequest(const std::string& path, const std::string& body);
// A GET of path on 127.0.0.1.
std::string GetRequest(const std::string& path);
// A result as a send carries it: name, score, level, time in hundredths.
using TSentRow = std::tuple<std::string, int32_t, int32_t, int32_t>;
// The body of a send in the game's list mode (user[]=...&score[]=...&...), names as given.
std::string SendBody(const std::vector<TSentRow>& rows);

// ---- Responses ----
// The status code of a raw response, 0 when it has no status line.
int StatusOf(std::string_view response);
// Whether the response holds the whole head (the blank line after the headers).
bool HasHead(std::string_view response);
// What follows the head; empty without one.
std::string BodyOf(std::string_view response);

// A row of a /top.php reply, its texts as sent.
struct TTopRow {
    std::string Name, Score, Level, Date, Time, Place;
};
// The rows of a /top.php reply body; nothing when the body breaks the reply's
// grammar (marker, count, six lines per row, closing tag).
std::optional<std::vector<TTopRow>> ParseTopReply(std::string_view body);

} // namespace scores::http
