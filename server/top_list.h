// The top list the server answers reads from: the best kMaxTopCount results
// (what /top.php and the page show), held in memory so that no read waits on
// the database. A worker replaces it after each stored send; a refresher
// reads it again every period, which brings in what other servers over the
// same database stored. When a read of the store fails the list is kept and
// marked stale, and the page says how old it is.
//
// Thread-safe: workers and the refresher publish, the HTTP thread reads.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "server/score_store.h"

namespace scores {

struct TTopSnapshot {
    std::vector<TResult> Results;                 // rank order, at most kMaxTopCount
    std::chrono::system_clock::time_point ReadAt; // when the store was read
};

class TTopList {
public:
    // Holds only verified results from now on (the server's --verified-only).
    void SetVerifiedOnly(bool only) { verifiedOnly = only; }

    // Reads the list from store and publishes it, unless a read begun later was
    // published first; false when the store failed (the list is then stale).
    bool Refresh(TScoreStore& store);
    // The list last published; null before the first.
    std::shared_ptr<const TTopSnapshot> Current() const;
    // True while the latest read of the store failed.
    bool Stale() const;

private:
    bool verifiedOnly = false; // set before the first Refresh
    mutable std::mutex mutex;
    std::shared_ptr<const TTopSnapshot> current;
    // Reads are numbered as they begin, so a slow read that began before a
    // send was stored never replaces a list that holds it.
    uint64_t begun = 0;
    uint64_t published = 0;
    uint64_t latestFailed = 0;
    uint64_t latestDone = 0;
};

} // namespace scores
