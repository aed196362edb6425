#pragma once
// The program's command line: [-v] [-high] [-?] [FileDaCaricare], plus the
// unlisted -log, and -banco [-avvia] for the bench window. Options begin with
// '-' or '/' and are matched without regard to the case of A-Z.
#include <string>
#include <vector>

namespace zor {

// What the command line asks to be shown before anything else.
struct CommandLineNotice {
    enum class Kind {
        Version,        // -v: the version box
        Usage,          // -?: the usage box
        UnknownOption,  // an option that does not exist: argument, as typed
    };
    Kind kind;
    std::string argument;
};

// What an argument beginning with '/' is.
enum class SlashRule {
    // Always an option: Windows, where "/a/b.upd" is an unknown option.
    Option,
    // An option unless it holds a further '/': then it is an absolute path,
    // hence a file name ("/home/tecnico/nuovo.upd"). Linux.
    OptionUnlessPath,
};

struct CommandLineResult {
    bool highSpeed = false;  // -high: ask the chronometer for the fastest line speed
    bool logOption = false;  // -log: preset the session log check box
    // -banco: the bench window instead of the wizard. Anywhere on the line;
    // without it -avvia is an unknown option, as it always was.
    bool bench = false;
    bool autoStart = false;                  // -avvia: the bench starts on FileDaCaricare at once
    std::string FileDaCaricare;              // the last argument that is not an option
    std::vector<CommandLineNotice> notices;  // in the order they are to be shown
    bool exitProcess = false;                // -? or an unknown option: end after the boxes
    int exitStatus = 0;                      // meaningful only when exitProcess
};

// Parses args (the arguments after the program path, already split and
// unquoted) in order; slash says how the OS's paths begin. Pure: shows
// nothing, ends nothing. Arguments after one that ends the process are not
// looked at.
CommandLineResult ParseCommandLine(const std::vector<std::string>& args, SlashRule slash);

// The last component of a path ('/' or '\' separated).
std::string programFileName(const std::string& programPath);

}  // namespace zor
