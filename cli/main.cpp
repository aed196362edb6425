// zorload-cli: the update engine for scripts and service benches.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/version_info.h"
#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "platform/file.h"
#include "platform/terminal.h"
#include "platform/version_block.h"
#include "text/app_text.h"
#include "text/cli_text.h"

using namespace zor::cli;

int main(int argc, char** argv) {
    zor::useUtf8Console();
    const std::string refusal = captioned(zor::applicationTitle(), zor::TRANSFER_NOT_INTERRUPTIBLE);
    zor::watchInterrupts(refusal.c_str());
    // UTF-8 on every OS: file names with letters outside the ANSI code page
    // reach the update file on Windows too.
    Args args = zor::programArguments(argc, argv);
    if (args.empty()) {
        std::fputs(usageText().c_str(), stderr);
        return EXIT_USAGE;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    const bool wantsHelp = !args.empty() && (args[0] == "--help" || args[0] == "-h");
    if (command == "info" || command == "ports" || command == "check" || command == "update" ||
        command == "station" || command == "history") {
        if (wantsHelp) {
            std::fputs(helpText(command).c_str(), stdout);
            return EXIT_OK;
        }
        if (command == "info")
            return cmdInfo(args);
        if (command == "ports")
            return cmdPorts(args);
        if (command == "check")
            return cmdCheck(args);
        if (command == "station")
            return cmdStation(args);
        if (command == "history")
            return cmdHistory(args);
        return cmdUpdate(args);
    }
    if (command == "-v" || command == "/v" || command == "--version") {
        // The same text the wizard shows in its version box.
        std::printf("%s\n",
                    zor::lfLineEnds(zor::versionBoxText(zor::programVersionBlock())).c_str());
        return EXIT_OK;
    }
    if (command == "-h" || command == "--help" || command == "help" || command == "-?") {
        const std::string topic = args.empty() ? std::string() : args[0];
        const std::string text = helpText(topic);
        if (text.empty()) {
            std::fprintf(stderr, "%s\n",
                         zor::commandProblemText("help", zor::unknownTopicText(topic)).c_str());
            std::fputs(usageText().c_str(), stderr);
            return EXIT_USAGE;
        }
        std::fputs(text.c_str(), stdout);
        return EXIT_OK;
    }
    std::fprintf(stderr, "%s\n", zor::unknownCommandText(command).c_str());
    std::fputs(usageText().c_str(), stderr);
    return EXIT_USAGE;
}
