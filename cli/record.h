#pragma once
// The bench's record: one JSON line per chronometer, appended to a file.
#include <string>

namespace zor::cli {

// Now as "2024-05-17T09:41:07Z".
std::string utcTimestamp();

// Appends line and a line end to path in one write, so that a record is
// whole or absent, never mixed with another program's. False with the OS's
// text in error.
bool appendRecord(const std::string& path, const std::string& line, std::string& error);

// Whether path can take records (created when missing); the OS's text in
// error when not.
bool canRecord(const std::string& path, std::string& error);

}  // namespace zor::cli
