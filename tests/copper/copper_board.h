#pragma once
// A board for the copper tool tests: the two-sided set-up of the net tests (layer 0 pad master, 3 top
// copper, 4 bottom copper, 6 a plane), a Block, the flood fill settings in 0.01-inch terms, and a run that
// answers the "Flood Fill Unconnection" question from a script and lists the Items it made.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "copper/flood.h"
#include "edit/block.h"
#include "nets/net_board.h"
#include "platform/headless.h"

namespace copper_test {

using namespace nets_test;
using edit_test::kBottom;
using edit_test::kTop;
using edit_test::kTopSilk;

constexpr Coord kMil = 65536 / 1000; // about 0.001 inch (65 units), for readable sizes
constexpr Coord kTen = 655;          // 0.01 inch, the fill width and both isolations by default

struct CopperBoard : NetBoard {
    edit::Block block;
    copper::FillSettings set;
    platform::Headless ui;
    std::vector<std::string> questions; // the texts of the questions asked, in order
    std::vector<bool> answers;          // answers given in order; when used up, OK
    std::set<Ref> before;               // every Item (members included) before the last run
    int drawn = 0;

    void SetUp() override {
        NetBoard::SetUp();
        set.destination = kTop;
        set.width = kTen;
        set.iso_lines = kTen;
        set.iso_pads = kTen;
        set.mesh = 0;
    }

    // A rectangular Block from two corners; a polygonal one from its vertices.
    void box(Coord x1, Coord y1, Coord x2, Coord y2) {
        edit::define_block(block, *d, Point{x1, y1}, Point{x2, y2}, Point{x1, y1});
    }
    void polygon(const std::vector<Point>& pts) {
        edit::define_block(block, *d, pts, pts.front());
    }

    Ref text(int layer, Coord x, Coord y, uint16_t height, const std::string& s) {
        return edit_test::make_text(ring(), layer, x, y, height, s);
    }
    Ref component(const std::string& pattern, const std::string& ref, Point at) {
        return edit_test::make_component(ring(), pattern, ref, at);
    }

    std::set<Ref> all_items() const {
        std::set<Ref> out;
        model::walk_tree(ring(), [&](Ref r, int) { out.insert(r); });
        return out;
    }

    copper::FillResult fill(copper::FillMode mode = copper::FillMode::Flood, platform::RunContext* ctx = nullptr) {
        before = all_items();
        questions.clear();
        drawn = 0;
        copper::FillHooks hooks;
        size_t next_answer = 0;
        hooks.unconnected = [&](const std::string& t, Point) {
            questions.push_back(t);
            return next_answer < answers.size() ? static_cast<bool>(answers[next_answer++]) : true;
        };
        hooks.draw = [&](Ref) { ++drawn; };
        platform::RunContext own(ui);
        return copper::flood_fill(*d, block, set, mode, hooks, ctx != nullptr ? *ctx : own);
    }

    // The Items the last run made, in ring order (members included).
    std::vector<Ref> made() const {
        std::vector<Ref> out;
        model::walk_tree(ring(), [&](Ref r, int) {
            if (before.count(r) == 0) {
                out.push_back(r);
            }
        });
        return out;
    }
    std::vector<Ref> made_of(uint8_t kind) const {
        std::vector<Ref> out;
        for (Ref r : made()) {
            if (node(r).item_kind() == kind) {
                out.push_back(r);
            }
        }
        return out;
    }
    // Whether any Item of the Document carries a run-time mark.
    bool any_marked() const {
        bool any = false;
        model::walk_tree(ring(), [&](Ref r, int) { any = any || node(r).marked(); });
        return any;
    }
};

} // namespace copper_test
