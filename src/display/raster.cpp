// The drawing primitives and the depth-specific row writers.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "display/raster.h"
#include "display/trig.h"
#include "model/fixed.h"

namespace trazel::display {

const std::array<uint16_t, kFixedDiscEntries> kFixedSmallDiscs = {
    1, 0,                                                 // r = 1
    0, 1, 1,                                              // 2
    0, 1, 1, 1,                                           // 3
    0, 1, 0, 2, 1,                                        // 4
    0, 1, 0, 1, 2, 1,                                     // 5
    0, 0, 1, 0, 1, 2, 2,                                  // 6
    0, 0, 1, 0, 1, 1, 2, 2,                               // 7
    0, 0, 1, 0, 1, 1, 1, 2, 2,                            // 8
    0, 0, 1, 0, 1, 0, 1, 2, 2, 2,                         // 9
    0, 0, 1, 0, 1, 0, 1, 1, 2, 2, 2,                      // 10
    0, 0, 0, 1, 0, 1, 0, 1, 1, 2, 2, 3,                   // 11
    0, 0, 0, 1, 0, 1, 0, 1, 1, 1, 2, 2, 3,                // 12
    0, 0, 0, 1, 0, 1, 0, 1, 1, 1, 1, 2, 2, 3,             // 13
    0, 0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 2, 1, 3, 3,          // 14
    0, 0, 0, 1, 0, 0, 1, 0, 1, 1, 1, 1, 1, 2, 3, 3,       // 15
    0, 0, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 2, 1, 2, 3, 3,    // 16
    0, 0, 0, 0, 1, 0, 1, 0, 1, 0, 1, 1, 1, 1, 2, 2, 2, 4, // 17
    0, 0, 0, 0, 1,                                        // the start of 18
};

namespace {

using model::abs64;
using model::ceil_div;
using model::floor_div;
using model::isqrt64;

constexpr int64_t kOne32 = int64_t{1} << 32;
constexpr int64_t kHalf32 = int64_t{1} << 31;
// Beyond this magnitude a shape is first cut to the clip rectangle, so the fixed-point steps below never
// overflow 64 bits.
constexpr int64_t kSafeCoord = int64_t{1} << 24;
constexpr int64_t kMaxWidth = (int64_t{1} << 18) - 1;
constexpr int64_t kMaxRadius = int64_t{1} << 24;

int bit_length(uint64_t v) {
    int n = 0;
    while (v != 0) {
        v >>= 1;
        ++n;
    }
    return n;
}

// floor(num * 2^32 / den) for 0 <= num <= den, den > 0; both may be large (the low bits are dropped
// first, which costs at most a unit in the 31st fraction bit).
uint64_t ratio32(uint64_t num, uint64_t den) {
    int shift = std::max(0, bit_length(den) - 31);
    num >>= shift;
    den >>= shift;
    if (den == 0) {
        return uint64_t{1} << 32;
    }
    return (num << 32) / den;
}

// d * t / 2^32 for a 0.32 fraction t (at most 2^32) and |d| below 2^40, truncated towards zero.
int64_t mulfrac(int64_t d, uint64_t t) {
    bool neg = d < 0;
    uint64_t a = neg ? static_cast<uint64_t>(-d) : static_cast<uint64_t>(d);
    uint64_t r = (a * (t >> 16) + ((a * (t & 0xFFFF)) >> 16)) >> 16;
    return neg ? -static_cast<int64_t>(r) : static_cast<int64_t>(r);
}

// Whether the dashed pattern shows the pixel at `pos` along a run (`edge` is the clip edge it counts from).
bool dash_on(uint32_t value, int64_t pos, int64_t edge) {
    return ((((value >> 24) & 15) + pos - edge) & 8) == 0;
}

// --- Row writers ------------------------------------------------------------------------------------
// One family per depth; `stride` is the byte step between pixels (the pixel size along a row, the
// pitch down a column).

template <int B> inline void xor_one(uint8_t* p, uint32_t v) {
    if constexpr (B == 1) {
        *p ^= static_cast<uint8_t>(v);
    } else if constexpr (B == 2) {
        uint16_t w;
        std::memcpy(&w, p, 2);
        w ^= static_cast<uint16_t>(v);
        std::memcpy(p, &w, 2);
    } else if constexpr (B == 3) {
        // The low 24 bits byte by byte: a 32-bit access at the last pixel of a row would reach past it.
        p[0] ^= static_cast<uint8_t>(v);
        p[1] ^= static_cast<uint8_t>(v >> 8);
        p[2] ^= static_cast<uint8_t>(v >> 16);
    } else {
        uint32_t w;
        std::memcpy(&w, p, 4);
        w ^= v & 0xFFFFFF;
        std::memcpy(p, &w, 4);
    }
}

template <int B> void store_row(uint8_t* p, int64_t n, uint32_t v) {
    if constexpr (B == 1) {
        std::memset(p, static_cast<int>(v & 0xFF), static_cast<size_t>(n));
    } else if constexpr (B == 2) {
        uint64_t w = v & 0xFFFF;
        w |= w << 16;
        w |= w << 32;
        for (; n >= 4; n -= 4, p += 8) {
            std::memcpy(p, &w, 8);
        }
        for (; n > 0; --n, p += 2) {
            store_pixel<2>(p, v);
        }
    } else if constexpr (B == 3) {
        uint8_t pattern[12];
        for (int i = 0; i < 4; ++i) {
            pattern[3 * i] = static_cast<uint8_t>(v);
            pattern[3 * i + 1] = static_cast<uint8_t>(v >> 8);
            pattern[3 * i + 2] = static_cast<uint8_t>(v >> 16);
        }
        for (; n >= 4; n -= 4, p += 12) {
            std::memcpy(p, pattern, 12);
        }
        for (; n > 0; --n, p += 3) {
            store_pixel<3>(p, v);
        }
    } else {
        uint64_t w = v | (uint64_t{v} << 32);
        for (; n >= 8; n -= 8, p += 32) {
            std::memcpy(p, &w, 8);
            std::memcpy(p + 8, &w, 8);
            std::memcpy(p + 16, &w, 8);
            std::memcpy(p + 24, &w, 8);
        }
        for (; n >= 2; n -= 2, p += 8) {
            std::memcpy(p, &w, 8);
        }
        if (n > 0) {
            std::memcpy(p, &v, 4);
        }
    }
}

template <int B> void write_run(uint8_t* p, std::ptrdiff_t stride, int64_t n, uint32_t v, PixelMode m, int64_t phase) {
    switch (m) {
    case PixelMode::Store:
        if (stride == B) {
            store_row<B>(p, n, v);
        } else {
            for (; n > 0; --n, p += stride) {
                store_pixel<B>(p, v);
            }
        }
        break;
    case PixelMode::Xor:
        for (; n > 0; --n, p += stride) {
            xor_one<B>(p, v);
        }
        break;
    case PixelMode::Dashed:
        for (; n > 0; --n, p += stride, ++phase) {
            if ((phase & 8) == 0) {
                xor_one<B>(p, v);
            }
        }
        break;
    }
}

void run_at(const PixelBuffer& b, uint8_t* p, std::ptrdiff_t stride, int64_t n, uint32_t v, PixelMode m,
            int64_t phase) {
    switch (b.depth) {
    case 8:
        write_run<1>(p, stride, n, v, m, phase);
        break;
    case 16:
        write_run<2>(p, stride, n, v, m, phase);
        break;
    case 24:
        write_run<3>(p, stride, n, v, m, phase);
        break;
    default:
        write_run<4>(p, stride, n, v, m, phase);
        break;
    }
}

// A row span with c1 <= c2 expected (nothing otherwise), clipped.
int hspan(Raster& r, uint32_t v, PixelMode m, int64_t row, int64_t c1, int64_t c2) {
    const Rect& c = r.clip;
    if (row < c.top || row > c.bottom) {
        return 0;
    }
    c1 = std::max<int64_t>(c1, c.left);
    c2 = std::min<int64_t>(c2, c.right);
    if (c1 > c2) {
        return 0;
    }
    int64_t phase = ((v >> 24) & 15) + c1 - c.left;
    run_at(r.buf, r.buf.at(static_cast<int>(row), static_cast<int>(c1)), r.buf.bytes_per_pixel(), c2 - c1 + 1, v, m,
           phase);
    return 1;
}

int vspan(Raster& r, uint32_t v, PixelMode m, int64_t col, int64_t r1, int64_t r2) {
    const Rect& c = r.clip;
    if (col < c.left || col > c.right) {
        return 0;
    }
    r1 = std::max<int64_t>(r1, c.top);
    r2 = std::min<int64_t>(r2, c.bottom);
    if (r1 > r2) {
        return 0;
    }
    int64_t phase = ((v >> 24) & 15) + r1 - c.top;
    run_at(r.buf, r.buf.at(static_cast<int>(r1), static_cast<int>(col)), r.buf.pitch, r2 - r1 + 1, v, m, phase);
    return 1;
}

bool box_misses(const Rect& c, int64_t top, int64_t left, int64_t bottom, int64_t right) {
    return bottom < c.top || top > c.bottom || right < c.left || left > c.right;
}

// Cuts the segment to the box (Liang-Barsky with 0.32 fractions); false when nothing of it is inside.
bool clip_segment(int64_t& x1, int64_t& y1, int64_t& x2, int64_t& y2, int64_t left, int64_t top, int64_t right,
                  int64_t bottom) {
    uint64_t t0 = 0, t1 = uint64_t{1} << 32;
    int64_t dx = x2 - x1, dy = y2 - y1;
    auto edge = [&](int64_t p, int64_t q) {
        // Inside is p * t <= q.
        if (p == 0) {
            return q >= 0;
        }
        if (p < 0) {
            if (q >= 0) {
                return true;
            }
            if (-q > -p) {
                return false;
            }
            t0 = std::max(t0, ratio32(static_cast<uint64_t>(-q), static_cast<uint64_t>(-p)));
        } else {
            if (q < 0) {
                return false;
            }
            if (q < p) {
                t1 = std::min(t1, ratio32(static_cast<uint64_t>(q), static_cast<uint64_t>(p)));
            }
        }
        return true;
    };
    if (!edge(-dx, x1 - left) || !edge(dx, right - x1) || !edge(-dy, y1 - top) || !edge(dy, bottom - y1) || t0 > t1) {
        return false;
    }
    int64_t ox = x1, oy = y1;
    x1 = ox + mulfrac(dx, t0);
    y1 = oy + mulfrac(dy, t0);
    x2 = ox + mulfrac(dx, t1);
    y2 = oy + mulfrac(dy, t1);
    return true;
}

// A one-pixel line whose ends are both inside the clip rectangle: the DDA straight into the buffer.
template <int B>
void thin_direct(uint8_t* p, std::ptrdiff_t ustep, std::ptrdiff_t vstep, int64_t n, uint64_t slope, uint32_t v,
                 bool xor_mode) {
    uint64_t acc = uint64_t{1} << 31;
    for (int64_t t = 0;; ++t) {
        if (xor_mode) {
            xor_one<B>(p, v);
        } else {
            store_pixel<B>(p, v);
        }
        if (t == n) {
            return;
        }
        uint64_t next = acc + slope;
        p += ustep + ((next >> 32) != (acc >> 32) ? vstep : 0);
        acc = next;
    }
}

bool thin_fast(Raster& r, uint32_t v, PixelMode m, int64_t r1, int64_t c1, int64_t r2, int64_t c2, bool skip_last) {
    const Rect& c = r.clip;
    if (m == PixelMode::Dashed ||
        !c.contains(static_cast<int>(std::clamp<int64_t>(r1, INT32_MIN, INT32_MAX)),
                    static_cast<int>(std::clamp<int64_t>(c1, INT32_MIN, INT32_MAX))) ||
        !c.contains(static_cast<int>(std::clamp<int64_t>(r2, INT32_MIN, INT32_MAX)),
                    static_cast<int>(std::clamp<int64_t>(c2, INT32_MIN, INT32_MAX)))) {
        return false;
    }
    bool xmajor = abs64(c2 - c1) >= abs64(r2 - r1);
    int64_t du = xmajor ? c2 - c1 : r2 - r1, dv = xmajor ? r2 - r1 : c2 - c1;
    int64_t n = abs64(du), mm = abs64(dv);
    if (skip_last) {
        if (n == 0) {
            return true;
        }
        --n; // the slope stays that of the whole line
    }
    uint64_t slope = n == 0 && mm == 0 ? 0 : static_cast<uint64_t>((mm << 32) / abs64(du));
    std::ptrdiff_t bpp = r.buf.bytes_per_pixel(), pitch = r.buf.pitch;
    std::ptrdiff_t ustep = xmajor ? (du > 0 ? bpp : -bpp) : (du > 0 ? pitch : -pitch);
    std::ptrdiff_t vstep = xmajor ? (dv > 0 ? pitch : -pitch) : (dv > 0 ? bpp : -bpp);
    uint8_t* p = r.buf.at(static_cast<int>(r1), static_cast<int>(c1));
    bool x = m != PixelMode::Store;
    switch (r.buf.depth) {
    case 8:
        thin_direct<1>(p, ustep, vstep, n, slope, v, x);
        break;
    case 16:
        thin_direct<2>(p, ustep, vstep, n, slope, v, x);
        break;
    case 24:
        thin_direct<3>(p, ustep, vstep, n, slope, v, x);
        break;
    default:
        thin_direct<4>(p, ustep, vstep, n, slope, v, x);
        break;
    }
    return true;
}

// The body of a line of odd width 2h + 1 (no end discs).  `skip_last` leaves out the end pixel of a
// one-pixel line, so XOR chains do not cancel their joints.
int line_body(Raster& r, uint32_t v, PixelMode m, int64_t h, int64_t r1, int64_t c1, int64_t r2, int64_t c2,
              bool skip_last) {
    const Rect& clip = r.clip;
    if (abs64(r1) > kSafeCoord || abs64(c1) > kSafeCoord || abs64(r2) > kSafeCoord || abs64(c2) > kSafeCoord) {
        int64_t g = h + 2;
        if (!clip_segment(c1, r1, c2, r2, clip.left - g, clip.top - g, clip.right + g, clip.bottom + g)) {
            return 0;
        }
        skip_last = false; // the end now lies outside the clip rectangle
    }
    bool xor_mode = m != PixelMode::Store;
    if (r1 == r2) {
        int64_t a = std::min(c1, c2), b = std::max(c1, c2);
        if (skip_last && h == 0) {
            (c2 > c1 ? b : a) += c2 > c1 ? -1 : 1;
        }
        int64_t hh = xor_mode ? 0 : h;
        int drew = 0;
        for (int64_t row = r1 - hh; row <= r1 + hh; ++row) {
            drew |= hspan(r, v, m, row, a, b);
        }
        return drew;
    }
    if (c1 == c2) {
        int64_t a = std::min(r1, r2), b = std::max(r1, r2);
        if (skip_last && h == 0) {
            (r2 > r1 ? b : a) += r2 > r1 ? -1 : 1;
        }
        if (xor_mode || h == 0) {
            return vspan(r, v, m, c1, a, b);
        }
        int drew = 0;
        for (int64_t row = std::max<int64_t>(a, clip.top); row <= std::min<int64_t>(b, clip.bottom); ++row) {
            drew |= hspan(r, v, m, row, c1 - h, c1 + h);
        }
        return drew;
    }

    // Normalised: u is the major axis, v the minor one, both stepped in the positive direction.
    bool xmajor = abs64(c2 - c1) >= abs64(r2 - r1);
    int64_t u1 = xmajor ? c1 : r1, v1 = xmajor ? r1 : c1;
    int64_t du = (xmajor ? c2 : r2) - u1, dv = (xmajor ? r2 : c2) - v1;
    int64_t su = du > 0 ? 1 : -1, sv = dv > 0 ? 1 : -1;
    int64_t n = abs64(du), mm = abs64(dv);
    int64_t slope = (mm << 32) / n; // minor pixels per major step, 32.32; the DDA starts at one half

    // Parallel copies k = -K..K, each one minor pixel further out; the perpendicular offset of copy k is
    // k * n / len, and copies are added while it stays below the half width (2h + 1) / 2.
    uint64_t sq = static_cast<uint64_t>(n * n + mm * mm);
    int64_t len16 = static_cast<int64_t>(isqrt64(sq << 8)); // length in 1/16 pixel
    int64_t K = ((2 * h + 1) * len16 - 1) / (32 * n);
    // Copy k is moved back along the major axis by k * n * mm / len^2 (rounded), so that its ends lie on
    // the perpendiculars through the end points.
    int64_t S = static_cast<int64_t>(ratio32(static_cast<uint64_t>(n * mm), sq));
    auto shift = [&](int64_t k) { return (k * S + kHalf32) >> 32; };
    int64_t t_first = -shift(K), t_last = n - shift(-K);
    int64_t full_lo = -shift(-K), full_hi = n - shift(K);
    if (skip_last && K == 0) {
        t_last = n - 1;
    }

    int64_t ulo = xmajor ? clip.left : clip.top, uhi = xmajor ? clip.right : clip.bottom;
    int64_t vlo = xmajor ? clip.top : clip.left, vhi = xmajor ? clip.bottom : clip.right;
    int64_t tA = su > 0 ? ulo - u1 : u1 - uhi, tB = su > 0 ? uhi - u1 : u1 - ulo;
    int64_t wlo = sv > 0 ? vlo - v1 : v1 - vhi, whi = sv > 0 ? vhi - v1 : v1 - vlo;
    // The entry and exit steps of the minor-axis clip, by division.
    int64_t t_enter = ceil_div((wlo - K) * kOne32 - kHalf32, slope);
    int64_t t_exit = ceil_div((whi + K + 1) * kOne32 - kHalf32, slope) - 1;
    int64_t t0 = std::max({t_first, tA, t_enter}), t1 = std::min({t_last, tB, t_exit});

    int drew = 0;
    int64_t dash_edge = xmajor ? clip.left : clip.top;
    for (int64_t t = t0; t <= t1; ++t) {
        int64_t V = (kHalf32 + t * slope) >> 32;
        int64_t klo = t >= full_lo ? -K : std::max(-K, ceil_div(-t * kOne32 - kHalf32, S));
        int64_t khi = t <= full_hi ? K : std::min(K, ceil_div((n - t + 1) * kOne32 - kHalf32, S) - 1);
        int64_t a = std::max(V + klo, wlo), b = std::min(V + khi, whi);
        if (a > b) {
            continue;
        }
        int64_t u = u1 + su * t;
        if (m == PixelMode::Dashed && !dash_on(v, u, dash_edge)) {
            continue;
        }
        int64_t va = v1 + sv * a, vb = v1 + sv * b;
        if (va > vb) {
            std::swap(va, vb);
        }
        PixelMode wm = m == PixelMode::Dashed ? PixelMode::Xor : m;
        drew |= xmajor ? vspan(r, v, wm, u, va, vb) : hspan(r, v, wm, u, va, vb);
    }
    return drew;
}

int thick_line64(Raster& r, uint32_t v, int64_t width, int64_t r1, int64_t c1, int64_t r2, int64_t c2, bool skip_last) {
    if (!r.can_draw()) {
        return 0;
    }
    int64_t w = std::clamp<int64_t>(width, 1, kMaxWidth) | 1;
    int64_t h = w / 2;
    if (box_misses(r.clip, std::min(r1, r2) - h, std::min(c1, c2) - h, std::max(r1, r2) + h, std::max(c1, c2) + h)) {
        return 0;
    }
    PixelMode m = pixel_mode(v);
    if (w == 1 && thin_fast(r, v, m, r1, c1, r2, c2, skip_last)) {
        return 1;
    }
    int drew = 0;
    if (m == PixelMode::Store && w >= 3) {
        drew |= disc(r, v, static_cast<int>(w), static_cast<int>(std::clamp<int64_t>(r1, INT32_MIN, INT32_MAX)),
                     static_cast<int>(std::clamp<int64_t>(c1, INT32_MIN, INT32_MAX)));
        if (r1 != r2 || c1 != c2) {
            drew |= disc(r, v, static_cast<int>(w), static_cast<int>(std::clamp<int64_t>(r2, INT32_MIN, INT32_MAX)),
                         static_cast<int>(std::clamp<int64_t>(c2, INT32_MIN, INT32_MAX)));
        }
    }
    return drew | line_body(r, v, m, h, r1, c1, r2, c2, skip_last);
}

} // namespace

// --- Disc table -------------------------------------------------------------------------------------

void midpoint_disc_run(int r, uint16_t* out) {
    if (r <= 0) {
        out[0] = 0;
        return;
    }
    // hw[y]: the half-width of the row y above the centre, the largest x the circle reaches there.
    std::vector<int> hw(static_cast<size_t>(r) + 2, 0);
    int x = 0, y = r, d = 1 - r;
    while (x <= y) {
        hw[y] = std::max(hw[y], x);
        hw[x] = std::max(hw[x], y);
        if (d < 0) {
            d += 2 * x + 3;
        } else {
            d += 2 * (x - y) + 5;
            --y;
        }
        ++x;
    }
    for (int i = 0; i <= r; ++i) {
        out[i] = static_cast<uint16_t>(hw[i] - hw[i + 1]);
    }
}

namespace {

// floor(sqrt(v)) for v below 2^52: the double root is within one of it (v is exact as a double and the
// root correctly rounded), and the integer steps make it exact, so the answer is the same on every host.
// Far cheaper than Newton's steps from a power of two, and a large ring asks once per row.
int64_t isqrt52(int64_t v) {
    int64_t x = static_cast<int64_t>(std::sqrt(static_cast<double>(v)));
    while (x * x > v) {
        --x;
    }
    while ((x + 1) * (x + 1) <= v) {
        ++x;
    }
    return x;
}

} // namespace

int64_t midpoint_half_width(int64_t r, int64_t y) {
    if (r <= 0 || y < 0 || y > r) {
        return 0;
    }
    if (y == 0) {
        return r;
    }
    // The algorithm above keeps y at column x while (x + 1)^2 + y(y - 1) < r^2, so column x >= 1 of its
    // octant sits at the largest y with x^2 + y(y - 1) < r^2, that is (2y - 1)^2 <= 4(r^2 - x^2) - 3.
    int64_t r2 = r * r;
    if (y * y + y * (y - 1) < r2) {
        // Below the diagonal: row y is widened by the mirror of the octant's column y.
        return (isqrt52(4 * (r2 - y * y) - 3) + 1) / 2;
    }
    // Above it: the last column of the octant that still sits at row y, if one does.
    int64_t x = std::min<int64_t>(isqrt52(r2 - y * (y - 1) - 1), y);
    return x * x + (y + 1) * y >= r2 ? x : 0;
}

const std::vector<uint16_t>& disc_span_table() {
    // Immutable once built; the same for every Display.
    static const std::vector<uint16_t> table = [] {
        std::vector<uint16_t> t(kDiscTableEntries);
        for (int r = 1; r <= kDiscTableRadii; ++r) {
            midpoint_disc_run(r, &t[disc_run_start(r)]);
        }
        std::copy(kFixedSmallDiscs.begin(), kFixedSmallDiscs.end(), t.begin());
        return t;
    }();
    return table;
}

const uint16_t* DiscTable::run(int r) {
    if (r <= kDiscTableRadii) {
        return &disc_span_table()[disc_run_start(std::max(r, 1))];
    }
    for (auto& s : spare) {
        if (s.radius == r) {
            return s.run.data();
        }
    }
    Spare& s = spare[next_spare];
    next_spare ^= 1;
    s.radius = r;
    s.run.resize(static_cast<size_t>(r) + 1);
    midpoint_disc_run(r, s.run.data());
    return s.run.data();
}

// --- Raster -----------------------------------------------------------------------------------------

Rect intersect(const Rect& a, const Rect& b) {
    Rect r{std::max(a.top, b.top), std::max(a.left, b.left), std::min(a.bottom, b.bottom), std::min(a.right, b.right)};
    if (r.empty()) {
        return Rect{};
    }
    return r;
}

void Raster::set_clip(const Rect& r) {
    clip = intersect(r, Rect{0, 0, buf.height - 1, buf.width - 1});
}

int put_pixel(Raster& r, uint32_t value, int row, int col) {
    if (!r.can_draw() || !r.clip.contains(row, col)) {
        return 0;
    }
    return hspan(r, value, pixel_mode(value), row, col, col);
}

int span_fill(Raster& r, uint32_t value, int row, int c1, int c2) {
    if (!r.can_draw()) {
        return 0;
    }
    return hspan(r, value, pixel_mode(value), row, std::min(c1, c2), std::max(c1, c2));
}

int column_fill(Raster& r, uint32_t value, int col, int r1, int r2) {
    if (!r.can_draw()) {
        return 0;
    }
    return vspan(r, value, pixel_mode(value), col, std::min(r1, r2), std::max(r1, r2));
}

int filled_rect(Raster& r, uint32_t value, int r1, int c1, int r2, int c2) {
    if (!r.can_draw()) {
        return 0;
    }
    PixelMode m = pixel_mode(value);
    int top = std::max(std::min(r1, r2), r.clip.top), bottom = std::min(std::max(r1, r2), r.clip.bottom);
    int drew = 0;
    for (int row = top; row <= bottom; ++row) {
        drew |= hspan(r, value, m, row, std::min(c1, c2), std::max(c1, c2));
    }
    return drew;
}

int thick_line(Raster& r, uint32_t value, int width, int r1, int c1, int r2, int c2) {
    return thick_line64(r, value, width, r1, c1, r2, c2, false);
}

int polyline(Raster& r, uint32_t value, int width, const std::vector<PixelPoint>& pts, bool closed) {
    if (!r.can_draw() || pts.empty()) {
        return 0;
    }
    if (pts.size() == 1) {
        return thick_line(r, value, width, pts[0].row, pts[0].col, pts[0].row, pts[0].col);
    }
    bool xor_thin = pixel_mode(value) != PixelMode::Store && (width | 1) == 1;
    size_t n = closed ? pts.size() : pts.size() - 1;
    int drew = 0;
    for (size_t i = 0; i < n; ++i) {
        const PixelPoint& p = pts[i];
        const PixelPoint& q = pts[(i + 1) % pts.size()];
        bool last = !closed && i + 1 == n;
        drew |= thick_line64(r, value, width, p.row, p.col, q.row, q.col, xor_thin && !last);
    }
    return drew;
}

namespace {

// Half-widths of the rows of one disc, asked for from the top row down.  Radii of the shared table add
// up their run (at most 256 steps); larger ones are computed row by row, so a disc far bigger than the
// clip rectangle costs only the rows that can show.
class DiscRows {
  public:
    DiscRows(DiscTable& t, int64_t r) : r_(r) {
        if (r >= 1 && r <= kDiscTableRadii) {
            run_ = t.run(static_cast<int>(r));
            next_ = r;
        }
    }
    // Rows must be asked for with y falling from call to call; 0 <= y <= r.
    int64_t at(int64_t y) {
        if (run_ == nullptr) {
            return midpoint_half_width(r_, y);
        }
        for (; next_ >= y; --next_) {
            hw_ += run_[next_];
        }
        return hw_;
    }

  private:
    int64_t r_;
    const uint16_t* run_ = nullptr;
    int64_t next_ = -1;
    int64_t hw_ = 0;
};

// The distances from the centre row (0..r) of the rows a shape of radius r has inside the clip
// rectangle: false when none.
bool visible_rows(const Rect& c, int64_t row, int64_t r, int64_t& near, int64_t& far) {
    int64_t a = std::max<int64_t>(c.top - row, -r), b = std::min<int64_t>(c.bottom - row, r);
    if (a > b) {
        return false;
    }
    far = std::max(abs64(a), abs64(b));
    near = a <= 0 && b >= 0 ? 0 : std::min(abs64(a), abs64(b));
    return true;
}

// The largest y in lo..hi whose row of the disc of radius r (beyond the table) is at least w wide on
// each side, lo - 1 when none is: half-widths only shrink as y grows, so a binary search finds it.
int64_t last_row_reaching(int64_t r, int64_t lo, int64_t hi, int64_t w) {
    if (midpoint_half_width(r, lo) < w) {
        return lo - 1;
    }
    while (lo < hi) {
        int64_t mid = lo + (hi - lo + 1) / 2;
        if (midpoint_half_width(r, mid) >= w) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    return lo;
}

// How far a row must reach from column `col` to touch the clip rectangle.
int64_t reach_to_clip(const Rect& c, int64_t col) {
    return col < c.left ? c.left - col : col > c.right ? col - c.right : 0;
}

} // namespace

int disc(Raster& r, uint32_t value, int diameter, int row, int col) {
    if (!r.can_draw()) {
        return 0;
    }
    int64_t rad = std::min<int64_t>(diameter > 0 ? diameter / 2 : 0, kMaxRadius);
    if (box_misses(r.clip, int64_t{row} - rad, int64_t{col} - rad, int64_t{row} + rad, int64_t{col} + rad)) {
        return 0;
    }
    PixelMode m = pixel_mode(value);
    if (rad == 0) {
        return hspan(r, value, m, row, col, col);
    }
    int drew = 0;
    const Rect& c = r.clip;
    if (rad > kMaxRunRadius) {
        for (int64_t y = std::max<int64_t>(c.top - int64_t{row}, -rad); y <= std::min<int64_t>(c.bottom - row, rad);
             ++y) {
            int64_t hw = static_cast<int64_t>(isqrt64(static_cast<uint64_t>(rad * rad - y * y)));
            drew |= hspan(r, value, m, row + y, col - hw, col + hw);
        }
        return drew;
    }
    if (rad <= kDiscTableRadii && row - rad >= c.top && row + rad <= c.bottom) {
        // Every row inside the clip rectangle (the common small disc): the table's run straight through.
        const uint16_t* run = r.work->discs.run(static_cast<int>(rad));
        int64_t hw = 0;
        for (int64_t y = rad; y >= 1; --y) {
            hw += run[y];
            drew |= hspan(r, value, m, row - y, col - hw, col + hw);
            drew |= hspan(r, value, m, row + y, col - hw, col + hw);
        }
        hw += run[0];
        return drew | hspan(r, value, m, row, col - hw, col + hw);
    }
    int64_t near = 0, far = 0;
    if (!visible_rows(c, row, rad, near, far)) {
        return 0;
    }
    if (rad > kDiscTableRadii) {
        far = last_row_reaching(rad, near, far, reach_to_clip(c, col));
    }
    DiscRows rows(r.work->discs, rad);
    for (int64_t y = far; y >= near; --y) {
        int64_t hw = rows.at(y);
        drew |= hspan(r, value, m, row - y, col - hw, col + hw);
        if (y != 0) {
            drew |= hspan(r, value, m, row + y, col - hw, col + hw);
        }
    }
    return drew;
}

int ring(Raster& r, uint32_t value, int radius, int width, int row, int col) {
    if (!r.can_draw()) {
        return 0;
    }
    int64_t w = std::clamp<int64_t>(width, 1, kMaxWidth) | 1;
    int64_t h = w / 2;
    int64_t ro = std::max(radius, 0) + h, ri = int64_t{std::max(radius, 0)} - h - 1;
    if (ri < 0 || ro > kMaxRunRadius) {
        if (ri < 0) {
            return disc(r, value, static_cast<int>(std::min<int64_t>(2 * ro + 1, INT32_MAX)), row, col);
        }
        // Far beyond any table: the ring row by row from square roots.
        PixelMode m = pixel_mode(value);
        int drew = 0;
        const Rect& c = r.clip;
        for (int64_t y = std::max<int64_t>(c.top - int64_t{row}, -ro); y <= std::min<int64_t>(c.bottom - row, ro);
             ++y) {
            int64_t o = static_cast<int64_t>(isqrt64(static_cast<uint64_t>(ro * ro - y * y)));
            if (abs64(y) > ri) {
                drew |= hspan(r, value, m, row + y, col - o, col + o);
            } else {
                int64_t i = static_cast<int64_t>(isqrt64(static_cast<uint64_t>(ri * ri - y * y)));
                drew |= hspan(r, value, m, row + y, col - o, col - i - 1);
                drew |= hspan(r, value, m, row + y, col + i + 1, col + o);
            }
        }
        return drew;
    }
    if (box_misses(r.clip, int64_t{row} - ro, int64_t{col} - ro, int64_t{row} + ro, int64_t{col} + ro)) {
        return 0;
    }
    PixelMode m = pixel_mode(value);
    int64_t near = 0, far = 0;
    if (!visible_rows(r.clip, row, ro, near, far)) {
        return 0;
    }
    const Rect& c = r.clip;
    if (ro > kDiscTableRadii) {
        // Rows further out than the outer disc reaches sideways, and rows nearer the centre where the
        // inner disc hides the whole width of the clip rectangle, draw nothing: leave them out.
        far = last_row_reaching(ro, near, far, reach_to_clip(c, col));
        if (ri > kDiscTableRadii && near <= ri) {
            int64_t cover = std::max<int64_t>(int64_t{col} - c.left, int64_t{c.right} - col);
            near = std::max(near, last_row_reaching(ri, 0, ri, cover) + 1);
        }
    }
    DiscRows outer(r.work->discs, ro), inner(r.work->discs, ri);
    int drew = 0;
    for (int64_t y = far; y >= near; --y) {
        int64_t hwo = outer.at(y);
        if (col + hwo < c.left || col - hwo > c.right) {
            continue; // the row ends before the clip rectangle begins: the inner disc does not matter
        }
        int64_t hwi = y <= ri && ri > 0 ? inner.at(y) : 0;
        for (int64_t rr : {row - y, row + y}) {
            if (rr < c.top || rr > c.bottom) {
                // off the clip rectangle: nothing to draw on this side
            } else if (y > ri) {
                drew |= hspan(r, value, m, rr, col - hwo, col + hwo);
            } else {
                drew |= hspan(r, value, m, rr, col - hwo, col - hwi - 1);
                drew |= hspan(r, value, m, rr, col + hwi + 1, col + hwo);
            }
            if (y == 0) {
                break;
            }
        }
    }
    return drew;
}

int arc_step(int64_t radius_px) {
    if (radius_px < 4) {
        return 8192;
    }
    if (radius_px < 16) {
        return 4096;
    }
    if (radius_px < 48) {
        return 2048;
    }
    if (radius_px < 132) {
        return 1024;
    }
    if (radius_px < 396) {
        return 512;
    }
    return 256;
}

int solid_arc(Raster& r, uint32_t value, int width, const ArcPx& a) {
    if (!r.can_draw()) {
        return 0;
    }
    int64_t w = std::clamp<int64_t>(width, 1, kMaxWidth) | 1;
    int64_t h = w / 2;
    int64_t rad = std::clamp<int64_t>(a.radius, 0, int64_t{1} << 40);
    int64_t rpx = rad / kSubPixel;
    int64_t crow = floor_div(a.row + kSubPixel / 2, kSubPixel), ccol = floor_div(a.col + kSubPixel / 2, kSubPixel);
    auto to_int = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    if (rpx < 1) {
        return disc(r, value, static_cast<int>(w), to_int(crow), to_int(ccol));
    }
    if (box_misses(r.clip, crow - rpx - h - 2, ccol - rpx - h - 2, crow + rpx + h + 2, ccol + rpx + h + 2)) {
        return 0;
    }
    if (a.sweep == 0 && a.ellipse == 0 && rpx + h < 32768) {
        int64_t rr = (rad + kSubPixel / 2) / kSubPixel;
        return ring(r, value, static_cast<int>(rr), static_cast<int>(w), to_int(crow), to_int(ccol));
    }
    Rotation rot = Rotation::of(a.rotation);
    auto point = [&](uint32_t angle, int64_t& prow, int64_t& pcol) {
        Angle an = static_cast<Angle>(angle);
        int64_t x = (rad * cos16(an)) >> 16, y = (rad * sin16(an)) >> 16;
        if (a.ellipse != 0) {
            y = (y * a.ellipse) >> 16;
        }
        pcol = floor_div(a.col + (a.mirror ? -rot.x(x, y) : rot.x(x, y)) + kSubPixel / 2, kSubPixel);
        prow = floor_div(a.row - rot.y(x, y) + kSubPixel / 2, kSubPixel);
    };
    uint32_t step = static_cast<uint32_t>(arc_step(rpx));
    uint32_t total = a.sweep == 0 ? 65536u : a.sweep;
    bool closed = total == 65536u;
    bool xor_thin = pixel_mode(value) != PixelMode::Store && w == 1;
    int64_t pr, pc;
    point(a.start, pr, pc);
    int drew = 0;
    for (uint32_t done = 0; done < total;) {
        done += std::min(step, total - done);
        int64_t qr, qc;
        point(a.start + done, qr, qc);
        // An XOR chain leaves out each chord's end pixel, which the next chord (or, closed, the first) draws.
        drew |= thick_line64(r, value, w, pr, pc, qr, qc, xor_thin && (done < total || closed));
        pr = qr;
        pc = qc;
    }
    return drew;
}

// --- Filled polygon ---------------------------------------------------------------------------------

namespace {

// Sutherland-Hodgman against one side of the box: keeps points with sign * (coord - bound) <= 0.
void clip_side(const std::vector<PixelPoint>& in, std::vector<PixelPoint>& out, bool vertical_bound, int64_t bound,
               int sign) {
    out.clear();
    size_t n = in.size();
    auto coord = [&](const PixelPoint& p) { return vertical_bound ? int64_t{p.col} : int64_t{p.row}; };
    auto inside = [&](const PixelPoint& p) { return sign * (coord(p) - bound) <= 0; };
    for (size_t i = 0; i < n; ++i) {
        const PixelPoint& p = in[i];
        const PixelPoint& q = in[(i + 1) % n];
        bool pin = inside(p), qin = inside(q);
        if (pin) {
            out.push_back(p);
        }
        if (pin != qin) {
            int64_t num = abs64(bound - coord(p)), den = abs64(coord(q) - coord(p));
            uint64_t t = ratio32(static_cast<uint64_t>(num), static_cast<uint64_t>(den));
            PixelPoint x;
            if (vertical_bound) {
                x.col = static_cast<int>(bound);
                x.row = static_cast<int>(p.row + mulfrac(int64_t{q.row} - p.row, t));
            } else {
                x.row = static_cast<int>(bound);
                x.col = static_cast<int>(p.col + mulfrac(int64_t{q.col} - p.col, t));
            }
            out.push_back(x);
        }
    }
}

// The columns of an edge's one-pixel line (as thick_line draws it from its first to its second point)
// in one row; false when the line does not touch the row.
bool edge_pixels(const PolygonEdge& e, int64_t row, int64_t& a, int64_t& b) {
    if (row < e.ymin || row > e.ymax) {
        return false;
    }
    int64_t dx = e.x2 - e.x1, dy = e.y2 - e.y1;
    if (dy == 0) {
        a = std::min(e.x1, e.x2);
        b = std::max(e.x1, e.x2);
        return true;
    }
    if (dx == 0) {
        a = b = e.x1;
        return true;
    }
    int64_t n, mm;
    if (abs64(dx) >= abs64(dy)) {
        n = abs64(dx);
        mm = abs64(dy);
        int64_t slope = (mm << 32) / n;
        int64_t wv = (row - e.y1) * (dy > 0 ? 1 : -1);
        int64_t ta = std::max<int64_t>(0, ceil_div(wv * kOne32 - kHalf32, slope));
        int64_t tb = std::min<int64_t>(n, ceil_div((wv + 1) * kOne32 - kHalf32, slope) - 1);
        if (ta > tb) {
            return false;
        }
        int64_t su = dx > 0 ? 1 : -1;
        a = e.x1 + su * ta;
        b = e.x1 + su * tb;
        if (a > b) {
            std::swap(a, b);
        }
        return true;
    }
    n = abs64(dy);
    mm = abs64(dx);
    int64_t slope = (mm << 32) / n;
    int64_t t = (row - e.y1) * (dy > 0 ? 1 : -1);
    int64_t V = (kHalf32 + t * slope) >> 32;
    a = b = e.x1 + (dx > 0 ? V : -V);
    return true;
}

} // namespace

int filled_polygon(Raster& r, uint32_t value, const std::vector<PixelPoint>& vertices, bool every_other, int phase) {
    if (!r.can_draw() || vertices.size() < 3) {
        return 0;
    }
    int64_t top = INT64_MAX, bottom = INT64_MIN, left = INT64_MAX, right = INT64_MIN;
    for (const PixelPoint& p : vertices) {
        top = std::min<int64_t>(top, p.row);
        bottom = std::max<int64_t>(bottom, p.row);
        left = std::min<int64_t>(left, p.col);
        right = std::max<int64_t>(right, p.col);
    }
    const Rect& clip = r.clip;
    if (box_misses(clip, top, left, bottom, right)) {
        return 0;
    }
    RasterWork& wk = *r.work;
    const std::vector<PixelPoint>* pts = &vertices;
    std::vector<PixelPoint> tmp;
    if (-top > kSafeCoord || bottom > kSafeCoord || -left > kSafeCoord || right > kSafeCoord) {
        // Far-off vertices are first cut to the clip rectangle grown by two pixels.
        wk.clipped = vertices;
        clip_side(wk.clipped, tmp, true, int64_t{clip.left} - 2, -1);
        clip_side(tmp, wk.clipped, true, int64_t{clip.right} + 2, 1);
        clip_side(wk.clipped, tmp, false, int64_t{clip.top} - 2, -1);
        clip_side(tmp, wk.clipped, false, int64_t{clip.bottom} + 2, 1);
        if (wk.clipped.size() < 3) {
            return 0;
        }
        pts = &wk.clipped;
        top = std::max<int64_t>(top, clip.top - 2);
        bottom = std::min<int64_t>(bottom, clip.bottom + 2);
    }

    auto& edges = wk.edges;
    edges.clear();
    size_t n = pts->size();
    for (size_t i = 0; i < n; ++i) {
        const PixelPoint& p = (*pts)[i];
        const PixelPoint& q = (*pts)[(i + 1) % n];
        PolygonEdge e{p.col, p.row, q.col, q.row, std::min(p.row, q.row), std::max(p.row, q.row)};
        edges.push_back(e);
    }
    std::sort(edges.begin(), edges.end(), [](const PolygonEdge& a, const PolygonEdge& b) { return a.ymin < b.ymin; });

    PixelMode m = pixel_mode(value);
    auto& active = wk.active;
    auto& xs = wk.crossings;
    auto& runs = wk.runs;
    active.clear();
    size_t next = 0;
    int drew = 0;
    int64_t row0 = std::max<int64_t>(top, clip.top), row1 = std::min<int64_t>(bottom, clip.bottom);
    for (int64_t row = row0; row <= row1; ++row) {
        while (next < edges.size() && edges[next].ymin <= row) {
            active.push_back(&edges[next++]);
        }
        active.erase(
            std::remove_if(active.begin(), active.end(), [row](const PolygonEdge* e) { return e->ymax < row; }),
            active.end());
        if (every_other && ((row + phase) & 1) != 0) {
            continue;
        }
        xs.clear();
        runs.clear();
        for (const PolygonEdge* e : active) {
            int64_t a, b;
            if (edge_pixels(*e, row, a, b)) {
                runs.emplace_back(a, b);
            }
            // Crossing count with half-open rows, so a vertex between two edges counts once.
            if (e->y1 != e->y2 && row >= e->ymin && row < e->ymax) {
                int64_t den = e->y2 - e->y1, num = (row - e->y1) * (e->x2 - e->x1);
                if (den < 0) {
                    den = -den;
                    num = -num;
                }
                int64_t q = floor_div(num, den), rem = num - q * den;
                xs.push_back((e->x1 + q) * kOne32 +
                             static_cast<int64_t>(ratio32(static_cast<uint64_t>(rem), static_cast<uint64_t>(den))));
            }
        }
        std::sort(xs.begin(), xs.end());
        for (size_t i = 0; i + 1 < xs.size(); i += 2) {
            int64_t a = (xs[i] + kOne32 - 1) >> 32, b = xs[i + 1] >> 32;
            if (a <= b) {
                runs.emplace_back(a, b);
            }
        }
        std::sort(runs.begin(), runs.end());
        for (size_t i = 0; i < runs.size();) {
            int64_t a = runs[i].first, b = runs[i].second;
            size_t j = i + 1;
            while (j < runs.size() && runs[j].first <= b + 1) {
                b = std::max(b, runs[j].second);
                ++j;
            }
            drew |= hspan(r, value, m, row, a, b);
            i = j;
        }
    }
    return drew;
}

} // namespace trazel::display
