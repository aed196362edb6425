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

// An installed component the plan takes back to an older version (VERS, then
// BUILD): a Write row whose installed partition is newer.
struct PlanDowngrade {
    std::string name;       // the component's name part, Windows-1252
    std::string installed;  // the installed partition's name, Windows-1252
    std::string planned;    // the name of the one that replaces it, Windows-1252
};

// An installed component the plan removes: a Remove row.
struct PlanRemoval {
    std::string name;  // Windows-1252, as in the table
    uint8_t type = PT_FREE, first = 0, length = 0;
};

struct PlanView {
    // The planned table in order, then every installed component it removes.
    std::vector<PlanRow> rows;
    // What the user is warned of before anything is written: the downgrades
    // in the planned table's order, the removals in the installed table's.
    std::vector<PlanDowngrade> downgrades;
    std::vector<PlanRemoval> removals;
};

PlanView describePlan(const PartitionTable& installed, const PartitionTable& planned);

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

// The partition type as the table dump names it, trimmed ("PGM", "0x05").
std::string typeText(uint8_t type);

// A text from the chronometer or the update file (Windows-1252, cut at the
// first NUL, trimmed) as UTF-8 for JSON and for people; control codes shown
// as '?' when forTerminal.
std::string utf8Text(const std::string& cp1252, bool forTerminal);

}  // namespace zor
