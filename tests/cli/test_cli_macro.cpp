// trazel-cli macro: keystroke macro text played on a file through the shell's key handler, with
// message boxes and dialogs answered from the command line, and the result saved.
#include <chrono>
#include <iterator>
#include <random>

#include "cli/cli_runner.h"

using namespace cli_test;

namespace {

const std::string kDemo = source("share/examples/demo.pcb");

// The Item records of a Data file (everything after the caption lines).
std::string body(const std::string& file) {
    size_t at = file.find("Line: 1 layer width X1 Y1 X2 Y2 signal\r\n");
    return at == std::string::npos ? std::string() : file.substr(at);
}

} // namespace

TEST(CliMacro, ViewAndCursorKeysLeaveTheDocumentAsItWas) {
    Scratch s;
    Result r =
        run(s, "macro " + quote(kDemo) + " " + quote(s / "out.pcb") + " --keys 'I I O <ZX> 3Up \"1.5,1\" Enter'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // The reference is the file loaded, shown and saved with no keys at all (showing measures the Texts).
    Result c = run(s, "macro " + quote(kDemo) + " " + quote(s / "ref.pcb") + " --keys ''");
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(slurp(s / "out.pcb"), slurp(s / "ref.pcb"));
    EXPECT_EQ(body(slurp(s / "out.pcb")).substr(0, 40), body(slurp(kDemo)).substr(0, 40));
}

TEST(CliMacro, NewFileFromATemplateThroughItsDialogs) {
    Scratch s;
    Result r = run(s, "macro " + quote(kDemo) + " " + quote(s / "sheet.sch") +
                          " --keys '<FW>' --field FileNewBox.kind=1 --field FileTemplateBox.template=A4");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string out = slurp(s / "sheet.sch");
    // A4 landscape: 297 x 210 mm in inches, with five decimals at most.
    EXPECT_NE(out.find("\r\n-gp6,0,1.0,0,0,11.69292,8.26772,1\r\n"), std::string::npos);
    EXPECT_NE(out.find("\r\n-y2:00008000,00000000,6,2,Signals\r\n"), std::string::npos);
    EXPECT_NE(body(out).find(" TITLE\r\n"), std::string::npos);
    EXPECT_EQ(out.find("TO220VU15V REG"), std::string::npos) << "the board is not what was saved";
}

TEST(CliMacro, AnswersAreTakenByTitleAndTheBoxesAreListed) {
    Scratch s;
    // Erase asks once for confirmation; its default is "no".
    spit(s / "keep.pcb", slurp(kDemo));
    Result r = run(s, "macro " + quote(s / "keep.pcb") + " --keys '<FE>'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(s / "keep.pcb"));
    EXPECT_NE(r.out.find("Erase File Warning: File Erasure. If you do not want to delete this file from disk,"),
              std::string::npos)
        << r.out;

    spit(s / "gone.pcb", slurp(kDemo));
    r = run(s, "macro " + quote(s / "gone.pcb") + " --keys '<FE>' --answer 'Erase File Warning=yes'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(s / "gone.pcb"));
    EXPECT_NE(r.out.find("Status: File erased from disk."), std::string::npos) << r.out;
}

TEST(CliMacro, NothingLeftToSaveIsAFailure) {
    Scratch s;
    spit(s / "gone.pcb", slurp(kDemo));
    Result r = run(s, "macro " + quote(s / "gone.pcb") + " " + quote(s / "out.pcb") +
                          " --keys '<FE>' --answer 'Erase File Warning=yes'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_FALSE(fs::exists(s / "out.pcb"));
}

TEST(CliMacro, FailuresLeaveTheOldOutputAsItWas) {
    Scratch s;
    spit(s / "out.pcb", "old contents");

    Result r = run(s, "macro " + quote(s / "missing.pcb") + " " + quote(s / "out.pcb") + " --keys 'I'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("missing.pcb"), std::string::npos);
    EXPECT_EQ(slurp(s / "out.pcb"), "old contents");

    // A 100-second pause does not end within 50 ticks.
    r = run(s, "macro " + quote(kDemo) + " " + quote(s / "out.pcb") + " --keys '<100>' --max-ticks 50");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_EQ(slurp(s / "out.pcb"), "old contents");

    // Not a Data file: the reader's reason is given.
    const char junk[] = "\x01\x02\x03\x04 not a drawing";
    spit(s / "junk.bin", std::string(junk, sizeof junk - 1));
    r = run(s, "macro " + quote(s / "junk.bin") + " " + quote(s / "out.pcb") + " --keys 'I'");
    if (r.status != 0) {
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(lines(r.err), 1) << r.err;
        EXPECT_EQ(slurp(s / "out.pcb"), "old contents");
    }
}

TEST(CliMacro, AnOutputThatCannotBeWrittenIsReported) {
    Scratch s;
    spit(s / "plain", "a file, not a folder");
    Result r = run(s, "macro " + quote(kDemo) + " " + quote(s / "plain/out.pcb") + " --keys 'I'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("plain/out.pcb"), std::string::npos) << r.err;
    EXPECT_EQ(slurp(s / "plain"), "a file, not a folder");

    // A folder in the way of the output stays a folder.
    fs::create_directories(s / "dir.pcb");
    r = run(s, "macro " + quote(kDemo) + " " + quote(s / "dir.pcb") + " --keys 'I'");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(fs::is_directory(s / "dir.pcb"));
}

TEST(CliMacro, UsageErrors) {
    Scratch s;
    const std::string in = quote(kDemo);
    for (std::string args : {
             std::string("macro"),
             "macro " + in,                                            // no --keys
             std::string("macro --keys I"),                            // no input
             "macro " + in + " a.pcb b.pcb --keys I",                  // too many files
             "macro " + in + " --keys",                                // --keys without text
             "macro " + in + " --keys I --answer 'Exit Save Warning'", // no buttons
             "macro " + in + " --keys I --answer 'Exit Save Warning=maybe'",
             "macro " + in + " --keys I --answer '=yes'",
             "macro " + in + " --keys I --field FileNewBox=1", // no field name
             "macro " + in + " --keys I --field .kind=1",
             "macro " + in + " --keys I --max-ticks 0",
             "macro " + in + " --keys I --bogus",
         }) {
        Result r = run(s, args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("usage: trazel-cli macro"), std::string::npos) << args;
    }
}

TEST(CliMacro, SeveralButtonsAnswerSuccessiveBoxesOfOneTitle) {
    Scratch s;
    // Two erase boxes in a row: the first is answered "no" (nothing happens), the second "yes".
    spit(s / "x.pcb", slurp(kDemo));
    Result r = run(s, "macro " + quote(s / "x.pcb") + " --keys '<FE> <FE>' --answer 'Erase File Warning=no,yes'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(s / "x.pcb"));
}

// A batch run never hangs: a macro that restarts itself, two that call each other and a repeat count
// far beyond the budget all stop once --max-ticks x 64 tokens are played, and nothing is written.
TEST(CliMacro, MacrosThatNeverEndStopAtTheirTokenBudget) {
    Scratch s;
    const std::string out = s / "out.pcb";
    for (std::string keys : {"--keys '<SK> F11' --field 'SetupKeyStrokeMacrosBox.Key Stroke F11=F11'",
                             "--keys '<SK> F11' --field 'SetupKeyStrokeMacrosBox.Key Stroke F11=F12' "
                             "--field 'SetupKeyStrokeMacrosBox.Key Stroke F12=F11'",
                             "--keys '40640j'"}) {
        Result r = run(s, "macro " + quote(kDemo) + " " + quote(out) + " " + keys + " --max-ticks 10", 20);
        EXPECT_EQ(r.status, 1) << keys;
        EXPECT_EQ(r.err, "trazel-cli: macro still playing after 640 tokens\n") << keys;
        EXPECT_FALSE(fs::exists(out)) << keys;
    }
}

// What hangs on the cursor when the macro ends is put back before the save, so no Item is lost.
TEST(CliMacro, UnfinishedGrabsSaveEveryItemWhereItWas) {
    Scratch s;
    const std::string board = source("tests/data/small_board.pcb");
    ASSERT_EQ(run(s, "macro " + quote(board) + " " + quote(s / "ref.pcb") + " --keys ''").status, 0);
    const std::string ref = slurp(s / "ref.pcb");
    int grabbed = 0;
    for (const char* g : {"GL", "GE", "GA", "GG", "GD", "GP", "GT", "GC", "GO", "GF", "GI"}) {
        std::string out = s / (std::string(g) + ".pcb");
        // The cursor on a pad, a track end and a Component's hook point, the grab, one step away.
        Result r = run(s, "macro " + quote(board) + " " + quote(out) + " --keys '\"1.0,1.0\" Enter <" + g + "> Up'");
        ASSERT_EQ(r.status, 0) << g << r.err;
        EXPECT_EQ(slurp(out), ref) << g;
        if (!r.err.empty()) {
            ++grabbed;
            EXPECT_EQ(r.err, "trazel-cli: the macro ended with Items on the cursor: they were put back where they were\n");
        }
    }
    EXPECT_GE(grabbed, 5); // GL, GE, GP, GC, GO and GI hold something there
}

// Whatever the macro text, a run with a small budget ends within seconds (seeded, so a failure repeats).
TEST(CliMacro, RandomMacrosEndWithinTheirBudget) {
    Scratch s;
    const char* tokens[] = {"Up", "Down", "Left", "Right", "j", "i", "o", "Enter", "Esc", "Space", "F11",
                            "F12", "<ZI>", "<ZO>", "<ZX>", "<GP>", "<GL>", "<GC>", "<UU>", "<UR>", "<SK>",
                            "<0.1>", "<LT=.01>", "\"1.0,1.0\"", "99999Up", "40640j", "7Tab", "<FW>", "<BQ>"};
    std::mt19937 rng(20261207);
    for (int run_no = 0; run_no < 200; ++run_no) {
        std::string keys;
        int n = 1 + static_cast<int>(rng() % 12);
        for (int i = 0; i < n; ++i) {
            keys += tokens[rng() % std::size(tokens)];
            keys += ' ';
        }
        auto t0 = std::chrono::steady_clock::now();
        Result r = run(s, "macro " + quote(kDemo) + " " + quote(s / "out.pcb") + " --keys '" + keys +
                              "' --field 'SetupKeyStrokeMacrosBox.Key Stroke F11=F12 F11' --max-ticks 50", 30);
        double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_TRUE(r.status == 0 || r.status == 1) << keys << " status " << r.status;
        EXPECT_LT(secs, 10.0) << keys;
    }
}
