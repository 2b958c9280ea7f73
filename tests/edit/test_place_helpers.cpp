// The pure pieces of the Place functions: name advance and decrement, Reference ID stepping and its
// character rule, the ortho constraint per octant, the signal port's stretch, and the symbol templates
// (their layout, and what the Data file reader builds from them).
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "display/view.h"
#include "edit/place_names.h"
#include "model/datafile.h"
#include "model/line_reader.h"
#include "model/model.h"
#include "platform/headless.h"
#include "resources/cmp_templates.h"

namespace place_test {
namespace {

using namespace trazel;
using edit::advance_name;
using edit::decrement_name;
using model::Point;

// --- Names ------------------------------------------------------------------------------------------

TEST(NameAdvance, CountsUpTheLastDigitRunWithCarry) {
    const std::pair<const char*, const char*> cases[] = {
        {"D7", "D8"}, {"A19", "A20"},  {"R99", "R100"}, {"9", "10"},        {"00", "01"},
        {"A0", "A1"}, {"U9A", "U10A"}, {"R09", "R10"},  {"P1-19", "P1-20"}, {"X2Y999Z", "X2Y1000Z"},
        {" 5", " 6"},
    };
    for (const auto& [from, to] : cases) {
        EXPECT_EQ(advance_name(from), to) << from;
    }
}

TEST(NameAdvance, LeavesNamesWithoutAStepAlone) {
    for (const char* name : {"", "0", "GND", "-", "\x01R1", "\tR1", "\x7FR1"}) {
        EXPECT_EQ(advance_name(name), name) << static_cast<int>(name[0]);
    }
}

TEST(NameAdvance, AFullFieldDoesNotGrow) {
    std::string full(edit::kNameLimit - 1, 'N');
    EXPECT_EQ(advance_name(full + "9"), full + "9"); // 24 characters: the carry would make 25
    EXPECT_EQ(advance_name(full + "8"), full + "9"); // no carry: a full field still counts
    std::string room(edit::kNameLimit - 2, 'N');
    EXPECT_EQ(advance_name(room + "9"), room + "10"); // 23 characters grow to the limit
    EXPECT_EQ(advance_name("R99", 3), "R99");         // a narrower field
    EXPECT_EQ(advance_name("R99", 4), "R100");
}

TEST(NameDecrement, CountsDownWithBorrowAndDropsTheLeadingZero) {
    const std::pair<const char*, const char*> cases[] = {
        {"R10", "R9"}, {"R2", "R1"}, {"R100", "R99"}, {"R20", "R19"}, {"U10A", "U9A"}, {"X1Y12", "X1Y11"}, {"11", "10"},
    };
    for (const auto& [from, to] : cases) {
        EXPECT_EQ(decrement_name(from), to) << from;
    }
    for (const char* name : {"R05", "R1", "R0", "0", "1", "", "GND", "\x01R5", "U1A"}) {
        EXPECT_EQ(decrement_name(name), name) << name;
    }
}

TEST(NameDecrement, UndoesEveryAdvance) {
    for (int i = 1; i <= 2000; ++i) {
        std::string name = "C" + std::to_string(i);
        std::string up = advance_name(name);
        EXPECT_EQ(up, "C" + std::to_string(i + 1));
        EXPECT_EQ(decrement_name(up), name);
    }
}

// --- Reference IDs ----------------------------------------------------------------------------------

// The Reference IDs the Document's Components already have.
auto taken_of(std::set<std::string, std::less<>> ids) {
    return [ids = std::move(ids)](std::string_view id) { return ids.count(id) != 0; };
}

TEST(ReferenceStep, SkipsTheIdsInUse) {
    auto taken = taken_of({"U2", "U3", "U5"});
    std::string ref = "U1";
    EXPECT_TRUE(edit::step_reference_id(ref, true, taken));
    EXPECT_EQ(ref, "U4");
    EXPECT_TRUE(edit::step_reference_id(ref, true, taken));
    EXPECT_EQ(ref, "U6");
    EXPECT_TRUE(edit::step_reference_id(ref, false, taken)); // U5 is taken
    EXPECT_EQ(ref, "U4");
    EXPECT_TRUE(edit::step_reference_id(ref, false, taken));
    EXPECT_EQ(ref, "U1");
    // The question marks of a library part become 1 before the step.
    ref = "U?";
    EXPECT_TRUE(edit::step_reference_id(ref, true, taken));
    EXPECT_EQ(ref, "U4");
    ref = "U?A?";
    EXPECT_TRUE(edit::step_reference_id(ref, true, taken));
    EXPECT_EQ(ref, "U1A2");
}

TEST(ReferenceStep, RefusesWhenNoFreeIdIsLeftAndKeepsTheField) {
    auto taken = taken_of({"R1", "R2", "R3"});
    std::string ref = "R4";
    EXPECT_FALSE(edit::step_reference_id(ref, false, taken));
    EXPECT_EQ(ref, "R4");
    ref = "R?";
    EXPECT_FALSE(edit::step_reference_id(ref, false, taken)); // "R1" has nothing below it
    EXPECT_EQ(ref, "R?");
    ref = "JUMPER";
    EXPECT_FALSE(edit::step_reference_id(ref, true, taken));
    std::string full(edit::kNameLimit - 1, 'R');
    ref = full + "9";
    EXPECT_FALSE(edit::step_reference_id(ref, true, taken));
    EXPECT_EQ(ref, full + "9");
    // A test that finds every ID taken still ends.
    ref = "R1";
    EXPECT_FALSE(edit::step_reference_id(ref, true, [](std::string_view) { return true; }));
    EXPECT_EQ(ref, "R1");
}

TEST(ReferenceStep, FieldCharacters) {
    for (const char* ok : {"U12", "R?", "!~", "", "IC3-A"}) {
        EXPECT_TRUE(edit::valid_reference_id(ok)) << ok;
    }
    for (const char* bad : {"U 1", "U\t1", "U\x1F", "U\x7F", "\x80", "R\xF8"}) {
        EXPECT_FALSE(edit::valid_reference_id(bad)) << bad;
    }
}

// --- Signal port stretch ------------------------------------------------------------------------------

TEST(PortNameShift, WholeTenthsFromAQuarterTenthOn) {
    constexpr model::Coord kTenth = 6553; // floor(65536 / 10)
    EXPECT_EQ(edit::port_name_shift(0), 0);
    EXPECT_EQ(edit::port_name_shift(1638), 0); // 0.2499 tenth
    EXPECT_EQ(edit::port_name_shift(1639), kTenth);
    // Three quarters of a tenth (4915.2 units) lies inside the first step: both sides give one tenth.
    EXPECT_EQ(edit::port_name_shift(4915), kTenth);
    EXPECT_EQ(edit::port_name_shift(4916), kTenth);
    EXPECT_EQ(edit::port_name_shift(8191), kTenth);
    EXPECT_EQ(edit::port_name_shift(8192), 13107);  // 1.25 tenths: two, floor(131072 / 10)
    EXPECT_EQ(edit::port_name_shift(65536), 65536); // one inch is ten tenths exactly
    EXPECT_EQ(edit::port_name_shift(-8192), 13107); // a mirrored name is as long
    // The longest Text does not wrap: ten times it needs 64 bits, the result stays a coordinate.
    EXPECT_EQ(edit::port_name_shift(INT32_MAX), model::kCoordLimit);
}

// --- Ortho constraint ----------------------------------------------------------------------------------

// One cursor well inside each octant, from an anchor away from the origin; the legs are 100 and 30.
const Point kAnchor{1000, 2000};
const Point kInOctant[8] = {{1100, 2030}, {1030, 2100}, {970, 2100},  {900, 2030},
                            {900, 1970},  {970, 1900},  {1030, 1900}, {1100, 1970}};
// Where each of the eight directions of mode 3 puts those cursors: along an axis the cursor's own
// coordinate, along a diagonal the shorter leg (30).
const Point kDirection[8] = {{1100, 2000}, {1030, 2030}, {1000, 2100}, {970, 2030},
                             {900, 2000},  {970, 1970},  {1000, 1900}, {1030, 1970}};

Point ortho(int mode, Point cursor, std::optional<model::Angle> previous = std::nullopt) {
    return display::constrain_angle(mode, cursor, kAnchor, previous);
}

void expect_point(Point got, Point want, const std::string& what) {
    EXPECT_EQ(got.x, want.x) << what;
    EXPECT_EQ(got.y, want.y) << what;
}

TEST(Ortho, ModesOneAndTwoKeepTheAxisOfTheOctantAndTwoLeavesAFortyFiveDegreeLeg) {
    const Point want[2][8] = {
        {{1100, 2000}, {1000, 2100}, {1000, 2100}, {900, 2000}, {900, 2000}, {1000, 1900}, {1000, 1900}, {1100, 2000}},
        {{1070, 2000}, {1000, 2070}, {1000, 2070}, {930, 2000}, {930, 2000}, {1000, 1930}, {1000, 1930}, {1070, 2000}}};
    for (int mode = 1; mode <= 2; ++mode) {
        for (int k = 0; k < 8; ++k) {
            expect_point(ortho(mode, kInOctant[k]), want[mode - 1][k],
                         "mode " + std::to_string(mode) + " octant " + std::to_string(k));
        }
    }
    expect_point(ortho(0, kInOctant[3]), kInOctant[3], "mode 0");
    // Legs that differ by less than 3 are a diagonal already.
    expect_point(ortho(2, Point{1100, 2098}), Point{1100, 2098}, "near diagonal");
    expect_point(ortho(2, Point{1100, 2097}), Point{1003, 2000}, "three apart");
}

TEST(Ortho, ModeThreeFollowsTheCursorOctant) {
    for (int k = 0; k < 8; ++k) {
        // The segment already points the cursor's way, so no turn is held back.
        auto same_way = static_cast<model::Angle>(k * 8192);
        expect_point(ortho(3, kInOctant[k], same_way), kDirection[k], "octant " + std::to_string(k));
    }
}

TEST(Ortho, ModeThreeHoldsTheSegmentDirectionOneOctantClockwise) {
    for (int c = 0; c < 8; ++c) {
        auto along = static_cast<model::Angle>(c * 8192);
        std::string what = "direction " + std::to_string(c);
        // Cursor one octant clockwise: the direction stays; two: it turns one step; three: it follows.
        expect_point(ortho(3, kInOctant[(c + 7) % 8], along), kDirection[c], what + ", one back");
        expect_point(ortho(3, kInOctant[(c + 6) % 8], along), kDirection[(c + 7) % 8], what + ", two back");
        expect_point(ortho(3, kInOctant[(c + 5) % 8], along), kDirection[(c + 5) % 8], what + ", three back");
    }
    // The segment's direction is its angle rounded by a sixteenth turn, round the top of the circle too.
    expect_point(ortho(3, kInOctant[0], 8192 - 4096), kDirection[1], "rounded up to 1");
    expect_point(ortho(3, kInOctant[0], 8192 - 4097), kDirection[0], "rounded down to 0");
    expect_point(ortho(3, kInOctant[7], 65535), kDirection[0], "wraps to 0");
    // On an axis or on a diagonal the cursor's own octant decides.
    expect_point(ortho(3, Point{1100, 2000}, 8192), Point{1100, 2000}, "axis");
    expect_point(ortho(3, Point{1100, 2100}, 16384), Point{1100, 2100}, "diagonal");
}

// --- Symbol templates --------------------------------------------------------------------------------

const char* const kTemplates[] = {"SIGNAL", "BUS", "PPLUS", "PMINUS", "GROUND", "EARTH", "VOLTAGE", "ARROW", "DIM"};

std::vector<std::string> lines_of(std::string_view text) {
    std::vector<std::string> v;
    while (!text.empty()) {
        size_t end = text.find('\n');
        v.emplace_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return v;
}

TEST(SymbolTemplates, EachIsOneComponentOfMemberRecords) {
    for (const char* name : kTemplates) {
        std::vector<std::string> lines = lines_of(resources::cmp_template(name));
        ASSERT_GE(lines.size(), 3u) << name;
        EXPECT_EQ(lines.front().substr(0, 2), "6 ") << name;
        EXPECT_EQ(lines.back(), "0 6 0 0 0") << name;
        for (size_t i = 1; i + 1 < lines.size(); ++i) {
            ASSERT_GE(lines[i].size(), 2u) << name << " line " << i;
            EXPECT_TRUE(lines[i][0] >= '1' && lines[i][0] <= '6' && lines[i][1] == ' ') << name << ": " << lines[i];
        }
    }
    EXPECT_TRUE(resources::cmp_template("NOSUCH").empty());
    EXPECT_TRUE(resources::cmp_template("").empty());
}

TEST(SymbolTemplates, SignalPortIsTheDrawnOne) {
    EXPECT_EQ(resources::cmp_template("SIGNAL"), "6 0 0 -.1 -.045 0 .045 $$SIG\n"
                                                 "4 1 .06 -.075 0 0 0 4 0 &@\n"
                                                 "3 2 0 0 0 .009 .009 0 0 0 *\n"
                                                 "1 1 .01 0 0 -.045 .045\n"
                                                 "1 1 .01 -.045 .045 -.1 .045\n"
                                                 "1 1 .01 -.1 .045 -.1 -.045\n"
                                                 "1 1 .01 -.1 -.045 -.045 -.045\n"
                                                 "1 1 .01 -.045 -.045 0 0\n"
                                                 "0 6 0 0 0\n");
}

TEST(SymbolTemplates, LookupInATableWithCarriageReturns) {
    std::string_view table = "# note\r\n[A]\r\n6 0 0 0 0 0 0 $$A\r\n0 6 0 0 0\r\n\r\n[AB]\r\n6 x\r\n";
    EXPECT_EQ(resources::find_cmp_template(table, "A"), "6 0 0 0 0 0 0 $$A\r\n0 6 0 0 0\r\n");
    EXPECT_EQ(resources::find_cmp_template(table, "AB"), "6 x\r\n"); // the last one ends with the text
    EXPECT_TRUE(resources::find_cmp_template(table, "B").empty());
}

// What the Data file reader builds from each template in a schematic, with "*" standing for "D7".
struct TemplateRead : ::testing::Test {
    model::Model m;
    platform::Headless ui;
    model::Document* d = nullptr;

    void SetUp() override {
        platform::install(&ui);
        d = model::NewDocument("sheet.sch");
        ASSERT_NE(d, nullptr);
        model::set_layer_name(d->setup.layers[1], "Symbols");
        d->setup.layers[1].type = model::kLayerSymbols;
        model::set_layer_name(d->setup.layers[2], "Signals");
        d->setup.layers[2].type = model::kLayerSchematic;
    }
    void TearDown() override {
        platform::install(nullptr);
    }
    // The one Component the template makes (kNone when it made anything else).
    model::Ref read(const char* name) {
        std::string text(resources::cmp_template(name));
        for (size_t at; (at = text.find('*')) != std::string::npos;) {
            text.replace(at, 1, "D7");
        }
        model::DeleteItem(d->ring());
        model::LineReader in;
        in.open_memory(text);
        model::ReadDataFile(in);
        std::vector<model::Ref> top;
        model::for_each_item(d->ring(), [&](model::Ref r) { top.push_back(r); });
        bool one = top.size() == 1 && model::node(top[0]).item_kind() == model::kComponent;
        return one ? top[0] : model::kNone;
    }
};

TEST_F(TemplateRead, EveryTemplateReadsBackWhole) {
    struct Want {
        const char* name;
        const char* reference;
        int lines, pads, texts, solids;
        const char* shown; // what its "&@" Text shows, or the connection Pad's signal
    };
    const Want wants[] = {
        {"SIGNAL", "$$SIG", 5, 1, 1, 0, "D7"},  {"BUS", "$$BUS", 2, 1, 1, 0, "D7"},
        {"PPLUS", "$$PWR", 3, 1, 1, 0, "D7"},   {"PMINUS", "$$PWR", 3, 1, 1, 0, "D7"},
        {"GROUND", "$$GND", 3, 1, 0, 0, "GND"}, {"EARTH", "$$GND", 4, 1, 0, 0, "EARTH"},
        {"VOLTAGE", "$$GND", 3, 1, 1, 0, "D7"}, {"ARROW", "$$AHD", 0, 1, 0, 1, ""},
        {"DIM", "$$DIM", 2, 0, 1, 2, ""},
    };
    for (const Want& w : wants) {
        model::Ref c = read(w.name);
        ASSERT_NE(c, model::kNone) << w.name;
        EXPECT_EQ(model::ComponentField(c, 0), w.reference) << w.name;
        int lines = 0, pads = 0, texts = 0, solids = 0;
        bool any_layer = std::string_view(w.name) == "ARROW" || std::string_view(w.name) == "DIM";
        for (model::Ref r : model::items_in(model::member_ring(c))) {
            const model::Node& n = model::node(r);
            if (any_layer) {
                EXPECT_EQ(n.layer, 255) << w.name << ": the -1 the placement resolves";
            }
            switch (n.item_kind()) {
            case model::kLine:
                if (model::is_solid(r)) {
                    ++solids;
                    EXPECT_EQ(model::vertex_count(r), 3) << w.name;
                } else {
                    ++lines;
                    EXPECT_EQ(n.size, 655) << w.name; // 0.01 inch
                }
                break;
            case model::kPad:
                ++pads;
                if (!any_layer) {
                    EXPECT_EQ(n.layer, 2) << w.name;
                    EXPECT_EQ(model::signal_name(model::item_signal(r)), w.shown) << w.name;
                }
                break;
            case model::kText:
                ++texts;
                if (!any_layer) {
                    EXPECT_EQ(model::resolved_text(r), w.shown) << w.name;
                }
                break;
            default:
                ADD_FAILURE() << w.name << ": member of kind " << int(n.item_kind());
            }
        }
        EXPECT_EQ(lines, w.lines) << w.name;
        EXPECT_EQ(pads, w.pads) << w.name;
        EXPECT_EQ(texts, w.texts) << w.name;
        EXPECT_EQ(solids, w.solids) << w.name;
    }
}

TEST_F(TemplateRead, ArrowAndDimensionShapes) {
    model::Ref arrow = read("ARROW");
    ASSERT_NE(arrow, model::kNone);
    model::Ref head = model::kNone;
    for (model::Ref r : model::items_in(model::member_ring(arrow))) {
        if (model::is_solid(r)) {
            head = r;
        }
    }
    ASSERT_NE(head, model::kNone);
    // The head is 0.085 inch long with its tip at the hook point; the Solid's box is its bounds.
    EXPECT_EQ(model::node(head).line.x1, -5571);
    EXPECT_EQ(model::node(head).line.x2, 0);

    model::Ref dim = read("DIM");
    ASSERT_NE(dim, model::kNone);
    model::Ref text = model::kNone;
    for (model::Ref r : model::items_in(model::member_ring(dim))) {
        if (model::node(r).item_kind() == model::kText) {
            text = r;
        }
    }
    ASSERT_NE(text, model::kNone);
    EXPECT_EQ(model::node(text).size, 6291); // 0.096 inch
    EXPECT_EQ(model::GetText(text), "0.0\"");
}

} // namespace
} // namespace place_test
