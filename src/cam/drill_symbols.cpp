// The drill symbol drawing: a symbol at every hole and a table of the tools, either as a Gerber plot
// (extension "SYM") or as a Data file the editor opens.
#include <algorithm>
#include <cstdio>

#include "cam/drill_symbols.h"
#include "cam/plot_items.h"
#include "display/stroke_font.h"
#include "model/model.h"
#include "model/numbers.h"

namespace trazel::cam {

using model::Node;
using model::node;

namespace {

constexpr char kMarkNonPlated = static_cast<char>(221);
constexpr char kSymbolOpen = static_cast<char>(222);
constexpr char kSymbolClose = static_cast<char>(223);

// The symbols are drawn centred on the hole: the drill glyphs are centred half a capital above their
// origin, so the baseline goes that far below the hole.
constexpr Coord kSymbolDrop = display::kSymbolCentre * kSymbolUnit;

std::string_view hole_symbol(const ToolTable& tools, const Node& pad) {
    int t = tools.find(pad.pad.hole, hole_non_plated(pad));
    return drill_symbol(t != 0 ? t : kNoToolSymbol);
}

} // namespace

DrillTable drill_table_place(const PlotContext& ctx) {
    DrillTable t;
    bool found = false;
    model::for_each_item(ctx.ring, [&](Ref r) {
        const Node& n = node(r);
        if (found || n.hidden() || n.item_kind() != model::kComponent) {
            return;
        }
        if (model::ComponentField(r, 0).rfind("$$DTD", 0) == 0) {
            found = true;
            t.compact = true;
            t.x = std::min(n.box.x1, n.box.x2) + 6554;
            t.y = std::max(n.box.y1, n.box.y2) - 32768;
        }
    });
    if (!found) {
        t.x = ctx.setup->ext_xmax + 6554;
        t.y = ctx.setup->ext_ymax - 6554;
    }
    return t;
}

std::string drill_table_line(int n, const Tool& tool, bool compact) {
    std::string s = n < 10 ? "T0" + std::to_string(n) : "T" + std::to_string(n);
    s += "   ";
    s += size_string(tool.diameter, 3);
    if (compact) {
        s += tool.non_plated ? std::string(" ") + kMarkNonPlated + kMarkNonPlated + "NP" : std::string("   ");
    } else {
        s += tool.non_plated ? std::string("*") + kMarkNonPlated : std::string(" ");
    }
    s += "   ";
    s += kSymbolOpen;
    s += drill_symbol(n);
    s += kSymbolClose;
    char count[24];
    std::snprintf(count, sizeof count, "%8u", static_cast<unsigned>(tool.hits));
    s += count;
    return s;
}

void write_symbols_gerber(PlotContext& ctx, const model::GerberEntry& row, std::string_view file_name, TextOut& out) {
    GerberWriter w(out, ctx.apertures, ctx.setup->origin_x, ctx.setup->origin_y, &ctx.style);
    w.header();
    for_each_plot_item(ctx.ring, [&](Ref r) {
        tick(ctx);
        const Node& n = node(r);
        if (n.item_kind() != model::kPad) {
            plot_drawn_items(ctx, row, w, r);
        } else if (pad_has_hole(n)) {
            stroke_string(w, hole_symbol(ctx.tools, n), n.pad.x0, n.pad.y0, kSymbolUnit,
                          static_cast<Length>(kSymbolUnit - kSymbolUnit / 8), -kSymbolDrop);
        }
    });
    DrillTable place = drill_table_place(ctx);
    Coord y = place.y;
    for (int i = 1; i <= ctx.tools.count; ++i) {
        const Tool& t = ctx.tools.tools[static_cast<size_t>(i)];
        if (t.hits == 0) {
            continue;
        }
        // Table text has the plot label's size and stroke, both 0.072-inch text.
        stroke_string(w, drill_table_line(i, t, place.compact), place.x, y, kLabelUnit, kAperture010);
        y -= 8192;
    }
    plot_label(w, ctx, file_name);
}

// --- Data file form ----------------------------------------------------------------------------

namespace {

const char* const kDrawingHeader[] = {"TRAZEL Version 4.0 -- Data File.",
                                      "",
                                      "Setup parameters:",
                                      "-gc0,0,0,0,0,0",
                                      "-gd.1,FFFFFF,909090,FFFFFF,FFFF00",
                                      "-gm3,6,3,0",
                                      "-gp7,0,1.0,0,0,0,0",
                                      "-gs0.025,0,1,5,25,100",
                                      "-gx0,0,0,0",
                                      nullptr};
const char* const kDrawingHeaderRest[] = {"",
                                          "Item parameters:",
                                          "-i.01",
                                          "-iv0,.05,.028",
                                          "-ip1,0,.1,.1,.048",
                                          "-it.048",
                                          "",
                                          "Layer/color/plot/type/name table:",
                                          "-y1",
                                          "-y0:00AA00AA,0000FF00,0,Pad Master",
                                          "-y1:00FFFFFF,00FFFFFF,4,Symbols",
                                          "",
                                          "Gerber parameters:",
                                          "-dp.01,.005,.025,.025",
                                          "-dy",
                                          "-dySYM:6,1",
                                          "",
                                          "Component libraries:",
                                          "-b",
                                          "",
                                          "Primary Data File:",
                                          "",
                                          nullptr};

void fixed(std::string& s, int32_t v) {
    char b[16];
    s.append(b, model::write_fixed(b, v));
    s += ' ';
}

void angle(std::string& s, model::Angle v) {
    char b[16];
    s.append(b, model::write_angle(b, v));
    s += ' ';
}

// Text bytes as the Data file carries them: a CR or LF would end the record, so they become the
// Text line-break code.
void text_bytes(std::string& s, std::string_view text) {
    for (char c : text) {
        s += (c == '\r' || c == '\n') ? '\xFF' : c;
    }
}

void signal(std::string& s, Ref item) {
    model::WriteSignal(s, item);
}

} // namespace

std::string drawing_item_record(Ref item, int layer) {
    const Node& n = node(item);
    std::string s;
    std::string lay = std::to_string(layer) + " ";
    switch (n.item_kind()) {
    case model::kLine:
        if (n.size == 0) {
            Coord x1 = 0, y1 = 0, x2 = 0, y2 = 0;
            bool any = false;
            for (Ref v = n.link; v != model::kNone; v = node(v).link) {
                Coord x = node(v).line.x1, y = node(v).line.y1;
                x1 = any ? std::min(x1, x) : x, y1 = any ? std::min(y1, y) : y;
                x2 = any ? std::max(x2, x) : x, y2 = any ? std::max(y2, y) : y;
                any = true;
            }
            if (!any) {
                return {};
            }
            s = "1 " + lay + "0 ";
            fixed(s, x1), fixed(s, y1), fixed(s, x2), fixed(s, y2);
            for (Ref v = n.link; v != model::kNone; v = node(v).link) {
                while (s.back() == ' ') {
                    s.pop_back();
                }
                s += "\r\n1 " + lay + "0 ";
                fixed(s, node(v).line.x1);
                fixed(s, node(v).line.y1);
            }
            break;
        }
        s = "1 " + lay;
        fixed(s, n.size), fixed(s, n.line.x1), fixed(s, n.line.y1), fixed(s, n.line.x2), fixed(s, n.line.y2);
        signal(s, item);
        break;
    case model::kArc:
        s = "2 " + lay;
        fixed(s, n.size), fixed(s, n.arc.x0), fixed(s, n.arc.y0), fixed(s, n.arc.radius);
        angle(s, n.arc.start), angle(s, n.arc.sweep);
        fixed(s, n.arc.ellipse);
        angle(s, n.arc.angle);
        signal(s, item);
        break;
    case model::kText: {
        std::string text = model::is_signal_record(n.link) ? model::signal_name(n.link) : model::GetText(item);
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        if (text.empty()) {
            return {};
        }
        s = "4 " + lay;
        fixed(s, n.size), fixed(s, n.text.x0), fixed(s, n.text.y0), fixed(s, n.text.length);
        angle(s, n.text.angle);
        s += std::to_string(n.text.anchor_font & 15) + " " + std::to_string(n.text.anchor_font >> 4) + " ";
        text_bytes(s, text);
        break;
    }
    default:
        return {};
    }
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

void write_symbols_datafile(PlotContext& ctx, const model::GerberEntry& row, TextOut& out) {
    const model::Setup& setup = *ctx.setup;
    for (const char* const* l = kDrawingHeader; *l != nullptr; ++l) {
        out.line(*l);
    }
    {
        std::string gz = "-gz";
        char b[16];
        gz.append(b, model::write_fixed(b, setup.origin_x));
        gz += ',';
        gz.append(b, model::write_fixed(b, setup.origin_y));
        out.line(gz);
    }
    for (const char* const* l = kDrawingHeaderRest; *l != nullptr; ++l) {
        out.line(*l);
    }
    // Symbols first, centred on their holes like the Gerber form draws them.
    for_each_plot_item(ctx.ring, [&](Ref r) {
        tick(ctx);
        const Node& n = node(r);
        if (n.item_kind() != model::kPad || !pad_has_hole(n)) {
            return;
        }
        std::string s = "4 1 .048 ";
        fixed(s, n.pad.x0);
        fixed(s, static_cast<Coord>(std::max<int64_t>(static_cast<int64_t>(n.pad.y0) - kSymbolDrop, INT32_MIN)));
        s += ".1 0 0 0 ";
        s += hole_symbol(ctx.tools, n);
        out.line(s);
    });
    for_each_plot_item(ctx.ring, [&](Ref r) {
        const Node& n = node(r);
        uint8_t k = n.item_kind();
        if ((k != model::kLine && k != model::kArc && k != model::kText) ||
            !(n.layer == 0 || row.layers.test(n.layer))) {
            return;
        }
        std::string rec = drawing_item_record(r, 1);
        if (!rec.empty()) {
            out.line(rec);
        }
    });
    DrillTable place = drill_table_place(ctx);
    Coord y = place.y;
    for (int i = 1; i <= ctx.tools.count; ++i) {
        const Tool& t = ctx.tools.tools[static_cast<size_t>(i)];
        if (t.hits == 0) {
            continue;
        }
        std::string s = "4 1 .072 ";
        fixed(s, place.x);
        fixed(s, y);
        s += "1.35 0 0 0 ";
        s += drill_table_line(i, t, place.compact);
        out.line(s);
        y -= 8192;
    }
    out.line("");
    out.line("END OF FILE");
}

} // namespace trazel::cam
