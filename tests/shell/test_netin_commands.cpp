// NI through the shell: "NetListInBox" answered from the script, the pins given their Signals, undo
// emptied, the log beside the board and shown as a Document; a mask that matches nothing.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "edit/board_build.h"
#include "shell/macro_session.h"

namespace netin_commands {
namespace {

using namespace shell_test;

// U1 with two through-hole pins at (1,1) and (1.1,1).
void one_part(Ref ring) {
    Ref c = model::make_component(ring, 0, 0, std::string("DIP") + '\x7F' + "U1" + '\x7F' + "V");
    Ref head = model::member_ring(c);
    node(head).box.x1 = in(1);
    node(head).box.y1 = in(1);
    for (int i = 0; i < 2; ++i) {
        Ref p = edit_test::make_pad(head, 0, in(1) + i * 6554, in(1), 3932, 3932, 1);
        model::SetPin(p, std::to_string(i + 1));
    }
    model::close_component(c);
}

std::string pin_signal(const model::Document& d, const std::string& pin) {
    for (Ref c : model::items_in(d.ring())) {
        if (node(c).item_kind() != model::kComponent) {
            continue;
        }
        for (Ref p : model::items_in(model::member_ring(c))) {
            if (node(p).item_kind() == model::kPad && model::pin_text(p) == pin) {
                return model::signal_name(model::item_signal(p));
            }
        }
    }
    return "?";
}

class NetinCommands : public MacroSession {};

TEST_F(NetinCommands, NetlistInputFromTheDialog) {
    start({{"netin.pcb", one_part}}, 0u, "Enter");
    std::string net = edit_test::temp_path("one.net");
    std::ofstream(net, std::ios::binary) << "(\r\nVCC\r\nU1-1\r\nU7-1\r\n)\r\n";
    // A track drawn first: NI empties the undo stack.
    Ref t = edit_test::make_track(doc().ring(), edit_test::kTop, 0, 0, in(1), 0);
    edit::RecordCreated(doc(), t, 0);
    ASSERT_TRUE(edit::has_undo(doc()));
    ui().dialog_answers["NetListInBox"].push_back({true, {{"mask", net}, {"update", "1"}, {"replace", "0"}}});
    play("<NI>");
    EXPECT_EQ(pin_signal(doc(), "1"), "VCC");
    EXPECT_EQ(pin_signal(doc(), "2"), "");
    EXPECT_FALSE(edit::has_undo(doc()));
    EXPECT_EQ(status(), "Total input node count:  2");
    std::ifstream f(doc().name() + ".LOG", std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    std::string log = ss.str();
    EXPECT_EQ(log.rfind("NETLIST INPUT LOG", 0), 0u);
    EXPECT_NE(log.find("Line: 4     Component not found     Name:  U7"), std::string::npos) << log;
    EXPECT_NE(log.find("Warning:    Unlinked pin            Name:  U1-2"), std::string::npos) << log;
    // "Display Logs": the log as a Document of its own, shown in the view window; the board stays current.
    model::Document* shown = model::FindDocument(doc().name() + ".LOG");
    ASSERT_NE(shown, nullptr);
    EXPECT_NE(shown, &doc());
    EXPECT_TRUE(ui().tool_window_open("ViewBox"));
    // The dialog comes back with what was typed.
    ui().dialog_answers["NetListInBox"].push_back({false, {}});
    play("<NI>");
    ASSERT_FALSE(ui().dialogs.empty());
    const platform::Form& again = ui().dialogs.back();
    EXPECT_EQ(again.get("mask"), net);
    EXPECT_EQ(again.get("update"), "1");
}

TEST_F(NetinCommands, AMaskMatchingNothingSaysSo) {
    start({{"netin.pcb", one_part}}, 0u, "Enter");
    std::string mask = edit_test::temp_path("none") + "/*.net";
    ui().dialog_answers["NetListInBox"].push_back({true, {{"mask", mask}}});
    size_t boxes = ui().boxes.size();
    play("<NI>");
    ASSERT_EQ(ui().boxes.size(), boxes + 1);
    EXPECT_EQ(ui().boxes.back().title, "File Not Found");
    EXPECT_EQ(ui().boxes.back().text, "No netlist input files can be located\nusing the specified pattern mask.");
    EXPECT_FALSE(std::filesystem::exists(doc().name() + ".LOG"));
}

} // namespace
} // namespace netin_commands
