// SL, SM and SF through the shell: the answered forms reach the Setup record and the Data file's
// directive lines (worked by hand from the board's table), the lines read back into the same record,
// Cancel and an unchanged OK leave the file alone, and a value a field cannot take is named in a box and
// changes nothing.
#include <sstream>
#include <string>

#include "shell/settings.h"
#include "shell/setup_fixture.h"

namespace setup_layers {
namespace {

using namespace shell_test;

struct SetupLayers : SetupSession {
    void SetUp() override {
        // One track on the top copper (layer 3), which keeps that layer in use.
        start({{"layers.pcb", [](Ref r) { edit_test::make_track(r, edit_test::kTop, 0, 0, kInch, 0); }}});
    }
};

constexpr const char* kTable = "Layer/color/plot/type/sequence/name table:";

TEST_F(SetupLayers, LayerTableEditsResequencesAndReadsBack) {
    answer("SetupLayersBox", {{"name5", "Inner 1"}, {"type5", "2"}, {"colour5", "00ff80"}, {"plot5", "-123456"},
                              {"seq5", "2"}, {"colour3", "-FF0000"}, {"type3", "3"}, {"seq3", "7"}, {"seq7", "3"},
                              {"name4", ""}, {"current", "inner 1"}});
    run->menu(shell::code('S', 'L'));
    EXPECT_EQ(ui().dialogs.back().fields.size(), 1u + 256u * 5u);
    EXPECT_EQ(ui().dialogs.back().field("type0")->options[7], "7 = Drawing (general)");

    // Layer 3 keeps its routing bit (16) under the new type; layer 4 leaves the table; the lines stay in
    // layer order and carry the new sequence numbers.
    EXPECT_EQ(section(kTable), "-y5\n"
                               "-y0:00FFFF00,00000000,0,0,Pad Master\n"
                               "-y1:00FFFFFF,00000000,0,1,Top Silk\n"
                               "-y3:01FF0000,00000000,19,7,Top Side\n"
                               "-y5:0000FF80,01123456,2,2,Inner 1\n"
                               "-y7:00C0C0C0,00000000,8,3,Bottom Silk\n");
    const model::Setup& s = doc().setup;
    EXPECT_EQ(s.current_layer, 5);
    EXPECT_EQ(s.layers[3].colour, 0x01FF0000u);
    EXPECT_EQ(s.layers[4].sequence, 4);
    EXPECT_TRUE(doc().modified());

    // The record is what the lines give back.
    model::Setup back;
    std::istringstream lines(section(kTable));
    for (std::string l; std::getline(lines, l);) {
        model::ApplyDirective(back, l);
    }
    for (int n = 0; n < 256; ++n) {
        const model::LayerEntry &a = back.layers[static_cast<size_t>(n)], &b = s.layers[static_cast<size_t>(n)];
        EXPECT_TRUE(std::string(a.name) == b.name && a.colour == b.colour && a.plot == b.plot && a.type == b.type &&
                    a.sequence == b.sequence)
            << n;
    }

    // The next dialog shows the off bit as a leading "-".
    answer("SetupLayersBox", {});
    run->menu(shell::code('S', 'L'));
    EXPECT_EQ(ui().dialogs.back().get("colour3"), "-FF0000");
    EXPECT_EQ(ui().dialogs.back().get("plot5"), "-123456");
}

TEST_F(SetupLayers, LayerValuesOutsideTheTableAreRefused) {
    refused('L', "SetupLayersBox", {{"name5", "ABCDEFGHIJKLMNOP"}}, "Layer 5 name: \"ABCDEFGHIJKLMNOP\" is too long");
    refused('L', "SetupLayersBox", {{"name5", "A;B"}}, "Layer 5 name: \"A;B\" cannot be a layer name");
    refused('L', "SetupLayersBox", {{"colour1", "xyz"}}, "Layer 1 colour: \"xyz\" is not a colour");
    refused('L', "SetupLayersBox", {{"plot1", "-FF00"}}, "Layer 1 plot colour: \"-FF00\" is not a colour");
    refused('L', "SetupLayersBox", {{"type1", "9"}}, "Layer 1 type: \"9\" is not a layer type (0 to 7)");
    refused('L', "SetupLayersBox", {{"seq1", "256"}}, "Layer 1 sequence: \"256\" is not a sequence number");
    refused('L', "SetupLayersBox", {{"current", "Nowhere"}}, "Current layer: \"Nowhere\" is not a layer");
    // The fixed roles, a layer holding Items, and values set on a layer that the file would not keep.
    refused('L', "SetupLayersBox", {{"name0", "Pads"}}, "Layer 0 name: layer 0 is the pad master layer");
    refused('L', "SetupLayersBox", {{"type255", "2"}}, "Layer 255 type: layer 255 is the Ratnest layer");
    refused('L', "SetupLayersBox", {{"name3", "-"}}, "Layer 3 name: layer 3 holds Items");
    refused('L', "SetupLayersBox", {{"colour9", "FF0000"}}, "Layer 9 colour: layer 9 has no name");
    // A good value after the refused one is not taken either: the dialog came back and was cancelled.
    refused('L', "SetupLayersBox", {{"name6", "Spare"}, {"seq1", "x"}}, "Layer 1 sequence");
}

TEST_F(SetupLayers, GraphicModeSetsTheDrawModeBits) {
    // A bit the form does not name (0x40 of the references byte) stays as it is.
    doc().setup.mode_refs = 0x40;
    answer("SetupGraphicModeBox", {{"lines", "1"}, {"lines_signal", "1"}, {"pads", "3"}, {"pads_pins", "1"},
                                   {"pads_mask", "1"}, {"text", "0"}, {"refs_angle", "1"}, {"refs_centres", "1"}});
    run->menu(shell::code('S', 'M'));
    // lines 1 + 4; pads 3 + 4 + 16; text 0; references 64 + 1 + 8.
    EXPECT_NE(section("Setup parameters:").find("-gm5,23,0,73\n"), std::string::npos) << file();
    EXPECT_EQ(doc().setup.mode_pads, 23);

    answer("SetupGraphicModeBox", {{"pads_pins", "0"}, {"refs_hook", "1"}});
    run->menu(shell::code('S', 'M'));
    EXPECT_EQ(doc().setup.mode_pads, 19);
    EXPECT_EQ(doc().setup.mode_refs, 75);
    EXPECT_EQ(ui().dialogs.back().get("pads"), "3");

    doc().modified_bits = 0;
    refused('M', "SetupGraphicModeBox", {{"lines", "4"}}, "Lines and arcs: \"4\" is not one of the choices (0 to 3)");
    refused('M', "SetupGraphicModeBox", {{"pads_mask", "2"}}, "Pad mask/paste mode: \"2\" is neither");
}

TEST_F(SetupLayers, LibrariesCloseUpAndTravelInBLines) {
    answer("SetupLibrariesBox",
           {{"lib0", "CONN.LIB"}, {"lib3", " TTL.LIB "}, {"lib31", "LAST.LIB"}, {"path", "/opt/parts"}});
    run->menu(shell::code('S', 'F'));
    EXPECT_EQ(section("Component libraries:"), "-b\n-bCONN.LIB\n-bTTL.LIB\n-bLAST.LIB\n");
    EXPECT_EQ(std::string(doc().setup.libraries[1].data()), "TTL.LIB");
    EXPECT_EQ(doc().setup.libraries[3][0], '\0');
    EXPECT_EQ(shell::read_setting(app(), "Library Path"), "/opt/parts");
    EXPECT_TRUE(doc().modified());

    // Emptying the first entry moves the others up; a library picked in the Library Path folder is kept
    // by its bare name, one picked elsewhere by its whole name.
    EXPECT_EQ(ui().dialogs.back().field("lib0")->kind, platform::Field::Kind::File);
    answer("SetupLibrariesBox", {{"lib0", ""}, {"lib1", "/opt/parts/./SMD.LIB"}, {"lib2", "/opt/SMD.LIB"}});
    run->menu(shell::code('S', 'F'));
    EXPECT_EQ(section("Component libraries:"), "-b\n-bSMD.LIB\n-b/opt/SMD.LIB\n");

    doc().modified_bits = 0;
    refused('F', "SetupLibrariesBox", {{"lib5", std::string(33, 'A')}}, "Library 6: \"AAAA");
    EXPECT_NE(ui().boxes[0].text.find("at most 32 characters"), std::string::npos);
}

TEST_F(SetupLayers, CancelAndAnUnchangedOkLeaveTheFileAsItWas) {
    cancel_and_unchanged_ok({"SetupLayersBox", "SetupGraphicModeBox", "SetupLibrariesBox"}, "LMF",
                            {{"name5", "X"}, {"colour1", "000000"}, {"lines", "0"}, {"lib0", "A.LIB"}});
}

} // namespace
} // namespace setup_layers
