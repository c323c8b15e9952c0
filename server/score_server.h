// nivora-scores: the score server's HTTP side on libmicrohttpd.
//
// POST /saver.php stores a game's table, POST (or GET) /top.php answers the
// game's top list, GET / shows the table as a page. Everything runs on the
// library's one polling thread, which alone touches the database. Bounds: a
// body cap, a connection limit overall and per address, a time-out after
// which a silent connection is closed, and a number of sends per address and
// minute. Start reports failure by result and LastError; a bad request gets
// a 4xx answer and one line on the error stream, never more.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>

#include "server/score_store.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace scores {

struct TServerOptions {
    std::string Address = "0.0.0.0";   // IPv4 address to listen on
    uint16_t Port = 8080;              // 0: any free port (see TScoreServer::Port)
    std::string Database = "nivora-scores.db";
    size_t MaxBody = 16 * 1024;        // bytes; a full table takes about 4 KiB
    unsigned ConnectionLimit = 64;
    unsigned ConnectionsPerAddress = 8;
    unsigned TimeoutSeconds = 10;      // a connection silent this long is closed
    int32_t SendsPerMinute = 30;       // per address; 0: no limit
    bool Quiet = false;                // no line per request on the error stream
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
    bool SendAllowed(const std::string& address);
    void Note(const std::string& address, const std::string& text) const;

    TServerOptions options;
    TScoreStore store;
    MHD_Daemon* daemon = nullptr;
    uint16_t port = 0;
    std::string lastError;
    // Sends per address in the current minute; only the polling thread touches it.
    struct TWindow {
        std::chrono::steady_clock::time_point Start;
        int32_t Sends = 0;
    };
    std::unordered_map<std::string, TWindow> sends;
};

} // namespace scores
