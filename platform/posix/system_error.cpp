#include "platform/system_error.h"

#include <locale.h>
#include <string.h>

#include <cerrno>
#include <system_error>

namespace zor {

namespace {

// The user's message language from the environment (LC_ALL, LC_MESSAGES,
// LANG), whether or not the program called setlocale(): the command-line
// program never does, and the C library would answer in English. Texts come
// out in UTF-8, like every other text the user reads. The C library keeps a
// translation it has once looked up in the character set of that first look,
// so this character set must be the same on every call.
locale_t messageLocale() {
    locale_t messages = ::newlocale(LC_MESSAGES_MASK, "", static_cast<locale_t>(0));
    if (!messages)  // the user's locale is not installed
        messages = ::newlocale(LC_MESSAGES_MASK, "C", static_cast<locale_t>(0));
    if (!messages)
        return static_cast<locale_t>(0);
    // On failure newlocale() leaves its base alone.
    if (locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", messages))
        return utf8;
    return messages;
}

}  // namespace

std::string systemErrorText(int code) {
    const locale_t locale = messageLocale();
    if (!locale)
        return std::system_category().message(code);
    // Copied before the locale goes: the text may live in its buffers.
    std::string text = ::strerror_l(code, locale);
    ::freelocale(locale);
    return text;
}

int lastSystemError() {
    return errno;
}

}  // namespace zor
