// ST, SW, SP and SB.  The two switches act at once and redraw; the zero point waits for a click; the
// status bar box follows the other Setup boxes (changed fields only, a refused value named in a box and
// the dialog shown again).
#include "shell/setup_toggles.h"

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>

#include "display/display.h"
#include "display/view.h"
#include "model/model.h"
#include "model/numbers.h"
#include "model/setup_directives.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/menus.h"
#include "shell/modes.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::shell {

namespace {

constexpr const char* kValueErrorTitle = "Setup Value Error";
constexpr const char* kZeroPrompt = "Relative Zero Point:  Select new zero point.";
constexpr int32_t kFactorLimit = 32767; // whole part of a 16.16 factor

void call(const std::function<void()>& f) {
    if (f) {
        f();
    }
}

// After a view switch: the cross-hair, the read-outs and the Setup menu's check marks show it.
void show_view_change(App& app) {
    call(app.display.view.hooks.crosshair_refresh);
    refresh_status_bar(app);
    update_menu_state(app, kIndexSetupMenu);
}

// ST (key T): the 45-degree two-leg constraint on, or whatever mode is on off.
int orthogonal_mode(App& app) {
    int& mode = app.display.view.angle_mode;
    mode = mode != 0 ? 0 : kSetupOrthoMode;
    show_view_change(app);
    return 1;
}

// SW (Alt-V): the picture turns about the cross-hair, which keeps its pixel and its Document point.
int mirror_view(App& app) {
    display::View& v = app.display.view;
    v.mirror = !v.mirror;
    display::place_cursor_at(v, v.cursor_col, v.cursor_row);
    redraw(app);
    show_view_change(app);
    return 1;
}

// The click of SP: the cursor becomes the zero point.  It goes through the "-gz" line and back, so the
// Document holds what its Data file will.
int take_zero_point(App& app) {
    clear_function(app);
    model::Document* doc = app.doc();
    if (doc == nullptr) {
        return 1;
    }
    display::View& v = app.display.view;
    model::Setup next = doc->setup;
    next.origin_x = v.cursor_x;
    next.origin_y = v.cursor_y;
    std::string line = model::directive_line(next, "gz");
    if (line != model::directive_line(doc->setup, "gz")) {
        model::ApplyDirective(doc->setup, line);
        doc->mark_modified();
    }
    // The view takes it as a Document's own origin is taken when the Document becomes current.
    v.rel_x = doc->setup.origin_x;
    v.rel_y = doc->setup.origin_y;
    v.rel_set = v.rel_x != 0 || v.rel_y != 0;
    redraw(app);
    refresh_status_bar(app);
    return 1;
}

// SP (Alt-R): waits for the click; a right click leaves the zero point where it was.
int relative_zero_point(App& app) {
    enter_trazel_mode(app);
    set_function(
        app, take_zero_point,
        [](App& a) {
            clear_function(a);
            return 1;
        },
        kZeroPrompt);
    return 1;
}

// A read-out factor as a 16.16 decimal: "1.0", "-1", "2.54"; 0 and wholes beyond 32767 are refused.
bool read_factor(std::string_view t, int32_t& out, std::string& why) {
    size_t from = !t.empty() && t[0] == '-' ? 1 : 0;
    size_t point = t.find('.', from);
    std::string_view whole = t.substr(from, point == std::string_view::npos ? std::string_view::npos : point - from);
    std::string_view fraction = point == std::string_view::npos ? std::string_view{} : t.substr(point + 1);
    auto digits = [](std::string_view d) {
        return std::all_of(d.begin(), d.end(), [](char c) { return model::is_digit(c); });
    };
    if (!digits(whole) || !digits(fraction) || whole.size() + fraction.size() == 0) {
        why = "\"" + std::string(t) + "\" is not a factor.\n\nType a decimal number (1.0, 2.54, -1).";
        return false;
    }
    size_t lead = std::min(whole.find_first_not_of('0'), whole.size());
    if (whole.size() - lead > 5 || (whole.size() > lead && std::stoi(std::string(whole.substr(lead))) > kFactorLimit)) {
        why = "the factor must lie between -32767 and 32767.";
        return false;
    }
    model::Cursor c(t);
    int32_t v = model::read_decimal(c);
    if (v == 0) {
        why = "a factor of 0 would show every position as 0.";
        return false;
    }
    out = v;
    return true;
}

// SB: the angle and distance read-out (the Document's references byte) and the read-out factor (the
// view's).
int status_bar(App& app) {
    model::Document& doc = *app.doc();
    display::View& v = app.display.view;
    bool angle = (doc.setup.mode_refs & display::kRefsAngleReadout) != 0;
    platform::Form f = platform::FormBuilder("SetupStatusBarBox", "Status Bar")
                           .check("angle_distance", "Angle and distance read-out", angle)
                           .text("factor", "Read-out factor", model::fixed_string(v.readout_factor))
                           .build();
    const platform::Form shown = f;
    auto text = [](const platform::Form& form, std::string_view id) {
        return std::string(model::trim_blanks(form.get(id)));
    };
    int32_t factor = v.readout_factor;
    bool ok = run_dialog(app, f);
    while (ok) {
        std::string why;
        factor = v.readout_factor;
        if (text(f, "factor") == text(shown, "factor") || read_factor(text(f, "factor"), factor, why)) {
            break;
        }
        const platform::Field* field = f.field("factor");
        ask(app, (field ? field->label : std::string("factor")) + ": " + why, kValueErrorTitle, platform::Buttons::Ok);
        ok = run_dialog_again(app, f);
    }
    if (!ok) {
        return 0;
    }
    bool changed = false;
    if (text(f, "angle_distance") != text(shown, "angle_distance")) {
        model::Setup next = doc.setup;
        next.mode_refs = static_cast<uint8_t>((next.mode_refs & ~display::kRefsAngleReadout) |
                                              (text(f, "angle_distance") == "1" ? display::kRefsAngleReadout : 0));
        std::string line = model::directive_line(next, "gm");
        if (line != model::directive_line(doc.setup, "gm")) {
            model::ApplyDirective(doc.setup, line);
            doc.mark_modified();
            changed = true;
        }
    }
    if (factor != v.readout_factor) {
        v.readout_factor = factor;
        changed = true;
    }
    if (changed) {
        refresh_status_bar(app);
    }
    return 1;
}

} // namespace

bool is_setup_toggle(uint16_t cmd) {
    return cmd == code('S', 'T') || cmd == code('S', 'W') || cmd == code('S', 'P') || cmd == code('S', 'B');
}

int setup_toggle(App& app, uint16_t cmd) {
    if (cmd == code('S', 'T')) {
        return orthogonal_mode(app);
    }
    if (cmd == code('S', 'W')) {
        return mirror_view(app);
    }
    if (cmd == code('S', 'P')) {
        return relative_zero_point(app);
    }
    return status_bar(app);
}

} // namespace trazel::shell
