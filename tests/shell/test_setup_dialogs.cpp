// SG, SD, SS, SC, SV and SX through the shell: the answered forms reach the Setup record and the Data
// file's directive lines (values worked by hand from the F format and the "-gs" writer), the directive
// lines read back into the same values, Cancel and an unchanged OK leave the file and the modified mark
// alone, and a value a field cannot take is named in a box and changes nothing.
#include "shell/setup_fixture.h"

namespace setup_dialogs {
namespace {

using namespace shell_test;

struct SetupDialogs : SetupSession {
    void SetUp() override {
        start({{"setup.pcb", [](Ref) {}}});
    }
    // The setup the written directive lines give back.
    model::Setup reread(std::initializer_list<const char*> prefixes) {
        model::Setup back;
        for (const char* p : prefixes) {
            model::ApplyDirective(back, line(p));
        }
        return back;
    }
    // The modified mark cleared as a save clears it.
    void as_saved() {
        doc().modified_bits = 0;
    }
};

TEST_F(SetupDialogs, GridIntervalAndSnapTableSetTheSnapAndWriteGs) {
    answer("SetupSnapBox", {{"snap", "0.5mm"}});
    alt(0x22); // Alt-G
    // 0.5 mm = 2^32 x 5 / 254 of an inch, shown with one decimal of a millimetre.
    EXPECT_EQ(doc().setup.snap, 84546600u);
    EXPECT_EQ(doc().setup.decimals, -1);
    EXPECT_EQ(app().display.view.snap, 84546600u);
    EXPECT_EQ(line("-gs"), "-gs0.5mm,0");
    EXPECT_TRUE(doc().modified());

    // The gap closes up and the current entry follows its text; choosing it sets 1/40 inch.
    answer("SetupSnapTableBox", {{"entry0", "25"}, {"entry2", "1/40\""}, {"entry5", "0.5mm"}, {"current", "2"}});
    run->menu(shell::code('S', 'S'));
    EXPECT_EQ(doc().setup.snap, 107374182u);
    EXPECT_EQ(doc().setup.snap_index, 1);
    EXPECT_EQ(line("-gs"), "-gs0.0250\",1,25,1/40\",0.5mm");
    model::Setup back = reread({"-gs"});
    EXPECT_EQ(back.snap, doc().setup.snap);
    EXPECT_EQ(back.snap_table, doc().setup.snap_table);

    // A spacing typed as an entry makes that entry current.
    answer("SetupSnapBox", {{"snap", "25"}});
    run->menu(shell::code('S', 'G'));
    EXPECT_EQ(line("-gs"), "-gs0.025\",0,25,1/40\",0.5mm");

    as_saved();
    refused('G', "SetupSnapBox", {{"snap", "abc"}}, "Grid interval");
    refused('G', "SetupSnapBox", {{"snap", "1/0"}}, "Grid interval");
    refused('S', "SetupSnapTableBox", {{"entry3", "123456789012"}}, "Entry 3: ");
    refused('S', "SetupSnapTableBox", {{"current", "7"}}, "Current entry: entry 7 is empty");
}

TEST_F(SetupDialogs, GridDimensioningSetsDotsColoursAndMillimetreDisplay) {
    answer("SetupGridBox", {{"dots", "50"}, {"grid_colour", "ff8000"}, {"background", "000080"},
                            {"decimals", "2"}, {"metric", "1"}});
    run->menu(shell::code('S', 'D'));
    const model::Setup& s = doc().setup;
    EXPECT_EQ(s.grid_dots, 214748365u); // 0.05 inch
    EXPECT_EQ(s.grid_colour, 0xFF8000u);
    EXPECT_EQ(s.background, 0x000080u);
    EXPECT_EQ(s.decimals, -2);
    EXPECT_EQ(line("-gd"), "-gd.05,FF8000,000080,FFFFFF,FFFF00");
    EXPECT_EQ(line("-gs"), "-gs0.00mm,0");
    EXPECT_EQ(app().display.view.decimals, -2);
    EXPECT_EQ(app().display.view.display_grid, 214748365u);
    EXPECT_EQ(app().display.slots.colour[display::kSlotBackground], 0x000080u);
    model::Setup back = reread({"-gd", "-gs"});
    EXPECT_EQ(back.grid_dots, s.grid_dots);
    EXPECT_EQ(back.decimals, -2);

    as_saved();
    refused('D', "SetupGridBox", {{"highlight", "12345"}}, "Highlight colour: \"12345\" is not");
    refused('D', "SetupGridBox", {{"decimals", "4"}}, "Decimals shown");
}

TEST_F(SetupDialogs, ClearancesAndNewItemDefaultsTravelInTheirDirectives) {
    answer("SetupClearanceBox", {{"fill_lines", ".01"}, {"fill_pads", "12"}, {"line_line", "0.2mm"},
                                 {"line_pad", "8"}, {"pad_pad", ".015"}, {"fill_width", "10"},
                                 {"ratnest_width", "0"}, {"thermal", "GND"}, {"direct", "VCC"}});
    run->menu(shell::code('S', 'C'));
    // 0.2 mm is 516 units, F format .00788.
    EXPECT_EQ(doc().setup.clear_line_line, 516);
    EXPECT_EQ(line("-gc"), "-gc.01,.012,.00788,.008,.015,.01,0,GND,VCC,0");
    model::Setup back = reread({"-gc"});
    EXPECT_EQ(back.fill_iso_pads, 786);
    EXPECT_EQ(back.clear_line_line, 516);
    EXPECT_STREQ(back.direct_signal, "VCC");

    answer("SetupViaBox", {{"layer", "3"}, {"diameter", ".05"}, {"hole", "28"}});
    run->menu(shell::code('S', 'V'));
    EXPECT_EQ(line("-iv"), "-iv3,.05,.028");

    answer("SetupLineWidthsBox", {{"line", ".02"}, {"text", "60"}, {"dimension_text", "1.5mm"}, {"pad_type", "2"},
                                  {"pad_layer", "bottom side"}, {"pad_width", ".08"}, {"pad_height", ".06"},
                                  {"pad_hole", "0"}});
    run->menu(shell::code('S', 'X'));
    EXPECT_EQ(doc().setup.pad_layer, 4);
    EXPECT_EQ(line("-il"), "-il.02");
    EXPECT_EQ(line("-it"), "-it.06");
    EXPECT_EQ(line("-ix"), "-ix.05906");
    EXPECT_EQ(line("-ip"), "-ip2,4,.08,.06,0");
    back = reread({"-iv", "-il", "-it", "-ix", "-ip"});
    EXPECT_EQ(back.via_hole, 1835);
    // 1.5 mm is 3870 units, written .05906, which reads as 3871: the record holds what the file gives back.
    EXPECT_EQ(back.dim_text_size, 3871);
    EXPECT_EQ(doc().setup.dim_text_size, 3871);
    EXPECT_EQ(back.pad_width, doc().setup.pad_width);

    as_saved();
    refused('C', "SetupClearanceBox", {{"line_line", "-5"}}, "Line to line: a length cannot be negative");
    refused('C', "SetupClearanceBox", {{"thermal", "A B"}}, "Thermal connection Signal");
    refused('V', "SetupViaBox", {{"layer", "256"}}, "Via layer: \"256\" is not a layer");
    refused('X', "SetupLineWidthsBox", {{"line", "abc"}}, "Line width: \"abc\" is not a length");
    refused('X', "SetupLineWidthsBox", {{"pad_width", "0"}}, "Pad width (X): the length must be more");
    refused('X', "SetupLineWidthsBox", {{"pad_hole", "2\""}}, "Pad hole: the length must be less");
}

TEST_F(SetupDialogs, CancelAndAnUnchangedOkLeaveTheDocumentAsItWas) {
    cancel_and_unchanged_ok({"SetupSnapBox", "SetupGridBox", "SetupSnapTableBox", "SetupClearanceBox", "SetupViaBox",
                             "SetupLineWidthsBox"},
                            "GDSCVX",
                            {{"entry0", "5"}, {"snap", "5"}, {"dots", "5"}, {"line_line", "5"}, {"hole", "5"},
                             {"line", "5"}});
}

} // namespace
} // namespace setup_dialogs
