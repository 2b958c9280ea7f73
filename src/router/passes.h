#pragma once
// The pattern passes of a routing run (straight, data-bus, in-line, "L"), the state they share, the two
// ways of committing a route and the package layout the data-bus pass reads.
#include <cstdint>
#include <functional>
#include <vector>

#include "router/queries.h"
#include "router/router.h"

namespace trazel::router {

// One run's working state.
struct Router {
    Router(model::Document& d, const RouteSettings& s, const RouteHooks& h, platform::RunContext* r)
        : doc(d), set(s), hooks(h), run(r) {
    }
    model::Document& doc;
    RouteSettings set;
    const RouteHooks& hooks;
    platform::RunContext* run;
    Queries* q = nullptr;
    int undo_number = 0; // the next record of the run's undo group
    uint32_t total = 0;  // Ratnest lines after sorting
    uint32_t routed = 0; // routed by every pass so far
    bool cancelled = false;

    // A change of the Document, under the user interface's lock when there is one.
    void change(const std::function<void()>& f) const {
        if (hooks.change) {
            hooks.change(f);
        } else {
            f();
        }
    }
    void draw(Ref r) const {
        if (hooks.draw) {
            hooks.draw(r);
        }
    }
};

// A Ratnest line: a Line of non-zero width on layer 255.
bool is_ratnest_line(Ref r);
// The Ratnest lines in the order the passes meet them: walking the ring backwards from its head.
std::vector<Ref> ratnest_lines(const model::Document& doc);

// Commits: the Ratnest line becomes the track on `layer`; or it is replaced by the Lines through `pts`.
void convert_line(Router& r, Ref line, int layer);
void replace_line(Router& r, Ref line, int layer, const std::vector<Point>& pts);

// The package layout of a Pad: pitch in the high 16 bits, layout code in the low bits (0 unclassified).
uint32_t package_layout(Ref pad);

PassResult straight_pass(Router& r);
PassResult data_bus_pass(Router& r);
PassResult inline_pass(Router& r);
PassResult l_pass(Router& r);

} // namespace trazel::router
