// Every footprint of THD.LIB and SMD.LIB placed on a board and photoplotted: gerbv reads every file
// without complaint, sees one flash per pad on each copper side at the pad's centre, and one hole per
// drilled pad at its centre with its size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <map>
#include <vector>

#include "cli/cli_runner.h"
#include "cli/library_text.h"

using namespace cli_test;

namespace {

bool have_gerbv() {
    return std::system("command -v gerbv >/dev/null 2>&1") == 0;
}

std::string complaints(const std::string& err) {
    std::string bad;
    for (const std::string& l : lib_text::lines_of(err)) {
        if (l.find("CRITICAL") != std::string::npos || l.find("WARNING") != std::string::npos) {
            bad += l + "\n";
        }
    }
    return bad;
}

// Positions in 1/10000 inch, the resolution of our photoplots, so both sides compare exactly.
using Spot = std::pair<long, long>;

Spot spot(double x, double y) {
    return {std::lround(x * 10000), std::lround(y * 10000)};
}

// Flash positions of a Gerber file as gerbv exports it (%FSLAX36Y36*%, modal coordinates).
std::vector<Spot> flashes(const std::string& text) {
    std::vector<Spot> out;
    double x = 0, y = 0;
    for (const std::string& l : lib_text::lines_of(text)) {
        if (l.empty() || l[0] == '%' || l.rfind("G04", 0) == 0) {
            continue;
        }
        size_t px = l.find('X'), py = l.find('Y');
        if (px != std::string::npos) {
            x = std::atof(l.c_str() + px + 1) / 1e6;
        }
        if (py != std::string::npos) {
            y = std::atof(l.c_str() + py + 1) / 1e6;
        }
        if (l.find("D03") != std::string::npos) {
            out.push_back(spot(x, y));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

struct Hole {
    Spot at;
    double diameter; // inches
};

// Holes of a drill file as gerbv exports it ("T10C0.035", "X012500Y001000": inches with four decimals),
// in the order of their positions.
std::vector<Hole> holes(const std::string& text) {
    std::map<int, double> tools;
    std::vector<Hole> out;
    int tool = 0;
    for (const std::string& l : lib_text::lines_of(text)) {
        if (l.size() > 1 && l[0] == 'T' && std::isdigit(static_cast<unsigned char>(l[1]))) {
            tool = std::atoi(l.c_str() + 1);
            size_t c = l.find('C');
            if (c != std::string::npos) {
                tools[tool] = std::atof(l.c_str() + c + 1);
            }
        } else if (!l.empty() && l[0] == 'X') {
            size_t py = l.find('Y');
            double x = std::atof(l.substr(1, py - 1).c_str()) / 10000, y = std::atof(l.c_str() + py + 1) / 10000;
            out.push_back(Hole{spot(x, y), tools[tool]});
        }
    }
    std::sort(out.begin(), out.end(), [](const Hole& a, const Hole& b) { return a.at < b.at; });
    return out;
}

// "" when both lists of positions are the same; otherwise how many differ and the first few of them.
std::string differences(const std::vector<Spot>& seen, const std::vector<Spot>& want) {
    std::vector<Spot> extra, missing;
    std::set_difference(seen.begin(), seen.end(), want.begin(), want.end(), std::back_inserter(extra));
    std::set_difference(want.begin(), want.end(), seen.begin(), seen.end(), std::back_inserter(missing));
    if (extra.empty() && missing.empty()) {
        return "";
    }
    std::string out = std::to_string(seen.size()) + " seen, " + std::to_string(want.size()) + " wanted;";
    for (auto [list, what] : {std::pair{&extra, " unexpected"}, std::pair{&missing, " missing"}}) {
        for (size_t i = 0; i < list->size() && i < 3; ++i) {
            out += what + std::string(" (") + std::to_string((*list)[i].first) + "," +
                   std::to_string((*list)[i].second) + ")";
        }
    }
    return out;
}

Result shell(const Scratch& s, const std::string& cmd) {
    Result r;
    int rc = std::system(("timeout 60 " + cmd + " >" + quote(s / "sh.out") + " 2>" + quote(s / "sh.err")).c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = slurp(s / "sh.out");
    r.err = slurp(s / "sh.err");
    return r;
}

} // namespace

TEST(LibraryGerbv, EveryFootprintPlotsOneFlashPerPadAndOneHolePerDrilledPad) {
    if (!have_gerbv()) {
        GTEST_SKIP() << "gerbv is not installed (make deps installs it)";
    }
    Scratch s;
    std::vector<lib_text::Entry> all = lib_text::entries(slurp(source("share/LIBRARY/THD.LIB")));
    std::vector<lib_text::Entry> smd = lib_text::entries(slurp(source("share/LIBRARY/SMD.LIB")));
    all.insert(all.end(), smd.begin(), smd.end());
    ASSERT_GT(all.size(), 130u);

    // Each part in a cell of its own, 3 inches apart: room for the longest DIL package and its texts.
    std::vector<lib_text::Placed> parts;
    std::vector<Spot> top, bottom;
    std::vector<Hole> drilled;
    for (size_t i = 0; i < all.size(); ++i) {
        double x = 1.5 + 3.0 * static_cast<double>(i % 12), y = 1.5 + 3.0 * static_cast<double>(i / 12);
        parts.push_back({&all[i], x, y});
        for (const lib_text::Pad& p : lib_text::pads(all[i])) {
            Spot at = spot(p.x + x, p.y + y);
            top.push_back(at);
            if (p.hole > 0) {
                bottom.push_back(at);
                drilled.push_back(Hole{at, p.hole});
            }
        }
    }
    std::sort(top.begin(), top.end());
    std::sort(bottom.begin(), bottom.end());
    std::sort(drilled.begin(), drilled.end(), [](const Hole& a, const Hole& b) { return a.at < b.at; });
    std::string header = lib_text::template_header(slurp(source("share/TEMPLATE/Size_100x80mm.pcb")));
    ASSERT_FALSE(header.empty());
    spit(s / "parts.pcb", lib_text::board(header, parts));

    Result plot = run(s, "gerber " + quote(s / "parts.pcb") + " --outdir " + quote(s / "out") + " --excellon-header");
    ASSERT_EQ(plot.status, 0) << plot.err;

    // Every photoplot of the run reads cleanly.
    int gerbers = 0;
    for (const auto& f : fs::directory_iterator(s.dir / "out")) {
        if (slurp(f.path()).rfind("%FSLAX24Y24*%", 0) != 0) {
            continue; // drill file, listing, Data file drawing
        }
        ++gerbers;
        Result g = shell(s, "gerbv -x rs274x -o " + quote(s / "seen.gbr") + " " + quote(f.path().string()));
        EXPECT_EQ(complaints(g.err), "") << f.path();
        std::string seen = slurp(s / "seen.gbr");
        EXPECT_FALSE(seen.empty()) << f.path();
        std::string ext = f.path().extension().string();
        if (ext == ".top") {
            EXPECT_EQ(differences(flashes(seen), top), "") << "top copper: one flash per pad";
        } else if (ext == ".bot") {
            EXPECT_EQ(differences(flashes(seen), bottom), "") << "bottom copper: one flash per through-hole pad";
        }
        fs::remove(s / "seen.gbr");
    }
    EXPECT_GE(gerbers, 7);

    Result d = shell(s, "gerbv -x drill -o " + quote(s / "seen.drl") + " " + quote(s / "out/parts.drl"));
    EXPECT_EQ(complaints(d.err), "");
    std::vector<Hole> seen = holes(slurp(s / "seen.drl"));
    ASSERT_EQ(seen.size(), drilled.size());
    int misplaced = 0, missized = 0;
    for (size_t i = 0; i < seen.size(); ++i) {
        misplaced += seen[i].at != drilled[i].at;
        // The tool list keeps thousandths of an inch.
        missized += std::abs(seen[i].diameter - drilled[i].diameter) > 0.0006;
    }
    EXPECT_EQ(misplaced, 0);
    EXPECT_EQ(missized, 0);
}
