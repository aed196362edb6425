#pragma once
// The program's command line: [-v] [-high] [-?] [FileDaCaricare], plus the
// unlisted -log. Options begin with '-' or '/' and are matched without regard
// to the case of A-Z.
#include <string>
#include <vector>

#include "app/outcome.h"
#include "platform/version_block.h"

namespace zor {

// One modal box with an OK button; no beep precedes it.
struct MessageBoxRequest {
    std::string text;
    std::string caption;
    BoxIcon icon;
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
    bool highSpeed = false;                // -high: ask the chronometer for the fastest line speed
    bool logOption = false;                // -log: preset the session log check box
    std::string FileDaCaricare;            // the last argument that is not an option
    std::vector<MessageBoxRequest> boxes;  // in the order they are to be shown
    bool exitProcess = false;              // -? or an unknown option: end after the boxes
    int exitStatus = 0;                    // meaningful only when exitProcess
};

// Parses args (the arguments after the program path, already split and
// unquoted) in order. programFileName (no folder) goes into the usage text;
// the block supplies the box caption and the version box strings; slash says
// how the OS's paths begin. Pure: shows nothing, ends nothing. Arguments after
// one that ends the process are not looked at.
CommandLineResult ParseCommandLine(const std::vector<std::string>& args,
                                   const std::string& programFileName, const VersionBlock* block,
                                   SlashRule slash);

// "Uso: <programFileName> [-v] [-high] [-?] [FileDaCaricare]".
std::string usageText(const std::string& programFileName);

// The last component of a path ('/' or '\' separated).
std::string programFileName(const std::string& programPath);

}  // namespace zor
