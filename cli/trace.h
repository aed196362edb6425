#pragma once
// --trace: every frame in hex on stderr with the time since the program
// started talking, and the diagnostic blocks the wizard writes to its
// session log.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/outcome.h"
#include "cli/commands.h"
#include "link/serial_link.h"

namespace zor::cli {

// One frame: "[   s.mmm] <speed> bit/s <tag> <hex bytes>" and a line end, ms
// counted from originMs.
std::string frameLine(uint32_t originMs, TraceKind kind, const uint8_t* bytes, size_t size,
                      uint32_t tickMs, uint32_t bitsPerSecond);

// With --trace the diagnostic blocks (connection check, listing, planner) go
// to stderr; without, nowhere.
LogWriter traceLog(const Options& opt);

}  // namespace zor::cli
