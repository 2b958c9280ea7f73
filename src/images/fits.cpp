// The FITS decoder: the primary array of a FITS file as a grey picture.
//
// The header is a run of 80-character cards in 2880-byte blocks, closed by the "END" card; the data
// follows from the next block on, big-endian, the first row in the file being the bottom row of the
// picture.  BITPIX 8 becomes an 8-bit grey picture of the stored bytes.  The other depths become 16-bit
// pictures: BITPIX 16 keeps its physical values (BZERO + BSCALE x stored) when they are whole numbers
// from 0 to 65535, and everything else is scaled so that the lowest physical value in the data is 0 and
// the highest 65535.  NaN pixels, and integer pixels equal to BLANK, take the lowest value.
//
// The range shown (the Picture's lowest and highest) comes from the first pair present, in this order:
// AVISUMIN/AVISUMAX (a viewer's choice made for this file; AVISUTYP 'PHYSICAL', the default, or
// 'STORED' says whether they are physical or stored values), DISPMIN/DISPMAX, DATAMIN/DATAMAX, and
// last the lowest and highest values found in the data.  A pair counts only when both keys are there
// and the maximum is above the minimum.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "images/picture.h"
#include "model/numbers.h"

namespace trazel::images {

namespace {

constexpr size_t kCard = 80;
constexpr size_t kBlock = 2880;

bool has_key_at(std::string_view head, size_t at, std::string_view key) {
    return head.size() >= at + key.size() && head.substr(at, key.size()) == key;
}

// The value of a card: a quoted string without its quotes (doubled quotes kept single), or the text
// before any comment, trimmed.
std::string card_value(std::string_view card) {
    std::string_view field = model::trim_blanks(card.substr(10));
    std::string out;
    if (!field.empty() && field.front() == '\'') {
        for (size_t i = 1; i < field.size(); ++i) {
            if (field[i] == '\'') {
                if (i + 1 < field.size() && field[i + 1] == '\'') {
                    out += '\'';
                    ++i;
                    continue;
                }
                break;
            }
            out += field[i];
        }
        while (!out.empty() && out.back() == ' ') {
            out.pop_back();
        }
        return out;
    }
    size_t slash = field.find('/');
    return std::string(model::trim_blanks(field.substr(0, slash)));
}

std::optional<int64_t> as_integer(const std::string& v) {
    std::string_view s = v;
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
    }
    int64_t n = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty()) {
        return std::nullopt;
    }
    return n;
}

std::optional<double> as_real(std::string v) {
    // Fortran writes double-precision exponents with a D.
    std::replace(v.begin(), v.end(), 'D', 'E');
    std::replace(v.begin(), v.end(), 'd', 'e');
    std::string_view s = v;
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
    }
    double x = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), x);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty() || !std::isfinite(x)) {
        return std::nullopt;
    }
    return x;
}

struct Header {
    std::optional<int64_t> bitpix, naxis, naxis1, naxis2, naxis3, blank;
    double bzero = 0, bscale = 1;
    std::optional<double> datamin, datamax, dispmin, dispmax, avisumin, avisumax;
    std::string avisutyp;
};

// Reads cards block by block up to "END"; the input is left at the first data byte.
bool read_header(model::LineReader& in, Header& h, DecodeError& error) {
    char block[kBlock];
    bool bad_number = false;
    std::string bad_key;
    for (;;) {
        if (in.ReadBytes(block, kBlock) != kBlock) {
            error.message = "FITS header has no END card";
            return false;
        }
        for (size_t at = 0; at < kBlock; at += kCard) {
            std::string_view card(block + at, kCard);
            std::string_view key = model::trim_blanks(card.substr(0, 8));
            if (key == "END") {
                if (bad_number) {
                    error.message = "FITS header card " + bad_key + " has no readable number";
                    return false;
                }
                return true;
            }
            if (card.substr(8, 2) != "= ") {
                continue; // COMMENT, HISTORY, blank cards
            }
            std::string value = card_value(card);
            auto integer = [&](std::optional<int64_t>& slot) {
                slot = as_integer(value);
                if (!slot && !bad_number) {
                    bad_number = true;
                    bad_key = std::string(key);
                }
            };
            auto real = [&](std::optional<double>& slot) {
                slot = as_real(value);
                if (!slot && !bad_number) {
                    bad_number = true;
                    bad_key = std::string(key);
                }
            };
            std::optional<double> x;
            if (key == "BITPIX") {
                integer(h.bitpix);
            } else if (key == "NAXIS") {
                integer(h.naxis);
            } else if (key == "NAXIS1") {
                integer(h.naxis1);
            } else if (key == "NAXIS2") {
                integer(h.naxis2);
            } else if (key == "NAXIS3") {
                integer(h.naxis3);
            } else if (key == "BLANK") {
                integer(h.blank);
            } else if (key == "BZERO") {
                real(x);
                h.bzero = x.value_or(0);
            } else if (key == "BSCALE") {
                real(x);
                h.bscale = x.value_or(1);
            } else if (key == "DATAMIN") {
                real(h.datamin);
            } else if (key == "DATAMAX") {
                real(h.datamax);
            } else if (key == "DISPMIN") {
                real(h.dispmin);
            } else if (key == "DISPMAX") {
                real(h.dispmax);
            } else if (key == "AVISUMIN") {
                real(h.avisumin);
            } else if (key == "AVISUMAX") {
                real(h.avisumax);
            } else if (key == "AVISUTYP") {
                h.avisutyp = value;
            }
        }
    }
}

// The physical value of one stored sample, NaN for a blank or undefined one.
template <int kBitpix> double sample(const uint8_t* p, const Header& h, int64_t blank, bool has_blank) {
    if constexpr (kBitpix == 16) {
        auto v = static_cast<int16_t>(static_cast<uint16_t>(p[0] << 8 | p[1]));
        if (has_blank && v == blank) {
            return NAN;
        }
        return h.bzero + h.bscale * v;
    } else if constexpr (kBitpix == 32) {
        auto v = static_cast<int32_t>(uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]);
        if (has_blank && v == blank) {
            return NAN;
        }
        return h.bzero + h.bscale * v;
    } else if constexpr (kBitpix == -32) {
        uint32_t bits = uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
        float f;
        std::memcpy(&f, &bits, 4);
        return std::isfinite(f) ? h.bzero + h.bscale * f : NAN;
    } else {
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) {
            bits = bits << 8 | p[i];
        }
        double d;
        std::memcpy(&d, &bits, 8);
        return std::isfinite(d) ? h.bzero + h.bscale * d : NAN;
    }
}

// Maps physical values onto 0..65535: either as they are (whole values already in range) or
// linearly from [lo, hi].
struct Scale {
    bool direct = false;
    double lo = 0, hi = 0;
    uint16_t operator()(double v) const {
        if (std::isnan(v)) {
            v = lo;
        }
        double t;
        if (direct) {
            t = std::floor(v + 0.5);
        } else if (hi > lo) {
            // Halves keep the difference finite for values near the double limit.
            t = (v * 0.5 - lo * 0.5) / (hi * 0.5 - lo * 0.5) * 65535.0 + 0.5;
        } else {
            t = 0;
        }
        return static_cast<uint16_t>(std::clamp(t, 0.0, 65535.0));
    }
};

template <int kBitpix> void convert(const std::vector<uint8_t>& raw, const Header& h, Picture& out) {
    constexpr size_t kSize = (kBitpix < 0 ? -kBitpix : kBitpix) / 8;
    const int64_t blank = h.blank.value_or(0);
    const bool has_blank = h.blank.has_value();
    const size_t count = static_cast<size_t>(out.width) * static_cast<size_t>(out.height);
    double lo = INFINITY, hi = -INFINITY;
    for (size_t i = 0; i < count; ++i) {
        double v = sample<kBitpix>(raw.data() + i * kSize, h, blank, has_blank);
        if (v < lo) {
            lo = v;
        }
        if (v > hi) {
            hi = v;
        }
    }
    if (!(lo <= hi)) {
        lo = hi = 0; // nothing but NaN
    }
    Scale scale;
    scale.lo = lo;
    scale.hi = hi;
    scale.direct = kBitpix == 16 && h.bscale == 1 && h.bzero == std::floor(h.bzero) && lo >= 0 && hi <= 65535;

    const size_t w = static_cast<size_t>(out.width);
    for (size_t row = 0; row < static_cast<size_t>(out.height); ++row) {
        // The file's first row is the bottom one.
        uint8_t* dst = out.pixels.data() + (static_cast<size_t>(out.height) - 1 - row) * out.row_bytes();
        const uint8_t* src = raw.data() + row * w * kSize;
        for (size_t x = 0; x < w; ++x, src += kSize, dst += 2) {
            uint16_t v = scale(sample<kBitpix>(src, h, blank, has_blank));
            dst[0] = static_cast<uint8_t>(v);
            dst[1] = static_cast<uint8_t>(v >> 8);
        }
    }

    // The range shown, in physical values, then through the same scale.
    double show_lo = lo, show_hi = hi;
    auto pick = [&](std::optional<double> a, std::optional<double> b) {
        if (a && b && *b > *a) {
            show_lo = *a;
            show_hi = *b;
            return true;
        }
        return false;
    };
    std::optional<double> amin = h.avisumin, amax = h.avisumax;
    if (h.avisutyp == "STORED" && amin && amax) {
        amin = h.bzero + h.bscale * *amin;
        amax = h.bzero + h.bscale * *amax;
        if (h.bscale < 0) {
            std::swap(amin, amax);
        }
    } else if (!h.avisutyp.empty() && h.avisutyp != "PHYSICAL") {
        amin.reset(); // a kind of limits we do not know
    }
    if (!pick(amin, amax) && !pick(h.dispmin, h.dispmax)) {
        pick(h.datamin, h.datamax);
    }
    out.lowest = scale(show_lo);
    out.highest = scale(show_hi);
}

} // namespace

bool fits_accepts(std::string_view head) {
    return has_key_at(head, 0, "SIMPLE  =") && has_key_at(head, kCard, "BITPIX  =");
}

bool decode_fits(model::LineReader& in, Picture& out, DecodeError& error) {
    Header h;
    if (!read_header(in, h, error)) {
        return false;
    }
    const char* missing = !h.bitpix ? "BITPIX" : !h.naxis ? "NAXIS" : nullptr;
    if (missing) {
        error.message = std::string("FITS header has no ") + missing;
        return false;
    }
    int64_t bitpix = *h.bitpix;
    if (bitpix != 8 && bitpix != 16 && bitpix != 32 && bitpix != -32 && bitpix != -64) {
        error.message = "FITS data of BITPIX " + std::to_string(bitpix) + " is not read";
        return false;
    }
    if (*h.naxis == 0) {
        error.message = "FITS file without a primary image (NAXIS = 0) is not read";
        return false;
    }
    if (*h.naxis == 1) {
        error.message = "one-dimensional FITS data (NAXIS = 1) is not read";
        return false;
    }
    if (*h.naxis < 0 || *h.naxis > 3) {
        error.message = "FITS data of NAXIS = " + std::to_string(*h.naxis) + " is not read";
        return false;
    }
    missing = !h.naxis1 ? "NAXIS1" : !h.naxis2 ? "NAXIS2" : *h.naxis == 3 && !h.naxis3 ? "NAXIS3" : nullptr;
    if (missing) {
        error.message = std::string("FITS header has no ") + missing;
        return false;
    }
    int64_t w = *h.naxis1, ht = *h.naxis2;
    if (w <= 0 || ht <= 0 || (h.naxis3 && *h.naxis == 3 && *h.naxis3 <= 0)) {
        error.message =
            "FITS picture has no pixels (NAXIS1 = " + std::to_string(w) + ", NAXIS2 = " + std::to_string(ht) + ")";
        return false;
    }
    auto too_large = [&] {
        error.message = "FITS picture of " + std::to_string(w) + " x " + std::to_string(ht) + " pixels is too large";
        return false;
    };
    if (w > kMaxPixels || ht > kMaxPixels || w * ht > kMaxPixels) {
        return too_large();
    }
    const int64_t sample_bytes = (bitpix < 0 ? -bitpix : bitpix) / 8;
    const int64_t need = w * ht * sample_bytes;
    int64_t left = in.remaining();
    if (left >= 0 && left < need) {
        error.message =
            "FITS data is short: " + std::to_string(need) + " bytes declared, " + std::to_string(left) + " left";
        return false;
    }

    out = Picture{};
    out.width = static_cast<int32_t>(w);
    out.height = static_cast<int32_t>(ht);
    out.row_length = out.width;
    out.bits = bitpix == 8 ? 8 : 16;
    out.palette_kind = kPaletteGrey;
    out.dpi = 100;

    if (bitpix == 8) {
        if (!out.allocate()) {
            return too_large();
        }
        for (int64_t row = ht - 1; row >= 0; --row) {
            uint8_t* dst = out.pixels.data() + static_cast<size_t>(row) * out.row_bytes();
            if (in.ReadBytes(dst, static_cast<size_t>(w)) != static_cast<size_t>(w)) {
                error.message = "FITS data is short: the file ends inside the picture";
                return false;
            }
        }
        return true;
    }

    // The whole plane is needed before the first pixel can be scaled.  Its size has been checked against
    // the bytes left; an input of unknown size is read in pieces so a false size costs nothing.
    std::vector<uint8_t> raw;
    const size_t total = static_cast<size_t>(need);
    constexpr size_t kPiece = size_t{1} << 20;
    while (raw.size() < total) {
        size_t at = raw.size();
        size_t take = std::min(kPiece, total - at);
        if (left >= 0 && at == 0) {
            raw.reserve(total);
        }
        raw.resize(at + take);
        if (in.ReadBytes(raw.data() + at, take) != take) {
            error.message = "FITS data is short: the file ends inside the picture";
            return false;
        }
    }
    if (!out.allocate()) {
        return too_large();
    }
    switch (bitpix) {
    case 16:
        convert<16>(raw, h, out);
        break;
    case 32:
        convert<32>(raw, h, out);
        break;
    case -32:
        convert<-32>(raw, h, out);
        break;
    default:
        convert<-64>(raw, h, out);
        break;
    }
    return true;
}

} // namespace trazel::images
