#pragma once
// Shared helpers of the photoplot tests: a board Document built through the model, the output of one
// writer split into lines, and a small reader of the Gerber we write, so geometry can be checked by
// position rather than by text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "cam/photoplot.h"
#include "model/model.h"
#include "model/setup_directives.h"

namespace camtest {

using namespace trazel;
using model::Coord;
using model::Ref;

// Thousandths of an inch to units, rounded as the file readers round them.
inline Coord mil(int64_t m) {
    return model::mils_to_units(m);
}

inline std::vector<std::string> split_lines(const std::string& s) {
    std::vector<std::string> v;
    size_t p = 0;
    while (p < s.size()) {
        size_t e = s.find("\r\n", p);
        if (e == std::string::npos) {
            v.push_back(s.substr(p));
            break;
        }
        v.push_back(s.substr(p, e - p));
        p = e + 2;
    }
    return v;
}

struct Board : ::testing::Test {
    model::Model m;
    model::Document* d = nullptr;

    void SetUp() override {
        d = model::NewDocument("C:\\work\\board.pcb");
        ASSERT_NE(d, nullptr);
        // A two-sided board: silk, mask, copper top and bottom, a ground plane.
        for (const char* l : {"-y0:00000000,00000000,0,0,Pad Master", "-y1:00FFFFFF,00000000,0,1,Top Silk",
                              "-y2:00FF00FF,00000000,1,2,Top Mask", "-y3:00FF0000,00000000,2,3,Top Side",
                              "-y4:00808080,00000000,3,4,GND", "-y5:00FF8000,00000000,5,5,Top Paste",
                              "-y12:000000FF,00000000,10,12,Bottom Side", "-y13:00FF00FF,00000000,9,13,Bottom Mask",
                              "-y14:00FFFFFF,00000000,8,14,Bottom Silk", "-y15:00AAAAAA,00000000,7,15,Drawing"}) {
            model::ApplyDirective(s(), l);
        }
    }
    model::Setup& s() {
        return d->setup;
    }
    Ref ring() {
        return d->ring();
    }

    Ref line(int layer, Coord w, Coord x1, Coord y1, Coord x2, Coord y2, Ref into = model::kNone) {
        return model::MakeItem(into ? into : ring(), model::kLine, static_cast<uint8_t>(layer),
                               static_cast<uint16_t>(w), x1, y1, x2, y2);
    }
    Ref pad(int layer, int type, Coord x, Coord y, Coord w, Coord h, Coord hole, model::Angle angle = 0,
            Ref into = model::kNone) {
        Ref r = model::MakeItem(into ? into : ring(), model::kPad, static_cast<uint8_t>(layer),
                                static_cast<uint16_t>(type), x, y, 0, 0);
        model::Node& n = model::node(r);
        n.pad.x0 = x;
        n.pad.y0 = y;
        n.pad.width = static_cast<model::Length>(w);
        n.pad.height = static_cast<model::Length>(h);
        n.pad.hole = static_cast<model::Length>(hole);
        n.pad.angle = angle;
        n.pad.pin = 0;
        return r;
    }
    Ref arc(int layer, Coord w, Coord x, Coord y, Coord r, model::Angle start, model::Angle sweep) {
        Ref a = model::MakeItem(ring(), model::kArc, static_cast<uint8_t>(layer), static_cast<uint16_t>(w), x, y, r, 0);
        model::Node& n = model::node(a);
        n.arc.x0 = x;
        n.arc.y0 = y;
        n.arc.radius = r;
        n.arc.start = start;
        n.arc.sweep = sweep;
        n.arc.ellipse = 0;
        n.arc.angle = 0;
        return a;
    }
    Ref text(int layer, Coord height, Coord x, Coord y, std::string_view t) {
        Ref r = model::MakeItem(ring(), model::kText, static_cast<uint8_t>(layer), static_cast<uint16_t>(height), x, y,
                                0, 0);
        model::Node& n = model::node(r);
        n.text.x0 = x;
        n.text.y0 = y;
        n.text.length = 1;
        n.text.angle = 0;
        n.text.anchor_font = 0;
        model::SetText(r, t);
        return r;
    }
    Ref solid(int layer, std::initializer_list<model::Point> pts) {
        Ref r = model::MakeItem(ring(), model::kLine, static_cast<uint8_t>(layer), 0, 0, 0, 0, 0);
        for (const model::Point& p : pts) {
            model::add_vertex(r, p.x, p.y);
        }
        return r;
    }
    // A "-dy" row, as the directive gives it.
    model::GerberEntry row(std::string_view directive) {
        model::Setup tmp;
        model::ApplyDirective(tmp, "-dy");
        model::ApplyDirective(tmp, directive);
        return tmp.gerber[0];
    }

    cam::PlotContext prepare() {
        cam::PlotContext ctx;
        cam::DateTime t;
        t.year = 2024, t.month = 3, t.day = 7, t.hour = 14, t.minute = 5;
        cam::prepare_plot(ctx, s(), ring(), d->name(), t);
        return ctx;
    }
    std::vector<std::string> gerber(std::string_view directive, std::string_view file = "board.top") {
        cam::PlotContext ctx = prepare();
        cam::TextOut out;
        cam::write_gerber_file(ctx, row(directive), file, out);
        return split_lines(out.data);
    }
};

// What a Gerber file does, read back: strokes and flashes with the aperture they use.
struct Trace {
    struct Draw {
        int64_t x1, y1, x2, y2;
        int code;
    };
    struct Flash {
        int64_t x, y;
        int code;
    };
    std::map<int, std::string> apertures; // code -> definition after "%ADD<code>"
    std::vector<Draw> draws;
    std::vector<Flash> flashes;
    std::vector<std::string> errors;

    explicit Trace(const std::vector<std::string>& lines) {
        int code = 0, mode = 2;
        int64_t x = 0, y = 0;
        bool header_done = false;
        for (const std::string& l : lines) {
            if (l.rfind("%ADD", 0) == 0) {
                size_t i = 4;
                int c = 0;
                while (i < l.size() && std::isdigit(static_cast<unsigned char>(l[i]))) {
                    c = c * 10 + (l[i++] - '0');
                }
                apertures[c] = l.substr(i, l.size() - i - 2);
                continue;
            }
            if (l.empty() || l[0] == '%') {
                continue;
            }
            header_done = true;
            if (l == "M02*") {
                break;
            }
            int64_t nx = x, ny = y;
            int dcode = -1;
            size_t i = 0;
            while (i < l.size() && l[i] != '*') {
                char k = l[i++];
                size_t j = i;
                if (j < l.size() && l[j] == '-') {
                    ++j;
                }
                while (j < l.size() && std::isdigit(static_cast<unsigned char>(l[j]))) {
                    ++j;
                }
                int64_t v = std::strtoll(l.substr(i, j - i).c_str(), nullptr, 10);
                i = j;
                if (k == 'X') {
                    nx = v;
                } else if (k == 'Y') {
                    ny = v;
                } else if (k == 'D') {
                    dcode = static_cast<int>(v);
                    if (i < l.size() && l[i] == '[') {
                        i = l.find(']', i) + 1;
                    }
                } else {
                    errors.push_back("unexpected: " + l);
                    break;
                }
            }
            if (dcode >= 10) {
                code = dcode;
                if (!apertures.count(code)) {
                    errors.push_back("undefined aperture: " + l);
                }
                continue;
            }
            if (dcode >= 1) {
                mode = dcode;
            }
            if (mode == 1) {
                draws.push_back(Draw{x, y, nx, ny, code});
            } else if (mode == 3) {
                flashes.push_back(Flash{nx, ny, code});
            }
            x = nx;
            y = ny;
        }
        (void)header_done;
    }
    int code_of(const std::string& def) const {
        for (auto& [c, d] : apertures) {
            if (d == def) {
                return c;
            }
        }
        return 0;
    }
};

} // namespace camtest
