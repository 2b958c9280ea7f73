// A page typeset by groff for its DVI device (roman, bold, italic and typewriter text, \l and \L rules,
// \D lines, a circle and a polygon, a tbl table with all its boxes): groff's intermediate output of the
// same page says where every word, rule and line is.  Each word must show ink inside its box, each rule
// must cover its pixels, each line must pass through its points, and nothing may be inked anywhere
// else (the margins included).  Word widths come from groff's own font files, not from our table.
#include <algorithm>
#include <cmath>
#include <map>

#include "gerbv_shell.h"
#include "images/picture_kit.h"

namespace {

using namespace trazel;

const std::string kFontDir = "/usr/share/groff/current/font/devdvi/";

constexpr const char* kPage = R"(.ll 6i
.ft R
Pixel images may come from a typeset page: the words set in roman, at the places the
typesetter chose, with rules and lines drawn between them.  Each line is justified,
so the spaces between the words differ from line to line.
.sp
.ft B
Bold words are wider than roman ones, and the checks follow them.
.sp
.ft I
Italic words lean, although the ink still stays within the box of every word.
.sp
.ft CW
Typewriter text: every character takes the same width.
.ft R
.sp
\l'2i'
.br
\L'0.5i'\h'0.5i'\l'1.5i'
.sp 0.5i
\D'l 1i 0.5i'\h'0.5i'\D'c 0.5i'\h'0.5i'\D'p 0.5i 0 0 0.5i'
.sp 1i
.TS
allbox;
l c r.
one	two	three
four	five	six
.TE
)";

// Glyph widths of one groff font file, by glyph name, in the font file's units, and its slant in degrees.
std::map<std::string, long> widths_of(const std::string& font, double& slant) {
    std::ifstream in(kFontDir + font);
    std::map<std::string, long> w;
    std::string line, last;
    bool charset = false;
    while (std::getline(in, line)) {
        if (line == "charset") {
            charset = true;
            continue;
        }
        std::istringstream f(line);
        std::string name, metrics;
        if (!charset && line.rfind("slant ", 0) == 0) {
            slant = std::stod(line.substr(6));
        }
        if (!charset || !(f >> name >> metrics)) {
            continue;
        }
        w[name] = metrics == "\"" ? w[last] : std::stol(metrics.substr(0, metrics.find(',')));
        last = name;
    }
    return w;
}

struct Box {
    double x0, y0, x1, y1; // pixels
};
using Segment = Box; // from (x0, y0) to (x1, y1)

// What the intermediate output puts on the first page, in pixels.
struct Expected {
    std::vector<Box> words, rules;
    std::vector<Segment> lines;
    std::vector<double> word_sizes; // font size in pixels, per word
    std::vector<double> word_leans; // how far a slanted font's tops lean right, in pixels
    int res = 0;
};

Expected read_intermediate(const std::string& path) {
    Expected e;
    std::ifstream in(path);
    std::map<int, std::string> font_names;
    std::map<std::string, std::map<std::string, long>> widths;
    std::map<std::string, double> slants;
    long unitwidth = 131072, h = 0, v = 0, size = 1000;
    std::string font;
    int page = 0;
    auto px = [&](double u) { return u * 300.0 / e.res; };
    auto glyph_width = [&](const std::string& name) {
        auto& w = widths[font];
        auto it = w.find(name);
        return it == w.end() ? 0L : std::lround(static_cast<double>(it->second) * size / unitwidth);
    };
    auto word = [&](long x0, long x1) {
        double s = px(size / 100.0 * e.res / 72.27);
        e.words.push_back({px(x0), px(v) - 0.75 * s, px(x1), px(v) + 0.3 * s});
        e.word_sizes.push_back(s);
        e.word_leans.push_back(std::tan(slants[font] * 3.14159265 / 180) * 0.75 * s);
    };
    std::string line;
    while (std::getline(in, line) && page <= 1) {
        std::istringstream s(line);
        char c;
        while (s >> c) {
            long n = 0, m = 0;
            std::string text;
            if (c == 'H' || c == 'h' || c == 'V' || c == 'v') {
                s >> n;
                (c == 'H' ? h = n : c == 'h' ? h += n : c == 'V' ? v = n : v += n);
            } else if (c == 'f') {
                s >> n;
                font = font_names[static_cast<int>(n)];
                if (!widths.count(font)) {
                    widths[font] = widths_of(font, slants[font]);
                }
            } else if (c == 's') {
                s >> size;
            } else if (c == 'p') {
                s >> page;
            } else if (c == 'n') {
                s >> n >> m;
            } else if (c == 't' || c == 'u') {
                if (c == 'u') {
                    s >> m;
                }
                s >> text;
                long start = h;
                for (char g : text) {
                    h += glyph_width(std::string(1, g)) + m;
                }
                word(start, h);
            } else if (c == 'c' || c == 'C') {
                if (c == 'c') {
                    s >> std::noskipws >> c >> std::skipws;
                    text = std::string(1, c);
                } else {
                    s >> text;
                }
                word(h, h + glyph_width(text));
            } else if (c >= '0' && c <= '9') {
                char d = 0, g = 0;
                s >> std::noskipws >> d >> g >> std::skipws;
                h += (c - '0') * 10 + (d - '0');
                word(h, h + glyph_width(std::string(1, g)));
            } else if (c == 'x') {
                std::string what;
                s >> what;
                if (what == "res") {
                    s >> e.res;
                } else if (what == "font") {
                    s >> n >> text;
                    font_names[static_cast<int>(n)] = text;
                }
                break;
            } else if (c == 'D') {
                char k = 0;
                s >> k;
                std::vector<long> a;
                while (s >> n) {
                    a.push_back(n);
                }
                if (k == 'F' || k == 'f') {
                    // fill colours: nothing placed
                } else if (k == 'R' && a.size() == 2) {
                    e.rules.push_back({px(std::min(h, h + a[0])), px(std::min(v, v + a[1])), px(std::max(h, h + a[0])),
                                       px(std::max(v, v + a[1]))});
                    h += a[0], v += a[1];
                } else if ((k == 'l' || k == 'p') && a.size() % 2 == 0) {
                    long x = h, y = v;
                    for (size_t i = 0; i < a.size(); i += 2) {
                        e.lines.push_back({px(x), px(y), px(x + a[i]), px(y + a[i + 1])});
                        x += a[i], y += a[i + 1];
                    }
                    if (k == 'p') {
                        e.lines.push_back({px(x), px(y), px(h), px(v)});
                    }
                    h = x, v = y;
                } else if (k == 'c' && a.size() == 1) {
                    // The circle as 48 chords, its leftmost point here.
                    double r = a[0] / 2.0, cx = h + r;
                    for (int i = 0; i < 48; ++i) {
                        double t0 = i * 3.14159265 / 24, t1 = (i + 1) * 3.14159265 / 24;
                        e.lines.push_back({px(cx - r * std::cos(t0)), px(v + r * std::sin(t0)),
                                           px(cx - r * std::cos(t1)), px(v + r * std::sin(t1))});
                    }
                    h += a[0];
                } else {
                    ADD_FAILURE() << "drawing command not expected: " << line;
                }
                break;
            } else if (c != 'w') {
                break; // m (colours), # and the rest: nothing placed
            }
        }
    }
    return e;
}

double distance(const Segment& l, double x, double y) {
    double dx = l.x1 - l.x0, dy = l.y1 - l.y0, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? std::clamp(((x - l.x0) * dx + (y - l.y0) * dy) / len2, 0.0, 1.0) : 0;
    return std::hypot(x - l.x0 - t * dx, y - l.y0 - t * dy);
}

} // namespace

TEST(DviPeers, GroffPageInkWhereGroffPutsIt) {
    // (Not interop::have: gcc 12 warns wrongly of the string it builds once inlined here.)
    if (std::system("command -v groff >/dev/null 2>&1") != 0 || !std::filesystem::exists(kFontDir + "TR")) {
        GTEST_SKIP() << "groff with its DVI fonts (Debian package groff) is not installed";
    }
    interop::ScratchDir dir("trazel_dvi_");
    std::ofstream(dir.path / "page.tr") << kPage;
    ASSERT_EQ(interop::run("(cd " + dir.path.string() +
                               " && groff -t -Tdvi page.tr > page.dvi && groff -t -Z -Tdvi page.tr > page.z)",
                           dir.path)
                  .status,
              0);
    Expected e = read_intermediate((dir.path / "page.z").string());
    ASSERT_EQ(e.res, 57816); // groff's DVI unit: 1/57816 inch
    EXPECT_GT(e.words.size(), 50u);
    EXPECT_GT(e.rules.size(), 10u);
    EXPECT_GE(e.lines.size(), 48u + 10u);

    std::string bytes = picture_kit::slurp_file(dir.path / "page.dvi");
    ASSERT_TRUE(images::dvi_accepts(bytes));
    picture_kit::Decoded d = picture_kit::decode_with(images::decode_dvi, bytes);
    ASSERT_TRUE(d.ok) << d.message;
    EXPECT_EQ(d.p.note, "");
    const images::Picture& p = d.p;
    auto ink = [&](int x, int y) {
        return x >= 0 && y >= 0 && x < p.width && y < p.height &&
               p.pixels[static_cast<size_t>(y) * p.row_bytes() + x] == 0;
    };
    auto ink_near = [&](double x, double y, int r) {
        for (int dy = -r; dy <= r; ++dy) {
            for (int dx = -r; dx <= r; ++dx) {
                if (ink(static_cast<int>(std::floor(x)) + dx, static_cast<int>(std::floor(y)) + dy)) {
                    return true;
                }
            }
        }
        return false;
    };

    for (size_t i = 0; i < e.words.size(); ++i) {
        const Box& b = e.words[i];
        int count = 0;
        for (int y = static_cast<int>(b.y0); y <= static_cast<int>(b.y1); ++y) {
            for (int x = static_cast<int>(b.x0); x <= static_cast<int>(b.x1); ++x) {
                count += ink(x, y);
            }
        }
        EXPECT_GT(count, 3) << "no ink for word " << i << " at " << b.x0 << "," << b.y1;
    }
    // A rule covers every pixel from its rounded corner over its size rounded up.
    for (const Box& r : e.rules) {
        int x0 = static_cast<int>(std::floor(r.x0 + 0.5)), y1 = static_cast<int>(std::floor(r.y1 + 0.5));
        int w = static_cast<int>(std::ceil(r.x1 - r.x0 - 1e-9)), h = static_cast<int>(std::ceil(r.y1 - r.y0 - 1e-9));
        for (int y = y1 - h + 1; y <= y1; ++y) {
            for (int x = x0; x < x0 + w; ++x) {
                EXPECT_TRUE(ink(x, y)) << "rule pixel " << x << "," << y;
            }
        }
    }
    for (const Segment& l : e.lines) {
        for (double t : {0.0, 0.25, 0.5, 0.75, 1.0}) {
            EXPECT_TRUE(ink_near(l.x0 + t * (l.x1 - l.x0), l.y0 + t * (l.y1 - l.y0), 1))
                << "line at " << l.x0 << "," << l.y0;
        }
    }
    // Nothing anywhere else, the margins included: each inked pixel belongs to a word, a rule or a line.
    int stray = 0;
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            if (!ink(x, y)) {
                continue;
            }
            double cx = x + 0.5, cy = y + 0.5;
            bool ok = false;
            for (size_t i = 0; i < e.words.size() && !ok; ++i) {
                const Box& b = e.words[i];
                double pen = 0.06 * e.word_sizes[i] + 1;
                ok = cx >= b.x0 - pen && cx <= b.x1 + pen + e.word_leans[i] && cy >= b.y0 - pen && cy <= b.y1 + pen;
            }
            for (const Box& r : e.rules) {
                ok = ok || (cx >= r.x0 - 1 && cx <= r.x1 + 2 && cy >= r.y0 - 1 && cy <= r.y1 + 2);
            }
            for (const Segment& l : e.lines) {
                ok = ok || distance(l, cx - 0.5, cy - 0.5) <= 3;
            }
            if (!ok && ++stray <= 5) {
                ADD_FAILURE() << "stray ink at " << x << "," << y;
            }
        }
    }
    EXPECT_EQ(stray, 0);
}
