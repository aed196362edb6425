#include "cli/cli_ui.h"

#include <cstdio>

#include "app/encoding.h"
#include "text/app_text.h"

namespace zor::cli {

std::string captioned(const std::string& caption, const std::string& text) {
    if (caption.empty())
        return text;
    return caption + (caption.back() == ':' ? " " : ": ") + text;
}

std::string withoutControls(const std::string& text) {
    std::string plain = lfLineEnds(text);
    for (char& c : plain) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\n' && c != '\t') || u == 0x7F)
            c = '?';
    }
    return plain;
}

std::string forTerminal(const std::string& text) {
    return cp1252ToUtf8(withoutControls(text));
}

std::string nameForTerminal(const std::string& bytes) {
    std::string shown;
    shown.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        uint32_t cp = 0;
        const size_t length = decodeUtf8(bytes, i, cp);
        if (length == 0 || cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
            shown += '?';
            i += length == 0 ? 1 : length;
        } else {
            shown.append(bytes, i, length);
            i += length;
        }
    }
    return shown;
}

std::string boxLine(const BoxRequest& box) {
    std::string line = captioned(box.caption, lfLineEnds(box.text));
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line;
}

std::string printBoxes(const Outcome& outcome, const std::string& appTitle) {
    std::string last;
    std::vector<BoxRequest> boxes = boxesFor(outcome, appTitle);
    // The chronometer's answer as the terminal may show it.
    if (outcome.kind == OutcomeKind::TransferFailed && !boxes.empty())
        boxes.front().text = transferFailureText(outcome.code, forTerminal(outcome.lastAnswer));
    for (const BoxRequest& box : boxes) {
        last = boxLine(box);
        std::fprintf(stderr, "%s\n", last.c_str());
    }
    return last;
}

void printJson(const JsonWriter& json) {
    std::printf("%s\n", json.text().c_str());
    std::fflush(stdout);
}

}  // namespace zor::cli
