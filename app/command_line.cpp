#include "app/command_line.h"

#include "app/version_info.h"

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

std::string usageText(const std::string& programFileName) {
    return "Uso: " + programFileName + " [-v] [-high] [-?] [FileDaCaricare]";
}

std::string programFileName(const std::string& programPath) {
    const size_t slash = programPath.find_last_of("/\\");
    return slash == std::string::npos ? programPath : programPath.substr(slash + 1);
}

CommandLineResult ParseCommandLine(const std::vector<std::string>& args,
                                   const std::string& programFileName, const VersionBlock* block,
                                   SlashRule slash) {
    CommandLineResult result;
    const std::string title = applicationTitle(block);
    const std::string usage = usageText(programFileName);

    for (const std::string& arg : args) {
        if (!isOption(arg, slash)) {
            result.FileDaCaricare = arg;
            continue;
        }
        const std::string option = lowerAscii(arg.substr(1));
        if (option == "high") {
            result.highSpeed = true;
        } else if (option == "v") {
            result.boxes.push_back({versionBoxText(block), title, BoxIcon::Information});
        } else if (option == "?") {
            result.boxes.push_back({usage, title, BoxIcon::Information});
            result.exitProcess = true;
            result.exitStatus = 1;
            break;
        } else if (option == "log") {
            result.logOption = true;
        } else {
            // The argument is pasted in as typed; a '%' in it is plain text.
            result.boxes.push_back(
                {"Opzione della linea di comando sconosciuta: '" + arg + "'\r\n" + usage, title,
                 BoxIcon::Error});
            result.exitProcess = true;
            result.exitStatus = 1;
            break;
        }
    }
    return result;
}

}  // namespace zor
