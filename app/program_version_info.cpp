// Built into zor_version_data, beside the program's own block, so that zor_app
// does not depend on it.
#include "app/version_info.h"

namespace zor {

std::string getVersionString(const std::string& key, const std::string& defaultValue) {
    return getVersionString(programVersionBlock(), key, defaultValue);
}

std::string applicationTitle() {
    return applicationTitle(programVersionBlock());
}

}  // namespace zor
