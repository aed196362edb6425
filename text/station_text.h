#pragma once
// The bench station's words: each port's state, a failed chronometer's
// number with its meaning and what to do about it, the lines that follow
// the ports, the table's headings and totals, and the summary.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/bench_positions.h"
#include "app/outcome.h"
#include "engine/chronometer_run.h"
#include "engine/station.h"

namespace zor {

// How a chronometer failed at the bench: the number scripts see (the run's
// status: the check's or the plan's, else the transfer's code), how its run
// ended and the transfer's kind.
struct RunFailure {
    int number = 0;
    RunEnd end = RunEnd::Skipped;  // no run known: no meaning
    TransferCode code = TRANSFER_OK;
};

// A port's state in words: "in attesa", "trasferimento 45% fase 2/3" (the
// percent and phase while phaseCount is known), "completato", ... A failed
// one: "errore 103 scrittura", its number and meaning.
std::string stationStateText(PortState state, int overall, int phase, int phaseCount,
                             const RunFailure& failure);

// A failure's meaning in a word or two ("scrittura" for a failed write); empty
// where there is none.
std::string failureMeaning(const RunFailure& failure);

// What to do with a chronometer that failed at the bench: plugging it in
// again is the retry.
std::string failureStep(const RunFailure& failure);

// The lines that follow each port (off a terminal, and the trace files).
std::string portWatchedText(const std::string& device);  // "sorvegliata (/dev/ttyUSB0)"
extern const char* const PORT_UNPLUGGED_TEXT;            // the adapter went: "scollegata"
extern const char* const CHRONOMETER_GONE_TEXT;          // its chronometer went: "scollegato"
std::string chronometerText(const std::string& identification);  // "cronometro 007 ..."
std::string chronometerPluggedText(const std::string& time, const std::string& port);
// "fase 2/3", with ", resta 0:42" when left (a duration) is not empty.
std::string stationPhaseText(int phase, int phaseCount, const std::string& left);
// A chronometer done earlier that came back, said with its state's words.
std::string knownAgainText(const std::string& stateText);
// A run's result in its port's trace: "esito: " and what follows.
std::string runResultTraceText(const std::string& result);
std::string lastAnswerTraceText(const std::string& lastAnswer);  // " (ultima risposta \"...\")"

// The table.
extern const char* const POSITION_HEADING;  // the first column's, with positions: "Posto"
struct StationHeadings {
    const char* port;
    const char* device;
    const char* state;
    const char* serial;
    const char* elapsed;
    const char* left;
};
extern const StationHeadings STATION_HEADINGS;
// The ports a short terminal leaves out: "+3 in attesa" or "+3 altre porte".
std::string hiddenPortsText(size_t hidden, bool allWaiting);
// The totals under the table; benchLeft, a duration, is left out when empty.
std::string stationTotalsText(int done, int failed, int upToDate, uint64_t perHour,
                              const std::string& elapsed, const std::string& benchLeft);
// After an interrupt: no new chronometer, running transfers still under way.
std::string stationStoppingText(long running);

// The end.
std::string stationSummaryText(int done, int failed, int upToDate, const std::string& elapsed);
// One failed chronometer in the summary, with what to do about it.
std::string failedChronometerText(const std::string& port, const std::string& serial,
                                  const RunFailure& failure, const std::string& lastAnswer);

// Why the --ports list was refused.
std::string emptyPortEntryText(const std::string& list);
std::string notASerialPortText(const std::string& label);
std::string samePortText(const std::string& first, const std::string& second,
                         const std::string& identity);

// Why the bench's positions file (path as shown) cannot be used: the file,
// the line and what is wrong with it.
std::string positionsFaultText(const std::string& path, const PositionsResult& result);
// The same for the file's [storico] settings.
std::string positionsFaultText(const std::string& path, const SettingsResult& result);
// A position whose port cannot be watched (label: the port as shown), and
// two positions on one port under two names.
std::string positionNotASerialPortText(const std::string& path, const std::string& position,
                                       const std::string& label);
std::string positionsSamePortText(const std::string& path, const std::string& first,
                                  const std::string& second, const std::string& identity);

}  // namespace zor
