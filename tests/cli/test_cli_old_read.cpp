// trazel-cli on the older data files: info names their format and convert makes Data files of them.
#include "cli/cli_runner.h"

using namespace cli_test;

TEST(CliOldRead, InfoAndConvertToDataFile) {
    Scratch s;
    struct Case {
        const char* file;
        const char* format;
    };
    const Case cases[] = {
        {"v3_board", "3 (TRAZEL version 3 data file)"},
        {"v24_board", "2 (TRAZEL version 2 data file)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string in = source("tests/data/old/" + std::string(c.file) + ".pcb");
        Result r = run(s, "info " + quote(in));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find(c.format), std::string::npos) << r.out;
        std::string out = s / (std::string(c.file) + ".out");
        r = run(s, "convert " + quote(in) + " " + quote(out) + " --format C");
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(slurp(out), slurp(source("tests/data/old/" + std::string(c.file) + ".expected")));
    }
}
