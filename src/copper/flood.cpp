// Flood fill: the settings and the run over the shared fill machinery.
#include "copper/flood.h"

#include <algorithm>
#include <cstring>

#include "nets/net_state.h"

namespace trazel::copper {

FillSettings fill_settings(const model::Setup& s) {
    FillSettings f;
    f.destination = s.flood_target;
    f.sources = s.flood_sources;
    f.thermal.assign(s.thermal_signal, strnlen(s.thermal_signal, sizeof s.thermal_signal));
    f.direct.assign(s.direct_signal, strnlen(s.direct_signal, sizeof s.direct_signal));
    f.width = s.fill_width;
    f.iso_lines = s.fill_iso_lines;
    f.iso_pads = s.fill_iso_pads;
    return f;
}

namespace {
void put_name(char (&to)[32], const std::string& name) {
    std::memset(to, 0, sizeof to);
    std::memcpy(to, name.data(), std::min(name.size(), sizeof to - 1));
}
} // namespace

void store_fill_settings(model::Setup& s, const FillSettings& f) {
    s.flood_target = f.destination;
    s.flood_sources = f.sources;
    put_name(s.thermal_signal, f.thermal);
    put_name(s.direct_signal, f.direct);
    s.fill_width = f.width;
    s.fill_iso_lines = f.iso_lines;
    s.fill_iso_pads = f.iso_pads;
}

std::string unconnected_text(Point where, const model::Setup& s) {
    return "The power/ground pad at location:\n   X = " + nets::inches3(where.x - s.origin_x) + "\"  Y = " +
           nets::inches3(where.y - s.origin_y) +
           "\"\ncannot be connected to the flood plane.\n\nDo you wish to continue?";
}

} // namespace trazel::copper
