// The Block group: defining the Block (BG, BI), its layers and transform (BL, BR, BX, BY, the R key),
// the move, copy and compare that wait for a target point (BM, BC, BH), the deletes (BD, BU), building a
// Component (BB, BN), release (BE) and the animated outline (BP).  BF, BA, BT and BO belong to the
// copper tools.
#include <algorithm>
#include <cmath>
#include <memory>

#include "display/display.h"
#include "edit/area.h"
#include "edit/block.h"
#include "edit/commands.h"
#include "edit/dialog_fields.h"
#include "edit/place_draw.h"
#include "edit/status.h"
#include "edit/undo.h"
#include "model/numbers.h"
#include "platform/form_builder.h"
#include "shell/app.h"
#include "shell/commands.h"
#include "shell/modes.h"
#include "shell/settings.h"
#include "shell/status.h"

namespace trazel::edit {

using model::Node;
using model::node;
using shell::code;

namespace {

// What the group keeps between clicks.
struct BlockSession {
    Point corner{};            // the first corner while the second is awaited
    std::vector<Point> polygon; // BI: the vertices once the polygon is closed
    PolygonDraw draw;           // BI: the polygon being drawn
    const model::Document* sketch_doc = nullptr;
    bool from_key = false;    // BG came from a key: BM follows the definition
    uint64_t armed = 0;       // the command serial when the pending target function was (re)installed
    int increment = 0;        // "BlockCopyBox", kept between uses
    BlockAction action = BlockAction::None;
};

BlockSession& session(App& app) {
    return app.state<BlockSession>();
}

Block& the_block(App& app) {
    return editor(app).block;
}

void ensure_messages(App& app) {
    if (app.shell.messages.count(shell::message_key(kMsgBlockFirstCorner)) == 0) {
        load_edit_messages(app);
    }
}

SpatialIndex* synced_index(App& app, model::Document& doc) {
    SpatialIndex& index = editor(app).index;
    index.sync(doc);
    return &index;
}

model::Box outline_box(const Block& b) {
    model::Box x;
    x.add(b.left, b.bottom);
    x.add(b.right, b.top);
    return x;
}

// The outline's area on the screen again (drawn or taken away by the full redraw of that region).
void redraw_outline(App& app, const Block& b) {
    if (!b.defined() || b.doc != app.doc()) {
        return;
    }
    model::Box x = outline_box(b);
    Coord grow = 4 * pick_tolerance(app.display.view.scale);
    x.x1 -= grow;
    x.y1 -= grow;
    x.x2 += grow;
    x.y2 += grow;
    redraw_region(app.display, *b.doc, x);
}

void redraw_area(App& app, const model::Document& doc, const model::Box& area) {
    if (&doc == app.doc() && !area.empty()) {
        redraw_region(app.display, doc, area);
    }
}

// The outline in the highlight colour, dashed (8 pixels on, 8 off) from the animation's phase.
void draw_outline(App& app, display::Display& d, display::Raster& r) {
    const Block& b = the_block(app);
    if (!b.defined() || b.doc != app.doc()) {
        return;
    }
    std::vector<Point> pts = b.outline;
    if (pts.empty()) {
        pts = {{b.left, b.bottom}, {b.right, b.bottom}, {b.right, b.top}, {b.left, b.top}};
    }
    uint32_t pixel = b.doc->setup.highlight_pixel;
    int64_t pix = std::max<int64_t>(1, pick_tolerance(d.view.scale));
    int64_t dash = 8 * pix;
    int64_t phase = app.shell.options.animated_block ? app.shell.block_dash_phase * pix : 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        Point a = pts[i], c = pts[(i + 1) % pts.size()];
        double dx = double(c.x) - a.x, dy = double(c.y) - a.y;
        double len = std::sqrt(dx * dx + dy * dy);
        if (len < 1) {
            continue;
        }
        for (double s = -double(phase); s < len; s += 2.0 * double(dash)) {
            double s0 = std::max(0.0, s), s1 = std::min(len, s + double(dash));
            if (s1 <= s0) {
                continue;
            }
            auto at = [&](double t) {
                return Point{static_cast<Coord>(std::llround(a.x + dx * t / len)),
                             static_cast<Coord>(std::llround(a.y + dy * t / len))};
            };
            Point p0 = at(s0), p1 = at(s1);
            display::wide_line_units(d.view, r, pixel, 0, p0.x, p0.y, p1.x, p1.y);
        }
    }
}

// Full redraws draw the Block's outline and a polygon being drawn for BI with what hangs on the cursor.
struct HeldHook {
    std::function<void(display::Display&, display::Raster&)> previous;
    App* app;
    void operator()(display::Display& d, display::Raster& r) const {
        if (previous) {
            previous(d, r);
        }
        draw_outline(*app, d, r);
        BlockSession& s = session(*app);
        if (s.sketch_doc != nullptr && s.sketch_doc == app->doc()) {
            draw_sketch(s.draw.outline, d, r, s.sketch_doc);
        }
    }
};

struct CursorHook {
    std::function<void(App&)> previous;
    void operator()(App& app) const {
        if (previous) {
            previous(app);
        }
        BlockSession& s = session(app);
        if (s.sketch_doc != nullptr && s.sketch_doc == app.doc() && !s.draw.points.empty()) {
            follow_polygon(s.draw, app.display, *app.doc(), cursor_point(app));
        }
    }
};

void end_sketch(App& app) {
    BlockSession& s = session(app);
    const model::Document* on = s.sketch_doc == app.doc() ? app.doc() : nullptr;
    cancel_polygon(s.draw, app.display, on);
    s.sketch_doc = nullptr;
}

int end_function(App& app) {
    display::end_rubber_band(app.display);
    end_sketch(app);
    shell::clear_function(app);
    app.shell.status.text.clear();
    shell::refresh_status_bar(app);
    return 1;
}

// A grab hanging from another function goes down before the Block works on the Document.
void drop_hanging(App& app) {
    if (grab_pending(app)) {
        drop_grab(app);
    }
}

bool need_block(App& app) {
    if (!the_block(app).defined()) {
        shell::show_message(app, kMsgBlockUndefined);
        return false;
    }
    return true;
}

bool pending_alive(App& app) {
    const Block& b = the_block(app);
    return b.defined() && b.pending != BlockAction::None && session(app).armed + 1 == app.shell.command_serial;
}

int target_click(App& app);

int prompt_of(BlockAction a) {
    switch (a) {
    case BlockAction::Copy:
        return kMsgBlockCopyTarget;
    case BlockAction::Compare:
        return kMsgBlockCompareTarget;
    default:
        return kMsgBlockMoveTarget;
    }
}

// Installs the function that waits for the target point of a move, copy or compare.
void arm(App& app, BlockAction a) {
    Block& b = the_block(app);
    b.pending = a;
    session(app).armed = app.shell.command_serial;
    shell::enter_trazel_mode(app);
    shell::set_function(app, target_click,
                        [](App& x) {
                            the_block(x).pending = BlockAction::None;
                            return end_function(x);
                        },
                        shell::message_text(app, prompt_of(a)));
}

// --- Definition ----------------------------------------------------------------------------------------

void defined(App& app) {
    BlockSession& s = session(app);
    shell::clear_function(app);
    redraw_outline(app, the_block(app));
    shell::show_message(app, kMsgBlockDefined);
    if (s.from_key) {
        arm(app, BlockAction::Move);
        // The definition message stays under the move's prompt.
    }
}

int source_click(App& app) {
    BlockSession& s = session(app);
    Block& b = the_block(app);
    model::Document& doc = *app.doc();
    if (s.polygon.size() >= 3) {
        define_block(b, doc, s.polygon, cursor_point(app));
        s.polygon.clear();
    } else {
        define_block(b, doc, s.corner, cursor_point(app), cursor_point(app));
        // define_block took the cursor as the second corner: the corner came before.
    }
    defined(app);
    return 1;
}

int second_corner_click(App& app) {
    BlockSession& s = session(app);
    display::end_rubber_band(app.display);
    Point second = cursor_point(app);
    Point first = s.corner;
    shell::set_function(
        app,
        [first, second](App& a) {
            Block& b = the_block(a);
            define_block(b, *a.doc(), first, second, cursor_point(a));
            defined(a);
            return 1;
        },
        end_function, shell::message_text(app, kMsgBlockSource));
    return 1;
}

int first_corner_click(App& app) {
    BlockSession& s = session(app);
    display::Display& d = app.display;
    s.corner = cursor_point(app);
    display::crosshair_off(d);
    d.band = display::RubberBand::Rectangle;
    d.band_row = d.view.cursor_row;
    d.band_col = d.view.cursor_col;
    if (app.shell.trazel_mode) {
        display::crosshair_on(d);
    }
    shell::set_function(app, second_corner_click, end_function, shell::message_text(app, kMsgBlockSecondCorner));
    return 1;
}

// BG and BI first release a Block of this Document; one in another Document stays and nothing happens.
bool start_definition(App& app, shell::Source source) {
    Block& b = the_block(app);
    if (b.defined() && b.doc != app.doc()) {
        shell::show_message(app, kMsgBlockRelease);
        return false;
    }
    drop_hanging(app);
    if (b.defined()) {
        Block old = b;
        release_block(b);
        redraw_outline(app, old);
    }
    BlockSession& s = session(app);
    s.from_key = source == shell::kSourceKey;
    s.polygon.clear();
    shell::enter_trazel_mode(app);
    return true;
}

int block_rectangle(App& app, shell::Source source) {
    if (!start_definition(app, source)) {
        return 0;
    }
    shell::set_function(app, first_corner_click, end_function, shell::message_text(app, kMsgBlockFirstCorner));
    if (source == shell::kSourceKey || source == shell::kSourceRepeat) {
        first_corner_click(app);
    }
    return 1;
}

int polygon_left(App& app) {
    BlockSession& s = session(app);
    s.sketch_doc = app.doc();
    size_t n = polygon_click(s.draw, app.display, *app.doc(), cursor_point(app));
    shell::show_message(app, polygon_prompt(n));
    return 1;
}

// The finish event: with three or more vertices the source point is asked next.
int polygon_right(App& app) {
    BlockSession& s = session(app);
    if (s.draw.points.size() < 3) {
        return end_function(app);
    }
    s.polygon = s.draw.points;
    end_sketch(app);
    shell::set_function(app, source_click, end_function, shell::message_text(app, kMsgBlockSource));
    return 1;
}

int block_polygon(App& app, shell::Source source) {
    if (!start_definition(app, source)) {
        return 0;
    }
    end_sketch(app);
    shell::set_function(app, polygon_left, polygon_right, shell::message_text(app, kMsgPolygonFirst));
    if (source == shell::kSourceKey || source == shell::kSourceRepeat) {
        polygon_left(app);
    }
    return 1;
}

// --- Move, copy, compare -----------------------------------------------------------------------------------

int target_click(App& app) {
    Block& b = the_block(app);
    BlockAction a = b.pending;
    b.pending = BlockAction::None;
    shell::clear_function(app);
    if (!b.defined() || app.doc() == nullptr) {
        return end_function(app);
    }
    model::Document& here = *app.doc();
    Point target = cursor_point(app);
    if (a != BlockAction::Compare && !redo_purge_check(app)) {
        return end_function(app);
    }
    Block before = b;
    BlockResult res;
    switch (a) {
    case BlockAction::Move:
        if (b.doc == &here) {
            res = block_move(b, target, synced_index(app, here));
        } else if (sheets_of_one_schematic(b.doc->name(), here.name())) {
            model::Document& from = *b.doc;
            res = block_move_to(b, here, target);
            (void)from;
        } else {
            shell::show_message(app, kMsgBlockNoMove);
            return 0;
        }
        redraw_outline(app, before);
        break;
    case BlockAction::Copy:
        res = block_copy(b, here, target, session(app).increment);
        break;
    case BlockAction::Compare:
        res = block_compare(b, here, target, synced_index(app, here));
        break;
    case BlockAction::None:
        return end_function(app);
    }
    redraw_area(app, here, res.area);
    redraw_outline(app, b);
    app.shell.status.text.clear();
    shell::refresh_status_bar(app);
    return 1;
}

int block_target(App& app, BlockAction a, shell::Source source) {
    if (!need_block(app)) {
        return 0;
    }
    drop_hanging(app);
    Block& b = the_block(app);
    if (a == BlockAction::Copy && block_has_references(b)) {
        BlockSession& s = session(app);
        platform::Form f = platform::FormBuilder("BlockCopyBox", "Block Copy")
                               .number("increment", "Reference ID increment", s.increment)
                               .build();
        if (!shell::run_dialog(app, f)) {
            return 0;
        }
        model::Cursor cur(f.get("increment"));
        s.increment = static_cast<int>(std::clamp<int64_t>(model::read_int(cur), -100000000, 100000000));
    } else if (a == BlockAction::Copy) {
        session(app).increment = 0;
    }
    arm(app, a);
    if (source == shell::kSourceKey || source == shell::kSourceRepeat) {
        return target_click(app);
    }
    return 1;
}

// --- Layers and transform --------------------------------------------------------------------------------

// BL, BR, BX and BY leave a pending move, copy or compare waiting.
void rearm_if_pending(App& app, bool was_pending, BlockAction a) {
    if (was_pending) {
        arm(app, a);
    }
}

int block_layers(App& app) {
    if (!need_block(app)) {
        return 0;
    }
    bool was = pending_alive(app);
    Block& b = the_block(app);
    BlockAction a = b.pending;
    const model::Setup& s = b.doc->setup;
    platform::FormBuilder fb("BlockLayersBox", "Block Layers");
    for (int i = 0; i < 256; ++i) {
        if (s.layers[i].in_use()) {
            fb.check("layer" + std::to_string(i), std::to_string(i) + "  " + s.layers[i].name, b.layers[i]);
        }
    }
    platform::Form f = fb.build();
    if (shell::run_dialog(app, f)) {
        for (int i = 0; i < 256; ++i) {
            if (s.layers[i].in_use()) {
                b.layers[i] = f.get("layer" + std::to_string(i)) == "1";
            }
        }
    }
    rearm_if_pending(app, was, a);
    return 1;
}

int block_rotation(App& app) {
    if (!need_block(app)) {
        return 0;
    }
    bool was = pending_alive(app);
    Block& b = the_block(app);
    BlockAction a = b.pending;
    platform::Form f = platform::FormBuilder("BlockRotationBox", "Block Rotation")
                           .text("angle", "Rotation angle (degrees)", model::angle_string(b.angle))
                           .text("scale", "Scale factor", model::fixed_string(b.scale))
                           .check("mirror_x", "Mirror X", b.mirror_x)
                           .check("mirror_y", "Mirror Y", b.mirror_y)
                           .build();
    if (shell::run_dialog(app, f)) {
        model::Angle angle = 0;
        int32_t scale = 0;
        if (!degrees_field(f.get("angle"), angle)) {
            shell::show_message(app, kMsgBadAngle);
        } else if (!factor_field(f.get("scale"), scale)) {
            shell::show_message(app, kMsgBadFactor);
        } else {
            b.angle = angle;
            b.scale = scale;
            b.mirror_x = f.get("mirror_x") == "1";
            b.mirror_y = f.get("mirror_y") == "1";
        }
    }
    rearm_if_pending(app, was, a);
    return 1;
}

int block_mirror(App& app, bool x) {
    if (!pending_alive(app)) {
        if (need_block(app)) {
            shell::show_message(app, kMsgBlockNotPending);
        }
        return 0;
    }
    Block& b = the_block(app);
    (x ? b.mirror_x : b.mirror_y) = !(x ? b.mirror_x : b.mirror_y);
    arm(app, b.pending);
    return 1;
}

// --- Delete, build, release ----------------------------------------------------------------------------

int block_delete_command(App& app, bool inside) {
    if (!need_block(app)) {
        return 0;
    }
    Block& b = the_block(app);
    if (b.doc != app.doc()) {
        shell::show_message(app, kMsgBlockNoDelete);
        return 0;
    }
    drop_hanging(app);
    if (!redo_purge_check(app)) {
        return 0;
    }
    BlockResult res = block_delete(b, inside, synced_index(app, *b.doc));
    redraw_area(app, *b.doc, res.area);
    redraw_outline(app, b);
    return 1;
}

constexpr const char* kBuildWarningTitle = "Build Component Warning";
constexpr const char* kBuildWarningText =
    "The defined block contains pre-existing\ncomponents.  This function will dissolve\nall contained components and "
    "build their\nconstituent parts into a new component.\n\nDo you wish to proceed?";

int block_build_command(App& app, bool pseudo) {
    if (!need_block(app)) {
        return 0;
    }
    Block& b = the_block(app);
    if (b.doc != app.doc()) {
        shell::show_message(app, kMsgBlockOtherFile);
        return 0;
    }
    drop_hanging(app);
    std::vector<Ref> inside = block_members(b, *b.doc, false);
    if (inside.empty()) {
        shell::show_message(app, kMsgBlockEmpty);
        return 0;
    }
    bool components = std::any_of(inside.begin(), inside.end(),
                                  [](Ref r) { return node(r).item_kind() == model::kComponent; });
    if (!pseudo && components &&
        shell::ask(app, kBuildWarningText, kBuildWarningTitle, platform::Buttons::OkCancel) != platform::Answer::Ok) {
        return 0;
    }
    platform::FormBuilder fb("BuildCompBox", "Build Component");
    static constexpr const char* kLabels[5] = {"Pattern", "Reference ID", "Value", "Field 3", "Field 4"};
    for (int i = 0; i < 5; ++i) {
        fb.text("field" + std::to_string(i), kLabels[i], "");
    }
    platform::Form f = fb.build();
    if (!shell::run_dialog(app, f)) {
        return 0;
    }
    std::array<std::string, 5> fields;
    for (int i = 0; i < 5; ++i) {
        fields[static_cast<size_t>(i)] = f.get("field" + std::to_string(i));
    }
    if (fields[0].empty()) {
        return 0;
    }
    model::Document& doc = *b.doc;
    Block old = b;
    Ref c = block_build(b, fields, pseudo);
    if (c == model::kNone) {
        shell::show_message(app, kMsgPoolExhausted);
        return 0;
    }
    redraw_outline(app, old);
    redraw_area(app, doc, item_area(c));
    return 1;
}

int block_release(App& app) {
    if (!need_block(app)) {
        return 0;
    }
    Block old = the_block(app);
    release_block(the_block(app));
    redraw_outline(app, old);
    return 1;
}

int block_perimeter(App& app) {
    bool on = !app.shell.options.animated_block;
    app.shell.options.animated_block = on;
    shell::write_setting(app, "Animated Block Perimeter", on ? "Y" : "N");
    redraw_outline(app, the_block(app));
    return 1;
}

int block_command(App& app, uint16_t c, shell::Source source) {
    ensure_messages(app);
    if (app.doc() == nullptr) {
        shell::error_sound(app);
        return 0;
    }
    switch (c & 0xFF) {
    case 'G':
        return block_rectangle(app, source);
    case 'I':
        return block_polygon(app, source);
    case 'P':
        return block_perimeter(app);
    case 'E':
        return block_release(app);
    case 'M':
        return block_target(app, BlockAction::Move, source);
    case 'C':
        return block_target(app, BlockAction::Copy, source);
    case 'H':
        return block_target(app, BlockAction::Compare, source);
    case 'D':
        return block_delete_command(app, true);
    case 'U':
        return block_delete_command(app, false);
    case 'B':
        return block_build_command(app, false);
    case 'N':
        return block_build_command(app, true);
    case 'L':
        return block_layers(app);
    case 'R':
        return block_rotation(app);
    case 'X':
        return block_mirror(app, true);
    case 'Y':
        return block_mirror(app, false);
    default:
        shell::error_sound(app);
        return 0;
    }
}

} // namespace

void install_block(App& app) {
    for (char l : std::string_view("GIPEMCHDUBNLRXY")) {
        shell::set_command_handler(app, code('B', l), block_command);
    }
    shell::EditHooks& h = app.shell.edit;
    // The fixed keys X, Y, R, A and K act on the Block of the current Document, unless Items hang on
    // the cursor.
    h.block_active = [](App& a) {
        const Block& b = the_block(a);
        return b.defined() && b.doc == a.doc() && !grab_pending(a);
    };
    shell::ServiceHooks& s = app.shell.services.hooks;
    s.rotate_block = [](App& a) {
        Block& b = the_block(a);
        b.angle = static_cast<model::Angle>(b.angle + 16384);
        return 1;
    };
    s.block_outline_shown = [](App& a) {
        const Block& b = the_block(a);
        return b.defined() && b.doc == a.doc();
    };
    s.block_outline_redraw = [](App& a, int) { redraw_outline(a, the_block(a)); };
    h.cursor_moved = CursorHook{h.cursor_moved};
    app.display.hooks.draw_held = HeldHook{app.display.hooks.draw_held, &app};
    auto closing = h.closing_document;
    h.closing_document = [closing](App& a, model::Document& d) {
        if (closing) {
            closing(a, d);
        }
        if (the_block(a).doc == &d) {
            release_block(the_block(a));
        }
    };
}

} // namespace trazel::edit
