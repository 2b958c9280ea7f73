// Text views: plain text and byte dump readers, and the plain text writer.
#include "model/text_readers.h"

#include <cstring>
#include <string>

#include "model/datafile.h"
#include "model/model.h"
#include "model/setup_directives.h"
#include "platform/platform.h"

namespace trazel::model {

bool looks_like_text(std::string_view head) {
    std::string_view probe = head.substr(0, 1024);
    for (unsigned char c : probe) {
        bool ok = (c >= 0x20 && c != 0x7F) || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == 0x1A;
        if (!ok) {
            return false;
        }
    }
    return true;
}

Coord text_view_y(int64_t n) {
    int64_t y = -(n * 65536 + 500) / 1000;
    return y < INT32_MIN ? INT32_MIN : static_cast<Coord>(y);
}

namespace {

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}

// One line of a text view; false when the pool ran out.
bool add_line(Ref ring, int64_t n, std::string_view s) {
    Ref t = MakeItem(ring, kText, 0, kTextViewHeight, 0, text_view_y(n),
                     kTextViewCharLength * static_cast<Coord>(s.size()), 0);
    if (t == kNone) {
        return false;
    }
    if (!SetText(t, s)) {
        DeleteItem(t);
        return false;
    }
    return true;
}

// Stops a text view where its lines would leave the coordinate range (about 16 million lines).
bool past_range(int64_t n) {
    return text_view_y(n) < -kCoordLimit;
}

void report_stop(int64_t n, bool memory) {
    platform::P().report(std::string(memory ? "The file is too large for memory" : "The file has too many lines") +
                         ": the text view ends at line " + std::to_string(n) + ".");
}

} // namespace

char read_plain_text(LineReader& in, char) {
    apply_template(Template::LogView);
    Ref ring = M().current->ring();
    int64_t n = 0;
    for (int len; (len = in.ReadLine()) != 0; ++n) {
        if (past_range(n)) {
            report_stop(n, false);
            break;
        }
        if (len < 0) {
            continue;
        }
        std::string_view s = trim_blanks(in.line());
        if (!s.empty() && !add_line(ring, n, s)) {
            report_stop(n, true);
            break;
        }
    }
    return 'Z';
}

char read_byte_dump(LineReader& in, char) {
    apply_template(Template::LogView);
    Ref ring = M().current->ring();
    static const char kHex[] = "0123456789ABCDEF";
    unsigned char b[16];
    char text[96];
    for (int64_t n = 0;; ++n) {
        size_t got = in.ReadBytes(b, sizeof b);
        if (got == 0) {
            break;
        }
        if (past_range(n)) {
            report_stop(n, false);
            break;
        }
        // "00000010  41 42 ... 4F  50 ...  ABC..." : offset, 16 bytes in two groups of 8, the characters.
        std::memset(text, ' ', sizeof text);
        uint64_t offset = static_cast<uint64_t>(n) * 16;
        int w = offset > 0xFFFFFFFFULL ? 12 : 8;
        for (int k = w - 1; k >= 0; --k) {
            text[k] = kHex[offset & 15];
            offset >>= 4;
        }
        int col = w + 2;
        for (size_t k = 0; k < 16; ++k) {
            int at = col + static_cast<int>(k) * 3 + (k >= 8 ? 1 : 0);
            if (k < got) {
                text[at] = kHex[b[k] >> 4];
                text[at + 1] = kHex[b[k] & 15];
            }
        }
        int chars = col + 16 * 3 + 2;
        for (size_t k = 0; k < got; ++k) {
            text[chars + k] = b[k] >= 0x20 && b[k] < 0x7F ? static_cast<char>(b[k]) : '.';
        }
        std::string_view line = trim_blanks(std::string_view(text, static_cast<size_t>(chars) + got));
        if (!add_line(ring, n, line)) {
            report_stop(n, true);
            break;
        }
        if (got < sizeof b) {
            break;
        }
    }
    return 'Z';
}

namespace {

// The line number of a text-view position after `prev`, or -1 when the Text does not sit on one.
int64_t view_line(Coord y, int64_t prev) {
    if (y > 0) {
        return -1;
    }
    int64_t guess = -static_cast<int64_t>(y) * 1000 / 65536;
    for (int64_t c = guess - 1; c <= guess + 1; ++c) {
        if (c > prev && text_view_y(c) == y) {
            return c;
        }
    }
    return -1;
}

} // namespace

bool write_plain_text(OutBuffer& out) {
    const Document& d = *M().current;
    bool text_view = std::strcmp(d.setup.layers[0].name, "TXT") == 0;
    int64_t prev = -1;
    std::string line;
    for_each_item(d.ring(), [&](Ref r) {
        const Node& n = node(r);
        if (n.item_kind() != kText || n.hidden()) {
            return;
        }
        if (text_view && n.layer == 0 && n.text.x0 == 0) {
            int64_t at = view_line(n.text.y0, prev);
            if (at >= 0) {
                for (int64_t k = prev + 1; k < at; ++k) {
                    out.put("\r\n");
                }
                prev = at;
            }
        }
        line = GetText(r);
        out.put(trim_blanks(line));
        out.put("\r\n");
    });
    return !out.failed();
}

} // namespace trazel::model
