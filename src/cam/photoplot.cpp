// The photoplot run: the pre-scan that fills the aperture and tool tables, the Gerber body of each file
// type, and the loop over the Document's output rows.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <unordered_map>

#include "cam/gerber_x2.h"
#include "cam/photoplot.h"
#include "cam/plot_items.h"
#include "cam/plot_output.h"
#include "model/model.h"
#include "platform/platform.h"

namespace trazel::cam {

using model::kNone;
using model::Node;
using model::node;

// --- Date and time -----------------------------------------------------------------------------

std::string plot_date(const DateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%02d", t.month % 100, t.day % 100, ((t.year % 100) + 100) % 100);
    return buf;
}

std::string plot_time(const DateTime& t) {
    int h = t.hour % 12;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d %s", h == 0 ? 12 : h, t.minute % 100, t.hour >= 12 ? "pm" : "am");
    return buf;
}

DateTime local_now() {
    std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
    DateTime t;
    if (localtime_r(&now, &tm) != nullptr) {
        t.year = tm.tm_year + 1900;
        t.month = tm.tm_mon + 1;
        t.day = tm.tm_mday;
        t.hour = tm.tm_hour;
        t.minute = tm.tm_min;
        t.second = tm.tm_sec;
        t.utc_offset = static_cast<int>(tm.tm_gmtoff / 60);
    }
    return t;
}

std::string iso_date_time(const DateTime& t) {
    int off = t.utc_offset < 0 ? -t.utc_offset : t.utc_offset;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year % 10000, t.month % 100,
                  t.day % 100, t.hour % 100, t.minute % 100, t.second % 100, t.utc_offset < 0 ? '-' : '+',
                  off / 60 % 100, off % 60);
    return buf;
}

// --- Pre-scan ----------------------------------------------------------------------------------

namespace {

Length clamp_length(int64_t v) {
    return static_cast<Length>(std::clamp<int64_t>(v, 0, 65535));
}

void register_form(ApertureTable& t, const PadForm& f) {
    switch (f.kind) {
    case PadForm::Kind::Flash:
        t.add(f.shape, f.width, f.height);
        break;
    case PadForm::Kind::Segment:
        t.add(kRoundShape, f.width, f.width);
        break;
    case PadForm::Kind::None:
    case PadForm::Kind::Painted: // painted with the fixed 0.002-inch aperture
        break;
    }
}

// The round aperture of a thru-hole pad's clearance disk on a plane, and the ring width of its thermal
// relief or isolation ring.
Length clearance_size(const model::Setup& s, const Node& pad) {
    return clamp_length(static_cast<int64_t>(pad.pad.hole) + s.plane_hole_decrement);
}

int64_t plane_ring_diameter(const model::Setup& s, const Node& pad) {
    return static_cast<int64_t>(pad.pad.hole) + s.plane_increment;
}

Length plane_ring_width(const model::Setup& s, const Node& pad) {
    return clamp_length(std::max<int64_t>(plane_ring_diameter(s, pad) / 6, 8));
}

void prescan_pad(PlotContext& ctx, const Node& pad) {
    const model::Setup& s = *ctx.setup;
    int code = pad.size & 7;
    if (pad_has_hole(pad)) {
        ctx.tools.add_hit(pad.pad.hole, hole_non_plated(pad));
    }
    PadForm base = pad_form(pad, 0);
    register_form(ctx.apertures, base);
    // Plane marks do not depend on the pad's shape, so even a painted pad registers them.
    if (code < 4 && pad.pad.hole != 0) {
        ctx.apertures.add(kRoundShape, clearance_size(s, pad), 0);
        ctx.apertures.add(kRoundShape, plane_ring_width(s, pad), 0);
    }
    if (code == 4 || base.kind == PadForm::Kind::Painted) {
        return;
    }
    register_form(ctx.apertures, pad_form(pad, s.mask_increment));
    if (code >= 5) {
        register_form(ctx.apertures, pad_form(pad, -s.paste_decrement));
    }
}

} // namespace

void prepare_plot(PlotContext& ctx, const model::Setup& setup, Ref ring, std::string_view doc_path,
                  const DateTime& when) {
    ctx.setup = &setup;
    ctx.ring = ring;
    ctx.doc_path = std::string(doc_path);
    ctx.date = plot_date(when);
    ctx.time = plot_time(when);
    ctx.style.creation_date = iso_date_time(when);
    // The raise applies to this run only: the Document's own setting stays as the user left it.
    ctx.fill_width = clamp_length(std::max<int64_t>(setup.gerber_fill_width, kAperture002));
    ctx.apertures.clear();
    ctx.tools.clear();
    ctx.apertures.add(kRoundShape, kAperture010, 0);
    ctx.apertures.add(kRoundShape, kAperture011, 0);
    ctx.apertures.add(kRoundShape, kAperture007, 0);
    ctx.apertures.add(kRoundShape, kAperture002, 0);
    ctx.apertures.add(kRoundShape, ctx.fill_width, 0);
    ctx.item_count = 0;
    for_each_plot_item(ring, [&](Ref r) {
        ++ctx.item_count;
        const Node& n = node(r);
        switch (n.item_kind()) {
        case model::kLine:
        case model::kArc:
            if (n.size != 0) {
                ctx.apertures.add(kRoundShape, n.size, 0);
            }
            break;
        case model::kPad:
            prescan_pad(ctx, n);
            break;
        case model::kText:
            text_stroke_widths(r, [&](Length w) { ctx.apertures.add(kRoundShape, w, 0); });
            break;
        default:
            break;
        }
    });
}

// --- Gerber bodies -----------------------------------------------------------------------------

namespace {

// Line end points on the selected layers, bucketed by half-inch cells, for the pad master rule of
// copper files: a thru-hole pad is plotted only where a track ends on it.
class TrackEnds {
  public:
    static constexpr Coord kReach = 32768;

    void add(Coord x, Coord y, Length width) {
        cells_[key(cell(x), cell(y))].push_back(End{x, y, width});
    }
    bool near(const Node& pad) const {
        const model::PadFields& p = pad.pad;
        int64_t cx = cell(p.x0), cy = cell(p.y0);
        int64_t pad_half = std::min(p.width, p.height) / 2;
        for (int64_t i = cx - 1; i <= cx + 1; ++i) {
            for (int64_t j = cy - 1; j <= cy + 1; ++j) {
                auto it = cells_.find(key(i, j));
                if (it == cells_.end()) {
                    continue;
                }
                for (const End& e : it->second) {
                    int64_t dx = static_cast<int64_t>(e.x) - p.x0, dy = static_cast<int64_t>(e.y) - p.y0;
                    if (dx > kReach || dx < -kReach || dy > kReach || dy < -kReach) {
                        continue;
                    }
                    int64_t r = pad_half + e.width / 2;
                    if (model::within_reach(dx, dy, r)) {
                        return true;
                    }
                }
            }
        }
        return false;
    }

  private:
    struct End {
        Coord x, y;
        Length width;
    };
    static int64_t cell(Coord v) {
        return static_cast<int64_t>(v) >> 15;
    }
    static uint64_t key(int64_t i, int64_t j) {
        return (static_cast<uint64_t>(i) << 32) ^ (static_cast<uint64_t>(j) & 0xFFFFFFFFu);
    }
    std::unordered_map<uint64_t, std::vector<End>> cells_;
};

struct Body {
    PlotContext& ctx;
    const model::GerberEntry& row;
    GerberWriter& w;
    uint8_t type;
    bool bottom;
    bool pm;
    // X2: what the row's drawn Items are when the row is an outline or drawing row (else Drawing), and the
    // Component of the Item being plotted, for the object attributes.
    bool x2 = false;
    bool drawing_row = false;
    AperFunction row_function = AperFunction::Drawing;
    Ref component = kNone;

    bool copper_file() const {
        return type == kCopper || type == kPlane;
    }
    // The drill drawing keeps the writer's own function: its symbols and table are drawn by another writer.
    void function(AperFunction f) {
        if (x2 && type != kSymbols) {
            w.set_function(f);
        }
    }
    AperFunction drawn_function(const Node& n) const {
        if (drawing_row) {
            return row_function;
        }
        switch (type) {
        case kSilk:
            return AperFunction::Legend;
        case kCopper:
        case kPlane: {
            uint8_t kind = ctx.setup->layers[n.layer].kind();
            bool copper = kind == model::kLayerCopper || kind == model::kLayerPlane;
            return n.item_kind() != model::kText && copper ? AperFunction::Conductor : AperFunction::NonConductor;
        }
        default:
            return AperFunction::Drawing;
        }
    }
    AperFunction pad_function(const Node& pad) const {
        if (drawing_row) {
            return row_function;
        }
        if (type == kSilk) {
            return AperFunction::Legend;
        }
        int code = pad.size & 7;
        if (code == 3) {
            return AperFunction::ViaPad;
        }
        if (code >= 4) {
            return AperFunction::SmdPad;
        }
        return pad_has_hole(pad) && hole_non_plated(pad) ? AperFunction::WasherPad : AperFunction::ComponentPad;
    }
    // The net of a track, or net, Reference ID and pin of a pad; copper files only.
    void object(Ref r, bool is_pad) {
        if (!x2) {
            return;
        }
        ObjectAttributes a;
        if (copper_file()) {
            a.net = model::signal_name(model::item_signal(r));
            if (is_pad && component != kNone) {
                a.component = model::ComponentField(component, 1);
                if (!a.component.empty()) {
                    a.pin = model::pin_text(r);
                }
            }
        }
        w.set_object(a);
    }

    bool selected(int layer) const {
        return row.layers.test(static_cast<size_t>(layer));
    }
    bool taken(const Node& n) const {
        return n.layer == 0 || selected(n.layer);
    }
    // A surface pad of codes 5..7 on a copper layer of this file's side.
    bool same_side_surface(const Node& pad) const {
        int code = pad.size & 7;
        const model::LayerEntry& l = ctx.setup->layers[pad.layer];
        return code >= 5 && l.kind() == model::kLayerCopper && ((l.type & model::kLayerBottom) != 0) == bottom;
    }

    void plot_drawn(Ref r) {
        const Node& n = node(r);
        uint8_t kind = n.item_kind();
        if (x2 && (kind == model::kLine || kind == model::kArc || kind == model::kText) && taken(n)) {
            function(drawn_function(n));
            object(r, false);
        }
        switch (kind) {
        case model::kLine:
            if (!taken(n)) {
                return;
            }
            if (n.size != 0) {
                w.select_round(n.size);
                w.segment(n.line.x1, n.line.y1, n.line.x2, n.line.y2);
            } else {
                w.select_round(ctx.fill_width);
                w.paint_solid(r, ctx.fill_width);
            }
            return;
        case model::kArc:
            if (taken(n) && n.size != 0) {
                w.select_round(n.size);
                w.arc(n.arc.x0, n.arc.y0, n.arc.radius, n.arc.start, n.arc.sweep, n.arc.ellipse, n.arc.angle);
            }
            return;
        case model::kText:
            if (taken(n)) {
                stroke_text(w, r);
            }
            return;
        default:
            return;
        }
    }

    void plane_marks(const Node& pad) {
        const model::Setup& s = *ctx.setup;
        int code = pad.size & 7;
        bool sel = selected(pad.layer);
        if (x2) {
            function(AperFunction::AntiPad);
            w.set_object(ObjectAttributes{});
        }
        if (!pm && !sel) {
            w.select_round(clearance_size(s, pad));
            w.flash(pad.pad.x0, pad.pad.y0);
            return;
        }
        if (pad.layer != 0 && sel && code == 3) {
            return; // a via on its own plane joins it fully
        }
        Length ring = plane_ring_width(s, pad);
        Coord r = static_cast<Coord>((plane_ring_diameter(s, pad) + ring) / 2);
        w.select_round(ring);
        if (pad.layer != 0 && sel) {
            function(AperFunction::ThermalRelief);
            static constexpr Angle kStarts[4] = {12288, 28672, 45056, 61440};
            for (Angle a : kStarts) {
                w.arc(pad.pad.x0, pad.pad.y0, r, a, 8192);
            }
        } else {
            w.arc(pad.pad.x0, pad.pad.y0, r, 0, 0);
        }
    }

    // A pad drawn with its function and object attributes (X2), set only for pads this file draws.
    void flash(Ref r, const Node& pad, int increase) {
        if (x2) {
            function(pad_function(pad));
            object(r, true);
        }
        w.flash_pad(pad, increase);
    }

    void plot_pad(Ref r, const TrackEnds* ends) {
        const Node& pad = node(r);
        int code = pad.size & 7;
        bool sel = selected(pad.layer);
        bool thru = code < 4;
        const model::Setup& s = *ctx.setup;
        switch (type) {
        case kCopper:
            if ((pad.layer != 0 && sel) || (thru && !pm) || (thru && pm && ends != nullptr && ends->near(pad))) {
                flash(r, pad, 0);
            }
            return;
        case kPlane:
            if (code >= 4 && sel) {
                flash(r, pad, 0);
            } else if (thru && pad.pad.hole != 0) {
                plane_marks(pad);
            }
            return;
        case kMask:
            if (code == 1 || code == 2 || (code == 3 && pm) || (code >= 4 && sel) || same_side_surface(pad)) {
                flash(r, pad, code == 4 ? 0 : s.mask_increment);
            }
            return;
        case kPaste:
            if ((code >= 4 && sel) || same_side_surface(pad)) {
                flash(r, pad, code == 4 ? 0 : -s.paste_decrement);
            }
            return;
        case kSilk:
            if (code >= 4 && sel) {
                flash(r, pad, 0);
            }
            return;
        default:
            return;
        }
    }
};

} // namespace

namespace {

// for_each_plot_item with the Component each Item belongs to (kNone at the top).
template <class F> void for_each_plot_item_owned(Ref head, F&& f) {
    std::vector<Ref> open;
    model::walk_tree(head, [&](Ref r, int depth) {
        if (node(r).hidden()) {
            return false;
        }
        open.resize(static_cast<size_t>(depth));
        Ref owner = depth > 0 && node(open.back()).item_kind() == model::kComponent ? open.back() : kNone;
        f(r, owner);
        open.push_back(r);
        return true;
    });
}

} // namespace

void write_gerber_file(PlotContext& ctx, const model::GerberEntry& row, std::string_view file_name, TextOut& out) {
    std::string function;
    if (ctx.style.x2) {
        function = x2_file_function(*ctx.setup, row);
        ctx.style.file_function = function;
        ctx.style.file_polarity = x2_file_polarity(row);
        ctx.style.default_function = AperFunction::Drawing;
    }
    GerberWriter w(out, ctx.apertures, ctx.setup->origin_x, ctx.setup->origin_y, &ctx.style);
    w.header();
    Body body{
        ctx, row, w, static_cast<uint8_t>(row.kind & kFileTypeMask), (row.kind & kFileBottom) != 0, row.layers.test(0)};
    body.x2 = ctx.style.x2;
    body.drawing_row = function.rfind("Profile", 0) == 0 || function.rfind("Other", 0) == 0;
    body.row_function = function.rfind("Profile", 0) == 0 ? AperFunction::Profile : AperFunction::Drawing;
    TrackEnds ends;
    bool use_ends = body.type == kCopper && body.pm;
    if (use_ends) {
        for_each_plot_item(ctx.ring, [&](Ref r) {
            const Node& n = node(r);
            if (n.item_kind() == model::kLine && n.size != 0 && body.selected(n.layer)) {
                ends.add(n.line.x1, n.line.y1, n.size);
                ends.add(n.line.x2, n.line.y2, n.size);
            }
        });
    }
    auto plot = [&](Ref r) {
        if (ctx.tick) {
            ctx.tick();
        }
        if (node(r).item_kind() == model::kPad) {
            body.plot_pad(r, use_ends ? &ends : nullptr);
        } else {
            body.plot_drawn(r);
        }
    };
    if (body.x2) {
        for_each_plot_item_owned(ctx.ring, [&](Ref r, Ref owner) {
            body.component = owner;
            plot(r);
        });
    } else {
        for_each_plot_item(ctx.ring, plot);
    }
    plot_label(w, ctx, file_name);
}

void plot_label(GerberWriter& w, const PlotContext& ctx, std::string_view file_name) {
    std::string text(file_name);
    text += "  ";
    text += ctx.date;
    text += "  ";
    text += ctx.time;
    w.set_object(ObjectAttributes{});
    w.set_function(AperFunction::NonMaterial);
    w.select_round(kAperture010);
    stroke_string(w, text, ctx.setup->ext_xmin, ctx.setup->ext_ymin - 6554, kLabelUnit, kAperture010);
    w.trailer();
}

// Lines, Solids, Arcs and Texts of a drill symbol drawing, plotted as in any other Gerber file.
void plot_drawn_items(PlotContext& ctx, const model::GerberEntry& row, GerberWriter& w, Ref r) {
    Body body{ctx, row, w, kSymbols, (row.kind & kFileBottom) != 0, row.layers.test(0)};
    body.plot_drawn(r);
}

// --- File names --------------------------------------------------------------------------------

std::string row_extension(const model::GerberEntry& row) {
    std::string ext;
    for (int i = 0; i < 3; ++i) {
        unsigned char c = static_cast<unsigned char>(row.ext[i]);
        if (c <= ' ') {
            break;
        }
        ext += static_cast<char>(c);
    }
    return ext;
}

namespace {

size_t last_separator(std::string_view path) {
    size_t a = path.rfind('\\');
    size_t b = path.rfind('/');
    if (a == std::string_view::npos) {
        return b;
    }
    if (b == std::string_view::npos) {
        return a;
    }
    return std::max(a, b);
}

std::string lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return r;
}

} // namespace

// The Document's path without its extension: the text after the last "." that follows the last path
// separator is dropped together with the ".".
std::string path_stem(std::string_view path) {
    size_t sep = last_separator(path);
    size_t dot = path.rfind('.');
    if (dot != std::string_view::npos && (sep == std::string_view::npos || dot > sep)) {
        path = path.substr(0, dot);
    }
    return std::string(path);
}

std::string base_name(std::string_view path) {
    size_t sep = last_separator(path);
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

std::string output_file_name(std::string_view doc_path, std::string_view ext, std::string_view out_dir) {
    std::string stem = path_stem(doc_path);
    if (!out_dir.empty()) {
        std::string dir(out_dir);
        if (dir.back() != '/' && dir.back() != '\\') {
            dir += '/';
        }
        stem = dir + base_name(stem);
    }
    return stem + "." + lower(ext);
}

// --- The run -----------------------------------------------------------------------------------

namespace {

bool is_sym(std::string_view ext) {
    return lower(ext) == "sym";
}

void write_row(PlotContext& ctx, const model::GerberEntry& row, const std::string& file_name, TextOut& out) {
    std::string ext = row_extension(row);
    switch (row.kind & kFileTypeMask) {
    case kDrill:
        write_excellon(ctx, out);
        break;
    case kSymbols:
        if (is_sym(ext)) {
            ctx.style.file_function = x2_file_function(*ctx.setup, row, &ctx.tools);
            ctx.style.file_polarity = x2_file_polarity(row);
            ctx.style.default_function = AperFunction::Drillmap;
            write_symbols_gerber(ctx, row, file_name, out);
        } else {
            write_symbols_datafile(ctx, row, out);
        }
        break;
    case kAperture:
        write_aperture_listing(ctx, out);
        break;
    default:
        write_gerber_file(ctx, row, file_name, out);
        break;
    }
}

} // namespace

int photoplot_run(const model::Document& doc, const PhotoplotOptions& options, platform::RunContext& run,
                  std::vector<std::string>* written) {
    platform::RunContext& P = run;
    PlotContext ctx;
    prepare_plot(ctx, doc.setup, doc.ring(), doc.name(), options.clock ? options.clock() : local_now());
    ctx.excellon_header = options.excellon_header;
    ctx.style.x2 = options.x2;
    ctx.style.metric = options.metric;
    ctx.style.true_arcs = options.true_arcs;
    if (ctx.apertures.refused != 0) {
        P.report("The aperture table is full: " + std::to_string(ctx.apertures.refused) +
                 " sizes are plotted through D1023 with their sizes in brackets.");
    }
    if (ctx.tools.refused != 0) {
        P.report("The tool table is full: " + std::to_string(ctx.tools.refused) +
                 " holes of further sizes are left out of the drill file.");
    }
    for (const model::GerberEntry& row : doc.setup.gerber) {
        if (!row.in_use()) {
            continue;
        }
        if (run.cancelled()) {
            P.progress("", -1);
            P.report("The photoplot was cancelled; the files written before stay.");
            return 0;
        }
        std::string path = output_file_name(ctx.doc_path, row_extension(row), options.out_dir);
        std::string name = base_name(path);
        P.progress(name, 0);
        PlotFile file;
        if (!file.open(path)) {
            P.progress(name, -1);
            P.report("Cannot create " + path + ": " + file.error());
            return 0;
        }
        if (options.file_created) {
            options.file_created(path);
        }
        uint32_t done = 0;
        int shown = 0;
        ctx.tick = [&]() {
            ++done;
            int pct = ctx.item_count != 0 ? static_cast<int>(uint64_t{done} * 100 / ctx.item_count) : 100;
            if (pct != shown) {
                shown = pct;
                P.progress(name, pct);
            }
        };
        write_row(ctx, row, name, file.out());
        ctx.tick = nullptr;
        if (!file.commit()) {
            P.progress(name, -1);
            P.report("Cannot write " + path + ": " + file.error());
            return 0;
        }
        if (shown != 100) {
            P.progress(name, 100);
        }
        if (options.file_written) {
            options.file_written(path);
        }
        if (written != nullptr) {
            written->push_back(path);
        }
    }
    P.progress("", -1);
    return 1;
}

} // namespace trazel::cam
