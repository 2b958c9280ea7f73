// The loss report of the version 3.8 writer: write, read back into a scratch Document, compare.
#include "model/old_losses.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "model/datafile.h"
#include "model/old_format.h"
#include "model/setup_directives.h"

namespace trazel::model {

namespace {

// The kinds of loss, in the order the report lists them.
enum Loss : int {
    kGrid,          // coordinates and sizes off the 0.001 inch grid
    kAngles,        // angles and ellipse ratios off 1/256
    kPadAngles,     // Pad angles other than the quarter turns
    kFonts,         //
    kAnchors,       //
    kRatnestMerge,  // Items on layer 15 while layer 255 is named
    kHighPads,      // through-hole Pads above layer 15
    kPadsOnZero,    // surface-mount Pads on layer 0
    kRectangles,    // width-0 Lines without vertices
    kPointGroups,   //
    kOtherItems,    // anything else an Item loses
    kItemLossKinds,
};

constexpr const char* kItemLossText[kItemLossKinds] = {
    "Coordinates or sizes off the 0.001 inch grid, rounded",
    "Angles or ellipse ratios off 1/256 of a turn, rounded",
    "Pad angles other than 0, 90, 180 or 270 degrees, dropped",
    "Text fonts, set to font 0",
    "Text anchors, texts moved to their bottom-left corner",
    "Items on layer 15, merged with the Ratnest layer 255",
    "Through-hole Pads above layer 15, written on layer 0",
    "Surface-mount Pads on layer 0, read back as through-hole",
    "Lines of width 0 without vertices, read back as filled rectangles",
    "Point groups, not kept",
    "Other Item changes",
};

constexpr size_t kListed = 10; // numbers named per line; the count says how many there are

struct Numbers {
    std::vector<int> list;
    void add(int n) {
        if (list.empty() || list.back() != n) {
            list.push_back(n);
        }
    }
};

std::string number_list(const std::vector<int>& v) {
    std::string s;
    for (size_t k = 0; k < v.size() && k < kListed; ++k) {
        s += (k ? ", " : "") + std::to_string(v[k]);
    }
    if (v.size() > kListed) {
        s += ", ...";
    }
    return s;
}

std::string counted(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

bool same_text(Ref a, const Setup& sa, Ref b, const Setup& sb) {
    std::string ta, tb;
    version38_text(a, sa, ta);
    version38_text(b, sb, tb);
    return ta == tb;
}

std::string signal_of(Ref r) {
    Ref s = item_signal(r);
    return s == kNone ? std::string() : signal_name(s);
}

// Whether a coordinate or size came back changed.  The Data file's five decimals hold a value only to
// about a unit (1/65536 inch) itself, so a unit's difference is no loss of this format.
bool moved(int64_t a, int64_t b) {
    return a - b > 1 || b - a > 1;
}

bool quarter_turn(Angle a) {
    return (a & 0x3FFF) == 0;
}

struct Comparison {
    const Setup& before;
    const Setup& after;
    std::array<Numbers, kItemLossKinds> items;

    void mark(Loss k, int number) {
        items[k].add(number);
    }

    void compare_line(const Node& o, const Node& b, int no) {
        bool o_solid = o.size == 0 && o.link != kNone;
        bool b_solid = b.size == 0 && b.link != kNone;
        if (o.size == 0 && !o_solid) {
            mark(kRectangles, no);
            return;
        }
        if (o_solid != b_solid) {
            mark(kOtherItems, no);
            return;
        }
        if (o_solid) {
            Ref p = o.link, q = b.link;
            for (; p != kNone && q != kNone; p = node(p).link, q = node(q).link) {
                if (moved(node(p).line.x1, node(q).line.x1) || moved(node(p).line.y1, node(q).line.y1)) {
                    mark(kGrid, no);
                }
            }
            if (p != kNone || q != kNone) {
                mark(kOtherItems, no);
            }
            return;
        }
        if (moved(o.size, b.size) || moved(o.line.x1, b.line.x1) || moved(o.line.y1, b.line.y1) ||
            moved(o.line.x2, b.line.x2) || moved(o.line.y2, b.line.y2)) {
            mark(kGrid, no);
        }
    }

    void compare_arc(const Node& o, const Node& b, int no) {
        if (moved(o.size, b.size) || moved(o.arc.x0, b.arc.x0) || moved(o.arc.y0, b.arc.y0) ||
            moved(std::abs(o.arc.radius), b.arc.radius)) {
            mark(kGrid, no);
        }
        if (o.arc.radius < 0) {
            mark(kOtherItems, no); // the reader keeps the radius positive
        }
        if (o.arc.start != b.arc.start || o.arc.sweep != b.arc.sweep || o.arc.ellipse != b.arc.ellipse ||
            o.arc.angle != b.arc.angle) {
            mark(kAngles, no);
        }
    }

    void compare_pad(Ref orig, const Node& o, Ref back, const Node& b, int no) {
        bool th = (o.size & 4) == 0;
        if (th && o.layer > 15) {
            mark(kHighPads, no);
        } else if (!th && o.layer == 0) {
            mark(kPadsOnZero, no);
        } else if (o.layer != b.layer || o.size != b.size) {
            mark(kOtherItems, no);
        }
        if (!quarter_turn(o.pad.angle)) {
            mark(kPadAngles, no);
        }
        // Compared by footprint: a quarter turn is written as the width and height exchanged.
        bool turned = (o.pad.angle & 0x4000) != 0;
        Length w = turned ? o.pad.height : o.pad.width, h = turned ? o.pad.width : o.pad.height;
        if (moved(o.pad.x0, b.pad.x0) || moved(o.pad.y0, b.pad.y0) || moved(w, b.pad.width) ||
            moved(h, b.pad.height) || moved(o.pad.hole, b.pad.hole)) {
            mark(kGrid, no);
        }
        if (pin_text(orig) != pin_text(back) || signal_of(orig) != signal_of(back)) {
            mark(kOtherItems, no);
        }
    }

    void compare_text(Ref orig, const Node& o, Ref back, const Node& b, int no) {
        bool in_place = version38_text_in_place(o, before);
        if ((o.text.anchor_font & 15) != (b.text.anchor_font & 15)) {
            mark(kAnchors, no);
        }
        if ((o.text.anchor_font >> 4) != (b.text.anchor_font >> 4)) {
            mark(kFonts, no);
        }
        // Where the written corner was meant to be, against where the record put it.
        Point c = version38_text_corner(o, in_place);
        Point cb = version38_text_corner(b, true);
        Coord lo = o.text.length < 0 ? -o.text.length : o.text.length;
        Coord lb = b.text.length < 0 ? -b.text.length : b.text.length;
        if (moved(c.x, cb.x) || moved(c.y, cb.y) || moved(o.size, b.size) || moved(lo, lb)) {
            mark(kGrid, no);
        }
        if ((o.text.length < 0) != (b.text.length < 0) || o.text.angle != b.text.angle || o.layer != b.layer ||
            !same_text(orig, before, back, after)) {
            mark(kOtherItems, no);
        }
    }

    void compare_component(Ref orig, const Node& o, Ref back, const Node& b, int no) {
        if (o.size != b.size) {
            mark(kAngles, no);
        }
        const Node& ho = node(member_ring(orig));
        const Node& hb = node(member_ring(back));
        if (moved(ho.box.x1, hb.box.x1) || moved(ho.box.y1, hb.box.y1)) {
            mark(kGrid, no);
        }
        if (o.layer != b.layer || ComponentKey(orig) != ComponentKey(back)) {
            mark(kOtherItems, no);
        }
    }

    void compare(Ref orig, Ref back, int no) {
        const Node& o = node(orig);
        const Node& b = node(back);
        if (o.item_kind() != kPad && o.layer != b.layer) {
            if (o.layer == 15 && b.layer == kRatnestLayer) {
                mark(kRatnestMerge, no);
            } else {
                mark(kOtherItems, no);
            }
        }
        if (o.item_kind() != kText && o.item_kind() != kComponent && o.item_kind() != kPad &&
            signal_of(orig) != signal_of(back)) {
            mark(kOtherItems, no);
        }
        switch (o.item_kind()) {
        case kLine:
            compare_line(o, b, no);
            break;
        case kArc:
            compare_arc(o, b, no);
            break;
        case kPad:
            compare_pad(orig, o, back, b, no);
            break;
        case kText:
            compare_text(orig, o, back, b, no);
            break;
        case kComponent:
            compare_component(orig, o, back, b, no);
            break;
        default:
            break;
        }
    }
};

bool same_layer_entry(const LayerEntry& a, const LayerEntry& b) {
    return std::strncmp(a.name, b.name, sizeof a.name) == 0 && a.type == b.type && a.colour == b.colour &&
           a.plot == b.plot && a.sequence == b.sequence;
}

// The Layer table's losses.
void compare_layers(const Setup& o, const Setup& b, std::vector<std::string>& lines) {
    std::vector<int> high, colours, sequences, names;
    bool merged = o.layers[kRatnestLayer].name[0] != 0;
    for (int l = 0; l < 256; ++l) {
        const LayerEntry& x = o.layers[static_cast<size_t>(l)];
        const LayerEntry& y = b.layers[static_cast<size_t>(l)];
        if (same_layer_entry(x, y)) {
            continue;
        }
        if (l >= 16 && l < kRatnestLayer) {
            high.push_back(l);
            continue;
        }
        if (l == 15 && merged) {
            names.push_back(l); // its line gave way to layer 255's
            continue;
        }
        // The colours of a layer nobody uses are not worth a word (an empty slot's 0 has no palette
        // entry and would be listed every time).
        if ((x.in_use() || l == 0) && (x.colour != y.colour || x.plot != y.plot)) {
            colours.push_back(l);
        }
        if (x.sequence != y.sequence) {
            sequences.push_back(l);
        }
        if (std::strncmp(x.name, y.name, sizeof x.name) != 0 || x.type != y.type) {
            names.push_back(l);
        }
    }
    if (!high.empty()) {
        lines.push_back("Layers 16-254, names, colours and types not kept: " +
                        counted(high.size(), "layer", "layers") + " (" + number_list(high) + ")");
    }
    if (!names.empty()) {
        lines.push_back("Layer names or types not kept: " + counted(names.size(), "layer", "layers") + " (" +
                        number_list(names) + ")");
    }
    if (!colours.empty()) {
        lines.push_back("Layer colours not kept by the older palettes: " +
                        counted(colours.size(), "layer", "layers") + " (" + number_list(colours) + ")");
    }
    if (!sequences.empty()) {
        lines.push_back("Layer sequences not kept: " + counted(sequences.size(), "layer", "layers") + " (" +
                        number_list(sequences) + ")");
    }
}

template <class T> bool differ(const T& a, const T& b) {
    return !(a == b);
}

bool same_isolation(const TrackIsolation& a, const TrackIsolation& b) {
    return a.passes == b.passes && a.iso_tool == b.iso_tool && a.iso_overlap == b.iso_overlap &&
           a.iso_clearance == b.iso_clearance && a.flood_tool == b.flood_tool && a.flood_overlap == b.flood_overlap &&
           a.flood_clearance == b.flood_clearance && std::strncmp(a.signal, b.signal, sizeof a.signal) == 0 &&
           a.target == b.target && a.sources == b.sources;
}

bool same_gerber(const Setup& a, const Setup& b) {
    for (size_t k = 0; k < a.gerber.size(); ++k) {
        const GerberEntry& x = a.gerber[k];
        const GerberEntry& y = b.gerber[k];
        if (x.in_use() != y.in_use()) {
            return false;
        }
        if (x.in_use() && (std::strncmp(x.ext, y.ext, 3) != 0 || x.kind != y.kind || x.layers != y.layers)) {
            return false;
        }
    }
    return true;
}

// The settings that differ after the round trip, by the directive that carries them today.
void compare_setup(const Setup& o, const Setup& b, std::vector<std::string>& lines) {
    std::vector<std::string> what;
    auto check = [&](bool differs, const char* name) {
        if (differs) {
            what.emplace_back(name);
        }
    };
    check(moved(o.fill_iso_lines, b.fill_iso_lines) || moved(o.fill_iso_pads, b.fill_iso_pads) ||
              moved(o.clear_line_line, b.clear_line_line) || moved(o.clear_line_pad, b.clear_line_pad) ||
              moved(o.clear_pad_pad, b.clear_pad_pad) || moved(o.fill_width, b.fill_width),
          "-gc clearances");
    check(moved(o.ratnest_width, b.ratnest_width), "-gc Ratnest width");
    check(std::strncmp(o.thermal_signal, b.thermal_signal, 32) != 0 ||
              std::strncmp(o.direct_signal, b.direct_signal, 32) != 0 || o.flood_target != b.flood_target ||
              o.flood_sources != b.flood_sources,
          "-gc names and layers");
    check(o.grid_dots != b.grid_dots, "-gd grid dots");
    check(o.grid_colour != b.grid_colour || o.background != b.background || o.highlight != b.highlight ||
              o.attention != b.attention,
          "-gd screen colours");
    check(o.mode_lines != b.mode_lines || o.mode_pads != b.mode_pads || o.mode_text != b.mode_text ||
              o.mode_refs != b.mode_refs,
          "-gm draw-mode bits");
    check(o.plot_options != b.plot_options || o.plot_omit != b.plot_omit || o.plot_depth != b.plot_depth,
          "-gp options, omissions and colour depth");
    check(o.plot_scale != b.plot_scale || moved(o.plot_xmin, b.plot_xmin) || moved(o.plot_ymin, b.plot_ymin) ||
              moved(o.plot_xmax, b.plot_xmax) || moved(o.plot_ymax, b.plot_ymax) || differ(o.old_plot_extra, b.old_plot_extra) ||
              o.old_plot_mode != b.old_plot_mode,
          "-gp scale and window");
    check(o.snap != b.snap || o.decimals != b.decimals || o.snap_index != b.snap_index ||
              differ(o.snap_table, b.snap_table),
          "-gs snap");
    check(moved(o.ext_xmin, b.ext_xmin) || moved(o.ext_ymin, b.ext_ymin) || moved(o.ext_xmax, b.ext_xmax) || moved(o.ext_ymax, b.ext_ymax),
          "-gx extents");
    check(moved(o.origin_x, b.origin_x) || moved(o.origin_y, b.origin_y), "-gz origin");
    check(!same_isolation(o.iso_top, b.iso_top), "-gtt");
    check(!same_isolation(o.iso_bottom, b.iso_bottom), "-gtb");
    check(o.router_algorithms != b.router_algorithms, "-ga");
    check(moved(o.line_width, b.line_width), "-il");
    check(o.via_layer != b.via_layer || moved(o.via_diameter, b.via_diameter) || moved(o.via_hole, b.via_hole), "-iv");
    check(o.pad_type != b.pad_type || o.pad_layer != b.pad_layer || moved(o.pad_width, b.pad_width) ||
              moved(o.pad_hole, b.pad_hole),
          "-ip");
    check(moved(o.pad_height, b.pad_height), "-ip Pad height");
    check(moved(o.text_height, b.text_height), "-it");
    check(moved(o.dim_text_size, b.dim_text_size), "-ix");
    check(o.current_layer != b.current_layer, "-y current layer");
    check(moved(o.mask_increment, b.mask_increment) || moved(o.paste_decrement, b.paste_decrement) ||
              moved(o.plane_increment, b.plane_increment) || moved(o.plane_hole_decrement, b.plane_hole_decrement),
          "-dp");
    check(moved(o.gerber_fill_width, b.gerber_fill_width), "-dp fill width");
    check(!same_gerber(o, b), "-dy");
    check(differ(o.libraries, b.libraries), "-b");
    if (what.empty()) {
        return;
    }
    std::string line = "Settings not kept: " + counted(what.size(), "setting", "settings") + " (";
    for (size_t k = 0; k < what.size(); ++k) {
        line += (k ? ", " : "") + what[k];
    }
    lines.push_back(line + ")");
}

// The scratch Document's name: free, and a library when the original is one (the layer fields differ).
std::string scratch_name(const Document& d) {
    std::string base = d.name() + "~3.8";
    for (int k = 0;; ++k) {
        std::string n = base + (k ? std::to_string(k) : "") + (is_library_name(d.name()) ? ".LIB" : "");
        if (!FindDocument(n)) {
            return n;
        }
    }
}

} // namespace

std::vector<std::string> version38_losses(Document& d) {
    std::vector<std::string> lines;
    Model& m = M();
    Document* was = m.current;
    m.current = &d;
    std::string bytes;
    {
        OutBuffer out;
        out.open_memory(&bytes);
        if (!WriteVersion38File(out) || !out.commit()) {
            m.current = was;
            return {"The version 3.8 file could not be made"};
        }
    }
    std::vector<Ref> written;
    version38_items(d.ring(), d.setup, written);

    // A new Document empties the image slots: they are kept aside meanwhile.
    auto images = std::move(m.images);
    size_t pictures = 0;
    for (auto& img : images) {
        pictures += img.empty() ? 0 : 1;
    }
    Document* back = NewDocument(scratch_name(d));
    if (!back) {
        m.images = std::move(images);
        m.current = was;
        return {"The version 3.8 file could not be read back to check it"};
    }
    apply_template(Template::ChooserDefaults);
    LineReader in;
    in.open_memory(bytes);
    ReadVersion3File(in, 0);

    std::vector<Ref> read;
    walk_tree(back->ring(), [&](Ref r, int) {
        if (!node(r).hidden()) {
            read.push_back(r);
        }
    });

    Comparison cmp{d.setup, back->setup, {}};
    size_t k = 0;
    int no = 0;
    size_t unmatched = 0;
    for (Ref r : written) {
        ++no;
        if (node(r).item_kind() == kPointGroup) {
            cmp.mark(kPointGroups, no);
            continue;
        }
        if (unmatched || k >= read.size() || node(read[k]).item_kind() != node(r).item_kind()) {
            ++unmatched; // the two orders part here; what follows cannot be paired up
            continue;
        }
        cmp.compare(r, read[k++], no);
    }
    for (int kind = 0; kind < kItemLossKinds; ++kind) {
        const auto& v = cmp.items[static_cast<size_t>(kind)].list;
        if (!v.empty()) {
            lines.push_back(std::string(kItemLossText[kind]) + ": " + counted(v.size(), "Item", "Items") + " (" +
                            number_list(v) + ")");
        }
    }
    if (unmatched || k != read.size()) {
        lines.push_back("Items not read back as written: " + counted(std::max(unmatched, read.size() - k), "Item", "Items"));
    }
    compare_layers(d.setup, back->setup, lines);
    compare_setup(d.setup, back->setup, lines);
    if (pictures) {
        lines.push_back("Pictures, not written (their older format is not known): " +
                        counted(pictures, "picture", "pictures"));
    }

    close_document(back);
    m.images = std::move(images);
    m.current = was;
    return lines;
}

std::string version38_warning_text(const std::vector<std::string>& lines) {
    std::string s = "The version 3.8 format cannot hold everything in this Document:\n\n";
    for (const std::string& l : lines) {
        s += l + "\n";
    }
    return s + "\nSave it in this format all the same?";
}

} // namespace trazel::model
