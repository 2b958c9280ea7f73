#pragma once
// A board for the router tests: the two-sided set-up of the net tests (top copper routes X, bottom copper
// Y), 12-mil tracks and 10-mil clearances, Ratnest line and pad builders, and a run that collects the
// log's lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nets/net_board.h"
#include "nets/netlog.h"
#include "platform/headless.h"
#include "router/router.h"

namespace router_test {

using namespace nets_test;
using router::PassResult;
using router::RouteSettings;
using router::RouteSummary;

constexpr Coord kTrack = 786, kClear = 655;

struct RouterBoard : NetBoard {
    RouteSettings set;
    std::vector<std::string> log_lines;
    platform::Headless ui;

    void SetUp() override {
        NetBoard::SetUp();
        d->setup.line_width = kTrack;
        d->setup.clear_line_line = d->setup.clear_line_pad = d->setup.clear_pad_pad = kClear;
        set = RouteSettings::from_setup(d->setup);
    }
    Ref rat(Point a, Point b, const char* sig = nullptr) {
        Ref l = model::MakeItem(ring(), model::kLine, 255, 721, a.x, a.y, b.x, b.y);
        if (sig != nullptr) {
            model::AttachSignal(l, sig);
        }
        return l;
    }
    // A round through-hole pad 0.06 inch across.
    Ref thru(Coord x, Coord y, const char* sig = nullptr, uint16_t w = 3932, uint16_t h = 3932) {
        return pad(0, x, y, kOvalThru, sig, w, h);
    }
    RouteSummary route(uint32_t flags, router::RouteHooks hooks = {}, platform::RunContext* ctx = nullptr) {
        set.flags = flags;
        nets::Log log;
        log_lines.clear();
        log.echo = [&](std::string_view l) { log_lines.emplace_back(l); };
        platform::RunContext own(ui);
        return router::route_run(*d, set, log, ctx != nullptr ? *ctx : own, hooks);
    }
    // The log lines without their last 13 columns (the elapsed time).
    std::vector<std::string> untimed() const {
        std::vector<std::string> out;
        for (const std::string& l : log_lines) {
            bool timed = l.size() == 79 && l.back() >= '0' && l.back() <= '9';
            out.push_back(timed ? l.substr(0, 66) : l);
        }
        return out;
    }
    // The Lines of the top level on `layer` (Solids aside), in ring order.
    std::vector<Ref> lines_on(int layer) const {
        std::vector<Ref> out;
        for (Ref r : model::items_in(ring())) {
            if (node(r).item_kind() == model::kLine && node(r).layer == layer && node(r).size != 0) {
                out.push_back(r);
            }
        }
        return out;
    }
    static bool runs(Ref l, Point a, Point b) {
        const model::Node& n = node(l);
        return n.line.x1 == a.x && n.line.y1 == a.y && n.line.x2 == b.x && n.line.y2 == b.y;
    }
};

// "name" padded to 27 columns, then the counts as the log writes them (without the time).
inline std::string pass_text(const std::string& name, const std::string& numbers) {
    std::string l = name;
    l.resize(27, ' ');
    return l + numbers;
}

} // namespace router_test
