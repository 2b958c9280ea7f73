// The text-header picture: a few "Key: value" lines, then the raw samples.
//
//   Contents: Pixel image
//   Height: 480
//   Width: 640
//   Resolution: 100
//   Spectral bands: 3
//   Bits: 16                  (optional: 8, the default, or 16)
//   Byte order: big-endian    (needed with 16 bits: big-endian or little-endian)
//   Rows: bottom first        (optional: top first, the default, or bottom first)
//   Data:
//   <samples>
//
// The keys end at an empty line or a "Data:" line, within the first 64 KiB; lines end with LF or CR LF
// and lines starting with "#" are comments.  The samples follow at once: rows of Width pixels, each pixel
// Spectral bands samples (1: grey; 3: red, green, blue), each sample Bits / 8 bytes.  Bytes after the
// last row are ignored.  A 16-bit grey picture stays 16-bit with its lowest and highest values as the
// range shown; 16-bit colour keeps the top 8 bits of each sample.  Anything else is refused with a line
// naming the key: a missing or repeated key, an unknown key or value, samples past the end of the file.
#include <algorithm>
#include <charconv>
#include <string>

#include "images/picture.h"

namespace trazel::images {

namespace {

constexpr std::string_view kPrefix = "text-header picture: ";

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

enum Key { kContents, kHeight, kWidth, kResolution, kBands, kBits, kByteOrder, kRows, kKeyCount };
constexpr std::string_view kKeyNames[kKeyCount] = {"Contents",       "Height", "Width",      "Resolution",
                                                   "Spectral bands", "Bits",   "Byte order", "Rows"};

// At most 40 bytes of a file's text for a message, control bytes shown as "?".
std::string shown(std::string_view text) {
    std::string out(text.substr(0, 40));
    for (char& c : out) {
        if (static_cast<unsigned char>(c) < 32 || c == 127) {
            c = '?';
        }
    }
    return out;
}

bool fail(DecodeError& error, std::string what) {
    error.message = std::string(kPrefix) + what;
    return false;
}

// A whole number from `low` to `high`, nothing else on the line.
bool number(std::string_view v, int64_t low, int64_t high, int64_t& n) {
    auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
    return ec == std::errc() && end == v.data() + v.size() && !v.empty() && n >= low && n <= high;
}

} // namespace

bool text_header_accepts(std::string_view head) {
    if (head.substr(0, 9) != "Contents:") {
        return false;
    }
    size_t eol = head.find('\n');
    return trim(head.substr(9, eol == std::string_view::npos ? std::string_view::npos : eol - 9)) == "Pixel image";
}

bool decode_text_header(model::LineReader& in, Picture& out, DecodeError& error) {
    std::string_view head = in.head();
    std::string_view values[kKeyCount];
    bool seen[kKeyCount] = {};
    size_t at = 0;
    size_t data_at = std::string_view::npos;
    while (at < head.size()) {
        size_t eol = head.find('\n', at);
        if (eol == std::string_view::npos) {
            break;
        }
        std::string_view line = head.substr(at, eol - at);
        at = eol + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (trim(line).empty() || trim(line) == "Data:") {
            data_at = at;
            break;
        }
        if (line.front() == '#') {
            continue;
        }
        size_t colon = line.find(':');
        std::string_view name = line.substr(0, colon);
        int key = 0;
        while (key < kKeyCount && kKeyNames[key] != name) {
            ++key;
        }
        if (colon == std::string_view::npos || key == kKeyCount) {
            return fail(error, "unknown key \"" + shown(name) + "\"");
        }
        if (seen[key]) {
            return fail(error, "the key \"" + shown(name) + ":\" is given twice");
        }
        seen[key] = true;
        values[key] = trim(line.substr(colon + 1));
    }
    if (data_at == std::string_view::npos) {
        return fail(error, "the keys do not end in an empty line or a \"Data:\" line");
    }
    for (int key : {kContents, kHeight, kWidth, kResolution, kBands}) {
        if (!seen[key]) {
            return fail(error, "no \"" + std::string(kKeyNames[key]) + ":\" key");
        }
    }
    auto bad_value = [&](int key) {
        return fail(error, "\"" + std::string(kKeyNames[key]) + ": " + shown(values[key]) + "\" is not read");
    };
    if (values[kContents] != "Pixel image") {
        return bad_value(kContents);
    }
    int64_t height = 0, width = 0, dpi = 0, bands = 0, bits = 8;
    if (!number(values[kHeight], 1, kMaxPixels, height)) {
        return bad_value(kHeight);
    }
    if (!number(values[kWidth], 1, kMaxPixels, width)) {
        return bad_value(kWidth);
    }
    if (!number(values[kResolution], 0, 1000000, dpi)) {
        return bad_value(kResolution);
    }
    if (!number(values[kBands], 1, 3, bands) || bands == 2) {
        return bad_value(kBands);
    }
    if (seen[kBits] && (!number(values[kBits], 8, 16, bits) || (bits != 8 && bits != 16))) {
        return bad_value(kBits);
    }
    bool big_endian = true;
    if (seen[kByteOrder]) {
        if (values[kByteOrder] != "big-endian" && values[kByteOrder] != "little-endian") {
            return bad_value(kByteOrder);
        }
        big_endian = values[kByteOrder] == "big-endian";
    } else if (bits == 16) {
        return fail(error, "16-bit samples need a \"Byte order:\" key");
    }
    bool bottom_first = false;
    if (seen[kRows]) {
        if (values[kRows] != "top first" && values[kRows] != "bottom first") {
            return bad_value(kRows);
        }
        bottom_first = values[kRows] == "bottom first";
    }
    if (width * height > kMaxPixels) {
        return fail(error,
                    "a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is too large");
    }

    const size_t sample_bytes = static_cast<size_t>(bits / 8);
    const size_t row_in = static_cast<size_t>(width) * static_cast<size_t>(bands) * sample_bytes;
    const size_t need = row_in * static_cast<size_t>(height);
    in.ReadBytes(nullptr, data_at); // head() is not used past this point
    int64_t left = in.remaining();
    if (left >= 0 && static_cast<uint64_t>(left) < need) {
        return fail(error, "the samples need " + std::to_string(need) + " bytes, the file has " + std::to_string(left) +
                               " after the keys");
    }

    out = Picture{};
    out.width = static_cast<int32_t>(width);
    out.height = static_cast<int32_t>(height);
    out.row_length = out.width;
    out.dpi = dpi == 0 ? 100 : static_cast<int32_t>(dpi);
    out.bits = bands == 3 ? 24 : bits == 16 ? 16 : 8;
    out.palette_kind = bands == 3 ? kPaletteDirect : kPaletteGrey;
    if (!out.allocate()) {
        return fail(error,
                    "a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is too large");
    }

    std::vector<uint8_t> row(row_in);
    uint16_t lowest = 0xFFFF, highest = 0;
    const int hi_byte = big_endian ? 0 : 1; // where the top 8 bits of a 16-bit sample are
    for (int64_t r = 0; r < height; ++r) {
        if (in.ReadBytes(row.data(), row_in) != row_in) {
            return fail(error, "the file ends inside the samples");
        }
        uint8_t* dst = out.pixels.data() + static_cast<size_t>(bottom_first ? height - 1 - r : r) * out.row_bytes();
        const uint8_t* src = row.data();
        const size_t w = static_cast<size_t>(width);
        if (bands == 1 && bits == 8) {
            std::copy(src, src + w, dst);
        } else if (bands == 1) {
            for (size_t x = 0; x < w; ++x, src += 2, dst += 2) {
                uint16_t v = static_cast<uint16_t>(src[hi_byte] << 8 | src[1 - hi_byte]);
                lowest = v < lowest ? v : lowest;
                highest = v > highest ? v : highest;
                dst[0] = static_cast<uint8_t>(v);
                dst[1] = static_cast<uint8_t>(v >> 8);
            }
        } else {
            const size_t step = sample_bytes;
            const size_t top = bits == 16 ? static_cast<size_t>(hi_byte) : 0;
            for (size_t x = 0; x < w; ++x, src += 3 * step, dst += 3) {
                dst[0] = src[2 * step + top];
                dst[1] = src[step + top];
                dst[2] = src[top];
            }
        }
    }
    if (out.bits == 16) {
        out.lowest = lowest;
        out.highest = highest;
    }
    return true;
}

} // namespace trazel::images
