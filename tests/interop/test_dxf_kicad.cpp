// KiCad 6's DXF plot of a small board read back: the track outline, the board edge and a silk circle
// where KiCad put them, in inches with Y turned up.  Skipped without its Python module (make deps-kicad).
#include <cmath>
#include <fstream>
#include <sstream>

#include "../../bench/kicad_copy.h"
#include "formats/dxf.h"
#include "gerbv_shell.h"

namespace {

using namespace trazel;
using model::Node;

// A 50 x 30 mm board edge, a 0.5 mm track from (10, 20) to (40, 20) mm on F.Cu and a 3 mm silk circle at
// (25, 10) mm, each plotted to a DXF file of its own.
const char* const kScript = R"PY(
import sys, pcbnew
out = sys.argv[1]
mm = pcbnew.FromMM
P = lambda x, y: pcbnew.wxPoint(mm(x), mm(y))
b = pcbnew.BOARD()
t = pcbnew.PCB_TRACK(b); t.SetStart(P(10, 20)); t.SetEnd(P(40, 20)); t.SetWidth(mm(0.5)); t.SetLayer(pcbnew.F_Cu)
b.Add(t)
for x1, y1, x2, y2 in [(0, 0, 50, 0), (50, 0, 50, 30), (50, 30, 0, 30), (0, 30, 0, 0)]:
    s = pcbnew.PCB_SHAPE(b); s.SetShape(pcbnew.SHAPE_T_SEGMENT); s.SetStart(P(x1, y1)); s.SetEnd(P(x2, y2))
    s.SetLayer(pcbnew.Edge_Cuts); s.SetWidth(mm(0.1)); b.Add(s)
c = pcbnew.PCB_SHAPE(b); c.SetShape(pcbnew.SHAPE_T_CIRCLE); c.SetStart(P(25, 10)); c.SetEnd(P(28, 10))
c.SetLayer(pcbnew.F_SilkS); c.SetWidth(mm(0.2)); b.Add(c)
b.Save(out + "/k.kicad_pcb")
b = pcbnew.LoadBoard(out + "/k.kicad_pcb")
pc = pcbnew.PLOT_CONTROLLER(b)
po = pc.GetPlotOptions()
po.SetOutputDirectory(out); po.SetAutoScale(False); po.SetScale(1); po.SetUseAuxOrigin(False)
for name, layer in [("cu", pcbnew.F_Cu), ("edge", pcbnew.Edge_Cuts), ("silk", pcbnew.F_SilkS)]:
    pc.SetLayer(layer); pc.OpenPlotfile(name, pcbnew.PLOT_FORMAT_DXF, name); pc.PlotLayer()
pc.ClosePlot()
)PY";

double mm(model::Coord v) {
    return static_cast<double>(v) * 25.4 / 65536.0;
}

struct Extent {
    double x1 = 1e9, y1 = 1e9, x2 = -1e9, y2 = -1e9;
    double rmin = 1e9, rmax = -1e9; // distances from a centre
    int lines = 0;
};

// The Lines of one plot read as a DXF drawing, with their extent and their ends' distances from (cx, cy).
Extent read_plot(const std::filesystem::path& file, double cx, double cy) {
    model::Model m;
    model::Document* d = model::NewDocument("kicad.dxf");
    std::ifstream f(file, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    std::string bytes = ss.str();
    EXPECT_TRUE(formats::dxf_accepts(bytes, 0)) << file;
    model::LineReader in;
    in.open_memory(bytes);
    formats::SkipReport skipped;
    formats::ImportJob job;
    job.file = file.filename().string();
    job.skipped = &skipped;
    EXPECT_EQ(formats::read_dxf(in, *d, job), 'X');
    Extent e;
    for (model::Ref r : model::items_in(d->ring())) {
        const Node& n = model::node(r);
        if (n.item_kind() != model::kLine || n.size == 0) {
            continue;
        }
        ++e.lines;
        for (auto [x, y] : {std::pair{mm(n.line.x1), mm(n.line.y1)}, std::pair{mm(n.line.x2), mm(n.line.y2)}}) {
            e.x1 = std::min(e.x1, x), e.x2 = std::max(e.x2, x);
            e.y1 = std::min(e.y1, y), e.y2 = std::max(e.y2, y);
            double r2 = std::hypot(x - cx, y - cy);
            e.rmin = std::min(e.rmin, r2), e.rmax = std::max(e.rmax, r2);
        }
    }
    return e;
}

} // namespace

TEST(DxfKicad, PlotReadsAtItsRealSize) {
    if (!bench::kicad::present()) {
        GTEST_SKIP() << "KiCad's pcbnew module is not installed (make deps-kicad)";
    }
    interop::ScratchDir dir("dxf_kicad_");
    { std::ofstream(dir.path / "plot.py") << kScript; }
    auto r = interop::run("cd " + dir.path.string() + " && " + bench::kicad::kPython + " plot.py .", dir.path);
    ASSERT_EQ(r.status, 0) << r.err;

    // KiCad's Y runs down: our Y is its negative.  The track is plotted as its outline, 0.25 mm around it.
    Extent cu = read_plot(dir.path / "k-cu.dxf", 0, 0);
    EXPECT_GT(cu.lines, 3);
    EXPECT_NEAR(cu.x1, 9.75, 0.01);
    EXPECT_NEAR(cu.x2, 40.25, 0.01);
    EXPECT_NEAR(cu.y1, -20.25, 0.01);
    EXPECT_NEAR(cu.y2, -19.75, 0.01);

    Extent edge = read_plot(dir.path / "k-edge.dxf", 0, 0);
    EXPECT_NEAR(edge.x1, -0.05, 0.01);
    EXPECT_NEAR(edge.x2, 50.05, 0.01);
    EXPECT_NEAR(edge.y1, -30.05, 0.01);
    EXPECT_NEAR(edge.y2, 0.05, 0.01);

    // The circle's outline: both edges of its 0.2 mm stroke about the 3 mm radius.
    Extent silk = read_plot(dir.path / "k-silk.dxf", 25, -10);
    EXPECT_GT(silk.lines, 20);
    EXPECT_GT(silk.rmin, 2.85);
    EXPECT_LT(silk.rmax, 3.15);
}
