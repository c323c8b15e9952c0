// The two implementations of TScoreStore, for OpenScoreStore.
#pragma once

#include "server/score_store.h"

namespace scores {

std::unique_ptr<TScoreStore> OpenSqliteScoreStore(const std::string& path, std::string& error,
                                                   const TStoreBounds& bounds);
std::unique_ptr<TScoreStore> OpenPgScoreStore(const std::string& conninfo, std::string& error,
                                               const TStoreBounds& bounds);

} // namespace scores
