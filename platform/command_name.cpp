#include "platform/port_diagnosis.h"

namespace zor {

std::string commandName(std::string program, const std::string& firstArgument) {
    const size_t slash = program.find_last_of("/\\");
    if (slash != std::string::npos)
        program.erase(0, slash + 1);
    const size_t dot = program.size() >= 4 ? program.size() - 4 : std::string::npos;
    if (dot != std::string::npos &&
        (program.compare(dot, 4, ".exe") == 0 || program.compare(dot, 4, ".EXE") == 0)) {
        program.resize(dot);
    }
    const bool word =
        !firstArgument.empty() && firstArgument.size() <= 16 &&
        firstArgument.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos;
    return word ? program + " " + firstArgument : program;
}

}  // namespace zor
