// The fill's obstacle shapes: exact strict point tests and the floating-point spans that narrow them.
#include "copper/fill_shapes.h"

#include <algorithm>
#include <cmath>

#include "edit/locate.h"
#include "model/hit_test.h"

namespace trazel::copper::fill {

using model::abs64;
using model::Node;
using model::node;

namespace {

constexpr double kAll = 1e18;

uint64_t sq(int64_t v) {
    return static_cast<uint64_t>(v) * static_cast<uint64_t>(v);
}

uint64_t dist2(int64_t dx, int64_t dy) {
    return sq(abs64(dx)) + sq(abs64(dy));
}

bool pad_blocks(const Node& pad, int64_t t, Point p) {
    const model::PadFields& f = pad.pad;
    int64_t w = f.width, h = f.height;
    int64_t dx = int64_t{p.x} - f.x0, dy = int64_t{p.y} - f.y0;
    int shape = pad.size & 3;
    // A turned rectangle's corners reach out to half the sum of its sides (grown by t on both).
    int64_t reach = (shape == 2 ? (w + h) / 2 + 2 * t : std::max(w, h) / 2 + t) + 1;
    if (abs64(dx) > reach || abs64(dy) > reach) {
        return false;
    }
    if (w == h && shape != 2) {
        return dist2(2 * dx, 2 * dy) < sq(w + 2 * t);
    }
    model::turn_back(edit::turn_of(f.angle), dx, dy);
    int64_t ax = 2 * abs64(dx), ay = 2 * abs64(dy);
    if (ax >= w + 2 * t || ay >= h + 2 * t) {
        return false;
    }
    if (shape == 2) {
        return true;
    }
    int64_t straight = abs64(w - h);
    int64_t along = w > h ? ax : ay, across = w > h ? ay : ax;
    if (along <= straight) {
        return true;
    }
    return dist2(along - straight, across) < sq(std::min(w, h) + 2 * t);
}

__extension__ typedef unsigned __int128 U128;

// Whether p lies strictly closer than t to the segment a-b.
bool segment_closer(Point a, Point b, Point p, int64_t t) {
    int64_t ux = int64_t{b.x} - a.x, uy = int64_t{b.y} - a.y;
    int64_t vx = int64_t{p.x} - a.x, vy = int64_t{p.y} - a.y;
    int64_t dot = ux * vx + uy * vy;
    uint64_t len2 = dist2(ux, uy);
    if (dot <= 0 || len2 == 0) {
        return dist2(vx, vy) < sq(t);
    }
    if (static_cast<uint64_t>(dot) >= len2) {
        return dist2(int64_t{p.x} - b.x, int64_t{p.y} - b.y) < sq(t);
    }
    // Beside the segment: cross^2 / len^2 < t^2, compared without dividing.
    uint64_t cross = static_cast<uint64_t>(abs64(ux * vy - uy * vx));
    return U128{cross} * cross < U128{sq(t)} * len2;
}

int cross_sign(int64_t ux, int64_t uy, int64_t vx, int64_t vy) {
    int64_t c = ux * vy - uy * vx;
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// The arc stroke test with every boundary excluded.
bool arc_blocks(const Node& arc, int64_t t, Point p) {
    const model::ArcFields& f = arc.arc;
    int64_t R = abs64(f.radius), h = arc.size / 2 + t;
    if (f.ellipse != 0) {
        // The ellipse is tested on its circle, the minor axis stretched; so is the band, and across the
        // minor axis it would shrink by the axis ratio.  The band is widened by that ratio instead, so the
        // copper keeps at least the isolation all round (more along the major axis).
        h = h * 65536 / std::max<int64_t>(f.ellipse, 3);
    }
    int64_t dx = int64_t{p.x} - f.x0, dy = int64_t{p.y} - f.y0;
    if (abs64(dx) >= R + h || abs64(dy) >= R + h) {
        return false;
    }
    model::Angle start = f.start;
    if (f.ellipse != 0) {
        model::turn_back(edit::turn_of(f.angle), dx, dy);
        dy = dy * 65536 / std::max<int64_t>(f.ellipse, 3);
        if (abs64(dy) >= R + h) {
            return false;
        }
    } else {
        start = static_cast<model::Angle>(start + f.angle);
    }
    uint64_t d2 = dist2(dx, dy);
    int64_t inner = std::max<int64_t>(0, R - h);
    if ((inner > 0 && d2 <= sq(inner)) || d2 >= sq(R + h)) {
        return false;
    }
    if (f.sweep == 0) {
        return true;
    }
    model::Turn ts = edit::turn_of(start), te = edit::turn_of(static_cast<model::Angle>(start + f.sweep));
    for (const model::Turn& e : {ts, te}) {
        int64_t ex = dx - model::round16(R * e.cos), ey = dy - model::round16(R * e.sin);
        if (dist2(ex, ey) < sq(h)) {
            return true;
        }
    }
    int from_start = cross_sign(ts.cos, ts.sin, dx, dy);
    int to_end = cross_sign(dx, dy, te.cos, te.sin);
    if (f.sweep <= 32768) {
        bool along_start = from_start == 0 && ts.cos * dx + ts.sin * dy > 0;
        bool along_end = to_end == 0 && te.cos * dx + te.sin * dy > 0;
        return along_start || along_end || (from_start > 0 && to_end > 0);
    }
    return !(cross_sign(te.cos, te.sin, dx, dy) > 0 && cross_sign(dx, dy, ts.cos, ts.sin) > 0);
}

bool solid_blocks(Ref solid, int64_t t, Point p) {
    const Node& s = node(solid);
    if (s.link == model::kNone || p.x <= s.line.x1 - t || p.x >= s.line.x2 + t || p.y <= s.line.y1 - t ||
        p.y >= s.line.y2 + t) {
        return false;
    }
    for (Ref v = s.link; v != model::kNone; v = node(v).link) {
        const model::LineFields& e = node(v).line;
        if (segment_closer(Point{e.x1, e.y1}, Point{e.x2, e.y2}, p, t)) {
            return true;
        }
    }
    return model::point_in_solid(solid, p, 0);
}

bool text_blocks(const Node& text, int64_t t, Point p) {
    int64_t a0, a1, b0, b1;
    model::text_box(text, a0, a1, b0, b1);
    int64_t dx = int64_t{p.x} - text.text.x0, dy = int64_t{p.y} - text.text.y0;
    int64_t extent = (std::max({-a0, a1, -b0, b1, int64_t{0}}) + t) * 2;
    if (abs64(dx) > extent || abs64(dy) > extent) {
        return false;
    }
    // The distance from the box, its corners rounded: the isolation is kept all round.
    model::turn_back(edit::turn_of(text.text.angle), dx, dy);
    int64_t ox = dx < a0 ? a0 - dx : (dx > a1 ? dx - a1 : 0);
    int64_t oy = dy < b0 ? b0 - dy : (dy > b1 ? dy - b1 : 0);
    return dist2(ox, oy) < sq(t);
}

Span disk_span(double cx, double cy, double r, const Ray& ray) {
    Span out;
    if (r < 0) {
        return out;
    }
    double px = ray.ax - cx, py = ray.ay - cy;
    double a = ray.ux * ray.ux + ray.uy * ray.uy, b = ray.ux * px + ray.uy * py, c = px * px + py * py - r * r;
    double disc = b * b - a * c;
    if (disc < 0 || a == 0) {
        if (a == 0 && c <= 0) {
            return Span{-kAll, kAll};
        }
        return out;
    }
    double root = std::sqrt(disc);
    return Span{(-b - root) / a, (-b + root) / a};
}

// The span where v0 + s * dv lies in [lo, hi].
Span slab(double v0, double dv, double lo, double hi) {
    if (dv == 0) {
        return v0 >= lo && v0 <= hi ? Span{-kAll, kAll} : Span{};
    }
    double s1 = (lo - v0) / dv, s2 = (hi - v0) / dv;
    return Span{std::min(s1, s2), std::max(s1, s2)};
}

Span meet(Span a, Span b) {
    return Span{std::max(a.lo, b.lo), std::min(a.hi, b.hi)};
}

Span join(Span a, Span b) {
    if (a.empty()) {
        return b;
    }
    if (b.empty()) {
        return a;
    }
    return Span{std::min(a.lo, b.lo), std::max(a.hi, b.hi)};
}

// The ray in a frame turned back by `angle` about (cx, cy), as turn_back turns points.
Ray local_ray(const Ray& ray, double cx, double cy, model::Angle angle) {
    model::Turn t = edit::turn_of(angle);
    double c = t.cos / 65536.0, s = t.sin / 65536.0;
    double px = ray.ax - cx, py = ray.ay - cy;
    return Ray{px * c + py * s, py * c - px * s, ray.ux * c + ray.uy * s, ray.uy * c - ray.ux * s};
}

} // namespace

bool blocks(const Obstacle& o, int64_t t, Point p) {
    const Node& n = node(o.item);
    switch (o.shape) {
    case Shape::Track:
        return model::hit_track(n, static_cast<uint64_t>(n.size / 2 + t), p) != model::TrackHit::None;
    case Shape::Arc:
        return arc_blocks(n, t, p);
    case Shape::Pad:
        return pad_blocks(n, t, p);
    case Shape::Solid:
        return solid_blocks(o.item, t, p);
    case Shape::Text:
        return text_blocks(n, t, p);
    }
    return false;
}

Span box_span(double x1, double y1, double x2, double y2, const Ray& ray) {
    return meet(slab(ray.ax, ray.ux, x1, x2), slab(ray.ay, ray.uy, y1, y2));
}

Span capsule_span(double px, double py, double qx, double qy, double r, const Ray& ray) {
    Span out = join(disk_span(px, py, r, ray), disk_span(qx, qy, r, ray));
    double ex = qx - px, ey = qy - py, len = std::hypot(ex, ey);
    if (len == 0 || r < 0) {
        return out;
    }
    ex /= len, ey /= len;
    double rx = ray.ax - px, ry = ray.ay - py;
    Span along = slab(ex * rx + ey * ry, ex * ray.ux + ey * ray.uy, 0, len);
    Span across = slab(ex * ry - ey * rx, ex * ray.uy - ey * ray.ux, -r, r);
    return join(out, meet(along, across));
}

Span span_of(const Obstacle& o, double t, const Ray& ray, bool outer) {
    const Node& n = node(o.item);
    switch (o.shape) {
    case Shape::Track:
        return capsule_span(n.line.x1, n.line.y1, n.line.x2, n.line.y2, n.size / 2 + t, ray);
    case Shape::Arc: {
        double h = n.size / 2 + t;
        if (n.arc.ellipse != 0) {
            h = h * 65536 / std::max<int>(n.arc.ellipse, 3);
        }
        return disk_span(n.arc.x0, n.arc.y0, std::abs(double(n.arc.radius)) + h, ray);
    }
    case Shape::Pad: {
        const model::PadFields& f = n.pad;
        double w = f.width, h = f.height;
        int shape = n.size & 3;
        if (f.width == f.height && shape != 2) {
            return disk_span(f.x0, f.y0, w / 2 + t, ray);
        }
        Ray local = local_ray(ray, f.x0, f.y0, f.angle);
        if (shape == 2) {
            return box_span(-w / 2 - t, -h / 2 - t, w / 2 + t, h / 2 + t, local);
        }
        double e = std::abs(w - h) / 2, r = std::min(w, h) / 2 + t;
        return w > h ? capsule_span(-e, 0, e, 0, r, local) : capsule_span(0, -e, 0, e, r, local);
    }
    case Shape::Solid:
        return box_span(n.line.x1 - t, n.line.y1 - t, n.line.x2 + t, n.line.y2 + t, ray);
    case Shape::Text: {
        int64_t a0, a1, b0, b1;
        model::text_box(n, a0, a1, b0, b1);
        Ray local = local_ray(ray, n.text.x0, n.text.y0, n.text.angle);
        if (outer) {
            return box_span(a0 - t, b0 - t, a1 + t, b1 + t, local); // holds the rounded corners
        }
        // Inside: the longer of the box widened across and the box widened along (both lie within reach).
        Span across = box_span(a0 - t, b0, a1 + t, b1, local), along = box_span(a0, b0 - t, a1, b1 + t, local);
        if (across.empty() || (!along.empty() && along.hi - along.lo > across.hi - across.lo)) {
            return along;
        }
        return across;
    }
    }
    return Span{};
}

Span arc_hole(const Obstacle& o, double t, const Ray& ray) {
    const Node& n = node(o.item);
    double inner = std::abs(double(n.arc.radius)) - n.size / 2 - t;
    if (n.arc.ellipse != 0) {
        double e = std::max<int>(n.arc.ellipse, 3) / 65536.0;
        inner = (std::abs(double(n.arc.radius)) - (n.size / 2 + t) / e) * e;
    }
    return inner > 0 ? disk_span(n.arc.x0, n.arc.y0, inner, ray) : Span{};
}

} // namespace trazel::copper::fill
