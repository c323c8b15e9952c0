#include "server/deadlines.h"

namespace scores {

void TConnectionDeadlines::Opened(const void* connection, int handle, Clock::time_point now) {
    connections[connection] = TConnection{handle, TPhase::Headers, now, limits.Headers, 0};
}

void TConnectionDeadlines::HeadersDone(const void* connection, Clock::time_point now) {
    const auto found = connections.find(connection);
    if (found == connections.end() || found->second.Phase == TPhase::Overdue) return;
    found->second.Phase = TPhase::Body;
    found->second.Since = now;
    found->second.BodyBytes = 0;
}

void TConnectionDeadlines::BodyCame(const void* connection, size_t bytes) {
    const auto found = connections.find(connection);
    if (found != connections.end()) found->second.BodyBytes += bytes;
}

void TConnectionDeadlines::Answering(const void* connection) {
    const auto found = connections.find(connection);
    if (found != connections.end() && found->second.Phase != TPhase::Overdue) found->second.Phase = TPhase::Answering;
}

void TConnectionDeadlines::AnswerSent(const void* connection, Clock::time_point now) {
    const auto found = connections.find(connection);
    if (found == connections.end() || found->second.Phase == TPhase::Overdue) return;
    found->second.Phase = TPhase::Headers;
    found->second.Since = now;
    found->second.Allowed = limits.Idle;
}

int TConnectionDeadlines::Closed(const void* connection) {
    const auto found = connections.find(connection);
    if (found == connections.end()) return -1;
    const int handle = found->second.Handle;
    connections.erase(found);
    return handle;
}

std::vector<int> TConnectionDeadlines::Clear() {
    std::vector<int> handles;
    for (const auto& [key, connection] : connections) handles.push_back(connection.Handle);
    connections.clear();
    return handles;
}

bool TConnectionDeadlines::PastDeadline(const TConnection& connection, Clock::time_point now) const {
    const auto elapsed = now - connection.Since;
    switch (connection.Phase) {
    case TPhase::Headers: return elapsed > connection.Allowed;
    case TPhase::Body: {
        // Headers' worth of grace, then the body must have kept up with the rate.
        if (limits.MinBodyRate == 0) return false;
        const auto earned = std::chrono::milliseconds(connection.BodyBytes * 1000 / limits.MinBodyRate);
        return elapsed > limits.Headers + earned;
    }
    case TPhase::Answering:
    case TPhase::Overdue: return false;
    }
    return false;
}

std::vector<int> TConnectionDeadlines::Receiving() const {
    std::vector<int> handles;
    for (const auto& [key, connection] : connections)
        if (connection.Phase == TPhase::Headers || connection.Phase == TPhase::Body) handles.push_back(connection.Handle);
    return handles;
}

std::vector<int> TConnectionDeadlines::Overdue(Clock::time_point now, const std::unordered_set<int>& hungUp) {
    std::vector<int> overdue;
    for (auto& [key, connection] : connections) {
        const bool receiving = connection.Phase == TPhase::Headers || connection.Phase == TPhase::Body;
        const bool gone = receiving && hungUp.count(connection.Handle) > 0;
        const bool goneTwice = gone && connection.HungUp;
        connection.HungUp = gone;
        if (!goneTwice && !PastDeadline(connection, now)) continue;
        connection.Phase = TPhase::Overdue;
        overdue.push_back(connection.Handle);
    }
    return overdue;
}

} // namespace scores
