#include "cli/cli_ui.h"

#include <cstdio>

#include "app/encoding.h"

namespace zor::cli {

std::string terminalText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        out += text[i];
    }
    return out;
}

std::string captioned(const std::string& caption, const std::string& text) {
    if (caption.empty())
        return text;
    return caption + (caption.back() == ':' ? " " : ": ") + text;
}

std::string withoutControls(const std::string& text) {
    std::string plain = terminalText(text);
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

std::string boxLine(const BoxRequest& box) {
    std::string line = captioned(box.caption, terminalText(box.text));
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line;
}

std::string printBoxes(const Outcome& outcome, const std::string& appTitle) {
    std::string last;
    for (const BoxRequest& box : boxesFor(outcome, appTitle)) {
        last = boxLine(box);
        std::fprintf(stderr, "%s\n", last.c_str());
    }
    return last;
}

}  // namespace zor::cli
