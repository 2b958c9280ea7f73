#pragma once
// The Item traversal every output writer uses: each visible Item in ring order, Component members after
// their Component; a Hidden Item is skipped together with its members.
#include <string>
#include <string_view>

#include "cam/gerber.h"
#include "model/model.h"
#include "model/node.h"

namespace trazel::cam {

template <class F> void for_each_plot_item(model::Ref head, F&& f) {
    using model::node;
    for (model::Ref r = node(head).next; r != head && node(r).item_kind() != model::kHead; r = node(r).next) {
        const model::Node& n = node(r);
        if (n.hidden()) {
            continue;
        }
        f(r);
        uint8_t k = n.item_kind();
        if ((k == model::kComponent || k == model::kDocument) && n.link != model::kNone) {
            for_each_plot_item(n.link, f);
        }
    }
}

// Path pieces of the output file names; a backslash and a slash both separate directories.
std::string path_stem(std::string_view path); // without the extension
std::string base_name(std::string_view path); // without the directory

// Lines, Solids, Arcs and Texts of the row's layers (and layer 0), as every Gerber body plots them.
void plot_drawn_items(PlotContext& ctx, const model::GerberEntry& row, GerberWriter& w, model::Ref item);

// Calls ctx.tick when the run watches progress.
inline void tick(PlotContext& ctx) {
    if (ctx.tick) {
        ctx.tick();
    }
}

} // namespace trazel::cam
