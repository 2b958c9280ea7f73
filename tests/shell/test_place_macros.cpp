// The drawing Place functions end to end: a board loaded by the headless shell and drawn on by keystroke
// macros played through the real key handler.  The cursor moves by whole snap steps of 1/16 inch
// ("16Right" is one inch); Enter clicks and Esc cancels.  Each case that changes the board undoes all it
// did and compares the Data file with the one written before.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/view.h"
#include "edit/commands.h"
#include "edit/place.h"
#include "edit/status.h"
#include "edit/undo.h"
#include "model/line_reader.h"
#include "shell/macro_session.h"
#include "shell/window_events.h"

namespace place_macros {
namespace {

using namespace shell_test;
using edit_test::kBottom;
using edit_test::kTop;
using edit_test::kTopSilk;

Point p1(Ref l) {
    return Point{node(l).line.x1, node(l).line.y1};
}
Point p2(Ref l) {
    return Point{node(l).line.x2, node(l).line.y2};
}
Point centre(Ref pad) {
    return Point{node(pad).pad.x0, node(pad).pad.y0};
}

// A silk frame from (0, 0) to (4, 4) inch keeps the working area well inside the window.
void frame(Ref ring) {
    edit_test::make_track(ring, kTopSilk, 0, 0, 4 * kInch, 0, 600);
    edit_test::make_track(ring, kTopSilk, 4 * kInch, 0, 4 * kInch, 4 * kInch, 600);
    edit_test::make_track(ring, kTopSilk, 4 * kInch, 4 * kInch, 0, 4 * kInch, 600);
    edit_test::make_track(ring, kTopSilk, 0, 4 * kInch, 0, 0, 600);
}

struct PlaceMacros : MacroSession {
    void load(const std::function<void(Ref)>& build = {}) {
        start({{"board.pcb",
                [&](Ref ring) {
                    frame(ring);
                    if (build) {
                        build(ring);
                    }
                }}},
              kSixteenth);
        model::Setup& s = doc().setup;
        s.via_layer = 0;
        s.via_diameter = 3277;
        s.via_hole = 1966;
        play("Enter <LY=3>"); // TRAZEL mode, top copper current
    }
    std::vector<Ref> items(uint8_t kind) {
        std::vector<Ref> out;
        for (Ref r : model::items_in(doc().ring())) {
            if (node(r).item_kind() == kind && !node(r).hidden()) {
                out.push_back(r);
            }
        }
        return out;
    }
    // The copper tracks (the frame is silk).
    std::vector<Ref> tracks() {
        std::vector<Ref> out;
        for (Ref r : items(model::kLine)) {
            if (node(r).layer != kTopSilk) {
                out.push_back(r);
            }
        }
        return out;
    }
};

TEST_F(PlaceMacros, ClicksOnOnePointTakeBackTheLastSegmentsOneByOne) {
    load();
    play("\"1,1\" Enter");
    std::string before = file();
    play("<PL> 16Right Enter 16Up Enter");
    EXPECT_EQ(run->app.shell.prompt, "Place: Line");
    std::vector<Ref> t = tracks();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_TRUE(at_inch(p1(t[0]), 1, 1));
    EXPECT_TRUE(at_inch(p2(t[0]), 2, 1));
    EXPECT_TRUE(at_inch(p2(t[1]), 2, 2));
    EXPECT_EQ(node(t[1]).layer, kTop);
    EXPECT_EQ(edit::undo_groups(doc()), 2);

    // A second click on the same point removes the last segment; the cursor goes to the rubber's start.
    play("Enter");
    ASSERT_EQ(tracks().size(), 1u);
    EXPECT_TRUE(at_inch(cursor(), 2, 1));
    play("Enter");
    EXPECT_TRUE(tracks().empty());
    EXPECT_TRUE(at_inch(cursor(), 1, 1));
    // The line goes on from there.
    play("8Up Enter");
    ASSERT_EQ(tracks().size(), 1u);
    EXPECT_TRUE(at_inch(p2(tracks()[0]), 1, 1.5));
    // The cancel event keeps what is fixed; a second one ends the function.
    play("Esc");
    EXPECT_EQ(tracks().size(), 1u);
    EXPECT_FALSE(edit::grab_pending(run->app));
    EXPECT_EQ(run->app.shell.prompt, "Place: Line");
    play("Esc");
    EXPECT_EQ(run->app.shell.prompt, "");
    undo_all_gives(before);
}

TEST_F(PlaceMacros, AViaOffAnOrthoLineFixesTwoSegmentsAndTheViaAsOneStep) {
    load();
    play("\"1,1\" Enter");
    std::string before = file();
    run->app.display.view.angle_mode = 0;
    // Ortho-Line: eight directions; the cursor a quarter inch above the horizontal the rubber keeps to.
    play("<PO> 16Right 4Up");
    EXPECT_EQ(run->app.display.view.angle_mode, 3);
    play("<PV>");
    std::vector<Ref> t = tracks();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_TRUE(at_inch(p2(t[0]), 2, 1));
    EXPECT_TRUE(at_inch(p1(t[1]), 2, 1));
    EXPECT_TRUE(at_inch(p2(t[1]), 2, 1.25));
    std::vector<Ref> v = items(model::kPad);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_TRUE(at_inch(centre(v[0]), 2, 1.25));
    EXPECT_EQ(node(v[0]).size, 3);
    EXPECT_EQ(node(v[0]).pad.width, 3277);
    EXPECT_EQ(node(v[0]).pad.hole, 1966);
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    // Within a polyline the function keeps its name and the line goes on from the via.
    EXPECT_EQ(run->app.shell.prompt, "Place: Ortho-Line");
    play("16Right Enter");
    ASSERT_EQ(tracks().size(), 3u);
    EXPECT_TRUE(at_inch(p1(tracks()[2]), 2, 1.25));
    undo_all_gives(before);

    // A Setup choice of the 45-degree mode stays.
    run->app.display.view.angle_mode = 2;
    play("<PO> Esc Esc");
    EXPECT_EQ(run->app.display.view.angle_mode, 2);
}

TEST_F(PlaceMacros, TheAutomaticViaJoinsItsTracksUndoGroup) {
    load([](Ref ring) {
        Ref bottom = edit_test::make_track(ring, kBottom, kInch / 2, kInch, kInch, kInch);
        model::AttachSignal(bottom, "NET1");
    });
    play("\"1,1\" Enter");
    std::string before = file();
    play("<PL> 16Right Enter Esc Esc");
    std::vector<Ref> t = tracks();
    ASSERT_EQ(t.size(), 2u);
    Ref top = t[1];
    EXPECT_EQ(node(top).layer, kTop);
    EXPECT_EQ(model::signal_name(model::item_signal(top)), "NET1");
    std::vector<Ref> v = items(model::kPad);
    ASSERT_EQ(v.size(), 1u);
    EXPECT_TRUE(at_inch(centre(v[0]), 1, 1));
    EXPECT_EQ(node(v[0]).layer, 0);
    EXPECT_EQ(node(v[0]).size, 3);
    EXPECT_EQ(node(v[0]).pad.width, 3277);
    EXPECT_EQ(model::signal_name(model::item_signal(v[0])), "NET1");
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    play("<UU>");
    EXPECT_EQ(file(), before);
}

TEST_F(PlaceMacros, APadIsRefusedWhereAnotherPadStands) {
    load([](Ref ring) {
        edit_test::make_pad(ring, 0, kInch, kInch, 4000, 4000, 1);           // through-hole
        edit_test::make_pad(ring, kTop, 2 * kInch, kInch, 4000, 4000, 6);    // surface mount, top
        edit_test::make_pad(ring, kBottom, 3 * kInch, kInch, 4000, 4000, 6); // surface mount, bottom
    });
    std::string before = file();
    size_t pads = items(model::kPad).size();
    // A surface-mount pad on the top: refused on the through-hole pad and the top pad.
    play("<PT=S1> <PL=3> <PX=.05> <PY=.05> <PH=0> <PP=P1>");
    for (const char* spot : {"\"1,1\"", "\"2,1\""}) {
        size_t errors = sounds(platform::Sound::Error);
        play(std::string(spot) + " Enter <PP>");
        EXPECT_EQ(status(), message(edit::kMsgPadParameter)) << spot;
        EXPECT_EQ(sounds(platform::Sound::Error), errors + 1) << spot;
        EXPECT_EQ(items(model::kPad).size(), pads) << spot;
        play("Esc");
        EXPECT_FALSE(edit::grab_pending(run->app));
    }
    // Over the bottom pad it goes, with its pin name; the next copy has the name advanced.
    play("\"3,1\" Enter <PP>");
    ASSERT_EQ(items(model::kPad).size(), pads + 1);
    Ref placed = items(model::kPad).back();
    EXPECT_TRUE(at_inch(centre(placed), 3, 1));
    EXPECT_EQ(node(placed).layer, kTop);
    EXPECT_EQ(node(placed).size, 5);
    EXPECT_EQ(model::pin_text(placed), "P1");
    EXPECT_EQ(edit::place_settings(run->app).pin_name, "P2");
    play("Esc");

    // A pad with a hole is refused over any pad, the bottom one too, and placed where none is.
    play("<PT=T1> <PL=0> <PH=.03> \"3,1\" Enter <PP>");
    EXPECT_EQ(status(), message(edit::kMsgPadParameter));
    EXPECT_EQ(items(model::kPad).size(), pads + 1);
    play("Esc \"3.5,1\" Enter <PP> Esc");
    ASSERT_EQ(items(model::kPad).size(), pads + 2);
    EXPECT_EQ(model::pin_text(items(model::kPad).back()), "P2");
    EXPECT_EQ(node(items(model::kPad).back()).pad.hole, 1966);
    undo_all_gives(before, true); // the pad settings the macro gave stay
}

TEST_F(PlaceMacros, ThePadDialogShowsTheRuleThatFailsAndAsksAgain) {
    load();
    platform::Headless& ui = run->ui();
    platform::Headless::DialogAnswer smd_on_master;
    smd_on_master.values = {{"type", "6"}, {"layer", "0"}, {"hole", "0"}, {"width", ".05"}, {"height", ".05"}};
    ui.dialog_answers["PlacePadBox"].push_back(smd_on_master);
    // No second answer: the dialog shown again is cancelled and the function does not start.
    play("<PP>");
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes.back().title, "Pad layer/type conflict");
    EXPECT_FALSE(edit::grab_pending(run->app));
    EXPECT_EQ(run->app.shell.prompt, "");

    // Refused once, then corrected: the pad hangs with the corrected values.
    platform::Headless::DialogAnswer drilled = smd_on_master;
    drilled.values["layer"] = "3";
    drilled.values["hole"] = ".02";
    platform::Headless::DialogAnswer good = smd_on_master;
    good.values["layer"] = "3";
    ui.dialog_answers["PlacePadBox"].push_back(drilled);
    ui.dialog_answers["PlacePadBox"].push_back(good);
    play("<PP>");
    EXPECT_EQ(ui.boxes.back().title, "Pad type/drill conflict");
    EXPECT_EQ(run->app.shell.prompt, "Place: Pad");
    EXPECT_EQ(doc().setup.pad_layer, 3);
    EXPECT_EQ(doc().setup.pad_type, 6);
    EXPECT_EQ(doc().setup.pad_hole, 0);
}

TEST_F(PlaceMacros, APolygonOfTwoPointsLeavesNothingAndThreeMakeASolid) {
    load();
    play("\"1,1\" Enter");
    std::string before = file();
    size_t lines = items(model::kLine).size();
    play("<PF>");
    EXPECT_EQ(run->app.shell.prompt, "Place: Filled Solid");
    EXPECT_EQ(status(), message(edit::kMsgPolygonSecond));
    play("16Right Enter");
    EXPECT_EQ(status(), message(edit::kMsgPolygonThird));
    play("Esc");
    EXPECT_EQ(items(model::kLine).size(), lines);
    EXPECT_FALSE(edit::has_undo(doc()));
    EXPECT_EQ(status(), message(edit::kMsgPolygonFirst));
    EXPECT_EQ(file(), before);

    play("Enter 16Up Enter");
    EXPECT_EQ(status(), message(edit::kMsgPolygonThird));
    play("16Left Enter");
    EXPECT_EQ(status(), message(edit::kMsgPolygonMore));
    play("Esc");
    ASSERT_EQ(items(model::kLine).size(), lines + 1);
    Ref s = items(model::kLine).back();
    EXPECT_TRUE(model::is_solid(s));
    EXPECT_EQ(node(s).layer, kTop);
    EXPECT_EQ(model::vertex_count(s), 3);
    EXPECT_TRUE(at_inch(Point{node(s).line.x1, node(s).line.y1}, 1, 1));
    EXPECT_TRUE(at_inch(Point{node(s).line.x2, node(s).line.y2}, 2, 2));
    undo_all_gives(before);
}

TEST_F(PlaceMacros, AThreePointArcAndAPlaceArcThatRepeatsIt) {
    load();
    play("\"1,1\" Enter");
    std::string before = file();
    play("<PY>");
    EXPECT_EQ(run->app.shell.prompt, "Place: Arc Points Graphically");
    EXPECT_EQ(status(), message(edit::kMsgArcRadius));
    // A radius point on the centre is refused with a beep.
    size_t beeps = sounds(platform::Sound::Beep);
    play("Enter");
    EXPECT_EQ(sounds(platform::Sound::Beep), beeps + 1);
    play("16Right Enter");
    EXPECT_EQ(status(), message(edit::kMsgArcEnd));
    play("16Up 16Left Enter");
    EXPECT_EQ(status(), message(edit::kMsgArcCentre));
    std::vector<Ref> a = items(model::kArc);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_TRUE(at_inch(Point{node(a[0]).arc.x0, node(a[0]).arc.y0}, 1, 1));
    EXPECT_EQ(node(a[0]).arc.radius, kInch);
    EXPECT_EQ(node(a[0]).arc.start, 0);
    EXPECT_EQ(node(a[0]).arc.sweep, 16384);
    EXPECT_EQ(node(a[0]).layer, kTop);
    const edit::PlaceSettings& ps = edit::place_settings(run->app);
    EXPECT_EQ(ps.arc_radius, kInch);
    EXPECT_EQ(ps.arc_sweep, 16384);
    play("Esc");
    EXPECT_EQ(run->app.shell.prompt, "");
    // Place Arc puts the same arc down (its dialog answered as preset).
    play("\"3,3\" Enter <PA> Esc");
    ASSERT_EQ(items(model::kArc).size(), 2u);
    Ref again = items(model::kArc).back();
    EXPECT_TRUE(at_inch(Point{node(again).arc.x0, node(again).arc.y0}, 3, 3));
    EXPECT_EQ(node(again).arc.radius, kInch);
    EXPECT_EQ(node(again).arc.sweep, 16384);
    undo_all_gives(before);
}

TEST_F(PlaceMacros, TypedTextGoesAtTheCursorAndEnterFirstOrEscapeMakesNone) {
    load();
    play("\"1,2\" Enter");
    std::string before = file();
    play("<PT> \"R12 ohms\" Enter");
    std::vector<Ref> t = items(model::kText);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(model::GetText(t[0]), "R12 \xEA");
    EXPECT_TRUE(at_inch(Point{node(t[0]).text.x0, node(t[0]).text.y0}, 1, 2));
    EXPECT_EQ(node(t[0]).layer, kTop);
    EXPECT_GT(node(t[0]).text.length, 0);
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    // The function stays: a click starts the next entry; Escape or an Enter first ends it without a Text.
    play("16Right Enter \"X\" Esc");
    play("Enter Enter");
    EXPECT_EQ(items(model::kText).size(), 1u);
    EXPECT_FALSE(edit::grab_pending(run->app));
    undo_all_gives(before);
}

TEST_F(PlaceMacros, SchematicFunctionsNeedASchematicAndAListingTakesNothing) {
    load();
    std::string before = file();
    for (const char* c : {"<PN>", "<PD>", "<PW>", "<PI>"}) {
        play(c);
        EXPECT_EQ(status(), message(edit::kMsgSchematicNeeded)) << c;
        EXPECT_EQ(run->app.shell.prompt, "") << c;
    }
    EXPECT_EQ(file(), before);
    // A plain text listing takes nothing.
    doc().setup.format_code = 'Z';
    size_t shown = run->ui().dialogs.size();
    play("<PL>");
    EXPECT_EQ(run->ui().dialogs.size(), shown);
    EXPECT_EQ(run->app.shell.prompt, "");
}

TEST_F(PlaceMacros, WithoutADocumentAPlaceFunctionOnlyBeeps) {
    run = std::make_unique<shell::HeadlessRun>();
    ASSERT_TRUE(run->start());
    ASSERT_TRUE(run->until_ready());
    ASSERT_EQ(run->app.doc(), nullptr);
    play("<PL> <PV> <PT>");
    EXPECT_EQ(sounds(platform::Sound::Beep), 3u);
    EXPECT_TRUE(run->ui().dialogs.empty());
    EXPECT_EQ(run->app.shell.prompt, "");
}

TEST_F(PlaceMacros, OnASchematicWiresDotsAndNamesFollowTheirPresets) {
    load();
    // Layer 1 symbols and layer 2 signals make the file a schematic.
    model::Setup& s = doc().setup;
    model::set_layer_name(s.layers[1], "Symbols");
    s.layers[1].type = model::kLayerSymbols;
    model::set_layer_name(s.layers[2], "Signals");
    s.layers[2].type = model::kLayerSchematic;
    model::set_layer_colour(s.layers[2], 0x00FF00);
    edit::place_settings(run->app).signal_name = "D9";
    play("\"1,1\" Enter");
    std::string before = file();
    // Signal wire on layer 2, 0.01 wide, horizontal or vertical.
    play("<PW> 16Right 2Up Enter Esc Esc");
    ASSERT_EQ(tracks().size(), 1u);
    Ref wire = tracks()[0];
    EXPECT_EQ(node(wire).layer, 2);
    EXPECT_EQ(node(wire).size, 655);
    EXPECT_TRUE(at_inch(p2(wire), 2, 1));
    // A signal dot: size 0.04, no hole, layer 2; the via settings keep it.
    play("<PD> Esc");
    std::vector<Ref> dots = items(model::kPad);
    ASSERT_EQ(dots.size(), 1u);
    EXPECT_EQ(node(dots[0]).size, 7);
    EXPECT_EQ(node(dots[0]).pad.width, 2621);
    EXPECT_EQ(node(dots[0]).layer, 2);
    EXPECT_EQ(s.via_diameter, 2621);
    EXPECT_EQ(s.via_hole, 0);
    // The signal name advances before its dialog: D10 is placed at the choice.
    play("\"2,2\" Enter <PN>");
    std::vector<Ref> names = items(model::kText);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(model::GetText(names[0]), "D10");
    EXPECT_TRUE(model::is_signal_record(node(names[0]).link));
    EXPECT_EQ(node(names[0]).layer, 2);
    EXPECT_EQ(node(names[0]).size, 3932);
    EXPECT_EQ(node(names[0]).text.anchor_font & 15, 15);
    play("16Right Enter Esc");
    ASSERT_EQ(items(model::kText).size(), 2u);
    EXPECT_EQ(model::GetText(items(model::kText).back()), "D11");
    undo_all_gives(before, true); // the via and text settings PD and PN preset stay
}

TEST_F(PlaceMacros, ABoardDrawnWhollyByMacroRendersAndReadsBack) {
    load();
    play("<LT=.02> \"1,1\" Enter <PL> 16Right Enter 16Up Enter Esc Esc");
    play("<PT=T1> <PL=0> <PX=.07> <PY=.07> <PH=.035> <PP=1> \"1,1\" Enter <PP> 16Right Enter Esc");
    play("\"2,2\" Enter <PV> Esc");
    play("<TS=.08> \"1,2.5\" Enter <PT> \"U1\" Enter Esc");
    std::vector<Ref> t = tracks();
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(node(t[0]).size, 1311);
    std::vector<Ref> p = items(model::kPad);
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(model::pin_text(p[0]), "1");
    EXPECT_EQ(model::pin_text(p[1]), "2");
    EXPECT_TRUE(at_inch(centre(p[1]), 2, 1));
    EXPECT_TRUE(at_inch(centre(p[2]), 2, 2));
    EXPECT_EQ(node(p[2]).pad.width, 3277);
    ASSERT_EQ(items(model::kText).size(), 1u);
    EXPECT_EQ(node(items(model::kText)[0]).size, 5243);

    // Drawn: the middle of the first track is no longer the background.
    ASSERT_NE(shell::redraw(run->app), 0);
    const display::View& v = run->app.display.view;
    int col = display::to_screen_x(v, static_cast<Coord>(1.5 * kInch));
    int row = display::to_screen_y(v, kInch);
    const shell::Surface& sf = run->app.shell.surface;
    ASSERT_TRUE(col > 0 && col < sf.width && row > 0 && row < sf.height);
    uint32_t px = *reinterpret_cast<const uint32_t*>(run->app.pixels.data() + static_cast<size_t>(row) * sf.pitch +
                                                     static_cast<size_t>(col) * 4);
    EXPECT_NE(px, run->app.display.slots.pixel[display::kSlotBackground]);

    // The Data file reads back into the same Items.
    std::string text = file();
    model::Document* copy = model::NewDocument("copy.pcb");
    ASSERT_NE(copy, nullptr);
    model::LineReader in;
    in.open_memory(text);
    EXPECT_NE(model::ReadDataFile(in), 0);
    EXPECT_EQ(edit_test::item_lines(file()), edit_test::item_lines(text));
}

} // namespace
} // namespace place_macros
