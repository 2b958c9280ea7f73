// Our milling files read by hp2xx: every command but the tool changes and the drill hits is one it
// knows, so the count of commands it ignores is exactly theirs, and it draws a picture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cam/milling.h"
#include "edit/board_build.h"
#include "file_text.h"

namespace {

namespace fs = std::filesystem;
using trazel::model::Ref;
namespace model = trazel::model;
namespace cam = trazel::cam;

constexpr int32_t kIn = 65536;

using test_files::slurp;

// The TC and PP commands of a file.
int tool_and_drill_commands(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        n += line.rfind("TC", 0) == 0 || line.rfind("PP;", 0) == 0;
    }
    return n;
}

// hp2xx's count of ignored commands, -1 when it did not run or did not say.
int ignored_by_hp2xx(const fs::path& plt, const fs::path& png) {
    fs::path log = plt.string() + ".log";
    std::string cmd = "cd '" + plt.parent_path().string() + "' && timeout 60 hp2xx -m png -f '" + png.string() +
                      "' '" + plt.string() + "' </dev/null >'" + log.string() + "' 2>&1";
    if (std::system(cmd.c_str()) != 0) {
        return -1;
    }
    std::string out = slurp(log);
    const std::string key = "HPGL command(s) ignored:";
    size_t at = out.find(key);
    return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + key.size());
}

} // namespace

TEST(MillingHp2xx, DrillAndTopFilesRead) {
    if (std::system("command -v hp2xx >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "hp2xx is not installed";
    }
    fs::path dir = fs::path(edit_test::temp_path("x")).parent_path();
    model::Model m;
    model::Document* d = model::NewDocument((dir / "mill.pcb").string());
    ASSERT_NE(d, nullptr);
    edit_test::apply_board_setup();
    Ref ring = d->ring();
    // Holes of two sizes.
    for (int i = 0; i < 4; ++i) {
        Ref p = edit_test::make_pad(ring, 0, i * kIn / 2, 0, 3932, 3932, 1);
        model::node(p).pad.hole = static_cast<model::Length>(i % 2 ? 2000 : 2600);
    }
    auto arc = [](Ref into, model::Length w, int32_t x, int32_t y, int32_t r, model::Angle sweep) {
        Ref a = model::MakeItem(into, model::kArc, edit_test::kTop, w, x, y, r, 0);
        model::node(a).arc = model::ArcFields{x, y, r, sweep, 0, 0, 0};
    };
    // Two passes round a pad (a half circle closed by three Lines) and flood rows with a whole circle.
    for (int pass = 1; pass <= 2; ++pass) {
        Ref head = model::member_ring(model::make_component(ring, edit_test::kTop, 0, "$IS" + std::to_string(pass)));
        int32_t r = kIn / 10 * pass, low = kIn - kIn / 5;
        arc(head, 655, kIn, kIn, r, 32768);
        edit_test::make_track(head, edit_test::kTop, kIn - r, kIn, kIn - r, low, 655);
        edit_test::make_track(head, edit_test::kTop, kIn - r, low, kIn + r, low, 655);
        edit_test::make_track(head, edit_test::kTop, kIn + r, low, kIn + r, kIn, 655);
    }
    Ref fld = model::member_ring(model::make_component(ring, edit_test::kTop, 0, "$FLD"));
    for (int row = 0; row < 5; ++row) {
        edit_test::make_track(fld, edit_test::kTop, 0, kIn * 2 + row * 1000, 2 * kIn, kIn * 2 + row * 1000, 1311);
    }
    arc(fld, 1311, kIn, kIn * 3, kIn / 4, 0);

    cam::MillSettings s;
    s.prefix = (dir / "m-").string();
    s.rows[cam::kMillDrill].file = "drill.plt";
    s.rows[cam::kMillTop].file = "top.plt";
    s.rows[cam::kMillTop].layer = edit_test::kTop;
    s.rows[cam::kMillTop].mirror = true;
    ASSERT_TRUE(cam::write_mill_files(*d, s));
    for (const char* name : {"drill", "top"}) {
        SCOPED_TRACE(name);
        fs::path plt = dir / ("m-" + std::string(name) + ".plt");
        fs::path png = dir / (std::string(name) + ".png");
        std::string text = slurp(plt);
        int ours = tool_and_drill_commands(text);
        EXPECT_GE(ours, 2);
        EXPECT_EQ(ignored_by_hp2xx(plt, png), ours) << text;
        EXPECT_TRUE(fs::exists(png) && fs::file_size(png) > 0);
    }
    fs::remove_all(dir);
}
