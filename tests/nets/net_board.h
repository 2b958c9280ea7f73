#pragma once
// A fresh model with one board for the trace and ratnest tests: the two-sided layer set of the editing
// tests plus a schematic signal layer and a plane, small Item builders, and a generated board with extra
// crossing tracks, plane pads and labels so that every spreading rule has work to do.
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <random>
#include <string>
#include <vector>

#include "edit/board_build.h"
#include "nets/net_state.h"

namespace nets_test {

using namespace trazel;
using edit_test::kBottom;
using edit_test::kTop;
using edit_test::kTopSilk;
using model::Coord;
using model::node;
using model::Point;
using model::Ref;

constexpr int kSignals = 5, kPlane = 6; // a schematic signal layer and a power plane
constexpr uint16_t kOvalThru = 1, kRectThru = 2, kVia = 3, kOvalSmt = 5, kRectSmt = 6;
constexpr Coord kInch = 65536;

// The board set-up of the editing tests plus a schematic signal layer and a power plane.
inline void board_setup(model::Document& d) {
    edit_test::apply_board_setup();
    model::set_layer_name(d.setup.layers[kSignals], "Signals");
    d.setup.layers[kSignals].type = model::kLayerSchematic;
    model::set_layer_name(d.setup.layers[kPlane], "GND");
    d.setup.layers[kPlane].type = model::kLayerPlane;
}

struct NetBoard : ::testing::Test {
    std::unique_ptr<model::Model> m;
    model::Document* d = nullptr;
    std::unique_ptr<nets::NetState> s;

    void SetUp() override {
        fresh();
    }
    void TearDown() override {
        s.reset();
        m.reset();
    }
    void fresh() {
        s.reset();
        m.reset();
        m = std::make_unique<model::Model>();
        d = model::NewDocument("nets.pcb");
        ASSERT_NE(d, nullptr);
        board_setup(*d);
        s = std::make_unique<nets::NetState>(*d);
    }
    Ref ring() const {
        return d->ring();
    }
    Ref track(int layer, Coord x1, Coord y1, Coord x2, Coord y2, uint16_t width = 800, const char* sig = nullptr) {
        Ref t = edit_test::make_track(ring(), layer, x1, y1, x2, y2, width);
        if (sig != nullptr) {
            model::AttachSignal(t, sig);
        }
        return t;
    }
    Ref pad(int layer, Coord x, Coord y, uint16_t type, const char* sig = nullptr, uint16_t w = 4000, uint16_t h = 4000,
            Ref where = model::kNone) {
        Ref p = edit_test::make_pad(where ? where : ring(), layer, x, y, w, h, type);
        if (sig != nullptr) {
            model::AttachSignal(p, sig);
        }
        return p;
    }
    Ref signal(const char* name) {
        return model::find_signal(name, true);
    }
    bool marked(Ref r) const {
        return node(r).marked();
    }
};

// One line per Item: kind, layer, size and the four first fields, so runs in separate models compare.
inline std::string describe(Ref r) {
    const model::Node& n = node(r);
    return std::to_string(n.item_kind()) + ' ' + std::to_string(n.layer) + ' ' + std::to_string(n.size) + ' ' +
           std::to_string(n.line.x1) + ' ' + std::to_string(n.line.y1) + ' ' + std::to_string(n.line.x2) + ' ' +
           std::to_string(n.line.y2) + ' ' + model::signal_name(model::item_signal(r)) + '\n';
}

inline std::string describe(const std::vector<Ref>& items) {
    std::string out;
    for (Ref r : items) {
        out += describe(r);
    }
    return out;
}

// The generated component board plus what it lacks: long tracks crossing others on both copper layers,
// through-hole pads on the plane sharing Signals, signal labels and wires on the schematic layer, and a
// few pads without Signal (some with pins).
inline void generate(Ref ring, unsigned seed, int components) {
    edit_test::generate_board(ring, seed, components);
    std::mt19937 rng(seed * 7 + 1);
    auto pick = [&](int below) { return static_cast<int>(rng() % static_cast<unsigned>(below)); };
    // The packages' pads carry a few Signals each scattered over the board; some carry none.
    std::vector<Ref> member_pads;
    model::walk_tree(ring, [&](Ref r, int depth) {
        if (depth > 0 && node(r).item_kind() == model::kPad) {
            member_pads.push_back(r);
        }
    });
    for (Ref p : member_pads) {
        if (pick(8) != 0) {
            model::AttachSignal(p, "S" + std::to_string(pick(components / 3 + 2)));
        }
    }
    int rows = std::max(1, components / 6);
    auto at = [&] { return Point{pick(6 * kInch), pick(rows * kInch)}; };
    for (int i = 0; i < components / 2 + 2; ++i) {
        Point a = at(), b = at();
        edit_test::make_track(ring, pick(2) ? kTop : kBottom, a.x, a.y, b.x, b.y,
                              static_cast<uint16_t>(400 + pick(1200)));
    }
    for (int i = 0; i < 6; ++i) {
        Point a = at();
        Ref p = edit_test::make_pad(ring, kPlane, a.x, a.y, 4000, 4000, kOvalThru);
        model::AttachSignal(p, i % 2 ? "GND" : "VCC");
    }
    for (int i = 0; i < 4; ++i) {
        Point a = at(), b = at();
        edit_test::make_track(ring, kSignals, a.x, a.y, b.x, a.y, 600);
        edit_test::make_track(ring, kSignals, b.x, a.y, b.x, b.y, 600);
        Ref label = edit_test::make_text(ring, kSignals, b.x, a.y, 3000, "L");
        model::ReleaseChain(label);
        model::AttachSignal(label, "LBL" + std::to_string(i));
    }
    for (int i = 0; i < 4; ++i) {
        Point a = at();
        Ref p = edit_test::make_pad(ring, 0, a.x, a.y, 5000, 5000, i % 2 ? kOvalThru : kVia);
        if (i < 2) {
            model::SetPin(p, "1");
        }
    }
}

// --- Listing text ----------------------------------------------------------------------------------

// A fixed date for title lines.
inline std::tm day_in_march_2024(int day) {
    std::tm t{};
    t.tm_year = 124;
    t.tm_mon = 2;
    t.tm_mday = day;
    return t;
}

// Inches to coordinate units, rounded.
inline Coord in(double v) {
    return static_cast<Coord>(v * kInch + (v < 0 ? -0.5 : 0.5));
}

// A line made of texts at the columns given, blanks between (columns ascending).
inline std::string cols(std::initializer_list<std::pair<size_t, std::string>> parts) {
    std::string l;
    for (const auto& [c, t] : parts) {
        EXPECT_GE(c, l.size()) << "columns overlap at " << c;
        l.resize(c, ' ');
        l += t;
    }
    return l;
}

// Lines joined with CR LF after each.
inline std::string crlf(std::initializer_list<std::string> lines) {
    std::string out;
    for (const std::string& l : lines) {
        out += l + "\r\n";
    }
    return out;
}

inline std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

} // namespace nets_test
