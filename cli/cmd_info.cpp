// zorload-cli info FILE: what an update file holds, without a chronometer.
#include <cstdio>
#include <string>

#include "app/json.h"
#include "app/version_info.h"
#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "engine/plan_view.h"
#include "text/cli_text.h"
#include "updatefile/loader.h"

namespace zor::cli {

namespace {

// Posn and Blks as the planner takes them: the first block in the low 4 bits,
// the length in the low 8. A file that sets the high bits is odd enough to
// point out, since what is placed differs from what is written there.
std::string fieldText(unsigned value, unsigned mask) {
    return std::to_string(value & mask) + ((value & ~mask) != 0 ? "*" : " ");
}

}  // namespace

int cmdInfo(const Args& args) {
    Options opt;
    const std::string problem = parseOptions("info", args, opt);
    if (!problem.empty())
        return usageError("info", problem);
    UpdateTable components;
    std::string versionLines, identifier;
    size_t segments = 0;
    const std::string title = applicationTitle();
    const Outcome loaded =
        LoadUpdateFile(opt.positional[0], components, versionLines, identifier, &segments);
    if (!loaded) {
        const std::string error = printBoxes(loaded, title);
        if (opt.json) {
            std::printf("%s\n", JsonWriter()
                                    .beginObject()
                                    .member("error", error)
                                    .member("exit_status", EXIT_FILE_REFUSED)
                                    .endObject()
                                    .text()
                                    .c_str());
        }
        return EXIT_FILE_REFUSED;
    }

    if (opt.json) {
        JsonWriter json;
        json.beginObject().member("id", identifier).key("components").beginArray();
        for (size_t i = 0; i < segments; ++i) {
            const Segmento& seg = components[i];
            const TextParts parts = splitText(seg.versionText());
            json.beginObject()
                .member("slot", static_cast<int>(i))
                .member("type", typeText(static_cast<uint8_t>(seg.InfoType)))
                .member("type_code", seg.InfoType & 0x0F)
                .member("posn", seg.Posn & 0x0F)
                .member("blks", seg.Blks & 0xFF)
                .member("posn_raw", unsigned{seg.Posn})
                .member("blks_raw", unsigned{seg.Blks})
                .member("data_blocks", static_cast<uint64_t>(seg.datiSize))
                .member("text", utf8Text(seg.versionText(), false))
                .member("name", utf8Text(parts.name, false))
                .member("version", utf8Text(parts.version, false))
                .member("build", utf8Text(parts.build, false))
                .endObject();
        }
        json.endArray().endObject();
        std::printf("%s\n", json.text().c_str());
        return EXIT_OK;
    }

    std::printf("%s\n", fileIdText(identifier).c_str());
    std::printf("%s\n", INFO_HEADING);
    bool highBits = false;
    for (size_t i = 0; i < segments; ++i) {
        const Segmento& seg = components[i];
        const std::string posn = fieldText(seg.Posn, 0x0F), blks = fieldText(seg.Blks, 0xFF);
        highBits = highBits || posn.back() == '*' || blks.back() == '*';
        std::string line(80, '\0');
        const int len =
            std::snprintf(line.data(), line.size(), "%4zu %-7s %5s%5s%7lu ", i,
                          typeText(static_cast<uint8_t>(seg.InfoType)).c_str(), posn.c_str(),
                          blks.c_str(), static_cast<unsigned long>(seg.datiSize));
        line.resize(static_cast<size_t>(len));
        line += utf8Text(seg.versionText(), true);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        std::printf("%s\n", line.c_str());
    }
    if (highBits) {
        std::printf("%s\n", HIGH_BITS_NOTE);
    }
    return EXIT_OK;
}

}  // namespace zor::cli
