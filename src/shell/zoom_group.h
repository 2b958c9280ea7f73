#pragma once
// The Zoom group (zoom_group.cpp): zoom in, out, window, scale, extents and the layer shown.
#include <cstdint>

namespace trazel {
struct App;
}

namespace trazel::shell {

int zoom_group(App& app, uint16_t code, Source source);

} // namespace trazel::shell
