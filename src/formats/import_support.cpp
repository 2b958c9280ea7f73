#include "formats/import_support.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace trazel::formats::detail {

using namespace model;

const int64_t kPow10[19] = {1,
                            10,
                            100,
                            1000,
                            10000,
                            100000,
                            1000000,
                            10000000,
                            100000000,
                            1000000000,
                            10000000000,
                            100000000000,
                            1000000000000,
                            10000000000000,
                            100000000000000,
                            1000000000000000,
                            10000000000000000,
                            100000000000000000,
                            1000000000000000000};

namespace {

constexpr int64_t kSaturate = int64_t{1} << 34; // far outside the coordinate limit, still safe to scale

int64_t round_div(int64_t num, int64_t den) {
    return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
}

int64_t saturate(int64_t v) {
    return std::clamp(v, -kSaturate, kSaturate);
}

} // namespace

int64_t scaled_units(int64_t v, int e, bool mm) {
    int64_t u;
    if (e >= 0) {
        if (e > 18) {
            u = 0;
        } else {
            // |v| < 2^60 / 65536 is not guaranteed for 18 digits: saturate before scaling.
            if (v > (int64_t{1} << 46) || v < -(int64_t{1} << 46)) {
                int64_t cut = std::min(e, 18);
                int64_t q = round_div(v, kPow10[cut]);
                u = saturate(q > (int64_t{1} << 46) || q < -(int64_t{1} << 46) ? (q < 0 ? -kSaturate : kSaturate)
                                                                               : q * 65536);
            } else {
                u = round_div(v * 65536, kPow10[e]);
            }
        }
    } else {
        int k = std::min(-e, 18);
        int64_t m = kPow10[k];
        int64_t lim = (int64_t{1} << 46) / m;
        if (v > lim || v < -lim) {
            u = v < 0 ? -kSaturate : kSaturate;
        } else {
            u = v * m * 65536;
        }
    }
    u = saturate(u);
    if (mm) {
        u = u * 169093200;
        u = u >= 0 ? (u + (int64_t{1} << 31)) >> 32 : -((-u + (int64_t{1} << 31)) >> 32);
    }
    return u;
}

int64_t double_units(double v, bool mm) {
    double u = v * 65536.0 / (mm ? 25.4 : 1.0);
    if (!(u == u)) {
        return 0;
    }
    u = std::clamp(u, -static_cast<double>(kSaturate), static_cast<double>(kSaturate));
    return static_cast<int64_t>(std::llround(u));
}

Angle degrees_angle(double deg) {
    if (!std::isfinite(deg)) {
        return 0;
    }
    double t = std::fmod(deg, 360.0);
    if (t < 0) {
        t += 360.0;
    }
    return static_cast<Angle>(static_cast<int64_t>(std::llround(t * 65536.0 / 360.0)) & 0xFFFF);
}

bool read_decimal(std::string_view s, size_t& p, Decimal& d) {
    d = Decimal{};
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) {
        d.negative = s[p] == '-';
        ++p;
    }
    int significant = 0;
    bool any = false;
    int64_t whole = 0;
    for (; p < s.size(); ++p) {
        char c = s[p];
        if (c >= '0' && c <= '9') {
            any = true;
            int digit = c - '0';
            if (!d.point) {
                ++d.digits;
                whole = whole * 10 + digit;
                if (whole > 0x7FFFFFFF) {
                    d.too_big = true;
                    whole = 0x7FFFFFFF;
                }
            }
            if (significant < 18) {
                d.v = d.v * 10 + digit;
                if (d.v != 0) {
                    ++significant;
                }
                if (d.point) {
                    ++d.e;
                }
            } else if (!d.point) {
                --d.e;
            }
        } else if (c == '.' && !d.point) {
            d.point = true;
        } else {
            break;
        }
    }
    if (d.negative) {
        d.v = -d.v;
    }
    return any && !d.too_big;
}

bool read_uint(std::string_view s, size_t& p, uint32_t& out, bool* too_big) {
    uint64_t v = 0;
    bool any = false, big = false;
    for (; p < s.size() && s[p] >= '0' && s[p] <= '9'; ++p) {
        any = true;
        v = v * 10 + static_cast<uint64_t>(s[p] - '0');
        if (v > 0xFFFFFFFFull) {
            big = true;
            v = 0xFFFFFFFFull;
        }
    }
    out = static_cast<uint32_t>(v);
    if (too_big) {
        *too_big = big;
    }
    return any && !big;
}

void Reporter::note(std::string_view construct, int64_t line, int64_t objects) {
    if (!job_.skipped) {
        return;
    }
    auto it = index_.find(construct);
    if (it != index_.end()) {
        (*job_.skipped)[it->second].objects += objects;
        return;
    }
    index_.emplace(std::string(construct), job_.skipped->size());
    job_.skipped->push_back({job_.file, line, std::string(construct), objects});
}

ItemMaker::ItemMaker(Document& doc, uint8_t layer, Reporter& rep, ImportStats& stats)
    : ring(doc.ring()), layer_(layer), rep_(rep), stats_(stats), ox_(doc.setup.origin_x), oy_(doc.setup.origin_y) {
}

bool ItemMaker::gate() {
    if (out_of_nodes) {
        return false;
    }
    if (in_block) {
        rep_.note("%AB aperture block", line_no);
        return false;
    }
    if (clear) {
        rep_.note("%LPC clear object", line_no);
        return false;
    }
    return true;
}

void ItemMaker::tag(Ref r) {
    if (r == kNone) {
        out_of_nodes = true;
        return;
    }
    if (!signal.empty()) {
        AttachSignal(r, signal);
    }
}

static Length length16(int64_t v) {
    return static_cast<Length>(std::clamp<int64_t>(v, 0, 65535));
}

Ref ItemMaker::line(int64_t x1, int64_t y1, int64_t x2, int64_t y2, int64_t width) {
    if (!gate()) {
        return kNone;
    }
    // Widths that would not show become 0.01 inch, as the plot of a line never vanishes.
    Length w = width < 3 ? Length{655} : length16(width);
    Ref r = MakeItem(ring, kLine, layer_, w, clamp_coord(x1 + ox_), clamp_coord(y1 + oy_), clamp_coord(x2 + ox_),
                     clamp_coord(y2 + oy_));
    tag(r);
    stats_.lines += r != kNone;
    return r;
}

Ref ItemMaker::pad(int64_t x, int64_t y, int type, int64_t w, int64_t h, int64_t hole, Angle angle) {
    if (!gate()) {
        return kNone;
    }
    Ref r = MakeItem(ring, kPad, layer_, static_cast<uint16_t>(type), clamp_coord(x + ox_), clamp_coord(y + oy_), 0, 0);
    if (r != kNone) {
        Node& n = node(r);
        n.pad.width = length16(w);
        n.pad.height = length16(h);
        n.pad.hole = length16(hole);
        n.pad.angle = angle;
        n.pad.pin = 0;
    }
    tag(r);
    stats_.pads += r != kNone;
    return r;
}

Ref ItemMaker::arc(int64_t cx, int64_t cy, int64_t rad, Angle start, Angle sweep, int64_t width) {
    if (!gate()) {
        return kNone;
    }
    Length w = width < 3 ? Length{655} : length16(width);
    Ref r = MakeItem(ring, kArc, layer_, w, clamp_coord(cx + ox_), clamp_coord(cy + oy_), clamp_coord(rad), 0);
    if (r != kNone) {
        Node& n = node(r);
        n.arc.start = start;
        n.arc.sweep = sweep;
        n.arc.ellipse = 0;
        n.arc.angle = 0;
    }
    tag(r);
    stats_.arcs += r != kNone;
    return r;
}

Ref ItemMaker::solid(const std::vector<Vertex>& pts) {
    if (pts.size() < 3 || !gate()) {
        return kNone;
    }
    Ref r = MakeItem(ring, kLine, layer_, 0, 0, 0, 0, 0);
    if (r == kNone) {
        out_of_nodes = true;
        return kNone;
    }
    for (const Vertex& v : pts) {
        if (!add_vertex(r, clamp_coord(v.x + ox_), clamp_coord(v.y + oy_))) {
            out_of_nodes = true;
            DeleteItem(r);
            return kNone;
        }
    }
    ++stats_.solids;
    return r;
}

void shape_outline(int kind, double cx, double cy, double w, double h, double angle_deg, std::vector<Vertex>& out) {
    out.clear();
    double a = angle_deg * std::numbers::pi / 180.0, c = std::cos(a), s = std::sin(a);
    auto put = [&](double x, double y) {
        double px = cx + x * c - y * s, py = cy + x * s + y * c;
        out.push_back({std::llround(std::clamp(px, -1e12, 1e12)), std::llround(std::clamp(py, -1e12, 1e12))});
    };
    if (kind == 1) {
        put(-w / 2, -h / 2);
        put(w / 2, -h / 2);
        put(w / 2, h / 2);
        put(-w / 2, h / 2);
        return;
    }
    // Steps so that no chord strays more than 0.001 inch (65.536 units) from the curve.
    auto steps_for = [](double r, double sweep) {
        double tol = 65.536;
        double step = r > tol ? 2 * std::acos(1 - tol / r) : std::numbers::pi / 2;
        int n = static_cast<int>(std::ceil(sweep / step));
        return std::clamp(n, 2, 1024);
    };
    if (kind == 0 || w == h) {
        double r = w / 2;
        int n = std::max(steps_for(r, 2 * std::numbers::pi), 8);
        for (int k = 0; k < n; ++k) {
            double t = 2 * std::numbers::pi * k / n;
            put(r * std::cos(t), r * std::sin(t));
        }
        return;
    }
    // An oval: two half circles joined along the longer side.
    bool wide = w > h;
    double r = (wide ? h : w) / 2, half = ((wide ? w : h) - 2 * r) / 2;
    int n = steps_for(r, std::numbers::pi);
    for (int side = 0; side < 2; ++side) {
        double base =
            wide ? (side == 0 ? -std::numbers::pi / 2 : std::numbers::pi / 2) : (side == 0 ? 0 : std::numbers::pi);
        double ox = wide ? (side == 0 ? half : -half) : 0, oy = wide ? 0 : (side == 0 ? half : -half);
        for (int k = 0; k <= n; ++k) {
            double t = base + std::numbers::pi * k / n;
            put(ox + r * std::cos(t), oy + r * std::sin(t));
        }
    }
}

Ref ItemMaker::big_shape(int kind, double cx, double cy, double w, double h, double angle_deg) {
    std::vector<Vertex> pts;
    shape_outline(kind, cx, cy, w, h, angle_deg, pts);
    return solid(pts);
}

} // namespace trazel::formats::detail
