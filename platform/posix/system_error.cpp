#include "platform/system_error.h"

#include <cerrno>
#include <system_error>

namespace zor {

std::string systemErrorText(int code) {
    return std::system_category().message(code);
}

int lastSystemError() {
    return errno;
}

}  // namespace zor
