#include "cli/cli_ui.h"

#include <cstdio>

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

void StderrUi::messageBox(const std::string& text, const std::string& caption, BoxIcon) {
    std::string line = terminalText(text);
    if (!caption.empty())
        line = caption + ": " + line;
    if (line.empty() || line.back() != '\n')
        line += '\n';
    std::fputs(line.c_str(), stderr);
}

}  // namespace zor::cli
