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

std::string captioned(const std::string& caption, const std::string& text) {
    if (caption.empty())
        return text;
    return caption + (caption.back() == ':' ? " " : ": ") + text;
}

void StderrUi::messageBox(const std::string& text, const std::string& caption, BoxIcon) {
    std::string line = captioned(caption, terminalText(text));
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    last_ = line;
    ++messages_;
    if (hold_)
        return;
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

}  // namespace zor::cli
