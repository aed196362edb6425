#pragma once
// The block allocation planner: maps the components ticked on the component
// page onto the chronometer's 8 flash blocks.
#include <cstdint>
#include <string>
#include <vector>

#include "app/outcome.h"
#include "flash/partition_table.h"
#include "updatefile/segment.h"

namespace zor {

// One row of the component list, in list order. component points into the
// update file's component table and must stay valid while the plan is used
// (the transfer writes from it); a row with a null component is skipped
// entirely (neither logged nor placed) but still counts for the row index
// printed in the log.
struct PlanItem {
    int slot;  // index in the component table, kept for the caller
    const Segmento* component;
    bool checked;
};

// What the planner makes of a selection, as the component page tells it.
enum class PlanVerdict {
    Unchanged,  // nothing is checked: the chronometer keeps what it has
    Complete,   // a program is checked: all but the MILO is laid out anew
    Partial,    // others but no program: placed beside what is installed
    NoMilo,     // every placement fitted but the plan holds no MILO
};

// Rebuilds planned from a copy of installed and the checked items:
//  - every checked MILO (type 8) first drops all MILO and PGM partitions and
//    goes to block Posn & 0x0F (the last one checked wins);
//  - any checked PGM (type 0) drops everything but MILO, then each PGM goes
//    to block Posn & 0x0F;
//  - each checked DATAREL (type 1) replaces, at the same block, the first
//    non-free partition with the same name and VERS parts, else goes first
//    fit from block 0;
//  - free runs are marked changed after the MILO phase and the clean-up.
// Every placed entry carries changed = 1 and its component. Other types are
// logged but not placed. Returns true when every placement fitted and the
// plan holds a MILO partition. On failure planned keeps the partial plan as
// it stood at the refused placement. verdict is always set: NoMilo when every
// placement fitted but the plan lacks a MILO, else from the selection alone.
// The trace goes to log one text per call (texts may hold "\r\n"); an empty
// log writes nothing and costs no formatting. installed and planned may be the
// same table.
bool SistemaBlocchi(const std::vector<PlanItem>& items, const PartitionTable& installed,
                    PartitionTable& planned, PlanVerdict& verdict, const LogWriter& log);

// True when a checked item's InfoType has t in its low 4 bits.
bool isTypeSelected(const std::vector<PlanItem>& items, uint8_t type);

// Lowest index of a non-FREE entry whose name splits into exactly this name
// part and VERS part (case-sensitive, BUILD ignored); -1 when none.
int findDataRelMatch(const PartitionTable& table, const std::string& name, const std::string& vers);

}  // namespace zor
