// The Edit group's dialogs and finds through the headless shell: a board loaded from a file, the cursor
// put on an Item, the command chosen by key (acts at once) or menu (waits for the click), the dialogs
// answered from the script.  Every change is one undo group: one UU gives the board back.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "edit/commands.h"
#include "edit/edit_items.h"
#include "edit/place.h"
#include "edit/status.h"
#include "edit/undo.h"
#include "model/numbers.h"
#include "shell/commands.h"
#include "shell/keys.h"
#include "shell/macro_session.h"
#include "shell/mouse.h"

namespace edit_commands {
namespace {

using namespace shell_test;
using edit_test::kBottomSilk;
using edit_test::kTop;
using edit_test::kTopSilk;
using shell::code;

struct EditCommands : MacroSession {
    void load(const std::function<void(Ref)>& build) {
        start({{"edit.pcb", build}}, 0);
    }
    int key(char l) {
        return shell::execute_command(app(), code('E', l), shell::kSourceKey);
    }
    int undo() {
        return shell::execute_command(app(), code('U', 'U'), shell::kSourceKey);
    }
    void answer(const std::string& form, std::map<std::string, std::string> values, bool ok = true) {
        ui().dialog_answers[form].push_back({ok, std::move(values)});
    }
    int shown(const std::string& form) {
        int n = 0;
        for (const platform::Form& f : ui().dialogs) {
            n += f.name == form ? 1 : 0;
        }
        return n;
    }
    size_t beeps() {
        return sounds(platform::Sound::Beep);
    }
    std::string items() {
        return edit_test::item_lines(file());
    }
    // The Items of one kind, members included, in walking order.
    std::vector<Ref> all(uint8_t kind) {
        std::vector<Ref> out;
        model::walk_tree(doc().ring(), [&](Ref r, int) {
            if (node(r).item_kind() == kind && !node(r).hidden()) {
                out.push_back(r);
            }
        });
        return out;
    }
    Ref text_saying(const std::string& s) {
        for (Ref r : all(model::kText)) {
            if (model::GetText(r) == s) {
                return r;
            }
        }
        return model::kNone;
    }
};

bool same(Point a, Point b) {
    return a.x == b.x && a.y == b.y;
}

TEST_F(EditCommands, EditPadBoxTakesAT0WithoutHoleAndRefusesAT2WithoutHole) {
    load([](Ref ring) { edit_test::make_pad(ring, 0, kInch, kInch, 3000, 3000, 1); });
    std::string before = items();
    at(1, 1);
    // A T2 without hole: the through-hole message, the dialog again; then T0 without hole is taken.
    answer("EditPadBox", {{"type", "2"}, {"hole", "0"}});
    answer("EditPadBox", {{"type", "0"}, {"hole", "0"}, {"pin", "5"}});
    EXPECT_EQ(key('P'), 1);
    ASSERT_FALSE(ui().boxes.empty());
    EXPECT_EQ(ui().boxes.back().title, "Pad type/drill conflict");
    EXPECT_EQ(ui().boxes.back().text, "Through-hole pads must contain\na drill hole.\n\nPlease specify a hole size "
                                      "or select\nsurface mount pad type.");
    EXPECT_EQ(shown("EditPadBox"), 2);
    std::vector<Ref> pads = all(model::kPad);
    ASSERT_EQ(pads.size(), 1u);
    EXPECT_EQ(node(pads[0]).size & 7, 0);
    EXPECT_EQ(node(pads[0]).pad.hole, 0);
    EXPECT_EQ(model::pin_text(pads[0]), "5");
    EXPECT_EQ(node(pads[0]).pad.width, 3000);
    EXPECT_EQ(undo(), 1);
    EXPECT_EQ(items(), before);

    // Refused with no better answer: the dialog goes and nothing changes.
    size_t boxes = ui().boxes.size();
    answer("EditPadBox", {{"type", "2"}, {"hole", "0"}});
    EXPECT_EQ(key('P'), 0);
    EXPECT_EQ(ui().boxes.size(), boxes + 1);
    EXPECT_EQ(items(), before);
    EXPECT_FALSE(edit::has_redo(doc()) && edit::has_undo(doc()));
}

TEST_F(EditCommands, EditArcChangesTheArcAndAFollowingPlaceArcRepeatsIt) {
    load([](Ref ring) {
        Ref a = model::MakeItem(ring, model::kArc, kTop, 800, kInch, kInch, kInch / 4, 0);
        node(a).arc.sweep = 16384;
    });
    std::string before = items();
    at(1.25, 1);
    answer("EditArcBox", {{"width", ".02"}, {"radius", ".5"}, {"start", "45"}, {"sweep", "90"}, {"ratio", ".5"},
                          {"axis", "30"}, {"layer", "4"}});
    EXPECT_EQ(key('A'), 1);
    Ref a = all(model::kArc).front();
    EXPECT_EQ(node(a).arc.radius, kInch / 2);
    EXPECT_EQ(node(a).arc.start, 8192);
    EXPECT_EQ(node(a).arc.sweep, 16384);
    EXPECT_EQ(node(a).arc.ellipse, 32768);
    EXPECT_EQ(node(a).layer, 4);
    EXPECT_EQ(edit::undo_groups(doc()), 1);

    // PA from the menu: its dialog is preset with the edited arc's values and the arc that hangs has them.
    answer("PlaceArcBox", {});
    EXPECT_EQ(shell::execute_command(app(), code('P', 'A'), shell::kSourceMouse), 1);
    const platform::Form& place = ui().dialogs.back();
    ASSERT_EQ(place.name, "PlaceArcBox");
    EXPECT_EQ(place.get("layer"), "4");
    EXPECT_EQ(place.get("width"), model::fixed_string(node(a).size));
    EXPECT_EQ(place.get("radius"), model::fixed_string(kInch / 2));
    EXPECT_EQ(place.get("start"), model::angle_string(8192));
    EXPECT_EQ(place.get("sweep"), model::angle_string(16384));
    EXPECT_EQ(place.get("ratio"), model::fixed_string(32768));
    EXPECT_EQ(place.get("axis"), model::angle_string(node(a).arc.angle));
    EXPECT_EQ(edit::place_settings(app()).arc_radius, kInch / 2);
    edit::abandon_grab(app());
    edit::abandon_grab(app());
    EXPECT_EQ(undo(), 1);
    EXPECT_EQ(items(), before);
}

TEST_F(EditCommands, EditLineFromTheMenuWaitsForTheClickAndChangesTheConnectedTrack) {
    load([](Ref ring) {
        edit_test::make_track(ring, kTop, kInch, kInch, 2 * kInch, kInch);
        edit_test::make_track(ring, kTop, 2 * kInch, kInch, 2 * kInch, 2 * kInch);
        edit_test::make_track(ring, kTop, 3 * kInch, 3 * kInch, 4 * kInch, 3 * kInch);
    });
    std::string before = items();
    EXPECT_EQ(shell::execute_command(app(), code('E', 'L'), shell::kSourceMouse), 1);
    EXPECT_EQ(app().shell.prompt, "Edit: Line");
    EXPECT_EQ(shown("EditLineBox"), 0);
    // Nothing under the cursor: a beep and the message asking for the line.
    at(0.5, 3);
    size_t b = beeps();
    shell::click_left_action(app());
    EXPECT_EQ(beeps(), b + 1);
    EXPECT_EQ(app().shell.status.text, shell::message_text(app(), edit::kMsgEditLine));
    at(1.5, 1);
    answer("EditLineBox", {{"layer", "4"}, {"scope", "1"}});
    shell::click_left_action(app());
    EXPECT_EQ(ui().dialogs.back().get("width"), model::fixed_string(800)); // preset from the track
    int moved = 0;
    for (Ref r : all(model::kLine)) {
        moved += node(r).layer == 4 && node(r).size == 800 ? 1 : 0;
    }
    EXPECT_EQ(moved, 2);
    EXPECT_EQ(undo(), 1);
    EXPECT_EQ(items(), before);
    // A width of 0 would turn the track into a filled solid: the line dialog's floor makes it 0.01 inch.
    answer("EditLineBox", {{"width", "0"}});
    EXPECT_EQ(key('L'), 1);
    EXPECT_EQ(node(all(model::kLine).front()).size, 655);
    EXPECT_EQ(undo(), 1);
    EXPECT_EQ(items(), before);
}

TEST_F(EditCommands, APendingGrabIsDroppedFirstAndThatIsAll) {
    load([](Ref ring) { edit_test::make_track(ring, kTop, kInch, kInch, 2 * kInch, kInch); });
    at(1.5, 1);
    EXPECT_EQ(shell::execute_command(app(), code('G', 'L'), shell::kSourceKey), 1);
    ASSERT_TRUE(edit::grab_pending(app()));
    at(1.5, 1.5);
    shell::cursor_changed(app());
    EXPECT_EQ(key('L'), 1);
    EXPECT_FALSE(edit::grab_pending(app()));
    EXPECT_EQ(shown("EditLineBox"), 0);
    EXPECT_EQ(node(all(model::kLine).front()).line.y1, Coord(1.5 * kInch));
}

TEST_F(EditCommands, EditTextBoxShowsMirroringRelativeToTheSideAndMovesTheAnchor) {
    load([](Ref ring) {
        Ref t = edit_test::make_text(ring, kBottomSilk, kInch, kInch, 6000, "AB");
        node(t).text.length = -node(t).text.length;
    });
    std::string before = items();
    Ref t = all(model::kText).front();
    Point middle = edit::text_find_point(t);
    edit::jump_cursor(app(), middle);
    answer("EditTextBox", {{"anchor", "1"}, {"scope", "0"}});
    EXPECT_EQ(key('X'), 1);
    const platform::Form& box = ui().dialogs.back();
    EXPECT_EQ(box.get("mirror"), "0"); // stored mirrored on a bottom layer: shown as normal
    EXPECT_EQ(box.get("layer"), std::to_string(kBottomSilk));
    // Centred, the origin is where the middle of the text was.
    EXPECT_EQ(node(t).text.x0, middle.x);
    EXPECT_EQ(node(t).text.anchor_font & 15, 1);
    EXPECT_LT(node(t).text.length, 0);
    EXPECT_EQ(undo(), 1);
    EXPECT_EQ(items(), before);
}

TEST_F(EditCommands, EditTextDataTypesIntoTheTextAndGoesToTheNextOne) {
    load([](Ref ring) {
        edit_test::make_text(ring, kTopSilk, kInch, kInch, 6000, "R1");
        edit_test::make_text(ring, kTopSilk, kInch, 2 * kInch, 6000, "C7");
    });
    std::string before = items();
    Ref r1 = text_saying("R1");
    Ref c7 = text_saying("C7");
    edit::jump_cursor(app(), edit::text_find_point(r1));
    EXPECT_EQ(key('T'), 1);
    EXPECT_EQ(app().shell.prompt, "Edit: Text Data");
    ASSERT_TRUE(static_cast<bool>(app().shell.modal_key));
    shell::handle_key(app(), shell::kKeyBackspace);
    shell::handle_key(app(), 0x2C5A); // Z
    EXPECT_EQ(model::GetText(r1), "R1"); // stored only by Enter, Up or Down
    shell::handle_key(app(), 0x50E0); // Down: stored, and the next Text is edited
    EXPECT_EQ(model::GetText(r1), "RZ");
    EXPECT_TRUE(same(cursor(), edit::text_find_point(c7)));
    shell::handle_key(app(), 0x011B); // Escape: C7 stays as it was
    EXPECT_EQ(model::GetText(c7), "C7");
    EXPECT_FALSE(static_cast<bool>(app().shell.modal_key));
    EXPECT_EQ(edit::undo_groups(doc()), 1);
    EXPECT_EQ(undo(), 1);
    EXPECT_EQ(items(), before);
}

TEST_F(EditCommands, EditComponentRefusesAnIllegalReferenceAndTheListEditsAnyComponent) {
    load([](Ref ring) {
        Ref u1 = edit_test::make_component(ring, "DIP8", "U1", {kInch, kInch});
        edit_test::make_track(model::member_ring(u1), kTopSilk, kInch, kInch, 2 * kInch, kInch, 600);
        Ref u2 = edit_test::make_component(ring, "DIP8", "U2", {3 * kInch, kInch});
        edit_test::make_track(model::member_ring(u2), kTopSilk, 3 * kInch, kInch, 4 * kInch, kInch, 600);
    });
    at(1.5, 1);
    answer("EditCompPcbBox", {{"field1", "U 1"}});
    answer("EditCompPcbBox", {{"field1", "U9"}, {"field2", "NE555"}});
    EXPECT_EQ(key('I'), 1);
    EXPECT_EQ(ui().boxes.back().title, "Invalid Reference ID");
    std::vector<Ref> comps = all(model::kComponent);
    ASSERT_EQ(comps.size(), 2u);
    // Sorted again: U2 then U9.
    EXPECT_EQ(model::ComponentField(comps[0], 1), "U2");
    EXPECT_EQ(model::ComponentField(comps[1], 1), "U9");
    EXPECT_EQ(model::ComponentField(comps[1], 2), "NE555");
    EXPECT_EQ(undo(), 1);
    EXPECT_EQ(model::ComponentField(comps[1], 1), "U1");

    // EC: the list names every Component; the chosen one opens in its box, then the list comes back.
    answer("EditCompListBox", {{"entries", "0"}});
    answer("EditCompPcbBox", {{"field2", "LM358"}});
    EXPECT_EQ(key('C'), 1);
    EXPECT_EQ(shown("EditCompListBox"), 2);
    const platform::Form* list = nullptr;
    for (const platform::Form& f : ui().dialogs) {
        list = f.name == "EditCompListBox" && list == nullptr ? &f : list;
    }
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->field("entries")->options.size(), 2u);
    EXPECT_EQ(list->field("entries")->options[0].substr(0, 3), "U2\t");
    EXPECT_EQ(model::ComponentField(comps[0], 2), "LM358");
    EXPECT_EQ(undo(), 1);
    EXPECT_EQ(model::ComponentField(comps[0], 2), "VAL");
}

TEST_F(EditCommands, FindTextAndFindComponentFirstAndNext) {
    load([](Ref ring) {
        edit_test::make_text(ring, kTopSilk, kInch, kInch, 6000, "R1");
        edit_test::make_text(ring, kTopSilk, 2 * kInch, kInch, 6000, "R10");
        edit_test::make_text(ring, kTopSilk, 3 * kInch, kInch, 6000, "C1");
        Ref u1 = edit_test::make_component(ring, "DIP8", "U1", {kInch, 2 * kInch});
        edit_test::make_track(model::member_ring(u1), kTopSilk, kInch, 2 * kInch, 2 * kInch, 2 * kInch, 600);
        Ref u2 = edit_test::make_component(ring, "DIP8", "U2", {3 * kInch, 2 * kInch});
        edit_test::make_track(model::member_ring(u2), kTopSilk, 3 * kInch, 2 * kInch, 4 * kInch, 2 * kInch, 600);
    });
    Ref r1 = text_saying("R1"), r10 = text_saying("R10"), c1 = text_saying("C1");
    auto find_text = [&](const std::string& pattern, bool next) {
        answer("LocateTextBox", {{"pattern", pattern}, {"from", next ? "1" : "0"}});
        return key('E');
    };
    EXPECT_EQ(find_text("r1", false), 1);
    EXPECT_TRUE(same(cursor(), edit::text_find_point(r1)));
    EXPECT_EQ(find_text("r1", true), 1);
    EXPECT_TRUE(same(cursor(), edit::text_find_point(r10)));
    size_t b = beeps();
    EXPECT_EQ(find_text("r1", true), 0);
    EXPECT_EQ(beeps(), b + 1);
    EXPECT_EQ(find_text("<R1>", false), 1);
    EXPECT_TRUE(same(cursor(), edit::text_find_point(r1)));
    EXPECT_EQ(find_text("<R1>", true), 0);
    EXPECT_EQ(find_text("<?1>", true), 1); // after R1 (the last found): C1
    EXPECT_TRUE(same(cursor(), edit::text_find_point(c1)));
    EXPECT_EQ(ui().dialogs.back().get("pattern"), "<?1>");

    auto find_comp = [&](const std::string& ref, bool next) {
        answer("LocateCompBox", {{"field1", ref}, {"from", next ? "1" : "0"}});
        return key('O');
    };
    EXPECT_EQ(find_comp("u*", false), 1);
    EXPECT_TRUE(at_inch(cursor(), 1, 2));
    EXPECT_EQ(find_comp("u*", true), 1);
    EXPECT_TRUE(at_inch(cursor(), 3, 2));
    b = beeps();
    EXPECT_EQ(find_comp("u*", true), 0);
    EXPECT_EQ(beeps(), b + 1);
    EXPECT_EQ(find_comp("?2", false), 1);
    EXPECT_TRUE(at_inch(cursor(), 3, 2));
    EXPECT_FALSE(edit::has_undo(doc()));
}

TEST_F(EditCommands, SnapGoesToTheNearestEndPointOrBeeps) {
    load([](Ref ring) {
        edit_test::make_track(ring, kTop, kInch, kInch, 2 * kInch, kInch);
        edit_test::make_pad(ring, 0, 3 * kInch, kInch, 3000, 3000, 1);
    });
    at(2.05, 1.05);
    EXPECT_EQ(key('S'), 1);
    EXPECT_TRUE(at_inch(cursor(), 2, 1));
    at(2.95, 1.02);
    EXPECT_EQ(key('S'), 1);
    EXPECT_TRUE(at_inch(cursor(), 3, 1));
    at(3.5, 3.5);
    size_t b = beeps();
    EXPECT_EQ(key('S'), 0);
    EXPECT_EQ(beeps(), b + 1);
    EXPECT_TRUE(at_inch(cursor(), 3.5, 3.5));
}

} // namespace
} // namespace edit_commands
