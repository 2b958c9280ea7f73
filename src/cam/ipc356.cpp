#include "cam/ipc356.h"

namespace trazel::cam {

std::string ipc356_text(const model::Document&, const Ipc356Options&) {
    return {};
}

} // namespace trazel::cam
