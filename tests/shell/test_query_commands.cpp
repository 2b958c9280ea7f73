// The Query group through the headless shell: the boxes open as tool windows of the platform and follow
// the cursor, the quick query of Alt-Q closes itself, QR rafts, the view and zoom windows draw, and a
// monitor switch closes them all.
#include <gtest/gtest.h>

#include <string>

#include "display/view.h"
#include "edit/commands.h"
#include "edit/query.h"
#include "edit/status.h"
#include "shell/commands.h"
#include "shell/macro_session.h"
#include "shell/modes.h"
#include "shell/settings.h"
#include "shell/surfaces.h"

namespace query_commands {
namespace {

using namespace shell_test;
using edit_test::kTop;
using edit_test::kTopSilk;
using shell::code;

struct QueryCommands : MacroSession {
    void SetUp() override {
        start({{"query.pcb",
                [](Ref ring) {
                    Ref t = edit_test::make_track(ring, kTop, 0, 0, kInch, 0, 800);
                    model::AttachSignal(t, "VCC");
                    Ref a = model::MakeItem(ring, model::kArc, kTop, 655, 2 * kInch, 0, kInch / 4, 0);
                    node(a).arc.start = 0;
                    node(a).arc.sweep = 0;
                    edit_test::make_pad(ring, 0, kInch, kInch, 4588, 4588, 1);
                    edit_test::make_text(ring, kTopSilk, 0, kInch, 3932, "R1");
                }}},
              0);
    }
    void before_start() override {
        run->window.screens = {{"One", {0, 0, 767, 1023}}, {"Two", {0, 1024, 767, 2047}}};
    }
    int key(char l) {
        return shell::execute_command(app(), code('Q', l), shell::kSourceKey);
    }
    std::string field(const char* box, const char* id) {
        const platform::Form* f = ui().tool_window(box);
        return f ? f->get(id) : std::string("(closed)");
    }
    bool open(const char* box) {
        return ui().tool_window(box) != nullptr;
    }
};

TEST_F(QueryCommands, BoxesFollowTheCursorAndEmptyOverNothing) {
    const int layer = app().doc()->setup.current_layer;
    at(0.5, 0);
    ASSERT_EQ(key('L'), 1);
    EXPECT_EQ(field("QueryLineBox", "signal"), "VCC");
    EXPECT_EQ(field("QueryLineBox", "layer"), "Top Side");
    EXPECT_EQ(field("QueryLineBox", "width"), "0.0122");
    ASSERT_EQ(key('A'), 1);
    EXPECT_EQ(field("QueryArcBox", "sweep"), ""); // no arc here
    EXPECT_EQ(key('P'), 1);
    EXPECT_EQ(key('T'), 1);
    EXPECT_EQ(key('C'), 1);
    EXPECT_EQ(key('I'), 1);
    EXPECT_EQ(ui().tool_windows.size(), 6u);

    at(2.25, 0); // on the circle
    EXPECT_EQ(field("QueryArcBox", "sweep"), "360.00");
    EXPECT_EQ(field("QueryArcBox", "radius"), "0.2500");
    EXPECT_EQ(field("QueryLineBox", "signal"), "");
    at(1, 1);
    EXPECT_EQ(field("QueryPadBox", "type"), "Oval THD");
    EXPECT_EQ(field("QueryPadBox", "pin"), "[NONE]");
    EXPECT_EQ(field("QueryArcBox", "sweep"), "");
    at(0.5, 0.5); // nothing here
    for (const platform::Form& f : ui().tool_windows) {
        for (const platform::Field& x : f.fields) {
            EXPECT_EQ(x.value, "") << f.name << "." << x.id;
        }
    }
    // A box the user closed stays closed when the cursor moves.
    ui().close_tool_window("QueryLineBox");
    at(0.5, 0);
    EXPECT_FALSE(open("QueryLineBox"));
    // Reading never changes the board's current layer.
    EXPECT_EQ(app().doc()->setup.current_layer, layer);
}

TEST_F(QueryCommands, APendingGrabIsDroppedFirstAndThatIsAll) {
    at(0.5, 0);
    ASSERT_EQ(shell::execute_command(app(), code('G', 'L'), shell::kSourceKey), 1);
    ASSERT_TRUE(edit::grab_pending(app()));
    EXPECT_EQ(key('L'), 1);
    EXPECT_FALSE(edit::grab_pending(app()));
    EXPECT_FALSE(open("QueryLineBox"));
    EXPECT_EQ(key('L'), 1);
    EXPECT_TRUE(open("QueryLineBox"));
}

TEST_F(QueryCommands, AWindowsModeMoveRefreshesTwoTicksLater) {
    ASSERT_FALSE(app().shell.trazel_mode);
    at(0.5, 0.5);
    ASSERT_EQ(key('L'), 1);
    ASSERT_EQ(field("QueryLineBox", "signal"), "");
    const display::View& v = app().display.view;
    int col = display::to_screen_x(v, kInch / 2), row = display::to_screen_y(v, 0);
    run->move(col, row);
    run->tick(1);
    EXPECT_EQ(field("QueryLineBox", "signal"), "");
    run->tick(1);
    EXPECT_EQ(field("QueryLineBox", "signal"), "VCC");
}

TEST_F(QueryCommands, QuickQueryOpensTheBoxOfWhatIsUnderTheCursorAndClosesItAfterwards) {
    at(1, 1);
    ASSERT_EQ(shell::execute_command(app(), code('Q', '\0'), shell::kSourceKey), 1);
    ASSERT_TRUE(open("QueryPadBox"));
    EXPECT_EQ(ui().tool_windows.size(), 1u);
    run->tick(20);
    EXPECT_TRUE(open("QueryPadBox")); // still over the pad
    at(1.5, 1.5);
    run->tick(20);
    EXPECT_FALSE(open("QueryPadBox"));

    // A box opened by name is no quick box: it stays.
    at(0.5, 0);
    ASSERT_EQ(shell::execute_command(app(), code('Q', '\0'), shell::kSourceKey), 1);
    ASSERT_TRUE(open("QueryLineBox"));
    ASSERT_EQ(key('L'), 1);
    at(1.5, 1.5);
    run->tick(20);
    EXPECT_TRUE(open("QueryLineBox"));

    // Over nothing: a beep and the request for an Item.
    size_t sounds = ui().sounds.size();
    EXPECT_EQ(shell::execute_command(app(), code('Q', '\0'), shell::kSourceKey), 0);
    EXPECT_GT(ui().sounds.size(), sounds);
    EXPECT_EQ(app().shell.status.text, shell::message_text(app(), edit::kMsgQuery));
}

TEST_F(QueryCommands, QuickQueryStaysWhileThePointerRestsOnIt) {
    at(1, 1);
    ASSERT_EQ(shell::execute_command(app(), code('Q', '\0'), shell::kSourceKey), 1);
    shell::tool_window_pointer(app(), true);
    EXPECT_EQ(app().shell.suspended, 2);
    at(1.5, 1.5);
    run->tick(20);
    EXPECT_TRUE(open("QueryPadBox"));
    shell::tool_window_pointer(app(), false);
    EXPECT_EQ(app().shell.suspended, 0);
    run->tick(20);
    EXPECT_FALSE(open("QueryPadBox"));
    // A modal suspension is not the pointer's to end.
    app().shell.suspended = 1;
    shell::tool_window_pointer(app(), false);
    shell::tool_window_pointer(app(), true);
    EXPECT_EQ(app().shell.suspended, 1);
    app().shell.suspended = 0;
}

TEST_F(QueryCommands, QueryRaftSwitchesTheOptionAndKeepsIt) {
    ASSERT_TRUE(app().shell.options.query_raft_boxes);
    ASSERT_EQ(key('L'), 1);
    EXPECT_TRUE(ui().tool_raft);
    ASSERT_EQ(key('R'), 1);
    EXPECT_FALSE(app().shell.options.query_raft_boxes);
    EXPECT_FALSE(ui().tool_raft);
    EXPECT_EQ(shell::read_setting(app(), "Query Raft Boxes"), "N");
    EXPECT_EQ(app().shell.status.text, shell::message_text(app(), edit::kMsgQueryRaftOff));
    ASSERT_EQ(key('R'), 1);
    EXPECT_TRUE(app().shell.options.query_raft_boxes);
    EXPECT_TRUE(ui().tool_raft);
    EXPECT_EQ(shell::read_setting(app(), "Query Raft Boxes"), "Y");
}

TEST_F(QueryCommands, ViewAndZoomWindowsDrawAndTheZoomFollowsTheCursor) {
    at(0.5, 0);
    ASSERT_EQ(key('V'), 1);
    ASSERT_EQ(key('Z'), 1);
    const platform::Form* view = ui().tool_window("ViewBox");
    ASSERT_NE(view, nullptr);
    const platform::Field* pic = view->field("picture");
    ASSERT_NE(pic, nullptr);
    EXPECT_EQ(pic->width, edit::kViewPictureWidth);
    EXPECT_EQ(pic->rgb.size(), static_cast<size_t>(pic->width * pic->height * 3));
    EXPECT_EQ(field("ZoomBox", "x"), "0.5000");
    at(1, 1);
    run->tick(1); // pictures are drawn on the tick, not on every move
    EXPECT_EQ(field("ZoomBox", "x"), "1.0000");
    EXPECT_EQ(field("ZoomBox", "y"), "1.0000");
    // A redraw of the main window redraws the view window on the next tick.
    int updates = ui().tool_updates;
    shell::execute_command(app(), code('Z', 'R'), shell::kSourceKey);
    run->tick(1);
    EXPECT_GT(ui().tool_updates, updates);
}

TEST_F(QueryCommands, AMonitorSwitchClosesEveryToolWindow) {
    ASSERT_EQ(app().shell.monitor_count, 2);
    ASSERT_EQ(key('L'), 1);
    ASSERT_EQ(key('C'), 1);
    ASSERT_EQ(key('V'), 1);
    ASSERT_EQ(key('Z'), 1);
    ASSERT_EQ(ui().tool_windows.size(), 4u);
    ASSERT_EQ(shell::switch_monitor(app(), 1), 1);
    EXPECT_TRUE(ui().tool_windows.empty());
    // They open again on the new screen.
    ASSERT_EQ(key('L'), 1);
    EXPECT_TRUE(open("QueryLineBox"));
}

} // namespace
} // namespace query_commands
