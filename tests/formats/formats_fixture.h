#pragma once
// Shared helpers of the import tests: a fresh Document, a reader run on text, and the Items it made
// sorted by kind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/excellon_in.h"
#include "formats/gerber_in.h"
#include "model/model.h"

namespace fmttest {

using namespace trazel;
using model::Coord;
using model::Ref;

constexpr Coord kIn = 65536;

inline Coord mil(int64_t m) {
    return model::mils_to_units(m);
}

struct Import : ::testing::Test {
    model::Model m;
    model::Document* d = nullptr;
    formats::SkipReport skipped;
    formats::ImportQuestions ask;
    formats::ImportStats stats;
    std::string file = "C:\\cam\\board.top";

    void SetUp() override {
        d = model::NewDocument("board.pcb");
        ASSERT_NE(d, nullptr);
    }
    formats::ImportJob job(char forced) {
        formats::ImportJob j;
        j.file = file;
        j.forced = forced;
        j.ask = &ask;
        j.skipped = &skipped;
        return j;
    }
    char gerber(const std::string& text, char forced = 'G') {
        return formats::read_gerber_bytes(text, *d, job(forced), &stats);
    }
    char drill(const std::string& text, char forced = 'I') {
        return formats::read_excellon_bytes(text, *d, job(forced), &stats);
    }
    std::vector<Ref> items(uint8_t kind, bool solids = false) {
        std::vector<Ref> v;
        for (Ref r : model::items_in(d->ring())) {
            const model::Node& n = model::node(r);
            if (n.item_kind() != kind) {
                continue;
            }
            if (kind == model::kLine && (n.size == 0) != solids) {
                continue;
            }
            v.push_back(r);
        }
        return v;
    }
    std::vector<Ref> lines() {
        return items(model::kLine);
    }
    std::vector<Ref> solids() {
        return items(model::kLine, true);
    }
    std::vector<Ref> pads() {
        return items(model::kPad);
    }
    std::vector<Ref> arcs() {
        return items(model::kArc);
    }
    bool reported(std::string_view construct) const {
        for (const formats::SkipEntry& e : skipped) {
            if (e.construct == construct) {
                return true;
            }
        }
        return false;
    }
    static const model::Node& n(Ref r) {
        return model::node(r);
    }
};

// A Gerber body with the usual header.
inline std::string x_file(std::string_view body, std::string_view fs = "%FSLAX24Y24*%\n") {
    return std::string(fs) + std::string(body) + "M02*\n";
}

} // namespace fmttest
