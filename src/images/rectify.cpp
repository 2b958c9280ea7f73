#include "images/rectify.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <tuple>

#include "model/units.h"

namespace trazel::images {

namespace {

constexpr double kUnitsPerInch = 65536.0;
constexpr const char* kProgress = "Image Rectification";
constexpr const char* kUnchanged = "\n\nThe picture is unchanged.";

using Mat4 = std::array<std::array<double, 4>, 4>;

// The minor of `a` without row `skip_r` and column `skip_c`.
double minor3(const Mat4& a, int skip_r, int skip_c) {
    int r[3], c[3];
    for (int i = 0, k = 0, l = 0; i < 4; ++i) {
        if (i != skip_r) {
            r[k++] = i;
        }
        if (i != skip_c) {
            c[l++] = i;
        }
    }
    auto at = [&](int i, int j) { return a[static_cast<size_t>(r[i])][static_cast<size_t>(c[j])]; };
    return at(0, 0) * (at(1, 1) * at(2, 2) - at(1, 2) * at(2, 1)) -
           at(0, 1) * (at(1, 0) * at(2, 2) - at(1, 2) * at(2, 0)) +
           at(0, 2) * (at(1, 0) * at(2, 1) - at(1, 1) * at(2, 0));
}

// The inverse of a symmetric positive semi-definite 4x4 matrix through its cofactors; false when it is
// singular compared with its diagonal (the determinant of a Gram matrix never exceeds that product).
bool invert(const Mat4& a, Mat4& inv) {
    double det = 0;
    for (int j = 0; j < 4; ++j) {
        det += (j % 2 ? -1 : 1) * a[0][static_cast<size_t>(j)] * minor3(a, 0, j);
    }
    double scale = a[0][0] * a[1][1] * a[2][2] * a[3][3];
    if (!(scale > 0) || !(det > 1e-10 * scale)) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            inv[static_cast<size_t>(j)][static_cast<size_t>(i)] = ((i + j) % 2 ? -1 : 1) * minor3(a, i, j) / det;
        }
    }
    return true;
}

double inches(int64_t units) {
    return static_cast<double>(units) / kUnitsPerInch;
}

// One row of output pixels: the source position of column j is (u, v) = (U0 + j (U1 + j U2), V0 + ...), in
// source pixels (u from the left, v from the bottom).
struct RowMap {
    double u0, u1, u2, v0, v1, v2;
};

// The source picture as the inner loop reads it.
struct Source {
    const uint8_t* pixels;
    size_t row_bytes;
    int32_t height;
    double umax, vmax;   // the last column and the last height
    double tol_u, tol_v; // how far past an edge a position still counts as on it
    int32_t iu_max, iv_max;
    size_t col_step, row_step; // to the next column and the row above (0 for a picture one wide or high)
};

// The plain loop: every pixel's position and blend in double precision, as written; 16-bit pictures
// (kWide) blend their values.
template <int kBytes, bool kWide>
void resample_row(const Source& s, const RowMap& m, uint8_t* out, int32_t width) {
    constexpr size_t bpp = kWide ? 2 : kBytes;
    for (int32_t j = 0; j < width; ++j, out += bpp) {
        double jd = j;
        double u = m.u0 + jd * (m.u1 + jd * m.u2);
        double v = m.v0 + jd * (m.v1 + jd * m.v2);
        if (!(u >= -s.tol_u && u <= s.umax + s.tol_u && v >= -s.tol_v && v <= s.vmax + s.tol_v)) {
            for (size_t k = 0; k < bpp; ++k) {
                out[k] = 0;
            }
            continue;
        }
        u = std::clamp(u, 0.0, s.umax);
        v = std::clamp(v, 0.0, s.vmax);
        // The last column and row blend with weight 1 towards themselves, so they keep their own pixels.
        int32_t iu = std::min(static_cast<int32_t>(u), s.iu_max);
        int32_t iv = std::min(static_cast<int32_t>(v), s.iv_max);
        double fu = u - iu, fv = v - iv;
        double w11 = fu * fv, w10 = fu - w11, w01 = fv - w11, w00 = (1 - fu) * (1 - fv);
        const uint8_t* p00 =
            s.pixels + static_cast<size_t>(s.height - 1 - iv) * s.row_bytes + static_cast<size_t>(iu) * bpp;
        const uint8_t* p10 = p00 + s.col_step;
        const uint8_t* p01 = p00 - s.row_step;
        const uint8_t* p11 = p01 + s.col_step;
        if constexpr (kWide) {
            auto at = [](const uint8_t* p) { return static_cast<double>(p[0] | p[1] << 8); };
            double val = at(p00) * w00 + at(p10) * w10 + at(p01) * w01 + at(p11) * w11;
            auto q = static_cast<uint32_t>(val + 0.5);
            out[0] = static_cast<uint8_t>(q);
            out[1] = static_cast<uint8_t>(q >> 8);
        } else {
            for (size_t k = 0; k < bpp; ++k) {
                double val = p00[k] * w00 + p10[k] * w10 + p01[k] * w01 + p11[k] * w11;
                out[k] = static_cast<uint8_t>(val + 0.5);
            }
        }
    }
}

// The columns of a row whose position lies on the source (within the edge tolerance): [j0, j1).  Taken
// from the solution of the two linear bounds, then settled by the same test the plain loop makes, so both
// loops blacken the same pixels.
void inside_run(const Source& s, const RowMap& m, int32_t width, int32_t& j0, int32_t& j1) {
    auto inside = [&](int32_t j) {
        double u = m.u0 + j * m.u1, v = m.v0 + j * m.v1;
        return u >= -s.tol_u && u <= s.umax + s.tol_u && v >= -s.tol_v && v <= s.vmax + s.tol_v;
    };
    double lo = 0, hi = width - 1;
    auto bound = [&](double a, double d, double min, double max) {
        if (d == 0) {
            if (!(a >= min && a <= max)) {
                hi = -1;
            }
            return;
        }
        double ja = (min - a) / d, jb = (max - a) / d;
        lo = std::max(lo, std::min(ja, jb));
        hi = std::min(hi, std::max(ja, jb));
    };
    bound(m.u0, m.u1, -s.tol_u, s.umax + s.tol_u);
    bound(m.v0, m.v1, -s.tol_v, s.vmax + s.tol_v);
    if (!(lo <= hi)) { // also when a bound is not a number
        j0 = j1 = 0;
        return;
    }
    j0 = static_cast<int32_t>(std::ceil(lo));
    j1 = static_cast<int32_t>(std::floor(hi)) + 1;
    while (j0 > 0 && inside(j0 - 1)) {
        --j0;
    }
    while (j0 < j1 && !inside(j0)) {
        ++j0;
    }
    while (j1 < width && inside(j1)) {
        ++j1;
    }
    while (j1 > j0 && !inside(j1 - 1)) {
        --j1;
    }
}

// The plain loop's blend over `count` pixels from the position (u, v), stepped by (du, dv), in 32.32 fixed
// point with 12-bit fractions (a byte's blend is at most 255 x 2^24).  Only pixels near an edge (kEdge)
// need their position held to the picture.
template <int kBytes, bool kEdge>
void blend_span(const Source& s, int64_t u, int64_t v, int64_t du, int64_t dv, uint8_t* o, int32_t count) {
    constexpr size_t bpp = kBytes;
    const int64_t umax = static_cast<int64_t>(s.umax) << 32, vmax = static_cast<int64_t>(s.vmax) << 32;
    const uint8_t* const base = s.pixels + static_cast<size_t>(s.height - 1) * s.row_bytes;
    // Where the source is read 24 pixels on: a turned picture is read along a slant the hardware does not
    // foresee.  A byte offset, only ever handed to the prefetch.
    const intptr_t ahead = static_cast<intptr_t>(std::llround(24.0 * static_cast<double>(du) / 4294967296.0)) *
                               static_cast<intptr_t>(bpp) -
                           static_cast<intptr_t>(std::llround(24.0 * static_cast<double>(dv) / 4294967296.0)) *
                               static_cast<intptr_t>(s.row_bytes);
    for (int32_t j = 0; j < count; ++j, u += du, v += dv, o += bpp) {
        int64_t iu, iv, uc = u, vc = v;
        if constexpr (kEdge) {
            uc = std::clamp(u, int64_t{0}, umax);
            vc = std::clamp(v, int64_t{0}, vmax);
            iu = std::min<int64_t>(uc >> 32, s.iu_max);
            iv = std::min<int64_t>(vc >> 32, s.iv_max);
        } else {
            iu = u >> 32;
            iv = v >> 32;
        }
        const int64_t fu = (uc - (iu << 32) + (int64_t{1} << 19)) >> 20; // 0..4096
        const int64_t fv = (vc - (iv << 32) + (int64_t{1} << 19)) >> 20;
        const uint8_t* p00 = base - static_cast<size_t>(iv) * s.row_bytes + static_cast<size_t>(iu) * bpp;
        const uint8_t* p10 = p00 + s.col_step;
        const uint8_t* p01 = p00 - s.row_step;
        const uint8_t* p11 = p01 + s.col_step;
        if constexpr (!kEdge) {
            __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<intptr_t>(p00) + ahead));
        }
        // Across, then up: (p00 + (p10 - p00) fu) + ((p01 + (p11 - p01) fu) - (p00 + (p10 - p00) fu)) fv.
        auto blend = [&](size_t k) {
            int64_t lower = (int64_t{p00[k]} << 12) + (int64_t{p10[k]} - p00[k]) * fu;
            int64_t upper = (int64_t{p01[k]} << 12) + (int64_t{p11[k]} - p01[k]) * fu;
            return static_cast<uint8_t>(((lower << 12) + (upper - lower) * fv + (int64_t{1} << 23)) >> 24);
        };
        // Spelled out per byte: the compiler keeps a three-step loop as a loop.
        uint8_t q0 = blend(0);
        if constexpr (bpp == 3) {
            uint8_t q1 = blend(1), q2 = blend(2);
            o[1] = q1;
            o[2] = q2;
        }
        o[0] = q0;
    }
}

// Columns [j0, j1) of a row that lie on the source: the stretch strictly inside the last column and row
// goes without the holding.
template <int kBytes> void fast_span(const Source& s, const RowMap& m, uint8_t* out, int32_t j0, int32_t j1) {
    constexpr double kOne = 4294967296.0;
    const int64_t u0 = std::llround((m.u0 + j0 * m.u1) * kOne), du = std::llround(m.u1 * kOne);
    const int64_t v0 = std::llround((m.v0 + j0 * m.v1) * kOne), dv = std::llround(m.v1 * kOne);
    const int64_t umax = static_cast<int64_t>(s.umax) << 32, vmax = static_cast<int64_t>(s.vmax) << 32;
    auto interior = [&](int32_t j) {
        int64_t u = u0 + (j - j0) * du, v = v0 + (j - j0) * dv;
        return u >= 0 && u < umax && v >= 0 && v < vmax;
    };
    // The interior is one stretch (the position is linear in j): solved, then settled on the fixed-point
    // positions themselves.
    int32_t k0 = j0, k1 = j0;
    auto solve = [&](double a, double d, double target) { return d == 0 ? 0.0 : (target - a) / d; };
    double lo = j0, hi = j1 - 1.0;
    for (auto [a, d, top] : {std::tuple{m.u0, m.u1, s.umax}, std::tuple{m.v0, m.v1, s.vmax}}) {
        if (d != 0) {
            double x = solve(a, d, 0), y = solve(a, d, top);
            lo = std::max(lo, std::min(x, y));
            hi = std::min(hi, std::max(x, y));
        }
    }
    if (lo <= hi) {
        k0 = std::clamp(static_cast<int32_t>(std::ceil(lo)), j0, j1);
        k1 = std::clamp(static_cast<int32_t>(std::floor(hi)) + 1, k0, j1);
        while (k0 < k1 && !interior(k0)) {
            ++k0;
        }
        while (k1 > k0 && !interior(k1 - 1)) {
            --k1;
        }
    }
    constexpr size_t bpp = kBytes;
    auto at = [&](int32_t j) { return out + static_cast<size_t>(j) * bpp; };
    auto step = [&](int32_t j, int64_t start, int64_t d) { return start + (j - j0) * d; };
    blend_span<kBytes, true>(s, u0, v0, du, dv, at(j0), k0 - j0);
    blend_span<kBytes, false>(s, step(k0, u0, du), step(k0, v0, dv), du, dv, at(k0), k1 - k0);
    blend_span<kBytes, true>(s, step(k1, u0, du), step(k1, v0, dv), du, dv, at(k1), j1 - k1);
}

} // namespace

const char* source_ordinal(int n) {
    switch (n) {
    case 1:
        return "first";
    case 2:
        return "second";
    case 3:
        return "third";
    case 4:
        return "fourth";
    default:
        return "next";
    }
}

std::string too_few_pairs_line(int pairs) {
    static constexpr const char* kCount[] = {"no", "one", "two", "three"};
    return std::string("A minimum of four pairs of points are\nrequired for this function, but you have\nentered only ") +
           kCount[std::clamp(pairs, 0, 3)] + " pair of reference\npoints.";
}

std::string too_few_pairs_text(int pairs) {
    return too_few_pairs_line(pairs) + "\n\nDo you wish to continue?";
}

bool fit_mapping(const std::vector<ReferencePair>& pairs, Mapping& m) {
    m = Mapping{};
    size_t n = pairs.size();
    if (n < static_cast<size_t>(kMinimumPairs)) {
        return false;
    }
    // The sums are taken about the targets' mean and spread, so that a picture far from the origin
    // keeps the precision of the normal equations; the coefficients are carried back afterwards.
    double mx = 0, my = 0;
    for (const ReferencePair& p : pairs) {
        mx += inches(p.target.x);
        my += inches(p.target.y);
    }
    mx /= static_cast<double>(n);
    my /= static_cast<double>(n);
    double sx = 0, sy = 0;
    for (const ReferencePair& p : pairs) {
        sx += (inches(p.target.x) - mx) * (inches(p.target.x) - mx);
        sy += (inches(p.target.y) - my) * (inches(p.target.y) - my);
    }
    sx = std::sqrt(sx / static_cast<double>(n));
    sy = std::sqrt(sy / static_cast<double>(n));
    if (!(sx > 0) || !(sy > 0)) {
        return false;
    }
    // Normal equations of the terms 1, x, y, xy: the sums of x, y, x², y², xy, x²y, xy², x²y² and of
    // each source value times 1, x, y, xy.
    Mat4 g{};
    std::array<double, 4> bx{}, by{};
    for (const ReferencePair& p : pairs) {
        double x = (inches(p.target.x) - mx) / sx, y = (inches(p.target.y) - my) / sy;
        std::array<double, 4> t{1, x, y, x * y};
        for (size_t i = 0; i < 4; ++i) {
            for (size_t j = 0; j < 4; ++j) {
                g[i][j] += t[i] * t[j];
            }
            bx[i] += t[i] * inches(p.source.x);
            by[i] += t[i] * inches(p.source.y);
        }
    }
    Mat4 inv;
    if (!invert(g, inv)) {
        return false;
    }
    // value = a + b x' + c y' + d x'y' with x' = (x - mx) / sx, y' = (y - my) / sy, in the terms of x, y.
    auto carry = [&](const std::array<double, 4>& rhs, double& k1, double& kx, double& ky, double& kxy) {
        std::array<double, 4> s{};
        for (size_t i = 0; i < 4; ++i) {
            for (size_t j = 0; j < 4; ++j) {
                s[i] += inv[i][j] * rhs[j];
            }
        }
        double b = s[1] / sx, c = s[2] / sy, d = s[3] / (sx * sy);
        kxy = d;
        kx = b - d * my;
        ky = c - d * mx;
        k1 = s[0] - b * mx - c * my + d * mx * my;
    };
    carry(bx, m.c[4], m.c[0], m.c[2], m.c[6]);
    carry(by, m.c[5], m.c[1], m.c[3], m.c[7]);
    for (double v : m.c) {
        if (!std::isfinite(v)) {
            m = Mapping{};
            return false;
        }
    }
    return true;
}

bool place_rectified(const BlockHeader& s, const Mapping& m, Placement& p, std::string& why) {
    const std::array<double, 12>& c = m.c;
    double d = c[0] * c[3] - c[1] * c[2];
    double l = inches(s.left), b = inches(s.bottom), r = inches(s.right), t = inches(s.top);
    const double corners[4][2] = {{l, b}, {r, t}, {l, t}, {r, b}};
    double lo_x = std::numeric_limits<double>::infinity(), lo_y = lo_x, hi_x = -lo_x, hi_y = -lo_x;
    for (const auto& k : corners) {
        double x = k[0], y = k[1];
        if (d != 0) {
            double dx = k[0] - c[4], dy = k[1] - c[5];
            x = (c[3] * dx - c[2] * dy) / d;
            y = (c[0] * dy - c[1] * dx) / d;
        }
        lo_x = std::min(lo_x, x);
        hi_x = std::max(hi_x, x);
        lo_y = std::min(lo_y, y);
        hi_y = std::max(hi_y, y);
    }
    const double limit = model::kCoordLimit;
    auto units = [&](double v, int32_t& out) {
        double u = std::round(v * kUnitsPerInch);
        if (!(std::fabs(u) <= limit)) {
            return false;
        }
        out = static_cast<int32_t>(u);
        return true;
    };
    if (!units(lo_x, p.left) || !units(hi_x, p.right) || !units(lo_y, p.bottom) || !units(hi_y, p.top)) {
        why = std::string("The straightened picture would reach beyond the drawing area.") + kUnchanged;
        return false;
    }
    double dpi = s.dpi > 0 ? s.dpi : 100;
    double w = std::floor(inches(int64_t{p.right} - p.left) * dpi + 1.5);
    double h = std::floor(inches(int64_t{p.top} - p.bottom) * dpi + 1.5);
    if (w * h > static_cast<double>(kMaxPixels)) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "The straightened picture would be %.0f x %.0f pixels,\nmore than a picture may hold.", w, h);
        why = text + std::string(kUnchanged);
        return false;
    }
    p.width = static_cast<int32_t>(w);
    p.height = static_cast<int32_t>(h);
    return true;
}

bool resample(const std::vector<uint8_t>& block, const BlockHeader& h, const Mapping& m, const Placement& p,
              std::vector<uint8_t>& out, platform::RunContext& run, ResampleMode mode) {
    const size_t bpp = static_cast<size_t>(h.bits / 8);
    BlockHeader nh = h;
    nh.row_length = nh.width = p.width;
    nh.height = p.height;
    nh.left = p.left;
    nh.bottom = p.bottom;
    nh.right = p.right;
    nh.top = p.top;
    const size_t out_row = static_cast<size_t>(p.width) * bpp;
    out.clear();
    // One allocation with a spare row, as every block has.
    out.reserve(kHeaderBytes + out_row * (static_cast<size_t>(p.height) + 1));
    write_header(nh, out);

    const double dpi = h.dpi > 0 ? h.dpi : 100;
    Source s{};
    s.pixels = block.data() + kHeaderBytes;
    s.row_bytes = static_cast<size_t>(h.row_length) * bpp;
    s.height = h.height;
    s.umax = h.width - 1;
    s.vmax = h.height - 1;
    s.iu_max = std::max(h.width - 2, 0);
    s.iv_max = std::max(h.height - 2, 0);
    s.col_step = h.width > 1 ? bpp : 0;
    s.row_step = h.height > 1 ? s.row_bytes : 0;
    // Source pixels per inch along each axis; a picture one pixel wide has no extent to scale by.
    double su = h.right != h.left ? s.umax / inches(int64_t{h.right} - h.left) : dpi;
    double sv = h.top != h.bottom ? s.vmax / inches(int64_t{h.top} - h.bottom) : dpi;
    // The edges are whole coordinate units, so a position on an edge may land a little beyond it.
    s.tol_u = 2 * std::fabs(su) / kUnitsPerInch + 1e-9;
    s.tol_v = 2 * std::fabs(sv) / kUnitsPerInch + 1e-9;

    const std::array<double, 12>& c = m.c;
    const double x0 = inches(p.left), dx = 1 / dpi, sl = inches(h.left), sb = inches(h.bottom);
    const bool fast = mode == ResampleMode::Fast && c[8] == 0 && c[9] == 0 && h.bits != 16;
    // Along a row the mapping is A + B x + C x² in x = x0 + j dx; in source pixels, a quadratic in j.
    auto row_map = [&](int32_t i) {
        const double y = inches(p.bottom) + (p.height - 1 - i) / dpi;
        auto axis = [&](double a, double bxy, double cx2, double origin, double scale, double& k0, double& k1,
                        double& k2) {
            double ua = (a - origin) * scale, ub = bxy * scale, uc = cx2 * scale;
            k0 = ua + x0 * (ub + uc * x0);
            k1 = (ub + 2 * uc * x0) * dx;
            k2 = uc * dx * dx;
        };
        RowMap rm{};
        axis(c[2] * y + c[4] + c[10] * y * y, c[0] + c[6] * y, c[8], sl, su, rm.u0, rm.u1, rm.u2);
        axis(c[3] * y + c[5] + c[11] * y * y, c[1] + c[7] * y, c[9], sb, sv, rm.v0, rm.v1, rm.v2);
        return rm;
    };
    // Bands of rows from the top, each made in a buffer the caches hold and then appended (the block is
    // written once); the fast loop works a band in column tiles, so that a turned picture's source rows
    // stay in the caches while the tile's rows read them.
    constexpr int32_t kBand = 16, kTile = 512;
    std::vector<uint8_t> band(out_row * kBand);
    auto row_out = [&](int32_t k) { return band.data() + static_cast<size_t>(k) * out_row; };
    std::vector<RowMap> maps(kBand);
    std::vector<int32_t> first(kBand), last(kBand);
    int shown = -1;
    for (int32_t top = 0; top < p.height; top += kBand) {
        if (run.cancelled()) {
            run.progress(kProgress, -1);
            out.clear();
            return false;
        }
        int percent = static_cast<int>(int64_t{top} * 100 / p.height);
        if (percent != shown) {
            run.progress(kProgress, percent);
            shown = percent;
        }
        const int32_t rows = std::min(kBand, p.height - top);
        for (int32_t k = 0; k < rows; ++k) {
            maps[static_cast<size_t>(k)] = row_map(top + k);
        }
        // Steps of more than a million source pixels a column (a picture squeezed to a few pixels) would
        // overflow the fixed point: such bands take the plain loop.
        bool fast_band = fast;
        for (int32_t k = 0; k < rows; ++k) {
            const RowMap& rm = maps[static_cast<size_t>(k)];
            fast_band = fast_band && std::fabs(rm.u1) < 1e6 && std::fabs(rm.v1) < 1e6;
        }
        if (!fast_band) {
            for (int32_t k = 0; k < rows; ++k) {
                const RowMap& rm = maps[static_cast<size_t>(k)];
                uint8_t* dst = row_out(k);
                switch (h.bits) {
                case 16:
                    resample_row<2, true>(s, rm, dst, p.width);
                    break;
                case 24:
                    resample_row<3, false>(s, rm, dst, p.width);
                    break;
                default:
                    resample_row<1, false>(s, rm, dst, p.width);
                    break;
                }
            }
            out.insert(out.end(), band.begin(), band.begin() + static_cast<long>(out_row) * rows);
            continue;
        }
        for (int32_t k = 0; k < rows; ++k) {
            size_t at = static_cast<size_t>(k);
            inside_run(s, maps[at], p.width, first[at], last[at]);
            uint8_t* dst = row_out(k);
            std::fill(dst, dst + static_cast<size_t>(first[at]) * bpp, uint8_t{0});
            std::fill(dst + static_cast<size_t>(last[at]) * bpp, dst + out_row, uint8_t{0});
        }
        for (int32_t left = 0; left < p.width; left += kTile) {
            for (int32_t k = 0; k < rows; ++k) {
                size_t at = static_cast<size_t>(k);
                int32_t j0 = std::max(left, first[at]), j1 = std::min(left + kTile, last[at]);
                if (j0 >= j1) {
                    continue;
                }
                if (bpp == 3) {
                    fast_span<3>(s, maps[at], row_out(k), j0, j1);
                } else {
                    fast_span<1>(s, maps[at], row_out(k), j0, j1);
                }
            }
        }
        out.insert(out.end(), band.begin(), band.begin() + static_cast<long>(out_row) * rows);
    }
    run.progress(kProgress, -1);
    return true;
}

RectifyResult rectify(const std::vector<uint8_t>& block, const std::vector<ReferencePair>& pairs,
                      platform::RunContext& run) {
    RectifyResult r;
    BlockHeader h;
    std::string fault = block_fault(block);
    if (!fault.empty() || !read_header(block, h)) {
        r.status = RectifyStatus::NotAPicture;
        r.message = "This picture cannot be straightened: " + fault + "." + kUnchanged;
        return r;
    }
    if (pairs.size() < static_cast<size_t>(kMinimumPairs)) {
        r.status = RectifyStatus::TooFewPairs;
        r.message = too_few_pairs_text(static_cast<int>(pairs.size()));
        return r;
    }
    if (!fit_mapping(pairs, r.mapping)) {
        r.status = RectifyStatus::Singular;
        r.message = std::string("The target points do not fix a mapping: they lie on one\nline, or on two lines "
                                "parallel to the axes.") +
                    kUnchanged;
        return r;
    }
    if (!place_rectified(h, r.mapping, r.placement, r.message)) {
        r.status = RectifyStatus::TooLarge;
        return r;
    }
    if (!resample(block, h, r.mapping, r.placement, r.block, run)) {
        r.status = RectifyStatus::Cancelled;
        r.message = "Image Rectification cancelled." + std::string(kUnchanged);
        return r;
    }
    return r;
}

} // namespace trazel::images
