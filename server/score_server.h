// nivora-scores: the score server's HTTP side on libmicrohttpd.
//
// POST /saver.php stores a game's table, POST /replay.php verifies stored
// results by replaying their games (server/replay_check.h), POST (or GET)
// /top.php answers the game's top list, GET / shows the table as a page. The
// daemon's polling threads (one per core, up to four, each with connections
// of its own) run the request handler, which never touches the database: reads
// are answered from the top list in memory (TTopList), and a send is handed
// to a small pool of workers, each with a store connection of its own, while
// its connection is suspended. A worker stores the send, replaces the top
// list and resumes the connection with the answer; every database call is
// bounded, so a stalled database costs the sends made during the stall a 503
// after the bound and costs reads nothing. A refresher thread reads the top
// list again every period (other servers over the same database write too).
// Bounds: a body cap, a connection limit overall and per address, a time-out
// after which a silent connection is closed, a queue of sends waiting for a
// worker, and a number of sends per address and minute (counted by the store
// when it is shared by several servers, by the handler otherwise). Start
// reports failure by result and LastError; a bad request gets a 4xx answer
// and one line on the error stream, never more; a table that cannot be
// written now gets a 503, never a guess.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "server/deadlines.h"
#include "server/metrics.h"
#include "server/request.h"
#include "server/score_store.h"
#include "server/send_limit.h"
#include "server/top_list.h"
#include "game/replay.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace scores {

struct TServerOptions {
    std::string Address;               // IPv4 or IPv6 address to listen on; empty: every address of both
    uint16_t Port = 8080;              // 0: any free port (see TScoreServer::Port)
    std::string Database = "nivora-scores.db"; // a file path, or a postgresql:// connection string
    size_t MaxBody = 16 * 1024;        // bytes; a full table takes about 4 KiB
    // Bytes of a /replay.php body: twenty rows with the largest replays fit.
    size_t MaxReplayBody = 20 * (4 * kMaxReplayBytes / 3 + 256);
    bool VerifiedOnly = false;         // /top.php and the page show verified results only
    // Open connections at once. A connection costs its memory (at most
    // ConnectionMemory, most of it untouched) and a descriptor, not a thread.
    unsigned ConnectionLimit = 4096;
    size_t ConnectionMemory = 32 * 1024; // bytes for one connection's request line, headers and buffers
    unsigned ConnectionsPerAddress = 8; // 0: no limit
    unsigned TimeoutSeconds = 10;      // a connection silent this long is closed
    // A new connection's request line and headers must be whole this soon;
    // a kept-alive one's next request within TimeoutSeconds of the last answer.
    unsigned HeaderSeconds = 5;
    uint32_t MinBodyRate = 512;        // bytes a second a body must keep up, after HeaderSeconds; 0: any
    int32_t SendsPerMinute = 30;       // per address (an IPv6 /64) and rolling minute; 0: no limit
    int32_t SendWindowMs = 60000;      // the rolling minute; tests shorten it
    // Addresses of reverse proxies whose X-Forwarded-For names the client.
    std::vector<std::string> TrustedProxies;
    bool Quiet = false;                // no access log and no line per refused request: errors only
    unsigned Workers = 4;              // threads storing sends, each with a store connection
    unsigned HttpThreads = 0;          // threads answering HTTP; 0: one per core, up to four
    unsigned QueuedSends = 64;         // sends waiting for a worker; more get 503 at once
    TStoreBounds Bounds;               // how long one database call may take
    unsigned RefreshMs = 1000;         // the top list is read again this often
    // Opens one store connection (for each worker and the refresher); empty:
    // OpenScoreStore over Database. Tests give a store of their own.
    std::function<std::unique_ptr<TScoreStore>(std::string& error)> OpenStore;
    bool StoreCountsSends = false;     // set by Start from the store: the store keeps the send counts
};

// An answer to one request.
struct TAnswer {
    unsigned Status = 200;
    std::string Body;
    const char* Type = "text/plain; charset=windows-1251";
};

// What the server answers, apart from the sockets: callable with any store
// (an SQLite database in memory will do) and no daemon. Begin and Finish run
// on the HTTP threads and never call a store; Store runs on a worker. Every
// member is safe to call from several threads at once.
class TRequestHandler {
public:
    TRequestHandler(TTopList& top, TServerOptions options)
        : top(top), options(std::move(options)),
          limit(this->options.SendsPerMinute, std::chrono::milliseconds(this->options.SendWindowMs)),
          replayLimit(this->options.SendsPerMinute, std::chrono::milliseconds(this->options.SendWindowMs)) {}

    // The request line and headers have come (contentLength: the header's text, if
    // any). An answer when none of the body is needed; nothing: read the body, then Finish.
    std::optional<TAnswer> Begin(std::string_view verb, std::string_view path, const char* contentLength,
                                 const std::string& address);
    // The whole body of a request Begin let through has come. An answer, or
    // nothing when send holds rows for Store to store.
    std::optional<TAnswer> Finish(std::string_view path, std::string_view body, const std::string& address,
                                  TSend& send);
    // Stores a send Finish left with store (one worker's own) and replaces the top list.
    TAnswer Store(TScoreStore& store, const TSend& send, const std::string& address);
    // The most body bytes a request to path may have.
    size_t BodyLimit(std::string_view path) const {
        return path == "/replay.php" ? options.MaxReplayBody : options.MaxBody;
    }
    // The counters GET /metrics answers; thread-safe.
    TMetrics& Metrics() { return metrics; }

private:
    void Note(const std::string& address, const std::string& text) const;
    TAnswer Table(int32_t count, bool page, const std::string& address) const;
    // Counts a request from address against counted (one of the limits kept here); false when over it.
    bool Allow(TSendLimit& counted, const std::string& address);
    // The answer to a write the store could not make, counted and noted.
    TAnswer StoreFailed(const TScoreStore& store, const std::string& address);
    // Store's part for a /replay.php request: each row replayed, and marked verified when it matches.
    TAnswer VerifyReplays(TScoreStore& store, const TSend& send, const std::string& address);

    TTopList& top;
    const TServerOptions options;
    std::mutex limitMutex;  // guards both limits: the HTTP threads count against them
    TSendLimit limit;       // for a store that does not count sends
    TSendLimit replayLimit; // replays are counted here whatever the store: each costs a replay
    TMetrics metrics;
    std::atomic<bool> storeFailing{false}; // the latest send found the store failing
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

    // A send waiting for a worker, its connection suspended until Answer is filled.
    struct TJob {
        MHD_Connection* Connection = nullptr;
        std::optional<TAnswer>* Answer = nullptr; // the request's; written by the worker before it resumes
        TSend Send;
        std::string Address;
        std::chrono::steady_clock::time_point Queued;
    };

    // Hands a send to the workers and suspends its connection; false (answer
    // 503) when the queue is full or the server is stopping.
    bool Submit(TJob job);
    void Work(TScoreStore& store);
    void RefreshEvery(TScoreStore& store);
    // Closes connections past their deadline, a few times a second.
    void CutOverdue();
    // Runs change on the deadlines, if the daemon is running, under their lock.
    template <typename F>
    void Deadlines(F change) {
        const std::lock_guard lock(deadlineMutex);
        if (deadlines) change(*deadlines);
    }

    TServerOptions options;
    TTopList top;
    std::unique_ptr<TRequestHandler> handler;
    std::vector<std::unique_ptr<TScoreStore>> stores; // the refresher's, then one per worker
    std::vector<std::thread> threads;
    std::mutex mutex; // guards jobs and stopping
    std::condition_variable wake;         // the workers': a job came, or stopping
    std::condition_variable refreshWake;  // the refresher's and the deadline sweeper's: stopping
    std::deque<TJob> jobs;
    bool stopping = false;
    std::mutex deadlineMutex; // guards deadlines (the HTTP thread and the sweeper)
    std::optional<TConnectionDeadlines> deadlines;
    MHD_Daemon* daemon = nullptr;
    uint16_t port = 0;
    std::string lastError;
};

} // namespace scores
