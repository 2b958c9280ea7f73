// Grid dot placement and the status bar read-outs (grid, cursor, angle and distance).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "display/trig.h"
#include "display/view.h"

namespace trazel::display {

namespace {

constexpr uint32_t kMmPerInch16 = 1664614; // 25.4 * 65536
constexpr int kCursorDecimals = 4;         // decimal places in a cursor field
constexpr int kGridMaxDecimals = 6;

// An unsigned number of 160 bits, for products of a 64-bit value with a few factors below 2^32 that are
// divided by a power of two once, so that only one rounding takes place.
struct Wide {
    std::array<uint32_t, 5> limb{}; // lowest first

    explicit Wide(uint64_t v) {
        limb[0] = static_cast<uint32_t>(v);
        limb[1] = static_cast<uint32_t>(v >> 32);
    }
    void mul(uint32_t m) {
        uint64_t carry = 0;
        for (uint32_t& l : limb) {
            uint64_t t = uint64_t{l} * m + carry;
            l = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
    }
    void add_bit(int bit) {
        uint64_t carry = uint64_t{1} << (bit % 32);
        for (size_t i = static_cast<size_t>(bit / 32); i < limb.size() && carry != 0; ++i) {
            uint64_t t = uint64_t{limb[i]} + carry;
            limb[i] = static_cast<uint32_t>(t);
            carry = t >> 32;
        }
    }
    // The value shifted right by `shift` (a multiple of 16 up to 64), assumed to fit 64 bits.
    uint64_t shifted(int shift) const {
        uint64_t out = 0;
        for (int i = 0; i < 64; i += 16) {
            int bit = shift + i;
            size_t idx = static_cast<size_t>(bit / 32);
            if (idx < limb.size()) {
                out |= uint64_t{(limb[idx] >> (bit % 32)) & 0xFFFF} << i;
            }
        }
        return out;
    }
};

uint32_t pow10(int d) {
    uint32_t p = 1;
    for (int i = 0; i < d; ++i) {
        p *= 10;
    }
    return p;
}

// round(value * mult * factor * 10^d / 2^shift), halves up.
uint64_t scaled_digits(uint64_t value, uint32_t mult, uint32_t factor, int d, int shift) {
    Wide w(value);
    w.mul(mult);
    w.mul(factor);
    w.mul(pow10(d));
    w.add_bit(shift - 1);
    return w.shifted(shift);
}

// The integer part and, when d > 0, a point and d decimals of digits / 10^d.
std::string fixed_text(uint64_t digits, int d) {
    uint64_t p = pow10(d);
    std::string s = std::to_string(digits / p);
    if (d > 0) {
        std::string frac = std::to_string(digits % p);
        s += '.';
        s.append(static_cast<size_t>(d) - frac.size(), '0');
        s += frac;
    }
    return s;
}

uint32_t factor_magnitude(int32_t factor) {
    return factor < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(factor)) : static_cast<uint32_t>(factor);
}

// A grid name that says more than its decimal value: a fraction of an inch or of a millimetre.
bool name_is_shown(const std::string& name) {
    auto count = [&name](char c) { return std::count(name.begin(), name.end(), c); };
    return count('/') == 1 && (count('"') == 1 || count('m') == 2);
}

// First position p = p0 + k * step (k >= 0) whose pixel (p + 0x8000) >> 16 is at least `edge`.
int64_t first_inside(int64_t p0, int64_t step, int edge) {
    int64_t need = model::to_units(edge) - 0x8000 - p0;
    return need > 0 ? p0 + (need + step - 1) / step * step : p0;
}

} // namespace

GridDots grid_dots(const View& v, const Rect& clip) {
    GridDots g;
    g.step = static_cast<int64_t>((static_cast<uint64_t>(v.display_grid) * v.scale) >> 32);
    if (clip.empty() || g.step < model::to_units(kMinGridDotPixels)) {
        return g;
    }
    // The grid multiples nearest the left and top edges, from Document 0,0, placed exactly as the screen
    // conversions place them; the fraction of the step is then carried along.
    // (In mirror view the multiples of the mirrored x: the same set of dots.)
    Coord gx = snap_axis(view_x(v, to_units_x(v, clip.left)), 0, v.display_grid).value;
    Coord gy = snap_axis(to_units_y(v, clip.top), 0, v.display_grid).value;
    int64_t x16 = (int64_t{gx} * static_cast<int64_t>(v.scale >> 1) * 2) >> 16;
    int64_t y16 = (int64_t{gy} * static_cast<int64_t>(v.scale >> 1) * 2) >> 16;
    g.col0 = x16 - int64_t{v.origin_x} * 65536;
    // Rows run the other way; one sixteenth-bit less makes the half-up rounding of the dot pixel agree
    // with that of the screen conversion.
    g.row0 = (int64_t{v.drawing_height} - 1 + v.origin_y) * 65536 - y16 - 1;
    g.col0 = first_inside(g.col0, g.step, clip.left);
    g.row0 = first_inside(g.row0, g.step, clip.top);
    g.visible = true;
    return g;
}

std::string readout_field(int64_t units, int decimals, int32_t factor) {
    bool metric = decimals < 0;
    int d = std::min(decimals < 0 ? -decimals : decimals, kCursorDecimals);
    // Differences of two coordinates stay below 2^33; the bound only keeps the digits within 64 bits.
    uint64_t mag = std::min<uint64_t>(units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units),
                                      uint64_t{1} << 40);
    uint64_t digits = scaled_digits(mag, metric ? kMmPerInch16 : 65536, factor_magnitude(factor), d, 48);
    bool neg = digits != 0 && ((units < 0) != (factor < 0));

    uint64_t p = pow10(d);
    std::string whole = (neg ? "-" : "") + std::to_string(digits / p);
    std::string s;
    if (whole.size() < 6) {
        s.assign(6 - whole.size(), ' ');
    }
    s += whole;
    s += '.';
    if (d > 0) {
        std::string frac = std::to_string(digits % p);
        s.append(static_cast<size_t>(d) - frac.size(), '0');
        s += frac;
    }
    s.append(static_cast<size_t>(kCursorDecimals - d), ' ');
    return s;
}

std::string grid_readout(const View& v) {
    std::string s = "Grid: ";
    bool metric = v.decimals < 0;
    int d = std::min(metric ? -v.decimals : v.decimals, kGridMaxDecimals);
    std::string name;
    if (v.grid_index >= 0 && static_cast<size_t>(v.grid_index) < v.grid_names.size()) {
        const auto& n = v.grid_names[static_cast<size_t>(v.grid_index)];
        name.assign(n.data(), static_cast<size_t>(std::find(n.begin(), n.end(), '\0') - n.begin()));
    }
    bool scaled = v.readout_factor != 0x10000;
    if (!scaled && name_is_shown(name)) {
        s += name;
    } else {
        if (scaled) {
            s += '*';
        }
        uint64_t value = model::from_units(v.snap); // whole units, read as a 16.16 number of inches
        if (metric) {
            value = value * 25 + (value * 4 + 5) / 10;
        }
        uint64_t digits = scaled_digits(value, 65536, factor_magnitude(v.readout_factor), d, 48);
        if (v.readout_factor < 0 && digits != 0) {
            s += '-';
        }
        s += fixed_text(digits, d);
        s += metric ? "mm" : "\"";
    }
    static constexpr const char* kModeMark[4] = {"", "+", "#", "*"};
    if (v.angle_mode >= 1 && v.angle_mode <= 3) {
        s += kModeMark[v.angle_mode];
    }
    s += "  ";
    return s;
}

std::string cursor_readout(const View& v) {
    const char* mark = v.rel_set ? "*" : " ";
    std::string s = readout_field(int64_t{v.cursor_x} - v.rel_x, v.decimals, v.readout_factor) + mark;
    if (s.size() < static_cast<size_t>(kReadoutField1)) {
        s.append(static_cast<size_t>(kReadoutField1) - s.size(), ' ');
    } else {
        s += ' '; // an unusually wide X field pushes Y along rather than touching it
    }
    s += readout_field(int64_t{v.cursor_y} - v.rel_y, v.decimals, v.readout_factor);
    s += mark;
    return s;
}

std::string angle_distance_readout(const View& v, model::Point anchor) {
    int64_t dx = int64_t{v.cursor_x} - anchor.x;
    int64_t dy = int64_t{v.cursor_y} - anchor.y;
    unsigned tenths = static_cast<unsigned>(model::round16(uint32_t{atan2_16(dy, dx)} * 3600));
    if (tenths == 3600) {
        tenths = 0;
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "%5u.%u", tenths / 10, tenths % 10);
    std::string s = buf;
    s += kDegreeSign;
    s += "  ";

    double dist = std::hypot(static_cast<double>(dx), static_cast<double>(dy)); // below 2^33 units
    int d = dist >= 65536000.0 ? 2 : dist >= 6553600.0 ? 3 : dist >= 655360.0 ? 4 : 5;
    uint64_t dist16 = static_cast<uint64_t>(std::llround(dist * 65536.0)); // 1/65536 units, below 2^50
    bool metric = v.decimals < 0;
    uint64_t digits = scaled_digits(dist16, metric ? kMmPerInch16 : 65536, factor_magnitude(v.readout_factor), d, 64);
    s += fixed_text(digits, d);
    return s;
}

} // namespace trazel::display
