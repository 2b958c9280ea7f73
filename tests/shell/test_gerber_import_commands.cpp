// FO with the readers' forced filters and FD merging photoplots and drill files into an open board,
// headless through the shell: layers, Pads on layer 0, one undo group, and the failure box.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/headless_run.h"
#include "edit/undo.h"
#include "shell/shell.h"

namespace gerber_import_commands {
namespace {

using namespace trazel;
using shell::code;

std::string data(const std::string& name) {
    return std::string(TRAZEL_SOURCE_DIR) + "/tests/data/" + name;
}

// The file dialog answered from the test: the names and the filter chosen.
class Picker : public platform::Headless {
  public:
    std::vector<std::string> names;
    int filter = 0;
    std::vector<std::string> offered;
    bool multiple = false;

    std::vector<std::string> open_file_dialog(std::string_view, const std::vector<std::string>& filters,
                                              int& filter_index, bool many, const platform::FilePreview&) override {
        offered = filters;
        multiple = many;
        filter_index = filter;
        return names;
    }
    // Save As keeps the filter the program preselected.
    std::string save_as;
    std::vector<std::string> save_filters;
    int save_index = -1;
    std::string save_file_dialog(std::string_view, const std::vector<std::string>& filters, int& filter_index,
                                 std::string_view) override {
        save_filters = filters;
        save_index = filter_index;
        return save_as;
    }
};

class GerberImportCommands : public ::testing::Test {
  protected:
    Picker ui;
    shell::HeadlessRun run{1024, 768, {}, &ui};

    void start(const std::vector<std::string>& files) {
        ASSERT_NE(run.start(files), 0);
        ASSERT_TRUE(run.until_ready(1000));
    }
    model::Document& doc() {
        return *run.app.doc();
    }
    int count(uint8_t kind, int layer = -1) {
        int n = 0;
        for (model::Ref r : model::items_in(doc().ring())) {
            const model::Node& x = model::node(r);
            n += x.item_kind() == kind && (layer < 0 || x.layer == layer) ? 1 : 0;
        }
        return n;
    }
    int items() {
        int n = 0;
        for (model::Ref r : model::items_in(doc().ring())) {
            (void)r;
            ++n;
        }
        return n;
    }
    std::string layer_name(int k) {
        return doc().setup.layers[static_cast<size_t>(k)].name;
    }
    // FO through the program's own dialog, with the filter of that index.
    int open_with_filter(const std::string& name, int type) {
        run.app.shell.options.explorer_open = false;
        ui.dialog_answers["FileOpenBox"].push_back({true, {{"name", name}, {"type", std::to_string(type)}}});
        return shell::execute_command(run.app, code('F', 'O'), shell::kSourceKey);
    }
    int filter_index(const std::string& label) {
        const platform::Form* f = nullptr;
        for (const platform::Form& x : ui.dialogs) {
            if (x.name == "FileOpenBox") {
                f = &x;
            }
        }
        if (!f) {
            return -1;
        }
        const std::vector<std::string>& o = f->field("type")->options;
        for (size_t i = 0; i < o.size(); ++i) {
            if (o[i] == label) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
};

TEST_F(GerberImportCommands, OpenWithTheReadersFilters) {
    start({});
    // The first FO only shows the dialog (cancelled) so the filters' places can be read off it.
    ui.dialog_answers["FileOpenBox"].push_back({false, {}});
    run.app.shell.options.explorer_open = false;
    shell::execute_command(run.app, code('F', 'O'), shell::kSourceKey);
    int gerber = filter_index("Gerber (Photo Plot)");
    int drill = filter_index("Excellon (Drill holes)");
    ASSERT_GE(gerber, 0);
    ASSERT_GE(drill, 0);
    EXPECT_EQ(filter_index("Binary Data File (Hexdump)"),
              static_cast<int>(ui.dialogs.back().field("type")->options.size()) - 1);

    // The small drill file is text by content; the Excellon filter forces the drill reader.
    ASSERT_EQ(open_with_filter(data("small_board.drl"), drill), 1);
    EXPECT_EQ(doc().setup.format_code, 'E');
    EXPECT_EQ(count(model::kPad, 0), 2);

    ASSERT_EQ(open_with_filter(data("small_board.top"), gerber), 1);
    EXPECT_EQ(doc().setup.format_code, 'G');
    EXPECT_EQ(layer_name(1), "small_board.top");
    EXPECT_EQ(count(model::kPad, 1), 2);
    EXPECT_EQ(run.app.model.docs.size(), 2u);

    // Save As preselects the Gerber writer for the photoplot, and it writes Gerber.
    ui.save_as = (std::filesystem::temp_directory_path() / "trazel-fo-top.ger").string();
    ASSERT_EQ(shell::execute_command(run.app, code('F', 'A'), shell::kSourceKey), 1);
    ASSERT_GE(ui.save_index, 0);
    EXPECT_EQ(ui.save_filters[static_cast<size_t>(ui.save_index)], "Gerber Photo Plot (RS-274-D)|*.ger");
    std::ifstream saved(ui.save_as, std::ios::binary);
    std::string head(13, ' ');
    saved.read(head.data(), 13);
    EXPECT_EQ(head, "%FSLAX24Y24*%");
    std::filesystem::remove(ui.save_as);

    // A drill file forced through the Gerber filter has no D codes: nothing is drawn, but it opens.
    ASSERT_EQ(open_with_filter(data("small_board_m48.drl"), gerber), 1);
    EXPECT_EQ(doc().setup.format_code, 'G');
    EXPECT_EQ(count(model::kPad), 0);
}

TEST_F(GerberImportCommands, IncludeMergesIntoTheBoardAsOneUndoGroup) {
    start({data("small_board.pcb")});
    int before = items();
    int free1 = -1;
    for (int k = 1; k < 256 && free1 < 0; ++k) {
        if (!doc().setup.layers[static_cast<size_t>(k)].in_use()) {
            free1 = k;
        }
    }
    ASSERT_GT(free1, 0);
    ui.names = {data("small_board.top"), data("small_board.bot"), data("small_board.drl")};
    ui.filter = 1; // Excellon: forces only the drill file, too small to be recognised
    int undo_before = edit::undo_groups(doc());
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'D'), shell::kSourceKey), 3);
    EXPECT_TRUE(ui.multiple);
    ASSERT_EQ(ui.offered.size(), 2u);
    EXPECT_EQ(ui.offered[0].substr(0, ui.offered[0].find('|')), "Gerber (Photo Plot)");
    EXPECT_EQ(ui.offered[1].substr(0, ui.offered[1].find('|')), "Excellon (Drill holes)");
    EXPECT_EQ(layer_name(free1), "small_board.top");
    int second = free1 + 1;
    while (doc().setup.layers[static_cast<size_t>(second)].name != std::string("small_board.bot") && second < 255) {
        ++second;
    }
    EXPECT_EQ(layer_name(second), "small_board.bot");
    EXPECT_EQ(count(model::kPad, free1), 2);
    EXPECT_EQ(count(model::kPad, 0), 2); // the board's own Pads are in its Component
    EXPECT_GT(items(), before + 100);
    EXPECT_NE(run.app.shell.status.text.find("Included 3 files"), std::string::npos) << run.app.shell.status.text;
    EXPECT_TRUE(ui.boxes.empty());

    // One undo takes every merged Item away.
    EXPECT_EQ(edit::undo_groups(doc()), undo_before + 1);
    EXPECT_EQ(edit::undo(doc(), nullptr), 1);
    EXPECT_EQ(items(), before);
}

TEST_F(GerberImportCommands, IncludeTellsWhatCouldNotBeRead) {
    start({data("small_board.pcb")});
    int before = items();
    ui.names = {data("small_board.drl")};
    ui.filter = 0; // Gerber forced on a drill file: read, but with nothing to draw
    shell::execute_command(run.app, code('F', 'D'), shell::kSourceKey);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(items(), before);
    ui.names = {data("no_such_file.gbr")};
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'D'), shell::kSourceKey), 0);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].title, "File Include Error");
    EXPECT_NE(ui.boxes[0].text.find("no_such_file.gbr"), std::string::npos);
    // Nothing chosen: nothing happens.
    ui.names.clear();
    EXPECT_EQ(shell::execute_command(run.app, code('F', 'D'), shell::kSourceKey), 0);
    EXPECT_EQ(ui.boxes.size(), 1u);
}

} // namespace
} // namespace gerber_import_commands
