// The Place functions that hang whole symbols: library Components (PC) with their dialog and Reference ID
// rules, ports and grounds from templates, the dimension line; each undone byte for byte.
#include "keys_fixture.h"

#include <set>

#include "edit/commands.h"
#include "edit/grab.h"
#include "edit/place.h"
#include "edit/place_symbols.h"
#include "edit/undo.h"
#include "model/chooser.h"
#include "model/datafile.h"
#include "shell/commands.h"
#include "shell/mouse.h"

namespace trazel::test {

namespace {

using shell::code;

class PlaceSymbols : public ServicesTest {
  protected:
    void open(const std::string& rel) {
        fs::path copy = root / fs::path(rel).filename();
        fs::copy_file(fs::path(TRAZEL_SOURCE_DIR) / rel, copy);
        boot({copy.string()});
        ASSERT_NE(app->doc(), nullptr);
        // Libraries come from the source tree whatever the test program's folder.
        std::string dir = std::string(TRAZEL_SOURCE_DIR) + "/share/LIBRARY";
        shell::write_setting(*app, "Library Path", dir);
    }
    std::string saved() {
        std::string out;
        EXPECT_TRUE(model::save_document_bytes(app->formats, out, 'C'));
        return out;
    }
    void at(double x, double y) {
        edit::jump_cursor(*app, {model::Coord(x * 65536), model::Coord(y * 65536)});
    }
    void click() {
        shell::click_left_action(*app);
    }
    int run(uint16_t c) {
        return shell::execute_command(*app, c, shell::Source::Mouse);
    }
    void answer(const std::string& form, std::map<std::string, std::string> values, bool ok = true) {
        ui.dialog_answers[form].push_back({ok, std::move(values)});
    }
    std::vector<model::Ref> components(const char* ref_prefix) {
        std::vector<model::Ref> v;
        for (model::Ref r : model::items_in(app->doc()->ring())) {
            if (model::node(r).item_kind() == model::kComponent &&
                model::ComponentField(r, 1).rfind(ref_prefix, 0) == 0) {
                v.push_back(r);
            }
        }
        return v;
    }
};

TEST_F(PlaceSymbols, ComponentFromTheLibrariesInSortedPlaceAndUndoneWhole) {
    open("share/examples/demo.pcb");
    std::string before = saved();
    at(1, 1);
    answer("ComponentLibraryBox", {{"field0", "dip8"}, {"field1", "U?"}, {"refstep", "1"}});
    ASSERT_EQ(run(code('P', 'C')), 1);
    EXPECT_TRUE(edit::grab_pending(*app));
    at(1.5, 1);
    click();
    EXPECT_FALSE(edit::grab_pending(*app));
    auto us = components("U");
    ASSERT_FALSE(us.empty());
    model::Ref c = model::kNone;
    for (model::Ref r : us) {
        if (model::ComponentField(r, 0) == "dip8") { // the fields as typed in the dialog
            c = r;
        }
    }
    ASSERT_NE(c, model::kNone);
    EXPECT_NE(model::ComponentField(c, 1), "U?");
    // Hook where the cursor dropped it, and the ring still in key order.
    model::Ref head = model::member_ring(c);
    EXPECT_EQ(model::node(head).box.x1, 1.5 * 65536);
    EXPECT_EQ(model::node(head).box.y1, 65536);
    std::array<char, 128> last{};
    for (model::Ref r : model::items_in(app->doc()->ring())) {
        if (model::node(r).item_kind() == model::kComponent) {
            auto k = model::ComponentKey(r);
            EXPECT_LE(last, k);
            last = k;
        }
    }
    // A second click starts the next one with the dialog again; cancelled, nothing hangs.
    answer("ComponentLibraryBox", {}, false);
    click();
    EXPECT_FALSE(edit::grab_pending(*app));
    edit::undo(*app->doc(), nullptr, true);
    EXPECT_EQ(saved(), before);
}

TEST_F(PlaceSymbols, ComponentDialogRefusesBadReferencesAndUnknownPatterns) {
    open("share/examples/demo.pcb");
    std::string before = saved();
    // 127 is the field separator: refused like a blank.  The script has no second answer: cancelled.
    answer("ComponentLibraryBox", {{"field0", "R0805"}, {"field1", std::string("R\x7F") + "1"}});
    EXPECT_EQ(run(code('P', 'C')), 0);
    EXPECT_FALSE(edit::grab_pending(*app));
    EXPECT_EQ(ui.boxes.back().title, "Invalid Reference ID");
    answer("ComponentLibraryBox", {{"field0", "NOSUCHPART"}, {"field1", "X1"}});
    EXPECT_EQ(run(code('P', 'C')), 0);
    EXPECT_GT(sounds(platform::Sound::Beep) + sounds(platform::Sound::Error), 0);
    // Listing a library shows its entries in the same dialog; choosing one fills the pattern.
    answer("ComponentLibraryBox", {{"library", "1"}, {"filter", "R08*"}, {"action", "1"}});
    answer("ComponentLibraryBox", {{"entries", "1"}, {"field1", "R77"}, {"action", "0"}});
    ASSERT_EQ(run(code('P', 'C')), 1);
    const platform::Form& listed = ui.dialogs.back();
    ASSERT_EQ(listed.field("entries")->options.size(), 2u);
    EXPECT_EQ(listed.field("entries")->options[1], "R0805\tR?");
    // Every show of the dialog has its picture of the entry.
    const platform::Field* picture = ui.dialogs.front().field("preview");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->kind, platform::Field::Kind::Picture);
    click();
    EXPECT_EQ(components("R77").size(), 1u);
    edit::undo(*app->doc(), nullptr, true);
    EXPECT_EQ(saved(), before);
}

TEST_F(PlaceSymbols, TheDialogDrawsTheEntryItNames) {
    open("share/examples/demo.pcb");
    answer("ComponentLibraryBox", {{"field0", "DIP8"}, {"action", "1"}});
    answer("ComponentLibraryBox", {}, false);
    EXPECT_EQ(run(code('P', 'C')), 0);
    ASSERT_EQ(ui.dialogs.size(), 2u);
    EXPECT_EQ(ui.dialogs[0].field("preview")->width, 0); // nothing named yet
    const platform::Field& drawn = *ui.dialogs[1].field("preview");
    ASSERT_GT(drawn.width, 0);
    ASSERT_EQ(drawn.rgb.size(), static_cast<size_t>(drawn.width * drawn.height * 3));
    // Pads and outlines in their layer colours on the background: more than one colour.
    std::set<uint32_t> colours;
    for (size_t i = 0; i + 2 < drawn.rgb.size(); i += 3) {
        colours.insert(uint32_t{drawn.rgb[i]} << 16 | uint32_t{drawn.rgb[i + 1]} << 8 | drawn.rgb[i + 2]);
    }
    EXPECT_GE(colours.size(), 3u);
}

TEST_F(PlaceSymbols, PortsGroundsAndTheirNames) {
    open("share/examples/demo.sch");
    std::string before = saved();
    answer("PlaceSignalNameBox", {{"name", "D9"}});
    at(2, 2);
    ASSERT_EQ(run(code('P', 'S')), 1);
    click(); // drops D9
    click(); // the next port: its dialog comes preset with the advanced name
    EXPECT_EQ(ui.dialogs.back().get("name"), "D10");
    click();
    auto ports = components("$$SIG");
    ASSERT_EQ(ports.size(), 2u);
    // The port stretched to its name: "D10" is longer than "D9" by whole tenths or not, but both
    // outlines reach left of the standard 0.1 inch body.
    for (model::Ref p : ports) {
        EXPECT_LT(model::node(p).box.x1, 2 * 65536 - 6554);
    }

    EXPECT_EQ(run(code('P', 'M')), 1);
    EXPECT_EQ(app->shell.prompt, "Place: Voltage Symbol");
    click();
    ASSERT_EQ(run(code('P', 'G')), 1);
    click();
    bool gnd_pad = false;
    for (model::Ref g : components("$$GND")) {
        for (model::Ref m : model::items_in(model::member_ring(g))) {
            if (model::node(m).item_kind() == model::kPad && model::item_signal(m) != model::kNone) {
                gnd_pad = gnd_pad || model::signal_name(model::item_signal(m)) == "GND";
            }
        }
    }
    EXPECT_TRUE(gnd_pad);
    edit::undo(*app->doc(), nullptr, true);
    EXPECT_EQ(saved(), before);
}

TEST_F(PlaceSymbols, SchematicSymbolsNeedASchematic) {
    open("share/examples/demo.pcb");
    for (uint16_t c : {code('P', 'S'), code('P', 'B'), code('P', '+'), code('P', 'G'), code('P', 'H'), code('P', 'M')}) {
        EXPECT_EQ(run(c), 0);
        EXPECT_FALSE(edit::grab_pending(*app));
    }
    // The arrow head and the dimension work anywhere, on the current layer.
    app->doc()->setup.current_layer = 4;
    ASSERT_EQ(run(code('P', 'R')), 1);
    click();
    auto heads = components("$$AHD");
    ASSERT_EQ(heads.size(), 1u);
    for (model::Ref m : model::items_in(model::member_ring(heads[0]))) {
        EXPECT_EQ(model::node(m).layer, 4);
    }
}

TEST_F(PlaceSymbols, DimensionFollowsItsDraggedEnd) {
    open("share/examples/demo.pcb");
    std::string before = saved();
    at(1, 1);
    ASSERT_EQ(run(code('P', 'X')), 1);
    at(2, 1.05); // the far end goes horizontally: ortho mode 1
    click();
    auto dims = components("$$DIM");
    ASSERT_EQ(dims.size(), 1u);
    model::Point a, b;
    ASSERT_TRUE(edit::dimension_ends(dims[0], a, b));
    EXPECT_EQ(a.x, 65536);
    EXPECT_EQ(b.x, 2 * 65536);
    EXPECT_EQ(b.y, 65536);
    std::string shown;
    for (model::Ref m : model::items_in(model::member_ring(dims[0]))) {
        if (model::node(m).item_kind() == model::kText) {
            shown = model::GetText(m);
        }
    }
    EXPECT_EQ(shown.substr(0, 4), "1.00");
    edit::undo(*app->doc(), nullptr, true);
    EXPECT_EQ(saved(), before);
}

TEST_F(PlaceSymbols, LibrarySlotsAndPathOfSetupLibraries) {
    open("share/examples/demo.pcb");
    answer("SetupLibrariesBox", {{"lib2", "MINE.LIB"}, {"lib0", ""}, {"path", "/opt/parts"}});
    ASSERT_EQ(run(code('S', 'F')), 1);
    const platform::Form& shown = ui.dialogs.back();
    EXPECT_EQ(shown.get("lib1"), "SMD.LIB");
    // The emptied first entry closes up.
    EXPECT_EQ(std::string(app->doc()->setup.libraries[0].data()), "SMD.LIB");
    EXPECT_EQ(std::string(app->doc()->setup.libraries[1].data()), "MINE.LIB");
    EXPECT_EQ(shell::read_setting(*app, "Library Path"), "/opt/parts");
    EXPECT_TRUE(app->doc()->modified());
    std::string file = saved();
    EXPECT_NE(file.find("-bSMD.LIB\r\n-bMINE.LIB\r\n"), std::string::npos);
}

} // namespace

} // namespace trazel::test
