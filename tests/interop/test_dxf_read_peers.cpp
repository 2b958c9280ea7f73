// Drawings other programs write, read back into the Items worked out by hand: ezdxf's R12 entities
// (lines, arcs, circles, bulged and closed polylines, mirrored and turned inserts) and its R2000
// millimetre LWPOLYLINE and MTEXT; pcb-rnd's DXF of a small board (AC1021, millimetres, pads as HATCH)
// at its real size with one Solid per pad.
#include <fstream>
#include <sstream>

#include "file_text.h"
#include "formats/dxf.h"
#include "gerbv_shell.h"

namespace {

using namespace trazel;
using model::Coord;
using model::Node;
using model::Ref;

constexpr Coord kIn = 65536;

bool have_ezdxf() {
    return std::system("/usr/bin/python3 -c 'import ezdxf' >/dev/null 2>&1") == 0;
}

using test_files::slurp;

struct PeerDxf : ::testing::Test {
    model::Model m;
    model::Document* d = nullptr;
    formats::SkipReport skipped;

    void SetUp() override {
        d = model::NewDocument("peer.dxf");
        ASSERT_NE(d, nullptr);
    }
    char read(const std::filesystem::path& file) {
        std::string bytes = slurp(file);
        EXPECT_TRUE(formats::dxf_accepts(bytes, 0));
        model::LineReader in;
        in.open_memory(bytes);
        formats::ImportJob job;
        job.file = file.filename().string();
        job.skipped = &skipped;
        return formats::read_dxf(in, *d, job);
    }
    // One of the drawings the ezdxf script writes, read; 0 when the script failed.
    char read_ezdxf(const char* name);
    std::vector<Ref> of(Ref ring, uint8_t kind, bool solids = false) {
        std::vector<Ref> v;
        for (Ref r : model::items_in(ring)) {
            const Node& n = model::node(r);
            if (n.item_kind() == kind && (kind != model::kLine || (n.size == 0) == solids)) {
                v.push_back(r);
            }
        }
        return v;
    }
    static const Node& n(Ref r) {
        return model::node(r);
    }
    std::string layer_name(Ref r) {
        return d->setup.layers[n(r).layer].name;
    }
};

// Within a few units: the peers write reals with few digits.
void near(Coord a, Coord b, Coord tol = 3) {
    EXPECT_LE(std::abs(int64_t{a} - b), tol) << a << " vs " << b;
}

void near_deg(model::Angle a, int degrees) {
    int diff = static_cast<int16_t>(static_cast<model::Angle>(a - model::degrees_to_angle(degrees)));
    EXPECT_LE(std::abs(diff), 3) << a << " vs " << degrees << " degrees";
}

const char* const kEzdxfScript = R"PY(
import sys, ezdxf
out = sys.argv[1]
d = ezdxf.new('R12')
m = d.modelspace()
d.layers.new('Edge', dxfattribs={'color': 1})
m.add_line((0, 0), (1, 2), dxfattribs={'layer': 'Edge'})
m.add_arc((1, 1), 0.5, 350, 10, dxfattribs={'layer': 'Edge'})
m.add_circle((2, 2), 0.25, dxfattribs={'layer': 'Edge'})
p = m.add_polyline2d([(0, 0), (2, 0), (4, 0)], format='xy', dxfattribs={'layer': 'Poly'})
p.vertices[0].dxf.bulge = 1.0
p.vertices[1].dxf.bulge = -1.0
m.add_polyline2d([(0, 5), (1, 5), (1, 6), (0, 6)], close=True, dxfattribs={'layer': 'Poly'})
b = d.blocks.new('B', base_point=(0, 0))
b.add_line((0, 0), (1, 0), dxfattribs={'layer': 'Edge'})
b.add_arc((0, 0), 1, 0, 90, dxfattribs={'layer': 'Edge'})
m.add_blockref('B', (5, 5), dxfattribs={'xscale': -1, 'layer': 'Parts'})
m.add_blockref('B', (10, 0), dxfattribs={'rotation': 90, 'layer': 'Parts'})
d.saveas(out + '/r12.dxf')
d = ezdxf.new('R2000')
d.header['$INSUNITS'] = 4
m = d.modelspace()
m.add_lwpolyline([(0, 0, 0, 0, 0), (25.4, 0, 0, 0, 1), (25.4, 25.4, 0, 0, 0)], format='xyseb', close=True,
                 dxfattribs={'layer': 'Board', 'const_width': 0.254})
m.add_mtext('Hello\\P{\\C1;World}', dxfattribs={'insert': (2.54, 50.8), 'char_height': 2.54, 'layer': 'Notes',
                                              'attachment_point': 7})
d.saveas(out + '/r2000.dxf')
)PY";

// A small board in the gEDA form pcb-rnd reads: a 1 x 1 inch board, one 10 mil track along Y = 0.1 inch
// (0.9 inch from the bottom once turned up), two 40 mil square pads at (0.25, 0.3) and (0.35, 0.3).
const char* const kBoard = R"PCB(FileVersion[20091103]
PCB["" 1000.00mil 1000.00mil]
Grid[100.0 0 0 1]
Groups("1,c:2,s")
Styles["Signal,1000,3600,2000,1000"]
Element["" "R" "R1" "" 300.00mil 300.00mil 0 0 0 100 ""]
(
	Pad[-50.00mil 0 -50.00mil 0 40.00mil 20.00mil 60.00mil "1" "1" "square"]
	Pad[50.00mil 0 50.00mil 0 40.00mil 20.00mil 60.00mil "2" "2" "square"]
)
Layer(1 "component")
(
	Line[100.00mil 100.00mil 900.00mil 100.00mil 10.00mil 20.00mil ""]
)
Layer(2 "solder")
(
)
Layer(3 "silk")
(
)
)PCB";

} // namespace

char PeerDxf::read_ezdxf(const char* name) {
    interop::ScratchDir dir("dxf_read_");
    { std::ofstream(dir.path / "w.py") << kEzdxfScript; }
    auto r = interop::run("/usr/bin/python3 " + (dir.path / "w.py").string() + " " + dir.path.string(), dir.path);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.status == 0 ? read(dir.path / name) : 0;
}

TEST_F(PeerDxf, EzdxfR12EntitiesAndInserts) {
    if (!have_ezdxf()) {
        GTEST_SKIP() << "/usr/bin/python3 has no ezdxf";
    }
    ASSERT_EQ(read_ezdxf("r12.dxf"), 'X');
    EXPECT_TRUE(skipped.empty()) << skipped[0].construct;

    Ref top = d->ring();
    auto lines = of(top, model::kLine);
    auto arcs = of(top, model::kArc);
    auto comps = of(top, model::kComponent);
    ASSERT_EQ(lines.size(), 5u);
    ASSERT_EQ(arcs.size(), 4u);
    ASSERT_EQ(comps.size(), 2u);
    EXPECT_TRUE(of(top, model::kLine, true).empty());

    EXPECT_EQ(layer_name(lines[0]), "Edge");
    EXPECT_EQ(d->setup.layers[n(lines[0]).layer].colour, 0xAA0000u); // colour 1 from the table
    near(n(lines[0]).line.x2, kIn);
    near(n(lines[0]).line.y2, 2 * kIn);
    EXPECT_EQ(n(lines[0]).size, 65);
    // The arc from 350 to 10 degrees sweeps 20; the circle is full.
    near(n(arcs[0]).arc.radius, kIn / 2);
    near_deg(n(arcs[0]).arc.start, 350);
    near_deg(n(arcs[0]).arc.sweep, 20);
    EXPECT_EQ(n(arcs[1]).arc.sweep, 0);
    // Bulge 1 from (0,0) to (2,0) about (1,0); bulge -1 from (2,0) to (4,0) about (3,0).
    near(n(arcs[2]).arc.x0, kIn);
    near_deg(n(arcs[2]).arc.start, 180);
    near_deg(n(arcs[2]).arc.sweep, 180);
    near(n(arcs[3]).arc.x0, 3 * kIn);
    near_deg(n(arcs[3]).arc.start, 0);
    // The closed square: four Lines, the last back to (0,5).
    EXPECT_EQ(layer_name(lines[1]), "Poly");
    near(n(lines[4]).line.x2, 0);
    near(n(lines[4]).line.y2, 5 * kIn);

    // X scale -1 at (5,5): the line runs to (4,5), the quarter arc 0..90 becomes 90..180.
    auto m0 = of(model::member_ring(comps[0]), model::kLine);
    auto a0 = of(model::member_ring(comps[0]), model::kArc);
    ASSERT_EQ(m0.size(), 1u);
    ASSERT_EQ(a0.size(), 1u);
    EXPECT_EQ(model::component_parameters(comps[0]), "B");
    near(n(m0[0]).line.x2, 4 * kIn);
    near_deg(n(a0[0]).arc.start, 90);
    near_deg(n(a0[0]).arc.sweep, 90);
    // Turned a quarter at (10,0): the line runs up to (10,1), the arc starts at 90 degrees.
    auto m1 = of(model::member_ring(comps[1]), model::kLine);
    auto a1 = of(model::member_ring(comps[1]), model::kArc);
    ASSERT_EQ(m1.size(), 1u);
    ASSERT_EQ(a1.size(), 1u);
    near(n(m1[0]).line.x2, 10 * kIn);
    near(n(m1[0]).line.y2, kIn);
    near_deg(n(a1[0]).arc.start, 90);
    near(n(model::member_ring(comps[1])).box.x1, 10 * kIn); // the hook at the insertion point
}

TEST_F(PeerDxf, EzdxfR2000MillimetreLwpolylineAndMtext) {
    if (!have_ezdxf()) {
        GTEST_SKIP() << "/usr/bin/python3 has no ezdxf";
    }
    ASSERT_EQ(read_ezdxf("r2000.dxf"), 'X');
    EXPECT_TRUE(skipped.empty()) << skipped[0].construct;
    Ref top = d->ring();
    auto lines = of(top, model::kLine);
    auto arcs = of(top, model::kArc);
    auto texts = of(top, model::kText);
    ASSERT_EQ(lines.size(), 2u);
    ASSERT_EQ(arcs.size(), 1u);
    ASSERT_EQ(texts.size(), 1u);
    // 25.4 mm is an inch; the constant width 0.254 mm is 0.01 inch.
    near(n(lines[0]).line.x2, kIn);
    EXPECT_EQ(n(lines[0]).size, 655);
    near(n(arcs[0]).arc.x0, kIn);
    near(n(arcs[0]).arc.y0, kIn / 2);
    near(n(arcs[0]).arc.radius, kIn / 2);
    near_deg(n(arcs[0]).arc.start, 270);
    near_deg(n(arcs[0]).arc.sweep, 180);
    near(n(lines[1]).line.x1, kIn);
    near(n(lines[1]).line.y1, kIn);
    EXPECT_EQ(model::GetText(texts[0]), "Hello\xFFWorld");
    EXPECT_EQ(n(texts[0]).size, 6554);
    // Attached at its bottom left (0.1, 2): two lines of 0.1 inch, 1.5 heights apart, put the first
    // line's base 0.15 inch above the point.
    near(n(texts[0]).text.x0, kIn / 10);
    near(n(texts[0]).text.y0, 2 * kIn + 9830);
}

TEST_F(PeerDxf, PcbRndBoardAtItsRealSizeWithOneSolidPerPad) {
    if (!interop::have("pcb-rnd")) {
        GTEST_SKIP() << "pcb-rnd is not installed";
    }
    interop::ScratchDir dir("dxf_read_");
    { std::ofstream(dir.path / "b.pcb") << kBoard; }
    auto r = interop::run("cd " + dir.path.string() + " && pcb-rnd -x dxf --outfile b.dxf b.pcb", dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(read(dir.path / "b.dxf"), 'X');
    Ref top = d->ring();
    auto solids = of(top, model::kLine, true);
    ASSERT_EQ(solids.size(), 2u);
    // The pads: 40 mil squares about (0.25, 0.7) and (0.35, 0.7) once Y is turned up.
    Coord half = model::mils_to_units(20);
    for (int k = 0; k < 2; ++k) {
        Coord cx = model::mils_to_units(250 + 100 * k), cy = model::mils_to_units(700);
        near(n(solids[static_cast<size_t>(k)]).line.x1, cx - half);
        near(n(solids[static_cast<size_t>(k)]).line.x2, cx + half);
        near(n(solids[static_cast<size_t>(k)]).line.y1, cy - half);
        near(n(solids[static_cast<size_t>(k)]).line.y2, cy + half);
        EXPECT_EQ(model::vertex_count(solids[static_cast<size_t>(k)]), 4);
    }
    // The track: 0.1 to 0.9 inch at Y 0.9, its 0.25 mm lineweight as the width (the pad outlines beside
    // it are thin).
    bool found = false;
    for (Ref l : of(top, model::kLine)) {
        const Node& t = n(l);
        if (t.size > 65 && layer_name(l) == "top_copper") {
            found = true;
            near(t.line.x1, kIn / 10);
            near(t.line.x2, kIn * 9 / 10);
            near(t.line.y1, kIn * 9 / 10);
            EXPECT_EQ(t.size, 645);
        }
    }
    EXPECT_TRUE(found);
}
