// The component pin list worked by hand (Top/Bot/SMD/THD, the nearest via of a surface pad's Signal or
// else its nearest through-hole pad), the wire list's header, and the index and the plain walk giving
// the same pin list on generated boards.
#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <utility>

#include "nets/net_board.h"
#include "nets/pinlist.h"

namespace {

using namespace trazel;
using edit_test::kBottom;
using edit_test::kTop;
using model::Coord;
using model::node;
using model::Ref;
using nets_test::cols;
using nets_test::crlf;
using nets_test::day_in_march_2024;
using nets_test::in;
using nets_test::kInch;
using nets_test::NetBoard;

const std::string kRule(80, '-');

// A pin list row: reference, pattern, pin, type, X, Y, Signal, and the via or pad's type, X and Y, each at
// its column; empty fields are left out.
std::string row(std::initializer_list<std::string> fields) {
    static const size_t at[] = {0, 8, 20, 26, 32, 40, 48, 60, 66, 74};
    std::string l;
    size_t i = 0;
    for (const std::string& f : fields) {
        if (!f.empty()) {
            l.resize(at[i], ' ');
            l += f;
        }
        ++i;
    }
    return l;
}

class PinList : public NetBoard {
  protected:
    Ref part(const std::string& params) {
        return model::make_component(ring(), 0, 0, params);
    }
    Ref member_pad(Ref c, int layer, double x, double y, uint16_t type, const char* pin, const char* sig) {
        Ref p = pad(layer, in(x), in(y), type, sig, 4000, 4000, model::member_ring(c));
        if (pin != nullptr) {
            model::SetPin(p, pin);
        }
        return p;
    }
    // Both methods, which must agree.
    std::string text() {
        s->plain = false;
        std::string indexed = nets::pin_list_text(*s, day_in_march_2024(7));
        nets::NetState plain(*d);
        plain.plain = true;
        EXPECT_EQ(nets::pin_list_text(plain, day_in_march_2024(7)), indexed);
        return indexed;
    }
};

TEST_F(PinList, SurfacePadsNameTheirNearestViaElseTheNearestThroughHolePad) {
    Ref u1 = part("SO8\x7FU1\x7FLM358");
    member_pad(u1, kTop, 1.0, 1.0, nets_test::kRectSmt, "1", "A");
    member_pad(u1, kBottom, 1.1, 1.0, nets_test::kRectSmt, "2", "B");
    member_pad(u1, kTop, 1.2, 1.0, nets_test::kRectSmt, "3", nullptr);
    member_pad(u1, 0, 1.3, 1.0, nets_test::kOvalThru, "4", "A");
    member_pad(u1, kTop, 1.4, 1.0, nets_test::kRectSmt, nullptr, "A"); // no pin: not listed
    Ref j1 = part("HDR\x7FJ1\x7FHEADER");
    member_pad(j1, 0, 1.0, 1.2, nets_test::kOvalThru, "1", "A"); // nearer than any via of A, but no via
    member_pad(j1, 0, 3.0, 1.0, nets_test::kRectThru, "2", "B");
    member_pad(j1, 0, 1.0, 1.05, nets_test::kVia, nullptr, "A"); // a via shape inside a Component: no via
    // The vias of A at the top level: 1.0 and 0.5 away from U1-1, and one farther.
    pad(0, in(2.0), in(1.0), nets_test::kVia, "A");
    pad(0, in(1.0), in(1.5), nets_test::kVia, "A");
    pad(0, in(1.0), in(1.6), nets_test::kVia, "A");
    pad(kTop, in(1.0), in(1.1), 7, "A"); // a surface dot is no via
    // B has no via: its nearest through-hole pad is this one, not J1-2.
    pad(0, in(1.1), in(2.0), nets_test::kOvalThru, "B");
    part("$GND"); // symbols and lower-case references are left out
    Ref low = part("SO8\x7Fu5\x7FX");
    member_pad(low, kTop, 5, 5, nets_test::kRectSmt, "1", "A");

    EXPECT_EQ(text(),
              crlf({cols({{0, "COMPONENT PIN LIST"}, {41, "nets.pcb"}, {72, "03/07/24"}}), kRule,
                    "REF ID  PATTERN     PIN   TYPE  X POS   Y POS   SIGNAL      TYPE  X POS   Y POS", kRule, "",
                    row({"U1", "SO8", "1", "Top", "1.000", "1.000", "A", "VIA", "1.000", "1.500"}),
                    row({"", "", "2", "Bot", "1.100", "1.000", "B", "PAD", "1.100", "2.000"}),
                    row({"", "", "3", "Top", "1.200", "1.000"}), row({"", "", "4", "THD", "1.300", "1.000", "A"}), "",
                    row({"J1", "HDR", "1", "THD", "1.000", "1.200", "A"}),
                    row({"", "", "2", "THD", "3.000", "1.000", "B"}), ""}) +
                  "\f");
}

TEST_F(PinList, ThroughHolePadsAnywhereCountWhenNoViaDoesAndEqualDistancesTakeTheFirst) {
    d->setup.origin_x = in(1);
    Ref u1 = part("SOT23\x7FQ1\x7F"
                  "BC847");
    member_pad(u1, kTop, 0, 0, nets_test::kOvalSmt, "1", "N");
    member_pad(u1, nets_test::kPlane, 0, 0.5, nets_test::kOvalSmt, "2", "N"); // "GND": neither T... nor B...
    // No via of N: two pads of N at one distance from Q1-1; the first in walk order is taken, here one
    // inside a Component (a via shape there counts as a pad and is written "VIA").  Q1-2 is nearer the
    // second.
    Ref r1 = part("AXIAL\x7FR1\x7F"
                  "10K");
    member_pad(r1, 0, 0, -1, nets_test::kVia, nullptr, "N");
    pad(0, in(1), in(0), nets_test::kOvalThru, "N");
    std::string t = text();
    EXPECT_NE(t.find(crlf({row({"Q1", "SOT23", "1", "Top", "-1.000", "0.000", "N", "VIA", "-1.000", "-1.000"}),
                           row({"", "", "2", "SMD", "-1.000", "0.500", "N", "PAD", "0.000", "0.000"})})),
              std::string::npos)
        << t;
}

TEST_F(PinList, IndexAndPlainWalkAgreeOnGeneratedBoards) {
    for (unsigned seed : {2u, 7u, 19u, 23u}) {
        fresh();
        nets_test::generate(ring(), seed, 60);
        // Vias carrying the pads' Signals, some at one place, so that the choice and its ties matter.
        std::mt19937 rng(seed);
        for (int i = 0; i < 40; ++i) {
            Coord x = static_cast<Coord>(rng() % (6 * kInch)), y = static_cast<Coord>(rng() % (10 * kInch));
            std::string sig = "S" + std::to_string(rng() % 22);
            pad(0, x, y, nets_test::kVia, sig.c_str());
            if (i % 5 == 0) {
                pad(0, x, y, nets_test::kVia, sig.c_str());
            }
        }
        std::string t = text();
        EXPECT_NE(t.find("VIA"), std::string::npos);
        EXPECT_NE(t.find("PAD"), std::string::npos);
    }
    // The generator's own board, without the extra vias.
    fresh();
    edit_test::generate_board(ring(), 5, 36);
    text();
}

TEST_F(PinList, WireListHasItsHeaderOnly) {
    EXPECT_EQ(nets::wire_list_text(*d, day_in_march_2024(7)),
              crlf({cols({{0, "SIGNAL WIRE LIST"}, {40, "nets.pcb"}, {72, "03/07/24"}}), kRule,
                    "SIGNAL          FROM-PIN        TO-PIN          LENGTH      REMARKS", kRule, ""}) +
                  "\f");
}

} // namespace
