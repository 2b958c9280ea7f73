// trazel-cli millout: the rows of the isolation output from a saved board, a failed file, usage errors.
#include "cli/cli_runner.h"
#include "edit/board_build.h"

using namespace cli_test;

namespace {

using trazel::model::Ref;
namespace model = trazel::model;

constexpr int32_t kIn = 65536;

// Two pads drilled, a pass on each copper side, a flood row on top.
void milled_board(const std::string& path) {
    edit_test::write_board(path, [](Ref ring) {
        edit_test::make_pad(ring, 0, kIn, kIn, 3932, 3932, 1); // 2000-unit holes: 31 thousandths
        edit_test::make_pad(ring, 0, 3 * kIn, kIn, 3932, 3932, 1);
        Ref top = model::make_component(ring, edit_test::kTop, 0, "$IS1");
        edit_test::make_track(model::member_ring(top), edit_test::kTop, kIn, 2 * kIn, 2 * kIn, 2 * kIn, 655);
        model::close_component(top);
        Ref fld = model::make_component(ring, edit_test::kTop, 0, "$FLD");
        edit_test::make_track(model::member_ring(fld), edit_test::kTop, 0, 0, 3 * kIn, 0, 1311);
        model::close_component(fld);
        Ref bottom = model::make_component(ring, edit_test::kBottom, 0, "$IS1");
        edit_test::make_track(model::member_ring(bottom), edit_test::kBottom, kIn, kIn / 2, 2 * kIn, kIn / 2, 655);
        model::close_component(bottom);
    });
}

} // namespace

TEST(CliMillout, WritesEachRow) {
    Scratch s;
    milled_board(s / "b.pcb");
    Result r = run(s, "millout " + quote(s / "b.pcb") + " --prefix " + quote(s / "m-") +
                          " --row drill=drill.plt --row top=top.plt:3 --row bottom=bot.plt:4:mirror");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, s / "m-drill.plt" + "\n" + s / "m-top.plt" + "\n" + s / "m-bot.plt" + "\n");
    EXPECT_EQ(slurp(s / "m-drill.plt"), "PU;\r\nTC31;\r\nPU1000,1000;\r\nPP;\r\nPU3000,1000;\r\nPP;\r\nPU0,0;\r\n");
    EXPECT_EQ(slurp(s / "m-top.plt"), "PU;\r\nTC10;\r\nPU1000,2000;\r\nPD2000,2000;\r\n"
                                      "PU;\r\nTC20;\r\nPU3000,0;\r\nPD0,0;\r\nPU0,0;\r\n");
    EXPECT_EQ(slurp(s / "m-bot.plt"), "PU;\r\nTC10;\r\nPU1000,-500;\r\nPD2000,-500;\r\nPU0,0;\r\n");
    // A file name with a colon of its own keeps it; only a trailing layer and "mirror" are taken off.
    r = run(s, "millout " + quote(s / "b.pcb") + " --row " + quote("top=" + s / "a:b.plt:3"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(s / "a:b.plt"), slurp(s / "m-top.plt"));
}

TEST(CliMillout, FailuresAndUsage) {
    Scratch s;
    milled_board(s / "b.pcb");
    const std::string in = quote(s / "b.pcb");
    Result r = run(s, "millout " + in + " --prefix " + quote(s / "none/") + " --row drill=d.plt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("Unable to create output file. \"" + s / "none/d.plt" + "\""), std::string::npos) << r.err;
    EXPECT_EQ(run(s, "millout " + quote(s / "missing.pcb") + " --row drill=d.plt").status, 1);
    for (const char* bad : {"", " --row side=x.plt", " --row top=x.plt:256", " --row top=x.plt:-1",
                            " --row route=x.plt", " --row top=:3", " --row drill=a --row drill=b", " --row",
                            " --bogus --row drill=a"}) {
        r = run(s, "millout " + in + bad);
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("usage: trazel-cli millout"), std::string::npos) << bad;
    }
    EXPECT_FALSE(fs::exists(s / "x.plt"));
}
