#include "app/command_line.h"

namespace zor {

namespace {

// Only A-Z: option names are ASCII, and bytes of the ANSI code page above 127
// must not be touched by the user's locale.
std::string lowerAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// Options begin with '-' or '/'. Where absolute paths begin with '/' too, an
// argument with a further '/' in it ("/home/u/nuovo.upd") is a file name: no
// option contains one.
bool isOption(const std::string& arg, SlashRule slash) {
    if (arg.empty())
        return false;
    if (arg[0] == '-')
        return true;
    if (arg[0] != '/')
        return false;
    return slash == SlashRule::Option || arg.find('/', 1) == std::string::npos;
}

}  // namespace

std::string programFileName(const std::string& programPath) {
    const size_t slash = programPath.find_last_of("/\\");
    return slash == std::string::npos ? programPath : programPath.substr(slash + 1);
}

CommandLineResult ParseCommandLine(const std::vector<std::string>& args, SlashRule slash) {
    CommandLineResult result;
    for (const std::string& arg : args) {
        if (isOption(arg, slash) && lowerAscii(arg.substr(1)) == "banco")
            result.bench = true;
    }

    for (const std::string& arg : args) {
        if (!isOption(arg, slash)) {
            result.FileDaCaricare = arg;
            continue;
        }
        const std::string option = lowerAscii(arg.substr(1));
        if (option == "high") {
            result.highSpeed = true;
        } else if (option == "v") {
            result.notices.push_back({CommandLineNotice::Kind::Version, {}});
        } else if (option == "?") {
            result.notices.push_back({CommandLineNotice::Kind::Usage, {}});
            result.exitProcess = true;
            result.exitStatus = 1;
            break;
        } else if (option == "log") {
            result.logOption = true;
        } else if (option == "banco") {
            // Seen above: -avvia may stand before it.
        } else if (option == "avvia" && result.bench) {
            result.autoStart = true;
        } else {
            result.notices.push_back({CommandLineNotice::Kind::UnknownOption, arg});
            result.exitProcess = true;
            result.exitStatus = 1;
            break;
        }
    }
    return result;
}

}  // namespace zor
