// The top list held in memory.
#include "server/top_list.h"

#include "server/request.h"

namespace scores {

bool TTopList::Refresh(TScoreStore& store) {
    uint64_t ticket;
    {
        const std::lock_guard lock(mutex);
        ticket = ++begun;
    }
    auto snapshot = std::make_shared<TTopSnapshot>();
    snapshot->ReadAt = std::chrono::system_clock::now();
    std::optional<std::vector<TResult>> results = store.Top(kMaxTopCount, verifiedOnly);
    const std::lock_guard lock(mutex);
    if (!results) {
        latestFailed = std::max(latestFailed, ticket);
        return false;
    }
    latestDone = std::max(latestDone, ticket);
    if (ticket > published) {
        snapshot->Results = std::move(*results);
        current = std::move(snapshot);
        published = ticket;
    }
    return true;
}

std::shared_ptr<const TTopSnapshot> TTopList::Current() const {
    const std::lock_guard lock(mutex);
    return current;
}

bool TTopList::Stale() const {
    const std::lock_guard lock(mutex);
    return latestFailed > latestDone;
}

} // namespace scores
