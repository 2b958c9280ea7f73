// Any bytes read as a Data file, then the copper tools over the Items' extents: a flood fill or a hatch,
// teardrops and track isolation of both sides.  No crash, hang or sanitizer report; every run leaves no
// mark behind; undoing the runs gives the file back byte for byte (but for the current layer, which
// the runs set).  The budget is kept small: the Block
// is cut to two inches square, strokes and tools are at least 0.01 inch wide, three isolation passes at
// most, and the pool is held small so that exhaustion is reached too.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "copper/flood.h"
#include "copper/isolate.h"
#include "copper/teardrops.h"
#include "edit/block.h"
#include "fuzz_support.h"
#include "platform/run_context.h"

using namespace trazel;
using model::Coord;

namespace {

constexpr Coord kInch = 65536;
constexpr Coord kMinTool = 655;

void floor_tools(model::TrackIsolation& t) {
    t.passes = std::clamp(t.passes, 0, 3);
    t.iso_tool = t.iso_tool == 0 ? 0 : std::max<model::Length>(t.iso_tool, kMinTool);
    t.flood_tool = t.flood_tool == 0 ? 0 : std::max<model::Length>(t.flood_tool, kMinTool);
}

void expect_no_marks(model::Document& d) {
    bool marked = false;
    model::walk_tree(d.ring(), [&](model::Ref r, int) { marked = marked || model::node(r).marked(); });
    if (marked) {
        std::fprintf(stderr, "a copper run left a mark behind\n");
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::World& w = fuzz_support::world();
    static bool limited = [&] {
        w.model.pool.set_block_limit(12);
        return true;
    }();
    (void)limited;
    model::Document* d = fuzz_support::read_document(w, std::string_view(reinterpret_cast<const char*>(data), size));
    if (d == nullptr) {
        return 0;
    }
    Coord x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    if (!model::members_box(d->ring(), x1, y1, x2, y2)) {
        fuzz_support::discard_document(d);
        return 0;
    }
    x2 = static_cast<Coord>(std::min<int64_t>(x2, int64_t{x1} + 2 * kInch));
    y2 = static_cast<Coord>(std::min<int64_t>(y2, int64_t{y1} + 2 * kInch));
    floor_tools(d->setup.iso_top);
    floor_tools(d->setup.iso_bottom);
    std::string before = fuzz_support::data_file(w);
    int groups = edit::undo_groups(*d);
    int32_t current = d->setup.current_layer;

    edit::Block block;
    edit::define_block(block, *d, model::Point{x1, y1}, model::Point{x2, y2}, model::Point{x1, y1});
    block.layers.fill(true);
    platform::RunContext run(w.ui);

    copper::FillSettings f = copper::fill_settings(d->setup);
    f.width = std::max(f.width, kMinTool);
    f.mesh = std::max(f.mesh, kMinTool);
    // The last byte picks the mode and the answer at an unconnectable pad, so both are reached.
    uint8_t pick = size > 0 ? data[size - 1] : 0;
    copper::FillHooks hooks;
    hooks.unconnected = [&](const std::string&, model::Point) { return (pick & 2) != 0; };
    copper::flood_fill(*d, block, f, (pick & 1) ? copper::FillMode::Hatch : copper::FillMode::Flood, hooks, run);
    expect_no_marks(*d);
    copper::add_teardrops(*d, block);
    expect_no_marks(*d);
    copper::isolate_tracks(*d, block, copper::Side::Both, {}, run);
    expect_no_marks(*d);

    // The runs make their layer the current one, a setting undo does not take back.
    d->setup.current_layer = current;
    fuzz_support::expect_undone(w, *d, groups, before, "the copper runs");
    fuzz_support::discard_document(d);
    return 0;
}
