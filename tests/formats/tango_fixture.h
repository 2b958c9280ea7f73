#pragma once
// What the Tango tests share: a model with the Data file formats, the board and schematic readers run
// on text into a fresh Document, the writer into a string, and a summary of a board's copper and
// Components to compare boards before and after a round trip.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "formats/tango.h"
#include "formats/tango_tokens.h"
#include "model/chooser.h"
#include "model/datafile.h"
#include "model/model.h"
#include "model/old_format.h"
#include "platform/headless.h"

namespace tango_test {

using namespace trazel;
using model::Coord;
using model::node;
using model::Ref;

inline int mil(int64_t units) {
    return model::units_to_old_length(units);
}

inline std::string slurp_path(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}
inline std::string source_file(const std::string& rel) {
    return slurp_path(std::string(TRAZEL_SOURCE_DIR) + "/" + rel);
}

struct Tango : ::testing::Test {
    model::Model m;
    model::Document* d = nullptr;
    model::FormatTable formats;
    platform::Headless ui;
    formats::SkipReport skipped;

    void SetUp() override {
        platform::install(&ui);
        model::register_model_formats(formats);
        d = model::NewDocument("board.pcb");
        ASSERT_NE(d, nullptr);
    }
    void TearDown() override {
        platform::install(nullptr);
    }
    Ref ring() const {
        return d->ring();
    }
    void fresh(const char* name = "board.pcb") {
        model::close_document(d);
        d = model::NewDocument(name);
        skipped.clear();
    }
    formats::ImportJob job() {
        formats::ImportJob j;
        j.file = "board.pcb";
        j.skipped = &skipped;
        return j;
    }
    char board(const std::string& text) {
        model::LineReader in;
        in.open_memory(text);
        return formats::read_tango_board(in, *d, job());
    }
    char schematic(const std::string& text) {
        model::LineReader in;
        in.open_memory(text);
        return formats::read_tango_schematic(in, *d, job());
    }
    std::string written(std::vector<std::string>* losses = nullptr) {
        std::string s;
        model::OutBuffer o;
        o.open_memory(&s);
        EXPECT_TRUE(formats::write_tango_board(*d, o, losses));
        o.commit();
        return s;
    }
    bool reported(std::string_view construct) const {
        for (const formats::SkipEntry& e : skipped) {
            if (e.construct == construct) {
                return true;
            }
        }
        return false;
    }
    // The Items of one kind in walk order, members included (Solids are Lines of size 0).
    std::vector<Ref> all(uint8_t kind, bool solids = false) const {
        std::vector<Ref> v;
        model::walk_tree(ring(), [&](Ref r, int) {
            const model::Node& n = node(r);
            if (n.item_kind() == kind && (kind != model::kLine || (n.size == 0) == solids)) {
                v.push_back(r);
            }
        });
        return v;
    }
    static std::string signal_of(Ref r) {
        Ref s = model::item_signal(r);
        return s == model::kNone ? "-" : model::signal_name(s);
    }
};

// A board's copper, texts and Components in thousandths, as Tango keeps them; `layers` maps each layer
// to the one it reads back as (identity for a board read from Tango).
struct Summary {
    std::multiset<std::string> pads, tracks, arcs, solids, texts, components;
    std::map<std::string, int> signal_uses;

    bool operator==(const Summary&) const = default;
};

inline Summary summarize(Ref ring, const std::array<int, 256>& layers) {
    Summary s;
    std::string owner;
    model::walk_tree(ring, [&](Ref r, int depth) {
        const model::Node& n = node(r);
        if (n.hidden()) {
            return false;
        }
        if (depth == 0) {
            owner = n.item_kind() == model::kComponent ? model::ComponentField(r, 1) : "";
        }
        std::string sig = Tango::signal_of(r), at = owner + " ";
        switch (n.item_kind()) {
        case model::kComponent:
            if (depth == 0) {
                int members = 0;
                model::walk_tree(model::member_ring(r), [&](Ref, int) { ++members; });
                std::string fields;
                for (int f = 0; f < 5; ++f) {
                    fields += model::ComponentField(r, f) + "|";
                }
                s.components.insert(fields + " " + std::to_string(members));
            }
            break;
        case model::kPad: {
            int type = n.size & 7;
            bool turned = n.pad.angle == 16384 || n.pad.angle == 49152;
            s.pads.insert(at + std::to_string(mil(n.pad.x0)) + "," + std::to_string(mil(n.pad.y0)) +
                          (type == 3    ? " via"
                           : (type & 4) ? " surface"
                                        : " hole") +
                          " " + std::to_string(mil(turned ? n.pad.height : n.pad.width)) + "x" +
                          std::to_string(mil(turned ? n.pad.width : n.pad.height)) + " " + model::pin_text(r) + " " +
                          sig);
            break;
        }
        case model::kLine:
            if (n.size == 0) {
                std::string v = at + std::to_string(layers[n.layer]);
                for (Ref p = n.link; p != model::kNone; p = node(p).link) {
                    v += " " + std::to_string(mil(node(p).line.x1)) + "," + std::to_string(mil(node(p).line.y1));
                }
                s.solids.insert(v);
            } else {
                s.tracks.insert(at + std::to_string(layers[n.layer]) + " " + std::to_string(mil(n.size)) + " " +
                                std::to_string(mil(n.line.x1)) + "," + std::to_string(mil(n.line.y1)) + " " +
                                std::to_string(mil(n.line.x2)) + "," + std::to_string(mil(n.line.y2)) + " " + sig);
            }
            break;
        case model::kArc:
            s.arcs.insert(at + std::to_string(layers[n.layer]) + " " + std::to_string(mil(n.arc.x0)) + "," +
                          std::to_string(mil(n.arc.y0)) + " r" + std::to_string(mil(n.arc.radius)) + " " +
                          std::to_string(n.arc.start * 360 / 65536) + "+" + std::to_string(n.arc.sweep * 360 / 65536) +
                          " " + sig);
            break;
        case model::kText: {
            model::Point c = model::text_corner_offset(n.text.anchor_font & 15, n.size, n.text.length, n.text.angle);
            s.texts.insert(at + std::to_string(layers[n.layer]) + " " + std::to_string(mil(n.text.x0 + c.x)) + "," +
                           std::to_string(mil(n.text.y0 + c.y)) + " h" + std::to_string(mil(n.size)) + " a" +
                           std::to_string(n.text.angle) + (n.text.length < 0 ? " mirrored " : " ") +
                           model::resolved_text(r));
            break;
        }
        default:
            break;
        }
        if (sig != "-" && n.item_kind() != model::kText) {
            ++s.signal_uses[sig];
        }
        return true;
    });
    return s;
}

inline std::array<int, 256> identity_layers() {
    std::array<int, 256> a{};
    for (int k = 0; k < 256; ++k) {
        a[k] = k;
    }
    return a;
}

// Where each layer of `s` reads back after the writer numbered it.
inline std::array<int, 256> tango_layers(const model::Setup& s) {
    std::array<int, 256> n = formats::tango::layer_numbers(s), a{};
    for (int k = 0; k < 256; ++k) {
        a[k] = formats::tango::layer_from_tango(n[k]);
    }
    return a;
}

} // namespace tango_test
