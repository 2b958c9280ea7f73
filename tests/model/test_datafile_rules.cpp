// Reading rules of the Data file that hand-written and hostile lines exercise: blanks between fields,
// which lines are records, Gerber entries, the coordinate limit and the Node accounting of a save.
#include <string>

#include "datafile_fixture.h"
#include "model/setup_directives.h"

using namespace datafile_test;

namespace {

// Layers 1 and 2 typed as symbols and schematic signals make the Document a schematic, which snaps
// every value to 0.001 inch when it is saved.
constexpr const char* kSchematicLayers = "-y1:00000080,00000000,4,1,Symbols\r\n"
                                         "-y2:00008000,00000000,6,2,Signals\r\n";

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(DataFileTest, ABlankWhereANumberStartsIsAnEmptyField) {
    // The Text has seven numbers before its two blanks: the font field is the empty one and the text
    // starts after the blank that ends it.  The Line's Signal field starts with a blank: no Signal.
    read(data_file("4 1 .05 0 0 .1 0 0  text\r\n"
                   "1 1 .01 0 0 .1 .1  sig\r\n"));
    auto v = items(ring());
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(node(v[0]).kind, kText);
    EXPECT_EQ(node(v[0]).text.anchor_font, 0);
    EXPECT_EQ(GetText(v[0]), "text");
    EXPECT_EQ(node(v[1]).kind, kLine);
    EXPECT_EQ(item_signal(v[1]), kNone);
    EXPECT_EQ(records(write()), (std::vector<std::string>{"4 1 .05 0 0 .1 0 0 0 text", "1 1 .01 0 0 .1 .1"}));

    // Directives read their numbers the same way: ", .05" is an empty diameter, then the hole.
    ASSERT_TRUE(ApplyDirective(d->setup, "-iv5, .05, .02"));
    EXPECT_EQ(d->setup.via_layer, 5);
    EXPECT_EQ(d->setup.via_diameter, 0);
    EXPECT_EQ(d->setup.via_hole, 3277); // .05 x 65536 = 3276.8
}

TEST_F(DataFileTest, TextStartingWithBlanksComesBackUnchanged) {
    Ref t = MakeItem(ring(), kText, 1, 2621, 0, 0, 0, 0);
    ASSERT_TRUE(SetText(t, "  two"));
    std::string first = write();
    EXPECT_EQ(records(first), std::vector<std::string>{"4 1 .04 0 0 0 0 0 0   two"});
    read(first);
    auto v = items(ring());
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(GetText(v[0]), "  two");
    EXPECT_EQ(write(), first);
}

TEST_F(DataFileTest, OnlyAKindDigitThenABlankStartsARecord) {
    // Indented records and directives are none of the line forms: ignored, like captions.
    EXPECT_EQ(read(data_file("  1 1 .01 0 0 .1 .1\r\n"
                             " 4 1 .05 0 0 .1 0 0 x\r\n"
                             "  -gfZ\r\n"
                             "11 1 .01 0 0 .1 .1\r\n"
                             "1 1 .01 0 0 .2 .2\r\n")),
              'C');
    auto v = items(ring());
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(node(v[0]).line.x2, 13107); // .2 inch
}

TEST_F(DataFileTest, PinNamesKeepWhatTheirNodeHolds) {
    // A pin name may hold a ","; only its first 28 bytes are kept, so a long name of digits and letters
    // whose kept part is all digits is the number it will read back as.
    read(data_file("3 0 1 0 0 .06 .06 .03 0 A,B GND\r\n"
                   "3 0 1 0 0 .06 .06 .03 0 " +
                   std::string(28, '0') + "12x VCC\r\n"));
    auto v = items(ring());
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(pin_text(v[0]), "A,B");
    EXPECT_EQ(signal_name(item_signal(v[0])), "GND");
    EXPECT_EQ(pin_text(v[1]), "");
    EXPECT_EQ(signal_name(item_signal(v[1])), "VCC");
    std::string first = write();
    read(first);
    EXPECT_EQ(write(), first);
}

TEST_F(DataFileTest, GerberExtensionMayHoldABlank) {
    read(data_file("-dy\r\n-dyA C:1,2\r\n-dy B:3,4\r\n-dyX\r\n"));
    const trazel::model::Setup& s = d->setup;
    EXPECT_STREQ(s.gerber[0].ext, "A C");
    EXPECT_EQ(s.gerber[0].kind, 1);
    EXPECT_TRUE(s.gerber[0].layers.test(2));
    EXPECT_EQ(s.gerber[0].layers.count(), 1u);
    EXPECT_STREQ(s.gerber[1].ext, "X  "); // a short extension is padded, so the ":" stays in place
    EXPECT_EQ(s.gerber[1].kind, 0);
    EXPECT_FALSE(s.gerber[2].in_use()); // " B" has no first character above a blank
    std::string first = write();
    EXPECT_TRUE(contains(first, "\r\n-dyA C:1,2\r\n-dyX  :0\r\n\r\n")) << first;
    read(first);
    EXPECT_EQ(write(), first);
}

TEST_F(DataFileTest, CoordinatesStayInsideTheLimitWhereverTheyAreMade) {
    // The limit snaps to exactly 16384 inches, one unit beyond: the snap is clamped like a read value.
    EXPECT_EQ(snap_to_mil(kCoordLimit), kCoordLimit);
    EXPECT_EQ(snap_to_mil(-kCoordLimit), -kCoordLimit);
    EXPECT_EQ(snap_to_mil(INT32_MAX), kCoordLimit);

    read(data_file(std::string(kSchematicLayers) + "1 1 .01 0 99999.0 1.0 -99999.0\r\n"));
    std::string first = write();
    EXPECT_EQ(records(first), std::vector<std::string>{"1 1 .01 0 16383.99998 1.0 -16383.99998"});
    read(first);
    EXPECT_EQ(write(), first);

    // Values made beyond the limit by editing, and a Component box grown past it by an Arc, are written
    // as the reader will hold them.
    read(data_file(""));
    MakeItem(ring(), kLine, 1, 655, INT32_MAX, 0, INT32_MIN, 0);
    Ref c = make_component(ring(), 0, 0, "X");
    MakeItem(member_ring(c), kArc, 1, 655, kCoordLimit, 0, kCoordLimit, 0);
    ASSERT_TRUE(close_component(c));
    first = write();
    auto r = records(first);
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0], "6 0 0 0 -16383.99998 16383.99998 16383.99998 X");
    EXPECT_EQ(r[3], "1 1 .01 16383.99998 0 -16383.99998 0");
    read(first);
    EXPECT_EQ(write(), first);
}

TEST_F(DataFileTest, SavingASchematicGivesBackEveryNode) {
    // A track below half a thousandth snaps to one thousandth, not to 0: width 0 would make it a Solid
    // whose vertex chain is its Signal record, and closing would give the Signal list's Nodes back.
    uint32_t before = m.pool.used_count();
    size_t signals_before = m.signal_index.size();
    read(data_file(std::string(kSchematicLayers) + "1 1 .0001 0 0 1.0 1.0 thin\r\n"));
    std::string first = write();
    EXPECT_EQ(records(first), std::vector<std::string>{"1 1 .001 0 0 1.0 1.0 THIN"});
    read(first);
    EXPECT_EQ(write(), first);
    close_document(d);
    d = NewDocument("test.pcb");
    EXPECT_EQ(m.signal_index.size(), signals_before + 1);
    EXPECT_EQ(m.pool.used_count(), before + 1); // the new Signal record stays
    EXPECT_EQ(SignalUses(find_signal("THIN", false)), 0u);
}

TEST(NodePoolChecks, ANodeGivenBackTwiceStopsTheProgram) {
    NodePool pool;
    // A Node given back, taken again and given back once more is no double release.
    Ref r = pool.alloc();
    pool.release(r);
    ASSERT_EQ(pool.alloc(), r);
    EXPECT_EQ(pool.at(r).next, 0u); // taken Nodes are zero-filled, the free mark included
    EXPECT_EQ(pool.at(r).prev, 0u);
    pool.release(r);
    EXPECT_EQ(pool.used_count(), 0u);
    if (!NodePool::kChecksReleases) {
        GTEST_SKIP() << "release checks are compiled out of this build";
    }
    EXPECT_DEATH(pool.release(r), "given back twice");
}
