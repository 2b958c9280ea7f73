// A library file of arbitrary bytes: the indexed lookup must agree with the plain scan (found or not,
// where, and what it copied), and the browser listing must not fail on it.  The last byte picks the
// pattern asked for.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "library/library.h"
#include "model/datafile.h"
#include "model/model.h"
#include "platform/headless.h"

using namespace trazel;

namespace {

const char* const kNames[] = {"DIP8", "R0805", "SIP1c", "X", "A1", "*", "LOOP", "U1t"};

std::string entry_text(model::Ref c) {
    return c == model::kNone ? std::string() : model::component_records(c);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static platform::Headless* ui = [] {
        auto* p = new platform::Headless;
        platform::install(p);
        return p;
    }();
    static model::Model& m = *new model::Model;
    static std::string dir = [] {
        std::string d = std::filesystem::temp_directory_path().string() + "/fuzz_library_" + std::to_string(getpid());
        std::filesystem::create_directories(d);
        return d + "/";
    }();
    ui->sounds.clear();
    if (m.current == nullptr) {
        model::NewDocument("board.pcb");
    }
    std::string name = size > 0 ? kNames[data[size - 1] % (sizeof kNames / sizeof *kNames)] : "DIP8";
    {
        std::ofstream f(dir + "FUZZ.LIB", std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    library::forget_indexes();
    library::LibrarySet set;
    set.directory = dir;
    set.names[0] = "FUZZ.LIB";

    library::FoundPosition a, b;
    bool by_scan = library::find_by_scan(set, name, &b);
    std::string scanned = by_scan ? entry_text(model::first_item(library::scratch_ring())) : std::string();
    bool by_index = library::FindLibraryComponent(set, name, &a);
    std::string indexed = by_index ? entry_text(model::first_item(library::scratch_ring())) : std::string();
    if (by_scan != by_index || a.slot != b.slot || a.line != b.line || scanned != indexed) {
        std::fprintf(stderr, "index and scan disagree on \"%s\": %d/%d line %ld/%ld\n", name.c_str(), by_index,
                     by_scan, a.line, b.line);
        std::abort();
    }
    library::empty_scratch();
    library::ListLibrary(set, 0, size > 1 && (data[size - 2] & 1) ? "*A?" : "");
    return 0;
}
