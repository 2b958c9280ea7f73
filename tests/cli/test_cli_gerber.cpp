// trazel-cli gerber: the photoplot run from the batch tool.
#include "cli_runner.h"

using namespace cli_test;

namespace {

// Skips while the verb is not in the tool's table.
bool verb_missing(const Scratch& s) {
    Result r = run(s, "gerber");
    return r.err.find("unknown verb") != std::string::npos;
}

} // namespace

TEST(CliGerber, WritesEveryRowOfTheDemoBoard) {
    Scratch s;
    if (verb_missing(s)) {
        GTEST_SKIP() << "the gerber verb is not in trazel-cli's table yet";
    }
    Result r = run(s, "gerber " + quote(source("share/examples/demo.pcb")) + " --outdir " + quote(s / "out"));
    ASSERT_EQ(r.status, 0) << r.err;
    // One line per file, in row order, each at 100%.
    EXPECT_EQ(r.out.rfind(s / "out/demo.tss 100%\n", 0), 0u) << r.out;
    for (const char* ext : {"tss", "tsm", "top", "bot", "drl", "lst", "dwg"}) {
        EXPECT_TRUE(fs::exists(s / (std::string("out/demo.") + ext))) << ext;
        EXPECT_NE(r.out.find(s / (std::string("out/demo.") + ext) + " 100%\n"), std::string::npos) << ext;
    }
    EXPECT_EQ(slurp(s / "out/demo.top").rfind("%FSLAX24Y24*%\r\n", 0), 0u);
    EXPECT_EQ(slurp(s / "out/demo.drl").rfind("M48", 0), std::string::npos); // the bare form by default

    Result h = run(s, "gerber " + quote(source("share/examples/demo.pcb")) + " --outdir " + quote(s / "out") +
                          " --excellon-header");
    ASSERT_EQ(h.status, 0) << h.err;
    EXPECT_EQ(slurp(s / "out/demo.drl").rfind("M48\r\nINCH,LZ\r\n", 0), 0u);
}

TEST(CliGerber, FailuresSayWhatAndExitWithOne) {
    Scratch s;
    if (verb_missing(s)) {
        GTEST_SKIP() << "the gerber verb is not in trazel-cli's table yet";
    }
    Result missing = run(s, "gerber " + quote(s / "nothing.pcb"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("nothing.pcb"), std::string::npos);

    // The output directory is a file: the directory cannot be made.
    spit(s / "blocker", "x");
    Result blocked = run(s, "gerber " + quote(source("share/examples/demo.pcb")) + " --outdir " + quote(s / "blocker"));
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.err.find("blocker"), std::string::npos);

    // A file that cannot be created: a directory stands where the first output goes.
    fs::create_directories(s / "out2/demo.tss");
    Result locked = run(s, "gerber " + quote(source("share/examples/demo.pcb")) + " --outdir " + quote(s / "out2"));
    EXPECT_EQ(locked.status, 1);
    EXPECT_NE(locked.err.find("demo.tss"), std::string::npos) << locked.err;
    EXPECT_FALSE(fs::exists(s / "out2/demo.top")); // the run stopped there

    // A Document without output rows has nothing to plot.
    spit(s / "bare.pcb", "TRAZEL Version 4.0 -- Data File.\r\n\r\nEND OF FILE\r\n");
    Result bare = run(s, "gerber " + quote(s / "bare.pcb"));
    EXPECT_EQ(bare.status, 1);
    EXPECT_NE(bare.err.find("no output rows"), std::string::npos) << bare.err;

    EXPECT_EQ(run(s, "gerber").status, 2);
    EXPECT_EQ(run(s, "gerber a.pcb --colour red").status, 2);
}
