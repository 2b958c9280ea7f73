#include "router/router.h"

#include "nets/netlog.h"

namespace trazel::router {

int layer_direction(const model::Setup& s, int layer) {
    return (s.layers[static_cast<size_t>(layer) & 255].type >> 4) & 3;
}

void set_layer_direction(model::Setup& s, int layer, int direction) {
    model::LayerEntry& e = s.layers[static_cast<size_t>(layer) & 255];
    e.type = static_cast<decltype(e.type)>((e.type & ~0x30) | ((direction & 3) << 4));
}

RouteSettings RouteSettings::from_setup(const model::Setup& s) {
    RouteSettings r;
    r.flags = s.router_algorithms;
    r.track_width = s.line_width;
    r.via_pad = s.via_diameter;
    r.via_hole = s.via_hole;
    r.clear_line_line = s.clear_line_line;
    r.clear_line_pad = s.clear_line_pad;
    r.clear_pad_pad = s.clear_pad_pad;
    return r;
}

RouteSummary route_run(model::Document&, const RouteSettings&, nets::Log&, platform::RunContext&, const RouteHooks&) {
    return {};
}

} // namespace trazel::router
