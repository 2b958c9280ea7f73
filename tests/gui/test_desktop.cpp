// Smoke tests of the desktop program under a virtual X server: it starts on the demo board and shows
// exactly what the batch tool renders, Space takes the menu bar away, "I" zooms, F then X exits, and a
// second start hands its file to the first.  Each test runs one shell script under xvfb-run.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

#ifdef TRAZEL_GUI_BIN
#define GUI_BIN TRAZEL_GUI_BIN
#else
#define GUI_BIN ""
#endif

namespace {

[[maybe_unused]] bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Desktop : public ::testing::Test {
  protected:
    void SetUp() override {
#ifndef TRAZEL_GUI_BIN
        GTEST_SKIP() << "the desktop program is not part of this build";
#else
        for (const char* t : {"xvfb-run", "xdotool", "import", "compare"}) {
            if (!have(t)) {
                GTEST_SKIP() << t << " is missing (make deps installs it)";
            }
        }
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / ("trazel-gui-" + std::string(info->name()) + "-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "cfg");
        if (std::string(info->name()).find("Popup") != std::string::npos) {
            std::ofstream(dir / "cfg" / "settings.txt") << "Popup Menus=Y\n";
        }
        if (std::string(info->name()).find("Preview") != std::string::npos) {
            std::ofstream(dir / "cfg" / "settings.txt") << "Open File Name Preview=Y\nExplorer File Open=Y\n";
        }
        if (std::string(info->name()).find("Macro") != std::string::npos) {
            std::ofstream(dir / "cfg" / "settings.txt") << "Key Stroke F1=<ZI> F1\n"; // restarts itself
        }
        fs::copy_file(std::string(TRAZEL_SOURCE_DIR) + "/share/examples/demo.pcb", dir / "demo.pcb");
        fs::copy_file(std::string(TRAZEL_SOURCE_DIR) + "/share/examples/demo.sch", dir / "demo.sch");
#endif
    }
    void TearDown() override {
        if (!dir.empty() && !::testing::Test::HasFailure()) {
            fs::remove_all(dir);
        }
    }

    // Runs `body` under a fresh virtual display with the program started on demo.pcb as $P and its
    // window as $W.  The drawing area takes the keyboard after a click (there is no window manager to
    // hand out the focus).  Returns the script's exit status; its output is in out.txt.
    int script(const std::string& body) {
#ifdef TRAZEL_GUI_BIN
        std::ofstream s(dir / "run.sh");
        s << "set -u\ncd '" << dir.string() << "'\n"
          << "export TRAZEL_CONFIG_DIR='" << (dir / "cfg").string() << "' TRAZEL_TRACE=1\n"
          << "'" << TRAZEL_GUI_BIN << "' demo.pcb >app.out 2>app.err &\nP=$!\n"
          // A window being mapped while xdotool looks at it can vanish from under the search: look again.
          << "W=\nfor try in 1 2 3; do\n"
          << "  W=$(timeout 20 xdotool search --sync --onlyvisible --name 'demo.pcb' 2>/dev/null | head -1)\n"
          << "  [ -n \"$W\" ] && xdotool getwindowname \"$W\" >/dev/null 2>&1 && break\n"
          << "  W=; sleep 1\ndone\n"
          << "[ -n \"$W\" ] || { echo 'no window'; kill $P; exit 3; }\n"
          << "sleep 1\n"
          << "focus() { xdotool mousemove --window $W 200 200 click 1; sleep 0.3; xdotool key Escape; sleep 0.3; }\n"
          << body << "\n";
        s.close();
        std::string cmd = "timeout 90 xvfb-run -a -s '-screen 0 1280x1024x24' bash '" + (dir / "run.sh").string() +
                          "' >'" + (dir / "out.txt").string() + "' 2>&1";
        int rc = std::system(cmd.c_str());
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
#else
        (void)body;
        return -1;
#endif
    }
    std::string out() {
        return slurp(dir / "out.txt");
    }
    std::string app_err() {
        return slurp(dir / "app.err");
    }
    // The last client size the program reported.
    std::pair<int, int> client() {
        std::string e = app_err();
        std::regex re("trace: client ([0-9]+)x([0-9]+)");
        std::pair<int, int> last{0, 0};
        for (auto it = std::sregex_iterator(e.begin(), e.end(), re); it != std::sregex_iterator(); ++it) {
            last = {std::stoi((*it)[1]), std::stoi((*it)[2])};
        }
        return last;
    }
    // The number a shell command in the test folder prints first; -1 when it cannot run.
    long number_from(const std::string& command) {
        FILE* p = ::popen(("cd '" + dir.string() + "' && " + command + " 2>&1").c_str(), "r");
        if (!p) {
            return -1;
        }
        char buf[128] = {};
        size_t n = std::fread(buf, 1, sizeof buf - 1, p);
        ::pclose(p);
        return n ? std::atol(buf) : -1;
    }
    // Pixels that differ between two pictures of the same size (ImageMagick's absolute error count).
    long differing(const std::string& a, const std::string& b) {
        return number_from("compare -metric AE " + a + " " + b + " null:");
    }
    // Pixels of exactly one colour ("#RRGGBB") in a picture.
    long pixels_of(const std::string& png, const std::string& colour) {
        return number_from("convert " + png + " -alpha off -fill black +opaque '" + colour + "' -fill white -opaque '" +
                           colour + "' -format '%[fx:round(mean*w*h)]' info:");
    }

    fs::path dir;
};

TEST_F(Desktop, StartsOnTheDemoBoardShowingWhatTheBatchToolRenders) {
    ASSERT_EQ(script("import -window $W win.png\n"
                     "xdotool getwindowgeometry $W | sed -n 's/.*Geometry: //p' > geometry.txt\n"
                     "kill $P; wait $P\nexit 0"),
              0)
        << out();
    auto [w, h] = client();
    ASSERT_GT(w, 0) << app_err();
    int window_h = 0, window_w = 0;
    ASSERT_EQ(std::sscanf(slurp(dir / "geometry.txt").c_str(), "%dx%d", &window_w, &window_h), 2);
    // The drawing area lies under the menu bar, above the 22 rows of the status bar.
    const int menu = window_h - h, drawing = h - 22;
    ASSERT_GE(menu, 0);
    std::string crop = "cd '" + dir.string() + "' && convert win.png -crop " + std::to_string(w) + "x" +
                       std::to_string(drawing) + "+0+" + std::to_string(menu) + " +repage theirs.png && '" + TRAZEL_CLI +
                       "' render demo.pcb ours.png --grid --size " + std::to_string(w) + "x" + std::to_string(drawing);
    ASSERT_EQ(std::system(crop.c_str()), 0);
    EXPECT_EQ(differing("ours.png", "theirs.png"), 0);
}

TEST_F(Desktop, SpaceTakesTheMenuBarAwayAndIZoomsIn) {
    ASSERT_EQ(script("focus\n"
                     "import -window $W before.png\n"
                     "xdotool key i; sleep 1\n"
                     "import -window $W zoomed.png\n"
                     "xdotool key space; sleep 1\n"
                     "xdotool key space; sleep 1\n"
                     "kill $P; wait $P\nexit 0"),
              0)
        << out();
    EXPECT_GT(differing("before.png", "zoomed.png"), 1000) << "the view did not change";
    // The client area grows by the menu bar's height when it goes, and shrinks back when it returns.
    std::string e = app_err();
    std::regex re("trace: client ([0-9]+)x([0-9]+)");
    std::vector<int> heights;
    for (auto it = std::sregex_iterator(e.begin(), e.end(), re); it != std::sregex_iterator(); ++it) {
        heights.push_back(std::stoi((*it)[2]));
    }
    ASSERT_GE(heights.size(), 3u) << e;
    int n = static_cast<int>(heights.size());
    EXPECT_GT(heights[n - 2], heights[n - 3]);
    EXPECT_EQ(heights[n - 1], heights[n - 3]);
}

TEST_F(Desktop, APopupMenuClickRunsItsCommandAndEscapeGivesTheCrossHairBack) {
    ASSERT_EQ(script("focus\n"
                     "xdotool key space; sleep 1\n"
                     "import -window $W before.png\n"
                     "xdotool click 1; sleep 1\n"
                     "xdotool key Escape; sleep 1\n"
                     "xdotool click 1; sleep 1\n"
                     "xdotool key z; sleep 0.5; xdotool key i; sleep 0.5\n"
                     "xdotool click 1; sleep 1\n"
                     "import -window $W zoomed.png\n"
                     "kill $P; wait $P\nexit 0"),
              0)
        << out();
    std::string e = app_err();
    std::regex opened("trace: popup at ");
    EXPECT_EQ(std::distance(std::sregex_iterator(e.begin(), e.end(), opened), std::sregex_iterator()), 2) << e;
    // Escaped or chosen, the cross-hair is back in TRAZEL mode afterwards, and the menu bar never came
    // back meanwhile (the popup's focus grab is no deactivation).
    std::regex closed("trace: popup closed, TRAZEL mode 1");
    EXPECT_EQ(std::distance(std::sregex_iterator(e.begin(), e.end(), closed), std::sregex_iterator()), 2) << e;
    std::regex sizes("trace: client [0-9]+x([0-9]+)");
    std::vector<int> heights;
    for (auto it = std::sregex_iterator(e.begin(), e.end(), sizes); it != std::sregex_iterator(); ++it) {
        heights.push_back(std::stoi((*it)[1]));
    }
    ASSERT_GE(heights.size(), 2u) << e;
    EXPECT_GT(heights.back(), heights.front()) << e; // the menu bar went with Space and stayed away
    EXPECT_EQ(std::count(heights.begin() + 1, heights.end(), heights.front()), 0) << e;
    // From the popup Zoom In asks for its central point: the click gives it.
    EXPECT_GT(differing("before.png", "zoomed.png"), 1000) << "Zoom In from the popup did not change the view";
}

TEST_F(Desktop, AHeldKeyStopsAMacroThatRestartsItself) {
    ASSERT_EQ(script("focus\n"
                     "xdotool key F1; sleep 1\n"
                     "xdotool keydown x; sleep 1\n"
                     "D=$(timeout 10 xdotool search --sync --onlyvisible --name \"^TRAZEL'98$\" | head -1)\n"
                     "xdotool keyup x\n"
                     "[ -n \"$D\" ] || { echo 'no question'; kill $P; exit 5; }\n"
                     "xdotool mousemove --window $D 5 5 click 1; sleep 0.3; xdotool key Escape; sleep 1\n"
                     "focus\n"
                     "xdotool key f; sleep 0.5; xdotool key x\n"
                     "for i in $(seq 50); do kill -0 $P 2>/dev/null || break; sleep 0.1; done\n"
                     "kill -0 $P 2>/dev/null && { echo 'still running'; kill $P; exit 4; }\n"
                     "wait $P; echo \"status $?\""),
              0)
        << out() << app_err();
    // The question came, Cancel ended the macro, and the program took keys again (F then X ended it).
    EXPECT_NE(app_err().find("trace: box \"TRAZEL'98\" closed with cancel"), std::string::npos) << app_err();
    EXPECT_NE(out().find("status 0"), std::string::npos) << out();
}

TEST_F(Desktop, FThenXExitsCleanly) {
    ASSERT_EQ(script("focus\n"
                     "xdotool key f; sleep 0.5; xdotool key x\n"
                     "for i in $(seq 50); do kill -0 $P 2>/dev/null || break; sleep 0.1; done\n"
                     "kill -0 $P 2>/dev/null && { echo 'still running'; kill $P; exit 4; }\n"
                     "wait $P; echo \"status $?\""),
              0)
        << out();
    EXPECT_NE(out().find("status 0"), std::string::npos) << out();
}

TEST_F(Desktop, ASecondStartHandsItsFileToTheFirst) {
    ASSERT_EQ(script("timeout 20 '" GUI_BIN "' demo.sch >second.out 2>&1; echo \"second $?\"\n"
                     "N=$(timeout 10 xdotool search --sync --onlyvisible --name 'demo.sch' | head -1)\n"
                     "[ -n \"$N\" ] && echo 'first shows demo.sch'\n"
                     "kill $P; wait $P\nexit 0"),
              0)
        << out();
    EXPECT_NE(out().find("second 0"), std::string::npos) << out();
    EXPECT_NE(out().find("first shows demo.sch"), std::string::npos) << out() << app_err();
}

// Moved, and grown on its left and top edges, the window shows the board where it was on the screen,
// and the strips it uncovered are drawn.
TEST_F(Desktop, GrowingOnTheLeftAndTopEdgesKeepsTheDrawingStillOnTheScreen) {
    ASSERT_EQ(script("xdotool windowmove $W 200 150; sleep 1\n"
                     "shot() { import -window root -crop $1 +repage $2; }\n"
                     "shot 300x200+350+300 before.png\n"
                     "xdotool windowmove $W 230 170; sleep 1\n"
                     "shot 300x200+350+300 moved.png\n"
                     "xdotool windowmove $W 100 90; xdotool windowsize $W 1124 828; sleep 1\n"
                     "shot 300x200+350+300 grown.png\n"
                     "shot 100x200+110+300 strip.png\n"
                     "convert strip.png -fill black -colorize 100 black.png\n"
                     "kill $P; wait $P\nexit 0"),
              0)
        << out();
    EXPECT_EQ(differing("before.png", "moved.png"), 0);
    EXPECT_EQ(differing("before.png", "grown.png"), 0);
    EXPECT_GT(differing("strip.png", "black.png"), 100 * 200 * 9 / 10) << "the uncovered strip is not drawn";
}

// SL is a form of 1281 fields: it opens scrolling, the first field takes the keyboard, and Tab walks the
// fields five to a layer, so the 23rd is layer 4's colour.  The top side's tracks turn from red to cyan.
TEST_F(Desktop, ALayerColourChangedInTheLayersFormShowsWhereTheLayersItemsAre) {
    ASSERT_EQ(script("focus\n"
                     "import -window $W before.png\n"
                     "xdotool key s; sleep 0.5; xdotool key l\n"
                     "for i in $(seq 200); do\n"
                     "  grep -q 'form \"SetupLayersBox\" shown' app.err && break; sleep 0.1\n"
                     "done\n"
                     "D=$(timeout 10 xdotool search --sync --onlyvisible --name '^Layers$' | head -1)\n"
                     "[ -n \"$D\" ] || { echo 'no form'; kill $P; exit 5; }\n"
                     "xdotool windowfocus --sync $D; sleep 0.3\n"
                     "xdotool key --delay 20 $(printf 'Tab %.0s' $(seq 23)); sleep 0.3\n"
                     "xdotool key ctrl+a; xdotool type 00FFFF; sleep 0.3\n"
                     "xdotool key Return; sleep 1.5\n"
                     "import -window $W after.png\n"
                     "kill $P; wait $P\nexit 0"),
              0)
        << out() << app_err();
    std::smatch m;
    std::string e = app_err();
    const std::regex built("form \"SetupLayersBox\" of 1281 fields built in [0-9]+ ms, scrolling");
    ASSERT_TRUE(std::regex_search(e, m, built)) << e;
    if (std::regex_search(e, m, std::regex("form \"SetupLayersBox\" shown in ([0-9]+) ms"))) {
        RecordProperty("layers_form_ms", m[1].str());
    }
    const long red = pixels_of("before.png", "#FF0000");
    ASSERT_GT(red, 500) << "the demo board shows no top-side tracks";
    EXPECT_EQ(pixels_of("before.png", "#00FFFF"), 0);
    EXPECT_GT(pixels_of("after.png", "#00FFFF"), red / 2) << e;
    EXPECT_LT(pixels_of("after.png", "#FF0000"), red / 10);
}

// With "Open File Name Preview" on, the open dialog draws the file selected in it: nothing for the files
// before the board in the list, the board in its colours.
TEST_F(Desktop, TheOpenDialogPreviewsTheSelectedBoard) {
    ASSERT_EQ(script("focus\n"
                     "xdotool key f; sleep 0.5; xdotool key o\n"
                     "D=$(timeout 10 xdotool search --sync --onlyvisible --name '^Select File to be Opened$')\n"
                     "D=$(echo \"$D\" | head -1)\n"
                     "[ -n \"$D\" ] || { echo 'no dialog'; kill $P; exit 5; }\n"
                     "sleep 1; xdotool windowfocus --sync $D; sleep 0.3; xdotool key Home; sleep 0.3\n"
                     "for i in $(seq 10); do\n"
                     "  grep -q 'preview of \".*/demo.pcb\" drawn' app.err && break; xdotool key Down; sleep 0.5\n"
                     "done\n"
                     "import -window $D dialog.png\n"
                     "xdotool key Escape; sleep 0.5\n"
                     "kill $P; wait $P\nexit 0"),
              0)
        << out() << app_err();
    std::string e = app_err();
    EXPECT_NE(e.find("trace: preview of \"" + (dir / "demo.pcb").string() + "\" drawn"), std::string::npos) << e;
    EXPECT_NE(e.find("trace: preview of \"" + (dir / "app.err").string() + "\" empty"), std::string::npos) << e;
    EXPECT_GT(pixels_of("dialog.png", "#FF0000"), 50) << "the board's red tracks are not in the dialog";
}

} // namespace
