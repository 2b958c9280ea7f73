#pragma once
// The Item traversal every output writer uses: each visible Item in ring order, Component members after
// their Component; a Hidden Item is skipped together with its members.
#include <string>
#include <string_view>

#include "cam/photoplot.h"
#include "model/model.h"
#include "model/node.h"

namespace trazel::cam {

template <class F> void for_each_plot_item(model::Ref head, F&& f) {
    model::walk_tree(head, [&](model::Ref r, int) {
        if (model::node(r).hidden()) {
            return false;
        }
        f(r);
        return true;
    });
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
