#include "platform/version.h"

namespace trazel::platform {

const char* program_version() {
    return TRAZEL_VERSION;
}

} // namespace trazel::platform
