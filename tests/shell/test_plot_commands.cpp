// FP through the shell: the "PlotterOutputBox" answers stored in "-gp", the plot written on its own
// thread, an output that cannot be opened, commands refused while it works, and Escape or closing the
// wait box cancelling it with the older file kept.  A test holds the plot before it starts through the
// plot seam.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cam/commands.h"
#include "cam/plot_page.h"
#include "edit/board_build.h"
#include "platform/run_context.h"
#include "shell/macro_session.h"

namespace plot_commands {
namespace {

using namespace shell_test;

void two_pads(Ref ring) {
    for (double x : {1.0, 2.0}) {
        Ref p = edit_test::make_pad(ring, 0, in(x), in(1), 3932, 3932, 1);
        node(p).pad.hole = 2294;
    }
    edit_test::make_track(ring, edit_test::kTop, in(1), in(1), in(2), in(1), 721);
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class PlotCommands : public HeldRunSession {
  protected:
    std::filesystem::path out = std::filesystem::path(edit_test::temp_path("plot_out.plt"));

    ~PlotCommands() override {
        std::error_code ec;
        std::filesystem::remove(out, ec);
    }
    void hold_plots() {
        cam::plot_before_run(app()) = hold();
    }
    bool tick_until_done() {
        return tick_while([this] { return cam::plotting(app()); });
    }
    void answer(bool ok, std::map<std::string, std::string> values) {
        ui().dialog_answers["PlotterOutputBox"].push_back({ok, std::move(values)});
    }
};

TEST_F(PlotCommands, OkStoresTheOptionsAndWritesTheHpglFileOnItsThread) {
    start({{"plot.pcb", two_pads}}, 0u);
    // Only layers with a plot colour that is on and not black are plotted.
    doc().setup.layers[0].plot = 0x0000FF;
    doc().setup.layers[edit_test::kTop].plot = 0xFF0000;
    answer(true, {{"method", "1"}, {"file", out.string()}, {"mirror", "1"}, {"no_vias", "1"}, {"scale", "2"}});
    run->menu(shell::code('F', 'P'));
    ASSERT_FALSE(ui().dialogs.empty());
    EXPECT_EQ(ui().dialogs.back().name, "PlotterOutputBox");
    ASSERT_TRUE(tick_until_done());
    uint16_t flags = cam::plot_flags(doc().setup);
    EXPECT_TRUE(flags & cam::kPlotMirror);
    EXPECT_TRUE(flags & cam::kPlotNoVias);
    EXPECT_FALSE(flags & cam::kPlotFit);
    EXPECT_EQ(doc().setup.plot_scale, 2 * 65536);
    std::string hpgl = read_file(out);
    ASSERT_FALSE(hpgl.empty());
    EXPECT_NE(hpgl.find("PD"), std::string::npos) << hpgl;
    EXPECT_EQ(hpgl.substr(hpgl.size() - 8), "PU0,0;\r\n");
    EXPECT_FALSE(ui().tool_window_open("WaitPlotterBox")) << "the wait box goes with the plot";
    // Cancel changes nothing.
    std::string setup = file();
    answer(false, {{"mirror", "0"}});
    run->menu(shell::code('F', 'P'));
    EXPECT_EQ(file(), setup);
}

TEST_F(PlotCommands, AnOutputThatCannotBeOpenedOrIsMissingIsRefused) {
    start({{"plot.pcb", two_pads}}, 0u);
    answer(true, {{"method", "0"}, {"file", "/nonexistent-folder/plot.ps"}});
    run->menu(shell::code('F', 'P'));
    EXPECT_FALSE(cam::plotting(app()));
    ASSERT_FALSE(ui().boxes.empty());
    EXPECT_EQ(ui().boxes.back().text, "Unable to open specified output file.");
    EXPECT_EQ(ui().boxes.back().title, "TRAZEL'98 Printer Error");
    answer(true, {{"method", "0"}, {"file", ""}, {"printer", ""}});
    run->menu(shell::code('F', 'P'));
    EXPECT_FALSE(cam::plotting(app()));
    EXPECT_EQ(ui().boxes.back().text, "An output file or a print queue is needed.");
}

TEST_F(PlotCommands, WhileRunningChangesAreRefusedAndEscapeCancelsKeepingTheOldFile) {
    start({{"plot.pcb", two_pads}}, 0u);
    {
        std::ofstream f(out, std::ios::binary);
        f << "older plot";
    }
    hold_plots();
    answer(true, {{"method", "1"}, {"file", out.string()}});
    run->menu(shell::code('F', 'P'));
    ASSERT_TRUE(cam::plotting(app()));
    wait_until_held();
    EXPECT_TRUE(ui().tool_window_open("WaitPlotterBox"));
    std::string before = file();
    for (uint16_t c : {shell::code('U', 'U'), shell::code('N', 'A'), shell::code('F', 'P'), shell::code('F', 'S')}) {
        size_t errors = sounds(platform::Sound::Error);
        run->menu(c);
        EXPECT_EQ(sounds(platform::Sound::Error), errors + 1) << std::hex << c;
        EXPECT_EQ(status(), "Plot:  the plotter is working; press Escape to stop it.");
    }
    EXPECT_EQ(file(), before);
    size_t errors = sounds(platform::Sound::Error);
    run->menu(shell::code('Z', 'R'));
    EXPECT_EQ(sounds(platform::Sound::Error), errors) << "the view is no change";
    run->key_down(0x01);
    run->key_up(0x01);
    ASSERT_TRUE(tick_until_done());
    EXPECT_EQ(status(), "Plot cancelled.");
    EXPECT_EQ(read_file(out), "older plot");
}

TEST_F(PlotCommands, ClosingTheWaitBoxCancelsAndANewPlotRunsAfterwards) {
    start({{"plot.pcb", two_pads}}, 0u);
    hold_plots();
    answer(true, {{"method", "0"}, {"file", out.string()}});
    run->menu(shell::code('F', 'P'));
    wait_until_held();
    ui().close_tool_window("WaitPlotterBox");
    ASSERT_TRUE(tick_until_done());
    EXPECT_FALSE(std::filesystem::exists(out));
    cam::plot_before_run(app()) = nullptr;
    answer(true, {{"method", "0"}, {"file", out.string()}});
    run->menu(shell::code('F', 'P'));
    ASSERT_TRUE(tick_until_done());
    std::string ps = read_file(out);
    EXPECT_EQ(ps.rfind("%!PS", 0), 0u);
    EXPECT_NE(ps.find("%%EOF"), std::string::npos);
}

} // namespace
} // namespace plot_commands
