#pragma once
// zorsim's command line.
#include <string>
#include <vector>

#include "sim/chronometer.h"

namespace zor::sim {

struct ZorsimOptions {
    std::string link = "/tmp/zorsim-COM1";  // symlink made to the pty's slave side
    SimConfig config;
    bool trace = false;        // every frame both ways on stderr
    bool once = false;         // exit after the first restart
    uint32_t plugAfterMs = 0;  // the link appears only after this long
    // Take the host's bytes at the speed the link-control frames agreed on,
    // not at the pty's termios speed. Wine's serial driver leaves a pty at
    // B38400 whatever speed the program asks for.
    bool trustLinkSpeed = false;
    std::string writeSample;  // write the sample update file here and exit
    bool help = false;
    bool version = false;  // print the version and exit
};

// Parses the arguments after the program name. False with a one-line reason
// in error for anything it does not understand.
bool parseZorsimArgs(const std::vector<std::string>& args, ZorsimOptions& out, std::string& error);

// "TYPE:FIRST+COUNT:NAME,..." with TYPE one of PGM, DATAREL, MILO, FREE or a
// number 0..15, e.g. "MILO:0+1:Boot VERS 1 BUILD 1,PGM:1+4:Programma base".
// An empty text is an empty chronometer. Partitions beyond block 7, without
// blocks, or sharing a block with another are refused.
bool parsePartitionTable(const std::string& text, std::vector<SimPartition>& out,
                         std::string& error);

// "CMD:N:KIND": CMD a command letter (A I B F E C D J H), "test" or "speed";
// N the arrival to hit (0 = every one); KIND silence, wrong-code, bad-check,
// garbage, progress-then-silence, listing-cut, close-line, bad-frame-first,
// noise-first, endless-progress, endless-listing or trickle.
bool parseFault(const std::string& text, FaultRule& out, std::string& error);

std::string zorsimUsage();

}  // namespace zor::sim
