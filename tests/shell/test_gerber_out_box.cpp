// The Gerber file set in "GerberOutBox" (FG): typed rows become the Document's "-dy" lines in the order
// shown, a chosen suggestion gives its three letters, the run writes one file per row, an emptied row
// closes up, and a row the box cannot take is named and neither changes the Document nor writes a file.
#include <filesystem>

#include "shell/setup_fixture.h"

namespace gerber_out_box {
namespace {

namespace fs = std::filesystem;
using namespace shell_test;

struct GerberOutBox : SetupSession {
    fs::path out;

    void SetUp() override {
        start({{"fileset.pcb", [](Ref) {}}});
        out = fs::path(edit_test::temp_path("fileset_out"));
        fs::remove_all(out);
        fs::create_directories(out);
        model::ApplyDirective(doc().setup, "-dy");
        doc().modified_bits = 0;
    }
    void photoplot(std::map<std::string, std::string> values, bool ok = true) {
        values["out_dir"] = out.string();
        answer("GerberOutBox", std::move(values), ok);
        run->menu(shell::code('F', 'G'));
    }
    std::vector<std::string> written() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(out)) {
            names.push_back(e.path().extension().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(GerberOutBox, TypedRowsBecomeTheDyLinesAndTheFilesOfTheRun) {
    const std::string copper = std::string(doc().setup.layers[3].name);
    ASSERT_FALSE(copper.empty());
    photoplot({{"ext0", "TOP: Top Copper"}, {"layers0", copper},
               {"ext1", "BOT"}, {"side1", "1"}, {"layers1", "12-14, 2"},
               {"ext2", "DRL"}, {"kind2", "4"}});
    EXPECT_TRUE(ui().boxes.empty());
    EXPECT_EQ(line("-dyTOP"), "-dyTOP:0,3");
    EXPECT_EQ(line("-dyBOT"), "-dyBOT:8,2,12,13,14");
    EXPECT_EQ(line("-dyDRL"), "-dyDRL:4");
    EXPECT_TRUE(doc().modified());
    EXPECT_EQ(written(), (std::vector<std::string>{".bot", ".drl", ".top"}));

    // The box shows the rows back as typed; emptying the first closes the list up.
    answer("GerberOutBox", {{"ext0", ""}, {"out_dir", out.string()}});
    run->menu(shell::code('F', 'G'));
    const platform::Form& shown = ui().dialogs.back();
    EXPECT_EQ(shown.get("ext1"), "BOT");
    EXPECT_EQ(shown.get("side1"), "1");
    EXPECT_EQ(shown.get("layers1"), "2,12-14");
    EXPECT_EQ(doc().setup.gerber[0].ext, std::string("BOT"));
    EXPECT_EQ(doc().setup.gerber[1].ext, std::string("DRL"));
    EXPECT_FALSE(doc().setup.gerber[2].in_use());
}

TEST_F(GerberOutBox, RefusedRowsAndCancelLeaveTheDocumentAndWriteNothing) {
    photoplot({{"ext0", "TOP"}, {"layers0", "3"}});
    doc().modified_bits = 0;
    fs::remove_all(out);
    fs::create_directories(out);
    const std::string before = file();
    struct Case {
        std::map<std::string, std::string> values;
        std::string starts;
    };
    const Case cases[] = {
        {{{"layers0", "14-12"}}, "File 1 layers: \"14-12\" is not a range"},
        {{{"layers0", "3,banana"}}, "File 1 layers: \"banana\" is not a layer"},
        {{{"layers0", "256"}}, "File 1 layers: \"256\" is not a layer"},
        {{{"ext1", "TOPS"}}, "File 2 extension: \"TOPS\" is too long"},
        {{{"ext1", "A,B"}}, "File 2 extension: \"A,B\" cannot be an extension"},
        {{{"kind0", "9"}}, "File 1 type: \"9\" is not one of the choices (0 to 7)"},
    };
    for (const Case& c : cases) {
        ui().boxes.clear();
        photoplot(c.values);
        ASSERT_EQ(ui().boxes.size(), 1u) << c.starts;
        EXPECT_EQ(ui().boxes[0].title, "Setup Value Error");
        EXPECT_EQ(ui().boxes[0].text.rfind(c.starts, 0), 0u) << ui().boxes[0].text;
    }
    photoplot({{"ext1", "BOT"}, {"layers1", "12"}}, false);
    EXPECT_EQ(file(), before);
    EXPECT_FALSE(doc().modified());
    EXPECT_TRUE(written().empty());
}

// FK makes the package where "FabricationBox" says, and its output checks are remembered for the next
// box of either kind.
TEST_F(GerberOutBox, FabricationBoxWritesThePackageAndRemembersItsChecks) {
    photoplot({{"ext0", "TOP"}, {"layers0", "3"}, {"ext1", "DRL"}, {"kind1", "4"}});
    answer("FabricationBox", {{"out", (out / "pkg").string()}, {"arcs", "1"}});
    run->menu(shell::code('F', 'K'));
    EXPECT_TRUE(ui().boxes.empty());
    EXPECT_TRUE(fs::exists(out / "pkg" / "README.txt"));
    EXPECT_TRUE(fs::exists(out / "pkg" / "fileset.top"));
    EXPECT_EQ(ui().dialogs.back().get("excellon_header"), "1");
    answer("GerberOutBox", {{"out_dir", out.string()}}, false);
    run->menu(shell::code('F', 'G'));
    EXPECT_EQ(ui().dialogs.back().get("arcs"), "1");
    EXPECT_EQ(ui().dialogs.back().get("x2"), "0");

    // An empty name is asked again; no answer left cancels.
    answer("FabricationBox", {{"out", " "}});
    run->menu(shell::code('F', 'K'));
    ASSERT_FALSE(ui().boxes.empty());
    EXPECT_EQ(ui().boxes.back().title, "Fabrication Package Error");
}

} // namespace
} // namespace gerber_out_box
