#include "text/app_text.h"

#include <cstdio>

#include "app/version_info.h"

namespace zor {

std::string versionBoxText(const VersionBlock* block) {
    return "Informazioni sulla versione:\r\n\r\n" +
           getVersionString(block, "ProductName", VERSION_NOT_SET) + "\n" + "Versione " +
           getVersionString(block, "FileVersion", VERSION_NOT_SET);
}

std::string programVersionLabel(const VersionBlock* block) {
    return "Versione " + getVersionString(block, "FileVersion", VERSION_NOT_SET);
}

std::string usageText(const std::string& programFileName) {
    return "Uso: " + programFileName + " [-v] [-high] [-?] [FileDaCaricare]";
}

std::string lfLineEnds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out += text[i];
    }
    return out;
}

std::vector<BoxRequest> commandLineBoxes(const CommandLineResult& result,
                                         const std::string& programFileName,
                                         const VersionBlock* block) {
    const std::string title = applicationTitle(block);
    std::vector<BoxRequest> boxes;
    for (const CommandLineNotice& notice : result.notices) {
        switch (notice.kind) {
            case CommandLineNotice::Kind::Version:
                boxes.push_back({versionBoxText(block), title, BoxIcon::Information, false});
                break;
            case CommandLineNotice::Kind::Usage:
                boxes.push_back({usageText(programFileName), title, BoxIcon::Information, false});
                break;
            case CommandLineNotice::Kind::UnknownOption:
                // The argument is pasted in as typed; a '%' in it is plain text.
                boxes.push_back({"Opzione della linea di comando sconosciuta: '" + notice.argument +
                                     "'\r\n" + usageText(programFileName),
                                 title, BoxIcon::Error, false});
                break;
        }
    }
    return boxes;
}

std::string durationText(uint32_t ms) {
    const uint32_t seconds = ms / 1000;
    char text[32];
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%u:%02u:%02u", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    } else {
        std::snprintf(text, sizeof text, "%u:%02u", seconds / 60, seconds % 60);
    }
    return text;
}

const char* const TRANSFER_NOT_INTERRUPTIBLE =
    "L'invio dei dati al cronometro non può essere interrotto. Prima di chiudere "
    "l'applicazione è necessario attendere il completamento dell'operazione di trasferimento.";

std::string logCheckboxCaption(const std::string& logPath) {
    std::string name = programFileName(logPath);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return "Crea file registro in " + name;
}

}  // namespace zor
