#include "app/split_version.h"

namespace zor {

std::string trimControls(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32)
        --e;
    return s.substr(b, e - b);
}

namespace {

// 1-based position of the first occurrence of key in the A-Z upper-cased text
// (searching stops at the first NUL), 0 when absent.
size_t findKeyword(const std::string& text, const char* key) {
    std::string upper = text.substr(0, text.find('\0'));
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    size_t p = upper.find(key);
    return p == std::string::npos ? 0 : p + 1;
}

// From the first blank to the end, trimmed; unchanged when there is no blank.
std::string afterKeyword(const std::string& part) {
    size_t blank = part.find(' ');
    return blank == std::string::npos ? part : trimControls(part.substr(blank));
}

}  // namespace

void splitVersion(std::string& text, std::string& version, std::string& build) {
    // The parts are cut from the text before the first NUL (what follows it is
    // not part of the text, whatever the buffer held), but the version's end
    // counts from the end of the whole text, padding included.
    const size_t len = text.size();
    const std::string visible = text.substr(0, text.find('\0'));
    version.clear();
    build.clear();

    size_t b = findKeyword(visible, "BUILD");
    if (b == 0)
        b = len + 1;
    if (b <= len)
        build = afterKeyword(visible.substr(b - 1));

    size_t v = findKeyword(visible, "VERS");
    if (v > 0) {
        // b - v - 1 characters from v: up to, not including, the character
        // before "BUILD" (or before the end of the text).
        if (b > v + 1)
            version = afterKeyword(visible.substr(v - 1, b - v - 1));
    } else {
        v = b;
    }
    text = trimControls(visible.substr(0, v - 1));
}

}  // namespace zor
