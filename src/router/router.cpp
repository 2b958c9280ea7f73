#include "router/router.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <vector>

#include "edit/undo.h"
#include "nets/netlog.h"
#include "nets/ratnest.h"
#include "router/maze.h"
#include "router/passes.h"
#include "router/via_passes.h"
#include "router/queries.h"
#include "router/sort.h"

namespace trazel::router {

using model::Node;
using model::node;

int layer_direction(const model::Setup& s, int layer) {
    return (s.layers[static_cast<size_t>(layer) & 255].type >> 4) & 3;
}

void set_layer_direction(model::Setup& s, int layer, int direction) {
    model::LayerEntry& e = s.layers[static_cast<size_t>(layer) & 255];
    e.type = static_cast<decltype(e.type)>((e.type & ~0x30) | ((direction & 3) << 4));
}

RouteSettings RouteSettings::from_setup(const model::Setup& s) {
    RouteSettings r;
    r.flags = s.router_algorithms;
    r.track_width = s.line_width;
    r.via_pad = s.via_diameter;
    r.via_hole = s.via_hole;
    r.clear_line_line = s.clear_line_line;
    r.clear_line_pad = s.clear_line_pad;
    r.clear_pad_pad = s.clear_pad_pad;
    return r;
}

std::string phase_line(std::string_view name, uint32_t processed, int64_t millis) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%-27.*s%9u%30s%13.3f", static_cast<int>(name.size()), name.data(), processed, "",
                  static_cast<double>(millis) / 1000.0);
    return buf;
}

std::string pass_line(std::string_view name, const PassResult& r, uint32_t total, int64_t millis) {
    // 16.16 fixed point in 64 bits: the counts are 32-bit, so routed x 65536 cannot wrap.
    uint64_t ratio = r.processed == 0 ? 0 : (uint64_t{r.routed} << 16) / r.processed;
    uint64_t percent = total == 0 ? 0 : ((uint64_t{r.routed} << 16) / total) * 100;
    char buf[160];
    std::snprintf(buf, sizeof buf, "%-27.*s%9u%9u%10.3f%10.2f%%%13.3f", static_cast<int>(name.size()), name.data(),
                  r.processed, r.routed, static_cast<double>(ratio) / 65536.0, static_cast<double>(percent) / 65536.0,
                  static_cast<double>(millis) / 1000.0);
    return buf;
}

namespace {

using Clock = std::chrono::steady_clock;

int64_t since(Clock::time_point t0) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

// Only copper is seen while routing: the layer colours are saved, then restored however the run ends.
class CopperView {
  public:
    CopperView(Router& r) : r_(r) {
        model::Setup& s = r.doc.setup;
        r.change([&] {
            for (size_t l = 0; l < 256; ++l) {
                model::LayerEntry& e = s.layers[l];
                saved_[l] = Saved{e.colour, e.plot, e.pixel};
                bool on = l == 0 || (e.type & 3) == 2;
                e.colour = on ? (e.colour & ~model::kNoColour) : (e.colour | model::kNoColour);
                e.plot = on ? (e.plot & ~model::kNoColour) : (e.plot | model::kNoColour);
            }
        });
    }
    ~CopperView() {
        model::Setup& s = r_.doc.setup;
        r_.change([&] {
            for (size_t l = 0; l < 256; ++l) {
                model::LayerEntry& e = s.layers[l];
                e.colour = saved_[l].colour;
                e.plot = saved_[l].plot;
                e.pixel = saved_[l].pixel;
            }
        });
    }
    CopperView(const CopperView&) = delete;
    CopperView& operator=(const CopperView&) = delete;

  private:
    struct Saved {
        uint32_t colour, plot, pixel;
    };
    Router& r_;
    std::array<Saved, 256> saved_{};
};

// Every top-level Component gets its box from its members and loses its Hidden flag and run-time marks.
void prepare_components(Router& r) {
    for (Ref c : model::items_in(r.doc.ring())) {
        Node& n = node(c);
        if (n.item_kind() != model::kComponent || n.link == model::kNone) {
            continue;
        }
        Coord x1 = n.box.x1, y1 = n.box.y1, x2 = n.box.x2, y2 = n.box.y2;
        model::members_box(n.link, x1, y1, x2, y2);
        auto kind = static_cast<uint8_t>(n.kind & ~(model::kHiddenFlag | model::kRunTimeMarks));
        if (x1 != n.box.x1 || y1 != n.box.y1 || x2 != n.box.x2 || y2 != n.box.y2 || kind != n.kind) {
            r.change([&] {
                edit::RecordModified(r.doc, c, r.undo_number++);
                n.box.x1 = x1, n.box.y1 = y1, n.box.x2 = x2, n.box.y2 = y2;
                n.kind = kind;
                r.doc.mark_modified();
            });
        }
    }
}

// "Deleting pre-routes:": top-level tracks and Arcs on routing layers and on the Ratnest layer, and every
// via on any layer.
uint32_t delete_preroutes(Router& r) {
    const model::Setup& s = r.doc.setup;
    std::vector<Ref> doomed;
    for (Ref x : model::items_in(r.doc.ring())) {
        const Node& n = node(x);
        uint8_t k = n.item_kind();
        bool routing_layer = layer_direction(s, n.layer) != 0 || n.layer == model::kRatnestLayer;
        if (((k == model::kLine && n.size != 0) || k == model::kArc) && routing_layer) {
            doomed.push_back(x);
        } else if (k == model::kPad && (n.size & 7) == 3) {
            doomed.push_back(x);
        }
    }
    r.change([&] {
        for (Ref x : doomed) {
            edit::RecordDeleted(r.doc, x, r.undo_number++);
        }
        if (!doomed.empty()) {
            r.doc.mark_modified();
        }
    });
    return static_cast<uint32_t>(doomed.size());
}

// "Creating ratnest lines:": the spanning tree of every Signal (the net scan's Ratnest builder, with the
// index or with its plain walk as the settings say).
uint32_t create_ratnest(Router& r) {
    int added = 0;
    r.change([&] {
        nets::NetState ns(r.doc);
        ns.plain = r.set.plain;
        ns.undo_number = r.undo_number;
        added = nets::build_ratnest(ns);
        r.undo_number = ns.undo_number;
    });
    for (Ref l : ratnest_lines(r.doc)) {
        r.draw(l);
    }
    return static_cast<uint32_t>(added);
}

// "Sorting ratnest lines:": the chosen lines are re-linked so that the backward walk from the head meets
// them in order.  A line this run did not make moves by its undo records: deleted from its place and a
// copy made in the new one, so that undo puts the original back where it was.
uint32_t sort_ratnest(Router& r, bool fresh) {
    std::vector<Ref> lines;
    for (Ref x : model::items_in(r.doc.ring())) {
        if (is_ratnest_line(x) && !node(x).hidden()) {
            lines.push_back(x);
        }
    }
    std::vector<SortKey> keys;
    keys.reserve(lines.size());
    for (Ref x : lines) {
        keys.push_back(sort_key(node(x)));
    }
    std::vector<uint32_t> order = r.set.plain ? selection_order(keys) : fast_order(keys);
    Ref anchor = r.doc.ring();
    r.change([&] {
        for (uint32_t i : order) {
            Ref line = lines[i];
            if (node(line).next != anchor) {
                if (fresh) {
                    model::MoveBefore(line, anchor);
                } else {
                    const Node n = node(line);
                    Ref c = model::MakeItem(r.doc.ring(), model::kLine, n.layer, n.size, n.line.x1, n.line.y1,
                                            n.line.x2, n.line.y2);
                    if (c != model::kNone) {
                        node(c).kind = static_cast<uint8_t>(n.kind & ~model::kRunTimeMarks);
                        node(c).line.spare = n.line.spare;
                        if (Ref sig = model::item_signal(line); sig != model::kNone) {
                            model::AttachSignal(c, model::signal_name(sig));
                        }
                        edit::RecordDeleted(r.doc, line, r.undo_number++);
                        model::MoveBefore(c, anchor);
                        edit::RecordCreated(r.doc, c, r.undo_number++);
                        line = c;
                    }
                }
                r.doc.mark_modified();
            }
            anchor = line;
        }
    });
    for (Ref x : ratnest_lines(r.doc)) {
        r.draw(x);
    }
    return static_cast<uint32_t>(lines.size());
}

void clear_marks(model::Document& doc) {
    model::walk_tree(doc.ring(), [](Ref x, int) { node(x).kind &= static_cast<uint8_t>(~model::kMarkFlag); });
}

} // namespace

RouteSummary route_run(model::Document& doc, const RouteSettings& settings, nets::Log& log, platform::RunContext& run,
                       const RouteHooks& hooks) {
    RouteSummary sum;
    Router r(doc, settings, hooks, &run);
    int64_t all_time = 0;

    // 1. The header.
    const std::string rule(79, '-');
    log.line(rule);
    log.line("ALGORITHM                      TRACKS   TRACKS     HIT    PERCENTAGE    ELAPSED");
    log.line("DESCRIPTION                  PROCESSED  ROUTED    RATIO    OF TOTAL       TIME");
    log.line(rule);
    log.line("");

    {
        // 2. Only copper shown until the end of the run.
        CopperView view(r);
        r.change([&] { clear_marks(doc); });
        // 3. Components.
        prepare_components(r);

        // 4. Pre-routes and new Ratnest lines.
        bool fresh = (settings.flags & kClearPreroutes) != 0;
        if (fresh) {
            auto t0 = Clock::now();
            uint32_t deleted = delete_preroutes(r);
            int64_t t = since(t0);
            all_time += t;
            log.line(phase_line("Deleting pre-routes:", deleted, t));
            t0 = Clock::now();
            uint32_t made = create_ratnest(r);
            t = since(t0);
            all_time += t;
            log.line(phase_line("Creating ratnest lines:", made, t));
        }

        // 5. The order of the connections.
        auto t0 = Clock::now();
        r.total = sort_ratnest(r, fresh);
        int64_t t = since(t0);
        all_time += t;
        log.line(phase_line("Sorting ratnest lines:", r.total, t));
        sum.total = r.total;

        // 6-9. The passes.
        Queries q(doc, settings, settings.plain);
        r.q = &q;
        struct Pass {
            uint32_t flag;
            const char* name;
            PassResult (*run)(Router&);
        };
        static const Pass kPasses[] = {
            {kStraight, "Zero-via straight routes:", straight_pass},
            {kDataBus, "Zero-via data bus routes:", data_bus_pass},
            {kInline, "Zero-via inline routes:", inline_pass},
            {kLRoutes, "One-via \"L\" routes:", l_pass},
            {kZRoutes, "Via \"L\" and \"Z\" routes:", z_pass},
            {kCRoutes, "Via \"C\" routes:", c_pass},
            {kSnake, "Maze (snake) routes:", snake_pass},
        };
        for (const Pass& p : kPasses) {
            if ((settings.flags & p.flag) == 0) {
                continue;
            }
            if (run.cancelled()) {
                r.cancelled = true;
            }
            if (r.cancelled) {
                break;
            }
            t0 = Clock::now();
            PassResult res = p.run(r);
            t = since(t0);
            all_time += t;
            log.line(pass_line(p.name, res, r.total, t));
            sum.totals.processed += res.processed;
            sum.totals.routed += res.routed;
        }
        r.change([&] { clear_marks(doc); });

        // 10. Totals; 11. the colours come back as the view goes.
        log.line("");
        log.line(pass_line("Totals:", sum.totals, sum.total, all_time));
    }
    sum.cancelled = r.cancelled;
    return sum;
}

} // namespace trazel::router
