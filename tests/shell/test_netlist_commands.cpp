// NO through the headless shell: the dialog's answers choose the file and options, the naming pass is
// undone in one step, a crosslink is shown and writes nothing, and the two error boxes word for word.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "edit/board_build.h"
#include "file_text.h"
#include "shell/macro_session.h"

namespace netlist_commands {
namespace {

using namespace shell_test;
using edit_test::kTop;

// U2 at x = 1 and U10 at x = 2: pin 1 on CLK at y = 1 (DATA for U10 when `crossed`), pin 2 without
// Signal at y = 1.5; a track joins the pins 2 (and the pins 1 when `crossed`).
void parts(Ref ring, bool crossed, const char* first_ref = "U2") {
    for (int i = 0; i < 2; ++i) {
        Ref c = edit_test::make_component(ring, "DIP8", i ? "U10" : first_ref, Point{in(1 + i), in(1)});
        Ref m = model::member_ring(c);
        Ref p1 = edit_test::make_pad(m, 0, in(1 + i), in(1), 3932, 3932, 1);
        model::SetPin(p1, "1");
        model::AttachSignal(p1, i && crossed ? "DATA" : "CLK");
        Ref p2 = edit_test::make_pad(m, 0, in(1 + i), in(1.5), 3932, 3932, 1);
        model::SetPin(p2, "2");
        model::close_component(c);
    }
    edit_test::make_track(ring, kTop, in(1), in(1.5), in(2), in(1.5), 800);
    if (crossed) {
        edit_test::make_track(ring, kTop, in(1), in(1), in(2), in(1), 800);
    }
}

using test_files::slurp;

class NetlistCommands : public MacroSession {
  protected:
    // The pad of a Component's pin.
    Ref pin(const std::string& ref, const std::string& number) {
        Ref found = model::kNone;
        for (Ref c : model::items_in(doc().ring())) {
            if (node(c).item_kind() != model::kComponent || model::ComponentField(c, 1) != ref) {
                continue;
            }
            for (Ref p : model::items_in(model::member_ring(c))) {
                if (node(p).item_kind() == model::kPad && model::pin_text(p) == number) {
                    found = p;
                }
            }
        }
        return found;
    }
    std::string signal_of(Ref r) {
        return model::signal_name(model::item_signal(r));
    }
    void answer(std::map<std::string, std::string> values, bool ok = true) {
        ui().dialog_answers["NetListOutBox"].push_back({ok, std::move(values)});
    }
};

TEST_F(NetlistCommands, NamedNetsListedAndOneUndoTakesTheNamesBack) {
    start({{"nl.pcb", [](Ref r) { parts(r, false); }}}, 0u, "Enter");
    std::string out = edit_test::temp_path("nl.net");
    answer({{"file", out}, {"scan", "1"}});
    play("<NO>");
    std::string net = slurp(out);
    EXPECT_NE(net.find("\r\n$10001          U10-2   U2-2\r\n\r\nCLK             U10-1   U2-1\r\n"), std::string::npos)
        << net;
    EXPECT_EQ(signal_of(pin("U10", "2")), "$10001");
    play("<UU>");
    EXPECT_EQ(signal_of(pin("U2", "2")), "");
    EXPECT_EQ(signal_of(pin("U10", "2")), "");
    EXPECT_EQ(signal_of(pin("U10", "1")), "CLK");
    EXPECT_FALSE(edit::has_undo(doc()));

    // The file name offered is the board's with ".NET", the options are those of the last time; Cancel
    // writes nothing.
    std::filesystem::remove(out);
    answer({}, false);
    play("<NO>");
    ASSERT_FALSE(ui().dialogs.empty());
    const platform::Form& f = ui().dialogs.back();
    EXPECT_EQ(f.name, "NetListOutBox");
    EXPECT_EQ(f.get("file"), std::filesystem::path(doc().name()).replace_extension(".NET").string());
    EXPECT_EQ(f.get("scan"), "1");
    EXPECT_EQ(f.get("bracketed"), "0");
    EXPECT_FALSE(std::filesystem::exists(out));
    EXPECT_FALSE(std::filesystem::exists(f.get("file")));
}

TEST_F(NetlistCommands, CrosslinkIsShownAndNoFileWritten) {
    start({{"nl.pcb", [](Ref r) { parts(r, true); }}}, 0u, "Enter");
    std::string out = edit_test::temp_path("x.net");
    answer({{"file", out}, {"scan", "1"}});
    play("<NO>");
    EXPECT_EQ(status(), "Signal <CLK> is crosslinked to signal <DATA>.");
    EXPECT_TRUE(node(pin("U10", "1")).marked());
    EXPECT_TRUE(at_inch(cursor(), 2, 1));
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(NetlistCommands, ReferenceIdErrorBeforeTheDialog) {
    start({{"bad.pcb", [](Ref r) { parts(r, false, "2U"); }}}, 0u, "Enter");
    size_t dialogs = ui().dialogs.size();
    play("<NO>");
    ASSERT_FALSE(ui().boxes.empty());
    EXPECT_EQ(ui().boxes.back().title, "Net List Error");
    EXPECT_EQ(ui().boxes.back().text,
              "A component has been encountered with a Reference ID\nfield that does not begin with a upper case "
              "alphabetic\ncharacter.\n\nComponent sequence number:  1\nComponent Reference ID:  2U\n\nUse the "
              "\"Edit Component\" function to correct this\ncondition.");
    EXPECT_EQ(ui().dialogs.size(), dialogs) << "the check comes before the dialog";
}

TEST_F(NetlistCommands, FileCreationError) {
    start({{"good.pcb", [](Ref r) { parts(r, false); }}}, 0u, "Enter");
    std::string out = edit_test::temp_path("no/such/folder/x.net");
    answer({{"file", out}});
    play("<NO>");
    ASSERT_FALSE(ui().boxes.empty());
    EXPECT_EQ(ui().boxes.back().title, "File Creation Error");
    EXPECT_EQ(ui().boxes.back().text, "Unable to create netlist output\nfile: \"" + out + "\".");
}

} // namespace
} // namespace netlist_commands
