// SL, SM and SF.  As in the other Setup dialogs a field is read only when its text differs from what the
// dialog showed, and a directive line that changed goes through the writer and the reader once, so the
// Document holds from now on exactly what its Data file will give back.
#include "shell/setup_layers.h"
#include "shell/setup_form.h"

#include <algorithm>
#include <bitset>
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "display/display.h"
#include "model/model.h"
#include "model/numbers.h"
#include "model/setup_directives.h"
#include "platform/data_dirs.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::shell {

namespace {

using model::Setup;

constexpr int kLayers = 256;
constexpr size_t kLayerNameChars = 15;
constexpr size_t kLibraries = 32;
constexpr size_t kLibraryChars = 32;

const std::vector<std::string> kLayerTypes = {
    "0 = Silk (screening)",   "1 = Mask (solder resist)", "2 = Copper (normal)",     "3 = Plane (pwr/gnd)",
    "4 = Symbols (pictures)", "5 = Paste (stencil)",      "6 = Schematic (signals)", "7 = Drawing (general)",
};
const std::vector<std::string> kLineModes = {"Centre lines only", "Outline only", "Sparse", "Filled"};
const std::vector<std::string> kPadModes = {"Outline only", "Outline and hole", "Filled", "Filled without hole"};
const std::vector<std::string> kTextModes = {"Not drawn", "Thin lines", "Outline only", "Filled"};

std::string num(int n) {
    return std::to_string(n);
}

bool has_control(std::string_view t) {
    return std::any_of(t.begin(), t.end(), [](char c) { return static_cast<unsigned char>(c) < ' '; });
}

using Answers = SetupAnswers;

// Shows `form` until its values are taken or it is cancelled, then applies what changed.
template <class Read> int run_form(App& app, platform::Form& form, Read read, const Settle& settle) {
    return run_setup_form_with<Answers>(app, form, read, settle);
}

// --- SL: the Layer table ---------------------------------------------------------------------------

bool fixed_role(int n) {
    return n == model::kPadMasterLayer || n == model::kRatnestLayer;
}

std::string fixed_role_why(int n) {
    return n == model::kPadMasterLayer ? "layer 0 is the pad master layer; its name and type stay as they are."
                                       : "layer 255 is the Ratnest layer; its name and type stay as they are.";
}

// The layers that hold Items, at any depth: they cannot be taken out of use.
std::bitset<kLayers> layers_holding_items(const model::Document& doc) {
    std::bitset<kLayers> held;
    model::walk_tree(doc.ring(), [&held](model::Ref r, int) {
        const model::Node& n = model::node(r);
        if (n.item_kind() != model::kComponent && n.item_kind() != model::kDocument) {
            held.set(n.layer);
        }
    });
    return held;
}

void read_layer(Answers& in, model::LayerEntry& e, int n, bool holds_items) {
    const std::string at = num(n);
    const std::string name = "name" + at, type = "type" + at, seq = "seq" + at;
    if (in.changed(name)) {
        std::string t = in.text(name);
        model::LayerEntry typed;
        std::memcpy(typed.name, t.data(), std::min(t.size(), kLayerNameChars));
        if (fixed_role(n)) {
            in.refuse(name, fixed_role_why(n));
        } else if (t.size() > kLayerNameChars) {
            in.refuse(name, shell::quoted(t) + " is too long: a layer name has at most 15 characters.");
        } else if (t.find(';') != std::string::npos || has_control(t)) {
            in.refuse(name, shell::quoted(t) + " cannot be a layer name: it may not hold \";\".");
        } else if (holds_items && !typed.in_use()) {
            in.refuse(name, "layer " + at + " holds Items, so it stays in use.\n\nMove or delete its Items first.");
        } else {
            std::memcpy(e.name, typed.name, sizeof e.name);
        }
    }
    int v = 0;
    if (in.changed(type)) {
        if (fixed_role(n)) {
            in.refuse(type, fixed_role_why(n));
        } else if (in.number(type, 7, v, "a layer type")) {
            // The bottom-side and routing-direction bits above the type stay.
            e.type = static_cast<uint8_t>((e.type & ~model::kLayerTypeMask) | v);
        }
    }
    in.colour("colour" + at, e.colour, "turns the layer off");
    in.colour("plot" + at, e.plot, "leaves the layer out of plots");
    if (in.changed(seq) && in.number(seq, kLayers - 1, v, "a sequence number")) {
        e.sequence = static_cast<uint8_t>(v);
    }
    // A layer out of use has no line in the Data file: nothing set on it would survive a save.
    if (n != model::kPadMasterLayer && !e.in_use()) {
        for (const std::string& id : {type, "colour" + at, "plot" + at, seq}) {
            if (in.changed(id)) {
                in.refuse(id, "layer " + at +
                                  " has no name, and a layer without one is not kept.\n\nName the "
                                  "layer first.");
            }
        }
    }
}

// Each layer whose line changed is read back from it; a layer taken out of use gets the cleared entry the
// file will give it.  The current layer is set alone: its "-y" line would clear the table.
bool settle_layers(const Setup& was, Setup& next) {
    bool changed = next.current_layer != was.current_layer;
    for (int n = 0; n < kLayers; ++n) {
        const std::string key = "y" + num(n);
        std::string line = model::directive_line(next, key);
        if (line == model::directive_line(was, key)) {
            continue;
        }
        if (n != model::kPadMasterLayer && !next.layers[static_cast<size_t>(n)].in_use()) {
            line = "-y" + num(n) + ":00000000,00000000,0," + num(n) + ",";
            if (line == model::directive_line(was, key)) {
                next.layers[static_cast<size_t>(n)] = was.layers[static_cast<size_t>(n)];
                continue;
            }
        }
        model::ApplyDirective(next, line);
        changed = true;
    }
    return changed;
}

// One row of fields per layer, in layer order; on the desktop the rows make one long list to scroll.
int layers(App& app) {
    const Setup& s = app.doc()->setup;
    platform::FormBuilder box("SetupLayersBox", "Layers");
    box.text("current", "Current layer", num(s.current_layer));
    for (int n = 0; n < kLayers; ++n) {
        const model::LayerEntry& e = s.layers[static_cast<size_t>(n)];
        const std::string at = num(n), label = "Layer " + at;
        box.text("name" + at, label + " name", std::string(e.name, strnlen(e.name, sizeof e.name)))
            .choice("type" + at, label + " type", kLayerTypes, e.kind())
            .text("colour" + at, label + " colour", colour_text(e.colour, true))
            .text("plot" + at, label + " plot colour", colour_text(e.plot, true))
            .number("seq" + at, label + " sequence", e.sequence, 0, kLayers - 1);
    }
    platform::Form f = std::move(box).build();
    const std::bitset<kLayers> held = layers_holding_items(*app.doc());
    return run_form(
        app, f,
        [&held](Answers& in, Setup& next) {
            for (int n = 0; n < kLayers; ++n) {
                read_layer(in, next.layers[static_cast<size_t>(n)], n, held.test(static_cast<size_t>(n)));
            }
            // Names as this dialog leaves them.
            in.layer("current", next, next.current_layer);
        },
        settle_layers);
}

// --- SM: the draw modes ----------------------------------------------------------------------------

// The draw-mode bits the form does not name stay as they are.
int graphic_mode(App& app) {
    const Setup& s = app.doc()->setup;
    platform::Form f =
        platform::FormBuilder("SetupGraphicModeBox", "Graphic Mode")
            .choice("lines", "Lines and arcs", kLineModes, s.mode_lines & 3)
            .check("lines_signal", "Signal names on tracks", s.mode_lines & display::kLinesSignalNames)
            .choice("pads", "Pads and vias", kPadModes, s.mode_pads & 3)
            .check("pads_pins", "Pin numbers", s.mode_pads & display::kPadsPinNumbers)
            .check("pads_signal", "Signal names on pads", s.mode_pads & display::kPadsSignalNames)
            .check("pads_mask", "Pad mask/paste mode", s.mode_pads & display::kPadsMaskPaste)
            .choice("text", "Text", kTextModes, s.mode_text & 3)
            .check("refs_angle", "Angle/distance on the status bar", s.mode_refs & display::kRefsAngleReadout)
            .check("refs_hook", "Component hook points", s.mode_refs & display::kRefsHookPoints)
            .check("refs_vertices", "Track vertices", s.mode_refs & display::kRefsTrackVertices)
            .check("refs_centres", "Arc centre points", s.mode_refs & display::kRefsArcCentres)
            .build();
    return run_form(
        app, f,
        [](Answers& in, Setup& next) {
            in.choice("lines", 4, next.mode_lines, 3);
            in.check("lines_signal", next.mode_lines, display::kLinesSignalNames);
            in.choice("pads", 4, next.mode_pads, 3);
            in.check("pads_pins", next.mode_pads, display::kPadsPinNumbers);
            in.check("pads_signal", next.mode_pads, display::kPadsSignalNames);
            in.check("pads_mask", next.mode_pads, display::kPadsMaskPaste);
            in.choice("text", 4, next.mode_text, 3);
            in.check("refs_angle", next.mode_refs, display::kRefsAngleReadout);
            in.check("refs_hook", next.mode_refs, display::kRefsHookPoints);
            in.check("refs_vertices", next.mode_refs, display::kRefsTrackVertices);
            in.check("refs_centres", next.mode_refs, display::kRefsArcCentres);
        },
        [](const Setup& was, Setup& next) { return settle_lines(was, next, {"gm"}); });
}

// --- SF: the component libraries -------------------------------------------------------------------

// Up to 32 names in search order, typed as text (the form has no file field); empty entries close up,
// as the "-b" reader would close them.  The folder bare names are looked up in is a program setting,
// not the Document's.
int libraries(App& app) {
    const Setup& s = app.doc()->setup;
    const std::string path = read_setting(app, "Library Path");
    platform::FormBuilder box("SetupLibrariesBox", "Library Files Used");
    box.text("path", "Library Path", path);
    for (size_t i = 0; i < kLibraries; ++i) {
        const auto& l = s.libraries[i];
        box.file("lib" + num(static_cast<int>(i)), "Library " + num(static_cast<int>(i) + 1),
                 std::string(l.data(), strnlen(l.data(), l.size())), {"Component Libraries|*.lib;*.LIB", "All Files|*"});
    }
    platform::Form f = std::move(box).build();
    const std::string program_dir = app.shell.program_dir;
    int ok = run_form(
        app, f,
        [&program_dir](Answers& in, Setup& next) {
            // A library picked in the folder bare names are looked up in is kept by its bare name.
            std::string folder = std::string(model::trim_blanks(in.text("path")));
            if (folder.empty()) {
                folder = platform::find_data_dir(program_dir, "LIBRARY");
            }
            std::error_code ec;
            // Compared as the folders of names in them, so "/a/b", "/a/b/" and "/a/b/." are one folder.
            const std::filesystem::path home =
                std::filesystem::weakly_canonical(std::filesystem::path(folder) / "x", ec).parent_path();
            decltype(next.libraries) list{};
            size_t kept = 0;
            for (size_t i = 0; i < kLibraries; ++i) {
                const std::string id = "lib" + num(static_cast<int>(i));
                std::string t = in.text(id);
                if (t.empty()) {
                    continue;
                }
                std::filesystem::path picked(t);
                if (!folder.empty() && picked.has_parent_path() &&
                    std::filesystem::weakly_canonical(picked, ec).parent_path() == home && !ec) {
                    t = picked.filename().string();
                }
                if (t.size() > kLibraryChars) {
                    in.refuse(id, shell::quoted(t) + " is too long: a library name has at most 32 characters.\n\nPut the "
                                              "library in the Library Path folder and name it alone.");
                } else if (has_control(t)) {
                    in.refuse(id, "a library name cannot hold control characters.");
                } else {
                    std::memcpy(list[kept++].data(), t.data(), t.size());
                }
            }
            next.libraries = list;
        },
        [](const Setup& was, Setup& next) {
            if (next.libraries == was.libraries) {
                return false;
            }
            const Setup typed = next;
            model::ApplyDirective(next, "-b");
            for (size_t i = 0; i < kLibraries; ++i) {
                std::string line = model::directive_line(typed, "b" + num(static_cast<int>(i)));
                if (!line.empty()) {
                    model::ApplyDirective(next, line);
                }
            }
            return true;
        });
    std::string typed = std::string(model::trim_blanks(f.get("path")));
    if (ok && typed != path) {
        write_setting(app, "Library Path", typed);
    }
    return ok;
}

struct LayersDialog {
    uint16_t cmd;
    int (*run)(App&);
};

constexpr LayersDialog kDialogs[] = {
    {code('S', 'L'), layers},
    {code('S', 'M'), graphic_mode},
    {code('S', 'F'), libraries},
};

} // namespace

bool is_layers_dialog(uint16_t cmd) {
    return std::any_of(std::begin(kDialogs), std::end(kDialogs), [cmd](const LayersDialog& d) { return d.cmd == cmd; });
}

int layers_dialog(App& app, uint16_t cmd) {
    for (const LayersDialog& d : kDialogs) {
        if (d.cmd == cmd) {
            return d.run(app);
        }
    }
    return 0;
}

} // namespace trazel::shell
