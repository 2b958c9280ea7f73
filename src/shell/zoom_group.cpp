// The Zoom group: at once on the cursor from keys, buttons and the wheel; from menus as a function that
// asks for the point; the zoom window with its rubber band; the scale and layer dialogs.
#include <algorithm>

#include "display/display.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"
#include "shell/status.h"
#include "shell/window_events.h"
#include "shell/zoom_group.h"

namespace trazel::shell {

namespace {

constexpr int kPromptZoomIn = 0x501;
constexpr int kPromptZoomOut = 0x502;
constexpr int kPromptZoomCenter = 0x503;
constexpr int kPromptWindowFirst = 0x504;
constexpr int kPromptWindowSecond = 0x505;
constexpr int kBadScale = 0x516;
constexpr int kQueryRefreshTicks = 4;

display::Rect clip_rect(App& app) {
    recompute_visible(app);
    const auto& v = app.shell.surface.visible;
    return v.empty() ? app.display.view.area : v.front();
}

void end_band(App& app) {
    display::end_rubber_band(app.display);
}

int cancel(App& app) {
    end_band(app);
    clear_function(app);
    return 1;
}

int do_zoom(App& app, char which) {
    display::View& v = app.display.view;
    bool tm = app.shell.trazel_mode;
    switch (which) {
    case 'I':
        return display::zoom_in(v, tm);
    case 'O':
        return display::zoom_out(v, tm);
    default:
        return display::zoom_center(v);
    }
}

// From a menu: TRAZEL mode and a click for the point.
int zoom_function(App& app, char which, int prompt) {
    enter_trazel_mode(app);
    set_function(
        app,
        [which](App& a) {
            clear_function(a);
            do_zoom(a, which);
            return 1;
        },
        cancel, message_text(app, prompt));
    return 1;
}

int zoom_window(App& app) {
    enter_trazel_mode(app);
    set_function(
        app,
        [](App& a) {
            display::Display& d = a.display;
            model::Point first{d.view.cursor_x, d.view.cursor_y};
            display::crosshair_off(d);
            d.band = display::RubberBand::Rectangle;
            d.band_row = d.view.cursor_row;
            d.band_col = d.view.cursor_col;
            if (a.shell.trazel_mode) {
                display::crosshair_on(d);
            }
            set_function(
                a,
                [first](App& b) {
                    end_band(b);
                    clear_function(b);
                    display::View& v = b.display.view;
                    display::zoom_to_rect(v, first, {v.cursor_x, v.cursor_y}, clip_rect(b), true);
                    return 1;
                },
                cancel, message_text(a, kPromptWindowSecond));
            return 1;
        },
        cancel, message_text(app, kPromptWindowFirst));
    return 1;
}

int zoom_scale_box(App& app) {
    display::View& v = app.display.view;
    platform::Form f = platform::FormBuilder("ZoomScaleBox", "Zoom Scale")
                           .text("dpi", "Scale [dpi]", display::scale_to_dpi_text(v.scale))
                           .build();
    if (!run_dialog(app, f)) {
        return 0;
    }
    uint32_t scale = 0;
    if (!display::dpi_text_to_scale(f.get("dpi"), v.min_scale, scale)) {
        show_message(app, kBadScale);
        return 0;
    }
    return display::zoom_scale(v, scale);
}

int select_layer_box(App& app) {
    model::Setup& s = app.doc()->setup;
    std::vector<int> numbers;
    std::vector<std::string> names;
    int current = 0;
    for (int i = 0; i < 256; ++i) {
        const model::LayerEntry& e = s.layers[static_cast<size_t>(i)];
        if (!e.in_use()) {
            continue;
        }
        if (i == s.current_layer) {
            current = static_cast<int>(numbers.size());
        }
        numbers.push_back(i);
        names.push_back(std::to_string(i) + "  " + e.name);
    }
    if (numbers.empty()) {
        show_message(app, 0x517);
        return 0;
    }
    platform::Form f = platform::FormBuilder("SelectLayerBox", "Select Layer")
                           .choice("layer", "Layer to show", names, current)
                           .build();
    if (!run_dialog(app, f)) {
        return 0;
    }
    std::string v = f.get("layer");
    int index = -1;
    if (!v.empty() && v.size() < 4 && std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        index = std::atoi(v.c_str());
    }
    if (index < 0 || index >= static_cast<int>(numbers.size())) {
        show_message(app, 0x517);
        return 0;
    }
    s.current_layer = numbers[static_cast<size_t>(index)];
    // One layer-only redraw; the single-layer flag (ZY) stays as it was, so the next redraw shows all.
    redraw(app, true, true);
    return 1;
}

// The Document's extents: from its setup when they make a box, else from its Items.
bool extents(App& app, model::Point& a, model::Point& b) {
    const model::Setup& s = app.doc()->setup;
    if (s.ext_xmin < s.ext_xmax && s.ext_ymin < s.ext_ymax) {
        a = {s.ext_xmin, s.ext_ymin};
        b = {s.ext_xmax, s.ext_ymax};
        return true;
    }
    return display::items_extents(app.doc()->ring(), a, b);
}

} // namespace

int zoom_group(App& app, uint16_t c, Source source) {
    if (!app.doc()) {
        error_sound(app);
        return 0;
    }
    app.shell.query_refresh = kQueryRefreshTicks;
    display::View& v = app.display.view;
    bool at_once = source < kSourceTwoKey;
    char which = static_cast<char>(c & 0xFF);
    switch (which) {
    case 'I':
        return at_once ? do_zoom(app, 'I') : zoom_function(app, 'I', kPromptZoomIn);
    case 'O':
        return at_once ? do_zoom(app, 'O') : zoom_function(app, 'O', kPromptZoomOut);
    case 'C':
        return at_once ? do_zoom(app, 'C') : zoom_function(app, 'C', kPromptZoomCenter);
    case 'S':
        return zoom_scale_box(app);
    case 'L':
        return select_layer_box(app);
    case 'P':
        return display::zoom_previous(v);
    case 'R':
        return display::zoom_redraw(v);
    case 'X': {
        model::Point a, b;
        if (!extents(app, a, b)) {
            a = {0, 0};
            b = {65536, 65536};
        }
        display::zoom_to_rect(v, a, b, clip_rect(app), true);
        return 1;
    }
    case 'W':
        return zoom_window(app);
    case 'Y':
        return display::zoom_single_layer(v);
    default:
        error_sound(app);
        return 0;
    }
}

} // namespace trazel::shell
