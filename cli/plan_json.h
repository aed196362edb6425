#pragma once
// The partition tables and the plan in the JSON documents of check and
// update and in the bench's records.
#include "cli/json.h"
#include "engine/plan_view.h"
#include "flash/partition_table.h"

namespace zor::cli {

// [{"first", "length", "type", "name"}, ...]
void tableJson(JsonWriter& json, const PartitionTable& table);
// [{"first", "length", "type", "name", "action"[, "installed"]}, ...]
void planJson(JsonWriter& json, const PlanView& view);
// The document on stdout, flushed.
void printJson(const JsonWriter& json);

}  // namespace zor::cli
