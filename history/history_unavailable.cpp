// A build without SQLite: no local store, and the programs go on without a
// history.
#include "history/history_store.h"

namespace zor {

std::unique_ptr<HistoryStore> openLocalHistory(const std::string&, bool, HistoryResult& result) {
    result = HistoryResult();
    result.fault = HistoryFault::Unavailable;
    return nullptr;
}

}  // namespace zor
