// The DICOM decoder: the first frame of a data set's pixel data, with or without the 128-byte preamble
// and "DICM".
//
// The file meta group (0002) is explicit little-endian; its transfer syntax says how the rest is
// encoded: implicit or explicit VR little-endian, explicit big-endian, or explicit little-endian raw
// deflate.  A file without meta group is implicit little-endian unless its first element carries a VR.
// Encapsulated (compressed) pixel data is refused with the compression's name.
//
// The data set is walked element by element.  Sequences of undefined length are entered (an explicit
// stack of sequences and items, never recursion) only to find their ends; what they hold (an icon
// picture, for one) is skipped, and only the top level's pixel module is used.
//
// Storage:
// - 1-bit and 8-bit grey: 8-bit kind 0 (signed values moved up by half the stored range, fewer than
//   8 stored bits spread onto 0..255);
// - deeper grey: 16-bit values (see grey16 below for how modality values are fitted into 0..65535),
//   the range shown from the first window (centre - width / 2 .. centre + width / 2), else from the
//   lowest and highest values in the picture;
// - MONOCHROME1 (lowest value white) is inverted within the values the stored bits can hold;
// - RGB and YBR_FULL (planar 0 and 1): 24-bit kind 3, samples deeper than 8 bits keep their top 8;
// - PALETTE COLOR: 8-bit indices are 8-bit kind 2, 16-bit indices go through the table into 24-bit
//   kind 3; table entries of 16 bits keep their high byte.
// The resolution comes from Pixel Spacing (millimetres between columns), else 100 dpi.
#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "images/picture.h"

namespace trazel::images {

namespace {

constexpr uint32_t kUndefined = 0xFFFFFFFF;
constexpr size_t kMaxDepth = 64;         // sequences and items open at once
constexpr uint32_t kMaxValue = 1u << 18; // longest pixel-module value kept (a 65536-entry table)
// What a deflated data set may expand to: the largest first frame (three 16-bit samples per pixel)
// and room for the elements around it.  Past it the data is taken for a decompression bomb.
constexpr int64_t kMaxInflated = kMaxPixels * 6 + (int64_t{1} << 26);

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t be16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
uint32_t be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

std::string hex4(uint16_t v) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s(4, '0');
    for (int i = 3; i >= 0; --i, v = static_cast<uint16_t>(v >> 4)) {
        s[static_cast<size_t>(i)] = digits[v & 15];
    }
    return s;
}

std::string tag_name(uint16_t group, uint16_t element) {
    return "(" + hex4(group) + "," + hex4(element) + ")";
}

// The bytes of the data set, in order: the file's own (with a few pushed back after a look ahead), or
// after the meta group of a deflated file, what zlib inflates from them.  Offsets count the bytes
// handed out, so the ends of items and sequences are found in inflated data too.
class Source {
  public:
    explicit Source(model::LineReader& in) : in_(in) {
    }
    ~Source() {
        if (inflating_) {
            inflateEnd(&z_);
        }
    }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    bool start_inflate() {
        if (inflateInit2(&z_, -MAX_WBITS) != Z_OK) {
            return false;
        }
        inflating_ = true;
        zin_.resize(model::LineReader::kChunk);
        return true;
    }

    // Reads up to n bytes; fewer at the end of the data, or when the deflated stream breaks (fault()).
    size_t read(uint8_t* dst, size_t n) {
        size_t got = inflating_ ? inflate_into(dst, n) : raw(dst, n);
        offset_ += static_cast<int64_t>(got);
        return got;
    }

    bool skip(uint64_t n) {
        if (!inflating_) {
            size_t from_pending = std::min<uint64_t>(n, pending_.size() - pending_at_);
            pending_at_ += from_pending;
            size_t rest = static_cast<size_t>(n - from_pending);
            size_t got = from_pending + in_.ReadBytes(nullptr, rest);
            offset_ += static_cast<int64_t>(got);
            return got == n;
        }
        uint8_t scratch[4096];
        while (n > 0) {
            size_t take = static_cast<size_t>(std::min<uint64_t>(n, sizeof scratch));
            if (read(scratch, take) != take) {
                return false;
            }
            n -= take;
        }
        return true;
    }

    // Puts bytes just read back in front of the input (before inflating starts).
    void unread(const uint8_t* p, size_t n) {
        pending_.erase(0, pending_at_);
        pending_at_ = 0;
        pending_.insert(0, reinterpret_cast<const char*>(p), n);
        offset_ -= static_cast<int64_t>(n);
    }

    // Bytes left, -1 when not known (deflated data, or input from a pipe).
    int64_t remaining() const {
        int64_t left = in_.remaining();
        if (inflating_ || left < 0) {
            return -1;
        }
        return left + static_cast<int64_t>(pending_.size() - pending_at_);
    }
    int64_t offset() const {
        return offset_;
    }
    const std::string& fault() const {
        return fault_;
    }

  private:
    size_t raw(uint8_t* dst, size_t n) {
        size_t from_pending = std::min(n, pending_.size() - pending_at_);
        std::memcpy(dst, pending_.data() + pending_at_, from_pending);
        pending_at_ += from_pending;
        return from_pending + in_.ReadBytes(dst + from_pending, n - from_pending);
    }

    size_t inflate_into(uint8_t* dst, size_t n) {
        size_t made = 0;
        while (made < n && !ended_ && fault_.empty()) {
            if (z_.avail_in == 0 && !raw_end_) {
                size_t got = raw(zin_.data(), zin_.size());
                raw_end_ = got == 0;
                z_.next_in = zin_.data();
                z_.avail_in = static_cast<uInt>(got);
            }
            uInt step = static_cast<uInt>(std::min<size_t>(n - made, 1u << 30));
            z_.next_out = dst + made;
            z_.avail_out = step;
            int rc = inflate(&z_, Z_NO_FLUSH);
            made += step - z_.avail_out;
            inflated_ += step - z_.avail_out;
            if (inflated_ > kMaxInflated) {
                fault_ = "deflated DICOM data expands past " + std::to_string(kMaxInflated) + " bytes";
                break;
            }
            if (rc == Z_STREAM_END) {
                ended_ = true;
            } else if (rc == Z_BUF_ERROR) {
                if (z_.avail_in != 0 || raw_end_) {
                    break; // the file ends inside the stream: a short read
                }
            } else if (rc != Z_OK) {
                fault_ = "deflated DICOM data is broken";
            }
        }
        return made;
    }

    model::LineReader& in_;
    std::string pending_;
    size_t pending_at_ = 0;
    int64_t offset_ = 0;
    bool inflating_ = false, raw_end_ = false, ended_ = false;
    z_stream z_{};
    std::vector<uint8_t> zin_;
    int64_t inflated_ = 0;
    std::string fault_;
};

enum class Syntax { kImplicitLE, kExplicitLE, kExplicitBE, kDeflatedLE };

bool is_vr(const uint8_t* p) {
    return p[0] >= 'A' && p[0] <= 'Z' && p[1] >= 'A' && p[1] <= 'Z';
}

// The value representations whose length takes 32 bits (after two reserved bytes).
bool long_vr(const char vr[2]) {
    static const char* const kLong[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ", "SV", "UC", "UN", "UR", "UT", "UV"};
    for (const char* v : kLong) {
        if (vr[0] == v[0] && vr[1] == v[1]) {
            return true;
        }
    }
    return false;
}

struct Element {
    uint16_t group = 0, element = 0;
    char vr[2] = {0, 0}; // zero when implicit
    uint32_t length = 0;
    bool is(uint16_t g, uint16_t e) const {
        return group == g && element == e;
    }
    bool vr_is(const char* v) const {
        return vr[0] == v[0] && vr[1] == v[1];
    }
};

enum class Read { kOk, kEnd, kFail };

// One element header.  kEnd when the data ends cleanly before it.
Read read_element(Source& src, bool explicit_vr, bool big, Element& e, DecodeError& error) {
    uint8_t b[8];
    size_t got = src.read(b, 4);
    if (got == 0 && src.fault().empty()) {
        return Read::kEnd;
    }
    auto short_header = [&] {
        error.message = src.fault().empty() ? "DICOM data set ends inside an element header" : src.fault();
        return Read::kFail;
    };
    if (got != 4) {
        return short_header();
    }
    e.group = big ? be16(b) : le16(b);
    e.element = big ? be16(b + 2) : le16(b + 2);
    e.vr[0] = e.vr[1] = 0;
    if (e.group == 0xFFFE || !explicit_vr) {
        // Items and delimiters carry no VR in any syntax.
        if (src.read(b, 4) != 4) {
            return short_header();
        }
        e.length = big ? be32(b) : le32(b);
        return Read::kOk;
    }
    if (src.read(b, 4) != 4) {
        return short_header();
    }
    if (!is_vr(b)) {
        error.message = "DICOM element " + tag_name(e.group, e.element) + " has no value representation";
        return Read::kFail;
    }
    e.vr[0] = static_cast<char>(b[0]);
    e.vr[1] = static_cast<char>(b[1]);
    if (long_vr(e.vr)) {
        if (src.read(b, 4) != 4) {
            return short_header();
        }
        e.length = big ? be32(b) : le32(b);
    } else {
        e.length = big ? be16(b + 2) : le16(b + 2);
    }
    return Read::kOk;
}

// What the pixel module says, from the top level of the data set.
struct Module {
    std::optional<int64_t> rows, columns, samples, allocated, stored, high_bit, sign, planar;
    std::string photometric;
    double slope = 1, intercept = 0;
    std::optional<double> centre, width, spacing;
    std::optional<int64_t> descriptor[3][3];
    std::string table[3]; // palette table data as read
    bool segmented = false;
    bool big = false; // the byte order of the values and pixels
};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) {
        s.remove_suffix(1);
    }
    return s;
}

// The n-th value of a backslash-separated string (DS, IS), as a number.
std::optional<double> number(std::string_view s, size_t n = 0) {
    for (; n > 0; --n) {
        size_t cut = s.find('\\');
        if (cut == std::string_view::npos) {
            return std::nullopt;
        }
        s.remove_prefix(cut + 1);
    }
    s = trim(s.substr(0, s.find('\\')));
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
    }
    double x = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), x);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(x)) {
        return std::nullopt;
    }
    return x;
}

// The n-th 16-bit value of a US or SS value.
std::optional<int64_t> u16(const std::string& v, bool big, size_t n = 0) {
    if (v.size() < 2 * n + 2) {
        return std::nullopt;
    }
    const auto* p = reinterpret_cast<const uint8_t*>(v.data()) + 2 * n;
    return big ? be16(p) : le16(p);
}

void keep(Module& m, const Element& e, const std::string& v) {
    if (e.group != 0x0028) {
        return;
    }
    auto integer = [&](std::optional<int64_t>& slot) { slot = u16(v, m.big); };
    switch (e.element) {
    case 0x0002:
        integer(m.samples);
        break;
    case 0x0004:
        m.photometric = std::string(trim(v));
        break;
    case 0x0006:
        integer(m.planar);
        break;
    case 0x0010:
        integer(m.rows);
        break;
    case 0x0011:
        integer(m.columns);
        break;
    case 0x0030:
        m.spacing = number(v, 1) ? number(v, 1) : number(v);
        break;
    case 0x0100:
        integer(m.allocated);
        break;
    case 0x0101:
        integer(m.stored);
        break;
    case 0x0102:
        integer(m.high_bit);
        break;
    case 0x0103:
        integer(m.sign);
        break;
    case 0x1050:
        m.centre = number(v);
        break;
    case 0x1051:
        m.width = number(v);
        break;
    case 0x1052:
        m.intercept = number(v).value_or(0);
        break;
    case 0x1053:
        m.slope = number(v).value_or(1);
        break;
    case 0x1101:
    case 0x1102:
    case 0x1103:
        for (size_t i = 0; i < 3; ++i) {
            m.descriptor[e.element - 0x1101][i] = u16(v, m.big, i);
        }
        break;
    case 0x1201:
    case 0x1202:
    case 0x1203:
        m.table[e.element - 0x1201] = v;
        break;
    case 0x1221:
    case 0x1222:
    case 0x1223:
        m.segmented = true;
        break;
    default:
        break;
    }
}

bool wanted(const Element& e) {
    return e.group == 0x0028 &&
           (e.element <= 0x0103 || (e.element >= 0x1050 && e.element <= 0x1053) ||
            (e.element >= 0x1101 && e.element <= 0x1103) || (e.element >= 0x1201 && e.element <= 0x1203) ||
            (e.element >= 0x1221 && e.element <= 0x1223));
}

struct SyntaxName {
    const char* uid;
    const char* name; // a compression, or null for the syntaxes read
    Syntax syntax;
};
const SyntaxName kSyntaxes[] = {
    {"1.2.840.10008.1.2", nullptr, Syntax::kImplicitLE},
    {"1.2.840.10008.1.2.1", nullptr, Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.2", nullptr, Syntax::kExplicitBE},
    {"1.2.840.10008.1.2.1.99", nullptr, Syntax::kDeflatedLE},
    {"1.2.840.10008.1.2.4.50", "JPEG Baseline", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.51", "JPEG Extended", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.57", "JPEG Lossless", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.70", "JPEG Lossless", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.80", "JPEG-LS Lossless", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.81", "JPEG-LS Near-Lossless", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.90", "JPEG 2000 Lossless", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.91", "JPEG 2000", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.92", "JPEG 2000 Part 2 Lossless", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.93", "JPEG 2000 Part 2", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.100", "MPEG2", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.101", "MPEG2", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.102", "MPEG-4", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.103", "MPEG-4", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.104", "MPEG-4", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.105", "MPEG-4", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.106", "MPEG-4", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.107", "HEVC", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.108", "HEVC", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.201", "High-Throughput JPEG 2000", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.202", "High-Throughput JPEG 2000", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.4.203", "High-Throughput JPEG 2000", Syntax::kExplicitLE},
    {"1.2.840.10008.1.2.5", "RLE Lossless", Syntax::kExplicitLE},
};

// The transfer syntax of a UID, or a message naming what is not read.
bool syntax_of(std::string_view uid, Syntax& syntax, DecodeError& error) {
    for (const SyntaxName& s : kSyntaxes) {
        if (uid == s.uid) {
            if (s.name) {
                error.message = std::string(s.name) + "-compressed DICOM is not read";
                return false;
            }
            syntax = s.syntax;
            return true;
        }
    }
    std::string shown(uid.substr(0, 64));
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < ' ' || static_cast<unsigned char>(c) > '~') {
            c = '?';
        }
    }
    error.message = "DICOM transfer syntax " + shown + " is not read";
    return false;
}

// Reads the meta group (when there is one) and settles the syntax of the data set after it.
bool read_meta(Source& src, Syntax& syntax, DecodeError& error) {
    std::optional<std::string> uid;
    int64_t meta_end = -1;
    for (;;) {
        if (meta_end >= 0 && src.offset() >= meta_end) {
            break;
        }
        uint8_t b[8];
        size_t got = src.read(b, 6);
        if (got < 6 || le16(b) != 0x0002) {
            src.unread(b, got);
            break;
        }
        Element e;
        // The meta group is explicit; a writer that left the VRs out is read as implicit.
        bool explicit_vr = is_vr(b + 4);
        src.unread(b, 6);
        if (read_element(src, explicit_vr, false, e, error) == Read::kFail) {
            return false;
        }
        if (e.length == kUndefined) {
            error.message = "DICOM meta element " + tag_name(e.group, e.element) + " has an undefined length";
            return false;
        }
        std::string v;
        if (e.element == 0x0000 || e.element == 0x0010) {
            v.resize(std::min<uint32_t>(e.length, 256));
            if (src.read(reinterpret_cast<uint8_t*>(v.data()), v.size()) != v.size() ||
                !src.skip(e.length - v.size())) {
                error.message = "DICOM file ends inside its meta group";
                return false;
            }
        } else if (!src.skip(e.length)) {
            error.message = "DICOM file ends inside its meta group";
            return false;
        }
        if (e.element == 0x0000 && v.size() == 4) {
            meta_end = src.offset() + le32(reinterpret_cast<const uint8_t*>(v.data()));
        } else if (e.element == 0x0010) {
            uid = std::string(trim(v));
        }
    }
    if (uid) {
        return syntax_of(*uid, syntax, error);
    }
    // No transfer syntax: the first element tells whether VRs are written.
    uint8_t b[6];
    size_t got = src.read(b, 6);
    syntax = got == 6 && is_vr(b + 4) ? Syntax::kExplicitLE : Syntax::kImplicitLE;
    src.unread(b, got);
    return true;
}

struct Container {
    bool item;     // an item, else a sequence
    int64_t end;   // offset past its last byte, -1 for an undefined length
    bool implicit; // inside a UN sequence of undefined length: implicit little-endian
};

// Walks the data set up to the top-level pixel data, keeping the pixel module; the source is left at
// the first pixel byte and `pixels` is the pixel data's element header.
bool walk(Source& src, Syntax syntax, Module& m, Element& pixels, DecodeError& error) {
    const bool big = syntax == Syntax::kExplicitBE;
    m.big = big;
    std::vector<Container> open;
    for (;;) {
        while (!open.empty() && open.back().end >= 0 && src.offset() >= open.back().end) {
            open.pop_back();
        }
        const bool implicit = syntax == Syntax::kImplicitLE || (!open.empty() && open.back().implicit);
        const bool top = open.empty();
        Element e;
        Read r = read_element(src, !implicit, big && !implicit, e, error);
        if (r == Read::kFail) {
            return false;
        }
        if (r == Read::kEnd) {
            error.message = top ? "DICOM data set has no pixel data" : "DICOM data set ends inside a sequence";
            return false;
        }
        const int64_t here = src.offset();
        if (e.group == 0xFFFE) {
            if (e.element == 0xE000) {
                if (top || open.back().item) {
                    error.message = "DICOM item outside a sequence";
                    return false;
                }
                if (open.size() >= kMaxDepth) {
                    error.message = "DICOM sequences are nested too deep";
                    return false;
                }
                open.push_back({true, e.length == kUndefined ? -1 : here + e.length, open.back().implicit});
            } else if (e.element == 0xE00D || e.element == 0xE0DD) {
                const bool item = e.element == 0xE00D;
                if (top || open.back().item != item || open.back().end >= 0) {
                    error.message = std::string("DICOM ") + (item ? "item" : "sequence") + " end out of place";
                    return false;
                }
                open.pop_back();
            } else if (e.length != kUndefined && !src.skip(e.length)) {
                error.message = "DICOM data set ends inside element " + tag_name(e.group, e.element);
                return false;
            }
            continue;
        }
        if (top && e.group == 0x7FE0 && (e.element == 0x0008 || e.element == 0x0009)) {
            error.message = "floating-point DICOM pixel data is not read";
            return false;
        }
        if (top && e.is(0x7FE0, 0x0010)) {
            if (e.length == kUndefined) {
                error.message = "encapsulated (compressed) DICOM pixel data is not read";
                return false;
            }
            pixels = e;
            return true;
        }
        if (e.length == kUndefined) {
            // A sequence: SQ, any undefined length in implicit data, or UN (whose contents are implicit).
            if (!implicit && !e.vr_is("SQ") && !e.vr_is("UN")) {
                error.message = "DICOM element " + tag_name(e.group, e.element) + " has an undefined length";
                return false;
            }
            if (open.size() >= kMaxDepth) {
                error.message = "DICOM sequences are nested too deep";
                return false;
            }
            open.push_back({false, -1, implicit || e.vr_is("UN")});
            continue;
        }
        const int64_t left = src.remaining();
        if (left >= 0 && e.length > left) {
            error.message = "DICOM data set ends inside element " + tag_name(e.group, e.element);
            return false;
        }
        if (top && wanted(e) && e.length <= kMaxValue) {
            std::string v(e.length, '\0');
            if (src.read(reinterpret_cast<uint8_t*>(v.data()), v.size()) != v.size()) {
                error.message = src.fault().empty()
                                    ? "DICOM data set ends inside element " + tag_name(e.group, e.element)
                                    : src.fault();
                return false;
            }
            keep(m, e, v);
        } else if (!src.skip(e.length)) {
            // A sequence of defined length is skipped whole: nothing inside it is used.
            error.message = src.fault().empty() ? "DICOM data set ends inside element " + tag_name(e.group, e.element)
                                                : src.fault();
            return false;
        }
    }
}

// The samples of the first frame as stored values (sign extended when signed).
struct Samples {
    const std::vector<uint8_t>& raw;
    int allocated, stored, shift;
    bool sign, big;
    int64_t operator[](size_t i) const {
        uint64_t word;
        if (allocated == 8) {
            word = raw[i];
        } else if (allocated == 16) {
            word = big ? be16(&raw[2 * i]) : le16(&raw[2 * i]);
        } else {
            word = big ? be32(&raw[4 * i]) : le32(&raw[4 * i]);
        }
        uint64_t mask = (uint64_t{1} << stored) - 1;
        int64_t s = static_cast<int64_t>((word >> shift) & mask);
        if (sign && (s >> (stored - 1)) != 0) {
            s -= int64_t{1} << stored;
        }
        return s;
    }
};

// Rounded into 0..65535; NaN (from rescale factors near the double limit) counts as 0.
uint16_t to16(double v) {
    return v >= 0 ? static_cast<uint16_t>(std::min(std::floor(v + 0.5), 65535.0)) : 0;
}

uint8_t clamp8(double v) {
    return static_cast<uint8_t>(std::clamp(std::floor(v + 0.5), 0.0, 255.0));
}

// Deep grey values into 16 bits.  Modality values are m = stored x slope + intercept.  When the slope
// is a whole number and every value the stored bits can hold fits 65536 steps after rescaling, the
// lowest of those possible values becomes 0 and the others keep their distances (unsigned data without
// rescale keeps its values; signed 16-bit data moves up by 32768).  Otherwise (fractional slopes, 32-bit
// data) the lowest modality value in the picture becomes 0 and the highest 65535, linearly.
// MONOCHROME1 then turns the range over: v becomes top - v, top being the highest value possible.
void grey16(const Samples& s, const Module& m, bool invert, Picture& out) {
    const size_t count = static_cast<size_t>(out.width) * static_cast<size_t>(out.height);
    const double smin = s.sign ? -std::ldexp(1.0, s.stored - 1) : 0.0;
    const double smax = s.sign ? std::ldexp(1.0, s.stored - 1) - 1 : std::ldexp(1.0, s.stored) - 1;
    const double slope = m.slope != 0 ? m.slope : 1.0;
    const double m1 = smin * slope + m.intercept, m2 = smax * slope + m.intercept;
    double lo = std::min(m1, m2), hi = std::max(m1, m2);
    const bool whole = slope == std::floor(slope) && (smax - smin) * std::abs(slope) <= 65535;
    double top = hi - lo;
    if (!whole) {
        lo = INFINITY;
        hi = -INFINITY;
        for (size_t i = 0; i < count; ++i) {
            double v = static_cast<double>(s[i]) * slope + m.intercept;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        top = 65535;
    }
    const double scale = whole ? 1.0 : hi > lo ? 65535.0 / (hi - lo) : 0.0;
    auto map = [&](double modality) {
        double v = (modality - lo) * scale;
        return invert ? top - v : v;
    };
    uint16_t least = 65535, most = 0;
    for (size_t i = 0; i < count; ++i) {
        double v = map(static_cast<double>(s[i]) * slope + m.intercept);
        uint16_t u = to16(v);
        out.pixels[2 * i] = static_cast<uint8_t>(u);
        out.pixels[2 * i + 1] = static_cast<uint8_t>(u >> 8);
        least = std::min(least, u);
        most = std::max(most, u);
    }
    out.lowest = least;
    out.highest = most;
    if (m.centre && m.width && *m.width > 0) {
        double a = map(*m.centre - *m.width / 2), b = map(*m.centre + *m.width / 2);
        out.lowest = std::min(to16(a), to16(b));
        out.highest = std::max(to16(a), to16(b));
    }
}

void grey8(const Samples& s, bool invert, Picture& out) {
    const size_t count = static_cast<size_t>(out.width) * static_cast<size_t>(out.height);
    const int64_t max = (int64_t{1} << s.stored) - 1;
    const int64_t up = s.sign ? int64_t{1} << (s.stored - 1) : 0;
    for (size_t i = 0; i < count; ++i) {
        int64_t v = s[i] + up;
        if (invert) {
            v = max - v;
        }
        out.pixels[i] = static_cast<uint8_t>(s.stored == 8 ? v : (v * 255 + max / 2) / max);
    }
}

// A palette table entry's colour level: 16-bit entries keep their high byte; 8-bit entries come as
// 16-bit words holding one value each, or packed two to a word.
struct Table {
    const std::string* data;
    int64_t entries, first, bits;
    bool packed, big;
    uint8_t level(int64_t index) const {
        int64_t i = std::clamp<int64_t>(index - first, 0, entries - 1);
        const auto* p = reinterpret_cast<const uint8_t*>(data->data());
        if (packed) {
            return p[big ? (i ^ 1) : i];
        }
        uint16_t w = big ? be16(p + 2 * i) : le16(p + 2 * i);
        return static_cast<uint8_t>(bits == 16 ? w >> 8 : w & 0xFF);
    }
};

bool palette_tables(const Module& m, Table t[3], DecodeError& error) {
    if (m.segmented) {
        error.message = "segmented-palette DICOM is not read";
        return false;
    }
    for (int c = 0; c < 3; ++c) {
        if (!m.descriptor[c][0] || !m.descriptor[c][1] || !m.descriptor[c][2] || m.table[c].empty()) {
            error.message = "DICOM palette colour picture has no palette";
            return false;
        }
        int64_t entries = *m.descriptor[c][0] == 0 ? 65536 : *m.descriptor[c][0];
        int64_t first = *m.descriptor[c][1];
        if (m.sign.value_or(0) == 1 && first >= 32768) {
            first -= 65536;
        }
        int64_t bits = *m.descriptor[c][2];
        if (bits != 8 && bits != 16) {
            error.message = "DICOM palette of " + std::to_string(bits) + "-bit entries is not read";
            return false;
        }
        auto size = static_cast<int64_t>(m.table[c].size());
        bool packed = bits == 8 && size < 2 * entries;
        // Packed entries are read in 16-bit words, so a table ends on a whole word.
        if (size < (packed ? (entries + 1) / 2 * 2 : 2 * entries)) {
            error.message = "DICOM palette is shorter than its descriptor";
            return false;
        }
        t[c] = Table{&m.table[c], entries, first, bits, packed, m.big};
    }
    return true;
}

int resolution(const Module& m) {
    if (!m.spacing || !(*m.spacing > 0)) {
        return 100;
    }
    double dpi = std::floor(25.4 / *m.spacing + 0.5);
    return dpi < 1 ? 100 : static_cast<int>(std::min(dpi, 1e6));
}

} // namespace

bool dicom_accepts(std::string_view head) {
    if (head.size() >= 132 && head.substr(128, 4) == "DICM") {
        return true;
    }
    if (head.size() < 12) {
        return false;
    }
    const auto* p = reinterpret_cast<const uint8_t*>(head.data());
    return le32(p) < 32 && (le32(p + 4) == 4 || head.substr(4, 4) == std::string_view("UL\x04\x00", 4)) &&
           le32(p + 8) < 65280;
}

bool decode_dicom(model::LineReader& in, Picture& out, DecodeError& error) {
    const bool preamble = in.head().size() >= 132 && in.head().substr(128, 4) == "DICM";
    Source src(in);
    if (preamble) {
        src.skip(132);
    }
    Syntax syntax = Syntax::kImplicitLE;
    if (!read_meta(src, syntax, error)) {
        return false;
    }
    if (syntax == Syntax::kDeflatedLE && !src.start_inflate()) {
        error.message = "deflated DICOM data cannot be inflated";
        return false;
    }
    Module m;
    Element pixel_data;
    if (!walk(src, syntax, m, pixel_data, error)) {
        return false;
    }
    const uint32_t length = pixel_data.length;

    // The pixel module, checked before anything is allocated.
    if (!m.rows || !m.columns || *m.rows == 0 || *m.columns == 0) {
        error.message = "DICOM picture has no pixels (Rows " + std::to_string(m.rows.value_or(0)) + ", Columns " +
                        std::to_string(m.columns.value_or(0)) + ")";
        return false;
    }
    const int64_t rows = *m.rows, columns = *m.columns, samples = m.samples.value_or(1);
    if (!m.allocated) {
        error.message = "DICOM picture has no Bits Allocated";
        return false;
    }
    const int64_t allocated = *m.allocated, stored = m.stored.value_or(allocated);
    const int64_t high = m.high_bit.value_or(stored - 1);
    if (allocated != 1 && allocated != 8 && allocated != 16 && allocated != 32) {
        error.message = "DICOM pixels of " + std::to_string(allocated) + " allocated bits are not read";
        return false;
    }
    if (stored < 1 || stored > allocated || high >= allocated || high + 1 < stored) {
        error.message = "DICOM bits stored (" + std::to_string(stored) + ") and high bit (" + std::to_string(high) +
                        ") do not fit " + std::to_string(allocated) + " allocated bits";
        return false;
    }
    std::string photometric = m.photometric;
    if (photometric.empty()) {
        photometric = samples == 3 ? "RGB" : "MONOCHROME2"; // old files leave it out
    }
    const bool grey = photometric == "MONOCHROME1" || photometric == "MONOCHROME2";
    const bool palette = photometric == "PALETTE COLOR";
    const bool colour = photometric == "RGB" || photometric == "YBR_FULL";
    if (!grey && !palette && !colour) {
        std::string shown = photometric.substr(0, 32);
        for (char& c : shown) {
            if (static_cast<unsigned char>(c) < ' ' || static_cast<unsigned char>(c) > '~') {
                c = '?';
            }
        }
        error.message = "DICOM photometric interpretation " + shown + " is not read";
        return false;
    }
    if (samples != (colour ? 3 : 1)) {
        error.message =
            "DICOM " + photometric + " picture with " + std::to_string(samples) + " samples per pixel is not read";
        return false;
    }
    if ((colour && allocated != 8 && allocated != 16) || (palette && allocated != 8 && allocated != 16) ||
        (allocated == 1 && stored != 1)) {
        error.message =
            "DICOM " + photometric + " picture of " + std::to_string(allocated) + " allocated bits is not read";
        return false;
    }
    if (rows * columns > kMaxPixels) {
        error.message =
            "DICOM picture of " + std::to_string(columns) + " x " + std::to_string(rows) + " pixels is too large";
        return false;
    }
    Table tables[3];
    if (palette && !palette_tables(m, tables, error)) {
        return false;
    }
    const int64_t values = rows * columns * samples;
    const int64_t frame = allocated == 1 ? (values + 7) / 8 : values * (allocated / 8);
    if (length < frame) {
        error.message =
            "DICOM pixel data is short: " + std::to_string(length) + " bytes for a frame of " + std::to_string(frame);
        return false;
    }
    const int64_t left = src.remaining();
    if (left >= 0 && left < frame) {
        error.message = "DICOM pixel data is short: the file ends inside the first frame";
        return false;
    }

    // The first frame, in pieces when the size of what is left is not known.  Big-endian OW data holds
    // bytes (8-bit and 1-bit samples) in swapped pairs: a frame of odd length takes its pair's last byte.
    const bool swap = m.big && pixel_data.vr_is("OW") && allocated <= 8;
    std::vector<uint8_t> raw;
    constexpr size_t kPiece = size_t{1} << 20;
    const auto total = static_cast<size_t>(swap && frame % 2 == 1 && length > frame ? frame + 1 : frame);
    if (left >= 0) {
        raw.reserve(total);
    }
    while (raw.size() < total) {
        size_t at = raw.size(), take = std::min(kPiece, total - at);
        raw.resize(at + take);
        if (src.read(raw.data() + at, take) != take) {
            error.message =
                src.fault().empty() ? "DICOM pixel data is short: the file ends inside the first frame" : src.fault();
            return false;
        }
    }
    if (swap) {
        for (size_t i = 0; i + 1 < raw.size(); i += 2) {
            std::swap(raw[i], raw[i + 1]);
        }
    }

    out = Picture{};
    out.width = static_cast<int32_t>(columns);
    out.height = static_cast<int32_t>(rows);
    out.row_length = out.width;
    out.dpi = resolution(m);
    out.palette_kind = grey ? kPaletteGrey : palette && allocated == 8 ? kPaletteOwn : kPaletteDirect;
    out.bits = grey ? (allocated <= 8 ? 8 : 16) : palette && allocated == 8 ? 8 : 24;
    if (!out.allocate()) {
        error.message =
            "DICOM picture of " + std::to_string(columns) + " x " + std::to_string(rows) + " pixels is too large";
        return false;
    }
    const size_t count = static_cast<size_t>(values / samples);
    const bool invert = photometric == "MONOCHROME1";
    if (allocated == 1) {
        for (size_t i = 0; i < count; ++i) {
            bool set = (raw[i >> 3] >> (i & 7) & 1) != 0;
            out.pixels[i] = set != invert ? 255 : 0;
        }
        return true;
    }
    const Samples s{raw,
                    static_cast<int>(allocated),
                    static_cast<int>(stored),
                    static_cast<int>(high + 1 - stored),
                    m.sign.value_or(0) == 1 && grey,
                    m.big};
    if (grey) {
        if (allocated == 8) {
            grey8(s, invert, out);
        } else {
            grey16(s, m, invert, out);
        }
        return true;
    }
    if (palette) {
        if (allocated == 8) {
            for (int i = 0; i < 256; ++i) {
                out.palette[static_cast<size_t>(i)] =
                    uint32_t{tables[0].level(i)} << 16 | uint32_t{tables[1].level(i)} << 8 | tables[2].level(i);
            }
            for (size_t i = 0; i < count; ++i) {
                out.pixels[i] = static_cast<uint8_t>(s[i]);
            }
        } else {
            for (size_t i = 0; i < count; ++i) {
                int64_t index = s[i];
                out.pixels[3 * i] = tables[2].level(index);
                out.pixels[3 * i + 1] = tables[1].level(index);
                out.pixels[3 * i + 2] = tables[0].level(index);
            }
        }
        return true;
    }
    // Colour: sample c of pixel i, planar 0 interleaved, planar 1 one plane after another; kept to 8 bits.
    const bool planes = m.planar.value_or(0) == 1;
    const int down = static_cast<int>(stored) - 8;
    const int64_t max = (int64_t{1} << stored) - 1;
    auto level = [&](size_t i, size_t c) -> int64_t {
        int64_t v = s[planes ? c * count + i : 3 * i + c];
        return down >= 0 ? v >> down : (v * 255 + max / 2) / max;
    };
    const bool ybr = photometric == "YBR_FULL";
    for (size_t i = 0; i < count; ++i) {
        int64_t r = level(i, 0), g = level(i, 1), b = level(i, 2);
        uint8_t* px = &out.pixels[3 * i];
        if (ybr) {
            double y = static_cast<double>(r), cb = static_cast<double>(g) - 128, cr = static_cast<double>(b) - 128;
            px[0] = clamp8(y + 1.772 * cb);
            px[1] = clamp8(y - 0.344136 * cb - 0.714136 * cr);
            px[2] = clamp8(y + 1.402 * cr);
        } else {
            px[0] = static_cast<uint8_t>(b);
            px[1] = static_cast<uint8_t>(g);
            px[2] = static_cast<uint8_t>(r);
        }
    }
    return true;
}

} // namespace trazel::images
