#include "model/hit_test.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace trazel::model {

namespace {

// Unsigned 128-bit values for the few products that do not fit 64 bits.
struct U128 {
    uint64_t hi = 0, lo = 0;
};

U128 mul_u(uint64_t a, uint64_t b) {
    uint64_t a_lo = a & 0xFFFFFFFF, a_hi = a >> 32, b_lo = b & 0xFFFFFFFF, b_hi = b >> 32;
    uint64_t ll = a_lo * b_lo, lh = a_lo * b_hi, hl = a_hi * b_lo, hh = a_hi * b_hi;
    uint64_t mid = (ll >> 32) + (lh & 0xFFFFFFFF) + (hl & 0xFFFFFFFF);
    U128 r;
    r.lo = (mid << 32) | (ll & 0xFFFFFFFF);
    r.hi = hh + (lh >> 32) + (hl >> 32) + (mid >> 32);
    return r;
}

int compare(const U128& a, const U128& b) {
    if (a.hi != b.hi) {
        return a.hi < b.hi ? -1 : 1;
    }
    return a.lo < b.lo ? -1 : (a.lo > b.lo ? 1 : 0);
}

constexpr int64_t kExact = int64_t{1} << 31; // deltas below this keep every product in 63 bits
constexpr uint64_t kSaturated = std::numeric_limits<uint64_t>::max();

bool small(int64_t v) {
    return v > -kExact && v < kExact;
}

// dx^2 + dy^2, saturating.
uint64_t dist2(int64_t dx, int64_t dy) {
    uint64_t ax = abs64(dx), ay = abs64(dy);
    if (ax >= (uint64_t{1} << 32) || ay >= (uint64_t{1} << 32)) {
        return kSaturated;
    }
    uint64_t a = ax * ax, b = ay * ay;
    return a > kSaturated - b ? kSaturated : a + b;
}

int compare_u(uint64_t a, uint64_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// Compares the squared distance from p to the segment a-b with r2: -1 below, 0 equal, 1 above.
int compare_segment_dist2(Point a, Point b, Point p, uint64_t r2) {
    int64_t ux = int64_t{b.x} - a.x, uy = int64_t{b.y} - a.y;
    int64_t vx = int64_t{p.x} - a.x, vy = int64_t{p.y} - a.y;
    if (small(ux) && small(uy) && small(vx) && small(vy)) {
        int64_t dot = ux * vx + uy * vy;
        uint64_t len2 = static_cast<uint64_t>(ux * ux) + static_cast<uint64_t>(uy * uy);
        if (dot <= 0) {
            return compare_u(dist2(vx, vy), r2);
        }
        if (static_cast<uint64_t>(dot) >= len2) {
            return compare_u(dist2(int64_t{p.x} - b.x, int64_t{p.y} - b.y), r2);
        }
        // Inside the segment's span: distance^2 = cross^2 / len^2, compared without dividing.
        uint64_t cross = abs64(ux * vy - uy * vx);
        return compare(mul_u(cross, cross), mul_u(r2, len2));
    }
    // Deltas of 32768 inches and more: far beyond any real drawing, so long double precision will do.
    long double lx = static_cast<long double>(ux), ly = static_cast<long double>(uy);
    long double px = static_cast<long double>(vx), py = static_cast<long double>(vy);
    long double len2 = lx * lx + ly * ly;
    long double t = len2 > 0 ? (lx * px + ly * py) / len2 : 0;
    t = std::clamp<long double>(t, 0, 1);
    long double dx = px - t * lx, dy = py - t * ly;
    long double d2 = dx * dx + dy * dy, r = static_cast<long double>(r2);
    return d2 < r ? -1 : (d2 > r ? 1 : 0);
}

// Cross product sign of u x v for vectors whose components stay below 2^49 in products.
int cross_sign(int64_t ux, int64_t uy, int64_t vx, int64_t vy) {
    int64_t c = ux * vy - uy * vx;
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

} // namespace

void turn_back(const Turn& t, int64_t& x, int64_t& y) {
    int64_t nx = round16(x * t.cos + y * t.sin);
    int64_t ny = round16(y * t.cos - x * t.sin);
    x = nx;
    y = ny;
}

bool segment_within(Point a, Point b, Point p, uint64_t reach) {
    if (reach >= (uint64_t{1} << 32)) {
        return true;
    }
    return compare_segment_dist2(a, b, p, reach * reach) <= 0;
}

TrackHit hit_track(const Node& line, uint64_t reach, Point p) {
    const LineFields& l = line.line;
    int64_t r = static_cast<int64_t>(std::min<uint64_t>(reach, uint64_t{1} << 32));
    if (p.x < std::min(l.x1, l.x2) - r || p.x > std::max(l.x1, l.x2) + r || p.y < std::min(l.y1, l.y2) - r ||
        p.y > std::max(l.y1, l.y2) + r) {
        return TrackHit::None;
    }
    uint64_t r2 = static_cast<uint64_t>(r) * static_cast<uint64_t>(r);
    uint64_t d1 = dist2(int64_t{p.x} - l.x1, int64_t{p.y} - l.y1);
    uint64_t d2 = dist2(int64_t{p.x} - l.x2, int64_t{p.y} - l.y2);
    if (std::min(d1, d2) < r2) {
        return d1 <= d2 ? TrackHit::End1 : TrackHit::End2;
    }
    if (compare_segment_dist2(Point{l.x1, l.y1}, Point{l.x2, l.y2}, p, r2) < 0) {
        return TrackHit::Body;
    }
    return TrackHit::None;
}

Point arc_point(const Node& arc, Angle a, TurnOf turn_of) {
    const ArcFields& f = arc.arc;
    int64_t r = abs64(f.radius);
    if (f.ellipse == 0) {
        Turn t = turn_of(static_cast<Angle>(a + f.angle));
        return Point{static_cast<Coord>(f.x0 + round16(r * t.cos)),
                     static_cast<Coord>(f.y0 + round16(r * t.sin))};
    }
    Turn t = turn_of(a), rot = turn_of(f.angle);
    int64_t x = round16(r * t.cos);
    int64_t y = round16(round16(r * t.sin) * f.ellipse);
    int64_t rx = round16(x * rot.cos - y * rot.sin), ry = round16(x * rot.sin + y * rot.cos);
    return Point{static_cast<Coord>(f.x0 + rx), static_cast<Coord>(f.y0 + ry)};
}

bool hit_arc_stroke(const Node& arc, uint64_t tolerance, Point p, TurnOf turn_of) {
    const ArcFields& f = arc.arc;
    int64_t R = abs64(f.radius);
    int64_t h = arc.size / 2 + static_cast<int64_t>(std::min<uint64_t>(tolerance, uint64_t{1} << 32));
    int64_t dx = int64_t{p.x} - f.x0, dy = int64_t{p.y} - f.y0;
    if (abs64(dx) > R + h || abs64(dy) > R + h) {
        return false;
    }
    Angle start = f.start;
    if (f.ellipse != 0) {
        // Onto the ellipse's circle: turn back by its rotation and stretch the minor axis.
        turn_back(turn_of(f.angle), dx, dy);
        dy = dy * 65536 / std::max<int64_t>(f.ellipse, 3);
        if (abs64(dy) > R + h) {
            return false;
        }
    } else {
        start = static_cast<Angle>(start + f.angle);
    }
    uint64_t d2 = dist2(dx, dy);
    int64_t inner = std::max<int64_t>(0, R - h), outer = R + h;
    if (d2 < static_cast<uint64_t>(inner * inner) || d2 > static_cast<uint64_t>(outer) * static_cast<uint64_t>(outer)) {
        return false;
    }
    if (f.sweep == 0) {
        return true;
    }
    Turn ts = turn_of(start), te = turn_of(static_cast<Angle>(start + f.sweep));
    uint64_t h2 = static_cast<uint64_t>(h) * static_cast<uint64_t>(h);
    for (const Turn& t : {ts, te}) {
        int64_t ex = dx - round16(R * t.cos), ey = dy - round16(R * t.sin);
        if (abs64(ex) <= h && abs64(ey) <= h && dist2(ex, ey) <= h2) {
            return true;
        }
    }
    // The angle of the point lies in [start, start + sweep]: decided by the side of the point against
    // the start and end directions, so no arctangent is needed.
    int from_start = cross_sign(ts.cos, ts.sin, dx, dy);
    int to_end = cross_sign(dx, dy, te.cos, te.sin);
    if (f.sweep <= 32768) {
        bool along_start = from_start == 0 && ts.cos * dx + ts.sin * dy > 0;
        bool along_end = to_end == 0 && te.cos * dx + te.sin * dy > 0;
        return along_start || along_end || (from_start > 0 && to_end > 0);
    }
    // More than half a turn: outside only strictly inside the gap from the end back to the start.
    return !(cross_sign(te.cos, te.sin, dx, dy) > 0 && cross_sign(dx, dy, ts.cos, ts.sin) > 0);
}

int64_t pad_reach(const Node& pad) {
    int64_t w = pad.pad.width, h = pad.pad.height;
    // A turned rectangle's corners reach beyond half its longer side; half the sum bounds them.
    if ((pad.size & 3) == 2 && pad.pad.angle % 16384 != 0) {
        return (w + h + 1) / 2;
    }
    // Circles, oblongs at any angle and rectangles turned by quarter turns.
    return (std::max(w, h) + 1) / 2;
}

bool hit_pad(const Node& pad, uint64_t t, Point p, TurnOf turn_of) {
    const PadFields& f = pad.pad;
    int64_t tt = static_cast<int64_t>(std::min<uint64_t>(t, uint64_t{1} << 32));
    int64_t w = f.width, h = f.height;
    int64_t dx = int64_t{p.x} - f.x0, dy = int64_t{p.y} - f.y0;
    int shape = pad.size & 3;
    int64_t reach = pad_reach(pad) + tt + 1;
    if (abs64(dx) > reach || abs64(dy) > reach) {
        return false;
    }
    // Doubled coordinates keep the halves of odd sizes exact.
    if (w == h && shape != 2) {
        uint64_t d = static_cast<uint64_t>(w + 2 * tt);
        return dist2(2 * dx, 2 * dy) <= d * d;
    }
    turn_back(turn_of(f.angle), dx, dy);
    int64_t ax = 2 * abs64(dx), ay = 2 * abs64(dy);
    if (ax > w + 2 * tt || ay > h + 2 * tt) {
        return false;
    }
    if (shape == 2) {
        return true;
    }
    // Oblong: beyond the straight part the point must lie in the end circle.
    int64_t straight = w > h ? w - h : h - w;
    int64_t along = w > h ? ax : ay, across = w > h ? ay : ax;
    if (along <= straight) {
        return true;
    }
    uint64_t d = static_cast<uint64_t>(std::min(w, h) + 2 * tt);
    return dist2(along - straight, across) <= d * d;
}

void text_box(const Node& text, int64_t& a0, int64_t& a1, int64_t& b0, int64_t& b1) {
    const TextFields& f = text.text;
    int64_t height = text.size, unit = height / 6;
    int64_t step = f.length < 0 ? -unit : unit;
    int64_t length = f.length;
    int64_t pen_x = 0, pen_y = 0;
    switch (f.anchor_font & 3) {
    case 1:
        pen_x = -(length / 2);
        break;
    case 2:
        pen_x = -length;
        break;
    case 3:
        pen_x = 2 * step;
        break;
    default:
        break;
    }
    switch ((f.anchor_font >> 2) & 3) {
    case 1:
        pen_y = -3 * unit;
        break;
    case 2:
        pen_y = -6 * unit;
        break;
    case 3:
        pen_y = 2 * unit;
        break;
    default:
        break;
    }
    int further = f.lines > 1 ? f.lines - 1 : 0;
    int64_t grow = height / 8;
    a0 = std::min(pen_x, pen_x + length) - grow;
    a1 = std::max(pen_x, pen_x + length) + grow;
    b0 = pen_y - 9 * unit * further - grow;
    b1 = pen_y + 6 * unit + grow;
}

bool hit_text(const Node& text, Point p, TurnOf turn_of) {
    const TextFields& f = text.text;
    int64_t a0, a1, b0, b1;
    text_box(text, a0, a1, b0, b1);
    int64_t dx = int64_t{p.x} - f.x0, dy = int64_t{p.y} - f.y0;
    int64_t extent = std::max({-a0, a1, -b0, b1});
    if (abs64(dx) > extent * 2 || abs64(dy) > extent * 2) {
        return false;
    }
    turn_back(turn_of(f.angle), dx, dy);
    return dx >= a0 && dx <= a1 && dy >= b0 && dy <= b1;
}

bool point_in_solid(Ref solid, Point p, uint64_t reach) {
    const Node& s = node(solid);
    int64_t r = static_cast<int64_t>(std::min<uint64_t>(reach, uint64_t{1} << 32));
    if (s.link == kNone || p.x < int64_t{s.line.x1} - r || p.x > int64_t{s.line.x2} + r ||
        p.y < int64_t{s.line.y1} - r || p.y > int64_t{s.line.y2} + r) {
        return false;
    }
    if (reach != 0) {
        for (Ref v = s.link; v != kNone; v = node(v).link) {
            const LineFields& e = node(v).line;
            if (segment_within(Point{e.x1, e.y1}, Point{e.x2, e.y2}, p, reach)) {
                return true;
            }
        }
    }
    int count = 0;
    for (Ref v = s.link; v != kNone; v = node(v).link) {
        const LineFields& e = node(v).line;
        Point a{e.x1, e.y1}, b{e.x2, e.y2};
        if (a.y > b.y) {
            std::swap(a, b);
        }
        if (p.y < a.y || p.y > b.y) {
            continue;
        }
        if (a.y == b.y) {
            // Along the line itself: inside when the point lies on it, otherwise no crossing.
            if (p.x >= std::min(a.x, b.x) && p.x <= std::max(a.x, b.x)) {
                return true;
            }
            continue;
        }
        // Where the edge crosses the line, against the point: the sign of
        // (a.x - p.x) * (b.y - a.y) + (p.y - a.y) * (b.x - a.x), the crossing's offset times the height.
        int64_t h = int64_t{b.y} - a.y, ax = int64_t{a.x} - p.x, ay = int64_t{p.y} - a.y, w = int64_t{b.x} - a.x;
        int side;
        if (small(h) && small(ax) && small(w)) {
            int64_t v1 = ax * h, v2 = ay * w;
            side = v1 > -v2 ? 1 : (v1 == -v2 ? 0 : -1);
        } else {
            long double v = static_cast<long double>(ax) * h + static_cast<long double>(ay) * w;
            side = v > 0 ? 1 : (v == 0 ? 0 : -1);
        }
        if (side == 0) {
            return true; // on the edge
        }
        if (side > 0) {
            count += p.y == a.y ? 2 : 1; // a crossing at the lower end counts twice
        }
    }
    return (count & 1) != 0;
}

bool hit_extent(const Node& n, Box& out) {
    auto around = [&](int64_t x, int64_t y, int64_t r) {
        out = Box{x - r, y - r, x + r, y + r};
        return true;
    };
    switch (n.kind & kKindMask) {
    case kLine:
        if (n.size == 0) {
            break; // a Solid: its box
        }
        out = Box{std::min<int64_t>(n.line.x1, n.line.x2) - n.size / 2 - 1,
                  std::min<int64_t>(n.line.y1, n.line.y2) - n.size / 2 - 1,
                  std::max<int64_t>(n.line.x1, n.line.x2) + n.size / 2 + 1,
                  std::max<int64_t>(n.line.y1, n.line.y2) + n.size / 2 + 1};
        return true;
    case kArc: {
        int64_t r = abs64(n.arc.radius);
        return around(n.arc.x0, n.arc.y0, r + n.size / 2 + 2);
    }
    case kPad:
        return around(n.pad.x0, n.pad.y0, pad_reach(n) + 2);
    case kText: {
        // The turned box lies within its corners' distance of the origin (sqrt 2 of the largest side,
        // taken as 3/2), plus the rounding of the turn.
        int64_t a0, a1, b0, b1;
        text_box(n, a0, a1, b0, b1);
        int64_t e = std::max({-a0, a1, -b0, b1, int64_t{0}});
        return around(n.text.x0, n.text.y0, e + e / 2 + 2);
    }
    case kPointGroup:
    case kComponent:
    case kDocument:
        break;
    default:
        return false;
    }
    out = Box{std::min<int64_t>(n.line.x1, n.line.x2), std::min<int64_t>(n.line.y1, n.line.y2),
              std::max<int64_t>(n.line.x1, n.line.x2), std::max<int64_t>(n.line.y1, n.line.y2)};
    return true;
}

} // namespace trazel::model
