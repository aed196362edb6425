#pragma once
// A partition and a row of the plan as one line of the terminal's tables.
#include <string>

#include "engine/plan_view.h"
#include "flash/partition_table.h"

namespace zor::cli {

// One line, UTF-8, without line end: a partition as the chronometer has it,
// and a row of the plan.
std::string tableLine(const PartitionEntry& entry);
std::string planLine(const PlanRow& row);

}  // namespace zor::cli
