// Component libraries: name rules, the lookup (index and plain scan agree), the copy rules, source
// libraries and the browser listing.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "library/library.h"
#include "library/source_library.h"
#include "model/datafile.h"
#include "model/model.h"
#include "platform/headless.h"

namespace fs = std::filesystem;
using namespace trazel;
using namespace trazel::library;
using model::node;
using model::Ref;

namespace {

constexpr char kSep = '\x7F';

std::string lines(std::initializer_list<std::string> l) {
    std::string s;
    for (const auto& x : l) {
        s += x;
        s += "\r\n";
    }
    return s;
}

const std::string kHeader = "TRAZEL Version 4.0 -- Data File.";

struct LibraryTest : ::testing::Test {
    model::Model m;
    platform::Headless ui;
    fs::path dir;

    void SetUp() override {
        platform::install(&ui);
        model::NewDocument("board.pcb");
        dir = fs::temp_directory_path() /
              ("trazel_lib_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        forget_indexes();
    }
    void TearDown() override {
        empty_scratch();
        forget_indexes();
        fs::remove_all(dir);
        platform::install(nullptr);
    }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
    }
    LibrarySet set(std::initializer_list<std::string> names) {
        LibrarySet s;
        s.directory = dir.string() + "/";
        size_t i = 0;
        for (const auto& n : names) {
            s.names[i++] = n;
        }
        return s;
    }
    Ref found() {
        return model::first_item(scratch_ring());
    }
    // Looks up with the index and with the scan; both must agree on the result and where they found it.
    bool find(const LibrarySet& s, std::string_view name, FoundPosition* at = nullptr) {
        FoundPosition a, b;
        bool by_scan = find_by_scan(s, name, &b);
        std::string scanned = by_scan ? model::component_parameters(found()) : "";
        bool by_index = FindLibraryComponent(s, name, &a);
        EXPECT_EQ(by_scan, by_index) << name;
        if (by_scan && by_index) {
            EXPECT_EQ(a.slot, b.slot) << name;
            EXPECT_EQ(a.line, b.line) << name;
            EXPECT_EQ(scanned, model::component_parameters(found())) << name;
        }
        if (at) {
            *at = a;
        }
        return by_index;
    }
};

TEST(PatternNames, NormalisedAsTheLookupComparesThem) {
    EXPECT_EQ(normalize_pattern("dip8").name, "DIP8");
    EXPECT_EQ(normalize_pattern("dip8").variant, 0);
    Pattern v = normalize_pattern("SIP1a");
    EXPECT_EQ(v.name, "SIP1");
    EXPECT_EQ(v.variant, 1);
    EXPECT_EQ(normalize_pattern("SIP1t").variant, 20);
    // "u" is past the variant letters, and a letter after a letter is no variant.
    EXPECT_EQ(normalize_pattern("SIP1u").name, "SIP1U");
    EXPECT_EQ(normalize_pattern("CAPa").name, "CAPA");
    EXPECT_EQ(normalize_pattern("R0805 10k").name, "R0805");
    EXPECT_EQ(normalize_pattern("ABCDEFGHIJKLMNOPQRSTUVWXYZ").name, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(normalize_pattern("").name, "");
}

TEST(LibraryFiles, RecognisedByTheirFirstLine) {
    EXPECT_EQ(recognize("TRAZEL Version 4.0 -- Data File.").kind, LibraryKind::Data);
    EXPECT_TRUE(recognize("TRAZEL Version 4.0 -- Data File.").browsable);
    Recognition v3 = recognize("TRAZEL VERSION 3.8 -- DATA FILE");
    EXPECT_EQ(v3.kind, LibraryKind::Data);
    EXPECT_EQ(v3.version, 3);
    EXPECT_FALSE(v3.browsable);
    EXPECT_EQ(recognize("trazel version 4.0 -- source library file").kind, LibraryKind::Source);
    EXPECT_EQ(recognize("TRAZEL Version 4.0 -- Gerber").kind, LibraryKind::None);
    EXPECT_EQ(recognize("").kind, LibraryKind::None);
}

TEST_F(LibraryTest, LookupRulesOfDataFileLibraries) {
    write("A.LIB", lines({kHeader, "",
                          std::string("6 0 0 0 0 .2 .1 DIP8") + kSep + "U?",
                          "3 0 2 .1 .1 .06 .06 .035 0 1 VCC",
                          "1 1 .01 0 0 .2 0 GND",
                          "4 1 .05 0 .15 0 0 0 3 &1",
                          "0 6 0 .1 .05",
                          std::string("6 0 0 0 0 .1 .1 DIP8X") + kSep + "U?",
                          "3 0 1 .1 .1 .06 .06 .035 0 1",
                          "0 6 0 0 0"}));
    write("B.LIB", lines({kHeader, std::string("6 0 0 0 0 .1 .1 DIP8") + kSep + "FROM_B",
                          "3 0 1 0 0 .06 .06 .035 0 1", "0 6 0 0 0",
                          "6 0 0 0 0 .1 .1 SOT23", "3 CT 6 0 0 .03 .04 0 0 1", "0 6 0 0 0"}));
    LibrarySet s = set({"A.LIB", "", "missing.LIB", "B.LIB"});

    FoundPosition at;
    ASSERT_TRUE(find(s, "dip8", &at)); // lower case finds upper case; A wins over B
    EXPECT_EQ(at.slot, 0);
    EXPECT_EQ(at.line, 3);
    EXPECT_EQ(at.packed(), (1u << 24) | 3u);
    Ref c = found();
    EXPECT_EQ(model::ComponentField(c, 1), "U?");
    EXPECT_EQ(node(c).layer, 0);
    // Hook to (0,0): everything moved by (-0.1, -0.05); no Signals arrive.
    Ref head = model::member_ring(c);
    EXPECT_EQ(node(head).box.x1, 0);
    EXPECT_EQ(node(head).box.y1, 0);
    std::vector<Ref> members;
    for (Ref r : model::items_in(head)) {
        members.push_back(r);
        EXPECT_EQ(model::item_signal(r), model::kNone);
    }
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(node(members[0]).pad.x0, 0);
    EXPECT_EQ(node(members[0]).pad.y0, model::mils_to_units(50));
    EXPECT_EQ(model::pin_text(members[0]), "1");
    EXPECT_EQ(node(members[1]).line.x1, -6554);
    // The Text lost its font, kept its anchor and was measured.
    EXPECT_EQ(node(members[2]).text.anchor_font, 0);
    EXPECT_GT(node(members[2]).text.length, 0);

    ASSERT_TRUE(find(s, "SOT23", &at)); // found in the fourth slot past an empty and a missing one
    EXPECT_EQ(at.slot, 3);
    EXPECT_FALSE(find(s, "DIP")); // a library name that goes on does not match
    EXPECT_FALSE(find(s, "DIP8XY"));
    EXPECT_FALSE(find(s, ""));
    EXPECT_TRUE(model::ring_empty(scratch_ring()));
}

TEST_F(LibraryTest, NestedEmptyAndVersion3Entries) {
    write("N.LIB", lines({kHeader, "6 0 0 0 0 1 1 OUTER", "6 0 0 0 0 1 1 INNER", "1 1 .01 0 0 1 0", "0 6 0 .5 .5",
                          "1 1 .01 0 0 1 1", "0 6 0 0 0", "6 0 0 0 0 0 0 EMPTY", "0 6 0 0 0"}));
    write("OLD.LIB", lines({"TRAZEL Version 3.8 -- DATA FILE", "",
                            "6 0 64 0 0 100 100 OLD3",
                            "3 0 49 100 0 60 60 35 1",
                            "3 4 2 0 0 50 50 0 2",
                            "2 1 10 0 0 100 32 -64 0 0",
                            "4 1 -50 0 0 200 16384 NAME",
                            "0 6 0 100 0"}));
    LibrarySet s = set({"N.LIB", "OLD.LIB"});
    FoundPosition at;
    ASSERT_TRUE(find(s, "INNER", &at)); // a "6" record matches at any depth
    EXPECT_EQ(at.line, 3);
    EXPECT_EQ(node(model::first_item(model::member_ring(found()))).line.x1, -32768);
    ASSERT_TRUE(find(s, "OUTER"));

    ui.sounds.clear();
    EXPECT_FALSE(find(s, "EMPTY")); // matched, but no Component comes of it
    EXPECT_FALSE(ui.sounds.empty());

    ASSERT_TRUE(find(s, "old3"));
    Ref c = found();
    EXPECT_EQ(node(c).size, 64 * 256); // a short angle
    std::vector<Ref> m;
    for (Ref r : model::items_in(model::member_ring(c))) {
        m.push_back(r);
    }
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(node(m[0]).layer, 3); // through-hole: layer from the type field's high nibble
    EXPECT_EQ(node(m[0]).size, 1);
    EXPECT_EQ(node(m[0]).pad.x0, 0); // moved by the hook (100 thousandths)
    EXPECT_EQ(node(m[1]).layer, 4); // written on its own layer: surface mount
    EXPECT_EQ(node(m[1]).size, 6);
    EXPECT_EQ(node(m[2]).arc.start, static_cast<model::Angle>((32 - 64) * 256));
    EXPECT_EQ(node(m[2]).arc.sweep, 64 * 256);
    EXPECT_LT(node(m[3]).text.length, 0); // a negative height is a mirrored text
    EXPECT_EQ(node(m[3]).size, model::mils_to_units(50));
    EXPECT_EQ(node(m[3]).text.angle, 16384);
}

TEST_F(LibraryTest, ALookupDuringAnImportLeavesItsReaderAlone) {
    std::string board = lines({kHeader, "", "1 1 .01 0 0 1 1", "1 1 .01 0 0 2 2", "1 1 .01 0 0 3 3"});
    write("board.pcb", board);
    write("A.LIB", lines({kHeader, "6 0 0 0 0 1 1 X1", "1 1 .01 0 0 1 0", "0 6 0 0 0"}));
    auto read_all = [&](bool lookup_midway) {
        model::LineReader in;
        EXPECT_TRUE(in.open_file((dir / "board.pcb").string()));
        std::vector<std::string> got;
        for (int n; (n = in.ReadLine()) != 0;) {
            got.push_back(n < 0 ? "" : std::string(in.line()));
            if (lookup_midway && got.size() == 3) {
                EXPECT_TRUE(FindLibraryComponent(set({"A.LIB"}), "X1"));
                EXPECT_TRUE(find_by_scan(set({"A.LIB"}), "X1"));
            }
        }
        return got;
    };
    EXPECT_EQ(read_all(true), read_all(false));
}

TEST_F(LibraryTest, TheIndexFollowsTheFile) {
    write("A.LIB", lines({kHeader, "6 0 0 0 0 1 1 ONE", "1 1 .01 0 0 1 0", "0 6 0 0 0"}));
    LibrarySet s = set({"A.LIB"});
    long before = index_builds();
    EXPECT_TRUE(FindLibraryComponent(s, "ONE"));
    EXPECT_TRUE(FindLibraryComponent(s, "ONE"));
    EXPECT_FALSE(FindLibraryComponent(s, "TWO"));
    EXPECT_EQ(index_builds(), before + 1);
    // A changed file (another size) is indexed again.
    write("A.LIB", lines({kHeader, "6 0 0 0 0 1 1 TWO", "1 1 .01 0 0 1 0", "0 6 0 0 0", "", ""}));
    EXPECT_TRUE(FindLibraryComponent(s, "TWO"));
    EXPECT_FALSE(FindLibraryComponent(s, "ONE"));
    EXPECT_EQ(index_builds(), before + 2);
    // Same size, later time.
    write("A.LIB", lines({kHeader, "6 0 0 0 0 1 1 TRE", "1 1 .01 0 0 1 0", "0 6 0 0 0", "", ""}));
    fs::last_write_time(dir / "A.LIB", fs::last_write_time(dir / "A.LIB") + std::chrono::seconds(5));
    EXPECT_TRUE(FindLibraryComponent(s, "TRE"));
}

TEST_F(LibraryTest, SourceLibrariesWithVariantsAndAliases) {
    write("S.LIB", lines({"TRAZEL Version 4.0 -- Source Library File", "test library",
                          "$ comment block", "SIP1 would be ignored here", "",
                          "SIP1,SIL1", "single row, one pad per variant step", "$",
                          "P 0 # 0 -.1 0 0 .06 .06 .035 T1",
                          "1 ST .01 -.05 .05 .05 .05",
                          "G 0 -.1", "",
                          "*SINGLE,S1=SIP1", "",
                          "*LOOP=LOOP", ""}));
    LibrarySet s = set({"S.LIB"});
    FoundPosition at;
    ASSERT_TRUE(find(s, "sip1c", &at));
    EXPECT_EQ(at.line, 6);
    Ref c = found();
    EXPECT_EQ(model::ComponentField(c, 0), "SIP1c");
    int pads = 0;
    for (Ref r : model::items_in(model::member_ring(c))) {
        if (node(r).item_kind() == model::kPad) {
            EXPECT_EQ(model::pin_text(r), std::to_string(++pads));
            EXPECT_EQ(node(r).pad.y0, model::mils_to_units(-100 * (pads - 1)) + 6554); // as if typed
        }
    }
    EXPECT_EQ(pads, 3);
    EXPECT_TRUE(find(s, "SIL1b"));
    EXPECT_TRUE(find(s, "single1a") == false); // an alias is a whole name, no variant of its own here
    ASSERT_TRUE(find(s, "S1"));
    // A variant-less request of a family gets no pads but keeps its outline.
    EXPECT_TRUE(find(s, "SIP1"));
    EXPECT_FALSE(find(s, "LOOP")); // an alias that names itself ends
    EXPECT_FALSE(find(s, "SIP"));

    Listing l = ListLibrary(s, 0);
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.lines.size(), 3u);
    EXPECT_EQ(l.lines[0].text, "SIP1\tSIL1");
    EXPECT_EQ(l.lines[1].text, "*SINGLE\tS1=SIP1");
}

TEST_F(LibraryTest, BrowserListing) {
    write("L.LIB", lines({kHeader, "",
                          std::string("6 0 0 0 0 1 1 RES") + kSep + "R?" + kSep + "10k\xEA" + kSep + kSep,
                          "6 0 0 0 0 1 1 NESTED", "1 1 .01 0 0 1 0", "0 6 0 0 0", "1 1 .01 0 0 1 0", "0 6 0 0 0",
                          std::string("6 0 0 0 0 1 1 CAP") + kSep + "C?" + kSep + "1\xE6" "F \xF8\xAB\xAC",
                          "1 1 .01 0 0 1 0", "0 6 0 0 0",
                          "6 0 0 0 0 1 1 cap2", "1 1 .01 0 0 1 0", "0 6 0 0 0"}));
    write("OLD.LIB", lines({"TRAZEL Version 3.8 -- DATA FILE"}));
    write("TEXT.LIB", "hello\n");
    LibrarySet s = set({"L.LIB", "OLD.LIB", "TEXT.LIB", "GONE.LIB"});
    Listing l = ListLibrary(s, 0);
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.caption, " *** L.LIB");
    ASSERT_EQ(l.lines.size(), 3u); // the nested Component is no entry
    EXPECT_EQ(l.lines[0].text, "RES\tR?\t10k\xCE\xA9");
    EXPECT_EQ(l.lines[0].position, (1u << 24) | 3u);
    EXPECT_EQ(l.lines[1].text, "CAP\tC?\t1\xC2\xB5" "F \xC2\xB0\xC2\xBD\xC2\xBC");
    EXPECT_EQ(l.lines[1].position, (1u << 24) | 9u);

    Listing f = ListLibrary(s, 0, "c?P*");
    ASSERT_EQ(f.lines.size(), 2u);
    EXPECT_EQ(f.lines[1].text, "cap2");
    EXPECT_TRUE(ListLibrary(s, 0, "CAP").lines.size() == 1);

    for (int slot : {1, 2}) {
        Listing bad = ListLibrary(s, slot);
        EXPECT_FALSE(bad.ok);
        EXPECT_EQ(bad.title, "Library file error");
        EXPECT_EQ(bad.message, "The file \"" + s.path(slot) +
                                   "\" cannot be processed\nas a component library.\n\nPlease open it and save it "
                                   "as a TRAZEL V4 file type.");
    }
    // Records cut short list as entries without a name, and find nothing.
    write("SHORT.LIB", lines({kHeader, "6 0 ", "0 6 ", "6 0 0 1", "0 6 0 0 0"}));
    LibrarySet shorts = set({"SHORT.LIB"});
    Listing cut = ListLibrary(shorts, 0);
    ASSERT_TRUE(cut.ok);
    EXPECT_EQ(cut.lines.size(), 2u);
    EXPECT_FALSE(find(shorts, "1"));

    Listing gone = ListLibrary(s, 3);
    EXPECT_EQ(gone.title, "Library file not found");
    EXPECT_EQ(gone.message, "The file \"" + s.path(3) + "\" cannot be located.");
}

TEST_F(LibraryTest, TheLibraryDirectory) {
    EXPECT_EQ(library_directory("/opt/libs", "/nowhere/"), "/opt/libs/");
    fs::create_directories(dir / "bin");
    fs::create_directories(dir / "share" / "LIBRARY");
    EXPECT_EQ(library_directory("", (dir / "bin").string() + "/"), (dir / "share" / "LIBRARY").string() + "/");
    EXPECT_EQ(library_directory("", dir.string() + "/"), (dir / "share" / "LIBRARY").string() + "/");
    fs::create_directories(dir / "LIBRARY");
    EXPECT_EQ(library_directory("", dir.string() + "/"), (dir / "LIBRARY").string() + "/");
    LibrarySet s = set({"A.LIB", "/abs/B.LIB"});
    EXPECT_EQ(s.path(0), dir.string() + "/A.LIB");
    EXPECT_EQ(s.path(1), "/abs/B.LIB");
    EXPECT_EQ(s.path(2), "");
}

} // namespace
