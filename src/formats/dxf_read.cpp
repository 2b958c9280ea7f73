// The DXF reader.  Group pairs are read straight from the line reader's buffer (no copies), entities
// become Items at once, block definitions are kept as compact records of their own and expanded at
// each insert through an explicit stack, so neither deep nor cyclic nesting can run away.
#include "formats/dxf.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>

#include "display/stroke_font.h"
#include "formats/dxf_read_text.h"
#include "formats/import_support.h"
#include "model/numbers.h"
#include "model/setup_directives.h"

namespace trazel::formats {

using namespace model;
using dxf_detail::parse_int;
using dxf_detail::parse_real;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTurn = 2 * std::numbers::pi;
constexpr double kUnitsPerInch = 65536.0;
constexpr double kRealLimit = 32767.0; // inches: what a 16.16 value holds
constexpr int64_t kThinWidth = 65;     // about 0.001 inch
constexpr int kLayerSlots = 255;       // layers 0..254 take drawing names

// DXF colour number modulo 16 to 0x00RRGGBB.
constexpr uint32_t kDxfColours[16] = {0x000000, 0xAA0000, 0xFFFF00, 0x00AA00, 0x00AAAA, 0x0000AA, 0xAA00AA, 0xFFFFFF,
                                      0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xAAAA00, 0xAAAAAA};

// Inches per drawing unit for a $INSUNITS code; 0 for codes that are no length.
double insunits_inches(int code) {
    switch (code) {
    case 0: // unitless: inches, as the drawings of old
    case 1:
        return 1.0;
    case 2:
        return 12.0;
    case 3:
        return 63360.0;
    case 4:
        return 1 / 25.4;
    case 5:
        return 1 / 2.54;
    case 6:
        return 1000 / 25.4;
    case 7:
        return 1e6 / 25.4;
    case 8:
        return 1e-6;
    case 9:
        return 1e-3;
    case 10:
        return 36.0;
    case 11:
        return 1e-7 / 25.4;
    case 12:
        return 1e-6 / 25.4;
    case 13:
        return 1e-3 / 25.4;
    case 14:
        return 100 / 25.4;
    case 15:
        return 1e4 / 25.4;
    case 16:
        return 1e5 / 25.4;
    case 17:
        return 1e12 / 25.4;
    default:
        return 0;
    }
}

// x' = a x + b y + tx, y' = c x + d y + ty.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    double px(double x, double y) const {
        return a * x + b * y + tx;
    }
    double py(double x, double y) const {
        return c * x + d * y + ty;
    }
    double vx(double x, double y) const {
        return a * x + b * y;
    }
    double vy(double x, double y) const {
        return c * x + d * y;
    }
    double det() const {
        return a * d - b * c;
    }
    Affine then(const Affine& o) const { // this after o: this * o
        return {a * o.a + b * o.c, a * o.b + b * o.d, c * o.a + d * o.c,
                c * o.b + d * o.d, px(o.tx, o.ty),    py(o.tx, o.ty)};
    }
    static Affine mirror_x() {
        return {-1, 0, 0, 1, 0, 0};
    }
    bool identity() const {
        return a == 1 && b == 0 && c == 0 && d == 1 && tx == 0 && ty == 0;
    }
};

enum PrimKind : uint8_t { kPLine, kPArc, kPSolid, kPText, kPInsert };

// One entity of a block definition, in inches.  Line: v0..v3 ends.  Arc: v0,v1 centre, v2,v3 the axis U,
// v4,v5 the axis V, v6 start parameter, v7 sweep (radians, 0 or a whole turn is the full curve).  Solid:
// `count` points from `off` in the block's point list.  Text: v0,v1 anchor, v2 angle (radians), v3
// height; the string at off/count.  Insert: v0..v5 the matrix, the name at off/count, `ref` the block.
struct Prim {
    uint8_t kind = 0;
    uint8_t layer = 0;
    uint8_t flags = 0; // Text: bit 0 mirrored, bits 1-2 horizontal, bits 3-4 vertical alignment
    int32_t width = 0; // units; Insert: the block index once resolved (-1 unknown, -2 cyclic)
    double v[8] = {};
    uint32_t off = 0, count = 0;
    int64_t line = 0;
};

struct Block {
    std::string name;
    double bx = 0, by = 0;
    std::vector<Prim> prims;
    std::vector<double> pts;
    std::string strings;
    int64_t cost = -1; // Items one insert makes, saturated
};

struct TopInsert {
    Affine m;
    std::string name;
    uint8_t layer = 0;
    int64_t line = 0;
};

// The groups of one simple entity.
struct Groups {
    char layer[16] = {};
    int layer_len = 0;
    bool has_layer = false;
    double x[4] = {}, y[4] = {};
    bool has[4] = {};
    double r40 = 0, r41 = 0, r42 = 0, r43 = 0, r50 = 0, r51 = 0;
    bool h40 = false, h41 = false, h42 = false, h43 = false, h50 = false, h51 = false;
    int32_t i66 = 0, i70 = 0, i71 = 0, i72 = 0, i73 = 0, i370 = 0;
    double ez = 1;
    std::string s1, s2; // groups 1 (MTEXT: groups 3 then 1) and 2
};

class Reader {
  public:
    Reader(LineReader& in, Document& doc, const ImportJob& job, const DxfReadOptions& o)
        : in_(in), doc_(doc), rep_(job), opt_(o) {
        budget_ = std::max<int64_t>(o.item_budget, 0);
        unit_ = o.units == DxfUnits::Millimetre ? 1 / 25.4 : 1.0;
    }

    char run();

  private:
    // --- pairs ---
    bool next();
    void unread() {
        held_ = true;
    }
    double real();
    double length() {
        return real() * unit_;
    }
    int32_t whole();
    void skip_entity();

    // --- sections ---
    void read_header();
    void read_tables();
    void read_entities(bool blocks);
    void skip_section();

    // --- layers ---
    int layer_of(std::string_view name);
    int find_layer(std::string_view cut) const;

    // --- entities ---
    void read_groups(Groups& g, bool mtext = false);
    uint8_t groups_layer(const Groups& g);
    int64_t width_of(double inches, int32_t lineweight);
    Affine ocs(const Groups& g) const {
        return g.ez < 0 ? Affine::mirror_x() : Affine{};
    }
    void entity_line();
    void entity_arc(bool circle);
    void entity_solid(bool face);
    void entity_text(bool attrib, bool mtext);
    void entity_insert();
    void entity_ellipse();
    void entity_polyline();
    void entity_lwpolyline();
    void entity_hatch();
    struct Vertex {
        double x, y, bulge;
        int64_t width;
    };
    void put_chain(std::vector<Vertex>& vs, bool closed, uint8_t layer, const Affine& e);
    void put_segment(const Vertex& a, const Vertex& b, uint8_t layer, const Affine& e);

    // --- output ---
    void put(Prim& p, const double* pts = nullptr, std::string_view text = {});
    void put_line(uint8_t layer, int64_t w, double x1, double y1, double x2, double y2, const Affine& e);
    void put_arc(uint8_t layer, int64_t w, double cx, double cy, double ux, double uy, double vx, double vy,
                 double start, double sweep, const Affine& e);
    void emit(const Prim& p, const Affine& m, Ref ring, const double* pts, std::string_view text);
    Coord coord(double inches, bool y);
    void expand_inserts();
    void resolve(Block& b);
    bool compute_cost(int root);
    void expand(int block, const Affine& m, Ref ring);

    LineReader& in_;
    Document& doc_;
    detail::Reporter rep_;
    const DxfReadOptions& opt_;
    int64_t line_ = 0, pair_line_ = 0;
    int code_ = 0;
    std::string_view value_;
    bool held_ = false, end_ = false;
    double unit_ = 1.0;
    Coord ox_ = 0, oy_ = 0;
    bool out_of_nodes_ = false;
    int64_t budget_ = 0;

    char last_name_[16] = {};
    int last_len_ = -1;
    int last_layer_ = 0;
    int layers_used_ = 0;
    bool full_ = false;

    std::vector<Block> blocks_;
    std::unordered_map<std::string, int> block_index_;
    Block* block_ = nullptr; // the definition being read
    Block scratch_block_;    // where a second definition of a name goes, to be forgotten
    std::vector<TopInsert> inserts_;
    std::vector<uint8_t> on_stack_;
    std::vector<double> scratch_;
    std::string text_;
    std::vector<Vertex> verts_;
    Groups g_, gv_;
};

// --- pairs --------------------------------------------------------------------------------------------

bool Reader::next() {
    if (held_) {
        held_ = false;
        return true;
    }
    for (;;) {
        int n = in_.ReadLine();
        if (n == 0) {
            end_ = true;
            return false;
        }
        ++line_;
        pair_line_ = line_;
        std::string_view c = model::trim_blanks(in_.line());
        int32_t code = 0;
        bool ok = parse_int(c, code);
        n = in_.ReadLine();
        if (n == 0) {
            end_ = true;
            return false;
        }
        ++line_;
        if (!ok) {
            // Out of step: take the value line as the next code line.
            rep_.note("group code not a number", pair_line_);
            std::string_view v = model::trim_blanks(in_.line());
            if (parse_int(v, code)) {
                pair_line_ = line_;
                if (in_.ReadLine() == 0) {
                    end_ = true;
                    return false;
                }
                ++line_;
            } else {
                continue;
            }
        }
        code_ = code;
        value_ = in_.line();
        if (!value_.empty() && code_ != 1 && code_ != 3) {
            value_ = model::trim_blanks(value_);
        }
        return true;
    }
}

double Reader::real() {
    dxf_detail::Real r = parse_real(value_);
    if (r.nan) {
        rep_.note("real value not a number", pair_line_);
    }
    if (r.clipped) {
        rep_.note("real value exponent beyond 5", pair_line_);
    }
    return r.v;
}

int32_t Reader::whole() {
    int32_t v = 0;
    if (!parse_int(value_, v)) {
        rep_.note("whole value not a number", pair_line_);
    }
    return v;
}

void Reader::skip_entity() {
    while (next()) {
        if (code_ == 0) {
            unread();
            return;
        }
    }
}

void Reader::skip_section() {
    while (next()) {
        if (code_ == 0 && value_ == "ENDSEC") {
            return;
        }
    }
}

// --- sections -----------------------------------------------------------------------------------------

void Reader::read_header() {
    bool insunits = false;
    while (next()) {
        if (code_ == 0 && value_ == "ENDSEC") {
            return;
        }
        if (code_ == 9) {
            insunits = value_ == "$INSUNITS";
        } else if (insunits && code_ == 70) {
            insunits = false;
            int32_t u = whole();
            double inches = insunits_inches(u);
            if (inches == 0) {
                rep_.note("$INSUNITS of no length unit (read as inches)", pair_line_);
                inches = 1.0;
            }
            if (opt_.units == DxfUnits::FromFile) {
                unit_ = inches;
            }
        }
    }
}

void Reader::read_tables() {
    while (next()) {
        if (code_ != 0) {
            continue;
        }
        if (value_ == "ENDSEC") {
            return;
        }
        if (value_ != "LAYER") {
            continue;
        }
        char name[16] = {};
        int len = -1;
        int32_t colour = 0;
        bool has_colour = false;
        for (int k = 1; next(); ++k) {
            if (code_ == 0) {
                unread();
                break;
            }
            if (code_ == 2 && k <= 6 && len < 0) {
                std::string_view v = value_.substr(0, 15);
                len = static_cast<int>(v.size());
                std::copy(v.begin(), v.end(), name);
            } else if (code_ == 62 && k <= 8 && !has_colour) {
                has_colour = parse_int(value_, colour);
            }
        }
        if (len <= 0) {
            continue;
        }
        std::string_view n(name, static_cast<size_t>(len));
        if (find_layer(n) >= 0) {
            continue;
        }
        int l = layer_of(n);
        if (l < 0 || full_) {
            continue;
        }
        if (has_colour) {
            LayerEntry& e = doc_.setup.layers[static_cast<size_t>(l)];
            uint32_t c = kDxfColours[static_cast<uint32_t>(colour < 0 ? -static_cast<int64_t>(colour) : colour) % 16];
            set_layer_colour(e, c);
            e.plot = c ^ 0xFFFFFF;
        }
    }
}

// --- layers -------------------------------------------------------------------------------------------

int Reader::find_layer(std::string_view cut) const {
    for (int l = 0; l < kLayerSlots; ++l) {
        const char* n = doc_.setup.layers[static_cast<size_t>(l)].name;
        if (n[0] != 0 && std::string_view(n, strnlen(n, 15)) == cut) {
            return l;
        }
    }
    return -1;
}

int Reader::layer_of(std::string_view name) {
    // An entity without a layer group is on layer "0", as in every DXF drawing.
    std::string_view cut = name.empty() ? std::string_view("0") : name.substr(0, 15);
    if (last_len_ == static_cast<int>(cut.size()) && std::string_view(last_name_, cut.size()) == cut) {
        return last_layer_;
    }
    int l = find_layer(cut);
    full_ = false;
    if (l < 0) {
        for (int k = 0; k < kLayerSlots; ++k) {
            if (doc_.setup.layers[static_cast<size_t>(k)].name[0] == 0) {
                l = k;
                break;
            }
        }
        if (l < 0) {
            // Every slot named: the rest share the last layer.
            rep_.note("layer names beyond 255 (put on layer 254)", pair_line_);
            full_ = true;
            return kLayerSlots - 1;
        }
        LayerEntry& e = doc_.setup.layers[static_cast<size_t>(l)];
        set_layer_name(e, cut);
        set_layer_colour(e, 0xFFFF00);
        ++layers_used_;
    }
    std::copy(cut.begin(), cut.end(), last_name_);
    last_len_ = static_cast<int>(cut.size());
    last_layer_ = l;
    return l;
}

uint8_t Reader::groups_layer(const Groups& g) {
    return static_cast<uint8_t>(layer_of(std::string_view(g.layer, static_cast<size_t>(g.layer_len))));
}

// --- entities -----------------------------------------------------------------------------------------

void Reader::read_groups(Groups& g, bool mtext) {
    g.layer_len = 0;
    g.has_layer = false;
    for (int k = 0; k < 4; ++k) {
        g.x[k] = g.y[k] = 0;
        g.has[k] = false;
    }
    g.r40 = g.r41 = g.r42 = g.r43 = g.r50 = g.r51 = 0;
    g.h40 = g.h41 = g.h42 = g.h43 = g.h50 = g.h51 = false;
    g.i66 = g.i70 = g.i71 = g.i72 = g.i73 = g.i370 = 0;
    g.ez = 1;
    g.s1.clear();
    g.s2.clear();
    while (next()) {
        int c = code_;
        switch (c) {
        case 0:
            unread();
            return;
        case 1:
            if (mtext) {
                g.s1.append(value_); // the groups 3 before it hold the head of a long string
            } else {
                g.s1.assign(value_);
            }
            break;
        case 3:
            if (mtext) {
                g.s1.append(value_);
            }
            break;
        case 2:
            g.s2.assign(value_);
            break;
        case 8: {
            std::string_view v = value_.substr(0, 15);
            g.layer_len = static_cast<int>(v.size());
            std::copy(v.begin(), v.end(), g.layer);
            g.has_layer = true;
            break;
        }
        case 10:
        case 11:
        case 12:
        case 13:
            g.x[c - 10] = real();
            g.has[c - 10] = true;
            break;
        case 20:
        case 21:
        case 22:
        case 23:
            g.y[c - 20] = real();
            break;
        case 40:
            g.r40 = real(), g.h40 = true;
            break;
        case 41:
            g.r41 = real(), g.h41 = true;
            break;
        case 42:
            g.r42 = real(), g.h42 = true;
            break;
        case 43:
            g.r43 = real(), g.h43 = true;
            break;
        case 50:
            g.r50 = real(), g.h50 = true;
            break;
        case 51:
            g.r51 = real(), g.h51 = true;
            break;
        case 66:
            g.i66 = whole();
            break;
        case 70:
            g.i70 = whole();
            break;
        case 71:
            g.i71 = whole();
            break;
        case 72:
            g.i72 = whole();
            break;
        case 73:
            g.i73 = whole();
            break;
        case 370:
            g.i370 = whole();
            break;
        case 230:
            g.ez = real();
            break;
        default:
            break;
        }
    }
}

int64_t Reader::width_of(double inches, int32_t lineweight) {
    double u = inches * kUnitsPerInch;
    if (!(u >= 66)) {
        u = lineweight > 0 ? lineweight * kUnitsPerInch / 2540.0 : 0;
        if (u < 66) {
            u = kThinWidth;
        }
    }
    if (u > 65535) {
        rep_.note("width beyond 65535 units (held there)", pair_line_);
        u = 65535;
    }
    return static_cast<int64_t>(std::llround(u));
}

void Reader::entity_line() {
    read_groups(g_);
    uint8_t layer = groups_layer(g_);
    put_line(layer, width_of(0, g_.i370), g_.x[0] * unit_, g_.y[0] * unit_, g_.x[1] * unit_, g_.y[1] * unit_, Affine{});
}

void Reader::entity_arc(bool circle) {
    read_groups(g_);
    uint8_t layer = groups_layer(g_);
    double r = std::abs(g_.r40 * unit_);
    double start = 0, sweep = 0;
    if (!circle) {
        // The sweep runs counter-clockwise from start to end, modulo a turn (350 to 10 is 20 degrees).
        double s = std::fmod(g_.r50, 360.0), e = std::fmod(g_.r51, 360.0);
        double w = std::fmod(e - s + 720.0, 360.0);
        start = s * kPi / 180;
        sweep = w * kPi / 180;
    }
    put_arc(layer, width_of(0, g_.i370), g_.x[0] * unit_, g_.y[0] * unit_, r, 0, 0, r, start, sweep, ocs(g_));
}

void Reader::entity_solid(bool face) {
    read_groups(g_);
    uint8_t layer = groups_layer(g_);
    // SOLID and TRACE corners go 1, 2, 4, 3 around (edges 2-1, 1-3, 3-4, 4-2); 3DFACE in order.
    static constexpr int kSolidOrder[4] = {1, 0, 2, 3};
    static constexpr int kFaceOrder[4] = {0, 1, 2, 3};
    const int* order = face ? kFaceOrder : kSolidOrder;
    if (!g_.has[3]) {
        g_.x[3] = g_.x[2], g_.y[3] = g_.y[2];
    }
    Affine e = face ? Affine{} : ocs(g_);
    scratch_.clear();
    int n = 4;
    if (g_.x[3] == g_.x[2] && g_.y[3] == g_.y[2]) {
        n = 3;
    }
    for (int k = 0; k < n; ++k) {
        int i = order[k];
        double x = g_.x[i] * unit_, y = g_.y[i] * unit_;
        scratch_.push_back(e.px(x, y));
        scratch_.push_back(e.py(x, y));
    }
    Prim p;
    p.kind = kPSolid;
    p.layer = layer;
    p.count = static_cast<uint32_t>(n);
    put(p, scratch_.data());
}

void Reader::entity_text(bool attrib, bool mtext) {
    read_groups(g_, mtext);
    if (attrib && (g_.i70 & 1)) {
        rep_.note("ATTRIB invisible", pair_line_);
        return;
    }
    if (mtext) {
        dxf_detail::mtext_to_stored(g_.s1, text_);
    } else {
        dxf_detail::text_to_stored(g_.s1, text_);
    }
    while (!text_.empty() && (text_.back() == ' ' || text_.back() == static_cast<char>(0xFF))) {
        text_.pop_back();
    }
    if (text_.empty()) {
        return; // a Text without string is dropped
    }
    uint8_t layer = groups_layer(g_);
    Prim p;
    p.kind = kPText;
    p.layer = layer;
    double angle = g_.r50;
    int h = 0, v = 0;
    double ax = g_.x[0], ay = g_.y[0];
    if (mtext) {
        if (g_.has[1] && (g_.x[1] != 0 || g_.y[1] != 0)) {
            angle = std::atan2(g_.y[1], g_.x[1]) * 180 / kPi;
        }
        int at = g_.i71 >= 1 && g_.i71 <= 9 ? g_.i71 : 1;
        h = (at - 1) % 3;
        v = 3 - (at - 1) / 3; // top 3, middle 2, bottom 1
    } else {
        // Group 71: bit 1 backward (mirrored), bit 2 upside down (mirrored and half a turn).
        bool mirror = (g_.i71 & 2) != 0;
        if (g_.i71 & 4) {
            mirror = !mirror;
            angle += 180;
        }
        p.flags = mirror ? 1 : 0;
        int hj = g_.i72, vj = attrib ? 0 : g_.i73; // an ATTRIB's 73 is its field length
        if ((hj != 0 || vj != 0) && g_.has[1] && hj != 3 && hj != 5) {
            ax = g_.x[1], ay = g_.y[1];
            h = hj == 4 ? 1 : std::clamp(hj, 0, 2);
            v = hj == 4 ? 2 : std::clamp(vj, 0, 3);
        }
    }
    p.flags = static_cast<uint8_t>(p.flags | (h << 1) | (v << 3));
    Affine e = ocs(g_);
    double x = ax * unit_, y = ay * unit_;
    double rad = angle * kPi / 180;
    if (g_.ez < 0) {
        // Seen from below: mirrored, and the baseline reflected and turned as a mirroring insert does.
        rad = -rad;
        p.flags ^= 1;
    }
    p.v[0] = e.px(x, y);
    p.v[1] = e.py(x, y);
    p.v[2] = rad;
    p.v[3] = g_.h40 ? std::abs(g_.r40 * unit_) : -1; // -1: the default height
    p.count = static_cast<uint32_t>(text_.size());
    put(p, nullptr, text_);
}

void Reader::entity_insert() {
    read_groups(g_);
    uint8_t layer = groups_layer(g_);
    double sx = g_.h41 ? g_.r41 : 1.0, sy = g_.h42 ? g_.r42 : 1.0;
    double rot = g_.r50 * kPi / 180, c = std::cos(rot), s = std::sin(rot);
    if (g_.i70 > 1 || g_.i71 > 1) {
        rep_.note("INSERT array (one copy made)", pair_line_);
    }
    // Point + rotation x scale, then the drawing's unit on the offsets (the block is in inches already).
    Affine t{c * sx, -s * sy, s * sx, c * sy, g_.x[0] * unit_, g_.y[0] * unit_};
    if (g_.ez < 0) {
        t = Affine::mirror_x().then(t);
    }
    if (block_) {
        Prim p;
        p.kind = kPInsert;
        p.layer = layer;
        p.v[0] = t.a, p.v[1] = t.b, p.v[2] = t.c, p.v[3] = t.d, p.v[4] = t.tx, p.v[5] = t.ty;
        p.off = static_cast<uint32_t>(block_->strings.size());
        p.count = static_cast<uint32_t>(g_.s2.size());
        p.line = pair_line_;
        p.width = -1;
        block_->strings.append(g_.s2);
        block_->prims.push_back(p);
        return;
    }
    inserts_.push_back({t, g_.s2, layer, pair_line_});
}

void Reader::entity_ellipse() {
    read_groups(g_);
    uint8_t layer = groups_layer(g_);
    double ux = g_.x[1] * unit_, uy = g_.y[1] * unit_;
    double ratio = g_.h40 ? g_.r40 : 1.0;
    double vx = -uy * ratio, vy = ux * ratio;
    if (g_.ez < 0) {
        vx = -vx, vy = -vy;
    }
    double s = g_.h41 ? g_.r41 : 0, e = g_.h42 ? g_.r42 : kTurn;
    double w = std::fmod(e - s, kTurn);
    if (w < 0) {
        w += kTurn;
    }
    if (std::abs(e - s) >= kTurn - 1e-9 || w < 1e-12) {
        w = 0; // the whole ellipse
    }
    put_arc(layer, width_of(0, g_.i370), g_.x[0] * unit_, g_.y[0] * unit_, ux, uy, vx, vy, s, w, Affine{});
}

void Reader::put_segment(const Vertex& a, const Vertex& b, uint8_t layer, const Affine& e) {
    double dx = b.x - a.x, dy = b.y - a.y;
    double chord = std::hypot(dx, dy);
    double bulge = a.bulge;
    // The size test: an Arc only when its height above the chord (|bulge| x chord / 2) is at least one
    // unit and its radius stays within the coordinate range; otherwise the segment stays a Line.
    if (bulge != 0 && std::isfinite(bulge)) {
        double ab = std::min(std::abs(bulge), 1e6);
        double theta = 4 * std::atan(ab); // included angle
        double r = chord / (2 * std::sin(theta / 2));
        if (ab * chord / 2 * kUnitsPerInch >= 1 && r * kUnitsPerInch < kCoordLimit && chord * kUnitsPerInch >= 4) {
            double k = (1 - bulge * bulge) / (4 * bulge); // centre offset along the left normal, per chord
            double cx = (a.x + b.x) / 2 - dy * k, cy = (a.y + b.y) / 2 + dx * k;
            const Vertex& from = bulge > 0 ? a : b;
            double start = std::atan2(from.y - cy, from.x - cx);
            put_arc(layer, a.width, cx, cy, r, 0, 0, r, start, theta, e);
            return;
        }
    }
    put_line(layer, a.width, a.x, a.y, b.x, b.y, e);
}

void Reader::put_chain(std::vector<Vertex>& vs, bool closed, uint8_t layer, const Affine& e) {
    size_t n = vs.size();
    if (n == 0) {
        return;
    }
    if (closed && n == 2 && vs[0].bulge != 0 && std::abs(vs[0].bulge * vs[1].bulge - 1) < 1e-6) {
        // Two arcs that close a circle: one full-circle Arc.
        double cx = (vs[0].x + vs[1].x) / 2, cy = (vs[0].y + vs[1].y) / 2;
        if (std::abs(vs[0].bulge - 1) > 1e-6) {
            Vertex a = vs[0];
            double dx = vs[1].x - a.x, dy = vs[1].y - a.y, k = (1 - a.bulge * a.bulge) / (4 * a.bulge);
            cx -= dy * k, cy += dx * k;
        }
        double r = std::hypot(vs[0].x - cx, vs[0].y - cy);
        put_arc(layer, vs[0].width, cx, cy, r, 0, 0, r, 0, 0, e);
        return;
    }
    for (size_t i = 1; i < n; ++i) {
        put_segment(vs[i - 1], vs[i], layer, e);
    }
    if (closed && n >= 2) {
        put_segment(vs[n - 1], vs[0], layer, e);
    }
}

void Reader::entity_polyline() {
    int64_t at = pair_line_;
    read_groups(g_);
    uint8_t layer = groups_layer(g_);
    bool closed = (g_.i70 & 1) != 0;
    bool mesh = (g_.i70 & (16 | 64)) != 0;
    double dw = std::max(g_.r40, g_.r41) * unit_;
    int32_t lw = g_.i370;
    Affine e = (g_.i70 & 8) ? Affine{} : ocs(g_);
    verts_.clear();
    bool ended = false;
    while (next()) {
        if (code_ != 0) {
            continue;
        }
        if (value_ == "VERTEX") {
            read_groups(gv_);
            if (mesh || (gv_.i70 & 16)) {
                continue; // spline frame points are not on the curve
            }
            double w = (gv_.h40 || gv_.h41) ? std::max(gv_.r40, gv_.r41) * unit_ : dw;
            verts_.push_back({gv_.x[0] * unit_, gv_.y[0] * unit_, gv_.r42, width_of(w, lw)});
            continue;
        }
        if (value_ == "SEQEND") {
            skip_entity();
            ended = true;
        } else {
            unread();
        }
        break;
    }
    if (!ended) {
        rep_.note("POLYLINE without SEQEND", at);
    }
    if (mesh) {
        rep_.note("POLYLINE mesh", at);
        return;
    }
    put_chain(verts_, closed, layer, e);
}

void Reader::entity_lwpolyline() {
    char layer_name[16] = {};
    size_t layer_len = 0;
    int32_t flags = 0, lw = 0;
    double constant = 0, ez = 1;
    verts_.clear();
    // Per vertex: 10 starts it, 20 its Y, 40/41 its widths, 42 its bulge.
    double w40 = -1, w41 = -1;
    auto close_vertex = [&]() {
        if (!verts_.empty() && (w40 >= 0 || w41 >= 0)) {
            verts_.back().width = -1 - std::llround(std::max(w40, w41) * unit_ * kUnitsPerInch);
        }
        w40 = w41 = -1;
    };
    bool more = true;
    while (more && next()) {
        switch (code_) {
        case 0:
            unread();
            more = false;
            break;
        case 8: {
            std::string_view v = value_.substr(0, 15);
            layer_len = v.size();
            std::copy(v.begin(), v.end(), layer_name);
            break;
        }
        case 70:
            flags = whole();
            break;
        case 43:
            constant = real();
            break;
        case 370:
            lw = whole();
            break;
        case 230:
            ez = real();
            break;
        case 10:
            close_vertex();
            verts_.push_back({real() * unit_, 0, 0, 0});
            break;
        case 20:
            if (!verts_.empty()) {
                verts_.back().y = real() * unit_;
            }
            break;
        case 40:
            w40 = real();
            break;
        case 41:
            w41 = real();
            break;
        case 42:
            if (!verts_.empty()) {
                verts_.back().bulge = real();
            }
            break;
        default:
            break;
        }
    }
    close_vertex();
    uint8_t layer = static_cast<uint8_t>(layer_of(std::string_view(layer_name, layer_len)));
    int64_t base = width_of(constant * unit_, lw);
    for (Vertex& v : verts_) {
        // Vertex widths were kept as -1 - units; the others take the constant width.
        v.width = v.width < 0 ? width_of(static_cast<double>(-1 - v.width) / kUnitsPerInch, lw) : base;
    }
    put_chain(verts_, (flags & 1) != 0, layer, ez < 0 ? Affine::mirror_x() : Affine{});
}

// HATCH: one Solid per boundary path of a solid fill; arcs and ellipse arcs chorded.
void Reader::entity_hatch() {
    int64_t at = pair_line_;
    enum { kHead, kPaths, kTail } state = kHead;
    char layer_name[16] = {};
    size_t layer_len = 0;
    bool solid = false;
    int32_t paths = 0, seen = 0;
    bool poly = false, has_bulge = false, spline_fit = false, in_path = false;
    int edge = 0; // current edge type
    double ez = 1;
    std::vector<double>& pts = scratch_;
    pts.clear();
    std::vector<std::pair<size_t, size_t>> rings; // [from, to) in pts
    size_t path_from = 0;
    // Edge fields.
    double ex[2] = {}, ey[2] = {}, er = 0, ea0 = 0, ea1 = 0;
    int eccw = 1;
    bool edge_open = false;
    std::vector<Vertex>& pv = verts_;
    pv.clear();

    constexpr size_t kMaxPoints = 200000; // per HATCH: the file's size does not bound the chords
    auto add_point = [&](double x, double y) {
        size_t n = pts.size();
        if (n >= path_from + 2 && std::abs(pts[n - 2] - x) < 1e-9 && std::abs(pts[n - 1] - y) < 1e-9) {
            return;
        }
        if (n >= 2 * kMaxPoints) {
            rep_.note("HATCH beyond 200000 points (cut)", at);
            return;
        }
        pts.push_back(x);
        pts.push_back(y);
    };
    auto add_arc = [&](double cx, double cy, double ux, double uy, double vx, double vy, double t0, double sweep) {
        double r = std::max(std::hypot(ux, uy), std::hypot(vx, vy)) * kUnitsPerInch;
        double step = r > 65.536 && r < 1e15 ? 2 * std::acos(1 - 65.536 / r) : kPi / 2;
        double steps = std::ceil(std::abs(sweep) / step);
        int n = steps >= 1 && steps <= 512 ? static_cast<int>(steps) : steps > 512 ? 512 : 1;
        for (int k = 0; k <= n; ++k) {
            double t = t0 + sweep * k / n;
            add_point(cx + ux * std::cos(t) + vx * std::sin(t), cy + uy * std::cos(t) + vy * std::sin(t));
        }
    };
    auto finish_edge = [&]() {
        if (!edge_open) {
            return;
        }
        edge_open = false;
        double u = unit_;
        if (edge == 1) {
            add_point(ex[0] * u, ey[0] * u);
            add_point(ex[1] * u, ey[1] * u);
        } else if (edge == 2 || edge == 3) {
            double cx = ex[0] * u, cy = ey[0] * u;
            double ux, uy, vx, vy;
            if (edge == 2) {
                ux = er * u, uy = 0, vx = 0, vy = er * u;
            } else {
                ux = ex[1] * u, uy = ey[1] * u, vx = -uy * er, vy = ux * er;
            }
            double s = ea0 * kPi / 180, e = ea1 * kPi / 180; // ellipse edges: parameters in degrees
            double w = std::fmod(e - s, kTurn);
            if (w <= 0) {
                w += kTurn;
            }
            if (eccw) {
                add_arc(cx, cy, ux, uy, vx, vy, s, w);
            } else {
                // Clockwise edges keep their angles in the mirrored sense.
                add_arc(cx, cy, ux, uy, -vx, -vy, s, w);
            }
        }
    };
    auto finish_path = [&]() {
        if (!in_path) {
            return;
        }
        finish_edge();
        if (poly) {
            for (size_t i = 0; i < pv.size(); ++i) {
                const Vertex& a = pv[i];
                const Vertex& b = pv[(i + 1) % pv.size()];
                add_point(a.x, a.y);
                if (a.bulge != 0 && pv.size() > 1) {
                    double dx = b.x - a.x, dy = b.y - a.y;
                    double theta = 4 * std::atan(std::min(std::abs(a.bulge), 1e6));
                    double k = (1 - a.bulge * a.bulge) / (4 * a.bulge);
                    double cx = (a.x + b.x) / 2 - dy * k, cy = (a.y + b.y) / 2 + dx * k;
                    double r = std::hypot(a.x - cx, a.y - cy);
                    double s = std::atan2(a.y - cy, a.x - cx);
                    if (std::isfinite(r) && std::isfinite(s)) {
                        add_arc(cx, cy, r, 0, 0, r, s, a.bulge > 0 ? theta : -theta);
                    }
                }
            }
            pv.clear();
        }
        size_t to = pts.size();
        if (to >= path_from + 4 && std::abs(pts[to - 2] - pts[path_from]) < 1e-9 &&
            std::abs(pts[to - 1] - pts[path_from + 1]) < 1e-9) {
            pts.resize(to - 2);
            to -= 2;
        }
        rings.emplace_back(path_from, to);
        path_from = pts.size();
        in_path = false;
    };

    while (next()) {
        int c = code_;
        if (c == 0) {
            unread();
            break;
        }
        if (state == kHead) {
            if (c == 8) {
                std::string_view v = value_.substr(0, 15);
                layer_len = v.size();
                std::copy(v.begin(), v.end(), layer_name);
            } else if (c == 70) {
                solid = whole() == 1;
            } else if (c == 230) {
                ez = real();
            } else if (c == 91) {
                paths = whole();
                state = paths > 0 ? kPaths : kTail;
            }
            continue;
        }
        if (state == kTail) {
            continue;
        }
        // Paths.
        if (c == 92) {
            finish_path();
            if (seen >= paths) {
                state = kTail;
                continue;
            }
            ++seen;
            in_path = true;
            path_from = pts.size();
            poly = (whole() & 2) != 0;
            has_bulge = false;
            edge = 0;
            continue;
        }
        if (!in_path) {
            if (c == 75 || c == 76 || c == 98) {
                state = kTail;
            }
            continue;
        }
        if (poly) {
            switch (c) {
            case 72:
                has_bulge = whole() != 0;
                break;
            case 10:
                pv.push_back({real() * unit_, 0, 0, 0});
                break;
            case 20:
                if (!pv.empty()) {
                    pv.back().y = real() * unit_;
                }
                break;
            case 42:
                if (!pv.empty() && has_bulge) {
                    pv.back().bulge = real();
                }
                break;
            case 97:
                finish_path();
                if (seen >= paths) {
                    state = kTail;
                }
                break;
            default:
                break;
            }
            continue;
        }
        switch (c) {
        case 72:
            finish_edge();
            edge = whole();
            edge_open = true;
            spline_fit = edge == 4;
            er = 0, ea0 = 0, ea1 = 360, eccw = 1;
            if (edge == 4) {
                rep_.note("HATCH spline edge (drawn through its control points)", pair_line_);
            }
            break;
        case 10:
            if (edge == 4) {
                add_point(real() * unit_, 0);
            } else {
                ex[0] = real();
            }
            break;
        case 20:
            if (edge == 4) {
                if (pts.size() >= path_from + 2) {
                    pts.back() = real() * unit_;
                }
            } else {
                ey[0] = real();
            }
            break;
        case 11:
            if (edge != 4) {
                ex[1] = real();
            }
            break;
        case 21:
            if (edge != 4) {
                ey[1] = real();
            }
            break;
        case 40:
            if (edge != 4) {
                er = real();
            }
            break;
        case 50:
            ea0 = real();
            break;
        case 51:
            ea1 = real();
            break;
        case 73:
            if (edge == 2 || edge == 3) {
                eccw = whole();
            }
            break;
        case 97:
            if (spline_fit) {
                spline_fit = false;
                break;
            }
            finish_path();
            if (seen >= paths) {
                state = kTail;
            }
            break;
        default:
            break;
        }
    }
    finish_path();
    if (!solid) {
        rep_.note("HATCH pattern fill", at);
        return;
    }
    uint8_t layer = static_cast<uint8_t>(layer_of(std::string_view(layer_name, layer_len)));
    Affine e = ez < 0 ? Affine::mirror_x() : Affine{};
    for (auto [from, to] : rings) {
        size_t n = (to - from) / 2;
        if (n < 3) {
            rep_.note("HATCH path of fewer than three points", at);
            continue;
        }
        for (size_t i = from; i < to; i += 2) {
            double x = pts[i], y = pts[i + 1];
            pts[i] = e.px(x, y);
            pts[i + 1] = e.py(x, y);
        }
        Prim p;
        p.kind = kPSolid;
        p.layer = layer;
        p.count = static_cast<uint32_t>(n);
        put(p, pts.data() + from);
    }
}

// --- output -------------------------------------------------------------------------------------------

void Reader::put(Prim& p, const double* pts, std::string_view text) {
    if (block_) {
        if (p.kind == kPSolid) {
            p.off = static_cast<uint32_t>(block_->pts.size());
            block_->pts.insert(block_->pts.end(), pts, pts + 2 * p.count);
        } else if (p.kind == kPText) {
            p.off = static_cast<uint32_t>(block_->strings.size());
            block_->strings.append(text);
        }
        p.line = pair_line_;
        block_->prims.push_back(p);
        return;
    }
    emit(p, Affine{}, doc_.ring(), pts, text);
}

void Reader::put_line(uint8_t layer, int64_t w, double x1, double y1, double x2, double y2, const Affine& e) {
    Prim p;
    p.kind = kPLine;
    p.layer = layer;
    p.width = static_cast<int32_t>(w);
    p.v[0] = e.px(x1, y1), p.v[1] = e.py(x1, y1), p.v[2] = e.px(x2, y2), p.v[3] = e.py(x2, y2);
    put(p);
}

void Reader::put_arc(uint8_t layer, int64_t w, double cx, double cy, double ux, double uy, double vx, double vy,
                     double start, double sweep, const Affine& e) {
    Prim p;
    p.kind = kPArc;
    p.layer = layer;
    p.width = static_cast<int32_t>(w);
    p.v[0] = e.px(cx, cy), p.v[1] = e.py(cx, cy);
    p.v[2] = e.vx(ux, uy), p.v[3] = e.vy(ux, uy);
    p.v[4] = e.vx(vx, vy), p.v[5] = e.vy(vx, vy);
    p.v[6] = start, p.v[7] = sweep;
    put(p);
}

Coord Reader::coord(double inches, bool y) {
    if (!(std::abs(inches) <= kRealLimit)) {
        rep_.note(inches != inches ? "real value not a number" : "real value beyond 32767 inches (held there)",
                  pair_line_);
        inches = inches != inches ? 0 : inches < 0 ? -kRealLimit : kRealLimit;
    }
    return clamp_coord(std::llround(inches * kUnitsPerInch) + (y ? oy_ : ox_));
}

Angle to_angle(double rad) {
    double t = std::fmod(rad, kTurn);
    if (!(t == t)) {
        return 0;
    }
    if (t < 0) {
        t += kTurn;
    }
    return static_cast<Angle>(static_cast<int64_t>(std::llround(t * 65536 / kTurn)) & 0xFFFF);
}

void Reader::emit(const Prim& p, const Affine& m, Ref ring, const double* pts, std::string_view text) {
    if (out_of_nodes_) {
        return;
    }
    Ref r = kNone;
    switch (p.kind) {
    case kPLine: {
        r = MakeItem(ring, kLine, p.layer, static_cast<uint16_t>(p.width), coord(m.px(p.v[0], p.v[1]), false),
                     coord(m.py(p.v[0], p.v[1]), true), coord(m.px(p.v[2], p.v[3]), false),
                     coord(m.py(p.v[2], p.v[3]), true));
        break;
    }
    case kPArc: {
        double cx = m.px(p.v[0], p.v[1]), cy = m.py(p.v[0], p.v[1]);
        double ux = m.vx(p.v[2], p.v[3]), uy = m.vy(p.v[2], p.v[3]);
        double vx = m.vx(p.v[4], p.v[5]), vy = m.vy(p.v[4], p.v[5]);
        double s = p.v[6], w = p.v[7];
        bool full = w <= 0 || w >= kTurn - 1e-9;
        // Conjugate axes to the principal ones: turn the parameter so that U and V are perpendicular.
        double uv = ux * vx + uy * vy, uu = ux * ux + uy * uy, vv = vx * vx + vy * vy;
        if (std::abs(uv) > 1e-12 * (uu + vv)) {
            double t = 0.5 * std::atan2(2 * uv, uu - vv), c = std::cos(t), sn = std::sin(t);
            double nux = ux * c + vx * sn, nuy = uy * c + vy * sn;
            double nvx = -ux * sn + vx * c, nvy = -uy * sn + vy * c;
            ux = nux, uy = nuy, vx = nvx, vy = nvy;
            s -= t;
        }
        if (ux * vy - uy * vx < 0) {
            // A mirrored curve runs the other way: reflect the parameter (start angles reflected).
            vx = -vx, vy = -vy;
            s = full ? -s : -(s + w);
        }
        double ru = std::hypot(ux, uy), rv = std::hypot(vx, vy);
        if (rv > ru) {
            double nux = vx, nuy = vy;
            vx = -ux, vy = -uy;
            ux = nux, uy = nuy;
            std::swap(ru, rv);
            s -= kPi / 2;
        }
        double rot = std::atan2(uy, ux);
        uint16_t ellipse = 0;
        double ratio = ru > 0 ? rv / ru : 1;
        if (ratio < 1 - 1.0 / 65536) {
            ellipse = static_cast<uint16_t>(std::clamp<int64_t>(std::llround(ratio * 65536), 1, 65535));
        } else {
            s += rot; // a circle: the turn goes into the start
            rot = 0;
        }
        Angle sweep = 0;
        if (!full) {
            int64_t sw = std::llround(w * 65536 / kTurn);
            sweep = static_cast<Angle>(std::clamp<int64_t>(sw, 1, 65535));
        }
        double rad = ru;
        if (!(rad <= kRealLimit)) {
            rep_.note("real value beyond 32767 inches (held there)", pair_line_);
            rad = kRealLimit;
        }
        r = MakeItem(ring, kArc, p.layer, static_cast<uint16_t>(p.width), coord(cx, false), coord(cy, true),
                     clamp_coord(std::llround(rad * kUnitsPerInch)), 0);
        if (r != kNone) {
            Node& n = node(r);
            n.arc.start = to_angle(s);
            n.arc.sweep = sweep;
            n.arc.ellipse = ellipse;
            n.arc.angle = ellipse ? to_angle(rot) : Angle{0};
        }
        break;
    }
    case kPSolid: {
        if (p.count < 3) {
            return;
        }
        r = MakeItem(ring, kLine, p.layer, 0, 0, 0, 0, 0);
        if (r == kNone) {
            break;
        }
        for (uint32_t k = 0; k < p.count; ++k) {
            double x = pts[2 * k], y = pts[2 * k + 1];
            if (!add_vertex(r, coord(m.px(x, y), false), coord(m.py(x, y), true))) {
                DeleteItem(r);
                r = kNone;
                break;
            }
        }
        break;
    }
    case kPText: {
        double ax = m.px(p.v[0], p.v[1]), ay = m.py(p.v[0], p.v[1]);
        double dx = m.vx(std::cos(p.v[2]), std::sin(p.v[2])), dy = m.vy(std::cos(p.v[2]), std::sin(p.v[2]));
        double angle = std::atan2(dy, dx);
        bool mirror = (p.flags & 1) != 0;
        double hs = std::hypot(m.a, m.c); // the X scale
        if (m.det() < 0) {
            mirror = !mirror;
            angle += kPi;
        }
        double hu = p.v[3] * hs * kUnitsPerInch;
        int64_t height = p.v[3] < 0 ? 6 : hu == hu ? std::llround(std::min(hu, 65535.0)) : 6;
        height = std::clamp<int64_t>(height, 1, 65535);
        r = MakeItem(ring, kText, p.layer, static_cast<uint16_t>(height), coord(ax, false), coord(ay, true),
                     mirror ? -6 : 6, 0);
        if (r == kNone) {
            break;
        }
        Node& n = node(r);
        n.text.angle = to_angle(angle);
        if (!SetText(r, text)) {
            DeleteItem(r);
            r = kNone;
            break;
        }
        display::measure_text_item(r);
        int h = (p.flags >> 1) & 3, v = (p.flags >> 3) & 3;
        if (h != 0 || v != 0) {
            // From the alignment point to the bottom-left corner of the first line.
            Node& t = node(r);
            double len = t.text.length / kUnitsPerInch, ht = static_cast<double>(height) / kUnitsPerInch;
            int lines = std::max<int>(t.text.lines, 1);
            double box = ht + 1.5 * ht * (lines - 1);
            double along = h == 1 ? -len / 2 : h == 2 ? -len : 0;
            double down = v == 3 ? ht : v == 2 ? ht - box / 2 : v == 1 && lines > 1 ? ht - box : 0;
            double c = std::cos(angle), sn = std::sin(angle);
            t.text.x0 = coord(ax + along * c + down * sn, false);
            t.text.y0 = coord(ay + along * sn - down * c, true);
        }
        break;
    }
    default:
        return;
    }
    if (r == kNone) {
        out_of_nodes_ = true;
    }
}

// --- blocks and inserts -------------------------------------------------------------------------------

void Reader::resolve(Block& b) {
    for (Prim& p : b.prims) {
        if (p.kind == kPInsert && p.width == -1) {
            auto it = block_index_.find(std::string(b.strings, p.off, p.count));
            if (it == block_index_.end()) {
                rep_.note("INSERT of an unknown block", p.line);
                p.width = -3;
            } else {
                p.width = it->second;
            }
        }
    }
}

// Items one insert of `root` makes (the inserts themselves counted too, so empty nests cost their walk),
// saturated; inserts that lead back into a block being walked are marked cyclic and reported.
bool Reader::compute_cost(int root) {
    constexpr int64_t kMax = int64_t{1} << 60;
    struct Frame {
        int block;
        size_t next;
        int64_t sum;
    };
    std::vector<Frame> stack;
    std::vector<uint8_t>& on = on_stack_; // every entry is back to 0 when a walk ends
    on.resize(blocks_.size(), 0);
    stack.push_back({root, 0, 0});
    on[static_cast<size_t>(root)] = 1;
    while (!stack.empty()) {
        Frame& f = stack.back();
        Block& b = blocks_[static_cast<size_t>(f.block)];
        if (f.next == 0 && f.sum == 0) {
            resolve(b);
        }
        bool pushed = false;
        while (f.next < b.prims.size()) {
            Prim& p = b.prims[f.next];
            if (p.kind != kPInsert) {
                f.sum = std::min(kMax, f.sum + 1);
                ++f.next;
                continue;
            }
            if (p.width < 0) {
                ++f.next;
                continue;
            }
            size_t child = static_cast<size_t>(p.width);
            if (on[child]) {
                rep_.note("INSERT cycle (left out)", p.line);
                p.width = -2;
                ++f.next;
                continue;
            }
            if (blocks_[child].cost >= 0) {
                f.sum = std::min(kMax, f.sum + 1 + blocks_[child].cost);
                ++f.next;
                continue;
            }
            on[child] = 1;
            stack.push_back({static_cast<int>(child), 0, 0});
            pushed = true;
            break;
        }
        if (pushed) {
            continue;
        }
        b.cost = f.sum;
        on[static_cast<size_t>(f.block)] = 0;
        stack.pop_back();
        // The parent takes the child's cost when it comes back to the same insert.
    }
    return true;
}

void Reader::expand(int root, const Affine& m, Ref ring) {
    struct Frame {
        int block;
        size_t next;
        Affine m;
    };
    std::vector<Frame> stack;
    auto enter = [&](int b, const Affine& outer) {
        const Block& bl = blocks_[static_cast<size_t>(b)];
        stack.push_back({b, 0, outer.then(Affine{1, 0, 0, 1, -bl.bx, -bl.by})});
    };
    enter(root, m);
    while (!stack.empty() && !out_of_nodes_) {
        Frame& f = stack.back();
        const Block& b = blocks_[static_cast<size_t>(f.block)];
        if (f.next >= b.prims.size()) {
            stack.pop_back();
            continue;
        }
        const Prim& p = b.prims[f.next++];
        if (p.kind == kPInsert) {
            if (p.width >= 0) {
                Affine t{p.v[0], p.v[1], p.v[2], p.v[3], p.v[4], p.v[5]};
                Affine outer = f.m.then(t);
                enter(p.width, outer);
            }
            continue;
        }
        emit(p, f.m, ring, b.pts.data() + (p.kind == kPSolid ? p.off : 0),
             p.kind == kPText ? std::string_view(b.strings).substr(p.off, p.count) : std::string_view{});
    }
}

void Reader::expand_inserts() {
    for (size_t k = 0; k < blocks_.size(); ++k) {
        if (blocks_[k].cost < 0) {
            compute_cost(static_cast<int>(k));
        }
    }
    for (const TopInsert& ins : inserts_) {
        if (out_of_nodes_) {
            break;
        }
        auto it = block_index_.find(ins.name);
        if (it == block_index_.end()) {
            rep_.note("INSERT of an unknown block", ins.line);
            continue;
        }
        const Block& b = blocks_[static_cast<size_t>(it->second)];
        if (b.cost > budget_) {
            rep_.note("INSERT beyond the Item budget (left out)", ins.line);
            continue;
        }
        budget_ -= b.cost;
        Ref c = make_component(doc_.ring(), ins.layer, to_angle(std::atan2(ins.m.c, ins.m.a)), ins.name);
        if (c == kNone) {
            out_of_nodes_ = true;
            break;
        }
        Ref head = member_ring(c);
        Coord hx = coord(ins.m.tx, false), hy = coord(ins.m.ty, true);
        node(head).box.x1 = hx;
        node(head).box.y1 = hy;
        pair_line_ = ins.line;
        expand(it->second, ins.m, head);
        if (ring_empty(head)) {
            DeleteItem(c);
            continue;
        }
        Coord x1 = hx, y1 = hy, x2 = hx, y2 = hy;
        members_box(head, x1, y1, x2, y2);
        // An Arc's box (centre and radius) may reach past the coordinate limit: the box is held to it.
        Node& n = node(c);
        n.box.x1 = clamp_coord(x1), n.box.y1 = clamp_coord(y1), n.box.x2 = clamp_coord(x2), n.box.y2 = clamp_coord(y2);
    }
    inserts_.clear();
}

// --- entity sections ----------------------------------------------------------------------------------

void Reader::read_entities(bool blocks) {
    while (next()) {
        if (code_ != 0) {
            continue;
        }
        std::string_view v = value_;
        if (v == "ENDSEC") {
            break;
        }
        if (v == "EOF") {
            unread();
            break;
        }
        if (out_of_nodes_) {
            skip_entity();
            continue;
        }
        if (blocks && v == "BLOCK") {
            read_groups(g_);
            std::string name = g_.s2;
            auto [it, fresh] = block_index_.emplace(name, static_cast<int>(blocks_.size()));
            if (!fresh) {
                rep_.note("BLOCK defined twice (the first kept)", pair_line_);
                block_ = &scratch_block_;
                scratch_block_ = Block{};
                continue;
            }
            blocks_.emplace_back();
            block_ = &blocks_.back();
            block_->name = std::move(name);
            block_->bx = g_.x[0] * unit_;
            block_->by = g_.y[0] * unit_;
            continue;
        }
        if (blocks && v == "ENDBLK") {
            skip_entity();
            block_ = nullptr;
            continue;
        }
        if (v == "LINE") {
            entity_line();
        } else if (v == "POLYLINE") {
            entity_polyline();
        } else if (v == "LWPOLYLINE") {
            entity_lwpolyline();
        } else if (v == "ARC") {
            entity_arc(false);
        } else if (v == "CIRCLE") {
            entity_arc(true);
        } else if (v == "SOLID" || v == "TRACE") {
            entity_solid(false);
        } else if (v == "3DFACE") {
            entity_solid(true);
        } else if (v == "TEXT") {
            entity_text(false, false);
        } else if (v == "ATTRIB" || v == "ATTR") {
            entity_text(true, false);
        } else if (v == "MTEXT") {
            entity_text(false, true);
        } else if (v == "INSERT") {
            entity_insert();
        } else if (v == "ELLIPSE") {
            entity_ellipse();
        } else if (v == "HATCH") {
            entity_hatch();
        } else if (v == "SEQEND") {
            skip_entity(); // the end of an INSERT's ATTRIB list
        } else {
            rep_.note(v.empty() ? std::string_view("entity without a name") : v, pair_line_);
            skip_entity();
        }
    }
    block_ = nullptr;
}

char Reader::run() {
    apply_template(doc_.setup, Template::DxfImport);
    ox_ = doc_.setup.origin_x;
    oy_ = doc_.setup.origin_y;
    while (next()) {
        if (code_ != 0) {
            continue;
        }
        if (value_ == "EOF") {
            break;
        }
        if (value_ != "SECTION") {
            continue;
        }
        if (!next()) {
            break;
        }
        if (code_ != 2) {
            unread();
            continue;
        }
        if (value_ == "HEADER") {
            read_header();
        } else if (value_ == "TABLES") {
            read_tables();
        } else if (value_ == "BLOCKS") {
            read_entities(true);
        } else if (value_ == "ENTITIES") {
            read_entities(false);
            expand_inserts();
        } else {
            skip_section();
        }
    }
    expand_inserts();
    return out_of_nodes_ ? 0 : kForcedDxf;
}

} // namespace

bool dxf_accepts(std::string_view head, char forced) {
    if (forced != 0) {
        return forced == kForcedDxf;
    }
    // Pairs of lines: 999 comments, then 0 SECTION and 2 HEADER.
    size_t p = 0;
    auto line = [&](std::string_view& out) {
        if (p >= head.size()) {
            return false;
        }
        size_t e = head.find('\n', p);
        if (e == std::string_view::npos) {
            return false; // the head may end in the middle of a line
        }
        out = head.substr(p, e - p);
        p = e + 1;
        while (!out.empty() && (out.back() == '\r' || out.back() == ' ' || out.back() == '\t')) {
            out.remove_suffix(1);
        }
        while (!out.empty() && (out.front() == ' ' || out.front() == '\t')) {
            out.remove_prefix(1);
        }
        return true;
    };
    std::string_view c, v;
    for (int want = 0; want < 2;) {
        if (!line(c)) {
            return false;
        }
        if (c.empty()) {
            continue; // blank lines between pairs
        }
        if (!line(v)) {
            return false;
        }
        int32_t code = 0;
        if (!parse_int(c, code)) {
            return false;
        }
        if (code == 999 && want == 0) {
            continue;
        }
        if (want == 0 && (code != 0 || v != "SECTION")) {
            return false;
        }
        if (want == 1 && (code != 2 || v != "HEADER")) {
            return false;
        }
        ++want;
    }
    return true;
}

char read_dxf(model::LineReader& in, model::Document& doc, const ImportJob& job, const DxfReadOptions& options) {
    Reader r(in, doc, job, options);
    return r.run();
}

} // namespace trazel::formats
