// splitVersion on arbitrary component texts: the name, version and build are
// pieces of the text before its first NUL (nothing after it shows); the name
// is trimmed and is the whole visible text when it has no keyword; padding a
// text with blanks, as update files do, leaves its name alone (the planner
// matches padded file texts against trimmed partition names).
#include <string>

#include "app/split_version.h"
#include "fuzz_target.h"

using namespace zor;

namespace {

bool trimmed(const std::string& s) {
    return s.empty() || (static_cast<unsigned char>(s.front()) > 32 &&
                         static_cast<unsigned char>(s.back()) > 32);
}

bool hasKeyword(std::string s, const char* key) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return s.find(key) != std::string::npos;
}

}  // namespace

std::vector<FuzzInput> fuzzSeeds() {
    auto text = [](std::string s, size_t padTo = 0, char pad = ' ') {
        if (s.size() < padTo)
            s.resize(padTo, pad);
        return FuzzInput(s.begin(), s.end());
    };
    return {
        text("Programma base VERS 2.10 BUILD 35", 76),
        text("Dati gara VERS 1.0", 76, '\0'),
        text("Abc VeRs 1.2 BuIlD 7"),
        text("X BUILD 7 VERS 3"),
        text("Lingua VERS1 BUILD9\t"),
        // What follows a NUL is not text, even when it looks like some.
        text(std::string("Modulo\0VERS 9 BUILD 9", 21), 76, '\0'),
        text(std::string("Lingua VERS 1.2 BUILD 9\0xyz", 27)),
    };
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string visible = input.substr(0, input.find('\0'));

    std::string name = input, version, build;
    splitVersion(name, version, build);
    FUZZ_CHECK(visible.find(name) != std::string::npos);
    FUZZ_CHECK(visible.find(version) != std::string::npos);
    FUZZ_CHECK(visible.find(build) != std::string::npos);
    FUZZ_CHECK(trimmed(name));
    FUZZ_CHECK(version.empty() || hasKeyword(visible, "VERS"));
    FUZZ_CHECK(build.empty() || hasKeyword(visible, "BUILD"));
    if (!hasKeyword(visible, "VERS") && !hasKeyword(visible, "BUILD"))
        FUZZ_CHECK(name == trimControls(visible));

    std::string padded = input + std::string(76, ' '), paddedVersion, paddedBuild;
    splitVersion(padded, paddedVersion, paddedBuild);
    FUZZ_CHECK(padded == name);
    return 0;
}
