#include "cli/trace.h"

#include <cstdio>
#include <string>

#include "cli/cli_ui.h"
#include "text/cli_text.h"

namespace zor::cli {

std::string frameLine(uint32_t originMs, TraceKind kind, const uint8_t* bytes, size_t size,
                      uint32_t tickMs, uint32_t bitsPerSecond) {
    const uint32_t ms = tickMs - originMs;
    char head[48];
    std::snprintf(head, sizeof head, "[%6u.%03u] %u bit/s ", ms / 1000, ms % 1000, bitsPerSecond);
    std::string line = head;
    line += frameTagText(kind);
    for (size_t i = 0; i < size; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, i ? " %02X" : "%02X", bytes[i]);
        line += hex;
    }
    line += '\n';
    return line;
}

LogWriter traceLog(const Options& opt) {
    if (!opt.trace)
        return nullptr;
    return [](const std::string& line) { std::fprintf(stderr, "%s\n", forTerminal(line).c_str()); };
}

}  // namespace zor::cli
