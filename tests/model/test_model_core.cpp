// The Node pool, rings, Items, text chains, Signals, pins, Components, Documents and the Layer table.
#include <gtest/gtest.h>

#include <cstring>

#include "document_fixture.h"
#include "model/model.h"

using namespace trazel::model;

namespace {

using model_test::ItemsInADocument;

std::vector<Ref> ring_items(Ref head) {
    std::vector<Ref> v;
    for_each_item(head, [&](Ref r) { v.push_back(r); });
    return v;
}

} // namespace

TEST(NodePool, AllocatesZeroFilledNodesAndReusesReleasedOnes) {
    Model m;
    Ref a = AllocNode();
    node(a).kind = 5;
    node(a).line.x1 = 1234;
    ReleaseNode(a);
    Ref b = AllocNode();
    EXPECT_EQ(a, b); // the free list is last-in first-out
    EXPECT_EQ(node(b).kind, 0);
    EXPECT_EQ(node(b).line.x1, 0);
    // Every reference is at least 32768 so a Pad's pin word can tell numbers below 1024 from Nodes.
    EXPECT_GE(b, 32768u);
}

TEST(NodePool, ExhaustionReturnsNoneAndReleaseRecovers) {
    Model m;
    m.pool.set_block_limit(m.pool.block_count());
    uint32_t free_now = m.pool.free_count();
    std::vector<Ref> got;
    for (uint32_t i = 0; i < free_now; ++i) {
        got.push_back(AllocNode());
        ASSERT_NE(got.back(), kNone);
    }
    EXPECT_EQ(AllocNode(), kNone);
    EXPECT_EQ(MakeItem(m.open_docs, kLine, 1, 10, 0, 0, 1, 1), kNone);
    ReleaseNode(got.back());
    EXPECT_NE(AllocNode(), kNone);
}

TEST(NodePool, BlocksHold29127Nodes) {
    Model m;
    EXPECT_EQ(m.pool.block_count(), 1u);
    EXPECT_EQ(m.pool.used_count() + m.pool.free_count(), 29127u);
}

TEST_F(ItemsInADocument, RingInsertUnlinkAndMove) {
    Ref a = MakeItem(ring(), kLine, 1, 1, 0, 0, 0, 0);
    Ref b = MakeItem(ring(), kLine, 1, 2, 0, 0, 0, 0);
    Ref c = MakeItem(ring(), kLine, 1, 3, 0, 0, 0, 0);
    EXPECT_EQ(ring_items(ring()), (std::vector<Ref>{a, b, c}));
    MoveBefore(c, a);
    EXPECT_EQ(ring_items(ring()), (std::vector<Ref>{c, a, b}));
    MoveBefore(b, b); // no effect
    EXPECT_EQ(ring_items(ring()), (std::vector<Ref>{c, a, b}));
    EXPECT_EQ(Unlink(a), b);
    EXPECT_EQ(ring_items(ring()), (std::vector<Ref>{c, b}));
    InsertBefore(a, ring()); // before the head appends
    EXPECT_EQ(ring_items(ring()), (std::vector<Ref>{c, b, a}));
    EXPECT_EQ(DeleteNode(c), b);
    EXPECT_EQ(first_item(ring()), b);
    EXPECT_EQ(last_item(ring()), a);
}

TEST_F(ItemsInADocument, MakeItemWithoutRingAllocatesNothing) {
    uint32_t used = m.pool.used_count();
    EXPECT_EQ(MakeItem(kNone, kLine, 1, 1, 0, 0, 0, 0), kNone);
    EXPECT_EQ(m.pool.used_count(), used);
}

TEST_F(ItemsInADocument, SolidVertexChainClosesOnItself) {
    Ref s = MakeItem(ring(), kLine, 4, 0, 0, 0, 0, 0);
    ASSERT_TRUE(add_vertex(s, 100, 200));
    // One vertex: box is the point and the vertex's next vertex is itself.
    EXPECT_EQ(node(s).line.x1, 100);
    EXPECT_EQ(node(s).line.y2, 200);
    Ref v = node(s).link;
    EXPECT_EQ(node(v).line.x2, 100);
    EXPECT_EQ(node(v).line.y2, 200);
    EXPECT_EQ(node(v).kind, kLine);
    EXPECT_EQ(node(v).layer, 4);

    add_vertex(s, 300, -50);
    add_vertex(s, 50, 400);
    EXPECT_EQ(vertex_count(s), 3);
    // Edges in order, the last closing back to the first vertex.
    Ref v1 = node(v).link, v2 = node(v1).link;
    EXPECT_EQ(node(v).line.x2, 300);
    EXPECT_EQ(node(v1).line.x2, 50);
    EXPECT_EQ(node(v2).line.x2, 100);
    EXPECT_EQ(node(v2).line.y2, 200);
    EXPECT_EQ(node(s).line.x1, 50);
    EXPECT_EQ(node(s).line.y1, -50);
    EXPECT_EQ(node(s).line.x2, 300);
    EXPECT_EQ(node(s).line.y2, 400);
}

TEST_F(ItemsInADocument, TextChainsFill28BytesAndBreakAfterSeparator) {
    Ref t = MakeItem(ring(), kText, 1, 100, 0, 0, 0, 0);
    std::string thirty(30, 'x');
    SetText(t, thirty);
    Ref c0 = node(t).link;
    ASSERT_NE(node(c0).link, kNone);
    EXPECT_EQ(std::memcmp(node(c0).bytes(), thirty.data(), 28), 0);
    EXPECT_EQ(node(node(c0).link).bytes()[0], 'x');
    EXPECT_EQ(GetText(t), thirty);

    // After 0x7F the next byte starts a new Node; reading keeps the separator.
    std::string fields = "DIP8\x7FU1\x7F" "555";
    SetText(t, fields);
    c0 = node(t).link;
    EXPECT_EQ(node(c0).bytes()[4], 0x7F);
    EXPECT_EQ(node(c0).bytes()[5], 0);
    EXPECT_EQ(node(node(c0).link).bytes()[0], 'U');
    EXPECT_EQ(GetText(t), fields);

    uint32_t used = m.pool.used_count();
    ReleaseChain(t);
    EXPECT_EQ(m.pool.used_count(), used - 3);
    EXPECT_EQ(GetText(t), "");
}

TEST(TypedText, SymbolCodesConvertBothWays) {
    // "ohms" anywhere becomes 0xEA and shows as "ohms" again; escapes and Windows bytes map to stored codes.
    EXPECT_EQ(typed_to_stored("4.7Kohms"), "4.7K\xEA");
    EXPECT_EQ(stored_to_typed("4.7K\xEA"), "4.7Kohms");
    EXPECT_EQ(typed_to_stored("25\xB0" "C \\u \\o \xBD \xBC a\\tb\\nc"),
              "25\xF8" "C \xE6 \xEA \xAB \xAC a\tb\xFF" "c");
    EXPECT_EQ(stored_to_typed("1\xFF" "2\t3\xE6"), "1\\n2\\t3\xB5");
    // A field separator ends the string in a single edit field.
    EXPECT_EQ(stored_to_typed("R1\x7F" "10k"), "R1");
    EXPECT_EQ(typed_to_stored("\\x"), "\\x"); // unknown escapes stay as typed
}

TEST_F(ItemsInADocument, SignalsAreSortedSharedAndCounted) {
    Ref a = MakeItem(ring(), kLine, 3, 100, 0, 0, 1, 1);
    Ref b = MakeItem(ring(), kLine, 3, 100, 0, 0, 1, 1);
    Ref c = MakeItem(ring(), kPad, 0, 1, 0, 0, 0, 0);
    ASSERT_TRUE(AttachSignal(a, "vcc_main_supply_rail_5v")); // 23 characters
    ASSERT_TRUE(AttachSignal(b, "VCC_MAIN_SUPPLY_RAIL"));
    EXPECT_EQ(signal_name(item_signal(a)), "VCC_MAIN_SUPPLY_RAI"); // 19 characters, upper case
    EXPECT_EQ(item_signal(a), item_signal(b));
    EXPECT_EQ(SignalUses(item_signal(a)), 2u);
    AttachSignal(c, "gnd extra"); // ends at the blank
    EXPECT_EQ(signal_name(item_signal(c)), "GND");
    EXPECT_FALSE(AttachSignal(a, " leading"));
    EXPECT_EQ(item_signal(a), kNone);
    EXPECT_EQ(SignalUses(item_signal(b)), 1u);

    find_signal("ABC", true);
    find_signal("abd", true);
    find_signal("AB", true);
    // The list runs in ascending name order from the head to the end record of 0xFF bytes.
    std::vector<std::string> names;
    Ref r = node(m.signals).link;
    for (; r != m.signals_end; r = node(r).link) {
        names.push_back(signal_name(r));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"AB", "ABC", "ABD", "GND", "VCC_MAIN_SUPPLY_RAI"}));
    EXPECT_EQ(node(m.signals_end).bytes()[27], 0xFF);

    // Records stay when their count drops to zero; deleting an Item lowers the count.
    Ref vcc = item_signal(b);
    DeleteItem(b);
    EXPECT_EQ(SignalUses(vcc), 0u);
    EXPECT_EQ(find_signal("vcc_main_supply_rai", false), vcc);
}

TEST_F(ItemsInADocument, PinTextGivesNumbersOrNameNodes) {
    Ref p = MakeItem(ring(), kPad, 0, 1, 0, 0, 0, 0);
    SetPin(p, "12");
    EXPECT_EQ(node(p).pad.pin, 12u);
    SetPin(p, "0012 rest");
    EXPECT_EQ(node(p).pad.pin, 12u);
    SetPin(p, "");
    EXPECT_EQ(node(p).pad.pin, 0u);
    for (const char* name : {"1024", "A1", "12b"}) {
        SetPin(p, name);
        EXPECT_GE(node(p).pad.pin, 1024u) << name;
        EXPECT_EQ(pin_text(p), name);
        EXPECT_EQ(node(node(p).pad.pin).tag() & 0xFF, kTagPinName);
    }
    // Replacing and deleting release the pin-name Node.
    uint32_t used = m.pool.used_count();
    SetPin(p, "7");
    EXPECT_EQ(m.pool.used_count(), used - 1);
    SetPin(p, "CLK");
    DeleteItem(p);
    EXPECT_EQ(m.pool.used_count(), used - 2);
}

TEST_F(ItemsInADocument, ComponentsParametersFieldsAndEmptyRings) {
    Ref c = make_component(ring(), 0, 0, "");
    EXPECT_EQ(component_parameters(c), "*");
    EXPECT_FALSE(close_component(c)); // no members: the Component disappears
    EXPECT_TRUE(ring_empty(ring()));

    c = make_component(ring(), 0, 0, "DIP8\x7FU3\x7F" "NE555\x7F" "SMD");
    EXPECT_EQ(ComponentField(c, 0), "DIP8");
    EXPECT_EQ(ComponentField(c, 1), "U3");
    EXPECT_EQ(ComponentField(c, 2), "NE555");
    EXPECT_EQ(ComponentField(c, 3), "SMD");
    EXPECT_EQ(ComponentField(c, 4), "");
    Ref members = member_ring(c);
    EXPECT_EQ(ring_owner(members), c);
    EXPECT_EQ(node(members).layer, kComponent);
    MakeItem(members, kPad, 0, 1, -kInch, 0, 0, 0);
    MakeItem(members, kLine, 1, 100, -kInch, kInch, kInch / 2, -kInch / 4);
    EXPECT_TRUE(close_component(c));
    EXPECT_EQ(node(c).box.x1, -kInch);
    EXPECT_EQ(node(c).box.y1, -kInch / 4);
    EXPECT_EQ(node(c).box.x2, kInch / 2);
    EXPECT_EQ(node(c).box.y2, kInch);
}

TEST_F(ItemsInADocument, DeletingComponentReleasesNestedMembers) {
    uint32_t used = m.pool.used_count();
    Ref outer = make_component(ring(), 0, 0, "OUTER\x7FU1");
    Ref inner = make_component(member_ring(outer), 0, 0, "INNER\x7FU2");
    Ref t = MakeItem(member_ring(inner), kText, 1, 100, 0, 0, 0, 0);
    SetText(t, "&1");
    Ref p = MakeItem(member_ring(inner), kPad, 0, 1, 0, 0, 0, 0);
    AttachSignal(p, "NET1");
    SetPin(p, "A1");
    MakeItem(member_ring(outer), kLine, 1, 10, 0, 0, 1, 1);
    Ref net = item_signal(p);
    DeleteItem(outer);
    EXPECT_TRUE(ring_empty(ring()));
    // Only the Signal record (kept at zero uses) stays allocated.
    EXPECT_EQ(m.pool.used_count(), used + 1);
    EXPECT_EQ(SignalUses(net), 0u);
}

TEST_F(ItemsInADocument, ComponentKeyOrdersReferencesByNumber) {
    Ref r10 = make_component(ring(), 0, 0, "0805\x7FR10\x7F" "10k");
    Ref r2 = make_component(ring(), 0, 0, "0805\x7FR2\x7F" "10k");
    auto k10 = ComponentKey(r10), k2 = ComponentKey(r2);
    // Byte 0 the first letter, byte 1 blank because the second character is a digit, the pattern from
    // byte 2, the digit run right-aligned to end before byte 70.
    EXPECT_EQ(k2[0], 'R');
    EXPECT_EQ(k2[1], ' ');
    EXPECT_EQ(std::string(k2.data() + 2, 4), "0805");
    EXPECT_EQ(k2[26], 'R');
    EXPECT_EQ(k2[69], '2');
    EXPECT_EQ(k10[68], '1');
    EXPECT_EQ(k10[69], '0');
    EXPECT_EQ(std::string(k2.data() + 90, 3), "10k");
    EXPECT_LT(std::memcmp(k2.data(), k10.data(), 128), 0);

    Ref c1 = make_component(ring(), 0, 0, "0805\x7F" "C1");
    Ref u1 = make_component(ring(), 0, 0, "SO8\x7FU1");
    sort_component(r2);
    sort_component(c1);
    sort_component(u1);
    sort_component(r10);
    auto items = ring_items(ring());
    EXPECT_EQ(items, (std::vector<Ref>{c1, r2, r10, u1}));
}

TEST_F(ItemsInADocument, FieldReferencesResolve) {
    Ref c = make_component(ring(), 0, 0, "TO220\x7FU7\x7FLM317");
    Ref t1 = MakeItem(member_ring(c), kText, 1, 100, 0, 0, 0, 0);
    SetText(t1, "&1");
    Ref t2 = MakeItem(member_ring(c), kText, 1, 100, 0, 0, 0, 0);
    SetText(t2, "&2");
    Ref ta = MakeItem(member_ring(c), kText, 1, 100, 0, 0, 0, 0);
    SetText(ta, "&@");
    Ref p = MakeItem(member_ring(c), kPad, 0, 1, 0, 0, 0, 0);
    AttachSignal(p, "vout");
    EXPECT_EQ(resolved_text(t1), "U7");
    EXPECT_EQ(resolved_text(t2), "LM317");
    EXPECT_EQ(resolved_text(ta), "VOUT");
    EXPECT_EQ(GetText(t1), "&1"); // the stored text stays as typed
    DetachSignal(p);
    EXPECT_EQ(resolved_text(ta), "&@"); // a Pad without a Signal shows the text itself
    // At the top level there is no Component to take a field from.
    Ref top = MakeItem(ring(), kText, 1, 100, 0, 0, 0, 0);
    SetText(top, "&1");
    EXPECT_EQ(resolved_text(top), "&1");
}

TEST(Documents, NamesAreUniqueCaseInsensitiveWithWildcards) {
    Model m;
    Document* a = NewDocument("C:\\Boards\\Amp.pcb");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(NewDocument("c:\\boards\\AMP.PCB"), nullptr);
    EXPECT_EQ(FindDocument("*amp.p?b"), a);
    EXPECT_EQ(FindDocument("*.sch"), nullptr);
    Document* u = NewDocument("");
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->name(), "TRAZEL'98 for Windows");
    EXPECT_EQ(m.current, u);
    EXPECT_EQ(node(u->ring()).layer, kDocument);
    EXPECT_EQ(ring_owner(u->ring()), u->item);

    EXPECT_TRUE(name_matches("a*b*c", "aXXbYYc"));
    EXPECT_FALSE(name_matches("a*b", "aXXc"));
}

TEST(Documents, NewDocumentEmptiesImageSlotsAndCloseFreesNodes) {
    Model m;
    uint32_t used = m.pool.used_count();
    Document* a = NewDocument("a.pcb");
    m.images[3].assign(10, 1);
    Document* b = NewDocument("b.pcb");
    EXPECT_TRUE(m.images[3].empty());
    MakeItem(b->ring(), kLine, 1, 10, 0, 0, 1, 1);
    Ref t = MakeItem(b->ring(), kText, 1, 10, 0, 0, 0, 0);
    SetText(t, std::string(40, 'q'));
    close_document(b);
    EXPECT_EQ(m.current, a);
    close_document(a);
    EXPECT_EQ(m.current, nullptr);
    EXPECT_EQ(m.pool.used_count(), used);
}

TEST_F(ItemsInADocument, LayerSymbolsResolveByTypeAndInitial) {
    trazel::model::Setup& s = d->setup;
    auto layer = [&](int i, const char* name, uint8_t type) {
        set_layer_name(s.layers[i], name);
        s.layers[i].type = type;
    };
    layer(0, "Pad Master", kLayerCopper);
    layer(1, "Top Silk", kLayerSilk);
    layer(3, "Top Side", kLayerCopper);
    layer(4, "-", kLayerCopper); // not in use
    layer(5, "Inner", kLayerPlane);
    layer(12, "Bottom Side", kLayerCopper | kLayerBottom);
    EXPECT_EQ(LayerSymbol(3), "CT");
    EXPECT_EQ(LayerSymbol(12), "CB");
    EXPECT_EQ(LayerSymbol(1), "ST");
    EXPECT_EQ(LayerSymbol(0), "");  // the pad master is written as a number
    EXPECT_EQ(LayerSymbol(5), "");  // planes have no symbolic form
    EXPECT_EQ(ResolveLayer("CB"), 12);
    EXPECT_EQ(ResolveLayer("CX"), 3); // no initial match: the first layer of that type
    EXPECT_EQ(ResolveLayer("MT"), 1); // no layer of that type: layer 1
    EXPECT_EQ(ResolveLayer("12"), 12);
    EXPECT_FALSE(s.layers[4].in_use());
    EXPECT_FALSE(s.layers[7].in_use());
}

TEST_F(ItemsInADocument, SchematicTestAndSnapToThousandths) {
    trazel::model::Setup& s = d->setup;
    EXPECT_FALSE(IsSchematic());
    s.layers[1].type = kLayerSymbols;
    s.layers[2].type = kLayerSchematic;
    EXPECT_TRUE(IsSchematic());
    // 0.0123 inch = 806.1 units -> 12 mils -> 786 units; 65535 units (999.98 mils) must not wrap to 0.
    Ref l = MakeItem(ring(), kLine, 2, 65535, 806, -806, 98304, 33);
    snap_schematic(ring());
    EXPECT_EQ(node(l).line.x1, 786);
    EXPECT_EQ(node(l).line.y1, -786);
    EXPECT_EQ(node(l).line.x2, 98304);
    EXPECT_EQ(node(l).line.y2, 66); // 0.5 mil rounds up to 1 mil = 65.5 -> 66
    EXPECT_EQ(node(l).size, mils_to_units(999));
}

TEST(Units, MillimetreConversionAndMils) {
    EXPECT_EQ(mm_to_inch_fixed(25 * 65536 + 26214), 65535); // 25.4 mm, truncated products
    EXPECT_EQ(mm_to_inch_fixed(65536), 2580);               // 1 mm = 2580.16 units
    EXPECT_EQ(mm_to_inch_fixed(-65536), -2580);
    EXPECT_EQ(mils_to_units(12), 786);
    EXPECT_EQ(mils_to_units(-1), -66);
}
