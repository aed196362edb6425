// Placeholders: zorload-cli ports, check and update.
#include <cstdio>

#include "cli/commands.h"

namespace zor::cli {

namespace {
int notYet(const char* name) {
    std::fprintf(stderr, "zorload-cli %s: non ancora disponibile\n", name);
    return EXIT_USAGE;
}
}  // namespace

int cmdPorts(const Args&) { return notYet("ports"); }
int cmdCheck(const Args&) { return notYet("check"); }
int cmdUpdate(const Args&) { return notYet("update"); }

}  // namespace zor::cli
