// The Nets group through the shell: NS with its status messages, a key during a long trace answered
// with Cancel, NL twice, one undo after NR, NH, NN and NC, N+ stepping to the net with a problem, and
// NG writing the log and showing it as a Document.
#include <fstream>
#include <sstream>

#include "edit/board_build.h"
#include "nets/ratnest.h"
#include "shell/macro_session.h"

namespace net_commands {
namespace {

using namespace shell_test;
using edit_test::kBottom;
using edit_test::kTop;

// Net A: pads at (1,1) and (2,1) joined by a track; net B: pads at (1,2), (2,2) and (3,2), none joined.
void two_nets(Ref ring) {
    auto pad = [&](double x, double y, const char* sig) {
        Ref p = edit_test::make_pad(ring, 0, in(x), in(y), 3932, 3932, 1);
        node(p).pad.hole = 2294;
        model::AttachSignal(p, sig);
    };
    pad(1, 1, "A");
    pad(2, 1, "A");
    pad(1, 2, "B");
    pad(2, 2, "B");
    pad(3, 2, "B");
    model::AttachSignal(edit_test::make_track(ring, kTop, in(1), in(1), in(2), in(1), 800), "A");
}

int ratnest_lines(const model::Document& d) {
    int n = 0;
    for (Ref r : model::items_in(d.ring())) {
        n += node(r).item_kind() == model::kLine && node(r).layer == nets::kRatnestLayer ? 1 : 0;
    }
    return n;
}

int marked(const model::Document& d) {
    int n = 0;
    model::walk_tree(d.ring(), [&](Ref r, int) { n += node(r).marked() ? 1 : 0; });
    return n;
}

class NetCommands : public MacroSession {};

TEST_F(NetCommands, ScanShowsWhatIsWrongAndClearForgetsIt) {
    start({{"nets.pcb", two_nets}}, 0u, "Enter <LY=3>");
    // A is routed and clean: nothing to say, the net stays highlighted.
    play("\"1.5,1\" Enter <NS>");
    EXPECT_EQ(marked(doc()), 3);
    EXPECT_EQ(ratnest_lines(doc()), 0);
    // B has three pads and no copper: two Ratnest lines and the message.
    play("\"1,2\" Enter <NS>");
    EXPECT_EQ(status(), "Signal <B> is not completely routed.");
    EXPECT_EQ(ratnest_lines(doc()), 2);
    play("<NC>");
    EXPECT_EQ(marked(doc()), 0);
    // The scan's lines are one undo group.
    play("<UU>");
    EXPECT_EQ(ratnest_lines(doc()), 0);
}

TEST_F(NetCommands, RatLineTwiceAndOneUndoAfterTheRatnest) {
    start({{"nets.pcb", two_nets}}, 0u, "Enter");
    play("\"3,2\" Enter <NL>");
    EXPECT_EQ(ratnest_lines(doc()), 2);
    play("<NL>");
    EXPECT_EQ(ratnest_lines(doc()), 0) << "the second NL removes what the first built";
    play("<NR>");
    EXPECT_EQ(ratnest_lines(doc()), 2) << "A is tracked and gets none";
    play("<NR>");
    EXPECT_EQ(ratnest_lines(doc()), 2) << "NR replaces the lines";
    play("<UU>");
    EXPECT_EQ(ratnest_lines(doc()), 2) << "one undo takes back the second NR whole";
    play("<NU>");
    EXPECT_EQ(ratnest_lines(doc()), 0);
    // NL off every pad only beeps.
    size_t beeps = sounds(platform::Sound::Beep);
    play("\"5,5\" Enter <NL>");
    EXPECT_EQ(sounds(platform::Sound::Beep), beeps + 1);
}

TEST_F(NetCommands, HighlightNameAndStep) {
    start({{"nets.pcb", two_nets}}, 0u, "Enter");
    play("\"2,1\" Enter <NH>");
    EXPECT_EQ(marked(doc()), 3) << "the pad's Signal: both pads and the track";
    ui().dialog_answers["NameNetBox"].push_back({true, {{"name", "VCC"}}});
    play("<NN>");
    EXPECT_EQ(model::signal_name(model::item_signal(model::first_item(doc().ring()))), "VCC");
    play("<NC>");
    // With nothing marked NN beeps and asks nothing.
    size_t dialogs = ui().dialogs.size();
    play("<NN>");
    EXPECT_EQ(ui().dialogs.size(), dialogs);
    // N+ from the start of the list: B (VCC has no problem) is the first with something to say.
    play("<N+>");
    EXPECT_EQ(status(), "Signal <B> is not completely routed.");
    // NM has nothing to show.
    play("<NM>");
    EXPECT_NE(status().find("Net image"), std::string::npos);
}

TEST_F(NetCommands, AKeyDuringALongTraceAndCancelStopsIt) {
    start({{"long.pcb",
            [](Ref ring) {
                Ref p = edit_test::make_pad(ring, 0, 0, 0, 3932, 3932, 1);
                node(p).pad.hole = 2294;
                model::AttachSignal(p, "LONG");
                for (int i = 0; i < 600; ++i) {
                    edit_test::make_track(ring, kBottom, i * 2000, 0, (i + 1) * 2000, 0, 800);
                }
            }}},
          0u, "Enter");
    int asked = 0;
    ui().input_script = [] {
        platform::WaitingInput w;
        w.key_scan = 1;
        return w;
    };
    ui().answers.push_back(platform::Answer::Cancel);
    play("\"0,0\" Enter <NS>");
    for (const auto& b : ui().boxes) {
        asked += b.title == "Net Scan Interruption" ? 1 : 0;
    }
    EXPECT_EQ(asked, 1);
    int n = marked(doc());
    EXPECT_GT(n, 100) << "what was reached stays highlighted";
    EXPECT_LT(n, 601);
    ui().input_script = nullptr;
}

TEST_F(NetCommands, LoggedScanWritesTheLogAndShowsIt) {
    start({{"nets.pcb", two_nets}}, 0u, "Enter <NG>");
    std::ifstream f(doc().name() + ".LOG", std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    std::string log = ss.str();
    EXPECT_NE(log.find("2 nets scanned, 2 errors detected."), std::string::npos) << log;
    EXPECT_EQ(status(), "2 nets scanned, 2 errors detected.");
    // "Display Logs": the log is a Document of its own, one Text per line, shown in the view window.
    model::Document* shown = model::FindDocument(doc().name() + ".LOG");
    ASSERT_NE(shown, nullptr);
    EXPECT_NE(shown, &doc()) << "the board stays current";
    int texts = 0;
    for (Ref r : model::items_in(shown->ring())) {
        texts += node(r).item_kind() == model::kText ? 1 : 0;
    }
    EXPECT_GT(texts, 8);
    EXPECT_TRUE(ui().tool_window_open("ViewBox"));
}

} // namespace
} // namespace net_commands
