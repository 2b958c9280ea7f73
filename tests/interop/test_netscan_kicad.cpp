// The logged net scan against KiCad's DRC on the same generated boards (gen_board --clean, seed 11: no net
// comes near another, some stay unrouted): neither program finds a short or a clearance fault, and KiCad's
// count of unconnected pads must equal our count of "Discontinuity from" lines, net by net and in total; a
// copy with a short, an open and a clearance fault planted in it must be reported by both.  KiCad reads the board through the
// listing of bench/kicad_copy.h and its own Python module; the tests are skipped without it.
//
// TRAZEL_LONG=1 adds the 2000-component board (a few seconds of KiCad).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "../../bench/kicad_copy.h"
#include "cli/cli_runner.h"
#include "model/chooser.h"
#include "model/hit_test.h"
#include "model/model.h"

using namespace cli_test;
namespace kicad = bench::kicad;
namespace model = trazel::model;
using model::Coord;
using model::Ref;

namespace {

constexpr unsigned kSeed = 11;

fs::path gen_board() {
    return fs::path(TRAZEL_CLI).parent_path() / "gen_board";
}

Coord mils(int m) {
    return static_cast<Coord>((static_cast<int64_t>(m) * 65536 + 500) / 1000);
}

bool generate(int components, const std::string& out) {
    std::string cmd = quote(gen_board().string()) + " " + std::to_string(components) + " " + quote(out) +
                      " --seed " + std::to_string(kSeed) + " --clean >/dev/null 2>&1 </dev/null";
    return std::system(cmd.c_str()) == 0 && fs::exists(out);
}

// The message lines of our log (between the column header and the clearance parameters), CR LF removed.
struct OurLog {
    std::vector<std::string> lines;
    std::string summary;
    std::map<std::string, int> discontinuities; // per source Signal
    int total = 0;
    std::set<std::string> crosslinked; // the nets whose scan stopped at a crosslink
    int faults = 0;                    // every other line: crosslinks, clearances, drill holes ...
};

OurLog our_scan(const Scratch& s, const std::string& board, const std::string& log) {
    OurLog r;
    Result run_ = run(s, "netscan " + quote(board) + " --log " + quote(log), 300);
    EXPECT_EQ(run_.status, 0) << run_.err;
    r.summary = run_.out;
    std::string text = slurp(log);
    std::vector<std::string> all;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            end = text.size();
        }
        all.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    bool body = false;
    for (size_t k = 0; k < all.size(); ++k) {
        const std::string& l = all[k];
        if (l.rfind("SOURCE SIGNAL", 0) == 0) {
            body = true;
            k += 2; // the line of dashes and the empty line
            continue;
        }
        if (l.rfind("Minimum NetScan Clearance Parameters", 0) == 0) {
            break;
        }
        if (body && !l.empty()) {
            r.lines.push_back(l);
            if (l.find("Discontinuity from ") != std::string::npos) {
                ++r.discontinuities[l.substr(0, l.find(' '))];
                ++r.total;
            }
            if (l.find("Crosslinked to ") != std::string::npos) {
                r.crosslinked.insert(l.substr(0, l.find(' ')));
            }
            if (l.find("Discontinuity from ") == std::string::npos) {
                ++r.faults;
            }
        }
    }
    return r;
}

std::map<std::string, int> unconnected_per_net(const kicad::Report& r) {
    std::map<std::string, int> per;
    for (const kicad::Violation& v : r.unconnected_items) {
        ++per[v.items.empty() ? std::string("?") : v.items[0].net()];
    }
    return per;
}

// Nets whose counts differ, "name: KiCad a, ours b" (the first few).
std::string differences(const std::map<std::string, int>& theirs, const std::map<std::string, int>& ours) {
    std::set<std::string> names;
    for (auto& [n, c] : theirs) {
        names.insert(n);
    }
    for (auto& [n, c] : ours) {
        names.insert(n);
    }
    std::string out;
    int shown = 0;
    for (const std::string& n : names) {
        auto a = theirs.find(n), b = ours.find(n);
        int x = a == theirs.end() ? 0 : a->second, y = b == ours.end() ? 0 : b->second;
        if (x != y && shown++ < 12) {
            out += "  " + n + ": KiCad " + std::to_string(x) + ", ours " + std::to_string(y) + "\n";
        }
    }
    return out;
}

// KiCad's findings of copper too close to, or touching, another net's.
int copper_faults(const kicad::Report& r) {
    return static_cast<int>(std::count_if(r.drc.begin(), r.drc.end(), [](const kicad::Violation& v) {
        return v.type == "clearance" || v.type == "shorting_items";
    }));
}

const char* skip_reason() {
    if (!kicad::present()) {
        return "KiCad's pcbnew module is not installed (make deps-kicad)";
    }
    if (!fs::exists(gen_board())) {
        return "gen_board is not built beside trazel-cli";
    }
    return nullptr;
}

// --- Planting faults ------------------------------------------------------------------------------

struct Seg {
    double ax, ay, bx, by;
};

double point_seg(double px, double py, const Seg& s) {
    double dx = s.bx - s.ax, dy = s.by - s.ay, len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? std::clamp(((px - s.ax) * dx + (py - s.ay) * dy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(px - (s.ax + t * dx), py - (s.ay + t * dy));
}

double cross(double ax, double ay, double bx, double by, double cx, double cy) {
    return (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
}

double seg_seg(const Seg& s, const Seg& t) {
    double d1 = cross(s.ax, s.ay, s.bx, s.by, t.ax, t.ay), d2 = cross(s.ax, s.ay, s.bx, s.by, t.bx, t.by);
    double d3 = cross(t.ax, t.ay, t.bx, t.by, s.ax, s.ay), d4 = cross(t.ax, t.ay, t.bx, t.by, s.bx, s.by);
    if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))) {
        return 0;
    }
    return std::min({point_seg(t.ax, t.ay, s), point_seg(t.bx, t.by, s), point_seg(s.ax, s.ay, t),
                     point_seg(s.bx, s.by, t)});
}

// Edge to edge from a track (centre line s, half width h, on `layer`) to an Item's copper, in units; pads
// and arcs by their enclosing circles, so the gap is never overestimated.  Huge for what it cannot meet.
double gap(const model::Node& n, const Seg& s, double h, int layer) {
    constexpr double kFar = 1e12;
    switch (n.item_kind()) {
    case model::kLine:
        if (n.layer != layer || n.size == 0) {
            return kFar;
        }
        return seg_seg(s, Seg{double(n.line.x1), double(n.line.y1), double(n.line.x2), double(n.line.y2)}) -
               n.size / 2.0 - h;
    case model::kArc:
        if (n.layer != layer) {
            return kFar;
        }
        return point_seg(n.arc.x0, n.arc.y0, s) - n.arc.radius - n.size / 2.0 - h;
    case model::kPad:
        if ((n.size & 4) != 0 && n.layer != layer) {
            return kFar;
        }
        return point_seg(n.pad.x0, n.pad.y0, s) - std::hypot(double(n.pad.width), double(n.pad.height)) / 2 - h;
    default:
        return kFar;
    }
}

// Whether a track keeps at least `clear` from all copper except the Items `spared` allows.
template <class F> bool keeps_clear(const model::Document& d, const Seg& s, double h, int layer, double clear, F spared) {
    bool ok = true;
    model::walk_tree(d.ring(), [&](Ref r, int) {
        const model::Node& n = model::node(r);
        if (ok && !n.hidden() && !spared(r) && gap(n, s, h, layer) < clear) {
            ok = false;
        }
    });
    return ok;
}

struct PadInfo {
    Ref pad;
    std::string signal, name; // name as our log gives it: "U3-14"
    std::string ref, pin;
    Coord x, y;
};

std::vector<PadInfo> component_pads(const model::Document& d) {
    std::vector<PadInfo> out;
    for (Ref c : model::items_in(d.ring())) {
        if (model::node(c).item_kind() != model::kComponent) {
            continue;
        }
        std::string ref = model::ComponentField(c, 1);
        for (Ref p : model::items_in(model::member_ring(c))) {
            const model::Node& n = model::node(p);
            if (n.item_kind() == model::kPad && (n.size & 4) == 0 && model::item_signal(p) != model::kNone) {
                std::string pin = model::pin_text(p);
                out.push_back(PadInfo{p, model::signal_name(model::item_signal(p)), ref + "-" + pin, ref, pin,
                                      n.pad.x0, n.pad.y0});
            }
        }
    }
    return out;
}

std::string inch(Coord v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.3f", v / 65536.0);
    return b;
}

std::string point(Coord x, Coord y) {
    return "(" + inch(x) + "," + inch(y) + ")";
}

// Our log line with source `a`, target column `b` and a message holding `text`.
bool has_line(const std::vector<std::string>& lines, const std::string& a, const std::string& b,
              const std::string& text) {
    for (const std::string& l : lines) {
        std::string src = l.substr(0, std::min<size_t>(24, l.size()));
        std::string dst = l.size() > 24 ? l.substr(24, std::min<size_t>(24, l.size() - 24)) : "";
        auto trim = [](std::string t) { return t.substr(0, t.find_last_not_of(' ') + 1); };
        if (trim(src) == a && trim(dst) == b && l.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}


// A KiCad clearance violation between a net-less track and the pad `pin` of `ref` (net `net`).
const kicad::Violation* netless_track_at_pad(const kicad::Report& r, const PadInfo& p) {
    std::string pad = "pad " + p.pin + " [" + p.signal + "] of " + p.ref;
    for (const kicad::Violation& v : r.drc) {
        if (v.type != "clearance" || v.items.size() != 2) {
            continue;
        }
        const kicad::Item &a = v.items[0], &b = v.items[1];
        bool track_a = a.text.rfind("Track [<no net>]", 0) == 0, track_b = b.text.rfind("Track [<no net>]", 0) == 0;
        if ((track_a && b.text.find(pad) != std::string::npos) || (track_b && a.text.find(pad) != std::string::npos)) {
            return &v;
        }
    }
    return nullptr;
}

// A generated board read into a model of its own.
struct Board {
    model::Model m;
    model::FormatTable formats;
    model::Document* d = nullptr;

    explicit Board(const std::string& file) {
        model::register_model_formats(formats);
        d = model::NewDocument(file);
        std::string err;
        EXPECT_NE(model::OpenDocumentFile(formats, file, 0, &err), 0) << err;
    }
    bool save(const std::string& file) {
        std::string err;
        bool ok = model::SaveDocumentFile(formats, file, 'C', &err);
        EXPECT_TRUE(ok) << err;
        return ok;
    }
};

// Compares one clean board: no fault for either program, KiCad's unconnected pairs equal to our
// discontinuities net by net and in total.
void compare(const char* what, const kicad::Report& theirs, const OurLog& ours) {
    SCOPED_TRACE(what);
    std::map<std::string, int> theirs_per = unconnected_per_net(theirs);
    std::printf("  %-9s KiCad %4d unconnected, %d clearance faults; ours %4d Discontinuity lines, %d other "
                "lines\n",
                what, theirs.unconnected, copper_faults(theirs), ours.total, ours.faults);
    EXPECT_EQ(copper_faults(theirs), 0) << "KiCad finds copper too close on a clean board";
    EXPECT_EQ(ours.faults, 0) << "our scan finds faults on a clean board";
    EXPECT_TRUE(ours.crosslinked.empty());
    EXPECT_EQ(theirs_per, ours.discontinuities) << differences(theirs_per, ours.discontinuities);
    EXPECT_EQ(theirs.unconnected, ours.total);
}

} // namespace

// The clean boards are compared as they are: every discontinuity is a pad of an unrouted net or of a
// route whose corner arc misses a leg, and KiCad must count each the same way.
TEST(NetscanKicad, UnconnectedPadsEqualDiscontinuities) {
    if (const char* why = skip_reason()) {
        GTEST_SKIP() << why;
    }
    std::vector<int> sizes{200};
    if (const char* e = std::getenv("TRAZEL_LONG"); e && std::string(e) == "1") {
        sizes.push_back(2000);
    }
    Scratch s;
    for (int n : sizes) {
        SCOPED_TRACE(std::to_string(n) + " components");
        std::string stem = "board" + std::to_string(n), file = s / (stem + ".pcb");
        ASSERT_TRUE(generate(n, file));
        Board b(file);
        const model::Setup& st = b.d->setup;
        Coord clear = std::min({st.clear_line_line, st.clear_line_pad, st.clear_pad_pad});
        kicad::CopyStats copy = kicad::write_listing(*b.d, s / (stem + ".txt"), clear);
        EXPECT_EQ(copy.left_out, 0);
        std::string err;
        kicad::Report theirs = kicad::run_drc(s / (stem + ".txt"), s.dir, &err);
        ASSERT_TRUE(theirs.read) << err;
        OurLog ours = our_scan(s, file, s / (stem + ".LOG"));
        std::printf("  seed %u, %d components: %d footprints, %d pads, %d vias, %d tracks, %d arcs; KiCad's load "
                    "%.2f s, DRC %.2f s\n",
                    kSeed, n, copy.footprints, copy.pads, copy.vias, copy.tracks, copy.arcs, theirs.load_seconds,
                    theirs.drc_seconds);
        compare("clean:", theirs, ours);
    }
}

TEST(NetscanKicad, PlantedShortOpenAndClearanceFaultAreSeenByBoth) {
    if (const char* why = skip_reason()) {
        GTEST_SKIP() << why;
    }
    Scratch s;
    std::string gen = s / "gen.pcb";
    ASSERT_TRUE(generate(200, gen));
    Board b(gen);
    model::Document& d = *b.d;
    // 0.010 inch everywhere: a track of 0.012 inch and a round pad of 0.060 inch then need 0.046 inch
    // between the track's end and the pad's centre, KiCad's single clearance agreeing.
    const Coord clear = mils(10);
    d.setup.clear_line_line = d.setup.clear_line_pad = d.setup.clear_pad_pad = clear;
    ASSERT_TRUE(b.save(s / "base.pcb"));
    kicad::write_listing(d, s / "base.txt", clear);
    std::string err;
    kicad::Report kb = kicad::run_drc(s / "base.txt", s.dir, &err);
    ASSERT_TRUE(kb.read) << err;
    OurLog ob = our_scan(s, s / "base.pcb", s / "base.LOG");

    // The board is clean, so the faults planted below are the only ones; they keep clear of everything
    // else.
    ASSERT_EQ(ob.faults, 0);
    ASSERT_EQ(copper_faults(kb), 0);
    std::vector<PadInfo> pads = component_pads(d);
    std::map<std::string, int> pads_per_signal;
    for (const PadInfo& p : pads) {
        ++pads_per_signal[p.signal];
    }
    const int top = 3; // "Top Side"
    const Coord width = mils(12);
    const double h = width / 2.0, keep = mils(25);

    // The short: a track between neighbouring through-hole pads of two nets.
    const PadInfo *pa = nullptr, *pb = nullptr;
    for (size_t k = 0; k + 1 < pads.size() && !pa; ++k) {
        const PadInfo &a = pads[k], &c = pads[k + 1];
        if (a.ref != c.ref || a.signal == c.signal || std::hypot(double(a.x - c.x), double(a.y - c.y)) > mils(110)) {
            continue;
        }
        Seg seg{double(a.x), double(a.y), double(c.x), double(c.y)};
        Ref sa = model::item_signal(a.pad), sc = model::item_signal(c.pad);
        if (keeps_clear(d, seg, h, top, keep, [&](Ref r) {
                Ref sig = model::item_signal(r);
                return sig == sa || sig == sc;
            })) {
            pa = &a, pb = &c;
        }
    }
    ASSERT_TRUE(pa) << "no place for the short";

    // The open: a leg of a routed two-pad net.
    Ref open = model::kNone;
    std::string open_net;
    for (Ref r : model::items_in(d.ring())) {
        const model::Node& n = model::node(r);
        Ref sig = model::item_signal(r);
        if (n.item_kind() != model::kLine || sig == model::kNone || n.size == 0 ||
            (n.line.x1 == n.line.x2 && n.line.y1 == n.line.y2)) {
            continue;
        }
        std::string name = model::signal_name(sig);
        if (name != pa->signal && name != pb->signal && pads_per_signal[name] == 2) {
            open = r, open_net = name;
            break;
        }
    }
    ASSERT_NE(open, model::kNone) << "no place for the open";

    // The clearance fault: a track ending 0.040 inch from the centre of a round 0.060 inch pad.
    const PadInfo* pp = nullptr;
    Seg fault{};
    for (const PadInfo& p : pads) {
        const model::Node& n = model::node(p.pad);
        if (pp || p.signal == pa->signal || p.signal == pb->signal || p.signal == open_net ||
            n.pad.width != mils(60) || n.pad.height != mils(60) || (n.size & 3) == 2) {
            continue;
        }
        for (int dir = 0; dir < 4 && !pp; ++dir) {
            static const int kDx[4] = {1, -1, 0, 0}, kDy[4] = {0, 0, 1, -1};
            Seg f{double(p.x + kDx[dir] * mils(40)), double(p.y + kDy[dir] * mils(40)),
                  double(p.x + kDx[dir] * mils(90)), double(p.y + kDy[dir] * mils(90))};
            if (keeps_clear(d, f, h, top, keep, [&](Ref r) { return r == p.pad; })) {
                pp = &p, fault = f;
            }
        }
    }
    ASSERT_TRUE(pp) << "no place for the clearance fault";

    model::MakeItem(d.ring(), model::kLine, top, static_cast<uint16_t>(width), pa->x, pa->y, pb->x, pb->y);
    const model::Node& gone = model::node(open);
    Coord ox1 = gone.line.x1, oy1 = gone.line.y1;
    model::DeleteItem(open);
    Coord fx1 = Coord(fault.ax), fy1 = Coord(fault.ay), fx2 = Coord(fault.bx), fy2 = Coord(fault.by);
    model::MakeItem(d.ring(), model::kLine, top, static_cast<uint16_t>(width), fx1, fy1, fx2, fy2);
    ASSERT_TRUE(b.save(s / "faults.pcb"));
    kicad::write_listing(d, s / "faults.txt", clear);
    kicad::Report kf = kicad::run_drc(s / "faults.txt", s.dir, &err);
    ASSERT_TRUE(kf.read) << err;
    OurLog of = our_scan(s, s / "faults.pcb", s / "faults.LOG");

    std::printf("  short %s (%s) to %s (%s); open: a track of %s at %s; clearance: %s (%s)\n", pa->name.c_str(),
                pa->signal.c_str(), pb->name.c_str(), pb->signal.c_str(), open_net.c_str(),
                point(ox1, oy1).c_str(), pp->name.c_str(), pp->signal.c_str());
    std::printf("  KiCad: %d unconnected, %d violations before; %d and %d after\n", kb.unconnected, kb.violations,
                kf.unconnected, kf.violations);
    std::multiset<std::string> lost(ob.lines.begin(), ob.lines.end());
    std::vector<std::string> added;
    for (const std::string& l : of.lines) {
        auto it = lost.find(l);
        if (it != lost.end()) {
            lost.erase(it);
        } else {
            added.push_back(l);
            std::printf("  ours, new: %s\n", l.c_str());
        }
    }

    // KiCad: one more unconnected pair, on the opened net; the short as a net-less track at clearance 0
    // against both pads; the fault track 0.004 inch short of its clearance.
    EXPECT_EQ(kf.unconnected, kb.unconnected + 1);
    EXPECT_EQ(unconnected_per_net(kf)[open_net], 1);
    for (const PadInfo* p : {pa, pb}) {
        const kicad::Violation* v = netless_track_at_pad(kf, *p);
        ASSERT_TRUE(v) << "KiCad sees no short at " << p->name;
        EXPECT_EQ(v->actual(), 0.0) << v->message;
    }
    const kicad::Violation* v = netless_track_at_pad(kf, *pp);
    ASSERT_TRUE(v) << "KiCad sees no clearance fault at " << pp->name;
    EXPECT_GT(v->actual(), 3.9) << v->message;
    EXPECT_LT(v->actual(), 4.1) << v->message;

    // Ours: the two nets crosslinked both ways, one more discontinuity on the opened net, the fault line.
    EXPECT_TRUE(has_line(of.lines, pa->signal, pb->signal, "Crosslinked to "));
    EXPECT_TRUE(has_line(of.lines, pb->signal, pa->signal, "Crosslinked to "));
    EXPECT_EQ(of.total, ob.total + 1);
    EXPECT_EQ(of.discontinuities[open_net], 1);
    EXPECT_TRUE(has_line(of.lines, pp->signal, "",
                         "Clearance from " + pp->name + " to line " + point(fx1, fy1) + "," + point(fx2, fy2)));
    // Nothing else: the four lines are all that is new, and only the crosslinked nets lose lines (the
    // rest of their scan is skipped: their discontinuities, if any).
    EXPECT_EQ(added.size(), 4u);
    for (const std::string& l : lost) {
        std::string net = l.substr(0, l.find(' '));
        EXPECT_TRUE(net == pa->signal || net == pb->signal) << "lost: " << l;
    }
}
