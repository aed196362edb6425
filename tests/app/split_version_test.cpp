#include "app/split_version.h"

#include <gtest/gtest.h>

namespace zor {
namespace {

struct SplitCase {
    std::string text;
    std::string name, version, build;
};

std::string padded(const std::string& s, char pad = ' ') {
    std::string t = s;
    t.resize(76, pad);
    return t;
}

TEST(SplitVersion, CutsNameVersionAndBuild) {
    const SplitCase cases[] = {
        {padded("Programma base VERS 2.10 BUILD 35"), "Programma base", "2.10", "35"},
        {padded("Dati gara VERS 1.0"), "Dati gara", "1.0", ""},
        {padded("Dati gara VERS 1.0", '\0'), "Dati gara", "1.0", ""},
        {padded("Modulo"), "Modulo", "", ""},
        // Without padding the version loses its last character.
        {"Dati gara VERS 1.0", "Dati gara", "1.", ""},
        // Keywords in any case; parts keep their own case.
        {"abc vers 1 build 2", "abc", "1", "2"},
        {"Abc VeRs 1.2 BuIlD 7", "Abc", "1.2", "7"},
        // BUILD before VERS: the version count falls below one.
        {"X BUILD 7 VERS 3", "X BUILD 7", "", "7 VERS 3"},
        // A keyword with no blank after it stays whole.
        {"Lingua VERS1 BUILD9", "Lingua", "VERS1", "BUILD9"},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        std::string name = c.text, version, build;
        splitVersion(name, version, build);
        EXPECT_EQ(name, c.name) << '"' << c.text << '"';
        EXPECT_EQ(version, c.version) << '"' << c.text << '"';
        EXPECT_EQ(build, c.build) << '"' << c.text << '"';
    }
}

TEST(SplitVersion, SearchStopsAtFirstNul) {
    std::string text("Modulo", 6);
    text += '\0';
    text += "VERS 9 BUILD 9";
    text.resize(76, '\0');
    std::string version, build;
    splitVersion(text, version, build);
    EXPECT_EQ(version, "");
    EXPECT_EQ(build, "");
}

}  // namespace
}  // namespace zor
