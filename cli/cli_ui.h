#pragma once
// How the command line tells an outcome: every box the window would show
// becomes a "Caption: text" line on stderr.
#include <string>

#include "app/json.h"
#include "app/outcome.h"
#include "text/outcome_text.h"

namespace zor::cli {

// Prints the outcome's boxes on stderr, one "Caption: text" line each, in
// order, a failed transfer's last answer without its control codes; returns
// the last line without its end ("" when there is none), for the JSON
// "error" member.
std::string printBoxes(const Outcome& outcome, const std::string& appTitle);

// One box as its line, without line end.
std::string boxLine(const BoxRequest& box);

// "Caption: text". A caption that ends with its own colon ("Errore:") gets no
// second one.
std::string captioned(const std::string& caption, const std::string& text);

// A text for the terminal: CR LF pairs to LF, and control codes (which a
// damaged line or file could carry) shown as '?' instead of reaching it.
std::string withoutControls(const std::string& text);

// Text from the chronometer or the update file (Windows-1252) for the
// terminal (UTF-8).
std::string forTerminal(const std::string& text);

// A name the system hands over (a port's device path, an adapter's by-id
// name) for the terminal. Such names are bytes, which whoever made the device
// folder chose: well-formed UTF-8 stays, and every control character (C0,
// tab and line end included, DEL, C1) and every byte outside well-formed
// UTF-8 is shown as '?', so the name stays one column of one line. Only for
// showing: a port is still opened by its real name.
std::string nameForTerminal(const std::string& bytes);

// A JSON document on stdout, flushed.
void printJson(const JsonWriter& json);

}  // namespace zor::cli
