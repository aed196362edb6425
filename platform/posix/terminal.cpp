#include "platform/terminal.h"

#include <unistd.h>

namespace zor {

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

void useUtf8Console() {}

}  // namespace zor
