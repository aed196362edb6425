#include "cli/plan_lines.h"

#include <algorithm>
#include <cstdio>

#include "text/cli_text.h"
#include "text/plan_text.h"

namespace zor::cli {

namespace {

// The action's column in a plan row, its space after it included.
constexpr size_t ACTION_COLUMN = 14;

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
    const PlanRowWords words = planRowWords(row);
    std::string action = words.action;
    action.resize(std::max(action.size() + 1, ACTION_COLUMN), ' ');
    return columns(blockRangeText(row.first, row.length), typeText(row.type),
                   action + words.subject);
}

}  // namespace zor::cli
