// Track isolation: milling tool paths laid with the flood fill's machinery, one Component per pass.
#include "copper/isolate.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "copper/fill_run.h"
#include "edit/undo.h"

namespace trazel::copper {

using model::Coord;
using model::node;
using model::Ref;

namespace {

// Rows are snapped to 1/1000 inch: a smaller step would only lay the same rows again (and a step of zero
// or less, from an overlap as large as the tool, would never end).
constexpr Coord kMinRowStep = 66;

// The sides of one run: every record goes into the one undo group the first record opened.
struct SideRun {
    model::Document& doc;
    const edit::Block& block;
    const std::function<void(Ref)>& draw;
    platform::RunContext& run;
    IsolateResult& res;

    // An empty Component for one pass's strokes, named by its pattern field.
    Ref open_component(const char* name, int layer) {
        Ref c = model::make_component(doc.ring(), static_cast<uint8_t>(layer), 0, name);
        if (c == model::kNone) {
            res.out_of_nodes = true;
        }
        return c;
    }

    // Closes the pass: an empty Component goes again; a full one takes its box and sorted place and is
    // recorded after its members (undo takes it out with them; redo puts the members back first).
    void close_component(FillRun& fr, Ref c) {
        if (!model::close_component(c)) {
            return; // nothing laid: deleted, never recorded
        }
        model::sort_component(c);
        FillResult& fres = fr.result();
        if (edit::RecordCreated(doc, c, fres.created) == 0) {
            res.out_of_nodes = true;
        }
        ++fres.created;
        ++res.components;
        if (draw) {
            draw(c);
        }
    }

    bool stopped(const FillRun& fr) const {
        return res.out_of_nodes || fr.result().out_of_nodes || fr.result().cancelled || run.cancelled();
    }

    void side(const model::TrackIsolation& t) {
        // The named Signal plays the thermal Signal's part in the marking: its Items are flowed over, so
        // the tool cuts around the copper of every other net and the named net (a ground, say) is left to
        // be cleared.  It is also the Signal the strokes carry, as a pour's do.  No direct connection rule.
        std::string name(t.signal, strnlen(t.signal, sizeof t.signal));
        Ref sig = name.empty() ? model::kNone : model::find_signal(name, false);

        FillHooks hooks;
        hooks.draw = draw;
        FillRun fr(doc, block, hooks, run);
        // Records continue the group that an earlier side (or pass) opened.
        fr.result().created = res.created;
        fr.set_layers(t.target, t.sources);
        fr.mark_obstacles(sig, sig, model::kNone);
        fr.set_signal(sig);

        if (t.iso_tool > 0 && t.passes > 0) {
            fr.set_width(t.iso_tool);
            Coord clearance = t.iso_clearance;
            for (int i = 1; i <= t.passes && !stopped(fr); ++i) {
                Ref c = open_component(("$IS" + std::to_string(i)).c_str(), t.target);
                if (c == model::kNone) {
                    break;
                }
                fr.set_isolation(clearance, clearance);
                fr.set_target(c);
                fr.trace_contours(false);
                fr.set_target(model::kNone);
                close_component(fr, c);
                clearance = model::clamp_coord(int64_t{clearance} + t.iso_tool - t.iso_overlap);
            }
        }
        if (t.flood_tool > 0 && !stopped(fr)) {
            fr.set_width(t.flood_tool);
            fr.set_isolation(t.flood_clearance, t.flood_clearance);
            Ref c = open_component("$FLD", t.target);
            if (c != model::kNone) {
                fr.set_target(c);
                Coord half = t.flood_tool / 2;
                Coord step = std::max<Coord>(t.flood_tool - t.flood_overlap, kMinRowStep);
                fr.lay_rows(model::clamp_coord(int64_t{block.bottom} + half), step,
                            model::clamp_coord(int64_t{block.top} - half));
                fr.set_target(model::kNone);
                close_component(fr, c);
            }
        }
        const FillResult& fres = fr.result();
        res.created = fres.created;
        res.cancelled = res.cancelled || fres.cancelled || run.cancelled();
        res.out_of_nodes = res.out_of_nodes || fres.out_of_nodes;
    } // the FillRun clears its marks here
};

} // namespace

IsolateResult isolate_tracks(model::Document& doc, const edit::Block& block, Side side,
                             const std::function<void(model::Ref)>& draw, platform::RunContext& run) {
    IsolateResult res;
    if (!block.defined_in(doc)) {
        return res;
    }
    SideRun sr{doc, block, draw, run, res};
    if (side == Side::Top || side == Side::Both) {
        sr.side(doc.setup.iso_top);
    }
    if (side == Side::Bottom || (side == Side::Both && !res.cancelled && !res.out_of_nodes)) {
        sr.side(doc.setup.iso_bottom);
    }
    if (res.created > 0) {
        doc.mark_modified();
    }
    return res;
}

} // namespace trazel::copper
