// The system's error texts in the user's language, taken from the environment
// whether or not the program called setlocale() (this test program does not).
#include "platform/system_error.h"

#include <locale.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <cerrno>

namespace zor::test {
namespace {

TEST(SystemError, TextsFollowTheLanguageOfTheEnvironment) {
    const locale_t it = ::newlocale(LC_ALL_MASK, "it_IT.UTF-8", static_cast<locale_t>(0));
    const bool italian = it != static_cast<locale_t>(0);
    if (italian)
        ::freelocale(it);
    const struct {
        const char* locale;
        int code;
        const char* text;
    } cases[] = {
        {"C", ENOENT, "No such file or directory"},
        {"xx_XX.UTF-8", ENOENT, "No such file or directory"},  // not installed
        {"it_IT.UTF-8", ENOENT, "File o directory non esistente"},
        {"it_IT.UTF-8", EISDIR, "\xC3\x88 una directory"},  // UTF-8, not transliterated
    };
    ::unsetenv("LANGUAGE");  // a language list would override the locale
    for (const auto& c : cases) {
        if (italian || c.locale[0] != 'i') {
            ::setenv("LC_ALL", c.locale, 1);
            EXPECT_EQ(systemErrorText(c.code), c.text) << c.locale;
        }
    }
    ::unsetenv("LC_ALL");
    if (!italian)
        GTEST_SKIP() << "it_IT.UTF-8 is not installed (scripts/setup.sh generates it)";
}

}  // namespace
}  // namespace zor::test
