#include "flash/planner.h"

#include <cstdio>

#include "app/encoding.h"
#include "app/split_version.h"
#include "flash/partition_dump.h"

namespace zor {

namespace {

uint8_t typeOf(const Segmento& s) {
    return static_cast<uint8_t>(s.InfoType & 0x0F);
}
uint8_t blockOf(const Segmento& s) {
    return static_cast<uint8_t>(s.Posn & 0x0F);
}
uint8_t lengthOf(const Segmento& s) {
    return static_cast<uint8_t>(s.Blks & 0xFF);
}

// The component text as the log and the partition name see it: the 76
// characters up to the first NUL, never beyond the field.
std::string versionCString(const Segmento& s) {
    const std::string text = s.versionText();
    return text.substr(0, text.find('\0'));
}

void logText(const LogWriter& log, const std::string& text) {
    if (log)
        log(text);
}

// Releases, lowest index first, every entry the predicate picks; each release
// may merge free runs and shift the entries, so the scan restarts at 0.
template <typename Pred>
void releaseAll(PartitionTable& table, Pred pick) {
    for (int i = 0; i < table.count;) {
        if (pick(table.entries[i])) {
            releaseEntry(table, static_cast<uint8_t>(i));
            i = 0;
        } else {
            ++i;
        }
    }
}

void markFreeChanged(PartitionTable& table) {
    for (int i = 0; i < table.count; ++i) {
        if (table.entries[i].type == PT_FREE)
            table.entries[i].changed = 1;
    }
}

bool place(PartitionTable& table, uint8_t type, uint8_t block, const Segmento& s) {
    return addPartition(table, type, block, versionCString(s), &s, 1, lengthOf(s));
}

void logSelections(const std::vector<PlanItem>& items, const LogWriter& log) {
    logText(log,
            "\tUser selections:\r\n"
            "Item Checked InfoType Posn Blks Version\r\n"
            "---- ------- -------- ---- ---- -------");
    for (size_t i = 0; i < items.size(); ++i) {
        const Segmento* s = items[i].component;
        if (s == nullptr)
            continue;
        char line[96];
        std::snprintf(line, sizeof line, " %d      %d      %4.4X   %4.4X %4.4X ", int(i),
                      items[i].checked ? 1 : 0, unsigned(s->InfoType), unsigned(s->Posn),
                      unsigned(s->Blks));
        logText(log, line + logSafeText(versionCString(*s)));
    }
    logText(log, "\r\n");
}

bool hasMilo(const PartitionTable& table) {
    for (int i = 0; i < table.count; ++i) {
        if (table.entries[i].type == PT_MILO)
            return true;
    }
    return false;
}

}  // namespace

bool isTypeSelected(const std::vector<PlanItem>& items, uint8_t type) {
    for (const PlanItem& item : items) {
        if (item.checked && item.component != nullptr && typeOf(*item.component) == type) {
            return true;
        }
    }
    return false;
}

int findDataRelMatch(const PartitionTable& table, const std::string& name,
                     const std::string& vers) {
    for (int i = 0; i < table.count; ++i) {
        const PartitionEntry& e = table.entries[i];
        if (e.type == PT_FREE)
            continue;
        std::string n = e.name, v, b;
        splitVersion(n, v, b);
        if (n == name && v == vers)
            return i;
    }
    return -1;
}

bool SistemaBlocchi(const std::vector<PlanItem>& items, const PartitionTable& installed,
                    PartitionTable& planned, PlanVerdict& verdict, const LogWriter& log) {
    logText(log, "BEGIN SistemaBlocchi");
    if (log) {
        logSelections(items, log);
        log("\tCurrent allocation:\r\n" + formatPartitionTable(installed));
    }

    planned = installed;

    bool anyChecked = false;
    for (const PlanItem& item : items)
        anyChecked |= item.checked && item.component != nullptr;
    const bool complete = isTypeSelected(items, PT_PGM);
    verdict = !anyChecked ? PlanVerdict::Unchanged
              : complete  ? PlanVerdict::Complete
                          : PlanVerdict::Partial;

    auto checkedOf = [&items](uint8_t type) {
        std::vector<const Segmento*> out;
        for (const PlanItem& item : items) {
            if (item.checked && item.component != nullptr && typeOf(*item.component) == type) {
                out.push_back(item.component);
            }
        }
        return out;
    };

    for (const Segmento* s : checkedOf(PT_MILO)) {
        releaseAll(planned,
                   [](const PartitionEntry& e) { return e.type == PT_MILO || e.type == PT_PGM; });
        markFreeChanged(planned);
        if (!place(planned, PT_MILO, blockOf(*s), *s)) {
            logText(log, "\tMilo Add Failed!!");
            return false;
        }
    }

    if (complete) {
        releaseAll(planned,
                   [](const PartitionEntry& e) { return e.type != PT_MILO && e.type != PT_FREE; });
        markFreeChanged(planned);
    }

    for (const Segmento* s : checkedOf(PT_PGM)) {
        if (!place(planned, PT_PGM, blockOf(*s), *s)) {
            logText(log, "\tProgram Add Failed");
            return false;
        }
    }

    for (const Segmento* s : checkedOf(PT_DATAREL)) {
        // The whole padded field is split on purpose: a component text without
        // a BUILD part keeps its full VERS part here but loses a character when
        // the chronometer's trimmed name is split, so it never substitutes.
        std::string name = s->versionText(), vers, build;
        splitVersion(name, vers, build);
        const int k = findDataRelMatch(planned, name, vers);
        if (k != -1) {
            const uint8_t block = planned.entries[k].firstBlock;
            if (!releaseEntry(planned, static_cast<uint8_t>(k))) {
                logText(log, "\tDataRel Del(subst) Failed");
                return false;
            }
            if (!place(planned, PT_DATAREL, block, *s)) {
                logText(log, "\tDataRel Add(subst) Failed");
                return false;
            }
        } else if (!place(planned, PT_DATAREL, ANY_BLOCK, *s)) {
            logText(log, "\tDataRel Add(new) Failed");
            return false;
        }
    }

    if (log)
        log("\tNew allocation:\r\n" + formatPartitionTable(planned));

    if (hasMilo(planned)) {
        logText(log, "END /* SistemaBlocchi */");
        return true;
    }
    verdict = PlanVerdict::NoMilo;
    logText(log, "\tMissing MILO!!!");
    return false;
}

}  // namespace zor
