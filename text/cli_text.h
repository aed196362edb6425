#pragma once
// The command line's words: its usage and help, the refusals of what was
// typed, the connection and its hints, the plan's rows, the transfer's
// progress and what to do when it fails, the bench's record and the trace
// files' notes. UTF-8; each text without its line end unless it says so.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/outcome.h"
#include "engine/plan_view.h"
#include "link/serial_link.h"
#include "platform/file.h"

namespace zor {

// ---- Usage and help

// A subcommand's help; its options are named as they are typed.
struct CommandHelp {
    const char* synopsis;     // after "zorload-cli "
    const char* arguments;    // its positional arguments, named when missing: "PORT e FILE"
    const char* about;        // what it does, lines ending with '\n'
    const char* options;      // its own options, lines ending with '\n'
    const char* lineOptions;  // --high (and --trace) for those that talk to chronometers
};
extern const CommandHelp INFO_HELP;
extern const CommandHelp PORTS_HELP;
extern const CommandHelp CHECK_HELP;
extern const CommandHelp UPDATE_HELP;
extern const CommandHelp STATION_HELP;
extern const CommandHelp HISTORY_HELP;

// "Uso: zorload-cli " and the synopsis, with its line end.
std::string commandUsageText(const CommandHelp& help);
// The usage of the whole tool, every line ended: the commands' synopses in
// order, help and -v, then what PORT and LIST stand for.
std::string toolUsageText(const std::vector<const CommandHelp*>& commands);
// The long help, every line ended: the whole tool's usage, environment and
// exit statuses; one command's usage, what it does, its options and the
// same.
std::string toolHelpText(const std::vector<const CommandHelp*>& commands);
std::string commandHelpText(const CommandHelp& help);

// What is wrong with a command line. "zorload-cli COMMAND: problem".
std::string commandProblemText(const std::string& command, const std::string& problem);
// "'zorload-cli help COMMAND' per i dettagli."
std::string helpPointerText(const std::string& command);
// "Comando sconosciuto: 'COMMAND'", the tool's first word unknown.
std::string unknownCommandText(const std::string& command);
// The problems parseOptions() gives, one line each.
extern const char* const UNKNOWN_COMMAND_PROBLEM;        // "comando sconosciuto"
std::string unknownTopicText(const std::string& topic);  // ... " 'topic'"
std::string unknownOptionText(const std::string& name);  // "opzione sconosciuta"
std::string valueNeededText(const std::string& name);    // "--select richiede un valore"
std::string countNeededText(const std::string& name, const std::string& value);  // 1 and up
std::string noValueTakenText(const std::string& name, const std::string& argument);
// "manca PORT e FILE" with none of help's arguments given, "manca FILE"
// (the last one) with some.
std::string missingArgumentsText(const CommandHelp& help, size_t given);
extern const char* const MISSING_SELECT_TEXT;   // "manca --select LIST"
extern const char* const HISTORY_OR_NONE_TEXT;  // --history and --no-history together
// --mqtt not of the form mqtt://HOST[:PORT]/PREFIX.
std::string badMqttText(const std::string& value);
// --mqtt in a build without the MQTT client.
extern const char* const NO_MQTT_TEXT;
// The MQTT client did not start: why is the library's text. The station goes on.
std::string mqttNotStartedText(const std::string& why);
std::string extraArgumentText(const std::string& argument);
// --select LIST refused, for a file of segments components.
std::string selectionError(const std::string& list, size_t segments);

// The program ended by an interrupt while a port was open: "Interrotto.".
extern const char* const INTERRUPTED_TEXT;

// ---- The port and the chronometer

// Below, port is a port's label as the terminal shows it: "COM2
// (/dev/ttyS1)".

// "Connessione al cronometro su PORT...".
std::string connectingText(const std::string& port);
// "Suggerimento: " and a hint.
std::string hintText(const std::string& hint);
// A port that would not open: the port and the system's text for osError.
std::string portOpenErrorText(const std::string& port, int osError);
// Hints for it. user is the login name, "" when unknown; device the device
// as shown, holder and lockFile the holding process's name and its lock
// file as shown, "" when unknown.
std::string joinGroupHint(const std::string& user, const std::string& device,
                          const std::string& group);
std::string ownerOnlyHint(const std::string& user, const std::string& device);
std::string heldByProcessHint(long pid, const std::string& holder, const std::string& lockFile);
extern const char* const HELD_BY_APPLICATION_HINT;
extern const char* const PORT_MISSING_HINT;
std::string notSerialHint(const std::string& device);
// A port that refused the line settings; the system's text for osError
// unless it is 0.
std::string portSetupErrorText(const std::string& port, int osError);
extern const char* const LINE_SETTINGS_HINT;

// The connection check that failed: the listing broke off, or no answer.
std::string listingIncompleteText(const std::string& port);
std::string cableHint(bool high);  // "controllare il cavo e ripetere[ senza --high]."
std::string noAnswerText(const std::string& port);
extern const char* const SPEEDS_TRIED_TEXT;  // "Velocità provate: 19200, 38400 e 57600 bit/s."

// "Cronometro: " and its identification as the terminal shows it.
std::string identifiedChronometerText(const std::string& shown);

// ---- Tables

// The heading of `check`'s partition table.
struct TableHeadings {
    const char* blocks;
    const char* type;
    const char* component;
};
extern const TableHeadings TABLE_HEADINGS;
// `info`'s lines: "ID: " and the file's identifier; the heading, with its
// columns laid out; the note under a table whose Posn or Blks have high bits
// set.
std::string fileIdText(const std::string& identifier);
extern const char* const INFO_HEADING;
extern const char* const HIGH_BITS_NOTE;

// A plan row's words after its blocks and type: what is done to it
// ("scrittura", "cancellazione", "invariato", "rimosso") and what it is
// done to ("Programma base: VERS 2.10 BUILD 35 → VERS 2.20 BUILD 41",
// "spazio libero").
struct PlanRowWords {
    const char* action;
    std::string subject;
};
PlanRowWords planRowWords(const PlanRow& row);

// ---- The update

// Nothing to install from an `outdated` selection: "già aggiornato: ...".
std::string nothingToInstallText();
extern const char* const NO_CHANGE_TEXT;            // the plan changes nothing
extern const char* const COMPONENTS_DONT_FIT_TEXT;  // no plan for the selection
extern const char* const UPDATE_DONE_TEXT;

// The transfer about to start on port (its label): line speed, phases and
// bytes of data, and not to unplug anything.
std::string transferIntroText(const std::string& port, uint32_t bitsPerSecond, size_t phases,
                              uint64_t dataBytes);
// A phase: "scrittura NAME (blocchi 1-3)", "cancellazione blocchi 6-7"; the
// live line says a write with its short name.
std::string writePhaseText(const std::string& name, uint8_t first, uint8_t length);
std::string erasePhaseText(uint8_t first, uint8_t length);
std::string writingText(const std::string& shortName);
// Where a transfer stands before and after its phases, and in one.
extern const char* const CHECKING_CHRONOMETER_TEXT;    // "verifica del cronometro"
extern const char* const RESTARTING_CHRONOMETER_TEXT;  // "riavvio del cronometro"
std::string inPhaseText(int phase, int phaseCount, const std::string& phaseText);
// What a write phase does in the live line, after the phase's name.
extern const char* const SENDING_DATA_TEXT;
extern const char* const AWAITING_CHRONOMETER_TEXT;
// The live line's figures, ending with a space: overall percent, elapsed,
// time left ("-:--" when not known), line rate, phase.
std::string progressFiguresText(int overall, const std::string& elapsed, const std::string& left,
                                uint64_t rate, int phase, int phaseCount);
// Off a terminal, one line per phase done.
std::string phaseDoneText(int phase, int phaseCount, const std::string& what,
                          const std::string& took, uint64_t rate);
// The transfer's summary: done, or stopped.
std::string transferDoneText(const std::string& took, uint64_t bytes, uint64_t average);
std::string transferStoppedText(const std::string& took, uint64_t bytes, uint64_t average);
// What to do after a failed transfer.
const char* nextStepText(Hint hint);
// "Fermato a: PHASE." and what to do, on two lines.
std::string stoppedAtText(const std::string& phase, Hint hint);

// ---- Files

// Why a file the program writes was refused, for the user: the refused link
// or file named with what is wrong with it, else the OS's own text.
std::string fileProblemText(const FileProblem& problem);
// A record line that could not be appended to path.
std::string recordFailedText(const std::string& path, const std::string& why);

// The trace of each frame: the tag after its time and speed ("> ", "!>
// scrittura fallita ", ...), ending with a space.
const char* frameTagText(TraceKind kind);
// A trace file that cannot be written; port, path and why as shown.
std::string traceUnwritableText(const std::string& port, const std::string& path,
                                const std::string& why);
// The line, ended, that closes a trace file full at cap bytes (whole MiB
// said as such).
std::string traceCapNote(uint64_t cap);
// The line, ended, that says lines were lost while the disk lagged behind.
std::string traceDroppedNote(uint64_t lines);

}  // namespace zor
