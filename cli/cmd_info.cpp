// zorload-cli info FILE: what an update file holds, without a chronometer.
#include <cstdio>
#include <string>

#include "app/encoding.h"
#include "app/split_version.h"
#include "app/version_info.h"
#include "cli/cli_ui.h"
#include "cli/commands.h"
#include "flash/partition_table.h"
#include "updatefile/loader.h"

namespace zor::cli {
namespace {

std::string typeName(uint16_t infoType) {
    return trimControls(std::string(typeNames + 7 * (infoType & 0x0F), 7));
}

// The component text as a terminal shows it: padding cut at the first NUL,
// trimmed, converted to UTF-8; control codes left inside by a damaged or
// hostile file are shown as '?' rather than sent to the terminal.
std::string displayText(const Segmento& seg) {
    std::string text = seg.versionText();
    text = trimControls(text.substr(0, text.find('\0')));
    for (char& c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = '?';
    }
    return cp1252ToUtf8(text);
}

}  // namespace

int cmdInfo(const Args& args) {
    if (args.size() != 1) {
        std::fputs(usageText().c_str(), stderr);
        return EXIT_USAGE;
    }
    const std::string appTitle = getVersionString("FileDescription", "-");
    StderrUi ui;
    UpdateTable pgm;
    std::string versionLines, identifier;
    size_t segments = 0;
    if (!LoadUpdateFile(args[0], pgm, versionLines, identifier, ui, appTitle, &segments))
        return EXIT_FILE_REFUSED;

    std::printf("ID: %s\n", identifier.c_str());
    std::printf("Slot Tipo    Posn Blks Blocchi Componente\n");
    for (size_t i = 0; i < segments; ++i) {
        const Segmento& seg = pgm[i];
        std::string line(64, '\0');
        const int len = std::snprintf(line.data(), line.size(), "%4zu %-7s %4u %4u %7lu ", i,
                                      typeName(seg.InfoType).c_str(), unsigned{seg.Posn},
                                      unsigned{seg.Blks}, static_cast<unsigned long>(seg.datiSize));
        line.resize(static_cast<size_t>(len));
        line += displayText(seg);
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        std::printf("%s\n", line.c_str());
    }
    return EXIT_OK;
}

}  // namespace zor::cli
