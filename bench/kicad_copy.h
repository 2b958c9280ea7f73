#pragma once
// The KiCad copy of a board, shared by the net scan's interop test and its benchmark: a plain listing of
// the board's copper (pads with their nets and shapes, tracks, arcs, vias and an outline round it, in
// KiCad's axes: nanometres, Y down), a Python script that turns the listing into a .kicad_pcb and runs
// KiCad's DRC on it through its own module, and a reader of the DRC report.
//
// KiCad reads no format of ours, so only what the net scan looks at is copied: the Items on conductive
// layers that the trace can reach (not Hidden ones), each pad inside a footprint named after its
// Component's Reference ID.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "edit/locate.h"
#include "model/hit_test.h"
#include "model/model.h"

namespace bench::kicad {

namespace fs = std::filesystem;
namespace model = trazel::model;
using model::Coord;
using model::Ref;

// The interpreter KiCad's module is installed for (the python3 first on PATH may be another).
constexpr const char* kPython = "/usr/bin/python3";

inline bool present() {
    std::string probe = std::string(kPython) + " -c 'import pcbnew' >/dev/null 2>&1 </dev/null";
    return std::system(probe.c_str()) == 0;
}

// 65536 units to the inch.
inline long long nm(int64_t v) {
    return std::llround(static_cast<double>(v) * 25400000.0 / 65536.0);
}

struct CopyStats {
    int footprints = 0, pads = 0, vias = 0, tracks = 0, arcs = 0;
    int left_out = 0; // conductive Items KiCad gets no copy of (pours, elliptic arcs, tracks on layer 0)
};

namespace detail {

// Names in the listing are one word each: blanks become underscores, an empty name "~".
inline std::string word(std::string s) {
    for (char& c : s) {
        if (static_cast<unsigned char>(c) <= ' ') {
            c = '_';
        }
    }
    return s.empty() ? "~" : s;
}

struct Lister {
    std::vector<std::string> copper; // KiCad layer name per our layer, empty when not conductive
    std::map<Ref, int> nets;
    std::vector<std::string> net_names{""};
    std::ostringstream board, footprints;
    CopyStats stats;
    bool any = false;
    int64_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;

    explicit Lister(const model::Setup& s) : copper(256) {
        // Conductive layers in layer order: the first top one is F.Cu, the last bottom one B.Cu, the
        // others inner layers in order.
        std::vector<int> layers;
        for (int l = 0; l < 256; ++l) {
            if (s.layers[static_cast<size_t>(l)].in_use() && (s.layers[static_cast<size_t>(l)].type & 3) == 2) {
                layers.push_back(l);
            }
        }
        if (layers.empty()) {
            return;
        }
        auto bottom = [&](int l) { return (s.layers[static_cast<size_t>(l)].type & model::kLayerBottom) != 0; };
        int front = layers.front(), back = -1;
        for (int l : layers) {
            if (!bottom(l)) {
                front = l;
                break;
            }
        }
        for (int pass = 0; pass < 2 && back < 0; ++pass) {
            for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
                if (*it != front && (pass == 1 || bottom(*it))) {
                    back = *it;
                    break;
                }
            }
        }
        int inner = 0;
        for (int l : layers) {
            copper[static_cast<size_t>(l)] =
                l == front ? "F.Cu" : l == back ? "B.Cu" : "In" + std::to_string(++inner) + ".Cu";
        }
    }

    int net(Ref item) {
        Ref s = model::item_signal(item);
        if (s == model::kNone) {
            return 0;
        }
        auto [it, fresh] = nets.emplace(s, static_cast<int>(net_names.size()));
        if (fresh) {
            net_names.push_back(model::signal_name(s));
        }
        return it->second;
    }

    void extent(int64_t x, int64_t y, int64_t r) {
        if (!any) {
            x1 = x - r, y1 = y - r, x2 = x + r, y2 = y + r;
            any = true;
            return;
        }
        x1 = std::min(x1, x - r), y1 = std::min(y1, y - r);
        x2 = std::max(x2, x + r), y2 = std::max(y2, y + r);
    }

    // "x y" in KiCad's axes.
    static std::string at(int64_t x, int64_t y) {
        return std::to_string(nm(x)) + " " + std::to_string(nm(-y));
    }

    void pad(Ref r, bool top_level, std::ostringstream& out) {
        const model::Node& n = model::node(r);
        bool smd = (n.size & 4) != 0;
        int code = n.size & 3;
        if (smd && copper[n.layer].empty()) {
            return; // the trace never reaches a surface-mount pad off the copper
        }
        extent(n.pad.x0, n.pad.y0, std::max<int64_t>(n.pad.width, n.pad.height));
        if (top_level && !smd && code == 3) {
            Coord drill = n.pad.hole > 0 ? n.pad.hole : n.pad.width / 2;
            board << "via " << at(n.pad.x0, n.pad.y0) << " " << nm(n.pad.width) << " " << nm(drill) << " " << net(r)
                  << "\n";
            ++stats.vias;
            return;
        }
        const char* shape = code == 2                                   ? "rect"
                            : code == 3 || n.pad.width == n.pad.height ? "circle"
                                                                        : "oval";
        int64_t w = n.pad.width, h = code == 3 ? n.pad.width : n.pad.height;
        // A through-hole pad without a hole still joins every layer: KiCad gets a small drill.
        int64_t drill = n.pad.hole > 0 ? n.pad.hole : std::max<int64_t>(1, std::min(w, h) / 4);
        char deg[32];
        std::snprintf(deg, sizeof deg, "%.4f", n.pad.angle * 360.0 / 65536.0);
        out << "pad " << word(model::pin_text(r)) << " " << (smd ? "smd" : "thru") << " " << shape << " "
            << at(n.pad.x0, n.pad.y0) << " " << nm(w) << " " << nm(h) << " " << deg << " " << (smd ? nm(0) : nm(drill))
            << " " << (smd ? copper[n.layer] : std::string("*")) << " " << net(r) << "\n";
        ++stats.pads;
    }

    void line(Ref r) {
        const model::Node& n = model::node(r);
        if (copper[n.layer].empty()) {
            stats.left_out += n.layer == 0 && n.size != 0 ? 1 : 0;
            return;
        }
        if (n.size == 0) {
            ++stats.left_out; // a pour
            return;
        }
        extent(n.line.x1, n.line.y1, n.size);
        extent(n.line.x2, n.line.y2, n.size);
        board << "seg " << at(n.line.x1, n.line.y1) << " " << at(n.line.x2, n.line.y2) << " " << nm(n.size) << " "
              << copper[n.layer] << " " << net(r) << "\n";
        ++stats.tracks;
    }

    void arc(Ref r) {
        const model::Node& n = model::node(r);
        if (copper[n.layer].empty() || n.size == 0) {
            return;
        }
        if (n.arc.radius < 1 || n.arc.ellipse != 0) { // KiCad has no elliptic track
            ++stats.left_out;
            return;
        }
        extent(n.arc.x0, n.arc.y0, static_cast<int64_t>(n.arc.radius) + n.size);
        auto piece = [&](model::Angle from, uint32_t sweep) {
            model::Point a = model::arc_point(n, from, trazel::edit::turn_of);
            model::Point m = model::arc_point(n, static_cast<model::Angle>(from + sweep / 2), trazel::edit::turn_of);
            model::Point b = model::arc_point(n, static_cast<model::Angle>(from + sweep), trazel::edit::turn_of);
            board << "arc " << at(a.x, a.y) << " " << at(m.x, m.y) << " " << at(b.x, b.y) << " " << nm(n.size) << " "
                  << copper[n.layer] << " " << net(r) << "\n";
            ++stats.arcs;
        };
        if (n.arc.sweep == 0) { // a full circle: KiCad's arcs stop short of one, so two halves
            piece(n.arc.start, 32768);
            piece(static_cast<model::Angle>(n.arc.start + 32768), 32768);
        } else {
            piece(n.arc.start, n.arc.sweep);
        }
    }

    void ring(Ref head, bool top_level) {
        for (Ref r : model::items_in(head)) {
            const model::Node& n = model::node(r);
            if (n.hidden()) {
                continue;
            }
            switch (n.item_kind()) {
            case model::kLine:
                line(r);
                break;
            case model::kArc:
                arc(r);
                break;
            case model::kPad:
                if (top_level && !((n.size & 4) == 0 && (n.size & 3) == 3)) {
                    std::ostringstream one;
                    pad(r, true, one);
                    if (!one.str().empty()) {
                        footprints << "fp ~\n" << one.str();
                        ++stats.footprints;
                    }
                } else {
                    pad(r, top_level, board);
                }
                break;
            case model::kComponent: {
                std::ostringstream pads;
                Ref members = model::member_ring(r);
                for (Ref m : model::items_in(members)) {
                    if (!model::node(m).hidden() && model::node(m).item_kind() == model::kPad) {
                        pad(m, false, pads);
                    }
                }
                if (!pads.str().empty()) {
                    footprints << "fp " << word(model::ComponentField(r, 1)) << "\n" << pads.str();
                    ++stats.footprints;
                }
                // The other members (tracks of the footprint, nested Components) as free copper.
                for (Ref m : model::items_in(members)) {
                    const model::Node& x = model::node(m);
                    if (x.hidden()) {
                        continue;
                    }
                    if (x.item_kind() == model::kLine) {
                        line(m);
                    } else if (x.item_kind() == model::kArc) {
                        arc(m);
                    } else if (x.item_kind() == model::kComponent) {
                        nested(m);
                    }
                }
                break;
            }
            default:
                break;
            }
        }
    }

    void nested(Ref component) {
        std::ostringstream pads;
        for (Ref m : model::items_in(model::member_ring(component))) {
            if (!model::node(m).hidden() && model::node(m).item_kind() == model::kPad) {
                pad(m, false, pads);
            }
        }
        if (!pads.str().empty()) {
            footprints << "fp " << word(model::ComponentField(component, 1)) << "\n" << pads.str();
            ++stats.footprints;
        }
    }
};

} // namespace detail

// Writes the listing of `d`'s copper with `clearance` (coordinate units) as KiCad's default netclass
// clearance.  Lines: "clearance NM", "copper NAME...", "net N NAME", "edge X1 Y1 X2 Y2", "fp REF" then
// its "pad PIN thru|smd circle|oval|rect X Y W H DEG DRILL LAYER|* NET" lines, "via X Y SIZE DRILL NET",
// "seg X1 Y1 X2 Y2 W LAYER NET", "arc SX SY MX MY EX EY W LAYER NET".
inline CopyStats write_listing(const model::Document& d, const fs::path& path, Coord clearance) {
    detail::Lister l(d.setup);
    l.ring(d.ring(), true);
    std::ofstream out(path, std::ios::binary);
    out << "clearance " << nm(clearance) << "\ncopper";
    std::vector<std::string> used;
    for (const std::string& c : l.copper) {
        if (!c.empty()) {
            used.push_back(c);
        }
    }
    std::sort(used.begin(), used.end(), [](const std::string& a, const std::string& b) {
        auto rank = [](const std::string& s) { return s == "F.Cu" ? 0 : s == "B.Cu" ? 99 : std::atoi(s.c_str() + 2); };
        return rank(a) < rank(b);
    });
    for (const std::string& c : used) {
        out << " " << c;
    }
    out << "\n";
    for (size_t k = 1; k < l.net_names.size(); ++k) {
        out << "net " << k << " " << l.net_names[k] << "\n";
    }
    const int64_t margin = 6554; // 0.1 inch round the copper
    out << "edge " << detail::Lister::at(l.x1 - margin, l.y2 + margin) << " "
        << detail::Lister::at(l.x2 + margin, l.y1 - margin) << "\n";
    out << l.footprints.str() << l.board.str();
    return l.stats;
}

// Builds the .kicad_pcb from a listing, loads it, sets the clearances and writes the DRC report.
// Prints "load SECONDS" and "drc SECONDS" (KiCad's own time for each half).
constexpr const char* kDrcScript = R"PY(import sys
import time
import pcbnew

listing, pcb, report = sys.argv[1:4]


def mm(v):
    return "%.6f" % (int(v) / 1e6)


def xy(x, y):
    return mm(x) + " " + mm(y)


def quoted(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


def name(w):
    return "" if w == "~" else w


nets = {0: ""}
copper = ["F.Cu", "B.Cu"]
clearance = 0
edge = None
body = []
open_fp = False
for line in open(listing):
    f = line.split()
    if not f:
        continue
    k = f[0]
    if k == "clearance":
        clearance = int(f[1])
    elif k == "copper":
        copper = f[1:] or ["F.Cu"]
    elif k == "net":
        nets[int(f[1])] = line.rstrip("\n").split(" ", 2)[2]
    elif k == "edge":
        edge = f[1:5]
    elif k == "fp":
        if open_fp:
            body.append("  )")
        body.append('  (footprint "trazel:%s" (layer "F.Cu") (at 0 0)' % name(f[1]).replace(":", "_"))
        body.append('    (fp_text reference %s (at 0 0) (layer "F.SilkS") hide'
                    ' (effects (font (size 1 1) (thickness 0.15))))' % quoted(name(f[1])))
        open_fp = True
    elif k == "pad":
        pin, kind, shape, x, y, w, h, deg, drill, layer, net = f[1:12]
        n = int(net)
        net_text = " (net %d %s)" % (n, quoted(nets[n])) if n else ""
        if kind == "thru":
            body.append('    (pad %s thru_hole %s (at %s %s) (size %s %s) (drill %s) (layers "*.Cu" "*.Mask")%s)'
                        % (quoted(name(pin)), shape, xy(x, y), deg, mm(w), mm(h), mm(drill), net_text))
        else:
            body.append('    (pad %s smd %s (at %s %s) (size %s %s) (layers %s)%s)'
                        % (quoted(name(pin)), shape, xy(x, y), deg, mm(w), mm(h), quoted(layer), net_text))
    else:
        if open_fp:
            body.append("  )")
            open_fp = False
        if k == "via":
            x, y, size, drill, net = f[1:6]
            body.append('  (via (at %s) (size %s) (drill %s) (layers "%s" "%s") (net %s))'
                        % (xy(x, y), mm(size), mm(drill), copper[0], copper[-1], net))
        elif k == "seg":
            x1, y1, x2, y2, w, layer, net = f[1:8]
            body.append('  (segment (start %s) (end %s) (width %s) (layer %s) (net %s))'
                        % (xy(x1, y1), xy(x2, y2), mm(w), quoted(layer), net))
        elif k == "arc":
            sx, sy, mx, my, ex, ey, w, layer, net = f[1:10]
            body.append('  (arc (start %s) (mid %s) (end %s) (width %s) (layer %s) (net %s))'
                        % (xy(sx, sy), xy(mx, my), xy(ex, ey), mm(w), quoted(layer), net))
if open_fp:
    body.append("  )")

ordinal = {"F.Cu": 0, "B.Cu": 31}
with open(pcb, "w") as out:
    out.write('(kicad_pcb (version 20211014) (generator trazel)\n  (general (thickness 1.6))\n'
              '  (paper "A4")\n  (layers\n')
    for c in copper:
        out.write('    (%d "%s" signal)\n' % (ordinal.get(c, int(c[2:-3]) if c.startswith("In") else 0), c))
    out.write('    (36 "B.SilkS" user "B.Silkscreen")\n    (37 "F.SilkS" user "F.Silkscreen")\n'
              '    (38 "B.Mask" user)\n    (39 "F.Mask" user)\n    (44 "Edge.Cuts" user)\n  )\n'
              '  (setup (pad_to_mask_clearance 0))\n')
    for n in sorted(nets):
        out.write("  (net %d %s)\n" % (n, quoted(nets[n])))
    out.write("\n".join(body) + "\n")
    if edge:
        out.write('  (gr_rect (start %s) (end %s) (layer "Edge.Cuts") (width 0.1))\n'
                  % (xy(edge[0], edge[1]), xy(edge[2], edge[3])))
    out.write(")\n")

t0 = time.monotonic()
board = pcbnew.LoadBoard(pcb)
t1 = time.monotonic()
settings = board.GetDesignSettings()
settings.GetNetClasses().GetDefault().SetClearance(clearance)
# Only copper clearances and connections are compared: KiCad's other design minimums are switched off.
for rule in ("m_MinClearance", "m_HoleClearance", "m_HoleToHoleMin", "m_CopperEdgeClearance",
             "m_TrackMinWidth", "m_ViasMinSize", "m_MinThroughDrill", "m_ViasMinAnnularWidth"):
    setattr(settings, rule, 0)
ok = pcbnew.WriteDRCReport(board, report, pcbnew.EDA_UNITS_MILS, True)
t2 = time.monotonic()
print("load %.3f" % (t1 - t0))
print("drc %.3f" % (t2 - t1))
sys.exit(0 if ok else 1)
)PY";

struct Item {
    double x = 0, y = 0;  // mils, KiCad's axes
    std::string text;     // "Track [N$1] on F.Cu, length 196.85 mils"
    std::string net() const { // the name between the first brackets, "<no net>" for a net-less Item
        size_t a = text.find(" ["), b = a == std::string::npos ? a : text.find(']', a);
        return b == std::string::npos ? std::string() : text.substr(a + 2, b - a - 2);
    }
};

struct Violation {
    std::string type;    // "clearance", "unconnected_items", "track_dangling" ...
    std::string message; // "Clearance violation (netclass 'Default' clearance 10.00 mils; actual 0.00 mils)"
    std::vector<Item> items;
    // The "actual" distance of a clearance violation in mils, -1 when there is none.
    double actual() const {
        size_t a = message.find("actual ");
        return a == std::string::npos ? -1 : std::atof(message.c_str() + a + 7);
    }
};

struct Report {
    bool read = false;
    int violations = -1, unconnected = -1, footprint_errors = -1; // the "** Found N ... **" counts
    std::vector<Violation> drc, unconnected_items;
    double load_seconds = 0, drc_seconds = 0; // KiCad's own times
};

inline Report read_report(const fs::path& path) {
    Report r;
    std::ifstream in(path, std::ios::binary);
    std::vector<Violation>* into = nullptr;
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') {
            l.pop_back();
        }
        int n = 0;
        char what[64] = {};
        if (std::sscanf(l.c_str(), "** Found %d %63[^*]", &n, what) == 2) {
            std::string w = what;
            if (w.rfind("DRC violations", 0) == 0) {
                r.violations = n, into = &r.drc;
            } else if (w.rfind("unconnected", 0) == 0) {
                r.unconnected = n, into = &r.unconnected_items;
            } else {
                r.footprint_errors = n, into = nullptr;
            }
            r.read = true;
        } else if (!l.empty() && l[0] == '[' && into) {
            size_t close = l.find("]: ");
            if (close != std::string::npos) {
                into->push_back(Violation{l.substr(1, close - 1), l.substr(close + 3), {}});
            }
        } else if (l.rfind("    @(", 0) == 0 && into && !into->empty()) {
            Item it;
            size_t colon = l.find("): ");
            std::sscanf(l.c_str(), "    @(%lf mils, %lf mils)", &it.x, &it.y);
            it.text = colon == std::string::npos ? std::string() : l.substr(colon + 3);
            into->back().items.push_back(it);
        }
    }
    return r;
}

// Runs the script on a listing in `dir`; the report's counts stay -1 when KiCad failed (see err).
inline Report run_drc(const fs::path& listing, const fs::path& dir, std::string* err = nullptr) {
    fs::path script = dir / "kicad_drc.py", pcb = dir / (listing.stem().string() + ".kicad_pcb");
    fs::path report = dir / (listing.stem().string() + ".rpt"), out = dir / "kicad.out", errf = dir / "kicad.err";
    {
        std::ofstream s(script, std::ios::binary);
        s << kDrcScript;
    }
    fs::remove(report);
    std::string cmd = std::string(kPython) + " '" + script.string() + "' '" + listing.string() + "' '" +
                      pcb.string() + "' '" + report.string() + "' >'" + out.string() + "' 2>'" + errf.string() +
                      "' </dev/null";
    int rc = std::system(cmd.c_str());
    Report r;
    if (rc == 0) {
        r = read_report(report);
    }
    std::ifstream times(out);
    for (std::string w; times >> w;) {
        double v = 0;
        times >> v;
        (w == "load" ? r.load_seconds : r.drc_seconds) = v;
    }
    if (err) {
        std::ifstream e(errf, std::ios::binary);
        *err = "exit status " + std::to_string(WIFEXITED(rc) ? WEXITSTATUS(rc) : -1) + ": " +
               std::string(std::istreambuf_iterator<char>(e), {});
    }
    return r;
}

} // namespace bench::kicad
