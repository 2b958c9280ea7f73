#include "model/numbers.h"

#include <algorithm>
#include <cstring>

namespace trazel::model {

namespace {

constexpr int64_t kDigitCap = 1000000000000LL; // stop growing so no field can overflow
// Inches beyond this saturate anyway; capping the integer part keeps (inches * 10^6 + millionths) * 65536
// inside 64 bits.
constexpr int64_t kInchCap = 10000000LL;

void take_separator(Cursor& c) {
    if (c.p < c.end) {
        c.sep = *c.p++;
    } else {
        c.sep = 0;
    }
}

bool digit(char ch) {
    return ch >= '0' && ch <= '9';
}

int64_t digits(Cursor& c) {
    int64_t v = 0;
    while (c.p < c.end && digit(*c.p)) {
        if (v < kDigitCap) {
            v = v * 10 + (*c.p - '0');
        }
        ++c.p;
    }
    return v;
}

// Up to six fraction digits as millionths; further digits are skipped.
int64_t fraction6(Cursor& c, int* count = nullptr) {
    int64_t f = 0;
    int n = 0;
    while (c.p < c.end && digit(*c.p)) {
        if (n < 6) {
            f = f * 10 + (*c.p - '0');
            ++n;
        }
        ++c.p;
    }
    if (count) {
        *count = n;
    }
    for (int i = n; i < 6; ++i) {
        f *= 10;
    }
    return f;
}

int32_t saturate(int64_t v) {
    if (v > INT32_MAX) {
        return INT32_MAX;
    }
    if (v < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(v);
}

int64_t div_round(int64_t num, int64_t den) {
    return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
}

bool read_sign(Cursor& c) {
    if (c.p < c.end && (*c.p == '-' || *c.p == '+')) {
        return *c.p++ == '-';
    }
    return false;
}

} // namespace

Coord read_length(Cursor& c) {
    bool neg = read_sign(c);
    int64_t ip = digits(c);
    int64_t v;
    if (c.p < c.end && *c.p == '.') {
        ++c.p;
        int64_t f = fraction6(c);
        v = div_round((std::min(ip, kInchCap) * 1000000 + f) * 65536, 1000000);
    } else {
        v = div_round(ip * 65536, 1000);
    }
    take_separator(c);
    return saturate(neg ? -v : v);
}

int32_t read_decimal(Cursor& c) {
    bool neg = read_sign(c);
    int64_t ip = digits(c);
    int64_t v = ip * 65536;
    if (c.p < c.end && *c.p == '.') {
        ++c.p;
        v += div_round(fraction6(c) * 65536, 1000000);
    }
    take_separator(c);
    return saturate(neg ? -v : v);
}

uint32_t read_hex(Cursor& c) {
    uint32_t v = 0;
    while (c.p < c.end) {
        char ch = *c.p;
        int d;
        if (digit(ch)) {
            d = ch - '0';
        } else if (ch >= 'A' && ch <= 'F') {
            d = ch - 'A' + 10;
        } else if (ch >= 'a' && ch <= 'f') {
            d = ch - 'a' + 10;
        } else {
            break;
        }
        v = v << 4 | static_cast<uint32_t>(d);
        ++c.p;
    }
    take_separator(c);
    return v;
}

Angle read_angle(Cursor& c) {
    int64_t d = read_decimal(c);
    return static_cast<Angle>(div_round(d, 360) & 0xFFFF);
}

std::string_view read_name(Cursor& c) {
    const char* s = c.p;
    while (c.p < c.end && *c.p != ',' && static_cast<unsigned char>(*c.p) > ' ') {
        ++c.p;
    }
    std::string_view name(s, static_cast<size_t>(c.p - s));
    take_separator(c);
    return name;
}

Coord read_length_unit(Cursor& c) {
    bool neg = read_sign(c);
    int64_t ip = digits(c);
    bool point = false;
    int64_t f = 0;
    if (c.p < c.end && *c.p == '.') {
        ++c.p;
        point = true;
        f = fraction6(c);
    }
    int64_t v;
    if (c.p < c.end && *c.p == '"') {
        ++c.p;
        v = div_round((std::min(ip, kInchCap) * 1000000 + f) * 65536, 1000000);
    } else if (c.p < c.end && (*c.p == 'm' || *c.p == 'M')) {
        ++c.p;
        if (c.p < c.end && (*c.p == 'm' || *c.p == 'M')) {
            ++c.p;
        }
        v = div_round((std::min(ip, kInchCap) * 1000000 + f) * 65536, 25400000);
    } else if (point) {
        v = div_round((std::min(ip, kInchCap) * 1000000 + f) * 65536, 1000000);
    } else {
        v = div_round(ip * 65536, 1000);
    }
    take_separator(c);
    return saturate(neg ? -v : v);
}

char* write_int(char* out, int64_t v) {
    char tmp[24];
    int n = 0;
    uint64_t m = v < 0 ? static_cast<uint64_t>(-(v + 1)) + 1 : static_cast<uint64_t>(v);
    do {
        tmp[n++] = static_cast<char>('0' + m % 10);
        m /= 10;
    } while (m);
    if (v < 0) {
        *out++ = '-';
    }
    while (n) {
        *out++ = tmp[--n];
    }
    return out;
}

char* write_fixed(char* out, int32_t v) {
    if (v == 0) {
        *out++ = '0';
        return out;
    }
    uint32_t m = v < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(v)) : static_cast<uint32_t>(v);
    if (v < 0) {
        *out++ = '-';
    }
    uint32_t ip = m >> 16;
    if (ip) {
        out = write_int(out, ip);
    }
    *out++ = '.';
    uint32_t f = static_cast<uint32_t>((static_cast<uint64_t>(m & 0xFFFF) * 100000) >> 16);
    if (f & 1) {
        ++f; // an even last digit keeps write, read, write stable
    }
    char d[5];
    for (int i = 4; i >= 0; --i) {
        d[i] = static_cast<char>('0' + f % 10);
        f /= 10;
    }
    int last = 4;
    while (last > 0 && d[last] == '0') {
        --last;
    }
    std::memcpy(out, d, static_cast<size_t>(last + 1));
    return out + last + 1;
}

char* write_angle(char* out, Angle a) {
    int32_t h = static_cast<int32_t>((static_cast<uint32_t>(a) * 36000 + 29535) >> 16);
    if (h <= 0) {
        *out++ = '0';
        return out;
    }
    if (h >= 100) {
        out = write_int(out, h / 100);
    }
    int fr = h % 100;
    if (h < 100 || fr) {
        *out++ = '.';
        *out++ = static_cast<char>('0' + fr / 10);
        *out++ = static_cast<char>('0' + fr % 10);
    }
    return out;
}

char* write_hex(char* out, uint32_t v, int n) {
    static const char kHex[] = "0123456789ABCDEF";
    for (int i = n - 1; i >= 0; --i) {
        *out++ = kHex[(v >> (4 * i)) & 15];
    }
    return out;
}

std::string fixed_string(int32_t v) {
    char b[32];
    return std::string(b, write_fixed(b, v));
}

std::string angle_string(Angle a) {
    char b[32];
    return std::string(b, write_angle(b, a));
}

} // namespace trazel::model
