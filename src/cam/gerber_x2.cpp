#include "cam/gerber_x2.h"

namespace trazel::cam {

int copper_layer_count(const model::Setup&) {
    return 1;
}
std::string x2_file_function(const model::Setup&, const model::GerberEntry&) {
    return {};
}
std::string x2_file_polarity(const model::GerberEntry&) {
    return "Positive";
}

} // namespace trazel::cam
