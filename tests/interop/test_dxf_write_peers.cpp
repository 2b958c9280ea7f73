// Our DXF of a generated board read by others: ezdxf loads and audits it without an error, every entity
// names a layer of the table (its audit does not check that), and the TEXT and SOLID counts are the
// board's; LibreCAD draws it with ink at every track midpoint and none away from the board's Items.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/dxf.h"
#include "interop/gerbv_shell.h"
#include "model/chooser.h"
#include "model/model.h"

namespace fs = std::filesystem;
using namespace trazel;
using model::Node;
using model::Ref;

namespace {

constexpr const char* kPython = "/usr/bin/python3";

// Prints the audit errors, the entity counts and the layers entities (vertices included) name that the
// table lacks (DXF compares layer names without case).
constexpr const char* kCheck = R"(import sys, collections, ezdxf
doc = ezdxf.readfile(sys.argv[1])
print('errors', len(doc.audit().errors))
names = {l.dxf.name.lower() for l in doc.layers}
msp = doc.modelspace()
c = collections.Counter(e.dxftype() for e in msp)
print('counts', c['TEXT'], c['SOLID'])
named = [e.dxf.layer for e in msp] + [v.dxf.layer for p in msp.query('POLYLINE') for v in p.vertices]
print('missing', sorted({n for n in named if n.lower() not in names}))
)";

// A generated board read into a model of its own and written as DXF into the scratch folder.
struct Board {
    interop::ScratchDir dir{"dxfw_"};
    model::Model m;
    model::FormatTable formats;
    model::Document* d = nullptr;
    fs::path dxf = dir.path / "board.dxf";

    void make(int components) {
        fs::path gen = fs::path(TRAZEL_CLI).parent_path() / "gen_board", pcb = dir.path / "board.pcb";
        ASSERT_TRUE(fs::exists(gen)) << "gen_board is not built beside trazel-cli";
        std::string cmd = gen.string() + " " + std::to_string(components) + " " + pcb.string() + " --seed 5 >/dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        model::register_model_formats(formats);
        d = model::NewDocument(pcb.string());
        ASSERT_NE(model::OpenDocumentFile(formats, pcb.string(), 0), 0);
        model::OutBuffer out;
        ASSERT_TRUE(out.open(dxf.string()) && formats::write_dxf(*d, out) && out.commit());
    }
    // f(item, node) for every Item the writer writes: not hidden, on a shown layer, Component members too.
    template <class F> void each(F&& f) const {
        model::walk_tree(d->ring(), [&](Ref r, int) {
            const Node& n = model::node(r);
            uint8_t k = n.item_kind();
            if (!n.hidden() && k != model::kComponent && k != model::kDocument &&
                (d->setup.layers[n.layer].colour & 0x01000000) == 0) {
                f(r, n);
            }
            return !n.hidden();
        });
    }
};

} // namespace

TEST(DxfWritePeers, EzdxfReadsAndAuditsOurBoard) {
    if (std::system((std::string(kPython) + " -c 'import ezdxf' 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "ezdxf is not installed for " << kPython;
    }
    Board b;
    ASSERT_NO_FATAL_FAILURE(b.make(40));
    std::ifstream f(b.dxf, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_NE(bytes.find("9\r\n$ACADVER\r\n1\r\nAC1002\r\n"), std::string::npos);

    int texts = 0, solids = 0;
    b.each([&](Ref r, const Node& n) {
        if (n.item_kind() == model::kText) {
            texts += !model::resolved_text(r).empty();
        } else if (n.item_kind() == model::kLine && n.size == 0) {
            int v = model::vertex_count(r);
            solids += v == 3 || v == 4;
        } else if (n.item_kind() == model::kPad) {
            solids += (n.size & 7) == 6;
        }
    });
    ASSERT_GT(texts, 40);
    ASSERT_GT(solids, 0);
    std::ofstream(b.dir.path / "check.py") << kCheck;
    interop::Shell sh =
        interop::run("cd " + b.dir.path.string() + " && " + kPython + " check.py board.dxf", b.dir.path);
    ASSERT_EQ(sh.status, 0) << sh.err;
    std::string want = "errors 0\ncounts " + std::to_string(texts) + " " + std::to_string(solids) + "\nmissing []\n";
    EXPECT_EQ(sh.out, want);
}

TEST(DxfWritePeers, LibreCadDrawsTracksWhereTheyAre) {
    if (!interop::have("librecad") || !interop::have("gs") || !interop::have("pngtopnm")) {
        GTEST_SKIP() << "librecad, gs or netpbm is not installed";
    }
    Board b;
    ASSERT_NO_FATAL_FAILURE(b.make(20));
    // dxf2pdf writes board.pdf beside its input, whatever -o says.
    std::string dir = b.dir.path.string();
    interop::run("cd " + dir +
                     " && QT_QPA_PLATFORM=offscreen timeout 120 librecad dxf2pdf -s 25.4 -f 0,0,0,0 board.dxf",
                 b.dir.path);
    ASSERT_TRUE(fs::exists(b.dir.path / "board.pdf"));
    constexpr int kDpi = 100;
    interop::run("(cd " + dir + " && gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pnggray -r" + std::to_string(kDpi) +
                     " -sOutputFile=board.png board.pdf && pngtopnm board.png >board.pgm)",
                 b.dir.path);
    // A grey picture: 255 is the paper, anything darker ink (LibreCAD prints the layer colours, so a
    // yellow layer comes out nearly white).
    std::ifstream f(b.dir.path / "board.pgm", std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxval = 0;
    f >> magic >> w >> h >> maxval;
    f.get();
    std::vector<uint8_t> px(static_cast<size_t>(std::max(0, w * h)));
    f.read(reinterpret_cast<char*>(px.data()), static_cast<std::streamsize>(px.size()));
    ASSERT_TRUE(f && magic == "P5" && maxval == 255 && w > 0);
    auto ink = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h && px[size_t(y) * w + x] < 255; };

    // A drawing inch is an inch on paper, the drawing's origin at the page's lower left.
    auto pxl = [&](int64_t x) { return static_cast<int>(static_cast<double>(x) * kDpi / 65536.0 + 0.5); };
    auto row = [&](int64_t y) { return h - pxl(y); };
    // Where ink may be: each Item's box grown by a few pixels; a text's by its length and twice its height
    // either way (LibreCAD sets it in a font of its own).
    std::vector<uint8_t> allowed(px.size(), 0);
    auto allow = [&](int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
        for (int y = std::max(0, row(std::max(y1, y2)) - 3); y <= std::min(h - 1, row(std::min(y1, y2)) + 3); ++y) {
            for (int x = std::max(0, pxl(std::min(x1, x2)) - 3); x <= std::min(w - 1, pxl(std::max(x1, x2)) + 3); ++x) {
                allowed[size_t(y) * w + x] = 1;
            }
        }
    };
    int tracks = 0;
    std::string missing;
    b.each([&](Ref, const Node& n) {
        int64_t r = 0, x = 0, y = 0; // Arcs, Pads and Texts: a square about the point
        switch (n.item_kind()) {
        case model::kLine: {
            allow(n.line.x1, n.line.y1, n.line.x2, n.line.y2);
            int64_t mx = (int64_t{n.line.x1} + n.line.x2) / 2, my = (int64_t{n.line.y1} + n.line.y2) / 2;
            bool seen = false;
            for (int k = 0; k < 25 && !seen; ++k) {
                seen = ink(pxl(mx) + k % 5 - 2, row(my) + k / 5 - 2);
            }
            tracks += n.size != 0;
            if (n.size != 0 && !seen) {
                missing += " (" + std::to_string(mx / 65536.0) + "," + std::to_string(my / 65536.0) + ")";
            }
            return;
        }
        case model::kArc:
            r = std::abs(int64_t{n.arc.radius}) + n.size, x = n.arc.x0, y = n.arc.y0;
            break;
        case model::kPad:
            r = std::max(n.pad.width, n.pad.height), x = n.pad.x0, y = n.pad.y0;
            break;
        case model::kText:
            r = std::abs(int64_t{n.text.length}) * 3 / 2 + 2 * int64_t{n.size}, x = n.text.x0, y = n.text.y0;
            break;
        default:
            return;
        }
        allow(x - r, y - r, x + r, y + r);
    });
    ASSERT_GT(tracks, 50);
    EXPECT_EQ(missing, "") << "no ink at these track midpoints";
    long stray = 0, inked = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            inked += ink(x, y);
            stray += ink(x, y) && !allowed[size_t(y) * w + x];
        }
    }
    EXPECT_GT(inked, 1000);
    EXPECT_EQ(stray, 0) << "ink away from every Item";
}
