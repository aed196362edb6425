#pragma once
// What a planned partition table does to the chronometer, said before anything
// is written: which partitions are written, erased or kept, which installed
// components disappear and which go back to an older version.
#include <cstdint>
#include <string>
#include <vector>

#include "flash/partition_table.h"

namespace zor {

enum class PlanAction { Write, Erase, Keep, Remove };

// "write", "erase", "keep", "remove".
const char* actionName(PlanAction action);

struct PlanRow {
    uint8_t first = 0, length = 0, type = PT_FREE;
    std::string name;  // Windows-1252, as in the table
    PlanAction action = PlanAction::Keep;
    // Write: the installed partition's name this one takes the place of
    // (same name part), empty for a component new to the chronometer.
    std::string installed;
    // Write of a component new to the chronometer: an installed partition of
    // the same name that stays beside it (another version), else empty.
    std::string alongside;
};

struct PlanView {
    // The planned table in order, then every installed component it removes.
    std::vector<PlanRow> rows;
    std::vector<std::string> warnings;  // UTF-8, one line each
};

PlanView describePlan(const PartitionTable& current, const PartitionTable& planned);

// A component text split for people: name part, VERS and BUILD parts, cut at
// the first NUL and trimmed; Windows-1252 in, Windows-1252 out. Unlike the
// planner's split, a VERS part at the very end of the text is kept whole.
struct TextParts {
    std::string name, version, build;
};
TextParts splitText(const std::string& text);

// Orders two VERS (or BUILD) parts: numbers compared as numbers, dot by dot,
// anything else as text. Negative, 0 or positive.
int compareVersions(const std::string& a, const std::string& b);

// "blocco 3" or "blocchi 1-3".
std::string blockRange(uint8_t first, uint8_t length);
// The partition type as the table dump names it, trimmed ("PGM", "0x05").
std::string typeText(uint8_t type);

// "VERS 2.10 BUILD 35" of a component text, or the whole text when it has
// neither part; UTF-8 for people.
std::string versionOf(const std::string& cp1252);

// A text from the chronometer or the update file (Windows-1252, cut at the
// first NUL, trimmed) as UTF-8 for JSON and for people; control codes shown
// as '?' when forTerminal.
std::string utf8Text(const std::string& cp1252, bool forTerminal);

}  // namespace zor
