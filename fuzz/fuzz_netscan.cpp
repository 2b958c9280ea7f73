// Any bytes read as a Data file, then the Ratnest (NR) and the logged Net scan with clearances, by the
// indexed method and by the plain one: no crash, hang or sanitizer report, and both methods write the
// same log.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include <unistd.h>

#include "edit/undo.h"
#include "model/chooser.h"
#include "model/model.h"
#include "nets/netlog.h"
#include "nets/ratnest.h"
#include "platform/headless.h"

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
    static platform::Headless* ui = [] {
        auto* p = new platform::Headless;
        platform::install(p);
        return p;
    }();
    static model::Model& m = *new model::Model;
    static model::FormatTable& formats = *[] {
        auto* t = new model::FormatTable;
        model::register_model_formats(*t);
        return t;
    }();
    static const std::string log_path =
        (std::filesystem::temp_directory_path() / ("fuzz_netscan_" + std::to_string(::getpid()) + ".LOG")).string();
    ui->boxes.clear();
    ui->sounds.clear();
    ui->reports.clear();

    std::string_view input(reinterpret_cast<const char*>(data), size);
    model::Document* d = model::NewDocument("fuzz.pcb");
    if (d == nullptr || model::open_document_bytes(formats, input, 0) == 0) {
        if (m.current != nullptr) {
            edit::release_undo(*m.current);
            model::close_document(m.current);
        }
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
    std::string before;
    model::save_document_bytes(formats, before, 'C');
    edit::release_undo(*d);
    model::close_document(d);
    d = model::NewDocument("fuzz.pcb");
    model::open_document_bytes(formats, before, 0);
    std::string indexed = scan(*d, false, log_path);
    edit::release_undo(*d);
    model::close_document(d);
    d = model::NewDocument("fuzz.pcb");
    model::open_document_bytes(formats, before, 0);
    std::string plain = scan(*d, true, log_path);
    if (indexed != plain) {
        std::fprintf(stderr, "the indexed and the plain scan wrote different logs:\n--- indexed\n%s\n--- plain\n%s\n",
                     indexed.c_str(), plain.c_str());
        std::abort();
    }
    edit::release_undo(*d);
    model::close_document(d);
    return 0;
}
