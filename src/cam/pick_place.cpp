#include "cam/pick_place.h"

namespace trazel::cam {

std::string pick_place_csv(const model::Document&, const PickPlaceOptions&) {
    return {};
}

} // namespace trazel::cam
