// pcb-rnd's Protel netlist importer reads our bracketed netlist of a generated board as exactly the
// generator's nets: each net's name and pins, none more, none less.  Skipped without pcb-rnd.
#include <gtest/gtest.h>

#include <cstdlib>

#include "cli/cli_runner.h"
#include "cli/netlist_expect.h"

using namespace cli_test;
using netlist_test::Nets;

namespace {

bool have_pcb_rnd() {
    return std::system("command -v pcb-rnd >/dev/null 2>&1") == 0;
}

// The nets pcb-rnd saved under li:input of its lihata board: "ha:NAME {" then "li:conn { A; B; }".
Nets saved_nets(const std::string& lht) {
    Nets nets;
    size_t at = lht.find("li:input {");
    if (at == std::string::npos) {
        return nets;
    }
    std::string name;
    while (at < lht.size()) {
        size_t end = lht.find('\n', at);
        std::string l = lht.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? lht.size() : end + 1;
        size_t b = l.find_first_not_of(' ');
        if (b == std::string::npos) {
            continue;
        }
        l = l.substr(b);
        if (l.rfind("ha:", 0) == 0) {
            name = l.substr(3, l.find(" {") - 3);
        } else if (l.rfind("li:conn {", 0) == 0) {
            std::vector<std::string>& nodes = nets[name];
            std::string body = l.substr(9, l.rfind('}') - 9);
            for (size_t p = 0; p < body.size();) {
                size_t semi = body.find(';', p);
                std::string tok = body.substr(p, semi == std::string::npos ? std::string::npos : semi - p);
                tok.erase(0, tok.find_first_not_of(' '));
                if (!tok.empty()) {
                    nodes.push_back(tok);
                }
                p = semi == std::string::npos ? body.size() : semi + 1;
            }
            std::sort(nodes.begin(), nodes.end());
        } else if (l == "}" && name.empty()) {
            break; // the end of li:input
        } else if (l == "}") {
            name.clear();
        }
    }
    return nets;
}

} // namespace

TEST(NetlistPcbRnd, ProtelImporterReadsTheGeneratorsNets) {
    if (!have_pcb_rnd()) {
        GTEST_SKIP() << "pcb-rnd is not installed";
    }
    Scratch s;
    std::string board = s / "gen.pcb", expect = s / "gen.json";
    ASSERT_TRUE(netlist_test::generate(120, 7, board, expect));
    Nets truth = netlist_test::read_expect(slurp(expect));
    ASSERT_GT(truth.size(), 40u);

    Result r = run(s, "netlist " + quote(board) + " " + quote(s / "gen.net") + " --bracketed");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(netlist_test::read_bracketed(slurp(s / "gen.net")), truth);

    // Any Autotrax board will do as the layout the nets are imported into; without the save first, Quit()
    // would ask about losing data on stdin forever.
    spit(s / "atx.pcb", "PCB FILE 4\r\nFT\r\n0 0 100 100 1 1\r\nENDPCB\r\n");
    std::string script = "ImportSch(setup, protel_net, " + fs::absolute(s / "gen.net").string() +
                         ")\nImportSch()\nSaveTo(LayoutAs," + fs::absolute(s / "o.lht").string() +
                         ",lihata)\nQuit()\n";
    spit(s / "script", script);
    std::string cmd = "cd " + quote(s.dir.string()) + " && timeout 120 pcb-rnd --gui batch atx.pcb < script >log 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << slurp(s / "log");
    EXPECT_EQ(saved_nets(slurp(s / "o.lht")), truth);
}
