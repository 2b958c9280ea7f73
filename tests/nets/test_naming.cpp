// The naming pass: the number base from the file name, what it detaches and how nets are named, one
// undo for all of it, the crosslink ending, and the co-linear wire check on schematics.
#include <string>
#include <vector>

#include "edit/undo.h"
#include "nets/naming.h"
#include "nets/net_board.h"

namespace {

using namespace nets_test;

std::string name_of(Ref r) {
    return model::signal_name(model::item_signal(r));
}

struct Naming : NetBoard {
    Ref thru(Coord x, Coord y, const char* sig = nullptr) {
        return pad(0, x, y, kOvalThru, sig);
    }
    // A sheet: layer 1 symbols, layer 2 signal wires.
    void schematic() {
        model::set_layer_name(d->setup.layers[2], "Signals");
        d->setup.layers[1].type = model::kLayerSymbols;
        d->setup.layers[2].type = model::kLayerSchematic;
        ASSERT_TRUE(model::IsSchematic(d->setup));
    }
    Ref wire(double x1, double y1, double x2, double y2) {
        return track(2, static_cast<Coord>(x1 * kInch), static_cast<Coord>(y1 * kInch), static_cast<Coord>(x2 * kInch),
                     static_cast<Coord>(y2 * kInch), 600);
    }
    nets::NamingResult name() {
        s->undo_number = 0;
        return nets::name_nets(*s);
    }
};

TEST_F(Naming, NumberBaseFromTheFileName) {
    EXPECT_EQ(nets::naming_base("C:\\DESIGN\\AMP.S01"), 1010000);
    EXPECT_EQ(nets::naming_base("amp.s01"), 1010000);
    EXPECT_EQ(nets::naming_base("amp.s12"), 1120000);
    EXPECT_EQ(nets::naming_base("amp.sh1"), 110000);
    EXPECT_EQ(nets::naming_base("amp.s3"), 130000);
    EXPECT_EQ(nets::naming_base("amp.sch"), 10000);
    EXPECT_EQ(nets::naming_base("amp.pcb"), 10000);
    EXPECT_EQ(nets::naming_base("1"), 10000);

    model::set_document_name(d, "amp.s01");
    Ref a = thru(0, 0), b = thru(kInch, 0), c = thru(3 * kInch, 0);
    track(kTop, 0, 0, kInch, 0);
    nets::NamingResult r = name();
    EXPECT_EQ(r.end, nets::NamingEnd::Done);
    EXPECT_EQ(r.generated, 2);
    EXPECT_EQ(name_of(a), "$1010001");
    EXPECT_EQ(name_of(b), "$1010001");
    EXPECT_EQ(name_of(c), "$1010002");
}

// Tracks lose their Signals and take their net's; generated pad names are made again; a Ratnest line
// keeps its Signal.  One undo gives every Item its old Signal back.
TEST_F(Naming, NetsAreNamedAndOneUndoRestoresEverySignal) {
    Ref p1 = thru(0, 0), p2 = thru(kInch, 0);
    Ref t1 = track(kTop, 0, 0, kInch, 0, 800, "STALE");
    Ref p3 = thru(0, kInch, "VCC"), p4 = thru(kInch, kInch);
    Ref t2 = track(kBottom, kInch, kInch, 0, kInch, 800, "OLD");
    Ref p5 = thru(3 * kInch, 3 * kInch, "$5");
    Ref rat = track(model::kRatnestLayer, 0, 0, 3 * kInch, 3 * kInch, 721, "VCC");
    Ref silk = track(kTopSilk, 0, 0, kInch, 0, 500); // not conductive: never traced from or reached
    std::vector<Ref> all = {p1, p2, t1, p3, p4, t2, p5, rat, silk};
    std::vector<std::string> before;
    for (Ref r : all) {
        before.push_back(name_of(r));
    }

    nets::NamingResult r = name();
    EXPECT_EQ(r.end, nets::NamingEnd::Done);
    EXPECT_EQ(r.nets, 3);
    EXPECT_EQ(r.generated, 2);
    std::vector<std::string> after;
    for (Ref x : all) {
        after.push_back(name_of(x));
    }
    EXPECT_EQ(after, (std::vector<std::string>{"$10001", "$10001", "$10001", "VCC", "VCC", "VCC", "$10002", "VCC", ""}));
    EXPECT_TRUE(s->marked.empty());
    EXPECT_TRUE(d->modified());

    EXPECT_EQ(edit::undo_groups(*d), 1);
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    std::vector<std::string> undone;
    for (Ref x : all) {
        undone.push_back(name_of(x));
    }
    EXPECT_EQ(undone, before);
}

// A crosslink ends the pass at once: the net keeps its marks, nothing further is named.
TEST_F(Naming, CrosslinkEndsThePass) {
    Ref a = thru(0, 0, "A");
    Ref b = thru(kInch, 0, "B");
    track(kTop, 0, 0, kInch, 0);
    Ref lone = thru(3 * kInch, 0);
    nets::NamingResult r = name();
    EXPECT_EQ(r.end, nets::NamingEnd::Crosslink);
    EXPECT_EQ(r.first, b);
    EXPECT_EQ(model::signal_name(r.signal), "A");
    EXPECT_EQ(model::signal_name(r.other), "B");
    EXPECT_EQ(r.at.x, kInch);
    EXPECT_EQ(nets::naming_text(r), "Signal <A> is crosslinked to signal <B>.");
    EXPECT_TRUE(marked(a) && marked(b));
    EXPECT_EQ(name_of(lone), "");
}

// An X of wires on a sheet is two nets; four wires meeting at one point, or a wire split in two with
// nothing at the joint, is the co-linear error; a T (with or without its junction dot) is not.
TEST_F(Naming, ColinearWiresOnASchematic) {
    schematic();
    Ref x1 = wire(0, 0, 2, 2), x2 = wire(0, 2, 2, 0);
    nets::NamingResult r = name();
    EXPECT_EQ(r.end, nets::NamingEnd::Done);
    EXPECT_EQ(name_of(x1), "$10001");
    EXPECT_EQ(name_of(x2), "$10002");

    fresh();
    schematic();
    Ref w1 = wire(0, 1, 1, 1), w2 = wire(1, 1, 2, 1);
    wire(1, 0, 1, 1);
    wire(1, 1, 1, 2);
    r = name();
    EXPECT_EQ(r.end, nets::NamingEnd::Colinear);
    EXPECT_EQ(r.first, w1);
    EXPECT_EQ(r.second, w2);
    EXPECT_EQ(r.at.x, kInch);
    EXPECT_EQ(r.at.y, kInch);
    EXPECT_EQ(nets::naming_text(r), "Two co-linear line segments have been detected.");

    for (int dot = 0; dot < 2; ++dot) {
        fresh();
        schematic();
        w1 = wire(0, 1, 1, 1);
        wire(1, 1, 2, 1);
        Ref leg = wire(1, 1, 1, 2);
        if (dot) {
            pad(2, kInch, kInch, 7, nullptr, 2624, 2624);
        }
        r = name();
        EXPECT_EQ(r.end, nets::NamingEnd::Done) << dot;
        EXPECT_EQ(name_of(leg), "$10001");
    }

    fresh();
    schematic();
    wire(0, 1, 1, 1);
    wire(1, 1, 2, 1);
    EXPECT_EQ(name().end, nets::NamingEnd::Colinear);
}

// On a sheet, pads that are no pins lose their Signals; a pin keeps its own.  A generated signal label
// is detached too, takes the name of the wire it sits on, and keeps its old one when it sits on none.
TEST_F(Naming, SchematicPinsAndLabels) {
    schematic();
    Ref pin = pad(2, 0, 0, 0, "CLK");
    Ref other = pad(2, 4 * kInch, 0, kOvalThru, "CLK");
    Ref w = wire(0, 0, 1, 0);
    Ref label = edit_test::make_text(ring(), 2, kInch / 2, 0, 3000, "L");
    model::ReleaseChain(label);
    model::AttachSignal(label, "$7");
    Ref lost = edit_test::make_text(ring(), 2, 5 * kInch, 5 * kInch, 3000, "L");
    model::ReleaseChain(lost);
    model::AttachSignal(lost, "$8");

    nets::NamingResult r = name();
    EXPECT_EQ(r.end, nets::NamingEnd::Done);
    EXPECT_EQ(name_of(pin), "CLK");
    EXPECT_EQ(name_of(w), "CLK");
    EXPECT_EQ(name_of(label), "CLK");
    EXPECT_EQ(name_of(lost), "$8");
    EXPECT_EQ(name_of(other), "$10001");
    EXPECT_EQ(edit::undo(*d, nullptr), 1);
    EXPECT_EQ(name_of(label), "$7");
    EXPECT_EQ(name_of(other), "CLK");
}

} // namespace
