#pragma once
// The subcommands of zorload-cli. Each takes the arguments after its name and
// returns the process exit status.
#include <string>
#include <vector>

namespace zor::cli {

// Exit statuses shared by the subcommands; 100..108 are transfer outcomes.
constexpr int EXIT_OK = 0;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_FILE_REFUSED = 3;
constexpr int EXIT_UNREACHABLE = 4;
constexpr int EXIT_NO_PLAN = 5;

using Args = std::vector<std::string>;

int cmdInfo(const Args& args);
int cmdPorts(const Args& args);
int cmdCheck(const Args& args);
int cmdUpdate(const Args& args);

// Usage text of the whole tool.
std::string usageText();

}  // namespace zor::cli
