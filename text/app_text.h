#pragma once
// The program's own boxes: its version and its command line.
#include <cstdint>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/version_block.h"
#include "text/outcome_text.h"

namespace zor {

// The text of the version box: a heading, an empty line, ProductName and
// "Versione " + FileVersion ("<not set>" for each missing string).
std::string versionBoxText(const VersionBlock* block);

// The presentation page's version label: "Versione " + FileVersion.
std::string programVersionLabel(const VersionBlock* block);

// "Uso: <programFileName> [-v] [-high] [-?] [FileDaCaricare]".
std::string usageText(const std::string& programFileName);

// Two box texts here end lines with "\r\n", as the Windows box has always
// been handed them (the version box's heading, the unknown option's line);
// every other text ends its lines with "\n". For a terminal and the Qt box:
// the text with every CR LF pair made LF.
std::string lfLineEnds(const std::string& text);

// A duration as a clock shows it: "1:05", "1:02:03" from an hour.
std::string durationText(uint32_t ms);

// Why the program will not end during a transfer: the wizard's box when its
// window is closed, the CLI's line on an interrupt.
extern const char* const TRANSFER_NOT_INTERRUPTIBLE;

// The caption of the presentation page's log check box: "Crea file registro
// in " + the log's file name without folder, A-Z lowered.
std::string logCheckboxCaption(const std::string& logPath);

// The boxes the command line's notices make, captioned with the program's
// title from block; programFileName (no folder) goes into the usage text. No
// beep precedes them.
std::vector<BoxRequest> commandLineBoxes(const CommandLineResult& result,
                                         const std::string& programFileName,
                                         const VersionBlock* block);

}  // namespace zor
