#include "engine/plan_json.h"

namespace zor {

void tableJson(JsonWriter& json, const PartitionTable& table) {
    json.beginArray();
    for (uint8_t i = 0; i < table.count; ++i) {
        const PartitionEntry& e = table.entries[i];
        json.beginObject()
            .member("first", unsigned{e.firstBlock})
            .member("length", unsigned{e.blockCount})
            .member("type", typeText(e.type))
            .member("name", utf8Text(e.name, false))
            .endObject();
    }
    json.endArray();
}

void planJson(JsonWriter& json, const PlanView& view) {
    json.beginArray();
    for (const PlanRow& row : view.rows) {
        json.beginObject()
            .member("first", unsigned{row.first})
            .member("length", unsigned{row.length})
            .member("type", typeText(row.type))
            .member("name", utf8Text(row.name, false))
            .member("action", actionName(row.action));
        if (row.action == PlanAction::Write) {
            // The installed version it replaces; null for a new component.
            json.key("installed");
            if (row.installed.empty())
                json.null();
            else
                json.value(utf8Text(row.installed, false));
        }
        json.endObject();
    }
    json.endArray();
}

}  // namespace zor
