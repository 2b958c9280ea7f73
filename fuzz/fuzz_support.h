#pragma once
// What the harnesses share: the model, the headless platform and the Data file formats made once per
// process, a Document read from the fuzzer's bytes, a scratch path per process, and the pool check of
// the readers that build a Document of their own.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include <unistd.h>

#include "edit/undo.h"
#include "model/chooser.h"
#include "model/model.h"
#include "model/out_buffer.h"
#include "platform/headless.h"

namespace fuzz_support {

using namespace trazel;

// The process's headless platform (installed), its model and its Data file formats; the platform's
// record of boxes, sounds and reports is emptied on every call.
struct World {
    platform::Headless& ui;
    model::Model& model;
    model::FormatTable& formats;
};
inline World& world() {
    static World w{*[] {
                       auto* p = new platform::Headless;
                       platform::install(p);
                       return p;
                   }(),
                   *new model::Model, *[] {
                       auto* t = new model::FormatTable;
                       model::register_model_formats(*t);
                       return t;
                   }()};
    w.ui.boxes.clear();
    w.ui.sounds.clear();
    w.ui.reports.clear();
    return w;
}

// A file in the temporary folder named after the harness and the process, so parallel jobs do not meet.
inline std::string scratch_path(std::string_view harness, std::string_view extension) {
    return (std::filesystem::temp_directory_path() /
            (std::string(harness) + "_" + std::to_string(::getpid()) + std::string(extension)))
        .string();
}

inline void discard_document(model::Document* d) {
    if (d != nullptr) {
        edit::release_undo(*d);
        model::close_document(d);
    }
}

// The bytes read as a Data file into a new current Document; nullptr (and nothing left open) when they
// are not one.
inline model::Document* read_document(World& w, std::string_view bytes, std::string_view name = "fuzz.pcb") {
    model::Document* d = model::NewDocument(name);
    if (d == nullptr || model::open_document_bytes(w.formats, bytes, 0) == 0) {
        discard_document(w.model.current);
        return nullptr;
    }
    return d;
}

inline std::string data_file(World& w) {
    std::string out;
    model::save_document_bytes(w.formats, out, 'C');
    return out;
}

// Undoes the groups above `groups` and stops the run when the Data file is not `before` again.
inline void expect_undone(World& w, model::Document& d, int groups, const std::string& before, const char* what) {
    while (edit::undo_groups(d) > groups) {
        edit::undo(d, nullptr);
    }
    std::string after = data_file(w);
    if (after != before) {
        std::fprintf(stderr, "undoing %s did not give the board back\n--- before\n%s\n--- after\n%s\n", what,
                     before.c_str(), after.c_str());
        std::abort();
    }
}

// For the importers that build into a Document of their own: a model with a small pool (so blow-ups meet
// its end quickly), and the check that closing the Document gave back every Node it took.
inline model::Model& small_model() {
    static model::Model& m = *[] {
        auto* model = new model::Model;
        model->pool.set_block_limit(24);
        return model;
    }();
    return m;
}
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// Every point an imported Item carries lies within the coordinate limit.  Give it the Items, not the
// Components: a Component's own box may reach past the limit by an Arc's radius (it still fits 32 bits).
inline void expect_within_limit(model::Ref item) {
    model::for_each_point(
        item,
        [](model::Coord& x, model::Coord& y) {
            if (x > model::kCoordLimit || x < -model::kCoordLimit || y > model::kCoordLimit ||
                y < -model::kCoordLimit) {
                fail("a point beyond the coordinate limit");
            }
        },
        [](model::Node&) {});
}

// Each entry of an importer's skip report names a construct and a count.
template <class Report> void expect_skips_well_formed(const Report& skipped) {
    for (const auto& e : skipped) {
        if (e.construct.empty() || e.objects < 0) {
            fail("a malformed skip report entry");
        }
    }
}

inline void expect_pool_back(const model::Model& m, uint32_t used_before) {
    if (m.pool.used_count() != used_before) {
        std::fprintf(stderr, "%u Nodes were not given back\n", m.pool.used_count() - used_before);
        std::abort();
    }
}

// The frame of an importer harness: the small model, and the Nodes and Signals in use before the input,
// so that `expect_back` can tell every Node came back once the Documents closed (each new Signal keeps
// its Node).
struct PoolWatch {
    model::Model& m = small_model();
    uint32_t used = m.pool.used_count();
    size_t signals = m.signal_index.size();

    void expect_back() const {
        expect_pool_back(m, used + static_cast<uint32_t>(m.signal_index.size() - signals));
    }
};

// The Items of a board by kind, depth first into Components, each checked as an import must leave it:
// within the coordinate limit (Components' own boxes aside: they may reach past it by an Arc's radius),
// Solids with three vertices or more, no empty Component.
struct ItemCounts {
    long pads = 0, tracks = 0, arcs = 0, solids = 0, marked = 0;
    bool same_shapes(const ItemCounts& o, bool with_solids) const {
        return pads == o.pads && tracks == o.tracks && arcs == o.arcs && (!with_solids || solids == o.solids);
    }
};

inline ItemCounts check_board(model::Ref ring) {
    ItemCounts c;
    model::walk_tree(ring, [&](model::Ref r, int) {
        const model::Node& n = model::node(r);
        c.marked += n.marked();
        switch (n.item_kind()) {
        case model::kPad:
            ++c.pads;
            break;
        case model::kArc:
            ++c.arcs;
            break;
        case model::kLine:
            if (n.size != 0) {
                ++c.tracks;
                break;
            }
            ++c.solids;
            if (model::vertex_count(r) < 3) {
                fail("a Solid with fewer than three vertices");
            }
            break;
        case model::kComponent:
            if (model::ring_empty(model::member_ring(r))) {
                fail("an empty Component");
            }
            return;
        default:
            break;
        }
        expect_within_limit(r);
    });
    return c;
}

// The board written by `write(OutBuffer&)` into memory; a writer failing in memory stops the run.
template <class Write> std::string written(Write&& write) {
    std::string out;
    model::OutBuffer o;
    o.open_memory(&out);
    if (!write(o)) {
        fail("the writer failed in memory");
    }
    o.commit();
    return out;
}

// The written copy, read back by `read(bytes, Document&)` (true when it took the file), has the Items
// of the board it came from (its Solids too when the format keeps them).
template <class Read>
void expect_reads_back(const std::string& copy, const ItemCounts& first, bool with_solids, Read&& read) {
    model::Document* again = model::NewDocument("again.pcb");
    if (again != nullptr && read(copy, *again)) {
        ItemCounts second = check_board(again->ring());
        if (!second.same_shapes(first, with_solids)) {
            std::fprintf(stderr, "pads %ld/%ld tracks %ld/%ld arcs %ld/%ld solids %ld/%ld\n", first.pads,
                         second.pads, first.tracks, second.tracks, first.arcs, second.arcs, first.solids,
                         second.solids);
            fail("the written board did not read back");
        }
    }
    model::close_document(again);
}

} // namespace fuzz_support
