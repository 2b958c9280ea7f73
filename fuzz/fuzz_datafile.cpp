// Reads arbitrary bytes as a file through the import chooser, writes the Document as a Data file, reads
// that back and writes it again: the two written files must be identical.  Everything stays in memory.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/chooser.h"
#include "model/model.h"
#include "platform/headless.h"

using namespace trazel::model;

namespace {

trazel::platform::Headless& quiet_platform() {
    static trazel::platform::Headless* ui = [] {
        auto* p = new trazel::platform::Headless;
        trazel::platform::install(p);
        return p;
    }();
    return *ui;
}

std::string write_as(const FormatTable& formats, char code) {
    std::string out;
    if (!save_document_bytes(formats, out, code)) {
        std::fprintf(stderr, "writing to memory failed\n");
        std::abort();
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto& ui = quiet_platform();
    ui.boxes.clear();
    ui.sounds.clear();
    ui.reports.clear();
    // One model for the run (a fresh pool per input would spend the time in page faults); every Node an
    // input takes must come back when its Documents close, apart from new Signal records.
    static Model& m = *new Model;
    static FormatTable& formats = *[] {
        auto* t = new FormatTable;
        register_model_formats(*t);
        return t;
    }();
    uint32_t used_before = m.pool.used_count();
    size_t signals_before = m.signal_index.size();
    std::string_view input(reinterpret_cast<const char*>(data), size);

    NewDocument("fuzz.pcb");
    // The first byte chooses a forced code now and then, so the forced rows are reached as well.
    char forced = 0;
    if (size > 0 && (data[0] == 0xF1 || data[0] == 0xF2)) {
        forced = data[0] == 0xF1 ? 'Z' : kForcedHexDump;
    }
    open_document_bytes(formats, input, forced);
    write_as(formats, 0); // the Document's own writer, whatever the file named
    std::string first = write_as(formats, 'C');

    close_document(m.current);
    NewDocument("fuzz.pcb");
    if (open_document_bytes(formats, first, 0) == 0) {
        std::fprintf(stderr, "the written Data file was not read back\n");
        std::abort();
    }
    std::string second = write_as(formats, 'C');
    if (first != second) {
        size_t at = 0;
        while (at < first.size() && at < second.size() && first[at] == second[at]) {
            ++at;
        }
        size_t from = at > 200 ? at - 200 : 0;
        std::fprintf(stderr, "the Data file changed on re-reading at byte %zu:\n--- first\n%s\n--- second\n%s\n", at,
                     first.substr(from, 400).c_str(), second.substr(from, 400).c_str());
        std::abort();
    }
    close_document(m.current);
    uint32_t expected = used_before + static_cast<uint32_t>(m.signal_index.size() - signals_before);
    if (m.pool.used_count() != expected) {
        std::fprintf(stderr, "%u Nodes were not given back\n", m.pool.used_count() - expected);
        std::abort();
    }
    return 0;
}
