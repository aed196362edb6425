#pragma once
// The history's words: why it could not be kept or read, each run's
// outcome, the table of `history`, and the answer to "what does this
// chronometer have". UTF-8; each text without its line end unless it says so.
#include <string>

#include "history/history_store.h"

namespace zor {

// Why the history at path failed, in a line: "storico PATH: why".
std::string historyProblemText(const std::string& path, const HistoryResult& result);
// The one warning an update or a station gives when its runs cannot be
// kept; the update itself goes on.
std::string historyNotKeptText(const std::string& path, const HistoryResult& result);
// At the end of an update or a station, when runs wait in the bench's
// outbox for the centre's server (named without its password): how many,
// and why the server did not take them.
std::string historyUnsentText(const std::string& server, size_t waiting, const HistoryResult& why);
// `history` with a server that does not answer: the bench's own runs are
// shown instead.
std::string historyServerFallbackText(const std::string& server, const HistoryResult& why,
                                      const std::string& localPath);
// The warning when there is no path for the history.
std::string historyNoPathText();
// The bench's [storico] settings have a fault (positionsFaultText's words):
// the command keeps to its options and the environment.
std::string historySettingsIgnoredLine(const std::string& fault);
// No history path: no HOME, XDG_STATE_HOME or LOCALAPPDATA, and none given.
extern const char* const NO_HISTORY_PATH_TEXT;

// A run's outcome in a word or two, from its meaning key and code:
// "completato", "già aggiornato", "errore 103 scrittura", ...
std::string runMeaningText(const std::string& meaningKey, int code, bool dryRun);
// The planner's verdict, from its key, as the record words it
// ("Aggiornamento completo", "già aggiornato"); "" for none.
std::string verdictKeyText(const std::string& verdictKey);

// The table's headings.
struct HistoryHeadings {
    const char* time;
    const char* bench;
    const char* port;
    const char* serial;
    const char* outcome;
    const char* took;
    const char* file;
};
extern const HistoryHeadings HISTORY_HEADINGS;
// Under the table: "N esecuzioni".
std::string historyCountText(size_t runs);

// `history --serial S`: the chronometer's last successful update, with
// when, where and which file it came from; then each component it holds.
std::string serialLastUpdateText(const std::string& serial, const std::string& time,
                                 const std::string& bench, const std::string& port,
                                 const std::string& file, const std::string& fileId);
std::string serialComponentText(const std::string& name, bool written);
std::string serialNeverUpdatedText(const std::string& serial);
// Its latest run, when later than that update (or when there was none).
std::string serialLatestRunText(const std::string& time, const std::string& bench,
                                const std::string& outcome);

// `history import FILE`: how many lines were added, already there, refused.
std::string importDoneText(size_t added, size_t present, size_t refused);
std::string importBadLineText(const std::string& file, size_t line);
// --since and --until take "AAAA-MM-GG" or "AAAA-MM-GGThh:mm:ssZ".
std::string badDateText(const std::string& option, const std::string& value);
// history takes at most one of --json and --csv.
extern const char* const ONE_FORMAT_TEXT;

}  // namespace zor
