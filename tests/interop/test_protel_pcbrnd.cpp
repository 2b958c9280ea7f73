// Our AutoTrax export of a generated board, loaded by pcb-rnd: as many pads and vias, tracks and arcs
// as our file and the board; its Gerber of the board, drawn by gerbv, has copper at every top-copper
// pad centre and track midpoint and none away from them.  And the other way: the AutoTrax copy the
// benchmarks give pcb-rnd, with Component and NETDEF blocks added here, reads record for record with
// every node's pad on its net.  The peer tests are skipped without pcb-rnd, gerbv and pngtopnm.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "../../bench/autotrax_copy.h"
#include "file_text.h"
#include "formats/protel.h"
#include "gerbv_shell.h"
#include "model/chooser.h"
#include "model/model.h"
#include "picture_mask.h"
#include "platform/headless.h"

namespace fs = std::filesystem;
using namespace trazel;
using model::Ref;

namespace {

using test_files::slurp;

std::vector<std::string> text_lines(const std::string& s) {
    std::vector<std::string> v;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);) {
        v.push_back(!l.empty() && l.back() == '\r' ? l.substr(0, l.size() - 1) : l);
    }
    return v;
}

// One record of an AutoTrax file, read here without our reader: its letter (T, A, P, V, S, F) and
// the numbers of its data line.
struct Record {
    char kind;
    std::vector<double> v;
};

std::vector<Record> records(const std::vector<std::string>& ls) {
    std::vector<Record> out;
    for (size_t i = 0; i < ls.size(); ++i) {
        const std::string& k = ls[i];
        if (k == "COMP") {
            i += 6;
        } else if (k == "NETDEF") {
            while (i < ls.size() && ls[i] != "}") {
                ++i;
            }
        } else if (k.size() == 2 && (k[0] == 'C' || k[0] == 'F') && i + 1 < ls.size()) {
            Record r{k[1], {}};
            std::istringstream ns(ls[++i]);
            for (double x; ns >> x;) {
                r.v.push_back(x);
            }
            i += k[1] == 'P' || k[1] == 'S'; // pin or string line
            out.push_back(r);
        }
    }
    return out;
}

// Pads (vias too), tracks, arcs.
struct Counts {
    long pads = 0, tracks = 0, arcs = 0;
    bool operator==(const Counts&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Counts& c) {
    return o << c.pads << " pads, " << c.tracks << " tracks, " << c.arcs << " arcs";
}

Counts board_counts(Ref ring) {
    Counts c;
    model::walk_tree(ring, [&](Ref r, int) {
        const model::Node& n = model::node(r);
        c.pads += n.item_kind() == model::kPad;
        c.tracks += n.item_kind() == model::kLine && n.size != 0;
        c.arcs += n.item_kind() == model::kArc;
    });
    return c;
}

// pcb-rnd's lihata board: padstack references, lines and arcs outside the font and the subcircuits'
// aux layers (origin marks).
Counts lihata_counts(const std::string& lht) {
    Counts c;
    std::vector<std::string> open;
    for (const std::string& raw : text_lines(lht)) {
        size_t b = raw.find_first_not_of(' '), e = raw.find_last_not_of(' ');
        if (b == std::string::npos) {
            continue;
        }
        std::string l = raw.substr(b, e - b + 1);
        if (l.size() >= 2 && l.back() == '{') {
            std::string name = l.substr(0, l.find(' '));
            if (std::find(open.begin(), open.end(), "ha:font") == open.end() &&
                std::find(open.begin(), open.end(), "ha:subc-aux") == open.end()) {
                c.pads += name.rfind("ha:padstack_ref.", 0) == 0;
                c.tracks += name.rfind("ha:line.", 0) == 0;
                c.arcs += name.rfind("ha:arc.", 0) == 0;
            }
            open.push_back(name);
        } else if (l[0] == '}' && !open.empty()) {
            open.pop_back();
        }
    }
    return c;
}

struct Loaded {
    model::Model m;
    model::FormatTable formats;
    platform::Headless quiet;
    model::Document* d = nullptr;

    Loaded() {
        model::register_model_formats(formats);
        platform::install(&quiet);
    }
    ~Loaded() {
        platform::install(nullptr);
    }
    bool load(const fs::path& dir, int components, unsigned seed) {
        fs::path b = dir / "b.pcb";
        std::string gen = (fs::path(TRAZEL_CLI).parent_path() / "gen_board").string();
        if (std::system((gen + " " + std::to_string(components) + " " + b.string() + " --seed " +
                         std::to_string(seed) + " >/dev/null 2>&1")
                            .c_str()) != 0) {
            return false;
        }
        d = model::NewDocument(b.string());
        return d != nullptr && model::OpenDocumentFile(formats, b.string(), 0) != 0;
    }
    // Our export; the copy pcb-rnd's batch mode survives (no NETDEF blocks, layer-15 tracks on 11)
    // goes into dir/peer.pcb.
    std::vector<std::string> export_with_peer_copy(const fs::path& dir) {
        std::string out;
        model::OutBuffer o;
        o.open_memory(&out);
        formats::write_protel_board(*d, o);
        o.commit();
        std::vector<std::string> ls = text_lines(out);
        std::ofstream peer(dir / "peer.pcb", std::ios::binary);
        for (size_t i = 0; i < ls.size(); ++i) {
            if (ls[i] == "NETDEF") {
                i = std::find(ls.begin() + static_cast<long>(i), ls.end(), "}") - ls.begin();
                continue;
            }
            std::string l = ls[i];
            size_t last = l.rfind(' ');
            if (i > 0 && (ls[i - 1] == "CT" || ls[i - 1] == "FT") && l.compare(l.rfind(' ', last - 1), 4, " 15 ") == 0) {
                l.replace(l.rfind(' ', last - 1) + 1, 2, "11");
            }
            peer << l << "\r\n";
        }
        return ls;
    }
};

// pcb-rnd moves a loaded AutoTrax board by about 0.01 inch on one axis or both, depending on its
// extents: the shift (mils) that puts 90% of the hits of its plated drill layer on our drilled pads.
bool drill_offset(const std::string& gbr, const std::vector<Record>& rs, double& ox, double& oy) {
    std::vector<std::pair<double, double>> hits, drilled;
    double x = 0, y = 0;
    for (const std::string& l : text_lines(gbr)) {
        size_t px = l.find('X'), py = l.find('Y');
        if (l.find("D03") != std::string::npos) {
            x = px != std::string::npos ? std::atof(l.c_str() + px + 1) / 100.0 : x; // 1e-5 inch
            y = py != std::string::npos ? std::atof(l.c_str() + py + 1) / 100.0 : y;
            hits.emplace_back(x, y);
        }
    }
    for (const Record& r : rs) {
        if (r.kind == 'V' || (r.kind == 'P' && r.v[7] == 13)) {
            drilled.emplace_back(r.v[0], r.v[1]);
        }
    }
    size_t best = 0;
    for (const auto& p : drilled) {
        double dx = hits.empty() ? 0 : hits[0].first - p.first, dy = hits.empty() ? 0 : hits[0].second - p.second;
        size_t n = 0;
        for (const auto& h : hits) {
            n += std::any_of(drilled.begin(), drilled.end(), [&](const auto& q) {
                return std::abs(h.first - q.first - dx) < 1.5 && std::abs(h.second - q.second - dy) < 1.5;
            });
        }
        if (n > best) {
            best = n, ox = dx, oy = dy;
        }
    }
    return !hits.empty() && best * 10 >= hits.size() * 9;
}

} // namespace

TEST(ProtelPcbRnd, ExportLoadsWithEveryPadTrackAndArcAndPlotsItsTopCopper) {
    if (!interop::have("pcb-rnd") || !interop::have("gerbv") || !interop::have("pngtopnm")) {
        GTEST_SKIP() << "pcb-rnd, gerbv or pngtopnm is not installed";
    }
    interop::ScratchDir s("protel_pcbrnd_");
    Loaded b;
    ASSERT_TRUE(b.load(s.path, 25, 11));
    std::vector<Record> rs = records(b.export_with_peer_copy(s.path));
    Counts board = board_counts(b.d->ring()), file;
    for (const Record& r : rs) {
        file.pads += r.kind == 'P' || r.kind == 'V';
        file.tracks += r.kind == 'T';
        file.arcs += r.kind == 'A';
    }
    EXPECT_EQ(file, board);
    ASSERT_GT(board.pads, 50);
    ASSERT_GT(board.arcs, 0);
    interop::Shell r = interop::run("(cd '" + s.path.string() + "' && printf 'SaveTo(LayoutAs," +
                                        (s.path / "peer.lht").string() +
                                        ",lihata)\\nQuit(force)\\n' | timeout 120 pcb-rnd --gui batch peer.pcb)",
                                    s.path);
    ASSERT_TRUE(fs::exists(s.path / "peer.lht")) << r.out << r.err;
    EXPECT_EQ(lihata_counts(slurp(s.path / "peer.lht")), file);

    fs::create_directories(s.path / "g");
    interop::run("cd '" + s.path.string() + "' && timeout 120 pcb-rnd -x gerber --gerberfile g/b peer.pcb", s.path);
    double ox = 0, oy = 0;
    ASSERT_TRUE(drill_offset(slurp(s.path / "g/b.global.virtual.pdrill.none.gbr"), rs, ox, oy));
    EXPECT_LT(std::abs(ox) + std::abs(oy), 50.0);
    // Top copper: tracks, arcs, pads of layer 1, through-hole pads (13), vias; texts there stay out of
    // the empty-spot test.  A spot is a centre and a half extent in mils.
    struct Spot {
        double x, y, rx, ry;
    };
    std::vector<Spot> must, taken;
    double x1 = 1e9, y1 = 1e9, x2 = -1e9, y2 = -1e9;
    for (const Record& r : rs) {
        const std::vector<double>& v = r.v;
        if (r.kind == 'T' && v[5] == 1) {
            must.push_back({(v[0] + v[2]) / 2, (v[1] + v[3]) / 2, 0, 0});
            taken.push_back({must.back().x, must.back().y, std::abs(v[2] - v[0]) / 2 + v[4] / 2,
                             std::abs(v[3] - v[1]) / 2 + v[4] / 2});
        } else if (r.kind == 'A' && v[5] == 1) {
            taken.push_back({v[0], v[1], v[2] + v[4], v[2] + v[4]});
        } else if ((r.kind == 'P' && (v[7] == 1 || v[7] == 13)) || r.kind == 'V') {
            must.push_back({v[0], v[1], 0, 0});
            taken.push_back({v[0], v[1], v[2] / 2, (r.kind == 'V' ? v[2] : v[3]) / 2});
        } else if (r.kind == 'S' && v[5] == 1) {
            taken.push_back({v[0], v[1], v[2] * 10, v[2] * 10});
        } else {
            continue;
        }
        x1 = std::min(x1, taken.back().x - taken.back().rx), y1 = std::min(y1, taken.back().y - taken.back().ry);
        x2 = std::max(x2, taken.back().x + taken.back().rx), y2 = std::max(y2, taken.back().y + taken.back().ry);
    }
    ASSERT_GT(must.size(), 20u);
    // 200 dots per inch: pixel (i, j) is at X = wx + (i + 0.5) / 200, Y = wy + wh - (j + 0.5) / 200.
    double wx = (x1 + ox - 100) / 1000, wy = (y1 + oy - 100) / 1000, ww = (x2 - x1 + 200) / 1000,
           wh = (y2 - y1 + 200) / 1000;
    char window[160];
    std::snprintf(window, sizeof window, "-O %.4fx%.4f -W %.4fx%.4f", wx, wy, ww, wh);
    fs::path png = s.path / "top.png";
    interop::Shell g = interop::run("timeout 120 gerbv -x png -B 0 -D 200 " + std::string(window) +
                                        " -b '#000000' -f '#FFFFFFFF' -o '" + png.string() + "' '" +
                                        (s.path / "g/b.top.copper.none.3.gbr").string() + "'",
                                    s.path);
    EXPECT_EQ(interop::complaints(g.err), "");
    Mask m;
    ASSERT_TRUE(read_mask(png, {0, 0, 0}, m));
    auto ink = [&](double mx, double my) {
        int i = static_cast<int>(std::floor(((mx + ox) / 1000 - wx) * 200));
        int j = static_cast<int>(std::floor((wy + wh - (my + oy) / 1000) * 200));
        return m.at(i, j) || m.at(i - 1, j) || m.at(i + 1, j) || m.at(i, j - 1) || m.at(i, j + 1);
    };
    int missing = 0, stray = 0, tried = 0;
    for (const Spot& sp : must) {
        missing += !ink(sp.x, sp.y);
    }
    for (double y = y1; y <= y2; y += 25) {
        for (double x = x1; x <= x2; x += 25) {
            if (std::none_of(taken.begin(), taken.end(), [&](const Spot& sp) {
                    return std::abs(x - sp.x) <= sp.rx + 25 && std::abs(y - sp.y) <= sp.ry + 25;
                })) {
                ++tried;
                stray += ink(x, y);
            }
        }
    }
    EXPECT_EQ(missing, 0) << "of " << must.size();
    EXPECT_GT(tried, 100);
    EXPECT_EQ(stray, 0) << "of " << tried;
}

TEST(ProtelPcbRnd, ReadsTheBenchmarkCopyWithNetdefBlocks) {
    interop::ScratchDir s("protel_pcbrnd_");
    std::string copy;
    {
        Loaded b;
        ASSERT_TRUE(b.load(s.path, 40, 3));
        ASSERT_TRUE(bench::write_autotrax(*b.d, s.path / "copy.pcb"));
        copy = slurp(s.path / "copy.pcb");
    }
    // Every second pad becomes the one pad of a Component "P<k>" (with a trailing lower-case letter
    // every third time), and nets of five such pins name them as "P<k>-1".
    std::vector<std::string> ls = text_lines(copy);
    std::vector<Record> rs = records(ls);
    std::string with;
    std::map<std::string, std::string> nets;
    std::vector<std::string> net_of_pad;
    for (size_t i = 0; i < ls.size() && ls[i] != "ENDPCB"; ++i) {
        if (ls[i] != "FP") {
            with += ls[i] + "\r\n";
            continue;
        }
        size_t pad = net_of_pad.size();
        net_of_pad.push_back(pad % 2 ? "" : "NET" + std::to_string(pad / 10));
        if (pad % 2 == 0) {
            with += "COMP\r\nP" + std::to_string(pad) + (pad % 3 == 0 ? "x" : "") +
                    "\r\nPAD\r\nVALUE\r\n 0 0 60 0 10 7\r\n 0 0 60 0 10 7\r\n0 0 2 2 2\r\nFP\r\n" + ls[i + 1] +
                    "\r\n1\r\nENDCOMP\r\n";
            nets[net_of_pad.back()] += "P" + std::to_string(pad) + "-1\r\n";
        } else {
            with += "FP\r\n" + ls[i + 1] + "\r\n" + ls[i + 2] + "\r\n";
        }
        i += 2;
    }
    for (const auto& [net, nodes] : nets) {
        with += "NETDEF\r\n" + net + "\r\n0\r\n(\r\n" + nodes + ")\r\n{\r\n}\r\n";
    }
    with += "ENDPCB\r\n";

    model::Model m;
    platform::Headless quiet;
    platform::install(&quiet);
    model::Document* d = model::NewDocument("copy.pcb");
    formats::SkipReport skipped;
    formats::ImportJob job;
    job.file = "copy.pcb";
    job.skipped = &skipped;
    model::LineReader in;
    in.open_memory(with);
    char got_code = formats::read_protel_board(in, *d, job);
    platform::install(nullptr);
    ASSERT_EQ(got_code, 'P');
    for (const formats::SkipEntry& e : skipped) {
        ADD_FAILURE() << e.construct << " x" << e.objects;
    }
    // Record for record: pads and vias, tracks, arcs, fills, strings.
    std::map<char, long> want, got;
    for (const Record& r : rs) {
        ++want[r.kind == 'V' ? 'P' : r.kind];
    }
    model::walk_tree(d->ring(), [&](Ref r, int depth) {
        const model::Node& n = model::node(r);
        uint8_t k = n.item_kind();
        if (k != model::kComponent && (k != model::kText || depth == 0)) {
            ++got[k == model::kPad ? 'P' : k == model::kArc ? 'A' : k == model::kText ? 'S' : n.size ? 'T' : 'F'];
        }
    });
    EXPECT_EQ(got, want);
    ASSERT_GT(want['P'], 40);
    // Every node's pad carries its net; the other pads carry none.
    size_t checked = 0;
    model::walk_tree(d->ring(), [&](Ref r, int depth) {
        if (model::node(r).item_kind() == model::kComponent) {
            size_t pad = std::stoul(model::ComponentField(r, 1).substr(1));
            for (Ref p : model::items_in(model::member_ring(r))) {
                Ref sig = model::item_signal(p);
                EXPECT_EQ(sig == model::kNone ? "" : model::signal_name(sig), net_of_pad.at(pad)) << pad;
                ++checked;
            }
        } else if (depth == 0 && model::node(r).item_kind() == model::kPad) {
            EXPECT_EQ(model::item_signal(r), model::kNone);
        }
    });
    EXPECT_EQ(checked, (net_of_pad.size() + 1) / 2);
}
