// zorload-cli: the update engine for scripts and service benches.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/version_info.h"
#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "platform/terminal.h"
#include "platform/version_block.h"

using namespace zor::cli;

std::string zor::cli::usageText() {
    return "Uso: zorload-cli info FILE\n"
           "     zorload-cli ports\n"
           "     zorload-cli check PORT [--high] [--trace]\n"
           "     zorload-cli update PORT FILE --select LIST [--high] [--dry-run] [--trace]\n"
           "     zorload-cli -v\n"
           "PORT: COM1..COM4 oppure il percorso di un dispositivo seriale.\n"
           "LIST: numeri dei componenti (come da 'info') separati da virgole, oppure 'all'.\n";
}

int main(int argc, char** argv) {
    zor::useUtf8Console();
    if (argc < 2) {
        std::fputs(usageText().c_str(), stderr);
        return EXIT_USAGE;
    }
    const std::string command = argv[1];
    Args args(argv + 2, argv + argc);
    if (command == "info")
        return cmdInfo(args);
    if (command == "ports")
        return cmdPorts(args);
    if (command == "check")
        return cmdCheck(args);
    if (command == "update")
        return cmdUpdate(args);
    if (command == "-v" || command == "/v" || command == "--version") {
        // The same text the wizard shows in its version box.
        std::printf("%s\n", terminalText(zor::versionBoxText(zor::programVersionBlock())).c_str());
        return EXIT_OK;
    }
    if (command == "-h" || command == "--help" || command == "help" || command == "-?") {
        std::fputs(usageText().c_str(), stdout);
        return EXIT_OK;
    }
    std::fprintf(stderr, "Comando sconosciuto: '%s'\n", command.c_str());
    std::fputs(usageText().c_str(), stderr);
    return EXIT_USAGE;
}
