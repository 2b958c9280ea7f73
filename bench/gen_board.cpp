// gen_board N out.pcb [--seed S]: a synthetic board of N components for the Data file benchmark, built
// through the model API and written by the real writer.  Through-hole and surface-mount packages in a
// grid, nets of two to five pads routed with two-segment tracks (some through vias, some with a rounded
// corner), copper pours as Solids, silk outlines and reference texts.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "model/chooser.h"
#include "model/model.h"
#include "model/setup_directives.h"

using namespace trazel::model;

namespace {

Coord mils(int m) {
    return static_cast<Coord>((static_cast<int64_t>(m) * 65536 + 500) / 1000);
}

struct Package {
    const char* name;
    const char* prefix;
    int pins;
    bool smd;
    int pitch;     // mils
    int row_space; // mils between the two rows (0: one row)
    int pad_w, pad_h, hole;
};

constexpr Package kPackages[] = {
    {"DIP8", "U", 8, false, 100, 300, 60, 60, 35}, {"DIP14", "U", 14, false, 100, 300, 60, 60, 35},
    {"TO92", "Q", 3, false, 50, 0, 50, 70, 30},    {"AXIAL400", "R", 2, false, 400, 0, 60, 60, 35},
    {"0603", "C", 2, true, 60, 0, 30, 35, 0},      {"0805", "R", 2, true, 80, 0, 45, 55, 0},
    {"SOIC8", "U", 8, true, 50, 220, 24, 70, 0},   {"SOIC14", "U", 14, true, 50, 220, 24, 70, 0},
    {"QFP32", "U", 32, true, 32, 300, 16, 60, 0},  {"SOT23", "Q", 3, true, 75, 0, 35, 40, 0},
    {"HDR1X4", "J", 4, false, 100, 0, 70, 70, 40}, {"RADIAL200", "C", 2, false, 200, 0, 70, 70, 38},
};
constexpr const char* kValues[] = {"10k", "4k7", "100nF", "1uF", "74HC00", "LM358", "BC547", "HDR", "220R", "22pF"};

struct PadRef {
    Ref pad;
    Coord x, y;
    bool smd;
};

const char* kSetup[] = {
    "-gc.01,.012,.008,.01,.012,.01,.011,GND,,5,5",
    "-gd.1,000000,303030,FFFFFF,FFFF00",
    "-gm3,2,3,0",
    "-gs0.025\",1,1,5,10,25,50,100",
    "-y3",
    "-y0:00FFFF00,00000000,0,0,Pad Master",
    "-y1:00FFFFFF,00000000,0,1,Top Silk",
    "-y2:00FF00FF,00000000,1,2,Top Mask",
    "-y3:00FF0000,00000000,18,3,Top Side",
    "-y4:000000FF,00000000,42,4,Bottom Side",
    "-y5:00808000,00000000,3,5,GND Plane",
    "-y6:00800080,00000000,9,6,Bottom Mask",
    "-y7:00C0C0C0,00000000,8,7,Bottom Silk",
    "-y8:0000FF00,00000000,7,8,Board Outline",
    "-dp.005,.002,.025,.02,.002",
    "-dy",
    "-dyTSS:6,1",
    "-dyTSM:2,2",
    "-dyTOP:0,3",
    "-dyBOT:8,4",
    "-dyGND:1,5",
    "-dyBSM:10,6",
    "-dyBSS:14,7",
    "-dyDRL:4",
    "-dyLST:7",
    "-il.012",
    "-iv0,.04,.02",
    "-ip1,0,.07,.07,.04",
    "-it.05",
};

void silk_box(Ref ring, Coord x1, Coord y1, Coord x2, Coord y2) {
    MakeItem(ring, kLine, 1, static_cast<uint16_t>(mils(8)), x1, y1, x2, y1);
    MakeItem(ring, kLine, 1, static_cast<uint16_t>(mils(8)), x2, y1, x2, y2);
    MakeItem(ring, kLine, 1, static_cast<uint16_t>(mils(8)), x2, y2, x1, y2);
    MakeItem(ring, kLine, 1, static_cast<uint16_t>(mils(8)), x1, y2, x1, y1);
}

Ref text(Ref ring, uint8_t layer, Coord x, Coord y, int height_mils, const std::string& s) {
    Ref t = MakeItem(ring, kText, layer, static_cast<uint16_t>(mils(height_mils)), x, y,
                     mils(height_mils) * 4 / 5 * static_cast<Coord>(s.size()), 0);
    SetText(t, s);
    return t;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: gen_board N out.pcb [--seed S]\n");
        return 2;
    }
    long n = std::strtol(argv[1], nullptr, 10);
    std::string out = argv[2];
    unsigned seed = 1;
    for (int k = 3; k + 1 < argc; ++k) {
        if (std::string(argv[k]) == "--seed") {
            seed = static_cast<unsigned>(std::strtoul(argv[++k], nullptr, 10));
        }
    }
    if (n <= 0) {
        std::fprintf(stderr, "gen_board: N must be a positive number of components\n");
        return 2;
    }
    Model m;
    Document* d = NewDocument(out);
    apply_template(Template::ChooserDefaults);
    for (const char* line : kSetup) {
        ApplyDirective(line);
    }
    d->setup.format_code = 'C';
    Ref ring = d->ring();
    std::mt19937 rng(seed);
    auto pick = [&](int below) { return static_cast<int>(rng() % static_cast<unsigned>(below)); };

    const int cols = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(n))));
    const Coord cell = mils(600);
    std::vector<PadRef> pads;
    std::vector<int> counters(26, 0);
    for (long c = 0; c < n; ++c) {
        const Package& p = kPackages[pick(static_cast<int>(std::size(kPackages)))];
        Coord ox = static_cast<Coord>(c % cols) * cell + mils(200);
        Coord oy = static_cast<Coord>(c / cols) * cell + mils(200);
        std::string ref = std::string(p.prefix) + std::to_string(++counters[p.prefix[0] - 'A']);
        std::string params =
            std::string(p.name) + '\x7F' + ref + '\x7F' + kValues[pick(static_cast<int>(std::size(kValues)))];
        Ref comp = make_component(ring, 0, pick(8) == 0 ? 16384 : 0, params);
        Ref members = member_ring(comp);
        int per_row = p.row_space ? (p.pins + 1) / 2 : p.pins;
        Coord w = mils(p.pitch * (per_row - 1));
        Coord h = mils(p.row_space);
        for (int pin = 0; pin < p.pins; ++pin) {
            bool second = p.row_space && pin >= per_row;
            int col = second ? p.pins - 1 - pin : pin;
            Coord x = ox + mils(p.pitch * col), y = oy + (second ? h : 0);
            uint16_t type = p.smd ? 6 : (pin == 0 ? 2 : 1);
            if (p.smd && p.row_space) {
                type = 5;
            }
            Ref pad = MakeItem(members, kPad, p.smd ? 3 : 0, type, x, y, 0, 0);
            node(pad).pad.width = static_cast<Length>(mils(p.pad_w));
            node(pad).pad.height = static_cast<Length>(mils(p.pad_h));
            node(pad).pad.hole = static_cast<Length>(mils(p.hole));
            SetPin(pad, std::to_string(pin + 1));
            pads.push_back({pad, x, y, p.smd});
        }
        Coord m40 = mils(40);
        silk_box(members, ox - m40, oy - m40 - mils(p.pad_h / 2), ox + w + m40, oy + h + m40 + mils(p.pad_h / 2));
        if (p.pins > 3) {
            Ref a = MakeItem(members, kArc, 1, static_cast<uint16_t>(mils(8)), ox - mils(70), oy, mils(15), 0);
            node(a).arc.sweep = 0; // a full circle marks pin 1
        }
        text(members, 1, ox - m40, oy + h + mils(60), 50, "&1");
        text(members, 1, ox - m40, oy - mils(110), 40, "&2");
        node(members).box.x1 = ox;
        node(members).box.y1 = oy;
        close_component(comp);
    }

    // Nets: runs of two to five consecutive pads share a Signal; about a fifth go to GND or VCC.
    long nets = 0;
    const uint16_t track = static_cast<uint16_t>(mils(12));
    for (size_t k = 0; k < pads.size();) {
        size_t len = 2 + static_cast<size_t>(pick(4));
        len = std::min(len, pads.size() - k);
        int kind = pick(10);
        std::string name = kind == 0 ? "GND" : kind == 1 ? "VCC" : "N$" + std::to_string(++nets);
        for (size_t j = k; j < k + len; ++j) {
            AttachSignal(pads[j].pad, name);
        }
        for (size_t j = k + 1; j < k + len; ++j) {
            const PadRef& a = pads[j - 1];
            const PadRef& b = pads[j];
            int style = pick(20);
            uint8_t second_layer = 3;
            if (style < 2 && !a.smd && !b.smd) {
                // Through a via at the corner, the second leg on the bottom.
                Ref via = MakeItem(ring, kPad, 0, 3, b.x, a.y, 0, 0);
                node(via).pad.width = node(via).pad.height = static_cast<Length>(mils(40));
                node(via).pad.hole = static_cast<Length>(mils(20));
                AttachSignal(via, name);
                second_layer = 4;
            }
            if (style == 3 && a.x != b.x && a.y != b.y) {
                // A rounded corner: the legs stop short and a quarter arc joins them.
                Coord r = mils(25);
                Coord sx = b.x > a.x ? -r : r;
                Coord sy = b.y > a.y ? r : -r;
                Ref l1 = MakeItem(ring, kLine, 3, track, a.x, a.y, b.x + sx, a.y);
                Ref l2 = MakeItem(ring, kLine, 3, track, b.x, a.y + sy, b.x, b.y);
                Ref arc = MakeItem(ring, kArc, 3, track, b.x + sx, a.y + sy, r, 0);
                node(arc).arc.start = static_cast<Angle>(pick(4) * 16384);
                node(arc).arc.sweep = 16384;
                AttachSignal(l1, name);
                AttachSignal(l2, name);
                AttachSignal(arc, name);
                continue;
            }
            Ref l1 = MakeItem(ring, kLine, 3, track, a.x, a.y, b.x, a.y);
            Ref l2 = MakeItem(ring, kLine, second_layer, track, b.x, a.y, b.x, b.y);
            AttachSignal(l1, name);
            AttachSignal(l2, name);
        }
        k += len;
    }

    // Pours on the plane layer, one per 200 components, and a few board texts.
    Coord side = static_cast<Coord>(cols) * cell;
    for (long k = 0; k < std::max(1L, n / 200); ++k) {
        Ref s = MakeItem(ring, kLine, 5, 0, 0, 0, 0, 0);
        Coord cx = static_cast<Coord>(pick(std::max(1, cols))) * cell,
              cy = static_cast<Coord>(pick(std::max(1, cols))) * cell;
        for (int v = 0; v < 12; ++v) {
            static const int kDx[12] = {0, 300, 600, 900, 1200, 1200, 1200, 900, 600, 300, 0, 0};
            static const int kDy[12] = {0, -50, 0, -50, 0, 400, 800, 850, 800, 850, 800, 400};
            add_vertex(s, cx + mils(kDx[v]), cy + mils(kDy[v]));
        }
    }
    for (int k = 0; k < 4; ++k) {
        Ref l = MakeItem(ring, kLine, 8, static_cast<uint16_t>(mils(10)), k == 1 || k == 2 ? side : 0,
                         k >= 2 ? side : 0, k == 0 || k == 1 ? side : 0, k == 1 || k == 2 ? side : 0);
        (void)l;
    }
    text(ring, 1, mils(200), side + mils(100), 80, "SYNTHETIC BENCHMARK BOARD");
    text(ring, 7, mils(200), side + mils(100), 60, "BOTTOM");

    // Components in the order of their keys, as reading would sort them.
    std::vector<std::pair<std::array<char, 128>, Ref>> comps;
    for_each_item(ring, [&](Ref r) {
        if (node(r).item_kind() == kComponent) {
            comps.emplace_back(ComponentKey(r), r);
        }
    });
    std::stable_sort(comps.begin(), comps.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [key, r] : comps) {
        Unlink(r);
    }
    Ref anchor = first_item(ring);
    for (auto& [key, r] : comps) {
        InsertBefore(r, anchor == kNone ? ring : anchor);
    }

    long items = 0;
    walk_tree(ring, [&](Ref, int) { ++items; });
    FormatTable formats;
    register_model_formats(formats);
    std::string why;
    if (!SaveDocumentFile(formats, out, 'C', &why)) {
        std::fprintf(stderr, "gen_board: cannot write \"%s\": %s\n", out.c_str(), why.c_str());
        return 1;
    }
    std::printf("gen_board: %ld components, %ld Items, %zu Signals -> %s\n", n, items, m.signal_index.size(),
                out.c_str());
    return 0;
}
