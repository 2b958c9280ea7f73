// Resequencing Reference IDs: the sheet set, the scan orders and corners, the tie of 3 units (which is no
// order), gates and annotation over two sheets and the board, and what undo gives back.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "display/stroke_font.h"
#include "edit/board_build.h"
#include "edit/resequence.h"
#include "edit/undo.h"
#include "platform/headless.h"

namespace resequence_test {
namespace {

using namespace trazel;
using edit::ResequenceOptions;
using model::Coord;
using model::node;
using model::Ref;

constexpr Coord kInch = 65536;

struct Resequence : ::testing::Test {
    model::Model m;
    platform::Headless ui;

    void SetUp() override {
        platform::install(&ui);
    }
    void TearDown() override {
        platform::install(nullptr);
    }

    static model::Document* sheet(const char* name) {
        model::Document* d = model::NewDocument(name);
        EXPECT_NE(d, nullptr);
        return d;
    }
    // A Component hooked at (x, y) units with a small pad there (its box centre is the same point) and a
    // member Text showing its Reference ID.
    static Ref part(model::Document* d, const std::string& ref, Coord x, Coord y) {
        Ref c = edit_test::make_component(d->ring(), "PAT", ref, {x, y});
        Ref members = model::member_ring(c);
        edit_test::make_pad(members, 0, x, y, 100, 100, 1);
        Ref t = edit_test::make_text(members, 1, x, y + 2000, 3000, "&1");
        display::measure_text_item(t);
        model::close_component(c);
        return c;
    }
    static Ref in_inches(model::Document* d, const std::string& ref, double x, double y) {
        return part(d, ref, static_cast<Coord>(x * kInch), static_cast<Coord>(y * kInch));
    }
    static std::string id(Ref c) {
        return model::ComponentField(c, 1);
    }
    static Ref id_text(Ref c) {
        for (Ref r : model::items_in(model::member_ring(c))) {
            if (node(r).item_kind() == model::kText) {
                return r;
            }
        }
        return model::kNone;
    }
    static std::vector<std::string> ids(const std::vector<Ref>& cs) {
        std::vector<std::string> v;
        for (Ref c : cs) {
            v.push_back(id(c));
        }
        return v;
    }
};

using Strings = std::vector<std::string>;

TEST_F(Resequence, SheetNumbersComeFromTheExtensionAndTheSetSharesTheFileName) {
    EXPECT_EQ(edit::sheet_number("DEMO.PCB"), 0);
    EXPECT_EQ(edit::sheet_number("demo.sch"), 1);
    EXPECT_EQ(edit::sheet_number("/work/demo.sh7"), 7);
    EXPECT_EQ(edit::sheet_number("C:\\jobs\\DEMO.S12"), 12);
    EXPECT_EQ(edit::sheet_number("DEMO.S1"), -1);
    EXPECT_EQ(edit::sheet_number("DEMO.SHX"), -1);
    EXPECT_EQ(edit::sheet_number("DEMO.TXT"), -1);
    EXPECT_EQ(edit::sheet_number("dir.sh1/DEMO"), -1);

    model::Document* sh2 = sheet("DEMO.SH2");
    model::Document* pcb = sheet("demo.pcb");
    sheet("OTHER.SH1");
    sheet("DEMO.TXT");
    model::Document* sh1 = sheet("DEMO.SH1");
    std::vector<model::Document*> set = edit::sheet_set(*sh1);
    EXPECT_EQ(set, (std::vector<model::Document*>{pcb, sh1, sh2}));
    EXPECT_TRUE(edit::sheet_set(*model::FindDocument("DEMO.TXT")).empty());
}

TEST_F(Resequence, ReferenceIdsSplitIntoPrefixNumberGateAndSuffix) {
    edit::ReferenceParts p = edit::split_reference("IC007b-X2");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.prefix, "IC");
    EXPECT_EQ(p.number, "007");
    EXPECT_EQ(p.gate, 'b');
    EXPECT_EQ(p.suffix, "-X2");
    p = edit::split_reference("R12-3");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.gate, 0);
    EXPECT_EQ(p.suffix, "-3");
    // Forms that are left alone: no letters, no number, an upper-case letter or anything else after it.
    for (const char* bad : {"12", "R", "R?", "$$SIG", "U1A", "R1x2", ""}) {
        EXPECT_FALSE(edit::split_reference(bad).ok) << bad;
    }
}

TEST_F(Resequence, RowsAndColumnsFromEachCorner) {
    // A B C on the top row, D E F below, one inch apart; the ring holds them in another order.
    model::Document* d = sheet("GRID.SCH");
    Ref C = in_inches(d, "R1", 2, 1), E = in_inches(d, "R2", 1, 0), A = in_inches(d, "R3", 0, 1);
    Ref F = in_inches(d, "R4", 2, 0), D = in_inches(d, "R5", 0, 0), B = in_inches(d, "R6", 1, 1);
    std::vector<Ref> abcdef{A, B, C, D, E, F};
    auto run = [&](bool columns, int corner) {
        ResequenceOptions o;
        o.columns = columns;
        o.corner = corner;
        return edit::resequence({d}, *d, o);
    };
    EXPECT_EQ(run(false, 0), 6);
    EXPECT_EQ(ids(abcdef), (Strings{"R1", "R2", "R3", "R4", "R5", "R6"}));
    run(false, 3); // rows from the bottom right: F E D C B A
    EXPECT_EQ(ids(abcdef), (Strings{"R6", "R5", "R4", "R3", "R2", "R1"}));
    run(true, 0); // columns from the top left: A D B E C F
    EXPECT_EQ(ids(abcdef), (Strings{"R1", "R3", "R5", "R2", "R4", "R6"}));
    run(true, 3); // columns from the bottom right: F C E B D A
    EXPECT_EQ(ids(abcdef), (Strings{"R6", "R4", "R2", "R5", "R3", "R1"}));
    run(true, 1); // columns from the top right: C F B E A D
    EXPECT_EQ(ids(abcdef), (Strings{"R5", "R3", "R1", "R6", "R4", "R2"}));
    ResequenceOptions o;
    o.corner = 2; // rows from the bottom left, numbered 10, 15, 20 ...: D E F A B C
    o.start = 10;
    o.step = 5;
    edit::resequence({d}, *d, o);
    EXPECT_EQ(ids(abcdef), (Strings{"R25", "R30", "R35", "R10", "R15", "R20"}));
    // The ring is in key order again afterwards.
    std::array<char, 128> last{};
    for (Ref r : model::items_in(d->ring())) {
        EXPECT_LE(last, model::ComponentKey(r));
        last = model::ComponentKey(r);
    }
}

TEST_F(Resequence, TheHookOrTheBoxCentreGivesThePosition) {
    model::Document* d = sheet("POS.SCH");
    // Hooks left to right P, Q; box centres the other way round.
    Ref p = in_inches(d, "R1", 0, 0), q = in_inches(d, "R2", 1, 0);
    node(p).box.x1 += 3 * kInch;
    node(p).box.x2 += 3 * kInch;
    ResequenceOptions o;
    edit::resequence({d}, *d, o);
    EXPECT_EQ(ids({p, q}), (Strings{"R2", "R1"}));
    o.insertion_point = true;
    edit::resequence({d}, *d, o);
    EXPECT_EQ(ids({p, q}), (Strings{"R1", "R2"}));
}

// Rows from the bottom left: the primary coordinate is y, the secondary x.  a, b, c lie 3 units apart in
// y, each within the tie of the next but a and c not: "before" goes c < b < a < c round in a circle, so
// no sort can hold it.  Repeated selection walks the ring and keeps the last one that comes before the
// one held; the ring order decides.
TEST_F(Resequence, TheTieOfThreeUnitsIsResolvedByRepeatedSelectionInRingOrder) {
    ResequenceOptions o;
    o.corner = 2;
    o.insertion_point = true;
    {
        model::Document* d = sheet("TIE1.SCH");
        Ref a = part(d, "C7", 10, 0), b = part(d, "C8", 5, 3), c = part(d, "C9", 0, 6);
        edit::resequence({d}, *d, o);
        // a, then b before a, then c before b: c first; of a and b, b; then a.
        EXPECT_EQ(ids({a, b, c}), (Strings{"C3", "C2", "C1"}));
    }
    {
        model::Document* d = sheet("TIE2.SCH");
        Ref c = part(d, "C7", 0, 6), a = part(d, "C8", 10, 0), b = part(d, "C9", 5, 3);
        edit::resequence({d}, *d, o);
        // c, then a (6 units lower), then b before a: b first; of c and a, a; then c.
        EXPECT_EQ(ids({a, b, c}), (Strings{"C2", "C1", "C3"}));
    }
    {
        // Within the tie the secondary coordinate decides; equal places keep the ring order.
        model::Document* d = sheet("TIE3.SCH");
        Ref right = part(d, "C1", 9, 0), left = part(d, "C2", 0, 3), twin1 = part(d, "C3", 4, 2),
            twin2 = part(d, "C4", 4, 2), above = part(d, "C5", 0, 4 + 3 + 4);
        edit::resequence({d}, *d, o);
        EXPECT_EQ(ids({left, twin1, twin2, right, above}), (Strings{"C1", "C2", "C3", "C4", "C5"}));
    }
}

// What repeated selection gives, written out as the plain walk over what is left: the number each
// place gets.  A pick with a gate letter takes the other gates of its old number along.
std::vector<int> selection_numbers(const std::vector<std::pair<Coord, Coord>>& ps, const std::vector<int>& old,
                                   const std::vector<char>& gate) {
    std::vector<size_t> left(ps.size());
    std::vector<int> out(ps.size(), 0);
    for (size_t i = 0; i < ps.size(); ++i) {
        left[i] = i;
    }
    auto before = [&](size_t a, size_t b) {
        int64_t d = int64_t{ps[a].second} - ps[b].second;
        return d < -3 || (d <= 3 && ps[a].first < ps[b].first);
    };
    for (int n = 1; !left.empty(); ++n) {
        size_t best = 0;
        for (size_t k = 1; k < left.size(); ++k) {
            if (before(left[k], left[best])) {
                best = k;
            }
        }
        size_t b = left[best];
        out[b] = n;
        left.erase(left.begin() + static_cast<std::ptrdiff_t>(best));
        std::vector<char> used{gate[b]};
        for (size_t k = 0; gate[b] != 0 && k < left.size();) {
            size_t o = left[k];
            if (old[o] == old[b] && std::find(used.begin(), used.end(), gate[o]) == used.end()) {
                out[o] = n;
                used.push_back(gate[o]);
                left.erase(left.begin() + static_cast<std::ptrdiff_t>(k));
            } else {
                ++k;
            }
        }
    }
    return out;
}

TEST_F(Resequence, ClustersGiveWhatRepeatedSelectionGives) {
    ResequenceOptions o;
    o.corner = 2;
    o.insertion_point = true;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        model::Document* d = sheet(("RANDOM" + std::to_string(seed) + ".SCH").c_str());
        // Crowded: places 0-14 in y make chains of near ties, repeated places exact ones.  Every fifth
        // package has two gates.
        std::vector<std::pair<Coord, Coord>> ps;
        std::vector<int> old;
        std::vector<char> gate;
        std::vector<Ref> cs;
        for (int i = 0; i < 70; ++i) {
            Coord x = static_cast<Coord>(rng() % 9), y = static_cast<Coord>(rng() % (seed % 3 == 0 ? 4 : 15));
            bool paired = i % 5 == 0 || i % 5 == 1;
            ps.push_back({x, y});
            old.push_back(i % 5 == 1 ? i : i + 1);
            gate.push_back(paired ? (i % 5 == 0 ? 'a' : 'b') : 0);
            std::string ref = "Q" + std::to_string(old.back()) + (paired ? std::string(1, gate.back()) : "");
            cs.push_back(part(d, ref, x, y));
        }
        edit::resequence({d}, *d, o);
        std::vector<int> want = selection_numbers(ps, old, gate);
        for (size_t k = 0; k < cs.size(); ++k) {
            std::string expected = "Q" + std::to_string(want[k]) + (gate[k] ? std::string(1, gate[k]) : "");
            ASSERT_EQ(id(cs[k]), expected) << "seed " << seed << " part " << k;
        }
    }
}

// Two sheets and the board of one design.  Sheet 1 holds U3, the gates a and b of U7 and R10; sheet 2
// the gate c of U7 and U4; the board U7, U3, U4 and R10.
struct DemoSet : Resequence {
    model::Document *sh1 = nullptr, *sh2 = nullptr, *pcb = nullptr;
    Ref u7a = 0, u3 = 0, u7b = 0, r10 = 0, u7c = 0, u4 = 0, b_u7 = 0, b_u3 = 0, b_u4 = 0, b_r10 = 0;

    void SetUp() override {
        Resequence::SetUp();
        pcb = sheet("DEMO.PCB");
        b_u7 = in_inches(pcb, "U7", 5, 5);
        b_u3 = in_inches(pcb, "U3", 6, 6);
        b_u4 = in_inches(pcb, "U4", 7, 7);
        b_r10 = in_inches(pcb, "R10", 8, 8);
        sh2 = sheet("DEMO.SH2");
        u7c = in_inches(sh2, "U7c", 0, 0);
        u4 = in_inches(sh2, "U4", 1, 1);
        sh1 = sheet("DEMO.SH1");
        u7a = in_inches(sh1, "U7a", 1, 1);
        u3 = in_inches(sh1, "U3", 0, 1);
        u7b = in_inches(sh1, "U7b", 0, 0);
        r10 = in_inches(sh1, "R10", 0, 0.5);
    }
    std::vector<Ref> all() const {
        return {u3, u7a, u7b, r10, u7c, u4, b_u7, b_u3, b_u4, b_r10};
    }
};

TEST_F(DemoSet, GatesShareTheNewNumberAndAnnotationReachesTheBoard) {
    std::vector<std::string> before = ids(all());
    Coord r10_length = node(id_text(r10)).text.length;
    ResequenceOptions o;
    o.annotate = true;
    // Sheet 1 alone, rows from the top left: U3 (top left) is U1, U7a next is U2a and takes its gates b
    // (sheet 1) and c (sheet 2) and the board's U7 along; R10 is R1.  U4 is on no scanned sheet.
    EXPECT_EQ(edit::resequence(edit::sheet_set(*sh1), *sh1, o), 8);
    EXPECT_EQ(ids(all()), (Strings{"U1", "U2a", "U2b", "R1", "U2c", "U4", "U2", "U1", "U4", "R1"}));
    // The Text showing the Reference ID was measured again: "R1" is shorter than "R10".
    Ref t = id_text(r10);
    EXPECT_LT(node(t).text.length, r10_length);
    Coord now = node(t).text.length;
    display::measure_text_item(t);
    EXPECT_EQ(node(t).text.length, now);
    // One undo group in each Document that changed; each gives its own Reference IDs back.
    EXPECT_EQ(edit::undo_groups(*sh1), 1);
    EXPECT_EQ(edit::undo_groups(*sh2), 1);
    EXPECT_EQ(edit::undo_groups(*pcb), 1);
    EXPECT_TRUE(pcb->modified());
    for (model::Document* d : {sh1, sh2, pcb}) {
        EXPECT_EQ(edit::undo(*d, nullptr), 1);
    }
    EXPECT_EQ(ids(all()), before);
    EXPECT_EQ(node(id_text(r10)).text.length, r10_length);
    for (model::Document* d : {sh1, sh2, pcb}) {
        EXPECT_EQ(edit::redo(*d, nullptr), 1);
    }
    EXPECT_EQ(ids(all()), (Strings{"U1", "U2a", "U2b", "R1", "U2c", "U4", "U2", "U1", "U4", "R1"}));
}

TEST_F(DemoSet, WithoutAnnotationOnlyGatesCarryTheirNumber) {
    ResequenceOptions o;
    edit::resequence(edit::sheet_set(*sh1), *sh1, o);
    // U3 and R10 are renumbered alone; U7's gates (and so its board copy) still go together.
    EXPECT_EQ(ids(all()), (Strings{"U1", "U2a", "U2b", "R1", "U2c", "U4", "U2", "U3", "U4", "R10"}));
    EXPECT_EQ(edit::undo_groups(*pcb), 1);
}

TEST_F(DemoSet, HierarchicalNumberingGoesSheetBySheetAndMayRestart) {
    ResequenceOptions o;
    o.annotate = true;
    o.hierarchical = true;
    // Started from the board: the sheets are numbered all the same, the board follows.
    edit::resequence(edit::sheet_set(*pcb), *pcb, o);
    EXPECT_EQ(ids(all()), (Strings{"U1", "U2a", "U2b", "R1", "U2c", "U3", "U2", "U1", "U3", "R1"}));
    o.restart = true;
    o.sheet_step = 100;
    edit::resequence(edit::sheet_set(*sh2), *sh2, o);
    // Sheet 2 starts at 101; U2c went with its gate a on sheet 1 and is not taken again.
    EXPECT_EQ(ids(all()), (Strings{"U1", "U2a", "U2b", "R1", "U2c", "U101", "U2", "U1", "U101", "R1"}));
}

TEST_F(Resequence, AGateLetterTakenForTheNewNumberIsNotGivenTwice) {
    model::Document* d = sheet("DUP.SCH");
    Ref first = in_inches(d, "U1a", 0, 1), twin = in_inches(d, "U1a", 1, 1), other = in_inches(d, "U1b", 2, 1);
    edit::resequence({d}, *d, ResequenceOptions{});
    // The first U1a is U1a again with U1b; its twin cannot be U1a as well and gets a number of its own.
    EXPECT_EQ(ids({first, twin, other}), (Strings{"U1a", "U2a", "U1b"}));
}

TEST_F(Resequence, ADocumentWithoutSheetNumberIsLeftAlone) {
    model::Document* d = sheet("NOTES.TXT");
    Ref c = in_inches(d, "R5", 0, 0);
    EXPECT_EQ(edit::resequence({d}, *d, ResequenceOptions{}), 0);
    EXPECT_EQ(id(c), "R5");
    EXPECT_FALSE(edit::has_undo(*d));
}

} // namespace
} // namespace resequence_test
