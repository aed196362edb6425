#include "cli/plan_lines.h"

#include <cstdio>

#include "text/plan_text.h"

namespace zor::cli {

namespace {

std::string columns(const std::string& blocks, const std::string& type, const std::string& rest) {
    char head[64];
    std::snprintf(head, sizeof head, "%-11s %-7s ", blocks.c_str(), type.c_str());
    std::string line = head + rest;
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

}  // namespace

std::string tableLine(const PartitionEntry& entry) {
    return columns(blockRangeText(entry.firstBlock, entry.blockCount), typeText(entry.type),
                   utf8Text(entry.name, true));
}

std::string planLine(const PlanRow& row) {
    const std::string blocks = blockRangeText(row.first, row.length);
    const std::string type = typeText(row.type);
    const std::string name = utf8Text(row.name, true);
    switch (row.action) {
        case PlanAction::Write: {
            const std::string part = utf8Text(splitText(row.name).name, true);
            const std::string was =
                row.installed.empty() ? "non installato" : versionPhrase(row.installed);
            std::string text =
                "scrittura     " + part + ": " + was + " → " + versionPhrase(row.name);
            if (!row.installed.empty() &&
                splitText(row.installed).version == splitText(row.name).version &&
                splitText(row.installed).build == splitText(row.name).build) {
                text += " (stessa versione)";
            }
            if (!row.alongside.empty())
                text += " (resta anche " + versionPhrase(row.alongside) + ")";
            return columns(blocks, type, text);
        }
        case PlanAction::Erase:
            return columns(blocks, type, "cancellazione");
        case PlanAction::Keep:
            return columns(blocks, type,
                           "invariato     " + (name.empty() ? std::string("spazio libero") : name));
        case PlanAction::Remove:
            return columns(blocks, type, "rimosso       " + name);
    }
    return std::string();
}

}  // namespace zor::cli
