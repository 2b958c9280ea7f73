// FB, NP and NW through the headless shell: the dialogs answered from the script, the files written
// under the names given or the defaults, Cancel writing nothing, a file that cannot be created passed
// over without a message, and the written names at the top of the recent files.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "edit/board_build.h"
#include "file_text.h"
#include "shell/macro_session.h"
#include "shell/settings.h"

namespace list_commands {
namespace {

using namespace shell_test;
namespace fs = std::filesystem;

using test_files::slurp;

void parts(Ref ring) {
    Ref c = model::make_component(ring, 0, 0,
                                  std::string("1206\x7F"
                                              "C1\x7F"
                                              "10u,25V"));
    Ref p = edit_test::make_pad(model::member_ring(c), edit_test::kTop, in(1), in(1), 3000, 3000, 6);
    model::SetPin(p, "1");
    model::AttachSignal(p, "A");
    node(model::member_ring(c)).box.x1 = in(1);
    node(model::member_ring(c)).box.y1 = in(1);
    model::close_component(c);
}

class ListCommands : public MacroSession {
  protected:
    std::string recent() {
        std::vector<std::string> list = shell::recall_list(app());
        return list.empty() ? std::string() : list.front().substr(18);
    }
};

TEST_F(ListCommands, BillOfMaterialsAsAskedAndCancelWritesNothing) {
    start({{"parts.pcb", parts}}, 0u, "Enter");
    std::string csv = edit_test::temp_path("parts.csv");
    ui().dialog_answers["BOMOutBox"].push_back({true, {{"file", csv}, {"csv", "1"}}});
    play("<FB>");
    EXPECT_EQ(slurp(csv), "TYPE/VALUE,MODIFIER,PATTERN,QTY,COMPONENTS\r\n\"10u,25V\",,1206,1,C1\r\n");
    EXPECT_EQ(recent(), csv);
    EXPECT_EQ(ui().dialogs.back().name, "BOMOutBox");
    EXPECT_NE(status(), message(0x50F)) << "no longer \"not available\"";

    std::string bom = fs::path(doc().name()).replace_extension(".BOM").string();
    ui().dialog_answers["BOMOutBox"].push_back({false, {}});
    play("<FB>");
    EXPECT_FALSE(fs::exists(bom));
    EXPECT_EQ(recent(), csv);

    // A file that cannot be created: no message, nothing remembered.
    size_t boxes = ui().boxes.size();
    ui().dialog_answers["BOMOutBox"].push_back({true, {{"file", edit_test::temp_path("no/such/dir/x.bom")}}});
    play("<FB>");
    EXPECT_EQ(ui().boxes.size(), boxes);
    EXPECT_EQ(recent(), csv);

    // The defaults: the Document's name with ".BOM", the column layout, symbols as stored.
    play("<FB>");
    EXPECT_EQ(slurp(bom).rfind("BILL OF MATERIALS", 0), 0u);
    EXPECT_EQ(recent(), bom);
}

TEST_F(ListCommands, PinAndWireListsUnderTheirDefaultNames) {
    start({{"parts.pcb", parts}}, 0u, "Enter");
    play("<NP>");
    std::string pin = fs::path(doc().name()).replace_extension(".PIN").string();
    EXPECT_NE(slurp(pin).find("C1      1206        1     Top   1.000   1.000   A\r\n"), std::string::npos)
        << slurp(pin);
    EXPECT_EQ(recent(), pin);
    play("<NW>");
    std::string wir = fs::path(doc().name()).replace_extension(".WIR").string();
    EXPECT_EQ(slurp(wir).rfind("SIGNAL WIRE LIST", 0), 0u);
    EXPECT_EQ(recent(), wir);
    ui().dialog_answers["PinListOutBox"].push_back({false, {}});
    fs::remove(pin);
    play("<NP>");
    EXPECT_FALSE(fs::exists(pin));
}

} // namespace
} // namespace list_commands
