#include "resources/resources.h"

namespace trazel::resources {

std::string_view text(std::string_view name) {
    for (const Entry* e = entries(); e->name; ++e) {
        if (name == e->name) {
            return {reinterpret_cast<const char*>(e->data), e->size};
        }
    }
    return {};
}

} // namespace trazel::resources
