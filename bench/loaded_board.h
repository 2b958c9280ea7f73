#pragma once
// A board read into a model of its own for a benchmark, runs undone between repetitions, and the shell
// command runner the peer timings use.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/wait.h>

#include "bench_support.h"
#include "edit/undo.h"
#include "model/chooser.h"
#include "model/model.h"

namespace bench {

struct Loaded {
    trazel::model::Model m;
    trazel::model::FormatTable formats;
    trazel::model::Document* d = nullptr;
    double read_ms = 0;
    size_t items = 0, components = 0;

    bool open(const std::string& file) {
        namespace model = trazel::model;
        model::register_model_formats(formats);
        d = model::NewDocument(file);
        std::string err;
        double t0 = now_ms();
        if (model::OpenDocumentFile(formats, file, 0, &err) == 0) {
            std::fprintf(stderr, "cannot read %s: %s\n", file.c_str(), err.c_str());
            return false;
        }
        read_ms = now_ms() - t0;
        model::walk_tree(d->ring(), [&](model::Ref r, int) {
            ++items;
            components += model::node(r).item_kind() == model::kComponent ? 1 : 0;
        });
        return true;
    }
};

// Undoes what one run recorded, so every run starts from the board as read.
inline void undo_run(trazel::model::Document& d, int groups_before) {
    while (trazel::edit::undo_groups(d) > groups_before) {
        trazel::edit::undo(d, nullptr);
    }
}

// A shell command's exit status (-1 when it did not exit).
inline int sh(const std::string& cmd) {
    int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

} // namespace bench
