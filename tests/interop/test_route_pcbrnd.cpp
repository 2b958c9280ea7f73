// The gEDA PCB copy that the router benchmark gives pcb-rnd (gen_board --geda): pcb-rnd finds every
// terminal its netlist names, makes one rat line per connection of the generator's nets (pins less
// nets), and routes it.  Skipped without pcb-rnd.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "cli/cli_runner.h"
#include "cli/netlist_expect.h"

using namespace cli_test;

namespace {

bool have_pcb_rnd() {
    return std::system("command -v pcb-rnd >/dev/null 2>&1") == 0;
}

void route_copy(int components, unsigned seed) {
    Scratch s;
    std::string gen = (fs::path(TRAZEL_CLI).parent_path() / "gen_board").string();
    ASSERT_EQ(std::system((quote(gen) + " " + std::to_string(components) + " " + quote(s / "b.pcb") + " --seed " +
                           std::to_string(seed) + " --clean --expect " + quote(s / "nets.json") + " --geda " +
                           quote(s / "b.gpcb") + " >/dev/null")
                              .c_str()),
              0);
    long connections = 0;
    for (const auto& [name, pins] : netlist_test::read_expect(slurp(s / "nets.json"))) {
        connections += static_cast<long>(pins.size()) - 1;
    }
    ASSERT_GT(connections, 0);
    // Quit(force): a plain Quit() on the modified board asks "OK to lose data?" for ever.  pcb-rnd writes
    // an emergency save into the working directory on the way out, hence the cd.
    std::string cmd = "cd " + quote(s.dir.string()) +
                      " && printf 'AddRats(AllRats)\\nAutoRoute(AllRats)\\nQuit(force)\\n' | timeout 120 pcb-rnd --gui batch " +
                      quote(s / "b.gpcb") + " >" + quote(s / "out.txt") + " 2>&1";
    int rc = std::system(cmd.c_str());
    std::string out = slurp(s / "out.txt") + "\n(status " + std::to_string(rc) + ")";
    EXPECT_EQ(count(out, "Netlist problem"), 0) << out;
    EXPECT_NE(out.find("I: " + std::to_string(connections) + " rat lines remaining"), std::string::npos) << out;
    long routed = -1, total = -1;
    size_t at = out.find("nets successfully routed.");
    ASSERT_NE(at, std::string::npos) << out;
    size_t line = out.rfind("I: ", at);
    ASSERT_EQ(std::sscanf(out.c_str() + line, "I: %ld of %ld", &routed, &total), 2) << out;
    EXPECT_EQ(total, connections);
    EXPECT_GT(routed, total / 2) << out;
}

} // namespace

TEST(RoutePcbRnd, GedaCopyOfFiveComponents) {
    if (!have_pcb_rnd()) {
        GTEST_SKIP() << "pcb-rnd is not installed";
    }
    route_copy(5, 1);
}

TEST(RoutePcbRnd, GedaCopyOfTwentyComponents) {
    if (!have_pcb_rnd()) {
        GTEST_SKIP() << "pcb-rnd is not installed";
    }
    route_copy(20, 2);
}
