// Poured and isolated boards photoplotted and read by gerbv: every file of the `gerber` run reads with no
// CRITICAL or WARNING line, and the poured and isolated rows carry the new copper and tool paths.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "cli/netlist_expect.h"
#include "interop/gerbv_shell.h"
#include "model/chooser.h"
#include "model/model.h"

namespace fs = std::filesystem;
using namespace trazel;
using cli_test::quote;
using interop::complaints;
using interop::have;
using interop::run;
using interop::Shell;

namespace {

std::string cli() {
    return quote(TRAZEL_CLI);
}

struct CopperGerbv : ::testing::Test {
    std::unique_ptr<interop::ScratchDir> scratch;
    fs::path dir;
    void SetUp() override {
        if (!have("gerbv")) {
            GTEST_SKIP() << "gerbv is not installed (make deps installs it)";
        }
        SKIP_WITHOUT_GEN_BOARD();
        scratch = std::make_unique<interop::ScratchDir>("trazel-copper-gerbv-");
        dir = scratch->path;
        ASSERT_TRUE(netlist_test::generate(30, 5, (dir / "board.pcb").string(), (dir / "nets.json").string()));
    }
    // The gerber run of `board` into `sub`; every file read by gerbv.  The size of each file by name.
    std::vector<std::pair<std::string, uintmax_t>> plot_and_read(const fs::path& board, const std::string& sub) {
        fs::create_directories(dir / sub);
        Shell r = run(cli() + " gerber " + quote(board.string()) + " --outdir " + quote((dir / sub).string()), dir);
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<std::pair<std::string, uintmax_t>> files;
        for (const auto& e : fs::directory_iterator(dir / sub)) {
            std::string ext = e.path().extension().string();
            if (ext == ".lst") {
                continue; // the aperture listing is text for people
            }
            bool drill = ext == ".drl";
            fs::path seen = dir / (sub + "-seen" + ext);
            Shell g = run(std::string("timeout 120 gerbv -x ") + (drill ? "drill" : "rs274x") + " -o " +
                              quote(seen.string()) + " " + quote(e.path().string()),
                          dir);
            EXPECT_EQ(complaints(g.err), "") << e.path();
            EXPECT_TRUE(fs::exists(seen)) << e.path();
            files.emplace_back(e.path().filename().string(), fs::file_size(e.path()));
        }
        EXPECT_GE(files.size(), 5u);
        return files;
    }
};

uintmax_t size_of(const std::vector<std::pair<std::string, uintmax_t>>& files, const std::string& suffix) {
    for (const auto& [name, size] : files) {
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            return size;
        }
    }
    return 0;
}

TEST_F(CopperGerbv, PouredHatchedAndIsolatedBoardsReadCleanly) {
    fs::path board = dir / "board.pcb";
    auto bare = plot_and_read(board, "bare");

    // The board's own "-gc" pours the GND plane (layer 5) with GND as the thermal Signal.
    fs::path poured = dir / "poured.pcb";
    Shell f = run(cli() + " fill " + quote(board.string()) + " " + quote(poured.string()) + " --box -0.3,-0.3,5,5",
                  dir);
    ASSERT_EQ(f.status, 0) << f.err;
    auto fill = plot_and_read(poured, "poured");
    EXPECT_GT(size_of(fill, ".gnd"), size_of(bare, ".gnd") + 20000) << "the pour is in the plane's photoplot";

    fs::path hatched = dir / "hatched.pcb";
    Shell h = run(cli() + " fill " + quote(board.string()) + " " + quote(hatched.string()) +
                      " --box 0.5,0.5,3,3 --hatch --mesh 0.05 --layer 4 --sources 4,0",
                  dir);
    ASSERT_EQ(h.status, 0) << h.err;
    auto hatch = plot_and_read(hatched, "hatched");
    EXPECT_GT(size_of(hatch, ".bot"), size_of(bare, ".bot"));

    // Isolation of top copper: two passes and the clearing rows, drawn on the top silk layer (row TSS).
    {
        model::Model m;
        model::FormatTable formats;
        model::register_model_formats(formats);
        model::NewDocument("board.pcb");
        ASSERT_NE(model::OpenDocumentFile(formats, board.string(), 0), 0);
        model::TrackIsolation& t = m.current->setup.iso_top;
        auto mils = [](int v) { return static_cast<model::Length>((v * 65536 + 500) / 1000); };
        t.passes = 2;
        t.iso_tool = mils(8);
        t.iso_overlap = mils(2);
        t.iso_clearance = mils(4);
        t.flood_tool = mils(30);
        t.flood_overlap = mils(5);
        t.flood_clearance = mils(12);
        t.target = 1;
        t.sources.reset();
        t.sources.set(3);
        t.sources.set(0);
        ASSERT_TRUE(model::SaveDocumentFile(formats, (dir / "milling.pcb").string(), 'C'));
    }
    fs::path isolated = dir / "isolated.pcb";
    Shell i = run(cli() + " isolate " + quote((dir / "milling.pcb").string()) + " " + quote(isolated.string()) +
                      " --box -0.3,-0.3,5,5 --side top",
                  dir);
    ASSERT_EQ(i.status, 0) << i.err;
    auto iso = plot_and_read(isolated, "isolated");
    EXPECT_GT(size_of(iso, ".tss"), size_of(bare, ".tss") + 20000) << "the tool paths are in the silk photoplot";
}

} // namespace
