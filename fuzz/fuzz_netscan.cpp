// Any bytes read as a Data file, then the Ratnest (NR) and the logged Net scan with clearances, by the
// indexed method and by the plain one: no crash, hang or sanitizer report, and both methods write the
// same log.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "nets/netlog.h"
#include "nets/ratnest.h"

using namespace trazel;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The log of one scan of the current Document, read back.
std::string scan(model::Document& d, bool plain, const std::string& path) {
    nets::NetState s(d);
    s.plain = plain;
    nets::Log log;
    std::tm date{};
    date.tm_year = 126;
    date.tm_mday = 1;
    if (!log.open(path, "NETSCAN ERROR LOG", d.name(), 79, date)) {
        std::fprintf(stderr, "the log could not be opened\n");
        std::abort();
    }
    nets::write_net_scan_log(s, log);
    log.close();
    return slurp(path);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::World& w = fuzz_support::world();
    static const std::string log_path = fuzz_support::scratch_path("fuzz_netscan", ".LOG");
    model::Document* d =
        fuzz_support::read_document(w, std::string_view(reinterpret_cast<const char*>(data), size));
    if (d == nullptr) {
        return 0;
    }
    {
        nets::NetState s(*d);
        nets::prepare_ratnest_layer(d->setup);
        nets::build_ratnest(s);
        nets::clear_all_marks(s);
    }
    // The scan changes the board (Ratnest lines, duplicates deleted): both methods start from the same
    // Data file, read afresh (what the first reading kept may not survive writing, as a Signal name with
    // a comma).
    std::string before = fuzz_support::data_file(w);
    fuzz_support::discard_document(d);
    d = fuzz_support::read_document(w, before);
    std::string indexed = d ? scan(*d, false, log_path) : "";
    fuzz_support::discard_document(d);
    d = fuzz_support::read_document(w, before);
    std::string plain = d ? scan(*d, true, log_path) : "";
    if (indexed != plain) {
        std::fprintf(stderr, "the indexed and the plain scan wrote different logs:\n--- indexed\n%s\n--- plain\n%s\n",
                     indexed.c_str(), plain.c_str());
        std::abort();
    }
    fuzz_support::discard_document(d);
    return 0;
}
