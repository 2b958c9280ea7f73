#include "formats/gerber_in.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <unordered_map>

#include "formats/aperture_macro.h"
#include "formats/import_support.h"
#include "model/setup_directives.h"

namespace trazel::formats {

using namespace model;
using detail::Decimal;
using detail::Vertex;

namespace {

constexpr int kBlockMax = 1000;
constexpr size_t kParamMax = size_t{1} << 20;
constexpr int64_t kRepeatCap = 65536;
constexpr int kTableSize = 2048;
constexpr Coord kScaleLimit = 0x180000; // 24 inches
constexpr int64_t kPointLimit = int64_t{1} << 40;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

bool iequals_suffix(std::string_view s, std::string_view suffix) {
    if (s.size() < suffix.size()) {
        return false;
    }
    for (size_t i = 0; i < suffix.size(); ++i) {
        if (upper(s[s.size() - suffix.size() + i]) != suffix[i]) {
            return false;
        }
    }
    return true;
}

std::string_view base_name(std::string_view file) {
    size_t cut = file.find_last_of("/\\");
    return cut == std::string_view::npos ? file : file.substr(cut + 1);
}

enum class ApKind : uint8_t { Undefined, Circle, Rect, Obround, Polygon, Macro, Block };

struct Aperture {
    ApKind kind = ApKind::Undefined;
    int64_t w = 0, h = 0; // coordinate units
    int vertices = 0;
    double rotation = 0;
    std::shared_ptr<const std::vector<MacroShape>> shapes; // macros: in coordinate units
    std::string name;
};

enum class Mode : uint8_t { Move, Draw, Flash };
enum class Interp : uint8_t { Linear, Clockwise, CounterClockwise };

double norm_degrees(double d) {
    d = std::fmod(d, 360.0);
    return d < 0 ? d + 360.0 : d;
}

class GerberReader {
  public:
    GerberReader(Document& doc, const ImportJob& job, uint8_t layer, ImportStats& stats)
        : rep_(job), make_(doc, layer, rep_, stats), job_(job), table_(kTableSize) {
    }

    void set_format(const GerberImportForm& f, bool asked) {
        if (asked) {
            dec_x_ = dec_y_ = std::clamp(f.decimals, 0, 7);
            // The question gives no integer digits; inch files of this kind are 2.n.
            int_x_ = int_y_ = 2;
            trailing_ = f.trailing;
            incremental_ = f.incremental;
            ignore_undefined_ = f.defaults;
        }
    }

    void feed(std::string_view line);
    void finish();
    bool format_never_known() const {
        return !fs_seen_ && dec_x_ == 0;
    }

  private:
    void end_param();
    void param_command(std::string_view cmd);
    void define_aperture(std::string_view cmd);
    void define_macro(std::string_view section);
    void step_repeat(std::string_view cmd);
    void close_repeat();
    void data_block(std::string_view b);
    bool coordinate(std::string_view b, size_t& p, bool x_axis, int64_t& out);
    void select_aperture(uint32_t d);
    Aperture* aperture(uint32_t d, bool create);
    void flash(const Aperture& a, int64_t x, int64_t y);
    void draw(int64_t x1, int64_t y1, int64_t x2, int64_t y2, bool explicit_d01, bool have_ij, int64_t i, int64_t j);
    bool arc_geometry(int64_t sx, int64_t sy, int64_t ex, int64_t ey, int64_t i, int64_t j, double& cx, double& cy,
                      double& r, double& a0, double& sweep);
    void contour_to(int64_t x, int64_t y, bool have_ij, int64_t i, int64_t j);
    void close_contour();
    int64_t width_of(const Aperture& a) const;
    void note(std::string_view what, int64_t objects = 1) {
        rep_.note(what, line_no_, objects);
    }

    detail::Reporter rep_;
    detail::ItemMaker make_;
    const ImportJob& job_;

    // Block collection
    char blk_[kBlockMax];
    int bn_ = 0;
    bool comment_ = false;
    bool in_param_ = false;
    std::string param_;
    bool param_overflow_ = false;
    bool stopped_ = false;
    int64_t line_no_ = 0;

    // Format
    bool fs_seen_ = false;
    bool mm_ = false;
    bool trailing_ = false;
    bool incremental_ = false;
    bool ignore_undefined_ = false;
    int int_x_ = 2, dec_x_ = 0, int_y_ = 2, dec_y_ = 0;

    // Graphics state
    std::vector<Aperture> table_;
    std::unordered_map<uint32_t, Aperture> high_; // D codes above 2047, kept apart
    std::unordered_map<std::string, std::shared_ptr<ApertureMacro>> macros_;
    uint32_t current_ = 0;
    Aperture* ap_ = nullptr;
    Mode mode_ = Mode::Move;
    Interp interp_ = Interp::Linear;
    bool multi_quadrant_ = false;
    bool region_ = false;
    std::vector<Vertex> contour_;
    int64_t x_ = 0, y_ = 0;

    // Step and repeat
    bool repeating_ = false;
    Ref repeat_mark_ = kNone;
    int64_t rep_x_ = 1, rep_y_ = 1, rep_i_ = 0, rep_j_ = 0;
};

void GerberReader::feed(std::string_view line) {
    ++line_no_;
    make_.line_no = line_no_;
    for (size_t k = 0; k < line.size() && !stopped_; ++k) {
        char c = line[k];
        if (static_cast<unsigned char>(c) <= ' ') {
            continue;
        }
        if (in_param_) {
            if (c == '%') {
                in_param_ = false;
                end_param();
            } else if (param_.size() < kParamMax) {
                param_.push_back(c);
            } else {
                param_overflow_ = true;
            }
            continue;
        }
        if (comment_) {
            if (c == '*') {
                comment_ = false;
                bn_ = 0;
            }
            continue;
        }
        if (c == '%') {
            if (bn_ > 0) {
                data_block({blk_, static_cast<size_t>(bn_)});
                bn_ = 0;
            }
            in_param_ = true;
            param_.clear();
            param_overflow_ = false;
            continue;
        }
        if (c == '*') {
            data_block({blk_, static_cast<size_t>(bn_)});
            bn_ = 0;
            continue;
        }
        blk_[bn_++] = c;
        // A comment may hold anything up to its "*", "%" included.
        if ((bn_ == 3 && blk_[0] == 'G' && blk_[1] == '0' && blk_[2] == '4') ||
            (bn_ == 2 && blk_[0] == 'G' && blk_[1] == '4' && (k + 1 >= line.size() || !is_digit(line[k + 1])))) {
            comment_ = true;
            continue;
        }
        if (bn_ == kBlockMax) {
            data_block({blk_, static_cast<size_t>(bn_)});
            bn_ = 0;
        }
    }
}

void GerberReader::finish() {
    if (!stopped_) {
        if (in_param_) {
            note("unterminated parameter block");
        } else if (bn_ > 0 && !comment_) {
            data_block({blk_, static_cast<size_t>(bn_)});
        }
    }
    if (region_) {
        close_contour();
        note("G36 region not closed by G37");
    }
    close_repeat();
    if (make_.out_of_nodes) {
        note("out of memory: the rest of the file");
    }
}

// --- Parameter blocks ---------------------------------------------------------------------------

void GerberReader::end_param() {
    if (param_overflow_) {
        note("parameter block longer than 1 MiB");
    }
    std::string_view s = param_;
    if (s.size() >= 2 && s[0] == 'A' && s[1] == 'M') {
        define_macro(s.substr(2));
        return;
    }
    size_t p = 0;
    while (p < s.size()) {
        size_t e = s.find('*', p);
        if (e == std::string_view::npos) {
            e = s.size();
        }
        if (e > p) {
            param_command(s.substr(p, e - p));
        }
        p = e + 1;
    }
}

void GerberReader::param_command(std::string_view cmd) {
    if (cmd.size() < 2) {
        note("unknown parameter block");
        return;
    }
    std::string_view code = cmd.substr(0, 2), rest = cmd.substr(2);
    if (code == "FS") {
        fs_seen_ = true;
        for (size_t p = 0; p < rest.size(); ++p) {
            char c = rest[p];
            if (c == 'L' || c == 'D') {
                trailing_ = false;
            } else if (c == 'T') {
                trailing_ = true;
            } else if (c == 'A') {
                incremental_ = false;
            } else if (c == 'I') {
                incremental_ = true;
            } else if ((c == 'X' || c == 'Y') && p + 2 < rest.size() && is_digit(rest[p + 1]) &&
                       is_digit(rest[p + 2])) {
                (c == 'X' ? int_x_ : int_y_) = rest[p + 1] - '0';
                (c == 'X' ? dec_x_ : dec_y_) = rest[p + 2] - '0';
                p += 2;
            }
        }
    } else if (code == "MO") {
        if (rest == "MM") {
            mm_ = true;
        } else if (rest == "IN") {
            mm_ = false;
        } else {
            note("%MO with unknown unit");
        }
    } else if (code == "AD") {
        define_aperture(rest);
    } else if (code == "SR") {
        step_repeat(rest);
    } else if (code == "LP") {
        if (!rest.empty() && rest[0] == 'C') {
            make_.clear = true;
        } else if (!rest.empty() && rest[0] == 'D') {
            make_.clear = false;
        }
    } else if (code == "TO") {
        // Only the net name has a use here: it becomes the Signal of what follows.
        if (rest.starts_with(".N,")) {
            std::string_view net = rest.substr(3);
            size_t comma = net.find(',');
            make_.signal.assign(net.substr(0, comma));
        }
    } else if (code == "TD") {
        if (rest.empty() || rest == ".N") {
            make_.signal.clear();
        }
    } else if (code == "TF" || code == "TA" || code == "IN" || code == "LN" || code == "IO") {
        // Attributes and names change nothing that is drawn.
    } else if (code == "IP") {
        if (rest == "NEG") {
            note("%IPNEG negative image");
        }
    } else if (code == "AB") {
        if (rest.empty()) {
            make_.in_block = false;
        } else {
            size_t p = rest[0] == 'D' ? 1 : 0;
            uint32_t d = 0;
            if (detail::read_uint(rest, p, d)) {
                if (Aperture* a = aperture(d, true)) {
                    *a = Aperture{};
                    a->kind = ApKind::Block;
                }
            }
            make_.in_block = true;
        }
    } else if ((code == "OF" && rest != "A0B0" && rest != "A0.0B0.0" && rest != "A0") ||
               (code == "SF" && rest != "A1B1" && rest != "A1.0B1.0") || (code == "MI" && rest != "A0B0") ||
               (code == "IR" && rest != "0") || (code == "AS" && rest != "AXBY") || (code == "LM" && rest != "N") ||
               (code == "LR" && rest != "0") || (code == "LS" && rest != "1" && rest != "1.0") || code == "IJ" ||
               code == "KO") {
        note("%" + std::string(code));
    } else if (code != "OF" && code != "SF" && code != "MI" && code != "IR" && code != "AS" && code != "LM" &&
               code != "LR" && code != "LS") {
        note("%" + std::string(code));
    }
}

Aperture* GerberReader::aperture(uint32_t d, bool create) {
    if (d < kTableSize) {
        return &table_[d];
    }
    auto it = high_.find(d);
    if (it != high_.end()) {
        return &it->second;
    }
    if (!create) {
        return nullptr;
    }
    // Bounded by the file: each definition is one parameter block.
    return &high_[d];
}

void GerberReader::define_aperture(std::string_view s) {
    size_t p = 0;
    if (p < s.size() && s[p] == 'D') {
        ++p;
    }
    uint32_t d = 0;
    bool too_big = false;
    if (!detail::read_uint(s, p, d, &too_big)) {
        note(too_big ? "D code beyond 32 bits" : "%AD without D code");
        return;
    }
    size_t comma = s.find(',', p);
    std::string_view name = s.substr(p, comma == std::string_view::npos ? std::string_view::npos : comma - p);
    std::vector<double> v;
    std::vector<Decimal> raw;
    if (comma != std::string_view::npos) {
        size_t q = comma + 1;
        while (q < s.size() && v.size() < 10000) {
            Decimal dec;
            size_t at = q;
            detail::read_decimal(s, q, dec);
            if (q == at) {
                ++q; // not a number: step over it
            }
            raw.push_back(dec);
            v.push_back(static_cast<double>(dec.v) * std::pow(10.0, -dec.e));
            if (q < s.size() && (s[q] == 'X' || s[q] == 'x')) {
                ++q;
            } else {
                break;
            }
        }
    }
    Aperture a;
    auto size_of = [&](size_t k) -> int64_t {
        if (k >= raw.size()) {
            return 0;
        }
        int64_t u = detail::scaled_units(raw[k].v, raw[k].e, mm_);
        return u < 0 ? -u : u;
    };
    // The standard apertures are exactly these letters; every other name is a macro.
    if (name == "C") {
        a.kind = ApKind::Circle;
        a.w = a.h = size_of(0);
        if (raw.size() > 1) {
            note("aperture hole left out");
        }
    } else if (name == "R" || name == "O") {
        a.kind = name == "R" ? ApKind::Rect : ApKind::Obround;
        a.w = size_of(0);
        a.h = raw.size() > 1 ? size_of(1) : a.w;
        if (raw.size() > 2) {
            note("aperture hole left out");
        }
    } else if (name == "P") {
        a.kind = ApKind::Polygon;
        a.w = a.h = size_of(0);
        double n = v.size() > 1 ? v[1] : 0;
        a.vertices = n >= 3 && n <= 12 ? static_cast<int>(n) : 0;
        a.rotation = v.size() > 2 ? v[2] : 0;
        if (a.vertices == 0) {
            note("%AD polygon with bad vertex count");
        }
        if (raw.size() > 3) {
            note("aperture hole left out");
        }
    } else {
        a.kind = ApKind::Macro;
        a.name = name;
        auto it = macros_.find(std::string(name));
        if (it == macros_.end()) {
            note("undefined macro " + std::string(name));
        } else {
            std::vector<MacroShape> shapes;
            std::string why;
            if (!it->second->evaluate(v, shapes, &why)) {
                note("macro " + std::string(name) + ": " + why);
            }
            // Into coordinate units once, so each flash only moves them.
            double k = 65536.0 / (mm_ ? 25.4 : 1.0);
            auto conv = [&](double x) { return std::isfinite(x * k) ? std::clamp(x * k, -1e11, 1e11) : 0.0; };
            for (MacroShape& m : shapes) {
                m.cx = conv(m.cx);
                m.cy = conv(m.cy);
                m.w = conv(m.w);
                m.h = conv(m.h);
                m.gap = conv(m.gap);
                for (MacroPoint& pt : m.pts) {
                    pt.x = conv(pt.x);
                    pt.y = conv(pt.y);
                }
            }
            a.shapes = std::make_shared<const std::vector<MacroShape>>(std::move(shapes));
        }
    }
    if (Aperture* slot = aperture(d, true)) {
        *slot = std::move(a);
        if (d == current_) {
            ap_ = slot;
        }
    }
}

void GerberReader::define_macro(std::string_view section) {
    size_t star = section.find('*');
    std::string name(section.substr(0, star));
    auto m = std::make_shared<ApertureMacro>();
    std::string why;
    if (star != std::string_view::npos && !m->parse(section.substr(star + 1), &why)) {
        note("macro " + name + ": " + why);
    }
    macros_[name] = std::move(m);
}

void GerberReader::step_repeat(std::string_view s) {
    close_repeat();
    int64_t nx = 1, ny = 1, i = 0, j = 0;
    for (size_t p = 0; p < s.size();) {
        char c = s[p++];
        Decimal d;
        if (!detail::read_decimal(s, p, d)) {
            continue;
        }
        if (c == 'X' || c == 'Y') {
            int64_t n = d.e == 0 ? d.v : d.v / detail::kPow10[std::min(d.e, 18)];
            (c == 'X' ? nx : ny) = std::max<int64_t>(n, 1);
        } else if (c == 'I' || c == 'J') {
            (c == 'I' ? i : j) = detail::scaled_units(d.v, d.e, mm_);
        }
    }
    if (nx * ny <= 1) {
        return;
    }
    if (nx > kRepeatCap || ny > kRepeatCap || nx * ny > kRepeatCap) {
        note("%SR above 65536 copies");
        return;
    }
    repeating_ = true;
    repeat_mark_ = last_item(make_.ring);
    rep_x_ = nx;
    rep_y_ = ny;
    rep_i_ = i;
    rep_j_ = j;
}

// Copies one Item of the repeated block, moved by (dx, dy).
Ref copy_moved(Ref src, Ref ring, Coord dx, Coord dy) {
    const Node n = node(src);
    Ref r = NewItemBefore(ring);
    if (r == kNone) {
        return kNone;
    }
    Node& c = node(r);
    c.kind = n.kind;
    c.layer = n.layer;
    c.size = n.size;
    c.line = n.line;
    c.link = kNone;
    uint8_t k = n.item_kind();
    if (k == kLine && n.size == 0) {
        for (Ref v = n.link; v != kNone; v = node(v).link) {
            if (!add_vertex(r, node(v).line.x1, node(v).line.y1)) {
                DeleteItem(r);
                return kNone;
            }
        }
    } else if (Ref sig = item_signal(src); sig != kNone) {
        AttachSignal(r, signal_name(sig));
    }
    offset_item(r, dx, dy);
    return r;
}

void GerberReader::close_repeat() {
    if (!repeating_) {
        return;
    }
    repeating_ = false;
    Ref ring = make_.ring;
    Ref first = repeat_mark_ == kNone ? node(ring).next : node(repeat_mark_).next;
    Ref last = last_item(ring);
    if (first == ring || last == kNone || last == repeat_mark_) {
        return;
    }
    for (int64_t a = 0; a < rep_x_ && !make_.out_of_nodes; ++a) {
        for (int64_t b = 0; b < rep_y_ && !make_.out_of_nodes; ++b) {
            if (a == 0 && b == 0) {
                continue;
            }
            Coord dx = clamp_coord(a * rep_i_), dy = clamp_coord(b * rep_j_);
            for (Ref r = first;; r = node(r).next) {
                if (copy_moved(r, ring, dx, dy) == kNone) {
                    make_.out_of_nodes = true;
                    break;
                }
                if (r == last) {
                    break;
                }
            }
        }
    }
}

// --- Data blocks --------------------------------------------------------------------------------

bool GerberReader::coordinate(std::string_view b, size_t& p, bool x_axis, int64_t& out) {
    Decimal d;
    size_t at = p;
    bool ok = detail::read_decimal(b, p, d);
    if (d.too_big) {
        note("number beyond 32 bits");
        return false;
    }
    if (!ok) {
        if (p == at) {
            return false;
        }
        out = 0;
        return true;
    }
    if (d.point) {
        out = detail::scaled_units(d.v, d.e, mm_);
        return true;
    }
    int in = x_axis ? int_x_ : int_y_, dec = x_axis ? dec_x_ : dec_y_;
    int e = trailing_ ? d.digits - in : dec;
    out = detail::scaled_units(d.v, e, mm_);
    return true;
}

void GerberReader::select_aperture(uint32_t d) {
    current_ = d;
    ap_ = aperture(d, true);
    if (!ap_ || ap_->kind != ApKind::Undefined || ignore_undefined_) {
        return;
    }
    ApertureForm f;
    f.dcode = static_cast<int>(d);
    bool ok = true;
    if (job_.ask && job_.ask->aperture) {
        ok = job_.ask->aperture(f);
    }
    if (!ok) {
        return; // stays undefined: its zero sizes are used
    }
    if (f.defaults) {
        ignore_undefined_ = true;
        return;
    }
    int64_t w = mils_to_units(std::clamp(f.width, 0, 100000)), h = mils_to_units(std::clamp(f.height, 0, 100000));
    ap_->kind = f.shape == kApertureRound ? ApKind::Circle : ApKind::Rect;
    ap_->w = w;
    ap_->h = f.shape == kApertureRectangle ? h : w;
}

int64_t GerberReader::width_of(const Aperture& a) const {
    return a.w;
}

void GerberReader::flash(const Aperture& a, int64_t x, int64_t y) {
    auto simple = [&](ApKind k, int64_t w, int64_t h) {
        if (w == 0 && h == 0) {
            make_.pad(x, y, 2, 2048, 2048, 0, 0);
            return;
        }
        int kind = k == ApKind::Circle ? 0 : k == ApKind::Rect ? 1 : 2;
        if (w > 65535 || h > 65535) {
            make_.big_shape(kind, static_cast<double>(x), static_cast<double>(y), static_cast<double>(w),
                            static_cast<double>(h), 0);
            return;
        }
        // Round and oval flashes are oval surface pads (5), rectangles rectangular ones (6).
        make_.pad(x, y, k == ApKind::Rect ? 6 : 5, w, h, 0, 0);
    };
    switch (a.kind) {
    case ApKind::Undefined:
        make_.pad(x, y, 2, 2048, 2048, 0, 0);
        break;
    case ApKind::Circle:
    case ApKind::Rect:
    case ApKind::Obround:
        simple(a.kind, a.w, a.h);
        break;
    case ApKind::Polygon: {
        if (a.vertices < 3) {
            simple(ApKind::Circle, a.w, a.w);
            break;
        }
        std::vector<Vertex> pts;
        double r = static_cast<double>(a.w) / 2;
        for (int k = 0; k < a.vertices; ++k) {
            double t = (a.rotation + 360.0 * k / a.vertices) * std::numbers::pi / 180.0;
            pts.push_back({x + std::llround(r * std::cos(t)), y + std::llround(r * std::sin(t))});
        }
        make_.solid(pts);
        break;
    }
    case ApKind::Macro: {
        if (!a.shapes) {
            note("flash of undefined macro " + a.name);
            break;
        }
        bool cut = false;
        for (const MacroShape& m : *a.shapes) {
            if (!m.exposure) {
                cut = true;
                continue;
            }
            double cx = static_cast<double>(x) + m.cx, cy = static_cast<double>(y) + m.cy;
            int64_t ix = std::llround(std::clamp(cx, -1e12, 1e12)), iy = std::llround(std::clamp(cy, -1e12, 1e12));
            switch (m.kind) {
            case MacroShapeKind::Circle:
                if (m.w > 65535) {
                    make_.big_shape(0, cx, cy, m.w, m.w, 0);
                } else if (m.w >= 1) {
                    make_.pad(ix, iy, 5, std::llround(m.w), std::llround(m.w), 0, 0);
                }
                break;
            case MacroShapeKind::Rect:
                if (m.w > 65535 || m.h > 65535) {
                    make_.big_shape(1, cx, cy, m.w, m.h, m.angle);
                } else if (m.w >= 1 && m.h >= 1) {
                    make_.pad(ix, iy, 6, std::llround(m.w), std::llround(m.h), 0, detail::degrees_angle(m.angle));
                }
                break;
            case MacroShapeKind::Outline: {
                std::vector<Vertex> pts;
                pts.reserve(m.pts.size());
                for (const MacroPoint& pt : m.pts) {
                    pts.push_back({x + std::llround(pt.x), y + std::llround(pt.y)});
                }
                if (pts.size() > 1 && pts.front().x == pts.back().x && pts.front().y == pts.back().y) {
                    pts.pop_back();
                }
                make_.solid(pts);
                break;
            }
            case MacroShapeKind::Thermal: {
                // Four quarter rings between the gaps, as Arcs along the middle of the ring.
                double rm = (m.w + m.h) / 4, width = (m.w - m.h) / 2;
                if (rm <= 0 || width <= 0) {
                    break;
                }
                double half = std::asin(std::min(1.0, (m.gap / 2 + width / 2) / rm)) * 180.0 / std::numbers::pi;
                double sweep = 90.0 - 2 * half;
                if (sweep <= 0) {
                    break;
                }
                for (int q = 0; q < 4; ++q) {
                    make_.arc(ix, iy, std::llround(rm), detail::degrees_angle(m.angle + 90.0 * q + half),
                              detail::degrees_angle(sweep), std::llround(width));
                }
                break;
            }
            case MacroShapeKind::Moire:
                note("moire primitive");
                break;
            }
        }
        if (cut) {
            note("exposure-off macro primitive");
        }
        break;
    }
    case ApKind::Block:
        note("flash of aperture block");
        break;
    }
}

bool GerberReader::arc_geometry(int64_t sx, int64_t sy, int64_t ex, int64_t ey, int64_t i, int64_t j, double& cx,
                                double& cy, double& r, double& a0, double& sweep) {
    bool cw = interp_ == Interp::Clockwise;
    auto try_centre = [&](double ccx, double ccy, double& sw, double& start, double& err) {
        double as = std::atan2(static_cast<double>(sy) - ccy, static_cast<double>(sx) - ccx) * 180.0 / std::numbers::pi;
        double ae = std::atan2(static_cast<double>(ey) - ccy, static_cast<double>(ex) - ccx) * 180.0 / std::numbers::pi;
        double rs = std::hypot(static_cast<double>(sx) - ccx, static_cast<double>(sy) - ccy);
        double re = std::hypot(static_cast<double>(ex) - ccx, static_cast<double>(ey) - ccy);
        err = std::fabs(rs - re);
        sw = cw ? norm_degrees(as - ae) : norm_degrees(ae - as);
        start = cw ? ae : as;
        return rs;
    };
    bool same = sx == ex && sy == ey;
    if (multi_quadrant_) {
        cx = static_cast<double>(sx + i);
        cy = static_cast<double>(sy + j);
        double err = 0;
        r = try_centre(cx, cy, sweep, a0, err);
        if (same) {
            sweep = 360.0;
            a0 = 0;
        }
        return r > 0;
    }
    // One quadrant: the signs of I and J are not given; take the centre that makes an arc of at most
    // 90 degrees whose ends lie best on one circle.
    if (same) {
        return false;
    }
    double best = -1, best_err = 0;
    for (int k = 0; k < 4; ++k) {
        double ccx = static_cast<double>(sx + ((k & 1) ? -std::llabs(i) : std::llabs(i)));
        double ccy = static_cast<double>(sy + ((k & 2) ? -std::llabs(j) : std::llabs(j)));
        double sw = 0, st = 0, err = 0;
        double rr = try_centre(ccx, ccy, sw, st, err);
        if (sw > 90.0 + 1e-3 || rr <= 0) {
            continue;
        }
        if (best < 0 || err < best_err) {
            best = rr;
            best_err = err;
            cx = ccx;
            cy = ccy;
            sweep = sw;
            a0 = st;
        }
    }
    if (best < 0) {
        return false;
    }
    r = best;
    return true;
}

void GerberReader::draw(int64_t x1, int64_t y1, int64_t x2, int64_t y2, bool explicit_d01, bool have_ij, int64_t i,
                        int64_t j) {
    int64_t w = ap_ ? width_of(*ap_) : 0;
    bool moved = x1 != x2 || y1 != y2;
    if (interp_ != Interp::Linear && (have_ij || multi_quadrant_)) {
        double cx = 0, cy = 0, r = 0, a0 = 0, sweep = 0;
        if ((moved || multi_quadrant_) && arc_geometry(x1, y1, x2, y2, i, j, cx, cy, r, a0, sweep)) {
            Angle sw = sweep >= 360.0 ? Angle{0} : detail::degrees_angle(sweep);
            if (sw != 0 || sweep >= 360.0) {
                make_.arc(std::llround(cx), std::llround(cy), std::llround(r), detail::degrees_angle(a0), sw, w);
                return;
            }
        }
    }
    if (moved) {
        make_.line(x1, y1, x2, y2, w);
    } else if (explicit_d01) {
        // A draw that does not move leaves a dot, as a plotter would.
        make_.line(x1, y1, x2, y2, w);
    }
}

void GerberReader::contour_to(int64_t x, int64_t y, bool have_ij, int64_t i, int64_t j) {
    if (contour_.empty()) {
        contour_.push_back({x_, y_});
    }
    if (interp_ != Interp::Linear && (have_ij || multi_quadrant_)) {
        double cx = 0, cy = 0, r = 0, a0 = 0, sweep = 0;
        if (arc_geometry(x_, y_, x, y, i, j, cx, cy, r, a0, sweep) && r > 0) {
            // Chords that stay within 0.001 inch of the arc.
            double tol = 65.536;
            double step = r > tol ? 2 * std::acos(1 - tol / r) * 180.0 / std::numbers::pi : 90.0;
            int n = std::clamp(static_cast<int>(std::ceil(sweep / step)), 1, 1024);
            bool cw = interp_ == Interp::Clockwise;
            double from = cw ? a0 + sweep : a0;
            for (int k = 1; k < n; ++k) {
                double t = (cw ? from - sweep * k / n : from + sweep * k / n) * std::numbers::pi / 180.0;
                contour_.push_back({std::llround(cx + r * std::cos(t)), std::llround(cy + r * std::sin(t))});
            }
        }
    }
    contour_.push_back({x, y});
    if (contour_.size() > 4000000) {
        note("region contour too long");
        contour_.clear();
    }
}

void GerberReader::close_contour() {
    if (contour_.size() > 1 && contour_.front().x == contour_.back().x && contour_.front().y == contour_.back().y) {
        contour_.pop_back();
    }
    if (contour_.size() >= 3) {
        make_.solid(contour_);
    }
    contour_.clear();
}

void GerberReader::data_block(std::string_view b) {
    if (b.empty() || stopped_) {
        return;
    }
    int64_t nx = x_, ny = y_, i = 0, j = 0;
    bool got_xy = false, got_ij = false;
    int dop = 0;
    size_t p = 0;
    while (p < b.size()) {
        char c = b[p++];
        if (c == 'X' || c == 'Y' || c == 'I' || c == 'J') {
            int64_t v = 0;
            if (!coordinate(b, p, c == 'X' || c == 'I', v)) {
                // A number out of range: the rest of the block is not trusted.
                while (p < b.size() && (is_digit(b[p]) || b[p] == '.' || b[p] == '-' || b[p] == '+')) {
                    ++p;
                }
                continue;
            }
            if (c == 'X') {
                nx = incremental_ ? std::clamp(x_ + v, -kPointLimit, kPointLimit) : v;
                got_xy = true;
            } else if (c == 'Y') {
                ny = incremental_ ? std::clamp(y_ + v, -kPointLimit, kPointLimit) : v;
                got_xy = true;
            } else if (c == 'I') {
                i = v;
                got_ij = true;
            } else {
                j = v;
                got_ij = true;
            }
            continue;
        }
        if (c == 'G' || c == 'D' || c == 'M' || c == 'N') {
            uint32_t n = 0;
            if (!detail::read_code(b, p, c, "code", n, [&](const std::string& m) { note(m); })) {
                continue;
            }
            if (c == 'N') {
                continue; // sequence numbers
            }
            if (c == 'M') {
                if (n == 0 || n == 2) {
                    stopped_ = true;
                    break;
                }
                continue;
            }
            if (c == 'D') {
                if (n >= 1 && n <= 3) {
                    dop = static_cast<int>(n);
                } else if (n >= 10) {
                    select_aperture(n);
                } else {
                    note("D" + std::to_string(n));
                }
                continue;
            }
            switch (n) {
            case 4:
                return; // a comment ends the block
            case 1:
            case 10:
            case 11:
            case 12:
                interp_ = Interp::Linear;
                break;
            case 2:
                interp_ = Interp::Clockwise;
                break;
            case 3:
                interp_ = Interp::CounterClockwise;
                break;
            case 36:
                region_ = true;
                contour_.clear();
                break;
            case 37:
                if (region_) {
                    close_contour();
                }
                region_ = false;
                break;
            case 70:
                mm_ = false;
                break;
            case 71:
                mm_ = true;
                break;
            case 74:
                multi_quadrant_ = false;
                break;
            case 75:
                multi_quadrant_ = true;
                break;
            case 90:
                incremental_ = false;
                break;
            case 91:
                incremental_ = true;
                break;
            case 54:
            case 55:
                break;
            default:
                note("G" + std::to_string(n));
                break;
            }
            continue;
        }
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            note(std::string("code ") + c);
            break; // any other letter ends the block
        }
    }
    if (dop == 1) {
        mode_ = Mode::Draw;
    } else if (dop == 2) {
        mode_ = Mode::Move;
    } else if (dop == 3) {
        mode_ = Mode::Flash;
    }
    if (region_) {
        if (mode_ == Mode::Move && (dop == 2 || got_xy)) {
            close_contour();
        } else if (mode_ == Mode::Draw && (got_xy || dop == 1) && (nx != x_ || ny != y_ || got_ij)) {
            contour_to(nx, ny, got_ij, i, j);
        } else if (mode_ == Mode::Flash) {
            note("flash inside a region");
            mode_ = Mode::Move;
        }
    } else if (mode_ == Mode::Draw) {
        if (got_xy || dop == 1) {
            draw(x_, y_, nx, ny, dop == 1, got_ij, i, j);
        }
    } else if (mode_ == Mode::Flash) {
        Aperture none;
        flash(ap_ ? *ap_ : none, nx, ny);
        mode_ = Mode::Move; // the next block does not flash again by itself
    }
    x_ = nx;
    y_ = ny;
}

// The scale check: a layer read without a known format that spans 24 inches or more was read with too
// few fraction digits; it shrinks by ten.
void scale_down(Ref ring, Ref mark, ImportStats& stats) {
    Ref first = mark == kNone ? node(ring).next : node(mark).next;
    bool big = false;
    for (Ref r = first; r != ring && node(r).item_kind() != kHead; r = node(r).next) {
        Node& n = node(r);
        Coord xs[2] = {0, 0}, ys[2] = {0, 0};
        if (n.item_kind() == kLine) {
            xs[0] = n.line.x1, xs[1] = n.line.x2, ys[0] = n.line.y1, ys[1] = n.line.y2;
        } else if (n.item_kind() == kPad) {
            xs[0] = xs[1] = n.pad.x0, ys[0] = ys[1] = n.pad.y0;
        } else {
            continue;
        }
        for (int k = 0; k < 2; ++k) {
            big = big || xs[k] >= kScaleLimit || xs[k] <= -kScaleLimit || ys[k] >= kScaleLimit || ys[k] <= -kScaleLimit;
        }
    }
    if (!big) {
        return;
    }
    stats.scaled_down = true;
    for (Ref r = first; r != ring && node(r).item_kind() != kHead; r = node(r).next) {
        Node& n = node(r);
        if (n.item_kind() == kLine && n.size != 0) {
            n.line.x1 /= 10, n.line.y1 /= 10, n.line.x2 /= 10, n.line.y2 /= 10;
        } else if (n.item_kind() == kPad) {
            n.pad.x0 /= 10, n.pad.y0 /= 10;
        }
    }
}

} // namespace

// --- Recognition --------------------------------------------------------------------------------

GerberRecognition recognise_gerber(std::string_view head) {
    GerberRecognition r;
    size_t limit = std::min<size_t>(head.size(), 8192);
    bool coords = false, dcodes = false, only_params = true;
    size_t i = 0;
    auto skip_to = [&](char c) {
        size_t e = head.find(c, i + 1);
        i = e == std::string_view::npos ? head.size() : e + 1;
        ++r.count;
    };
    while (i < limit) {
        char c = head[i];
        if (c == '\r' || c == '\n' || c == ' ' || is_digit(c)) {
            ++i;
        } else if (c == '*') {
            ++r.count;
            ++i;
        } else if (c == 'X' || c == 'Y') {
            coords = true;
            only_params = false;
            skip_to('*');
        } else if (c == 'G') {
            bool comment = i + 2 < head.size() && ((head[i + 1] == '0' && head[i + 2] == '4') ||
                                                   (head[i + 1] == '4' && !is_digit(head[i + 2])));
            if (comment) {
                skip_to('*');
            } else {
                only_params = false;
                ++r.count;
                ++i;
            }
        } else if (c == 'D') {
            dcodes = true;
            only_params = false;
            skip_to('*');
        } else if (c == '%') {
            std::string_view code = head.substr(i + 1, 2);
            if (code == "FS" || code == "AD") {
                r.format_known = true;
            }
            skip_to('%');
        } else if (c == 'M') {
            only_params = false;
            skip_to('*');
        } else {
            only_params = false;
            --r.count;
            ++i;
        }
        // A long head of attributes and macros: look on within the first 64 KiB.
        if (i >= limit && limit == 8192 && only_params && head.size() > limit) {
            limit = head.size();
        }
    }
    r.accepted = coords && dcodes && r.count >= 16;
    return r;
}

bool gerber_accepts(std::string_view head, char forced) {
    if (forced) {
        return forced == 'G';
    }
    return recognise_gerber(head).accepted;
}

int take_gerber_layer(Setup& s, std::string_view file) {
    if (s.layers[0].name[0] == 0) {
        apply_template(s, Template::GerberImport);
    }
    int layer = -1;
    for (int k = 1; k < 256; ++k) {
        if (!s.layers[static_cast<size_t>(k)].in_use()) {
            layer = k;
            break;
        }
    }
    if (layer < 0) {
        return -1;
    }
    std::string_view name = base_name(file);
    std::string line = "-y" + std::to_string(layer) + ":" + std::to_string(layer % 16) + ",0," + std::string(name);
    ApplyOldDirective(s, line);
    LayerEntry& e = s.layers[static_cast<size_t>(layer)];
    if (!e.in_use()) {
        set_layer_name(e, "Gerber");
    }
    // Copper by the names our own and most CAM tools give top, bottom and inner layers, in any case.
    size_t dot = name.find_last_of('.');
    std::string ext;
    if (dot != std::string_view::npos) {
        for (char c : name.substr(dot)) {
            ext.push_back(upper(c));
        }
    }
    bool copper = iequals_suffix(name, ".TOP") || iequals_suffix(name, ".BOT") || ext.starts_with(".ML");
    e.type = copper ? kLayerCopper : kLayerDrawing;
    e.plot = 0;
    return layer;
}

char read_gerber(LineReader& in, Document& doc, const ImportJob& job, ImportStats* stats) {
    GerberImportForm form;
    bool asked = false;
    if (!job.forced) {
        GerberRecognition rec = recognise_gerber(in.head());
        if (!rec.accepted) {
            return 0;
        }
        if (!rec.format_known) {
            if (job.ask && job.ask->error_sound) {
                job.ask->error_sound();
            }
            if (job.ask && job.ask->gerber_import && !job.ask->gerber_import(form)) {
                return 0;
            }
            asked = true;
        }
    }
    int layer = take_gerber_layer(doc.setup, job.file);
    if (layer < 0) {
        detail::Reporter(job).note("no free layer", 0, 0);
        return 0;
    }
    ImportStats local;
    ImportStats& st = stats ? *stats : local;
    st = ImportStats{};
    st.layer = layer;
    Ref mark = last_item(doc.ring());
    GerberReader rd(doc, job, static_cast<uint8_t>(layer), st);
    rd.set_format(form, asked);
    int n;
    while ((n = in.ReadLine()) != 0) {
        rd.feed(n < 0 ? std::string_view{} : in.line());
    }
    rd.finish();
    if (rd.format_never_known()) {
        scale_down(doc.ring(), mark, st);
    }
    doc.mark_modified();
    return 'G';
}

char read_gerber_bytes(std::string_view bytes, Document& doc, const ImportJob& job, ImportStats* stats) {
    LineReader in;
    in.open_memory(bytes);
    return read_gerber(in, doc, job, stats);
}

} // namespace trazel::formats
