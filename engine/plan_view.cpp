#include "engine/plan_view.h"

#include "app/encoding.h"
#include "app/split_version.h"

namespace zor {

namespace {

bool sameEntry(const PartitionEntry& a, const PartitionEntry& b) {
    return a.type == b.type && a.firstBlock == b.firstBlock && a.blockCount == b.blockCount &&
           a.name == b.name;
}

bool isProgramType(uint8_t type) {
    return type == PT_PGM || type == PT_DATAREL || type == PT_MILO;
}

}  // namespace

const char* actionName(PlanAction action) {
    switch (action) {
        case PlanAction::Write:
            return "write";
        case PlanAction::Erase:
            return "erase";
        case PlanAction::Keep:
            return "keep";
        case PlanAction::Remove:
            return "remove";
    }
    return "keep";
}

std::string utf8Text(const std::string& cp1252, bool forTerminal) {
    std::string text = trimControls(cp1252.substr(0, cp1252.find('\0')));
    if (forTerminal) {
        for (char& c : text) {
            const auto u = static_cast<unsigned char>(c);
            if (u < 0x20 || u == 0x7F)
                c = '?';
        }
    }
    return cp1252ToUtf8(text);
}

TextParts splitText(const std::string& text) {
    // A blank after the text: the planner's split drops the last character
    // of a VERS part that ends the text, which a person must not see.
    std::string name = trimControls(text.substr(0, text.find('\0'))) + " ";
    TextParts p;
    splitVersion(name, p.version, p.build);
    p.name = name;
    return p;
}

int compareVersions(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        const auto digit = [](char c) { return c >= '0' && c <= '9'; };
        if (i < a.size() && j < b.size() && digit(a[i]) && digit(b[j])) {
            // Numbers: leading zeros skipped, the longer is the larger.
            while (i < a.size() && a[i] == '0')
                ++i;
            while (j < b.size() && b[j] == '0')
                ++j;
            size_t ei = i, ej = j;
            while (ei < a.size() && digit(a[ei]))
                ++ei;
            while (ej < b.size() && digit(b[ej]))
                ++ej;
            if (ei - i != ej - j)
                return ei - i < ej - j ? -1 : 1;
            const int c = a.compare(i, ei - i, b, j, ej - j);
            if (c != 0)
                return c < 0 ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        if (i >= a.size())
            return -1;
        if (j >= b.size())
            return 1;
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        ++i;
        ++j;
    }
    return 0;
}

PlanView describePlan(const PartitionTable& installed, const PartitionTable& planned) {
    PlanView view;
    std::vector<bool> accounted(installed.count, false);
    // Installed partitions the plan leaves where they are.
    for (uint8_t i = 0; i < planned.count; ++i) {
        const PartitionEntry& e = planned.entries[i];
        if (e.changed)
            continue;
        for (uint8_t k = 0; k < installed.count; ++k) {
            if (!accounted[k] && sameEntry(installed.entries[k], e)) {
                accounted[k] = true;
                break;
            }
        }
    }
    for (uint8_t i = 0; i < planned.count; ++i) {
        const PartitionEntry& e = planned.entries[i];
        PlanRow row{e.firstBlock, e.blockCount, e.type, e.name, PlanAction::Keep, {}, {}};
        if (e.changed && e.type == PT_FREE) {
            row.action = PlanAction::Erase;
        } else if (e.changed && isProgramType(e.type)) {
            row.action = PlanAction::Write;
            // The installed partition of the same name this one replaces: of
            // the same type when there is one.
            const std::string name = splitText(e.name).name;
            int found = -1;
            for (int pass = 0; pass < 2 && found < 0; ++pass) {
                for (uint8_t k = 0; k < installed.count && found < 0; ++k) {
                    const PartitionEntry& c = installed.entries[k];
                    if (!accounted[k] && c.type != PT_FREE && splitText(c.name).name == name &&
                        (pass == 1 || c.type == e.type)) {
                        found = k;
                    }
                }
            }
            if (found < 0) {
                for (uint8_t k = 0; k < installed.count; ++k) {
                    const PartitionEntry& c = installed.entries[k];
                    if (c.type != PT_FREE && splitText(c.name).name == name) {
                        row.alongside = c.name;
                        break;
                    }
                }
            } else {
                accounted[static_cast<size_t>(found)] = true;
                row.installed = installed.entries[static_cast<size_t>(found)].name;
                const TextParts was = splitText(row.installed), will = splitText(e.name);
                int order = compareVersions(will.version, was.version);
                if (order == 0)
                    order = compareVersions(will.build, was.build);
                if (order < 0)
                    view.downgrades.push_back({name, row.installed, e.name});
            }
        }
        view.rows.push_back(row);
    }
    for (uint8_t k = 0; k < installed.count; ++k) {
        const PartitionEntry& c = installed.entries[k];
        if (accounted[k] || c.type == PT_FREE)
            continue;
        view.rows.push_back(
            {c.firstBlock, c.blockCount, c.type, c.name, PlanAction::Remove, {}, {}});
        view.removals.push_back({c.name, c.type, c.firstBlock, c.blockCount});
    }
    return view;
}

std::string typeText(uint8_t type) {
    return trimControls(std::string(typeNames + 7 * (type & 0x0F), 7));
}

}  // namespace zor
