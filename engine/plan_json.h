#pragma once
// The partition tables and the plan as JSON: in the documents of check and
// update, in the bench's records and in the history.
#include "app/json.h"
#include "engine/plan_view.h"
#include "flash/partition_table.h"

namespace zor {

// [{"first", "length", "type", "name"}, ...]
void tableJson(JsonWriter& json, const PartitionTable& table);
// [{"first", "length", "type", "name", "action"[, "installed"]}, ...]
void planJson(JsonWriter& json, const PlanView& view);

}  // namespace zor
