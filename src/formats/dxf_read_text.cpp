#include "formats/dxf_read_text.h"

#include <cmath>
#include <limits>

namespace trazel::formats::dxf_detail {

namespace {

constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

double scale10(double v, int e) {
    if (e >= 0) {
        return e <= 22 ? v * kPow10[e] : v * std::pow(10.0, e);
    }
    return -e <= 22 ? v / kPow10[-e] : v * std::pow(10.0, e);
}

// Stored symbol codes of the stroke font (its first-page layout).
constexpr char kDegree = static_cast<char>(0xF8);
constexpr char kPlusMinus = static_cast<char>(0xF1);
constexpr char kDiameter = static_cast<char>(0xED);
constexpr char kMicro = static_cast<char>(0xE6);
constexpr char kOhm = static_cast<char>(0xEA);
constexpr char kNewLine = static_cast<char>(0xFF);

char symbol_of(uint32_t cp) {
    switch (cp) {
    case 0xB0:
        return kDegree;
    case 0xB1:
        return kPlusMinus;
    case 0x2300:
    case 0xD8:
    case 0xF8:
        return kDiameter;
    case 0xB5:
    case 0x3BC:
        return kMicro;
    case 0x3A9:
    case 0x2126:
        return kOhm;
    default:
        return '?';
    }
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// One character of s at i into out; returns the bytes taken.  Handles the escapes both string kinds
// share (%%x, \U+XXXX, UTF-8, control characters).
size_t put_common(std::string_view s, size_t i, std::string& out) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c == '%' && i + 2 < s.size() && s[i + 1] == '%') {
        switch (s[i + 2] | 0x20) {
        case 'd':
            out.push_back(kDegree);
            return 3;
        case 'p':
            out.push_back(kPlusMinus);
            return 3;
        case 'c':
            out.push_back(kDiameter);
            return 3;
        case 'u':
        case 'o':
            return 3;
        default:
            if (s[i + 2] == '%') {
                out.push_back('%');
                return 3;
            }
            break;
        }
    }
    if (c == '\\' && i + 6 < s.size() && (s[i + 1] == 'U' || s[i + 1] == 'u') && s[i + 2] == '+') {
        uint32_t cp = 0;
        bool ok = true;
        for (size_t k = 3; k < 7; ++k) {
            int h = hex_digit(s[i + k]);
            ok = ok && h >= 0;
            cp = cp * 16 + static_cast<uint32_t>(h < 0 ? 0 : h);
        }
        if (ok) {
            out.push_back(cp < 0x7F && cp >= 0x20 ? static_cast<char>(cp) : symbol_of(cp));
            return 7;
        }
    }
    if (c < 0x20 || c == 0x7F) {
        out.push_back(' ');
        return 1;
    }
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
        return 1;
    }
    // UTF-8: decode one sequence; a stray byte counts as Latin-1.
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    if (n > 1 && i + n <= s.size()) {
        uint32_t cp = c & (0x3F >> (n - 1));
        bool ok = true;
        for (size_t k = 1; k < n; ++k) {
            unsigned char t = static_cast<unsigned char>(s[i + k]);
            ok = ok && (t & 0xC0) == 0x80;
            cp = (cp << 6) | (t & 0x3F);
        }
        if (ok) {
            out.push_back(symbol_of(cp));
            return n;
        }
    }
    out.push_back(symbol_of(c));
    return 1;
}

} // namespace

Real parse_real(std::string_view s) {
    Real r;
    size_t p = 0, n = s.size();
    while (p < n && s[p] == ' ') {
        ++p;
    }
    bool neg = false;
    if (p < n && (s[p] == '-' || s[p] == '+')) {
        neg = s[p] == '-';
        ++p;
    }
    uint64_t mant = 0;
    int exp10 = 0, digits = 0;
    bool any = false, point = false;
    for (; p < n; ++p) {
        char c = s[p];
        if (c >= '0' && c <= '9') {
            any = true;
            if (digits < 19) {
                mant = mant * 10 + static_cast<uint64_t>(c - '0');
                if (mant != 0) {
                    ++digits;
                }
                exp10 -= point ? 1 : 0;
            } else if (!point) {
                ++exp10;
            }
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!any) {
        r.nan = true;
        return r;
    }
    if (p < n && (s[p] == 'E' || s[p] == 'e')) {
        ++p;
        bool eneg = false;
        if (p < n && (s[p] == '-' || s[p] == '+')) {
            eneg = s[p] == '-';
            ++p;
        }
        int e = 0;
        for (; p < n && s[p] >= '0' && s[p] <= '9'; ++p) {
            e = e < 100000 ? e * 10 + (s[p] - '0') : e;
        }
        if (!eneg && e > 5) {
            e = 5;
            r.clipped = true;
        }
        exp10 += eneg ? -e : e;
    }
    double v = scale10(static_cast<double>(mant), exp10);
    if (!std::isfinite(v)) {
        v = std::numeric_limits<double>::max();
    }
    r.v = neg ? -v : v;
    return r;
}

bool parse_int(std::string_view s, int32_t& out) {
    size_t p = 0, n = s.size();
    while (p < n && s[p] == ' ') {
        ++p;
    }
    bool neg = false;
    if (p < n && (s[p] == '-' || s[p] == '+')) {
        neg = s[p] == '-';
        ++p;
    }
    int64_t v = 0;
    bool any = false;
    for (; p < n && s[p] >= '0' && s[p] <= '9'; ++p) {
        any = true;
        v = v < (int64_t{1} << 40) ? v * 10 + (s[p] - '0') : v;
    }
    while (p < n && s[p] == ' ') {
        ++p;
    }
    if (!any || p != n) {
        // Some writers put a real where a whole number belongs ("70\n 1.0"): take its whole part.
        if (!any || s[p] != '.') {
            return false;
        }
    }
    v = neg ? -v : v;
    out = static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v);
    return true;
}

void text_to_stored(std::string_view s, std::string& out) {
    out.clear();
    for (size_t i = 0; i < s.size();) {
        i += put_common(s, i, out);
    }
}

void mtext_to_stored(std::string_view s, std::string& out) {
    out.clear();
    for (size_t i = 0; i < s.size();) {
        char c = s[i];
        if (c == '{' || c == '}') {
            ++i;
            continue;
        }
        if (c != '\\' || i + 1 >= s.size()) {
            i += put_common(s, i, out);
            continue;
        }
        char e = s[i + 1];
        switch (e) {
        case 'P':
            out.push_back(kNewLine);
            i += 2;
            break;
        case '~':
            out.push_back(' ');
            i += 2;
            break;
        case '\\':
        case '{':
        case '}':
            out.push_back(e);
            i += 2;
            break;
        case 'L':
        case 'l':
        case 'O':
        case 'o':
        case 'K':
        case 'k':
        case 'N':
            i += 2;
            break;
        case 'U':
        case 'u':
            i += put_common(s, i, out);
            break;
        case 'S': {
            // Stacked text up to ';': numerator and denominator as a/b.
            size_t end = s.find(';', i + 2);
            end = end == std::string_view::npos ? s.size() : end;
            for (size_t k = i + 2; k < end;) {
                char t = s[k];
                if (t == '^' || t == '#') {
                    out.push_back('/');
                    ++k;
                } else {
                    k += put_common(s, k, out);
                }
            }
            i = end + 1;
            break;
        }
        default: {
            // \A1; \C3; \H2.5x; \f...; \Q15; \T2; \W0.8; \p...; and the like run to ';'.
            if ((e >= 'A' && e <= 'Z') || (e >= 'a' && e <= 'z')) {
                size_t end = s.find(';', i + 2);
                i = end == std::string_view::npos ? s.size() : end + 1;
            } else {
                out.push_back(e);
                i += 2;
            }
            break;
        }
        }
    }
}

} // namespace trazel::formats::dxf_detail
