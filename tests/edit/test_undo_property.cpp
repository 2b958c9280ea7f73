// Undo as a property: whatever a long run of random grabs, transforms, drops, abandons and single undo or
// redo steps does to a generated board, undoing everything gives back the Data file as it was loaded, byte
// for byte and in the same Item order, and redoing everything gives back the edited one.
#include <memory>
#include <random>

#include "board_build.h"
#include "edit/commands.h"
#include "edit/grab.h"
#include "edit/locate.h"
#include "edit/undo.h"
#include "model/hit_test.h"
#include "app/core/headless_run.h"

namespace edit_test {
namespace {

using model::Node;

struct UndoProperty : ::testing::Test {
    std::unique_ptr<shell::HeadlessRun> run;
    std::mt19937 rng;

    App& app() {
        return run->app;
    }
    model::Document& doc() {
        return *run->app.doc();
    }
    int pick(int below) {
        return static_cast<int>(rng() % static_cast<unsigned>(below));
    }
    // The file with the settings the edits do not own (the current layer follows what was picked).
    std::string file(int layer) {
        int keep = doc().setup.current_layer;
        doc().setup.current_layer = static_cast<uint16_t>(layer);
        std::string s = data_file_text();
        doc().setup.current_layer = static_cast<uint16_t>(keep);
        return s;
    }

    // A point on a random visible Item (members included) and the Grab command that takes it there.
    bool choose(Point& at, uint16_t& code) {
        std::vector<Ref> all;
        model::walk_tree(doc().ring(), [&](Ref r, int) {
            if (!node(r).hidden()) {
                all.push_back(r);
            }
        });
        if (all.empty()) {
            return false;
        }
        Ref r = all[static_cast<size_t>(pick(static_cast<int>(all.size())))];
        const Node& n = node(r);
        auto g = [](char c) { return static_cast<uint16_t>('G' << 8 | c); };
        switch (n.item_kind()) {
        case model::kLine:
            if (n.size == 0) {
                const Node& v = node(n.link);
                at = Point{v.line.x1 + (node(v.link).line.x1 - v.line.x1) / 2 + 30,
                           v.line.y1 + (node(v.link).line.y1 - v.line.y1) / 2 + 30};
                code = g('F');
                return true;
            }
            if (pick(2) == 0) {
                at = pick(2) ? Point{n.line.x1, n.line.y1} : Point{n.line.x2, n.line.y2};
                code = g('E');
            } else {
                at = Point{static_cast<Coord>((int64_t{n.line.x1} + n.line.x2) / 2),
                           static_cast<Coord>((int64_t{n.line.y1} + n.line.y2) / 2)};
                code = g(pick(4) == 0 ? 'I' : 'L');
            }
            return true;
        case model::kArc: {
            at = model::arc_point(n, n.arc.start, edit::turn_of);
            const char arcs[] = {'A', 'G', 'D', 'I'};
            code = g(arcs[pick(4)]);
            return true;
        }
        case model::kPad:
            at = Point{n.pad.x0, n.pad.y0};
            code = g(pick(3) == 0 ? 'I' : 'P');
            return true;
        case model::kText:
            at = Point{n.text.x0, n.text.y0};
            code = g('T');
            return true;
        case model::kComponent:
            at = Point{static_cast<Coord>((int64_t{n.box.x1} + n.box.x2) / 2),
                       static_cast<Coord>((int64_t{n.box.y1} + n.box.y2) / 2)};
            code = g(pick(2) ? 'C' : 'O');
            return true;
        default:
            return false;
        }
    }

    void move_cursor(Point p) {
        edit::jump_cursor(app(), p);
        edit::cursor_moved(app());
    }

    void random_transform() {
        edit::GrabList& g = edit::editor(app()).grab;
        switch (pick(6)) {
        case 0:
            edit::transform_grab(g, app().display, edit::Transform::Rotate90);
            break;
        case 1:
            edit::transform_grab(g, app().display, edit::Transform::Rotate, pick(65536));
            break;
        case 2:
            edit::transform_grab(g, app().display, edit::Transform::MirrorX);
            break;
        case 3:
            edit::transform_grab(g, app().display, edit::Transform::MirrorY);
            break;
        case 4:
            edit::transform_grab(g, app().display, edit::Transform::OtherSide);
            break;
        default:
            edit::transform_grab(g, app().display, edit::Transform::Scale, 0x8000 + pick(0x18000));
            break;
        }
    }
};

TEST_F(UndoProperty, UndoAllRestoresTheLoadedFileAndRedoAllTheEditedOne) {
    std::string path = temp_path("generated.pcb");
    write_board(path, [](Ref ring) { generate_board(ring, 7, 18); });
    run = std::make_unique<shell::HeadlessRun>(320, 240);
    ASSERT_TRUE(run->start({path}));
    ASSERT_TRUE(run->until_ready(1000));
    ASSERT_NE(run->app.doc(), nullptr);
    app().shell.options.purge_redo_notification = false;
    app().display.view.snap = 0;
    rng.seed(20240605);
    const int layer = doc().setup.current_layer;
    const std::string original = file(layer);
    int grabs = 0, drops = 0, abandons = 0, steps = 0;

    for (int action = 0; action < 400; ++action) {
        int what = pick(20);
        if (what == 0) {
            edit::undo_group(app(), static_cast<uint16_t>('U' << 8 | 'U'), shell::kSourceKey);
            ++steps;
            continue;
        }
        if (what == 1) {
            edit::undo_group(app(), static_cast<uint16_t>('U' << 8 | 'E'), shell::kSourceKey);
            ++steps;
            continue;
        }
        Point at{};
        uint16_t code = 0;
        if (!choose(at, code)) {
            continue;
        }
        move_cursor(at);
        edit::grab_group(app(), code, shell::kSourceKey);
        if (!edit::grab_pending(app())) {
            continue; // nothing there after all (a point off every stroke): the beep and nothing else
        }
        ++grabs;
        for (int t = pick(4); t > 0; --t) {
            random_transform();
        }
        if (pick(8) != 0) {
            // Dropped where it was, or somewhere near (sometimes onto its other end, which deletes a track).
            Coord span = pick(3) == 0 ? 5 : 40000;
            move_cursor(Point{at.x + pick(2 * span + 1) - span, at.y + pick(2 * span + 1) - span});
        }
        if (pick(6) == 0) {
            edit::abandon_grab(app());
            ++abandons;
        } else {
            edit::drop_grab(app());
            ++drops;
        }
        ASSERT_FALSE(edit::grab_pending(app()));
    }
    EXPECT_GT(grabs, 200);
    EXPECT_GT(drops, 150);
    EXPECT_GT(abandons, 20);
    EXPECT_GT(steps, 10);

    const std::string edited = file(layer);
    EXPECT_NE(edited, original);
    ASSERT_EQ(edit::undo_group(app(), static_cast<uint16_t>('U' << 8 | 'A'), shell::kSourceKey), 1);
    EXPECT_FALSE(edit::has_undo(doc()));
    EXPECT_EQ(file(layer), original);
    ASSERT_EQ(edit::undo_group(app(), static_cast<uint16_t>('U' << 8 | 'R'), shell::kSourceKey), 1);
    EXPECT_FALSE(edit::has_redo(doc()));
    EXPECT_EQ(file(layer), edited);
    // And both ways once more: the records survive being carried across twice.
    edit::undo(doc(), nullptr, true);
    EXPECT_EQ(file(layer), original);
    edit::redo(doc(), nullptr, true);
    EXPECT_EQ(file(layer), edited);
}

} // namespace
} // namespace edit_test
