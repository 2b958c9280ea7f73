// The interactive Net scan.
#include "nets/netscan.h"

#include "nets/ratnest.h"
#include "nets/trace.h"

namespace trazel::nets {

using model::node;

namespace {

// Steps 2 to 7 once the net is traced: its old Ratnest lines go, a crosslink or an unknown pin is
// reported, clusters are joined by Ratnest lines, and a routed net gets its drill and clearance checks.
NetCheck go_on(NetState& s, TraceResult traced) {
    NetCheck c;
    if (traced == TraceResult::Interrupted) {
        c.count = -1;
        return c;
    }
    if (traced == TraceResult::Nothing) {
        return c;
    }
    c.reached = true;
    if (s.current_signal != model::kNone) {
        delete_ratnest(s, s.current_signal);
    }
    while (true) {
        c.signal = s.current_signal;
        if (s.crosslink_pad != model::kNone) {
            c.problem = NetProblem::Crosslink;
            c.first = s.crosslink_pad;
            c.other = model::item_signal(s.crosslink_pad);
            c.count += 1;
            return c;
        }
        if (s.unsignaled_pad != model::kNone) {
            c.problem = NetProblem::Unsignaled;
            c.first = s.unsignaled_pad;
            c.count += 1;
            return c;
        }
        if (s.current_signal == model::kNone) {
            return c;
        }
        propagate_signal(s, s.current_signal);
        Ref pad = next_rat_line(s);
        if (pad == model::kNone) {
            break;
        }
        ++c.count;
        if (trace_from_pad(s, pad) == TraceResult::Interrupted) {
            c.count = -1;
            return c;
        }
    }
    if (c.count > 0) {
        c.problem = NetProblem::NotRouted;
        return c;
    }
    auto first = [&](NetProblem kind) {
        return [&c, kind](const Finding& f) {
            c.problem = kind;
            c.first = f.source;
            c.second = f.kind == FindingKind::DuplicatePad ? model::kNone : f.target; // a duplicate is gone
            return false;
        };
    };
    if (check_drill_holes(s, first(NetProblem::PadParameter)) > 0) {
        c.count = 1;
        return c;
    }
    int found = check_clearances(s, clearances_of(s.doc->setup), first(NetProblem::Clearance));
    if (found < 0) {
        c.count = -1;
        c.problem = NetProblem::None;
    } else if (found > 0) {
        c.count = 1;
    }
    return c;
}

} // namespace

NetCheck check_net_at_point(NetState& s, int layer, Coord reach, Point p) {
    clear_all_marks(s);
    return go_on(s, trace_from_point(s, layer, reach, p));
}

NetCheck check_net_from_pad(NetState& s, Ref pad) {
    clear_all_marks(s);
    set_current_signal(s, model::kNone);
    s.crosslink_pad = s.unsignaled_pad = model::kNone;
    return go_on(s, trace_from_pad(s, pad));
}

std::map<Ref, Ref> first_pads(const model::Document& doc) {
    std::map<Ref, Ref> out;
    model::walk_tree(doc.ring(), [&](Ref r, int) {
        if (node(r).item_kind() == model::kPad && !node(r).hidden()) {
            Ref sig = model::item_signal(r);
            if (sig != model::kNone) {
                out.emplace(sig, r);
            }
        }
    });
    return out;
}

std::string problem_text(const NetCheck& c) {
    std::string name = model::signal_name(c.signal);
    switch (c.problem) {
    case NetProblem::Crosslink:
        return "Signal <" + name + "> is crosslinked to signal <" + model::signal_name(c.other) + ">.";
    case NetProblem::Unsignaled:
        return "Signal <" + name + "> is linked to unknown pins.";
    case NetProblem::NotRouted:
        return "Signal <" + name + "> is not completely routed.";
    default:
        return {};
    }
}

} // namespace trazel::nets
