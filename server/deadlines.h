// Deadlines that keep a connection from hoarding its place: its request line
// and headers must be whole within a short time of its opening (or, on a
// kept-alive connection, of its last answer), and a body must keep coming at
// a minimum rate. The daemon's own time-out only closes a connection that
// falls silent; one that sends a byte now and then would stay for ever.
//
// Pure bookkeeping, keyed by the caller's connection handle: the caller tells
// what happened to each connection and asks which ones are overdue, then
// closes them. A client found gone twice in a row while it still owed its
// request is closed too: a daemon may see a peer's end late. Not
// thread-safe: the caller holds its own lock.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace scores {

struct TDeadlineLimits {
    std::chrono::milliseconds Headers{5000}; // from opening to the end of the headers
    std::chrono::milliseconds Idle{10000};   // from an answer to the end of the next request's headers
    uint32_t MinBodyRate = 512;              // bytes a second, after Headers' worth of grace
};

class TConnectionDeadlines {
public:
    using Clock = std::chrono::steady_clock;

    explicit TConnectionDeadlines(TDeadlineLimits limits) : limits(limits) {}

    void Opened(const void* connection, int handle, Clock::time_point now);
    // The request line and headers are whole; a body may follow.
    void HeadersDone(const void* connection, Clock::time_point now);
    void BodyCame(const void* connection, size_t bytes);
    // The request is being answered: no deadline until the answer has gone.
    void Answering(const void* connection);
    // The answer has gone and the connection is kept for another request.
    void AnswerSent(const void* connection, Clock::time_point now);
    // Forgets the connection; its handle, returned, is the caller's to release (-1 if unknown).
    int Closed(const void* connection);
    // Forgets every connection, returning their handles.
    std::vector<int> Clear();

    // The handles of connections still sending their request (whose client
    // going away means the request can never be whole).
    std::vector<int> Receiving() const;
    // The handles of connections past their deadline at now, or whose client
    // was found gone (among hungUp, of those Receiving gave) at this sweep
    // and the one before. Each is named once: it has no deadline afterwards,
    // until Closed forgets it.
    std::vector<int> Overdue(Clock::time_point now, const std::unordered_set<int>& hungUp = {});

    size_t Size() const { return connections.size(); }

private:
    enum class TPhase { Headers, Body, Answering, Overdue };
    struct TConnection {
        int Handle = -1;
        TPhase Phase = TPhase::Headers;
        Clock::time_point Since;               // when the current phase began
        std::chrono::milliseconds Allowed{0};  // for the headers phase
        uint64_t BodyBytes = 0;
        bool HungUp = false; // found gone at the last sweep
    };

    bool PastDeadline(const TConnection& connection, Clock::time_point now) const;

    const TDeadlineLimits limits;
    std::unordered_map<const void*, TConnection> connections;
};

} // namespace scores
