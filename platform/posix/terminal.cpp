#include "platform/terminal.h"

#include <unistd.h>

namespace zor {

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace zor
