// BF, BA, BT and BO: the copper tools' dialogs over the engine.  Each works on the Block of the current
// Document; the runs themselves (flood.h, teardrops.h, isolate.h, cam/milling.h) know nothing of the shell.
//
// The dialogs are forms with OK and Cancel only, so the buttons that choose what a run does ("Flood
// Fill" or "Hatch"; top, bottom or both sides) are a choice field that OK carries out.
#include "copper/commands.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cam/milling.h"
#include "copper/flood.h"
#include "copper/isolate.h"
#include "copper/teardrops.h"
#include "display/display.h"
#include "edit/commands.h"
#include "edit/dialog_fields.h"
#include "edit/status.h"
#include "platform/form_builder.h"
#include "platform/run_context.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"
#include "shell/status.h"
#include "shell/window_events.h"

namespace trazel::copper {

using shell::code;

namespace {

constexpr const char* kMillTitle = "TRAZEL'98";
constexpr const char* kRowIds[4] = {"drill", "top", "bottom", "route"};
constexpr const char* kRowLabels[4] = {"Drill", "Top", "Bottom", "Route"};

// What the dialogs keep between uses that has no place in the Setup directives.
struct CopperSession {
    Coord mesh = 0;          // the hatch mesh of "FloodFillBox"
    int fill_mode = 0;       // 0 Flood Fill, 1 Hatch
    int side = 0;            // "TrackIsolationBox": 0 top, 1 bottom, 2 both
    cam::MillSettings mill;  // "IsolationOutputBox": the four rows and the path prefix
};

CopperSession& session(App& app) {
    return app.state<CopperSession>();
}

// The current Document when it owns the Block; else the missing-Block message and nullptr.
model::Document* block_document(App& app) {
    model::Document* doc = app.doc();
    if (doc == nullptr) {
        shell::error_sound(app);
        return nullptr;
    }
    if (app.shell.messages.count(shell::message_key(edit::kMsgBlockUndefined)) == 0) {
        edit::load_edit_messages(app);
    }
    if (!edit::editor(app).block.defined_in(*doc)) {
        shell::show_message(app, edit::kMsgBlockUndefined);
        return nullptr;
    }
    shell::cancel_items(app);
    return doc;
}

// A layer set as the dialogs show it: layer numbers separated by commas ("" for none).
std::string layers_text(const model::LayerSet& set) {
    std::string out;
    for (int l = 0; l < 256; ++l) {
        if (set[static_cast<size_t>(l)]) {
            out += (out.empty() ? "" : ",") + std::to_string(l);
        }
    }
    return out;
}

// Numbers or names separated by commas or blanks; what names no layer is left out.
model::LayerSet layers_field(const model::Setup& s, const std::string& text) {
    model::LayerSet set;
    std::string item;
    auto take = [&] {
        int l = edit::layer_field(s, edit::trimmed(item), -1);
        if (l >= 0 && l < 255) {
            set[static_cast<size_t>(l)] = true;
        }
        item.clear();
    };
    for (char c : text) {
        if (c == ',' || c == ' ') {
            take();
        } else {
            item.push_back(c);
        }
    }
    take();
    return set;
}

// An empty or unreadable length keeps the value it had.
void read_length(const platform::Form& f, const std::string& id, Coord& v) {
    if (!edit::trimmed(f.get(id)).empty()) {
        v = std::max<Coord>(0, edit::length_field(f.get(id)));
    }
}

void read_short_length(const platform::Form& f, const std::string& id, model::Length& v) {
    Coord c = v;
    read_length(f, id, c);
    v = static_cast<model::Length>(std::min<Coord>(c, 0xFFFF));
}

std::function<void(Ref)> drawer(App& app, model::Document& doc) {
    return [&app, &doc](Ref item) {
        if (app.doc() == &doc) {
            display::draw_item(app.display, doc, item);
            app.shell.surface.dirty = true;
        }
    };
}

// The end of a run: the view shows what was laid, the status bar says how much.
void finish(App& app, bool out_of_nodes, const std::string& done) {
    shell::redraw(app);
    if (out_of_nodes) {
        shell::show_message(app, edit::kMsgPoolExhausted);
    } else {
        shell::show_text(app, done);
    }
}

// --- BF ----------------------------------------------------------------------------------------------

platform::Form fill_form(const FillSettings& f, const CopperSession& ses) {
    return platform::FormBuilder("FloodFillBox", "Flood Fill")
        .text("layer", "Destination layer", edit::layer_text(f.destination))
        .text("sources", "Source layers (none: the destination layer)", layers_text(f.sources))
        .text("thermal", "Thermal connection signal", f.thermal)
        .text("direct", "Direct connection signal", f.direct)
        .text("width", "Fill line width", edit::length_text(f.width))
        .text("iso_lines", "Line isolation", edit::length_text(f.iso_lines))
        .text("iso_pads", "Pad isolation", edit::length_text(f.iso_pads))
        .text("mesh", "Hatch mesh spacing", edit::length_text(ses.mesh))
        .choice("mode", "Run", {"Flood Fill", "Hatch"}, ses.fill_mode)
        .build();
}

int flood_fill_command(App& app) {
    model::Document* doc = block_document(app);
    if (doc == nullptr) {
        return 0;
    }
    CopperSession& ses = session(app);
    FillSettings f = fill_settings(doc->setup);
    f.mesh = ses.mesh;
    platform::Form form = fill_form(f, ses);
    if (!shell::run_dialog(app, form) || !edit::redo_purge_check(app)) {
        return 0;
    }
    f.destination = edit::layer_field(doc->setup, form.get("layer"), f.destination);
    f.sources = layers_field(doc->setup, form.get("sources"));
    // Signal names are kept to the 31 characters the Setup holds.
    f.thermal = edit::trimmed(form.get("thermal")).substr(0, 31);
    f.direct = edit::trimmed(form.get("direct")).substr(0, 31);
    read_length(form, "width", f.width);
    read_length(form, "iso_lines", f.iso_lines);
    read_length(form, "iso_pads", f.iso_pads);
    read_length(form, "mesh", f.mesh);
    ses.mesh = f.mesh;
    ses.fill_mode = edit::index_field(form.get("mode"), 2, ses.fill_mode);
    store_fill_settings(doc->setup, f);
    doc->mark_modified();

    FillHooks hooks;
    hooks.unconnected = [&app](const std::string& text, Point) {
        return shell::ask(app, text, kUnconnectedTitle, platform::Buttons::OkCancel, 1) == platform::Answer::Ok;
    };
    hooks.draw = drawer(app, *doc);
    platform::RunContext run(app.platform());
    FillResult r = flood_fill(*doc, edit::editor(app).block, f, ses.fill_mode == 1 ? FillMode::Hatch : FillMode::Flood,
                              hooks, run);
    std::string what = ses.fill_mode == 1 ? "Hatch: " : "Flood Fill: ";
    finish(app, r.out_of_nodes,
           what + std::to_string(r.created) + (r.created == 1 ? " item" : " items") + " laid" +
               (r.unconnected > 0 ? ", " + std::to_string(r.unconnected) + " pads not connected." : "."));
    return 1;
}

// --- BA ----------------------------------------------------------------------------------------------

int teardrop_command(App& app) {
    model::Document* doc = block_document(app);
    if (doc == nullptr) {
        return 0;
    }
    if (shell::ask(app, kTeardropQuestion, kTeardropTitle, platform::Buttons::OkCancel, 1) != platform::Answer::Ok ||
        !edit::redo_purge_check(app)) {
        return 0;
    }
    TeardropResult r = add_teardrops(*doc, edit::editor(app).block, drawer(app, *doc));
    finish(app, r.out_of_nodes, "Teardrops: " + std::to_string(r.created) + " added.");
    return 1;
}

// --- BT ----------------------------------------------------------------------------------------------

constexpr const char* kSideIds[2] = {"top_", "bottom_"};
constexpr const char* kSideNames[2] = {"Top side: ", "Bottom side: "};

void isolation_fields(platform::FormBuilder& b, int side, const model::TrackIsolation& t) {
    std::string id = kSideIds[side], name = kSideNames[side];
    size_t signal_len = strnlen(t.signal, sizeof t.signal);
    b.text(id + "layer", name + "target layer", edit::layer_text(t.target))
        .text(id + "sources", name + "source layers", layers_text(t.sources))
        .text(id + "signal", name + "signal", std::string(t.signal, signal_len))
        .number(id + "passes", name + "isolation passes", t.passes, 0, 99)
        .text(id + "iso_tool", name + "isolation tool size", edit::length_text(t.iso_tool))
        .text(id + "iso_overlap", name + "isolation overlap", edit::length_text(t.iso_overlap))
        .text(id + "iso_clear", name + "isolation item clearance", edit::length_text(t.iso_clearance))
        .text(id + "flood_tool", name + "flood tool size", edit::length_text(t.flood_tool))
        .text(id + "flood_overlap", name + "flood overlap", edit::length_text(t.flood_overlap))
        .text(id + "flood_clear", name + "flood item clearance", edit::length_text(t.flood_clearance));
}

void read_isolation(const platform::Form& f, int side, const model::Setup& s, model::TrackIsolation& t) {
    std::string id = kSideIds[side];
    t.target = edit::layer_field(s, f.get(id + "layer"), t.target);
    t.sources = layers_field(s, f.get(id + "sources"));
    std::string signal = edit::trimmed(f.get(id + "signal"));
    std::memset(t.signal, 0, sizeof t.signal);
    std::memcpy(t.signal, signal.data(), std::min(signal.size(), sizeof t.signal - 1));
    std::string passes = edit::trimmed(f.get(id + "passes"));
    if (!passes.empty() && passes.find_first_not_of("0123456789") == std::string::npos && passes.size() <= 2) {
        t.passes = std::stoi(passes);
    }
    read_short_length(f, id + "iso_tool", t.iso_tool);
    read_short_length(f, id + "iso_overlap", t.iso_overlap);
    read_short_length(f, id + "iso_clear", t.iso_clearance);
    read_short_length(f, id + "flood_tool", t.flood_tool);
    read_short_length(f, id + "flood_overlap", t.flood_overlap);
    read_short_length(f, id + "flood_clear", t.flood_clearance);
}

int isolation_command(App& app) {
    model::Document* doc = block_document(app);
    if (doc == nullptr) {
        return 0;
    }
    CopperSession& ses = session(app);
    model::Setup& s = doc->setup;
    platform::FormBuilder b("TrackIsolationBox", "Track Isolation");
    isolation_fields(b, 0, s.iso_top);
    isolation_fields(b, 1, s.iso_bottom);
    b.choice("side", "Run", {"Top Side", "Bottom Side", "Both Sides"}, ses.side);
    platform::Form form = std::move(b).build();
    if (!shell::run_dialog(app, form) || !edit::redo_purge_check(app)) {
        return 0;
    }
    read_isolation(form, 0, s, s.iso_top);
    read_isolation(form, 1, s, s.iso_bottom);
    ses.side = edit::index_field(form.get("side"), 3, ses.side);
    doc->mark_modified();
    static constexpr Side kSides[3] = {Side::Top, Side::Bottom, Side::Both};
    platform::RunContext run(app.platform());
    IsolateResult r = isolate_tracks(*doc, edit::editor(app).block, kSides[ses.side], drawer(app, *doc), run);
    finish(app, r.out_of_nodes,
           "Track Isolation: " + std::to_string(r.created) + " items laid in " + std::to_string(r.components) +
               (r.components == 1 ? " component." : " components."));
    return 1;
}

// --- BO ----------------------------------------------------------------------------------------------

int output_command(App& app) {
    model::Document* doc = block_document(app);
    if (doc == nullptr) {
        return 0;
    }
    cam::MillSettings& m = session(app).mill;
    platform::FormBuilder b("IsolationOutputBox", "Isolation Output");
    for (int i = 0; i < 4; ++i) {
        const cam::MillRowSettings& row = m.rows[static_cast<size_t>(i)];
        std::string id = kRowIds[i], name = kRowLabels[i];
        b.text(id + "_file", name + " file name", row.file)
            .check(id + "_mirror", name + " mirror Y", row.mirror);
        // The drill row takes every thru-hole pad; it has no source layer.
        if (i != cam::kMillDrill) {
            b.text(id + "_layer", name + " source layer", edit::layer_text(row.layer));
        }
    }
    b.text("prefix", "Path prefix", m.prefix);
    platform::Form form = std::move(b).build();
    if (!shell::run_dialog(app, form)) {
        return 0;
    }
    int files = 0;
    for (int i = 0; i < 4; ++i) {
        cam::MillRowSettings& row = m.rows[static_cast<size_t>(i)];
        std::string id = kRowIds[i];
        row.file = edit::trimmed(form.get(id + "_file"));
        row.mirror = form.get(id + "_mirror") == "1";
        if (i != cam::kMillDrill) {
            row.layer = edit::layer_field(doc->setup, form.get(id + "_layer"), row.layer);
        }
        files += row.file.empty() ? 0 : 1;
    }
    m.prefix = edit::trimmed(form.get("prefix"));
    if (!cam::write_mill_files(*doc, m)) {
        shell::ask(app, cam::kMillCreateFailed, kMillTitle, platform::Buttons::Ok);
        return 0;
    }
    shell::show_text(app, "Isolation Output: " + std::to_string(files) + (files == 1 ? " file" : " files") +
                              " written.");
    return 1;
}

} // namespace

void install_copper(App& app) {
    // The Block group's letter is the editor's; these four codes are this room's, registered after it.
    shell::set_command_handler(app, code('B', 'F'), [](App& a, uint16_t, shell::Source) { return flood_fill_command(a); });
    shell::set_command_handler(app, code('B', 'A'), [](App& a, uint16_t, shell::Source) { return teardrop_command(a); });
    shell::set_command_handler(app, code('B', 'T'), [](App& a, uint16_t, shell::Source) { return isolation_command(a); });
    shell::set_command_handler(app, code('B', 'O'), [](App& a, uint16_t, shell::Source) { return output_command(a); });
}

} // namespace trazel::copper
