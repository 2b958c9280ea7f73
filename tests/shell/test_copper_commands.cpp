// BF, BA, BT and BO through the shell: each refuses without a Block; the forms' answers reach the Setup
// and the runs; a fill is one undo group that undoes to the same file; the two questions default to
// Cancel; the milling files land under the prefix, and a prefix that cannot be written says so.
// Everything past the missing-Block refusals needs the copper engine.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>

#include "cam/milling.h"
#include "copper/flood.h"
#include "copper/teardrops.h"
#include "edit/block.h"
#include "edit/status.h"
#include "file_text.h"
#include "shell/macro_session.h"

namespace copper_commands {
namespace {

using namespace shell_test;
using edit_test::kBottom;
using edit_test::kTop;

// A round through-hole GND pad at (1,1) and a pad of A at (1.5,1) whose bottom track runs up to (1.5,1.6);
// a top track leaves the GND pad to the right for the teardrop.
void board(Ref ring) {
    Ref gnd = edit_test::make_pad(ring, 0, in(1), in(1), 3932, 3932, 1);
    model::AttachSignal(gnd, "GND");
    Ref a = edit_test::make_pad(ring, 0, in(1.5), in(1), 3932, 3932, 1);
    model::AttachSignal(a, "A");
    model::AttachSignal(edit_test::make_track(ring, kBottom, in(1.5), in(1), in(1.5), in(1.6), 800), "A");
    edit_test::make_track(ring, kTop, in(1), in(1), in(1.3), in(1), 800);
}

// A GND surface pad on the bottom boxed in by a square of B tracks: no spoke fits at any width.
void boxed_pad(Ref ring) {
    model::AttachSignal(edit_test::make_pad(ring, kBottom, in(1), in(1), 3277, 3277, 6), "GND");
    const double e = 0.04;
    double c[5][2] = {{1 - e, 1 - e}, {1 + e, 1 - e}, {1 + e, 1 + e}, {1 - e, 1 + e}, {1 - e, 1 - e}};
    for (int k = 0; k < 4; ++k) {
        model::AttachSignal(
            edit_test::make_track(ring, kBottom, in(c[k][0]), in(c[k][1]), in(c[k + 1][0]), in(c[k + 1][1]), 655), "B");
    }
}

using test_files::slurp;

struct CopperCommands : MacroSession {
    void block(double x1, double y1, double x2, double y2) {
        edit::define_block(edit::editor(app()).block, doc(), Point{in(x1), in(y1)}, Point{in(x2), in(y2)},
                           Point{in(x1), in(y1)});
    }
    void answer(const std::string& form, std::map<std::string, std::string> values, bool ok = true) {
        ui().dialog_answers[form].push_back({ok, std::move(values)});
    }
    // Lines on `layer` of width `size` (0: Solids) carrying `signal`.
    int lines(int layer, uint16_t size, const std::string& signal) {
        int n = 0;
        for (Ref r : model::items_in(doc().ring())) {
            const model::Node& x = node(r);
            n += x.item_kind() == model::kLine && x.layer == layer && x.size == size &&
                 model::signal_name(model::item_signal(r)) == signal;
        }
        return n;
    }
    std::set<std::string> components() {
        std::set<std::string> out;
        for (Ref r : model::items_in(doc().ring())) {
            if (node(r).item_kind() == model::kComponent) {
                out.insert(model::ComponentField(r, 0));
            }
        }
        return out;
    }
    const platform::Headless::Shown* box(const std::string& title) {
        for (const auto& b : ui().boxes) {
            if (b.title == title) {
                return &b;
            }
        }
        return nullptr;
    }
};

TEST_F(CopperCommands, WithoutABlockEachSaysSoAndChangesNothing) {
    // The four codes are the copper room's: the Block group, installed before, would only sound an error.
    start({{"noblock.pcb", board}});
    std::string before = file();
    for (char c : {'F', 'A', 'T', 'O'}) {
        app().shell.status.text.clear();
        run->menu(shell::code('B', c));
        EXPECT_EQ(status(), message(edit::kMsgBlockUndefined)) << "B" << c;
    }
    EXPECT_TRUE(ui().dialogs.empty());
    EXPECT_TRUE(ui().boxes.empty());
    EXPECT_EQ(file(), before);
    EXPECT_FALSE(edit::has_undo(doc()));
}

TEST_F(CopperCommands, FloodFillFromTheFormIsOneUndoGroupAndUndoesToTheSameFile) {
    start({{"fill.pcb", board}});
    // The Setup already holds what the form answers, so undo must give the very same file.
    model::Setup& s = doc().setup;
    s.flood_target = kBottom;
    s.fill_width = 655;
    s.fill_iso_lines = 655;
    s.fill_iso_pads = 786;
    std::strcpy(s.thermal_signal, "GND");
    s.current_layer = kBottom;
    block(0.5, 0.5, 2, 2);
    std::string before = file();
    answer("FloodFillBox", {{"layer", "4"}, {"width", ".01"}, {"iso_lines", ".01"}, {"iso_pads", "12"},
                            {"thermal", "GND"}, {"mode", "0"}});
    play("<BF>");
    ASSERT_FALSE(ui().dialogs.empty());
    EXPECT_EQ(ui().dialogs.back().field("mode")->options, (std::vector<std::string>{"Flood Fill", "Hatch"}));
    EXPECT_EQ(s.fill_iso_pads, 786) << "12 without a point is thousandths";
    EXPECT_GT(lines(kBottom, 655, "GND"), 20) << "the pour carries the thermal Signal";
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    EXPECT_NE(status().find("Flood Fill: "), std::string::npos) << status();
    EXPECT_EQ(box(copper::kUnconnectedTitle), nullptr);
    undo_all_gives(before);
}

TEST_F(CopperCommands, AnUnconnectablePadAsksAndCancelIsTheDefault) {
    start({{"boxed.pcb", boxed_pad}});
    block(0.5, 0.5, 1.5, 1.5);
    answer("FloodFillBox", {{"layer", "4"}, {"width", ".01"}, {"iso_lines", ".01"}, {"iso_pads", ".012"},
                            {"thermal", "GND"}, {"mode", "0"}});
    run->menu(shell::code('B', 'F'));
    const platform::Headless::Shown* q = box(copper::kUnconnectedTitle);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->text, copper::unconnected_text(Point{in(1), in(1)}, doc().setup));
    EXPECT_EQ(q->buttons, platform::Buttons::OkCancel);
    EXPECT_EQ(q->answer, platform::Answer::Cancel);
}

TEST_F(CopperCommands, TeardropsAskFirstAndOnlyOkAddsThem) {
    start({{"tear.pcb", board}});
    block(0.5, 0.5, 2, 2);
    std::string before = file();
    run->menu(shell::code('B', 'A'));
    const platform::Headless::Shown* q = box(copper::kTeardropTitle);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->text, copper::kTeardropQuestion);
    EXPECT_EQ(q->answer, platform::Answer::Cancel);
    EXPECT_EQ(file(), before);
    ui().answers.push_back(platform::Answer::Ok);
    run->menu(shell::code('B', 'A'));
    EXPECT_EQ(lines(kTop, 0, ""), 1);
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    undo_all_gives(before);
}

TEST_F(CopperCommands, TrackIsolationStoresBothSidesAndMakesItsComponents) {
    start({{"iso.pcb", board}});
    block(0.5, 0.5, 2, 2);
    answer("TrackIsolationBox", {{"top_layer", "4"}, {"top_sources", "4"}, {"top_passes", "2"},
                                 {"top_iso_tool", ".01"}, {"top_iso_overlap", ".002"}, {"top_iso_clear", ".005"},
                                 {"top_flood_tool", ".02"}, {"top_flood_overlap", ".005"}, {"top_flood_clear", ".01"},
                                 {"bottom_passes", "1"}, {"bottom_signal", "GND"}, {"side", "0"}});
    run->menu(shell::code('B', 'T'));
    const model::Setup& s = doc().setup;
    EXPECT_TRUE(s.iso_top.target == kBottom && s.iso_top.passes == 2 && s.iso_top.iso_tool == 655);
    EXPECT_TRUE(s.iso_bottom.passes == 1 && std::string(s.iso_bottom.signal) == "GND");
    EXPECT_EQ(components(), (std::set<std::string>{"$IS1", "$IS2", "$FLD"}));
    EXPECT_EQ(edit::undo_groups(doc()), 1);
}

TEST_F(CopperCommands, IsolationOutputWritesUnderThePrefixAndSaysWhenItCannot) {
    start({{"out.pcb", board}});
    block(0.5, 0.5, 2, 2);
    std::filesystem::path dir = std::filesystem::path(edit_test::temp_path("x")).parent_path() / "mill";
    std::filesystem::create_directories(dir);
    answer("IsolationOutputBox", {{"drill_file", "drill.plt"}, {"top_file", "top.plt"}, {"top_layer", "3"},
                                  {"top_mirror", "1"}, {"prefix", dir.string() + "/"}});
    run->menu(shell::code('B', 'O'));
    std::string drill = slurp(dir / "drill.plt");
    EXPECT_NE(drill.find("PP;"), std::string::npos) << drill;
    EXPECT_NE(slurp(dir / "top.plt").find("PU0,0;\r\n"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "bottom.plt"));
    EXPECT_EQ(box("TRAZEL'98"), nullptr);
    // The rows are kept; only the prefix changes.
    answer("IsolationOutputBox", {{"prefix", (dir / "no such folder").string() + "/"}});
    run->menu(shell::code('B', 'O'));
    EXPECT_EQ(ui().dialogs.back().get("top_file"), "top.plt");
    const platform::Headless::Shown* q = box("TRAZEL'98");
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->text, cam::kMillCreateFailed);
}

} // namespace
} // namespace copper_commands
