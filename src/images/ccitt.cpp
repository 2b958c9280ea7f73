// Fax decoding.  Each row is kept as the list of its changing elements (the columns where the colour
// flips, white first), which is both what the two-dimensional modes code against and what is painted
// into the packed output row.  Codes are looked up in 13-bit tables built once from the code lists.
#include "images/ccitt.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace trazel::images {
namespace {

struct Code {
    uint16_t bits;
    uint8_t len;
    int16_t run;
};

// Run codes, written as their bit strings' values and lengths.
constexpr Code kWhite[] = {
    {0x35, 8, 0},    {0x07, 6, 1},    {0x07, 4, 2},    {0x08, 4, 3},    {0x0B, 4, 4},    {0x0C, 4, 5},
    {0x0E, 4, 6},    {0x0F, 4, 7},    {0x13, 5, 8},    {0x14, 5, 9},    {0x07, 5, 10},   {0x08, 5, 11},
    {0x08, 6, 12},   {0x03, 6, 13},   {0x34, 6, 14},   {0x35, 6, 15},   {0x2A, 6, 16},   {0x2B, 6, 17},
    {0x27, 7, 18},   {0x0C, 7, 19},   {0x08, 7, 20},   {0x17, 7, 21},   {0x03, 7, 22},   {0x04, 7, 23},
    {0x28, 7, 24},   {0x2B, 7, 25},   {0x13, 7, 26},   {0x24, 7, 27},   {0x18, 7, 28},   {0x02, 8, 29},
    {0x03, 8, 30},   {0x1A, 8, 31},   {0x1B, 8, 32},   {0x12, 8, 33},   {0x13, 8, 34},   {0x14, 8, 35},
    {0x15, 8, 36},   {0x16, 8, 37},   {0x17, 8, 38},   {0x28, 8, 39},   {0x29, 8, 40},   {0x2A, 8, 41},
    {0x2B, 8, 42},   {0x2C, 8, 43},   {0x2D, 8, 44},   {0x04, 8, 45},   {0x05, 8, 46},   {0x0A, 8, 47},
    {0x0B, 8, 48},   {0x52, 8, 49},   {0x53, 8, 50},   {0x54, 8, 51},   {0x55, 8, 52},   {0x24, 8, 53},
    {0x25, 8, 54},   {0x58, 8, 55},   {0x59, 8, 56},   {0x5A, 8, 57},   {0x5B, 8, 58},   {0x4A, 8, 59},
    {0x4B, 8, 60},   {0x32, 8, 61},   {0x33, 8, 62},   {0x34, 8, 63},   {0x1B, 5, 64},   {0x12, 5, 128},
    {0x17, 6, 192},  {0x37, 7, 256},  {0x36, 8, 320},  {0x37, 8, 384},  {0x64, 8, 448},  {0x65, 8, 512},
    {0x68, 8, 576},  {0x67, 8, 640},  {0xCC, 9, 704},  {0xCD, 9, 768},  {0xD2, 9, 832},  {0xD3, 9, 896},
    {0xD4, 9, 960},  {0xD5, 9, 1024}, {0xD6, 9, 1088}, {0xD7, 9, 1152}, {0xD8, 9, 1216}, {0xD9, 9, 1280},
    {0xDA, 9, 1344}, {0xDB, 9, 1408}, {0x98, 9, 1472}, {0x99, 9, 1536}, {0x9A, 9, 1600}, {0x18, 6, 1664},
    {0x9B, 9, 1728},
};

constexpr Code kBlack[] = {
    {0x37, 10, 0},    {0x02, 3, 1},     {0x03, 2, 2},     {0x02, 2, 3},     {0x03, 3, 4},     {0x03, 4, 5},
    {0x02, 4, 6},     {0x03, 5, 7},     {0x05, 6, 8},     {0x04, 6, 9},     {0x04, 7, 10},    {0x05, 7, 11},
    {0x07, 7, 12},    {0x04, 8, 13},    {0x07, 8, 14},    {0x18, 9, 15},    {0x17, 10, 16},   {0x18, 10, 17},
    {0x08, 10, 18},   {0x67, 11, 19},   {0x68, 11, 20},   {0x6C, 11, 21},   {0x37, 11, 22},   {0x28, 11, 23},
    {0x17, 11, 24},   {0x18, 11, 25},   {0xCA, 12, 26},   {0xCB, 12, 27},   {0xCC, 12, 28},   {0xCD, 12, 29},
    {0x68, 12, 30},   {0x69, 12, 31},   {0x6A, 12, 32},   {0x6B, 12, 33},   {0xD2, 12, 34},   {0xD3, 12, 35},
    {0xD4, 12, 36},   {0xD5, 12, 37},   {0xD6, 12, 38},   {0xD7, 12, 39},   {0x6C, 12, 40},   {0x6D, 12, 41},
    {0xDA, 12, 42},   {0xDB, 12, 43},   {0x54, 12, 44},   {0x55, 12, 45},   {0x56, 12, 46},   {0x57, 12, 47},
    {0x64, 12, 48},   {0x65, 12, 49},   {0x52, 12, 50},   {0x53, 12, 51},   {0x24, 12, 52},   {0x37, 12, 53},
    {0x38, 12, 54},   {0x27, 12, 55},   {0x28, 12, 56},   {0x58, 12, 57},   {0x59, 12, 58},   {0x2B, 12, 59},
    {0x2C, 12, 60},   {0x5A, 12, 61},   {0x66, 12, 62},   {0x67, 12, 63},   {0x0F, 10, 64},   {0xC8, 12, 128},
    {0xC9, 12, 192},  {0x5B, 12, 256},  {0x33, 12, 320},  {0x34, 12, 384},  {0x35, 12, 448},  {0x6C, 13, 512},
    {0x6D, 13, 576},  {0x4A, 13, 640},  {0x4B, 13, 704},  {0x4C, 13, 768},  {0x4D, 13, 832},  {0x72, 13, 896},
    {0x73, 13, 960},  {0x74, 13, 1024}, {0x75, 13, 1088}, {0x76, 13, 1152}, {0x77, 13, 1216}, {0x52, 13, 1280},
    {0x53, 13, 1344}, {0x54, 13, 1408}, {0x55, 13, 1472}, {0x5A, 13, 1536}, {0x5B, 13, 1600}, {0x64, 13, 1664},
    {0x65, 13, 1728},
};

// Make-up codes of 1792 and above, the same for both colours.
constexpr Code kExtended[] = {
    {0x08, 11, 1792}, {0x0C, 11, 1856}, {0x0D, 11, 1920}, {0x12, 12, 1984}, {0x13, 12, 2048},
    {0x14, 12, 2112}, {0x15, 12, 2176}, {0x16, 12, 2240}, {0x17, 12, 2304}, {0x1C, 12, 2368},
    {0x1D, 12, 2432}, {0x1E, 12, 2496}, {0x1F, 12, 2560},
};

constexpr int kPeek = 13;
constexpr int16_t kBad = -1;
constexpr int16_t kEol = -2;

struct Slot {
    int16_t run = kBad;
    uint8_t len = 0;
};

using Table = std::array<Slot, 1 << kPeek>;

void enter(Table& t, const Code& c) {
    int free = kPeek - c.len;
    for (uint32_t rest = 0; rest < (1u << free); ++rest) {
        t[(uint32_t{c.bits} << free) | rest] = {c.run, c.len};
    }
}

const Table& table(bool black) {
    static const std::array<Table, 2> tables = [] {
        std::array<Table, 2> t;
        for (const Code& c : kWhite) {
            enter(t[0], c);
        }
        for (const Code& c : kBlack) {
            enter(t[1], c);
        }
        for (Table& one : t) {
            for (const Code& c : kExtended) {
                enter(one, c);
            }
            enter(one, {1, 12, kEol});
        }
        return t;
    }();
    return tables[black ? 1 : 0];
}

enum class Mode { kPass, kHorizontal, kVertical, kBad, kEol };

class Bits {
  public:
    Bits(const uint8_t* p, size_t n) : p_(p), n_(n) {
    }
    // The next `k` bits (k <= 24), zeros past the end.
    uint32_t peek(int k) const {
        uint32_t v = 0;
        size_t byte = pos_ >> 3;
        for (int i = 0; i < 4; ++i) {
            v = (v << 8) | (byte + i < n_ ? p_[byte + i] : 0);
        }
        return (v << (pos_ & 7)) >> (32 - k);
    }
    void skip(size_t k) {
        pos_ += k;
    }
    bool at_end() const {
        return pos_ >= n_ * 8;
    }
    void align() {
        pos_ = (pos_ + 7) & ~size_t{7};
    }
    size_t pos() const {
        return pos_;
    }
    void seek(size_t pos) {
        pos_ = pos;
    }

  private:
    const uint8_t* p_;
    size_t n_;
    size_t pos_ = 0;
};

class Decoder {
  public:
    Decoder(const uint8_t* data, size_t size, const CcittOptions& o, int width)
        : bits_(data, size), o_(o), width_(width) {
        ref_.assign(4, width); // the row above the first is all white
        cur_.reserve(static_cast<size_t>(width) + 8);
    }

    // Decodes the next row into cur_; `end` is set (and true returned) when the data ends cleanly.
    bool row(bool& end, std::string& why) {
        end = false;
        bool two_d = o_.coding == CcittCoding::kT6;
        if (o_.coding == CcittCoding::kT4) {
            int eols = 0;
            while (eol_next()) {
                ++eols;
                if (o_.two_dimensional) {
                    two_d = bits_.peek(1) == 0;
                    bits_.skip(1);
                }
            }
            if (eols >= 2 && !first_row_) {
                end = true; // return to control: the end of the page
                return true;
            }
        } else if (o_.coding == CcittCoding::kT6 && bits_.peek(12) == 1) {
            end = true; // end of facsimile block
            return true;
        }
        first_row_ = false;
        if (bits_.at_end()) {
            end = true;
            return true;
        }
        cur_.clear();
        bool ok = two_d ? row_2d(why) : row_1d(why);
        if (o_.coding == CcittCoding::kModifiedHuffman) {
            bits_.align();
        }
        if (ok) {
            ref_ = cur_;
            ref_.insert(ref_.end(), 4, width_);
        }
        return ok;
    }

    const std::vector<int>& changes() const {
        return cur_;
    }

  private:
    // An EOL (at least 11 zeros, any fill included, then a one) is taken when it comes next.
    bool eol_next() {
        size_t start = bits_.pos();
        int zeros = 0;
        while (!bits_.at_end() && bits_.peek(1) == 0) {
            bits_.skip(1);
            ++zeros;
        }
        if (zeros >= 11 && !bits_.at_end()) {
            bits_.skip(1);
            return true;
        }
        if (zeros >= 11) {
            return false; // zero fill up to the end of the data
        }
        bits_.seek(start);
        return false;
    }

    // One run of a colour: make-up codes, then a terminating code.  -1 when no code fits.
    int run(bool black) {
        const Table& t = table(black);
        int total = 0;
        for (;;) {
            if (bits_.at_end()) {
                return -1;
            }
            const Slot& s = t[bits_.peek(kPeek)];
            if (s.run < 0) {
                return -1;
            }
            bits_.skip(s.len);
            total += s.run;
            if (s.run < 64) {
                return total;
            }
            if (total > width_) {
                return -1;
            }
        }
    }

    bool push(int at, std::string& why) {
        int from = cur_.empty() ? 0 : cur_.back();
        if (at < from || at > width_ || cur_.size() > 2 * static_cast<size_t>(width_) + 16) {
            why = "runs do not fit the row";
            return false;
        }
        cur_.push_back(at);
        return true;
    }

    bool row_1d(std::string& why) {
        int a0 = 0;
        bool black = false;
        while (a0 < width_) {
            int r = run(black);
            if (r < 0) {
                why = black ? "bad black run code" : "bad white run code";
                return false;
            }
            a0 += r;
            if (!push(a0, why)) {
                return false;
            }
            black = !black;
        }
        return true;
    }

    Mode mode(int& shift) {
        uint32_t v = bits_.peek(7);
        int len = 0;
        Mode m = Mode::kVertical;
        if (v & 0x40) {
            shift = 0, len = 1;
        } else if ((v >> 4) == 3) {
            shift = 1, len = 3;
        } else if ((v >> 4) == 2) {
            shift = -1, len = 3;
        } else if ((v >> 4) == 1) {
            m = Mode::kHorizontal, len = 3;
        } else if ((v >> 3) == 1) {
            m = Mode::kPass, len = 4;
        } else if ((v >> 1) == 3) {
            shift = 2, len = 6;
        } else if ((v >> 1) == 2) {
            shift = -2, len = 6;
        } else if (v == 3) {
            shift = 3, len = 7;
        } else if (v == 2) {
            shift = -3, len = 7;
        } else {
            return bits_.peek(12) == 1 ? Mode::kEol : Mode::kBad;
        }
        bits_.skip(static_cast<size_t>(len));
        return m;
    }

    bool row_2d(std::string& why) {
        int a0 = -1; // the imaginary white element before the row
        bool black = false;
        size_t first = 0; // the first reference change right of a0
        while (a0 < width_) {
            if (bits_.at_end()) {
                why = "data ends inside a row";
                return false;
            }
            while (ref_[first] <= a0 && first + 3 < ref_.size()) {
                ++first;
            }
            // b1 is a change to the colour opposite a0's: to black at even places, to white at odd ones.
            size_t b = first + ((first & 1) != (black ? 1u : 0u) ? 1 : 0);
            int b1 = ref_[b], b2 = ref_[b + 1];
            int shift = 0;
            switch (mode(shift)) {
            case Mode::kPass:
                a0 = b2;
                break;
            case Mode::kHorizontal: {
                int r1 = run(black);
                int r2 = r1 < 0 ? -1 : run(!black);
                if (r2 < 0) {
                    why = "bad run code in horizontal mode";
                    return false;
                }
                int a1 = std::max(a0, 0) + r1;
                if (!push(a1, why) || !push(a1 + r2, why)) {
                    return false;
                }
                a0 = a1 + r2;
                break;
            }
            case Mode::kVertical: {
                int a1 = b1 + shift;
                if (a1 < std::max(a0, 0) || !push(a1, why)) {
                    why = "vertical mode leaves the row";
                    return false;
                }
                a0 = a1;
                black = !black;
                break;
            }
            case Mode::kEol:
                why = "end of line inside a row";
                return false;
            case Mode::kBad:
                why = "bad mode code";
                return false;
            }
        }
        return true;
    }

    Bits bits_;
    CcittOptions o_;
    int width_;
    bool first_row_ = true;
    std::vector<int> ref_, cur_;
};

// Paints the black runs (between changes 2k + 1 and 2k + 2, counted from 1) into a zeroed packed row.
void paint(const std::vector<int>& changes, int width, uint8_t* row) {
    for (size_t i = 0; i + 1 <= changes.size(); i += 2) {
        int x0 = changes[i];
        int x1 = i + 1 < changes.size() ? changes[i + 1] : width;
        x1 = std::min(x1, width);
        for (int x = x0; x < x1;) {
            if ((x & 7) == 0 && x + 8 <= x1) {
                row[x >> 3] = 0xFF;
                x += 8;
            } else {
                row[x >> 3] = static_cast<uint8_t>(row[x >> 3] | (0x80 >> (x & 7)));
                ++x;
            }
        }
    }
}

} // namespace

bool ccitt_decode(const uint8_t* data, size_t size, const CcittOptions& options, int width, int rows, uint8_t* out,
                  int& rows_done, std::string& message) {
    rows_done = 0;
    if (width <= 0) {
        message = "fax rows have no width";
        return false;
    }
    size_t row_bytes = (static_cast<size_t>(width) + 7) / 8;
    Decoder d(data, size, options, width);
    while (rows_done < rows) {
        bool end = false;
        std::string why;
        if (!d.row(end, why)) {
            message = "fax data broken in row " + std::to_string(rows_done + 1) + " (" + why + ")";
            return false;
        }
        if (end) {
            break;
        }
        uint8_t* row = out + static_cast<size_t>(rows_done) * row_bytes;
        std::memset(row, 0, row_bytes);
        paint(d.changes(), width, row);
        ++rows_done;
    }
    return true;
}

} // namespace trazel::images
