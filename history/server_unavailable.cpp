// A build without the PostgreSQL client: a server's history cannot be
// reached, and the bench's file is the only one. Runs meant for a server are
// kept there, so that none is lost.
#include "history/history_path.h"
#include "history/history_store.h"

namespace zor {

std::unique_ptr<HistoryStore> openRunHistory(const std::string& name, const std::string& localPath,
                                             bool makeFolders, HistoryResult& result) {
    return openLocalHistory(isServerHistory(name) ? localPath : name, makeFolders, result);
}

std::unique_ptr<HistoryStore> openServerHistory(const std::string&, HistoryResult& result) {
    result = HistoryResult();
    result.fault = HistoryFault::NoServer;
    return nullptr;
}

}  // namespace zor
