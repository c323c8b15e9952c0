// nivora-scores: the score server's HTTP side on libmicrohttpd.
//
// POST /saver.php stores a game's table, POST (or GET) /top.php answers the
// game's top list, GET / shows the table as a page. The daemon runs one
// internal polling thread, which alone calls the request handler and through
// it the store. Bounds: a body cap, a connection limit overall and per
// address, a time-out after which a silent connection is closed, and a
// number of sends per address and minute (counted by the store when it is
// shared by several servers, by the handler otherwise). Start reports failure
// by result and LastError; a bad request gets a 4xx answer and one line on
// the error stream, never more; a table that cannot be read or written now
// gets a 503, never a guess.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "server/score_store.h"

struct MHD_Daemon;

namespace scores {

struct TServerOptions {
    std::string Address = "0.0.0.0";   // IPv4 address to listen on
    uint16_t Port = 8080;              // 0: any free port (see TScoreServer::Port)
    std::string Database = "nivora-scores.db"; // a file path, or a postgresql:// connection string
    size_t MaxBody = 16 * 1024;        // bytes; a full table takes about 4 KiB
    unsigned ConnectionLimit = 64;
    unsigned ConnectionsPerAddress = 8; // 0: no limit
    unsigned TimeoutSeconds = 10;      // a connection silent this long is closed
    int32_t SendsPerMinute = 30;       // per address; 0: no limit
    bool Quiet = false;                // no line per request on the error stream
};

// An answer to one request.
struct TAnswer {
    unsigned Status = 200;
    std::string Body;
    const char* Type = "text/plain; charset=windows-1251";
};

// What the server answers, apart from the sockets: callable with any store
// (an SQLite database in memory will do) and no daemon.
class TRequestHandler {
public:
    TRequestHandler(TScoreStore& store, TServerOptions options) : store(store), options(std::move(options)) {}

    // The request line and headers have come (contentLength: the header's text, if
    // any). An answer when none of the body is needed; nothing: read the body, then Finish.
    std::optional<TAnswer> Begin(std::string_view verb, std::string_view path, const char* contentLength,
                                 const std::string& address);
    // The whole body of a request Begin let through has come.
    TAnswer Finish(std::string_view path, std::string_view body, const std::string& address);
    // Forgets the send counts kept here.
    void Reset() { sends.clear(); }

private:
    bool SendAllowed(const std::string& address);
    void Note(const std::string& address, const std::string& text) const;
    TAnswer Table(int32_t count, bool page, const std::string& address);

    TScoreStore& store;
    const TServerOptions options;
    // Sends per address in the current minute, for a store that does not count them.
    struct TWindow {
        std::chrono::steady_clock::time_point Start;
        int32_t Sends = 0;
    };
    std::unordered_map<std::string, TWindow> sends;
};

class TScoreServer {
public:
    TScoreServer() = default;
    ~TScoreServer();
    TScoreServer(const TScoreServer&) = delete;
    TScoreServer& operator=(const TScoreServer&) = delete;

    // Opens the database and starts listening; false (see LastError) on failure.
    bool Start(const TServerOptions& options);
    // Stops listening and closes the database; Start may be called again.
    void Stop();
    // The port listened on (the one chosen when the options asked for 0); 0 when stopped.
    uint16_t Port() const { return port; }
    const std::string& LastError() const { return lastError; }

private:
    friend struct TServerGlue; // the library's callbacks

    TServerOptions options;
    std::unique_ptr<TScoreStore> store;
    std::unique_ptr<TRequestHandler> handler;
    MHD_Daemon* daemon = nullptr;
    uint16_t port = 0;
    std::string lastError;
};

} // namespace scores
