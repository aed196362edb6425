// Placeholder: zorload-cli info.
#include <cstdio>

#include "cli/commands.h"

namespace zor::cli {

int cmdInfo(const Args&) {
    std::fputs("zorload-cli info: non ancora disponibile\n", stderr);
    return EXIT_USAGE;
}

}  // namespace zor::cli
