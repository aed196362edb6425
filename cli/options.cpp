// The command line of zorload-cli: subcommands, their options and help.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "text/cli_text.h"

namespace zor::cli {

namespace {

// What reading a subcommand's arguments takes; its words are in its help.
struct CommandInfo {
    const char* name;
    const CommandHelp* help;
    size_t minPositional, maxPositional;
    std::vector<std::string> flags;
};

const std::vector<CommandInfo>& commands() {
    static const std::vector<CommandInfo> table = {
        {"info", &INFO_HELP, 1, 1, {"--json"}},
        {"ports", &PORTS_HELP, 0, 0, {"--json"}},
        {"check", &CHECK_HELP, 1, 1, {"--high", "--trace", "--json"}},
        {"update",
         &UPDATE_HELP,
         2,
         2,
         {"--select", "--high", "--dry-run", "--trace", "--json", "--record", "--history",
          "--no-history"}},
        {"station",
         &STATION_HELP,
         1,
         1,
         {"--select", "--ports", "--high", "--count", "--record", "--json", "--trace-dir",
          "--no-bell", "--again", "--history", "--no-history", "--mqtt"}},
        {"history",
         &HISTORY_HELP,
         0,
         2,
         {"--serial", "--since", "--until", "--failed", "--bench", "--json", "--csv", "--table",
          "--history"}},
    };
    return table;
}

const CommandInfo* find(const std::string& name) {
    for (const CommandInfo& c : commands()) {
        if (name == c.name)
            return &c;
    }
    return nullptr;
}

// Every command's help, in the order the usage names them.
std::vector<const CommandHelp*> helps() {
    std::vector<const CommandHelp*> all;
    for (const CommandInfo& c : commands())
        all.push_back(c.help);
    return all;
}

}  // namespace

std::string usageOf(const std::string& command) {
    const CommandInfo* c = find(command);
    return c ? commandUsageText(*c->help) : std::string();
}

std::string usageText() {
    return toolUsageText(helps());
}

std::string helpText(const std::string& command) {
    if (command.empty())
        return toolHelpText(helps());
    const CommandInfo* c = find(command);
    return c ? commandHelpText(*c->help) : std::string();
}

int usageError(const std::string& command, const std::string& problem) {
    std::fprintf(stderr, "%s\n", commandProblemText(command, problem).c_str());
    const std::string usage = usageOf(command);
    std::fputs((usage.empty() ? usageText() : usage).c_str(), stderr);
    if (!usage.empty())
        std::fprintf(stderr, "%s\n", helpPointerText(command).c_str());
    return EXIT_USAGE;
}

std::string parseOptions(const std::string& command, const Args& args, Options& out) {
    const CommandInfo* c = find(command);
    if (!c)
        return UNKNOWN_COMMAND_PROBLEM;
    auto allowed = [c](const std::string& name) {
        for (const std::string& f : c->flags) {
            if (f == name)
                return true;
        }
        return false;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.rfind("--", 0) != 0 || a == "--") {
            out.positional.push_back(a);
            continue;
        }
        const size_t eq = a.find('=');
        const std::string name = a.substr(0, eq);
        if (!allowed(name))
            return unknownOptionText(name);
        if (name == "--select" || name == "--record" || name == "--ports" || name == "--count" ||
            name == "--trace-dir" || name == "--history" || name == "--serial" ||
            name == "--since" || name == "--until" || name == "--bench" || name == "--mqtt") {
            std::string value;
            if (eq != std::string::npos) {
                value = a.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return valueNeededText(name);
            }
            if (value.empty())
                return valueNeededText(name);
            if (name == "--count") {
                if (value.size() > 6 ||
                    value.find_first_not_of("0123456789") != std::string::npos ||
                    std::stoul(value) == 0) {
                    return countNeededText(name, value);
                }
                out.count = static_cast<int>(std::stoul(value));
                continue;
            }
            (name == "--select"    ? out.select
             : name == "--record"  ? out.record
             : name == "--ports"   ? out.ports
             : name == "--history" ? out.history
             : name == "--serial"  ? out.serial
             : name == "--since"   ? out.since
             : name == "--until"   ? out.until
             : name == "--bench"   ? out.bench
             : name == "--mqtt"    ? out.mqtt
                                   : out.traceDir) = value;
            continue;
        }
        if (eq != std::string::npos)
            return noValueTakenText(name, a);
        if (name == "--high")
            out.high = true;
        else if (name == "--dry-run")
            out.dryRun = true;
        else if (name == "--trace")
            out.trace = true;
        else if (name == "--json")
            out.json = true;
        else if (name == "--no-bell")
            out.noBell = true;
        else if (name == "--again")
            out.again = true;
        else if (name == "--no-history")
            out.noHistory = true;
        else if (name == "--failed")
            out.failed = true;
        else if (name == "--csv")
            out.csv = true;
        else if (name == "--table")
            out.table = true;
    }
    if (out.positional.size() < c->minPositional)
        return missingArgumentsText(*c->help, out.positional.size());
    if (out.positional.size() > c->maxPositional)
        return extraArgumentText(out.positional[c->maxPositional]);
    if ((command == "update" || command == "station") && out.select.empty())
        return MISSING_SELECT_TEXT;
    if (out.noHistory && !out.history.empty())
        return HISTORY_OR_NONE_TEXT;
    return std::string();
}

}  // namespace zor::cli
