#include "images/commands.h"

#include "images/draw.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/window_events.h"

namespace trazel::images {

namespace {

// The current slot's block, if any (draw_block itself passes over one it cannot draw).
const std::vector<uint8_t>* current_block() {
    model::Model& m = model::M();
    int s = m.current_image;
    if (s < 0 || s >= model::kImageSlots) {
        return nullptr;
    }
    const std::vector<uint8_t>& b = m.images[static_cast<size_t>(s)];
    return b.empty() ? nullptr : &b;
}

// Alt-M: the next occupied slot after the current one (wrapping) becomes current and is shown.  With
// no picture at all the key is refused.
int next_image(App& app) {
    model::Model& m = model::M();
    int from = m.current_image;
    for (int k = 1; k <= model::kImageSlots; ++k) {
        int s = ((from + k) % model::kImageSlots + model::kImageSlots) % model::kImageSlots;
        if (!m.images[static_cast<size_t>(s)].empty()) {
            m.current_image = s;
            shell::redraw(app);
            return 1;
        }
    }
    shell::beep(app);
    return 0;
}

} // namespace

void install_images(App& app) {
    app.display.hooks.draw_image = [](display::Display& d, display::Raster& r) {
        if (const std::vector<uint8_t>* b = current_block()) {
            draw_block(d, r, *b);
        }
    };
    app.shell.services.hooks.next_image = next_image;
    install_rectify(app);
}

} // namespace trazel::images
