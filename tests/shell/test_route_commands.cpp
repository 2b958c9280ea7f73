// NA through the shell: the "AutoRouteBox" fields and Cancel, OK storing the settings, the run on its own
// thread with its log, a thread that cannot be made, commands refused while the run works, Escape, and a
// close or the exit while it works.  A test holds the run before the engine through the routing seam, so
// nothing here depends on what the engine does -- except EngineRoutesTheStraightLine, which needs it.
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#include "edit/board_build.h"
#include "nets/ratnest.h"
#include "router/commands.h"
#include "router/router.h"
#include "shell/macro_session.h"
#include "shell/modes.h"

namespace route_commands {
namespace {

using namespace shell_test;
using edit_test::kBottom;
using edit_test::kTop;

// Two through-hole pads of Signal A at (1,1) and (2,1), and the Ratnest line between them.
void one_line(Ref ring) {
    for (double x : {1.0, 2.0}) {
        Ref p = edit_test::make_pad(ring, 0, in(x), in(1), 3932, 3932, 1);
        node(p).pad.hole = 2294;
        model::AttachSignal(p, "A");
    }
    model::AttachSignal(edit_test::make_track(ring, nets::kRatnestLayer, in(1), in(1), in(2), in(1), 721), "A");
}

// A length as the dialog reads it: inches to the nearest unit.
Coord rounded(double inches) {
    return static_cast<Coord>(std::lround(inches * kInch));
}

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class RouteCommands : public HeldRunSession {
  protected:
    // The next run waits before the engine until released or cancelled.
    void hold_runs() {
        router::route_seams(app()).before_run = hold();
    }
    bool tick_until_done() {
        return tick_while([this] { return router::route_running(app()); });
    }
    void answer(bool ok, std::map<std::string, std::string> values = {}) {
        ui().dialog_answers["AutoRouteBox"].push_back({ok, std::move(values)});
    }
    std::string log_name() {
        return doc().name() + ".LOG";
    }
};

TEST_F(RouteCommands, DialogListsFlagsSizesAndLayersAndCancelChangesNothing) {
    start({{"route.pcb", one_line}}, 0u);
    doc().setup.router_algorithms = router::kStraight | router::kLRoutes;
    std::string before = file();
    answer(false, {{"clear", "1"}, {"line", "0.05"}, {"layer3", "0"}});
    run->menu(shell::code('N', 'A'));
    ASSERT_FALSE(ui().dialogs.empty());
    const platform::Form& f = ui().dialogs.back();
    EXPECT_EQ(f.name, "AutoRouteBox");
    const char* labels[] = {"Clear all pre-routes", "Straight routes", "Data-bus routes", "In-line routes",
                            "\"L\" routes",         "\"Z\" routes",     "\"C\" routes",     "Snake routes"};
    ASSERT_GE(f.fields.size(), 14u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(f.fields[static_cast<size_t>(i)].label, labels[i]);
        EXPECT_EQ(f.fields[static_cast<size_t>(i)].kind, platform::Field::Kind::Check);
    }
    // The form as shown holds the answers; the fields they left alone show the Setup.
    EXPECT_EQ(f.get("straight"), "1");
    EXPECT_EQ(f.get("L"), "1");
    EXPECT_EQ(f.get("bus"), "0");
    for (const char* id : {"line", "via_pad", "via_hole", "line_line", "line_pad", "pad_pad"}) {
        EXPECT_NE(f.field(id), nullptr) << id;
    }
    // Each layer in use: number, name, direction letter and colour, its direction a choice of four.
    const platform::Field* top = f.field("layer3");
    const platform::Field* bottom = f.field("layer4");
    ASSERT_NE(top, nullptr);
    ASSERT_NE(bottom, nullptr);
    EXPECT_EQ(top->label, "  3  Top Side         X  FF0000");
    EXPECT_EQ(bottom->label, "  4  Bottom Side      Y  0000FF");
    EXPECT_EQ(bottom->value, "2");
    EXPECT_EQ(top->options, (std::vector<std::string>{"[NONE]", "X-Axis (horizontal)", "Y-Axis (vertical)",
                                                      "Either-Axis (both)"}));
    EXPECT_EQ(f.field("layer2"), nullptr) << "a slot not in use is not listed";
    // Cancel: nothing stored, no run, no log.
    EXPECT_FALSE(router::route_running(app()));
    EXPECT_EQ(file(), before);
    EXPECT_FALSE(std::filesystem::exists(log_name()));
}

TEST_F(RouteCommands, OkStoresTheSettingsAndAMacroWaitsForTheRun) {
    start({{"route.pcb", one_line}}, 0u);
    answer(true, {{"clear", "0"},
                  {"straight", "1"},
                  {"bus", "0"},
                  {"inline", "1"},
                  {"L", "0"},
                  {"snake", "1"},
                  {"line", "0.02"},
                  {"via_pad", "0.06"},
                  {"via_hole", "0.03"},
                  {"line_line", "0.01"},
                  {"line_pad", "0.011"},
                  {"pad_pad", "0.012"},
                  {"layer3", "3"},
                  {"layer4", "0"}});
    shell::enter_trazel_mode(app());
    play("<NA>");
    EXPECT_FALSE(router::route_running(app())) << "the keys after NA in a macro see the finished run";
    const model::Setup& s = doc().setup;
    EXPECT_EQ(s.router_algorithms, uint32_t{router::kStraight | router::kInline | router::kSnake});
    EXPECT_EQ(s.line_width, rounded(0.02));
    EXPECT_EQ(s.via_diameter, rounded(0.06));
    EXPECT_EQ(s.via_hole, rounded(0.03));
    EXPECT_EQ(s.clear_line_line, rounded(0.01));
    EXPECT_EQ(s.clear_line_pad, rounded(0.011));
    EXPECT_EQ(s.clear_pad_pad, rounded(0.012));
    EXPECT_EQ(router::layer_direction(s, kTop), router::kEitherAxis);
    EXPECT_EQ(router::layer_direction(s, kBottom), router::kNoDirection);
    EXPECT_EQ(s.layers[kTop].kind(), 2) << "only bits 4-5 change";
    EXPECT_FALSE(app().shell.trazel_mode) << "the run returns the window to Windows mode";
    // The log: its title line, closed at the end of the run, and shown as a Document.
    std::string log = read_file(log_name());
    EXPECT_EQ(log.rfind("AUTOROUTER STATISTICS LOG", 0), 0u) << log;
    EXPECT_NE(model::FindDocument(log_name()), nullptr);
    EXPECT_FALSE(router::last_route(app()).cancel_asked);
}

TEST_F(RouteCommands, EveryPassThenOneUndoGivesTheFileBack) {
    // A generated board with its Ratnest, routed through NA with every pass in a macro, then U U.
    start({{"gen.pcb",
            [](Ref ring) {
                edit_test::generate_board(ring, 5, 12);
            }}},
          0u);
    router::set_layer_direction(doc().setup, kTop, router::kXAxis);
    router::set_layer_direction(doc().setup, kBottom, router::kYAxis);
    doc().setup.router_algorithms = 0xFF;
    nets::prepare_ratnest_layer(doc().setup); // settings, which undo (of Items) does not take back
    std::string before = file();
    answer(true, {{"clear", "1"}, {"straight", "1"}, {"bus", "1"}, {"inline", "1"},
                  {"L", "1"},     {"Z", "1"},        {"C", "1"},   {"snake", "1"}});
    shell::enter_trazel_mode(app());
    play("<NA>");
    ASSERT_FALSE(router::route_running(app()));
    std::string routed = file();
    EXPECT_NE(routed, before);
    std::string log = read_file(log_name());
    EXPECT_NE(log.find("Maze (snake) routes:"), std::string::npos) << log;
    EXPECT_NE(log.find("Totals:"), std::string::npos) << log;
    play("<UU>");
    EXPECT_EQ(file(), before) << "one undo takes the whole run back";
}

TEST_F(RouteCommands, AThreadThatCannotBeMadeLeavesTheDocumentAlone) {
    start({{"route.pcb", one_line}}, 0u);
    std::string before = file();
    bool model_modified = doc().modified();
    router::route_seams(app()).spawn = [](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    };
    answer(true, {{"Z", "1"}, {"line", "0.05"}, {"layer3", "2"}});
    run->menu(shell::code('N', 'A'));
    ASSERT_FALSE(ui().boxes.empty());
    EXPECT_EQ(ui().boxes.back().title, "TRAZEL'98 Routing Error");
    EXPECT_EQ(ui().boxes.back().text, "Unable to create multi-tasking thread for plotting.");
    EXPECT_FALSE(router::route_running(app()));
    EXPECT_EQ(file(), before) << "the settings from the dialog are not kept";
    EXPECT_EQ(doc().modified(), model_modified);
    EXPECT_FALSE(std::filesystem::exists(log_name())) << "the opened log is thrown away";
}

TEST_F(RouteCommands, WhileRunningChangesAreRefusedTheViewIsNotAndEscapeStops) {
    start({{"route.pcb", one_line}}, 0u);
    hold_runs();
    answer(true);
    run->menu(shell::code('N', 'A'));
    ASSERT_TRUE(router::route_running(app()));
    wait_until_held();
    std::string before = file();
    // Commands that change a Document: the error sound and the message, and nothing else.
    for (uint16_t c : {shell::code('U', 'U'), shell::code('U', 'E'), shell::code('N', 'R'), shell::code('N', 'A'),
                       shell::code('F', 'S')}) {
        size_t errors = sounds(platform::Sound::Error);
        run->menu(c);
        EXPECT_EQ(sounds(platform::Sound::Error), errors + 1) << std::hex << c;
        EXPECT_EQ(status(), "Auto-route:  the router is working; press Escape to stop it.");
    }
    // So is a key that changes the Document through an editor hook (R with a block).
    int rotations = 0;
    app().shell.edit.block_active = [](App&) { return true; };
    app().shell.services.hooks.rotate_block = [&rotations](App&) { return ++rotations; };
    size_t before_key = sounds(platform::Sound::Error);
    run->key_down(0x13);
    run->key_up(0x13);
    EXPECT_EQ(rotations, 0);
    EXPECT_EQ(sounds(platform::Sound::Error), before_key + 1);
    app().shell.edit.block_active = nullptr;
    EXPECT_EQ(file(), before);
    EXPECT_EQ(ui().dialogs.size(), 1u) << "a second NA shows no dialog";
    // The view is not a change.
    size_t errors = sounds(platform::Sound::Error);
    run->menu(shell::code('Z', 'R'));
    EXPECT_EQ(sounds(platform::Sound::Error), errors);
    // Escape asks the run to stop; the heartbeat ends it.
    run->key_down(0x01);
    run->key_up(0x01);
    EXPECT_EQ(status(), "Auto-route:  stopping after the current connection.");
    ASSERT_TRUE(tick_until_done());
    EXPECT_TRUE(router::last_route(app()).cancel_asked);
    // Once it ended the same commands run again.
    errors = sounds(platform::Sound::Error);
    run->menu(shell::code('N', 'R'));
    EXPECT_EQ(sounds(platform::Sound::Error), errors);
}

TEST_F(RouteCommands, TheRunEndsOnTheHeartbeatWithItsLog) {
    start({{"route.pcb", one_line}}, 0u);
    hold_runs();
    answer(true);
    run->menu(shell::code('N', 'A'));
    wait_until_held();
    run->tick(3);
    EXPECT_TRUE(router::route_running(app())) << "held: the ticks do not end it";
    released = true;
    ASSERT_TRUE(tick_until_done());
    EXPECT_FALSE(router::last_route(app()).cancel_asked);
    EXPECT_EQ(read_file(log_name()).rfind("AUTOROUTER STATISTICS LOG", 0), 0u);
}

TEST_F(RouteCommands, ClosingTheDocumentStopsAndWaitsForTheRun) {
    start({{"route.pcb", one_line}}, 0u);
    hold_runs();
    answer(true);
    std::string name = doc().name();
    run->menu(shell::code('N', 'A'));
    wait_until_held();
    ui().answers.push_back(platform::Answer::No); // "Shall I save the file before closing it?"
    run->menu(shell::code('F', 'C'));
    EXPECT_FALSE(router::route_running(app()));
    EXPECT_TRUE(router::last_route(app()).cancel_asked);
    EXPECT_EQ(model::FindDocument(name), nullptr);
}

TEST_F(RouteCommands, TheProgramEndingWaitsForTheRun) {
    start({{"route.pcb", one_line}}, 0u);
    hold_runs();
    answer(true);
    run->menu(shell::code('N', 'A'));
    wait_until_held();
    // The App goes with the run held: it is cancelled and joined before the model is freed.
    run.reset();
    SUCCEED();
}

// Needs the routing engine: the one Ratnest line is straight and clear, so "Straight routes" turns it
// into a top track, and the log has its header.
TEST_F(RouteCommands, EngineRoutesTheStraightLine) {
    start({{"route.pcb", one_line}}, 0u);
    answer(true, {{"straight", "1"}, {"layer3", "1"}, {"layer4", "2"}});
    play("<NA>");
    int tracks = 0, rats = 0;
    for (Ref r : model::items_in(doc().ring())) {
        if (node(r).item_kind() == model::kLine) {
            tracks += node(r).layer == kTop ? 1 : 0;
            rats += node(r).layer == nets::kRatnestLayer ? 1 : 0;
        }
    }
    EXPECT_EQ(tracks, 1);
    EXPECT_EQ(rats, 0);
    std::string log = read_file(log_name());
    EXPECT_NE(log.find("ALGORITHM                      TRACKS   TRACKS     HIT    PERCENTAGE    ELAPSED"),
              std::string::npos)
        << log;
    EXPECT_EQ(router::last_route(app()).summary.totals.routed, 1u);
}

} // namespace
} // namespace route_commands
