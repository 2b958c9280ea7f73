#pragma once
// Boards for the editing tests that go through files and the shell: a two-sided layer set, a writer that
// builds a board in a model of its own and saves it as a Data file, the Data file text of the current
// Document, and a small seeded generator of component boards.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "model/chooser.h"
#include "model/datafile.h"
#include "model/geometry.h"
#include "model/model.h"
#include "model/out_buffer.h"
#include "model/setup_directives.h"

namespace edit_test {

using namespace trazel;
using model::Coord;
using model::node;
using model::Point;
using model::Ref;

// Layer 0 the pad master, 1 top silk, 3 top copper, 4 bottom copper, 7 bottom silk.
constexpr int kTopSilk = 1, kTop = 3, kBottom = 4, kBottomSilk = 7;

inline void apply_board_setup() {
    static const char* const kLines[] = {
        "-gd.1,000000,303030,FFFFFF,FFFF00",
        "-y0:00FFFF00,00000000,0,0,Pad Master",
        "-y1:00FFFFFF,00000000,0,1,Top Silk",
        "-y3:00FF0000,00000000,18,3,Top Side",
        "-y4:000000FF,00000000,42,4,Bottom Side",
        "-y7:00C0C0C0,00000000,8,7,Bottom Silk",
        "-il.012",
    };
    model::apply_template(model::Template::ChooserDefaults);
    for (const char* l : kLines) {
        model::ApplyDirective(l);
    }
    model::M().current->setup.format_code = 'C';
}

// The current Document as the Data file writer puts it.
inline std::string data_file_text() {
    std::string out;
    model::OutBuffer b;
    b.open_memory(&out);
    EXPECT_TRUE(model::WriteDataFile(b));
    EXPECT_TRUE(b.commit());
    return out;
}

// The Item records of a Data file text (from the line that opens them), for comparisons that must not
// depend on settings such as the current layer.
inline std::string item_lines(const std::string& file) {
    size_t p = file.find("Primary Data File:");
    return p == std::string::npos ? file : file.substr(p);
}

inline Ref make_pad(Ref ring, int layer, Coord x, Coord y, uint16_t w, uint16_t h, uint16_t type) {
    Ref p = model::MakeItem(ring, model::kPad, static_cast<uint8_t>(layer), type, x, y, 0, 0);
    node(p).pad.width = w;
    node(p).pad.height = h;
    node(p).pad.hole = (type & 4) ? 0 : 2000;
    return p;
}

inline Ref make_track(Ref ring, int layer, Coord x1, Coord y1, Coord x2, Coord y2, uint16_t width = 800) {
    return model::MakeItem(ring, model::kLine, static_cast<uint8_t>(layer), width, x1, y1, x2, y2);
}

inline Ref make_text(Ref ring, int layer, Coord x, Coord y, uint16_t height, const std::string& s,
                     uint8_t anchor = 0, model::Angle angle = 0) {
    Ref t = model::MakeItem(ring, model::kText, static_cast<uint8_t>(layer), height, x, y,
                            static_cast<Coord>(height) * 4 / 5 * static_cast<Coord>(s.size()), 0);
    node(t).text.anchor_font = anchor;
    node(t).text.angle = angle;
    node(t).text.lines = 1;
    model::SetText(t, s);
    return t;
}

inline Ref make_component(Ref ring, const std::string& pattern, const std::string& ref, Point insertion,
                          model::Angle angle = 0) {
    Ref c = model::make_component(ring, 0, angle, pattern + '\x7F' + ref + '\x7F' + "VAL");
    node(model::member_ring(c)).box.x1 = insertion.x;
    node(model::member_ring(c)).box.y1 = insertion.y;
    return c;
}

// Builds a board in a model of its own and writes it to `path`.
inline void write_board(const std::string& path, const std::function<void(Ref ring)>& build) {
    model::Model m;
    model::Document* d = model::NewDocument(path);
    ASSERT_NE(d, nullptr);
    apply_board_setup();
    build(d->ring());
    model::FormatTable formats;
    model::register_model_formats(formats);
    std::string why;
    ASSERT_TRUE(model::SaveDocumentFile(formats, path, 'C', &why)) << why;
}

// A file name in the test's own temporary folder.
inline std::string temp_path(const std::string& name) {
    namespace fs = std::filesystem;
    const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
    fs::path dir = fs::temp_directory_path() / ("trazel-edit-" + std::string(t->test_suite_name()) + "-" +
                                                t->name() + "-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    return (dir / name).string();
}

// A small component board: `n` packages in a grid (two-row through-hole, two-pad surface mount), their
// pads joined by two-leg tracks, some through a via beside the package, silk outlines, reference texts,
// arcs and a few Solids.  The same seed gives the same board.
inline void generate_board(Ref ring, unsigned seed, int n) {
    std::mt19937 rng(seed);
    auto pick = [&](int below) { return static_cast<int>(rng() % static_cast<unsigned>(below)); };
    constexpr Coord kPitch = 6554, kCell = 65536;
    const int cols = 6;
    struct PadAt {
        Point p;
        bool smd;
    };
    std::vector<PadAt> pads;
    for (int c = 0; c < n; ++c) {
        Coord ox = (c % cols) * kCell + 8192, oy = (c / cols) * kCell + 8192;
        bool smd = pick(3) == 0;
        int pins = smd ? 2 : 2 * (1 + pick(4));
        Ref comp = make_component(ring, smd ? "0805" : "DIP", (smd ? "C" : "U") + std::to_string(c + 1),
                                  Point{ox, oy}, pick(6) == 0 ? 16384 : 0);
        Ref members = model::member_ring(comp);
        int per_row = smd ? 2 : pins / 2;
        for (int i = 0; i < pins; ++i) {
            bool second = !smd && i >= per_row;
            int col = second ? pins - 1 - i : i;
            Point p{ox + col * kPitch, oy + (second ? 19661 : 0)};
            Ref pad = smd ? make_pad(members, kTop, p.x, p.y, 2949, 3604, 6)
                          : make_pad(members, 0, p.x, p.y, 3932, 3932, i == 0 ? 2 : 1);
            model::SetPin(pad, std::to_string(i + 1));
            pads.push_back({p, smd});
        }
        Coord w = (per_row - 1) * kPitch, h = smd ? 0 : 19661;
        Coord x1 = ox - 2621, y1 = oy - 4000, x2 = ox + w + 2621, y2 = oy + h + 4000;
        make_track(members, kTopSilk, x1, y1, x2, y1, 524);
        make_track(members, kTopSilk, x2, y1, x2, y2, 524);
        make_track(members, kTopSilk, x2, y2, x1, y2, 524);
        make_track(members, kTopSilk, x1, y2, x1, y1, 524);
        if (!smd) {
            Ref a = model::MakeItem(members, model::kArc, kTopSilk, 524, ox - 4587, oy, 983, 0);
            node(a).arc.sweep = static_cast<model::Angle>(pick(2) ? 0 : 32768);
            node(a).arc.start = static_cast<model::Angle>(pick(4) * 16384);
        }
        make_text(members, kTopSilk, ox, y2 + 1000, 3277, "&1", static_cast<uint8_t>(pick(16)));
        make_text(members, kTopSilk, ox, y1 - 3000, 2621, "&2");
        model::close_component(comp);
    }
    for (size_t k = 1; k < pads.size(); ++k) {
        if (pick(3) == 0) {
            continue;
        }
        Point a = pads[k - 1].p, b = pads[k].p;
        std::string net = "N" + std::to_string(k);
        if (pick(4) == 0 && !pads[k - 1].smd) {
            // Out of the pad to a via just beside the package, then on along the bottom.
            Point v{a.x + 3277, a.y - 9000};
            model::AttachSignal(make_track(ring, kTop, a.x, a.y, v.x, v.y), net);
            Ref via = make_pad(ring, 0, v.x, v.y, 2621, 2621, 3);
            model::AttachSignal(via, net);
            model::AttachSignal(make_track(ring, kBottom, v.x, v.y, b.x, v.y), net);
            model::AttachSignal(make_track(ring, kBottom, b.x, v.y, b.x, b.y), net);
        } else {
            model::AttachSignal(make_track(ring, kTop, a.x, a.y, b.x, a.y), net);
            model::AttachSignal(make_track(ring, kTop, b.x, a.y, b.x, b.y), net);
        }
    }
    for (int s = 0; s < 3; ++s) {
        Ref solid = model::MakeItem(ring, model::kLine, kBottom, 0, 0, 0, 0, 0);
        Coord x = pick(cols) * kCell, y = pick(std::max(1, n / cols)) * kCell;
        model::add_vertex(solid, x, y);
        model::add_vertex(solid, x + 30000, y + 2000);
        model::add_vertex(solid, x + 26000, y + 24000);
        model::add_vertex(solid, x + 1000, y + 20000);
    }
    Ref arc = model::MakeItem(ring, model::kArc, kTop, 800, 20000, -20000, 12000, 0);
    node(arc).arc.start = 4000;
    node(arc).arc.sweep = 20000;
    Ref ell = model::MakeItem(ring, model::kArc, kBottomSilk, 800, 90000, -20000, 12000, 0);
    node(ell).arc.sweep = 40000;
    node(ell).arc.ellipse = 30000;
    node(ell).arc.angle = 3000;
    make_text(ring, kTopSilk, 0, -40000, 4000, "BOARD", 0, 0);
    make_text(ring, kBottomSilk, 0, -50000, 4000, "BOTTOM", 2, 16384);
}

} // namespace edit_test
