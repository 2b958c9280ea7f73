// pcb-rnd reads what the fabrication package says about a generated board: its IPC-D-356 importer finds
// the generator's nets with their pins in our test netlist, and its XY export of a copy of the board
// places every part where our pick-and-place file does, on the same side and turned alike.  Skipped
// without pcb-rnd or its importer.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "../../bench/geda_copy.h"
#include "cam/ipc356.h"
#include "cam/pick_place.h"
#include "cli/netlist_expect.h"
#include "gerbv_shell.h"
#include "model/chooser.h"
#include "model/model.h"
#include "platform/headless.h"

namespace fs = std::filesystem;
using namespace trazel;
using model::Ref;
using netlist_test::Nets;

namespace {

bool have_ipc_importer() {
    return interop::have("pcb-rnd") && fs::exists("/usr/lib/pcb-rnd/plugins/import_ipcd356.so");
}

struct Generated {
    model::Model m;
    model::FormatTable formats;
    platform::Headless quiet;
    model::Document* d = nullptr;
    Nets truth;

    Generated() {
        model::register_model_formats(formats);
        platform::install(&quiet);
    }
    ~Generated() {
        platform::install(nullptr);
    }
    bool make(const fs::path& dir, int components, unsigned seed) {
        std::string board = (dir / "gen.pcb").string(), expect = (dir / "gen.json").string();
        if (!netlist_test::generate(components, seed, board, expect)) {
            return false;
        }
        truth = netlist_test::read_expect(cli_test::slurp(expect));
        d = model::NewDocument(board);
        return d != nullptr && model::OpenDocumentFile(formats, board, 0) != 0;
    }
};

// The nets under li:input of a saved lihata board: "ha:NAME {" then "li:conn { A; B; }".
Nets saved_nets(const std::string& lht) {
    Nets nets;
    std::istringstream in(lht.substr(std::min(lht.size(), lht.find("li:input {"))));
    std::string name;
    for (std::string l; std::getline(in, l);) {
        l.erase(0, l.find_first_not_of(" \t"));
        if (l.rfind("ha:", 0) == 0) {
            name = l.substr(3, l.find(" {") - 3);
        } else if (l.rfind("li:conn {", 0) == 0) {
            std::istringstream conn(l.substr(9, l.rfind('}') - 9));
            for (std::string tok; std::getline(conn, tok, ';');) {
                tok.erase(0, tok.find_first_not_of(' '));
                if (!tok.empty() && tok.rfind("VIA-", 0) != 0) { // vias join their net as "VIA-"
                    nets[name].push_back(tok);
                }
            }
            std::sort(nets[name].begin(), nets[name].end());
        } else if (l == "}" && name.empty()) {
            break;
        } else if (l == "}") {
            name.clear();
        }
    }
    return nets;
}

struct Place {
    double x = 0, y = 0; // mils
    int rotation = 0;
    std::string side, pattern;
};

// Reference -> place from CSV rows of reference, pattern, X, Y (in `scale` units to the mil), rotation
// and side at the given cells; the cells hold no commas, quotes are dropped.
std::map<std::string, Place> places(const std::string& text, std::vector<int> at, double scale) {
    std::map<std::string, Place> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        std::vector<std::string> c;
        std::istringstream cells(l);
        for (std::string cell; std::getline(cells, cell, ',');) {
            cell.erase(std::remove(cell.begin(), cell.end(), '"'), cell.end());
            c.push_back(cell.substr(0, cell.find('\r')));
        }
        if (c.size() == 7 && !c[0].empty() && c[0][0] != '#' && c[3][0] != 'X') {
            out[c[0]] = Place{std::stod(c[at[1]]) * scale, std::stod(c[at[2]]) * scale,
                              static_cast<int>(std::lround(std::stod(c[at[3]]))), c[at[4]], c[at[0]]};
        }
    }
    return out;
}

} // namespace

TEST(FabPcbRnd, IpcImporterListsTheGeneratorsNets) {
    if (!have_ipc_importer()) {
        GTEST_SKIP() << "pcb-rnd or its IPC-D-356 importer (pcb-rnd-import-net) is not installed";
    }
    SKIP_WITHOUT_GEN_BOARD();
    interop::ScratchDir s("fab_pcbrnd_");
    Generated g;
    ASSERT_TRUE(g.make(s.path, 30, 5));
    ASSERT_GT(g.truth.size(), 10u);
    for (bool mm : {false, true}) {
        fs::remove(s.path / "o.lht");
        cli_test::spit(s.path / "b.ipc", cam::ipc356_text(*g.d, cam::Ipc356Options{mm, "gen"}));
        cli_test::spit(s.path / "script", "LoadIpc356From(" + (s.path / "b.ipc").string() + ")\nSaveTo(LayoutAs," +
                                              (s.path / "o.lht").string() + ",lihata)\nQuit(force)\n");
        interop::Shell r =
            interop::run("(cd '" + s.path.string() + "' && timeout 60 pcb-rnd --gui batch <script)", s.path);
        ASSERT_TRUE(fs::exists(s.path / "o.lht")) << r.out << r.err;
        EXPECT_EQ(saved_nets(cli_test::slurp(s.path / "o.lht")), g.truth) << (mm ? "mm" : "inch");
    }
}

// The peer's Autotrax reader names every part "A1" and reads no rotation, so the copy it is given is
// the gEDA one, whose Elements carry references; pcb-rnd places each at its pads' centroid and guesses
// its rotation from where pin 1 lies, in quarter turns from a zero of its own per footprint.
TEST(FabPcbRnd, XyExportAgreesWithOurPickAndPlace) {
    if (!interop::have("pcb-rnd")) {
        GTEST_SKIP() << "pcb-rnd is not installed";
    }
    SKIP_WITHOUT_GEN_BOARD();
    interop::ScratchDir s("fab_pcbrnd_");
    Generated g;
    ASSERT_TRUE(g.make(s.path, 40, 9));
    // The generator's angles are labels only: turn each part's pads by a quarter turn per place in the
    // ring, so that the geometry shows it, and send every third surface-mount part to the bottom.
    int k = 0, bottom_layer = 4;
    for (Ref c : model::items_in(g.d->ring())) {
        if (model::node(c).item_kind() != model::kComponent) {
            continue;
        }
        int quarter = k % 4;
        const model::Node& head = model::node(model::member_ring(c));
        bool smd = true;
        for (Ref p : model::items_in(model::member_ring(c))) {
            smd = smd && (model::node(p).item_kind() != model::kPad || (model::node(p).size & 4) != 0);
        }
        bool flip = smd && k % 3 == 0;
        for (Ref p : model::items_in(model::member_ring(c))) {
            model::Node& n = model::node(p);
            if (n.item_kind() != model::kPad) {
                continue;
            }
            for (int q = 0; q < quarter; ++q) {
                model::Coord dx = n.pad.x0 - head.box.x1, dy = n.pad.y0 - head.box.y1;
                n.pad.x0 = head.box.x1 - dy;
                n.pad.y0 = head.box.y1 + dx;
            }
            n.pad.angle = static_cast<model::Angle>(quarter * 16384);
            n.layer = flip ? static_cast<uint8_t>(bottom_layer) : n.layer;
        }
        model::node(c).size = static_cast<uint16_t>(quarter * 16384);
        ++k;
    }
    // An Element whose pads are all on the solder side is itself on it.
    std::string copy_path = (s.path / "copy.pcb").string(), copy;
    ASSERT_TRUE(bench::write_geda(*g.d, copy_path));
    copy = cli_test::slurp(copy_path);
    for (size_t at = copy.find("Element[\"\""); at != std::string::npos; at = copy.find("Element[\"\"", at + 1)) {
        std::string body = copy.substr(at, copy.find("\n)\n", at) - at);
        size_t pads = 0, solder = 0;
        std::istringstream lines(body);
        for (std::string l; std::getline(lines, l);) {
            pads += l.rfind("\tP", 0) == 0;
            solder += l.rfind("\tP", 0) == 0 && l.find("onsolder") != std::string::npos;
        }
        if (pads == solder) {
            copy.replace(at, 10, "Element[\"onsolder\"");
        }
    }
    cli_test::spit(copy_path, copy);
    interop::Shell r =
        interop::run("cd '" + s.path.string() + "' && timeout 60 pcb-rnd -x XY --xyfile peer.xy copy.pcb", s.path);
    ASSERT_TRUE(fs::exists(s.path / "peer.xy")) << r.out << r.err;
    // Theirs in mils from the board's corner, ours in inches from the user origin (0 on this board).
    ASSERT_EQ(g.d->setup.origin_x | g.d->setup.origin_y, 0);
    std::map<std::string, Place> peer = places(cli_test::slurp(s.path / "peer.xy"), {1, 3, 4, 5, 6}, 1.0);
    std::map<std::string, Place> ours =
        places(cam::pick_place_csv(*g.d, cam::PickPlaceOptions{false, true}), {2, 3, 4, 5, 6}, 1000.0);
    ASSERT_EQ(ours.size(), 40u);
    ASSERT_EQ(peer.size(), ours.size());
    // Positions within a mil; sides equal; the turn between pcb-rnd's rotation and ours is one per
    // footprint and side.
    std::map<std::string, int> turn;
    int bottoms = 0;
    for (const auto& [ref, o] : ours) {
        ASSERT_EQ(peer.count(ref), 1u) << ref;
        const Place& p = peer[ref];
        EXPECT_LE(std::abs(p.x - o.x), 1.0) << ref;
        EXPECT_LE(std::abs(p.y - o.y), 1.0) << ref;
        EXPECT_EQ(p.side, o.side) << ref;
        bottoms += o.side == "bottom";
        int t = ((p.rotation - o.rotation) % 360 + 360) % 360;
        int first = turn.emplace(o.pattern + "/" + o.side, t).first->second;
        EXPECT_EQ(t, first) << ref << " " << o.pattern << " turned " << o.rotation;
    }
    EXPECT_GT(bottoms, 0);
}
