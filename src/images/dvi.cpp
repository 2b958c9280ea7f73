// The DVI page: the first page of a typeset DVI file set on a letter-size grey raster at 300 dots per
// inch, paper 255 and ink 0, the DVI origin one inch in from the top and left edges.
//
// Every command of the format is followed: characters, rules, moves, the w/x/y/z registers, push and
// pop (on an explicit stack with a depth limit), font selection and definition, specials.  Positions
// are converted with the preamble's num, den and mag and rounded to the nearest pixel; a rule covers
// the smallest whole number of pixels that holds it (rounded up, at least one when its size is
// positive), its bottom row being the baseline's, as pixel drivers set them.
//
// Characters are drawn with the display's stroke font, stretched to the width the font table gives the
// character and to the font's capital height, and slanted as the font is, so each word's ink stands
// where the typesetter put it.
// A font missing from the table gets an outline box per character (half the font size wide, by its
// x-height) and a note naming it; a code with no stroke glyph gets the same box at its own width.
//
// Of the tpic specials, "pn" (pen), "pa" (path point), "fp" (draw the path), "da" and "dt" (drawn
// solid), "sp" (a quadratic B-spline through the path's midpoints) and "ar" (an arc outline) are drawn;
// "ip", "ia", "sh", "wh", "bk" and "tx" (fills and shadings) are ignored.  Path points are in
// milli-inches from the position where the path is drawn, y downwards, magnified as the page is.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "display/stroke_font.h"
#include "images/dvi_fonts.h"
#include "images/picture.h"

namespace trazel::images {

namespace {

constexpr int kPageWidth = 2550, kPageHeight = 3300, kDpi = 300;
constexpr double kOrigin = kDpi; // one inch in, in pixels
// A drawn point at position h stands at the centre of the pixel a rule at h starts in.
constexpr double kCentre = kOrigin + 0.5;
// Pixel centres are taken a hair up and left, so a line's edge on a centre takes one side only.
constexpr double kNudge = 1e-7;
constexpr uint8_t kInk = 0, kPaper = 255;
constexpr size_t kMaxStack = 4096;       // push levels; TeX itself stays far below
constexpr size_t kMaxPathPoints = 65536; // tpic path points kept before a flush
constexpr size_t kMaxSpecialKept = 1024; // bytes of a special looked at; the rest is skipped
// Rows of strokes painted for one page: a dense page of text takes about two million; a file past this
// is no real page, and the rest of its drawing is left out rather than taking seconds.
constexpr int64_t kStrokeRowBudget = int64_t{1} << 24;
constexpr int64_t kPositionLimit = int64_t{1} << 50; // keeps sums of moves far from overflowing
constexpr double kCapHeight = 0.683;                 // of the font size, as in Computer Modern Roman
constexpr double kXHeight = 0.431;

enum Op : int {
    kSet1 = 128,
    kSetRule = 132,
    kPut1 = 133,
    kPutRule = 137,
    kNop = 138,
    kBop = 139,
    kEop = 140,
    kPush = 141,
    kPop = 142,
    kRight1 = 143,
    kW0 = 147,
    kX0 = 152,
    kDown1 = 157,
    kY0 = 161,
    kZ0 = 166,
    kFntNum0 = 171,
    kFnt1 = 235,
    kXxx1 = 239,
    kFntDef1 = 243,
    kPre = 247,
    kPost = 248,
    kPostPost = 249,
};

// The file read in order through a small buffer.
class Bytes {
  public:
    explicit Bytes(model::LineReader& in) : in_(in) {
    }
    bool byte(uint8_t& b) {
        if (pos_ == len_) {
            len_ = in_.ReadBytes(buf_, sizeof buf_);
            pos_ = 0;
            if (len_ == 0) {
                return false;
            }
        }
        b = buf_[pos_++];
        return true;
    }
    // An n-byte big-endian number (1 to 4 bytes), signed or not.
    bool number(int n, bool sign, int64_t& v) {
        uint32_t u = 0;
        for (int i = 0; i < n; ++i) {
            uint8_t b = 0;
            if (!byte(b)) {
                return false;
            }
            u = u << 8 | b;
        }
        v = u;
        if (sign && n < 4 && (u >> (8 * n - 1)) != 0) {
            v -= int64_t{1} << (8 * n);
        } else if (sign && n == 4) {
            v = static_cast<int32_t>(u);
        }
        return true;
    }
    // Reads n bytes, keeping at most `keep` of them.
    bool take(uint64_t n, std::string& kept, size_t keep) {
        kept.clear();
        int64_t left = in_.remaining();
        if (left >= 0 && n > static_cast<uint64_t>(left) + (len_ - pos_)) {
            return false;
        }
        for (; n > 0 && (pos_ < len_ || kept.size() < keep); --n) {
            uint8_t b = 0;
            if (!byte(b)) {
                return false;
            }
            if (kept.size() < keep) {
                kept += static_cast<char>(b);
            }
        }
        return n == 0 || in_.ReadBytes(nullptr, n) == n;
    }

  private:
    model::LineReader& in_;
    uint8_t buf_[1024];
    size_t pos_ = 0, len_ = 0;
};

struct Registers {
    int64_t h = 0, v = 0, w = 0, x = 0, y = 0, z = 0;
};

struct LoadedFont {
    const DviFontMetrics* metrics = nullptr; // null: not in the table
    int64_t size = 0;                        // the at-size, in DVI units
    std::string name;
    bool used = false;
};

// The stroke font's glyphs as line segments in glyph steps, with their advances, walked once.
struct GlyphShape {
    std::vector<std::array<int16_t, 4>> lines;
    int advance = 0;
};

const std::array<GlyphShape, 256>& glyph_shapes() {
    static const std::array<GlyphShape, 256> shapes = [] {
        std::array<GlyphShape, 256> s{};
        const display::FontTable& font = display::stroke_font();
        for (int c = 0; c < 256; ++c) {
            GlyphShape& g = s[c];
            display::TextState ts;
            ts.step = 1;
            auto sink = display::StrokeFunction([&](const display::Stroke& k) {
                g.lines.push_back({static_cast<int16_t>(k.x1), static_cast<int16_t>(k.y1), static_cast<int16_t>(k.x2),
                                   static_cast<int16_t>(k.y2)});
            });
            display::draw_glyph(ts, static_cast<uint8_t>(c), &sink, font);
            g.advance = static_cast<int>(ts.pen_x);
        }
        return s;
    }();
    return shapes;
}

// What a character code of a known font is drawn as: its letters (the f-ligatures of the text fonts)
// or, empty, a box.
std::string_view glyph_text(const DviFontMetrics& f, uint32_t code) {
    static constexpr std::string_view kLigatures[] = {"ff", "fi", "fl", "ffi", "ffl"};
    static const char kAscii[] = "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
                                 "abcdefghijklmnopqrstuvwxyz{|}~";
    if (code >= 33 && code <= 126) {
        return {kAscii + (code - 33), 1};
    }
    if (code >= 11 && code <= 15 && f.ligatures) {
        return kLigatures[code - 11];
    }
    return {};
}

// Lower and upper x of the solutions of lo <= a x + b <= hi, intersected into [xl, xr].
void narrow(double a, double b, double lo, double hi, double& xl, double& xr) {
    if (a == 0) {
        if (b < lo || b > hi) {
            xl = 1, xr = 0;
        }
        return;
    }
    double p = (lo - b) / a, q = (hi - b) / a;
    xl = std::max(xl, std::min(p, q));
    xr = std::min(xr, std::max(p, q));
}

class Page {
  public:
    explicit Page(Picture& p) : p_(p) {
    }

    // Fills the pixels [x0, x1) x [y0, y1), clipped to the page.
    void fill(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
        x0 = std::max<int64_t>(x0, 0), y0 = std::max<int64_t>(y0, 0);
        x1 = std::min<int64_t>(x1, kPageWidth), y1 = std::min<int64_t>(y1, kPageHeight);
        for (int64_t y = y0; y < y1 && x0 < x1; ++y) {
            std::memset(&p_.pixels[static_cast<size_t>(y) * p_.row_bytes() + static_cast<size_t>(x0)], kInk,
                        static_cast<size_t>(x1 - x0));
        }
    }

    // A line `width` pixels wide with round ends, in pixel coordinates (pixel i spans [i, i + 1)): each
    // pixel whose centre lies within width / 2 of the segment.
    void stroke(double x1, double y1, double x2, double y2, double width) {
        const double r = std::max(width, 1.0) / 2;
        constexpr double kFar = 1e7;
        if (!(std::fabs(x1) < kFar && std::fabs(y1) < kFar && std::fabs(x2) < kFar && std::fabs(y2) < kFar &&
              r < kFar)) {
            return;
        }
        if (std::max(x1, x2) + r < 0 || std::min(x1, x2) - r > kPageWidth || std::max(y1, y2) + r < 0 ||
            std::min(y1, y2) - r > kPageHeight) {
            return;
        }
        const double dx = x2 - x1, dy = y2 - y1, len = std::hypot(dx, dy);
        const int64_t top = std::max<int64_t>(0, static_cast<int64_t>(std::floor(std::min(y1, y2) - r)));
        const int64_t bottom =
            std::min<int64_t>(kPageHeight - 1, static_cast<int64_t>(std::ceil(std::max(y1, y2) + r)));
        for (int64_t row = top; row <= bottom; ++row) {
            if (--budget_ < 0) {
                over_budget_ = true;
                return;
            }
            const double yc = row + 0.5 - kNudge;
            double lo = 1e300, hi = -1e300;
            for (auto [cx, cy] : {std::pair{x1, y1}, std::pair{x2, y2}}) {
                double e = r * r - (yc - cy) * (yc - cy);
                if (e >= 0) {
                    lo = std::min(lo, cx - std::sqrt(e)), hi = std::max(hi, cx + std::sqrt(e));
                }
            }
            if (len > 0) {
                // Within r of the line and between the perpendiculars at the ends.
                double xl = -1e300, xr = 1e300;
                narrow(-dy, dx * (yc - y1) + dy * x1, -r * len, r * len, xl, xr);
                narrow(dx, (yc - y1) * dy - dx * x1, 0, len * len, xl, xr);
                if (xl <= xr) {
                    lo = std::min(lo, xl), hi = std::max(hi, xr);
                }
            }
            if (lo <= hi) {
                double first = std::ceil(lo - 0.5 + kNudge), last = std::floor(hi - 0.5 + kNudge);
                if (first <= last && last >= 0 && first < kPageWidth) {
                    fill(static_cast<int64_t>(std::max(first, 0.0)), row,
                         static_cast<int64_t>(std::min(last, double{kPageWidth})) + 1, row + 1);
                }
            }
        }
    }

    // The outline of a box with its bottom-left corner at (x, y), in pixels.
    void box(double x, double y, double w, double h, double pen) {
        stroke(x, y, x + w, y, pen);
        stroke(x + w, y, x + w, y - h, pen);
        stroke(x + w, y - h, x, y - h, pen);
        stroke(x, y - h, x, y, pen);
    }

    bool over_budget() const {
        return over_budget_;
    }

  private:
    Picture& p_;
    int64_t budget_ = kStrokeRowBudget;
    bool over_budget_ = false;
};

// Takes the next number of a special, after blanks; false when there is none or it is not finite.
bool parse_number(std::string_view& s, double& out) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
    }
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    if (ec != std::errc() || !std::isfinite(out)) {
        return false;
    }
    s.remove_prefix(static_cast<size_t>(end - s.data()));
    return true;
}

class Typesetter {
  public:
    Typesetter(Picture& p, double conv, double mag) : page_(p), conv_(conv), milli_(kDpi / 1000.0 * mag / 1000) {
    }

    double px(int64_t h) const {
        // Clamped far off the page, so that the conversion to a whole number stays defined.
        return kOrigin + std::clamp(std::floor(conv_ * static_cast<double>(h) + 0.5), -1e12, 1e12);
    }

    // A rule a high and b wide with its bottom-left corner at the current position.
    void rule(int64_t a, int64_t b) {
        if (a <= 0 || b <= 0) {
            return;
        }
        int64_t left = static_cast<int64_t>(px(r_.h)), base = static_cast<int64_t>(px(r_.v));
        page_.fill(left, base - covering(a) + 1, left + covering(b), base + 1);
    }

    // Sets or puts a character of the current font; returns its width in DVI units.
    int64_t character(LoadedFont& f, uint32_t code) {
        f.used = true;
        int64_t width = 0;
        if (f.metrics == nullptr) {
            width = f.size / 2;
        } else if (code < 128) {
            width = static_cast<int64_t>(f.metrics->widths[code]) * f.size >> 20;
        }
        const double x = kCentre + conv_ * static_cast<double>(r_.h), y = kCentre + conv_ * static_cast<double>(r_.v);
        const double size = conv_ * static_cast<double>(f.size), w = conv_ * static_cast<double>(width);
        if (x + w + size < 0 || x - size > kPageWidth || y + size < 0 || y - size > kPageHeight) {
            return width;
        }
        const double pen = std::max(1.0, size * (f.metrics && f.metrics->bold ? 0.11 : 0.07));
        std::string_view text = f.metrics && code < 128 ? glyph_text(*f.metrics, code) : std::string_view{};
        if (text.empty()) {
            page_.box(x, y, w, size * kXHeight, std::max(1.0, size * 0.04));
            return width;
        }
        // Each letter gets its share of the width, stretched over its stroke-font advance.
        const auto& shapes = glyph_shapes();
        const double share = w / static_cast<double>(text.size()), ys = size * kCapHeight / display::kFontCell;
        const double lean = ys * f.metrics->slant;
        for (size_t i = 0; i < text.size(); ++i) {
            const GlyphShape& g = shapes[static_cast<uint8_t>(text[i])];
            const double x0 = x + share * static_cast<double>(i);
            const double xs = g.advance > 0 ? share / g.advance : ys;
            for (const auto& l : g.lines) {
                page_.stroke(x0 + l[0] * xs + l[1] * lean, y - l[1] * ys, x0 + l[2] * xs + l[3] * lean, y - l[3] * ys,
                             pen);
            }
        }
        return width;
    }

    void special(std::string_view s) {
        while (!s.empty() && s.front() == ' ') {
            s.remove_prefix(1);
        }
        std::string_view key = s.substr(0, 2);
        if (s.size() > 2 && s[2] != ' ') {
            return;
        }
        s.remove_prefix(key.size());
        double a = 0, b = 0;
        if (key == "pn") {
            if (parse_number(s, a) && a >= 0) {
                pen_ = a;
            }
        } else if (key == "pa") {
            if (parse_number(s, a) && parse_number(s, b) && path_.size() < kMaxPathPoints) {
                path_.push_back({a, b});
            }
        } else if (key == "fp" || key == "da" || key == "dt") {
            for (size_t i = 1; i < path_.size(); ++i) {
                line(path_[i - 1], path_[i]);
            }
            path_.clear();
        } else if (key == "sp") {
            spline();
            path_.clear();
        } else if (key == "ip") {
            path_.clear();
        } else if (key == "ar") {
            double cx = 0, cy = 0, rx = 0, ry = 0, s0 = 0, s1 = 0;
            if (parse_number(s, cx) && parse_number(s, cy) && parse_number(s, rx) && parse_number(s, ry) &&
                parse_number(s, s0) && parse_number(s, s1)) {
                arc(cx, cy, rx, ry, s0, s1);
            }
        }
    }

    Registers r_;

    bool over_budget() const {
        return page_.over_budget();
    }

  private:
    using Point = std::array<double, 2>;

    // Pixels covering a positive length: the smallest whole number that holds it.
    int64_t covering(int64_t length) const {
        double exact = conv_ * static_cast<double>(length);
        double n = std::floor(exact);
        n = n < exact ? n + 1 : n;
        return static_cast<int64_t>(std::clamp(n, 1.0, 1e7));
    }

    // A path segment in milli-inches from the current position.
    void line(Point a, Point b) {
        const double x = kCentre + conv_ * static_cast<double>(r_.h), y = kCentre + conv_ * static_cast<double>(r_.v);
        page_.stroke(x + a[0] * milli_, y + a[1] * milli_, x + b[0] * milli_, y + b[1] * milli_,
                     std::max(1.0, std::nearbyint(pen_ * milli_)));
    }

    void spline() {
        if (path_.size() < 3) {
            for (size_t i = 1; i < path_.size(); ++i) {
                line(path_[i - 1], path_[i]);
            }
            return;
        }
        // From the first point to the first midpoint, curves between midpoints with the path points as
        // controls, and on to the last point.
        auto mid = [](Point a, Point b) { return Point{(a[0] + b[0]) / 2, (a[1] + b[1]) / 2}; };
        line(path_[0], mid(path_[0], path_[1]));
        constexpr int kSteps = 8;
        for (size_t i = 1; i + 1 < path_.size(); ++i) {
            Point p0 = mid(path_[i - 1], path_[i]), c = path_[i], p1 = mid(path_[i], path_[i + 1]), prev = p0;
            for (int k = 1; k <= kSteps; ++k) {
                double t = static_cast<double>(k) / kSteps, u = 1 - t;
                Point q{u * u * p0[0] + 2 * u * t * c[0] + t * t * p1[0],
                        u * u * p0[1] + 2 * u * t * c[1] + t * t * p1[1]};
                line(prev, q);
                prev = q;
            }
        }
        line(mid(path_[path_.size() - 2], path_.back()), path_.back());
    }

    void arc(double cx, double cy, double rx, double ry, double s0, double s1) {
        constexpr double kTurn = 6.283185307179586;
        if (std::fabs(s1 - s0) > kTurn) {
            s1 = s0 + (s1 > s0 ? kTurn : -kTurn);
        }
        double reach = std::max(std::fabs(rx), std::fabs(ry)) * milli_;
        // About one segment per two pixels of arc; NaN (a zero angle of an infinite radius) takes 8.
        double want = std::ceil(std::fabs(s1 - s0) * reach / 2);
        int steps = want > 1024 ? 1024 : want > 8 ? static_cast<int>(want) : 8;
        Point prev{cx + rx * std::cos(s0), cy + ry * std::sin(s0)};
        for (int k = 1; k <= steps; ++k) {
            double t = s0 + (s1 - s0) * k / steps;
            Point q{cx + rx * std::cos(t), cy + ry * std::sin(t)};
            line(prev, q);
            prev = q;
        }
    }

    Page page_;
    double conv_;  // pixels per DVI unit
    double milli_; // pixels per milli-inch
    double pen_ = 1;
    std::vector<Point> path_;
};

// A font name as messages show it: bytes below blank or above '~' become '?'.
std::string printable(std::string name) {
    for (char& c : name) {
        c = c < ' ' || c > '~' ? '?' : c;
    }
    return name;
}

bool fail(DecodeError& error, std::string message) {
    error.message = std::move(message);
    return false;
}

} // namespace

bool dvi_accepts(std::string_view head) {
    if (head.size() < 16 || static_cast<uint8_t>(head[0]) != kPre) {
        return false;
    }
    size_t after = 15 + static_cast<uint8_t>(head[14]);
    return head.size() > after && static_cast<uint8_t>(head[after]) == kBop;
}

bool decode_dvi(model::LineReader& in, Picture& out, DecodeError& error) {
    Bytes bytes(in);
    const std::string kShort = "DVI file ends inside its first page";
    uint8_t op = 0;
    int64_t id = 0, num = 0, den = 0, mag = 0, k = 0;
    std::string comment;
    if (!bytes.byte(op) || op != kPre || !bytes.number(1, false, id) || !bytes.number(4, true, num) ||
        !bytes.number(4, true, den) || !bytes.number(4, true, mag) || !bytes.number(1, false, k) ||
        !bytes.take(static_cast<uint64_t>(k), comment, 0)) {
        return fail(error, "DVI file has no complete preamble");
    }
    if (num <= 0 || den <= 0 || mag <= 0) {
        return fail(error, "DVI preamble has a unit or magnification that is not positive");
    }
    const double conv =
        static_cast<double>(num) / 254000.0 * (kDpi / static_cast<double>(den)) * (static_cast<double>(mag) / 1000.0);

    std::unordered_map<int64_t, LoadedFont> fonts;
    std::string kept;
    // Font definitions: within the page, and (leniently) between the preamble and the page.
    auto define_font = [&](int n) {
        int64_t number = 0, checksum = 0, size = 0, design = 0, a = 0, l = 0;
        if (!bytes.number(n, n == 4, number) || !bytes.number(4, false, checksum) || !bytes.number(4, true, size) ||
            !bytes.number(4, true, design) || !bytes.number(1, false, a) || !bytes.number(1, false, l) ||
            !bytes.take(static_cast<uint64_t>(a), kept, 0) || !bytes.take(static_cast<uint64_t>(l), kept, 255)) {
            return fail(error, kShort);
        }
        if (size <= 0) {
            return fail(error, "DVI font " + printable(kept) + " has a size that is not positive");
        }
        LoadedFont& f = fonts[number];
        f.metrics = dvi_font(kept);
        f.size = size;
        f.name = printable(kept);
        return true;
    };
    for (;;) {
        if (!bytes.byte(op)) {
            return fail(error, "DVI file has no page");
        }
        if (op == kBop) {
            break;
        }
        if (op >= kFntDef1 && op < kFntDef1 + 4) {
            if (!define_font(op - kFntDef1 + 1)) {
                return false;
            }
        } else if (op != kNop) {
            return fail(error, "DVI file has no page");
        }
    }
    if (!bytes.take(44, kept, 0)) {
        return fail(error, kShort);
    }

    out.width = out.row_length = kPageWidth;
    out.height = kPageHeight;
    out.bits = 8;
    out.palette_kind = kPaletteGrey;
    out.dpi = kDpi;
    if (!out.allocate()) {
        return fail(error, "DVI page cannot be allocated");
    }
    std::fill(out.pixels.begin(), out.pixels.end(), kPaper);

    Typesetter ts(out, conv, static_cast<double>(mag));
    Registers& r = ts.r_;
    std::vector<Registers> stack;
    LoadedFont* font = nullptr;
    auto move = [](int64_t& at, int64_t by) { at = std::clamp(at + by, -kPositionLimit, kPositionLimit); };
    auto set = [&](uint32_t code, bool advance) {
        if (font == nullptr) {
            return fail(error, "DVI page sets a character before choosing a font");
        }
        int64_t width = ts.character(*font, code);
        if (advance) {
            move(r.h, width);
        }
        return true;
    };
    for (;;) {
        if (!bytes.byte(op)) {
            return fail(error, kShort);
        }
        int64_t a = 0, b = 0;
        if (op < kSet1) {
            if (!set(op, true)) {
                return false;
            }
        } else if (op < kSetRule || (op >= kPut1 && op < kPutRule)) {
            int n = op < kSetRule ? op - kSet1 + 1 : op - kPut1 + 1;
            if (!bytes.number(n, n == 4, a)) {
                return fail(error, kShort);
            }
            if (!set(static_cast<uint32_t>(a), op < kSetRule)) {
                return false;
            }
        } else if (op == kSetRule || op == kPutRule) {
            if (!bytes.number(4, true, a) || !bytes.number(4, true, b)) {
                return fail(error, kShort);
            }
            ts.rule(a, b);
            if (op == kSetRule) {
                move(r.h, b);
            }
        } else if (op == kNop) {
        } else if (op == kEop) {
            break;
        } else if (op == kBop || op == kPost || op == kPostPost) {
            return fail(error, "DVI page has no end (eop)");
        } else if (op == kPush) {
            if (stack.size() >= kMaxStack) {
                return fail(error, "DVI page nests more than " + std::to_string(kMaxStack) + " pushes");
            }
            stack.push_back(r);
        } else if (op == kPop) {
            if (stack.empty()) {
                return fail(error, "DVI page pops more than it pushes");
            }
            r = stack.back();
            stack.pop_back();
        } else if (op >= kRight1 && op < kFntNum0) {
            // right, w, x, down, y, z: the register forms store the move before making it.
            int base = op < kW0      ? kRight1
                       : op < kX0    ? kW0
                       : op < kDown1 ? kX0
                       : op < kY0    ? kDown1
                       : op < kZ0    ? kY0
                                     : kZ0;
            bool plain = base == kRight1 || base == kDown1;
            int n = plain ? op - base + 1 : op - base;
            int64_t* reg = base == kW0 ? &r.w : base == kX0 ? &r.x : base == kY0 ? &r.y : base == kZ0 ? &r.z : nullptr;
            if (n > 0) {
                if (!bytes.number(n, true, a)) {
                    return fail(error, kShort);
                }
                if (reg) {
                    *reg = a;
                }
            } else {
                a = *reg;
            }
            move(base == kRight1 || base == kW0 || base == kX0 ? r.h : r.v, a);
        } else if (op < kFnt1) {
            a = op - kFntNum0;
        } else if (op < kXxx1) {
            int n = op - kFnt1 + 1;
            if (!bytes.number(n, n == 4, a)) {
                return fail(error, kShort);
            }
        } else if (op < kFntDef1) {
            int n = op - kXxx1 + 1;
            if (!bytes.number(n, false, a) || !bytes.take(static_cast<uint64_t>(a), kept, kMaxSpecialKept)) {
                return fail(error, kShort);
            }
            ts.special(kept);
        } else if (op < kPre) {
            if (!define_font(op - kFntDef1 + 1)) {
                return false;
            }
        } else if (op == kPre) {
            return fail(error, "DVI page holds a second preamble");
        } else {
            return fail(error, "DVI page has the undefined command " + std::to_string(op));
        }
        if (op >= kFntNum0 && op < kXxx1) {
            auto it = fonts.find(a);
            if (it == fonts.end()) {
                return fail(error, "DVI page uses font " + std::to_string(a) + " before defining it");
            }
            font = &it->second;
        }
    }

    std::vector<std::string> unknown;
    for (const auto& [number, f] : fonts) {
        if (f.used && f.metrics == nullptr && std::find(unknown.begin(), unknown.end(), f.name) == unknown.end()) {
            unknown.push_back(f.name);
        }
    }
    std::sort(unknown.begin(), unknown.end());
    if (!unknown.empty()) {
        std::string names;
        for (const std::string& n : unknown) {
            names += (names.empty() ? "" : ", ") + n;
        }
        out.note = unknown.size() > 1 ? "DVI fonts " + names + " are not known: their characters are drawn as boxes"
                                      : "DVI font " + names + " is not known: its characters are drawn as boxes";
    }
    if (ts.over_budget()) {
        out.note += std::string(out.note.empty() ? "" : "; ") + "DVI page has more drawing than is shown";
    }
    return true;
}

} // namespace trazel::images
