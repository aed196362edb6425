#pragma once
// The bench's positions: the name a technician gives each place on the bench
// ("Posto 1") and the port it is wired to (COMn; on Linux a USB socket's
// /dev/serial/by-path/... name, which survives re-plugging and adapters
// without serial numbers; on Windows the adapter's COM number). Kept per
// user in an INI file:
//
//     [posti]
//     Posto 1=COM3
//     Posto 2=/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0
//
// Lines keep their order; blank lines and lines starting with ';' or '#' are
// ignored (a comment has a line of its own); blanks around the name and the
// port are dropped; the section's name is matched in any case, and a second
// [posti] section goes on the first. Other sections are left for other
// settings. A file without positions (no [posti], or an empty one) is a
// bench without positions, as no file is.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/file.h"

namespace zor {

struct BenchPosition {
    std::string name;  // UTF-8, as the technician wrote it
    std::string port;  // a port name the station opens
};

// Why a positions file (or its settings) could not be used.
enum class PositionsFault {
    None,
    Missing,       // no file: the bench has no positions (not an error)
    Unreadable,    // the OS refused to read it: problem.error
    TooLarge,      // longer than BENCH_POSITIONS_MAX_BYTES
    BadLine,       // a line in [posti] without "name=port": line
    EmptyName,     // "=COM3": line
    EmptyPort,     // "Posto 1=": line
    SameName,      // two positions with one name: line (the second)
    SamePort,      // two positions on one port: line (the second)
    BadCharacter,  // a control character, or bytes that are no UTF-8, in a name or port: line
    NoSection,     // a line before the first section's heading ("[posti]"): line
    UnknownKey,    // [storico]: a setting this program does not know: line
    BadValue,      // [storico]: a setting's value it cannot take: line
};

// The longest positions file read: a bench's few dozen lines fit many times.
constexpr size_t BENCH_POSITIONS_MAX_BYTES = 64 * 1024;

struct PositionsResult {
    PositionsFault fault = PositionsFault::None;
    int line = 0;                          // 1-based, for the faults about a line
    FileProblem problem;                   // Unreadable
    std::vector<BenchPosition> positions;  // empty unless ok()

    bool ok() const { return fault == PositionsFault::None; }
};

// Where the positions are kept: the file $ZORLOAD_POSITIONS names, when set;
// else $XDG_CONFIG_HOME/zorload/banco.ini, else ~/.config/zorload/banco.ini;
// %APPDATA%\Zorload\banco.ini on Windows. Empty when none of these variables
// names an absolute folder.
std::string benchPositionsPath();

// The positions in text (an INI file's contents, UTF-8).
PositionsResult parseBenchPositions(const std::string& text);
// Reads and parses the file at path; Missing when there is none (or path is
// empty).
PositionsResult readBenchPositions(const std::string& path);

// Whether positions can be written as they are and read back the same: the
// fault the first that cannot gives, with line its number in the list
// (1-based) instead of a line of the file. A name that no line can hold (one
// with '=', one starting with ';', '#' or '[', blanks at either end) is a
// BadLine, a port with blanks at either end too.
PositionsResult checkBenchPositions(const std::vector<BenchPosition>& positions);

// The file's text for positions: its [posti] section (where previous had it,
// else at the end); every other section of previous (the file as it was, or
// empty), and what stands before the first, is kept as it stood. Comments
// inside the old [posti] go with it. Line ends as previous has them.
std::string benchPositionsText(const std::vector<BenchPosition>& positions,
                               const std::string& previous);
// Writes the positions to path whole (a new file put in place of the old,
// so that a crash leaves one or the other), making its folder as the state
// folder is made, under the rules every file the program writes follows.
// False with problem saying why; problem.error is 0 when nothing was tried:
// positions that checkBenchPositions refuses, or a file at path too large to
// keep its other sections.
bool writeBenchPositions(const std::string& path, const std::vector<BenchPosition>& positions,
                         FileProblem& problem);

// The bench's settings for the history, in the same file:
//
//     [storico]
//     procedura=si
//     banco=si
//     percorso=postgresql://centro.example/zorload
//     mqtt=mqtt://centro.example/officina
//
// procedura: the wizard keeps its runs too (no by default, so that it makes
// no folder of its own); banco: the bench window keeps its runs (yes by
// default); yes and no as si, sì, no, 1, 0 (any case). percorso: where the
// windows keep runs, a file or a server's address (by default
// $ZORLOAD_HISTORY, else the user's own file). mqtt: the broker the bench
// window sends its events to (none by default). Keys in any case; a key
// given twice takes the last value.
struct BenchSettings {
    bool wizardHistory = false;
    bool benchHistory = true;
    std::string historyPlace;  // empty: $ZORLOAD_HISTORY or the default
    std::string mqtt;          // empty: none
};

struct SettingsResult {
    PositionsFault fault =
        PositionsFault::None;  // BadLine, UnknownKey, BadValue, BadCharacter, ...
    int line = 0;
    FileProblem problem;
    BenchSettings settings;  // the defaults unless ok()

    bool ok() const { return fault == PositionsFault::None; }
};

// The settings in text; lines outside [storico] are the positions' (or
// another program's) and are not looked at.
SettingsResult parseBenchSettings(const std::string& text);
// Reads and parses the file at path; Missing (and the defaults) when there
// is none.
SettingsResult readBenchSettings(const std::string& path);

}  // namespace zor
