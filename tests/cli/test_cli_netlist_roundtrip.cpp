// Netlists end to end on generated boards, against the nets gen_board says it made: both layouts list
// exactly those nets; the bracketed netlist read into the board stripped of every Signal gives every pin
// its Signal back and counts every node; the BOM's CSV lists each Component once under its own value and
// pattern, five fields a row in Python's strict csv reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "cli/cli_runner.h"
#include "cli/netlist_expect.h"
#include "model/chooser.h"
#include "model/model.h"

using namespace cli_test;
using netlist_test::Nets;
namespace model = trazel::model;
using model::node;
using model::Ref;

namespace {

constexpr int kComponents = 80;
constexpr unsigned kSeed = 5;

// The net list of the column layout: a name at column 0 and its nodes, continued on lines that start
// with blanks, up to "END OF FILE".
Nets read_columns(const std::string& text) {
    Nets nets;
    std::vector<std::string> l = netlist_test::crlf_lines(text);
    size_t k = 0;
    while (k < l.size() && l[k].rfind("--- NAME ---", 0) != 0) {
        ++k;
    }
    for (++k; k < l.size() && l[k].rfind("--- NAME ---", 0) != 0; ++k) {
    }
    std::vector<std::string>* net = nullptr;
    for (++k; k < l.size() && l[k] != "END OF FILE"; ++k) {
        std::istringstream words(l[k]);
        std::string w;
        bool first = !l[k].empty() && l[k][0] != ' ';
        while (words >> w) {
            if (first) {
                net = &nets[w];
                first = false;
            } else if (net != nullptr) {
                net->push_back(w);
            }
        }
    }
    for (auto& [name, nodes] : nets) {
        std::sort(nodes.begin(), nodes.end());
    }
    return nets;
}

// A board read into a model of its own.
struct Board {
    model::Model m;
    model::FormatTable formats;
    model::Document* d = nullptr;

    explicit Board(const std::string& file) {
        model::register_model_formats(formats);
        d = model::NewDocument(file);
        std::string err;
        EXPECT_NE(model::OpenDocumentFile(formats, file, 0, &err), 0) << err;
    }
    // Each pinned member Pad as "REF-PIN" with its Signal name ("" without).
    std::map<std::string, std::string> pins() const {
        std::map<std::string, std::string> out;
        for (Ref c : model::items_in(d->ring())) {
            if (node(c).item_kind() != model::kComponent) {
                continue;
            }
            std::string ref = model::ComponentField(c, 1);
            for (Ref p : model::items_in(model::member_ring(c))) {
                if (node(p).item_kind() == model::kPad && !model::pin_text(p).empty()) {
                    out[ref + "-" + model::pin_text(p)] = model::signal_name(model::item_signal(p));
                }
            }
        }
        return out;
    }
};

struct Generated : ::testing::Test {
    Scratch s;
    std::string board, expect;
    Nets truth;
    void SetUp() override {
        board = s / "gen.pcb";
        expect = s / "gen.json";
        if (!netlist_test::generate(kComponents, kSeed, board, expect)) {
            GTEST_SKIP() << "gen_board is not built";
        }
        truth = netlist_test::read_expect(slurp(expect));
        ASSERT_GT(truth.size(), 30u);
    }
};

} // namespace

TEST_F(Generated, BothLayoutsListExactlyTheGeneratorsNets) {
    Result r = run(s, "netlist " + quote(board) + " " + quote(s / "col.net"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_columns(slurp(s / "col.net")), truth);
    r = run(s, "netlist " + quote(board) + " " + quote(s / "br.net") + " --bracketed");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(netlist_test::read_bracketed(slurp(s / "br.net")), truth);
}

TEST_F(Generated, NetlistInRestoresEveryPinOfTheStrippedBoard) {
    Result r = run(s, "netlist " + quote(board) + " " + quote(s / "br.net") + " --bracketed");
    ASSERT_EQ(r.status, 0) << r.err;
    size_t nodes = 0;
    std::map<std::string, std::string> want;
    for (const auto& [name, list] : truth) {
        nodes += list.size();
        for (const std::string& n : list) {
            want[n] = name;
        }
    }
    {
        Board b(board);
        model::walk_tree(b.d->ring(), [](Ref item, int) { model::DetachSignal(item); });
        std::string err;
        ASSERT_TRUE(model::SaveDocumentFile(b.formats, s / "bare.pcb", 'C', &err)) << err;
    }
    for (const auto& [pin, sig] : Board(s / "bare.pcb").pins()) {
        ASSERT_EQ(sig, "") << pin;
    }
    r = run(s, "netin " + quote(s / "bare.pcb") + " " + quote(s / "br.net") + " " + quote(s / "back.pcb") +
                   " --log " + quote(s / "in.log"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(slurp(s / "in.log").find("Total input node count:  " + std::to_string(nodes) + "\r\n"),
              std::string::npos);
    std::map<std::string, std::string> got;
    for (const auto& [pin, sig] : Board(s / "back.pcb").pins()) {
        if (!sig.empty()) {
            got[pin] = sig;
        }
    }
    EXPECT_EQ(got, want);
}

TEST_F(Generated, BomCsvListsEachComponentOnceUnderItsValueAndPattern) {
    Result r = run(s, "bom " + quote(board) + " " + quote(s / "b.csv") + " --csv");
    ASSERT_EQ(r.status, 0) << r.err;
    // Python's strict reader: every row five fields; the references of a group (continuation rows
    // carry them on) are each listed once with the value and pattern of their group.
    std::string py = "import csv,sys\n"
                     "rows=list(csv.reader(open(sys.argv[1],newline=''),strict=True))\n"
                     "assert rows[0]==['TYPE/VALUE','MODIFIER','PATTERN','QTY','COMPONENTS'],rows[0]\n"
                     "key=None\n"
                     "for row in rows[1:]:\n"
                     "  assert len(row)==5,row\n"
                     "  if row[0] or row[2]: key=(row[0],row[2])\n"
                     "  for ref in row[4].split(): print(ref,key[0],key[1])\n";
    spit(s / "check.py", py);
    std::string cmd = "python3 " + quote(s / "check.py") + " " + quote(s / "b.csv") + " > " + quote(s / "refs") + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << slurp(s / "refs");

    std::map<std::string, std::pair<std::string, std::string>> want;
    {
        Board b(board);
        for (Ref c : model::items_in(b.d->ring())) {
            if (node(c).item_kind() == model::kComponent) {
                want[model::ComponentField(c, 1)] = {model::ComponentField(c, 2), model::ComponentField(c, 0)};
            }
        }
    }
    std::map<std::string, std::pair<std::string, std::string>> got;
    std::istringstream lines(slurp(s / "refs"));
    std::string ref, value, pattern;
    while (lines >> ref >> value >> pattern) {
        EXPECT_TRUE(got.emplace(ref, std::make_pair(value, pattern)).second) << ref << " listed twice";
    }
    EXPECT_EQ(got, want);
}
