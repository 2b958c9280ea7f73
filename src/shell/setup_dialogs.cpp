// SG, SD, SS, SC, SV and SX: forms over the current Document's setup.  A field is read only when its
// text differs from what the dialog showed, so a value held more finely than the field shows it stays
// as it was; a directive whose line changed then goes through the writer and the reader once, so the
// Document holds from now on exactly what its Data file will give back.
#include "shell/setup_dialogs.h"
#include "shell/setup_form.h"
#include "shell/setup_layers.h"
#include "shell/setup_toggles.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "model/model.h"
#include "model/numbers.h"
#include "model/setup_directives.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"
#include "shell/startup.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::shell {

namespace {

using model::Coord;
using model::Setup;

// Item widths and sizes are 16-bit lengths; no clearance or default needs an inch either.
constexpr Coord kLengthLimit = 0xFFFF;
constexpr size_t kSnapEntries = 16;
constexpr size_t kSnapEntryChars = 11;
constexpr size_t kSignalChars = 31;

bool digit_run(std::string_view t, size_t& i) {
    size_t from = i;
    while (i < t.size() && model::is_digit(t[i])) {
        ++i;
    }
    return i > from;
}

// Nothing, '"' (inches) or "m"/"mm" in either case (millimetres).
bool unit_only(std::string_view rest) {
    if (rest.empty() || rest == "\"") {
        return true;
    }
    return rest.size() <= 2 && std::all_of(rest.begin(), rest.end(), [](char c) { return model::lower(c) == 'm'; });
}

// A length as the Data file takes it, with an optional unit: ".012" inches, "12" thousandths, "0.3mm".
bool length_syntax(std::string_view t) {
    size_t i = 0;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
        ++i;
    }
    bool digits = digit_run(t, i);
    if (i < t.size() && t[i] == '.') {
        ++i;
        digits = digit_run(t, i) || digits;
    }
    return digits && unit_only(t.substr(i));
}

// A spacing as the "-gs" reader takes it: ".025", "25", "0.5mm", "1/40", "1/2mm".  A fraction needs a
// divisor above 0.
bool spacing_syntax(std::string_view t) {
    size_t i = 0;
    bool digits = digit_run(t, i);
    if (i < t.size() && t[i] == '/') {
        size_t from = ++i;
        if (!digits || !digit_run(t, i) || t.substr(from, i - from).find_first_not_of('0') == std::string_view::npos) {
            return false;
        }
    } else if (i < t.size() && t[i] == '.') {
        ++i;
        digits = digit_run(t, i) || digits;
    }
    return digits && unit_only(t.substr(i));
}

// The spacing and the decimals shown that the "-gs" reader makes of `text`.
void read_spacing(std::string_view text, uint32_t& value, int32_t& decimals) {
    Setup scratch;
    model::ApplyDirective(scratch, "-gs" + std::string(text));
    value = scratch.snap;
    decimals = scratch.decimals;
}

// The first field of a directive as written: "-gs0.025\",0,1" gives "0.025\"".
std::string first_field(const Setup& s, std::string_view which) {
    std::string line = model::directive_line(s, which);
    line.erase(0, which.size() + 1);
    return line.substr(0, line.find(','));
}

std::string length_text(Coord v) {
    return model::fixed_string(v);
}

std::string entry_text(const std::array<char, 12>& e) {
    return std::string(e.data(), static_cast<size_t>(std::find(e.begin(), e.end(), '\0') - e.begin()));
}

// The answer reader of these dialogs: lengths, Signal names and spacings besides the common fields.
class Fields : public SetupAnswers {
  public:
    using SetupAnswers::SetupAnswers;

    void length(std::string_view id, Coord& out, bool above_zero = false) {
        if (!changed(id)) {
            return;
        }
        std::string t = text(id);
        if (!length_syntax(t)) {
            refuse(id, quoted(t) + " is not a length.\n\nType inches with a point (.012), thousandths of an inch "
                                   "without one (12) or millimetres (0.3mm).");
            return;
        }
        model::Cursor c(t);
        Coord v = model::read_length_unit(c);
        if (v < 0) {
            refuse(id, "a length cannot be negative.");
        } else if (v > kLengthLimit) {
            refuse(id, "the length must be less than one inch (25.4mm).");
        } else if (above_zero && v == 0) {
            refuse(id, "the length must be more than 0.");
        } else {
            out = v;
        }
    }

    // A Signal name as the directive's name field carries it.
    template <size_t N> void signal(std::string_view id, char (&out)[N]) {
        if (!changed(id)) {
            return;
        }
        std::string t = text(id);
        bool plain = std::none_of(t.begin(), t.end(), [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == ','; });
        if (t.size() > kSignalChars || !plain) {
            refuse(id, quoted(t) + " cannot be a Signal name.\n\nA name has at most 31 characters, without blanks "
                                   "or commas.");
            return;
        }
        std::memset(out, 0, N);
        std::memcpy(out, t.data(), std::min(t.size(), N - 1));
    }

    // A spacing for the snap or the grid dots; false (and the refusal) when it cannot be one.
    bool spacing(std::string_view id) {
        std::string t = text(id);
        if (spacing_syntax(t)) {
            return true;
        }
        refuse(id, quoted(t) + " is not a grid interval.\n\nType inches with a point (.025), thousandths of an inch "
                               "without one (25), millimetres (0.5mm) or a fraction of an inch (1/40).");
        return false;
    }
};

// Shows `form` until its values are taken or it is cancelled, then applies what changed in `directives`.
template <class Read>
int run_fields_form(App& app, platform::Form& form, std::initializer_list<std::string_view> directives, Read read) {
    std::vector<std::string_view> lines(directives);
    return run_setup_form_with<Fields>(app, form, read, [&lines](const Setup& was, Setup& next) {
        bool changed = false;
        for (std::string_view w : lines) {
            changed = settle_lines(was, next, {w}) || changed;
        }
        return changed;
    });
}

// --- The dialogs ----------------------------------------------------------------------------------

// SG (Alt-G): the snap spacing.  The reader's unit sets the decimals shown with it; a spacing typed as a
// snap table entry makes that entry the current one.
int grid_interval(App& app) {
    const Setup& s = app.doc()->setup;
    platform::Form f = platform::FormBuilder("SetupSnapBox", "Grid Interval")
                           .text("snap", "Grid interval (.025, 25, 0.5mm, 1/40)", first_field(s, "gs"))
                           .build();
    return run_fields_form(app, f, {"gs"}, [](Fields& in, Setup& next) {
        if (!in.changed("snap") || !in.spacing("snap")) {
            return;
        }
        std::string t = in.text("snap");
        read_spacing(t, next.snap, next.decimals);
        for (size_t i = 0; i < kSnapEntries; ++i) {
            if (model::upper_ascii(entry_text(next.snap_table[i])) == model::upper_ascii(t)) {
                next.snap_index = static_cast<int32_t>(i);
                break;
            }
        }
    });
}

// SD: the grid dots, the decimals shown (negative in the record for millimetres) and the screen colours.
int grid_dimensioning(App& app) {
    const Setup& s = app.doc()->setup;
    bool mm = s.decimals < 0;
    platform::Form f = platform::FormBuilder("SetupGridBox", "Grid Dimensioning")
                           .text("dots", "Grid dot spacing", first_field(s, "gd"))
                           .number("decimals", "Decimals shown", mm ? -s.decimals : s.decimals, 0, 4)
                           .check("metric", "Millimetre display", mm)
                           .text("grid_colour", "Grid colour", colour_text(s.grid_colour))
                           .text("background", "Background colour", colour_text(s.background))
                           .text("highlight", "Highlight colour", colour_text(s.highlight))
                           .text("attention", "Attention colour", colour_text(s.attention))
                           .build();
    return run_fields_form(app, f, {"gd", "gs"}, [](Fields& in, Setup& next) {
        if (in.changed("dots") && in.spacing("dots")) {
            int32_t unused = 0;
            read_spacing(in.text("dots"), next.grid_dots, unused);
        }
        uint32_t colours[4] = {next.grid_colour, next.background, next.highlight, next.attention};
        in.colour("grid_colour", colours[0]);
        in.colour("background", colours[1]);
        in.colour("highlight", colours[2]);
        in.colour("attention", colours[3]);
        model::set_screen_colours(next, colours[0], colours[1], colours[2], colours[3]);
        if (in.changed("decimals") || in.changed("metric")) {
            // What the "-gs" writer can carry: 0 to 4 decimals of an inch, 1 to 3 of a millimetre.
            bool metric = in.text("metric") == "1";
            std::string t = in.text("decimals");
            int32_t d = t.size() == 1 && model::is_digit(t[0]) ? t[0] - '0' : -1;
            if (metric ? d < 1 || d > 3 : d < 0 || d > 4) {
                in.refuse("decimals", quoted(t) + " cannot be shown.\n\nInches show 0 to 4 decimals, millimetres 1 to 3.");
            } else {
                next.decimals = metric ? -d : d;
            }
        }
    });
}

// SS: up to 16 entries of up to 11 characters, each a spacing as SG takes it, and the current one.  The
// table is kept without gaps (the reader skips empty entries, so a gap would move the ones after it);
// choosing another entry, or retyping the current one, sets the snap from it.
int snap_table(App& app) {
    const Setup& s = app.doc()->setup;
    platform::FormBuilder box("SetupSnapTableBox", "Snap Table");
    for (size_t i = 0; i < kSnapEntries; ++i) {
        box.text("entry" + std::to_string(i), "Entry " + std::to_string(i), entry_text(s.snap_table[i]));
    }
    platform::Form f = std::move(box).number("current", "Current entry", s.snap_index, 0, 15).build();
    return run_fields_form(app, f, {"gs"}, [](Fields& in, Setup& next) {
        std::array<std::array<char, 12>, 16> table{};
        size_t kept = 0;
        int32_t current = next.snap_index;
        in.index("current", static_cast<int>(kSnapEntries), current);
        int32_t new_index = 0;
        bool filled = false;
        for (size_t i = 0; i < kSnapEntries; ++i) {
            std::string id = "entry" + std::to_string(i);
            std::string t = in.text(id);
            if (t.empty()) {
                continue;
            }
            if (t.size() > kSnapEntryChars) {
                in.refuse(id, quoted(t) + " is too long: an entry has at most 11 characters.");
            } else if (in.spacing(id)) {
                std::memcpy(table[kept].data(), t.data(), t.size());
            }
            if (static_cast<int32_t>(i) == current) {
                new_index = static_cast<int32_t>(kept);
                filled = true;
            }
            ++kept;
        }
        if (kept > 0 && !filled) {
            in.refuse("current", "entry " + std::to_string(current) + " is empty.\n\nChoose an entry that holds a grid interval.");
            return;
        }
        next.snap_table = table;
        next.snap_index = new_index;
        std::string chosen = "entry" + std::to_string(current);
        if (kept > 0 && (in.changed("current") || in.changed(chosen)) && in.error().empty()) {
            read_spacing(in.text(chosen), next.snap, next.decimals);
        }
    });
}

// SC: the seven lengths of "-gc" and the two connection Signal names (the fill target and sources are
// the flood fill's).
int clearance(App& app) {
    const Setup& s = app.doc()->setup;
    platform::Form f = platform::FormBuilder("SetupClearanceBox", "Clearance")
                           .text("fill_lines", "Fill isolation to lines", length_text(s.fill_iso_lines))
                           .text("fill_pads", "Fill isolation to pads", length_text(s.fill_iso_pads))
                           .text("line_line", "Line to line", length_text(s.clear_line_line))
                           .text("line_pad", "Line to pad", length_text(s.clear_line_pad))
                           .text("pad_pad", "Pad to pad", length_text(s.clear_pad_pad))
                           .text("fill_width", "Fill line width", length_text(s.fill_width))
                           .text("ratnest_width", "Ratnest line width", length_text(s.ratnest_width))
                           .text("thermal", "Thermal connection Signal", s.thermal_signal)
                           .text("direct", "Direct connection Signal", s.direct_signal)
                           .build();
    return run_fields_form(app, f, {"gc"}, [](Fields& in, Setup& next) {
        in.length("fill_lines", next.fill_iso_lines);
        in.length("fill_pads", next.fill_iso_pads);
        in.length("line_line", next.clear_line_line);
        in.length("line_pad", next.clear_line_pad);
        in.length("pad_pad", next.clear_pad_pad);
        in.length("fill_width", next.fill_width);
        in.length("ratnest_width", next.ratnest_width);
        in.signal("thermal", next.thermal_signal);
        in.signal("direct", next.direct_signal);
    });
}

// SV: the layer, diameter and hole of new vias.
int via_parameters(App& app) {
    const Setup& s = app.doc()->setup;
    platform::Form f = platform::FormBuilder("SetupViaBox", "Via Parameters")
                           .text("layer", "Via layer", std::to_string(s.via_layer))
                           .text("diameter", "Via diameter", length_text(s.via_diameter))
                           .text("hole", "Via hole", length_text(s.via_hole))
                           .build();
    return run_fields_form(app, f, {"iv"}, [](Fields& in, Setup& next) {
        in.layer("layer", next, next.via_layer);
        in.length("diameter", next.via_diameter, true);
        in.length("hole", next.via_hole);
    });
}

// SX: the Line width, Text height, dimension text size and the Pad defaults.
int line_widths(App& app) {
    const Setup& s = app.doc()->setup;
    std::vector<std::string> types(std::begin(model::kPadTypeNames), std::end(model::kPadTypeNames));
    platform::Form f = platform::FormBuilder("SetupLineWidthsBox", "XY Line Widths")
                           .text("line", "Line width", length_text(s.line_width))
                           .text("text", "Text height", length_text(s.text_height))
                           .text("dimension_text", "Dimension text size", length_text(s.dim_text_size))
                           .choice("pad_type", "Pad type", types, s.pad_type)
                           .text("pad_layer", "Pad layer", std::to_string(s.pad_layer))
                           .text("pad_width", "Pad width (X)", length_text(s.pad_width))
                           .text("pad_height", "Pad height (Y)", length_text(s.pad_height))
                           .text("pad_hole", "Pad hole", length_text(s.pad_hole))
                           .build();
    return run_fields_form(app, f, {"il", "it", "ix", "ip"}, [](Fields& in, Setup& next) {
        in.length("line", next.line_width, true);
        in.length("text", next.text_height, true);
        in.length("dimension_text", next.dim_text_size);
        in.index("pad_type", 8, next.pad_type);
        in.layer("pad_layer", next, next.pad_layer);
        in.length("pad_width", next.pad_width, true);
        in.length("pad_height", next.pad_height, true);
        in.length("pad_hole", next.pad_hole);
    });
}

struct SetupDialog {
    uint16_t cmd;
    int (*run)(App&);
};

constexpr SetupDialog kDialogs[] = {
    {code('S', 'G'), grid_interval}, {code('S', 'D'), grid_dimensioning}, {code('S', 'S'), snap_table},
    {code('S', 'C'), clearance},     {code('S', 'V'), via_parameters},    {code('S', 'X'), line_widths},
};

} // namespace

bool is_setup_dialog(uint16_t cmd) {
    if (is_setup_toggle(cmd)) return true;
    if (is_layers_dialog(cmd)) return true;
    return std::any_of(std::begin(kDialogs), std::end(kDialogs), [cmd](const SetupDialog& d) { return d.cmd == cmd; });
}

int setup_dialog(App& app, uint16_t cmd) {
    if (app.doc() == nullptr) {
        beep(app);
        return 0;
    }
    if (is_setup_toggle(cmd)) return setup_toggle(app, cmd);
    if (is_layers_dialog(cmd)) return layers_dialog(app, cmd);
    for (const SetupDialog& d : kDialogs) {
        if (d.cmd == cmd) {
            return d.run(app);
        }
    }
    error_sound(app);
    return 0;
}

} // namespace trazel::shell
