// Any bytes as one netlist file read into a small fixed board with a small library (nets, gates, a layer
// named like a net, Components to update, replace and place), by the index and by the plain walk: no
// crash, hang or sanitizer report, both write the same log and board, no placeholder Component is left,
// and the board writes as a Data file that reads back and writes the same again.
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
#include "library/library.h"
#include "model/chooser.h"
#include "model/model.h"
#include "nets/netin.h"
#include "platform/headless.h"

using namespace trazel;

namespace {

const std::string kBoard = "TRAZEL Version 4.0 -- Data File.\r\n\r\n"
                           "-y0:00FFFF00,00000000,0,0,Pad Master\r\n"
                           "-y1:00FF0000,00000000,2,1,Top\r\n"
                           "-y2:000000FF,00000000,10,2,Bottom\r\n"
                           "-y3:00FFFFFF,00000000,3,3,GND\r\n"
                           "-b\r\n-bT.LIB\r\n\r\n"
                           "6 0 0 0 0 1 1 DIODE-A\x7F" "D1\x7F" "1N4148\r\n"
                           "3 0 1 0 0 .06 .06 .035 0 1 A\r\n"
                           "3 0 1 .4 0 .06 .06 .035 0 2 B\r\n"
                           "0 6 0 0 0\r\n"
                           "6 0 0 1 0 2 1 DIP\x7FU1a\x7F" "74HC00\x7F" "5%\r\n"
                           "3 0 1 1 0 .06 .06 .035 0 1\r\n"
                           "3 0 2 1.1 0 .06 .06 .035 0 2\r\n"
                           "3 1 6 1.2 0 .06 .06 0 0 A1\r\n"
                           "3 0 1 1.3 0 .06 .06 .035 0 0\r\n"
                           "4 1 .05 1 .2 0 0 0 0 &2\r\n"
                           "0 6 0 1 0\r\n"
                           "6 0 0 1 1 2 2 DIP\x7FU1b\x7F" "74HC00\r\n"
                           "3 0 1 1 1 .06 .06 .035 0 3\r\n"
                           "3 0 1 1.1 1 .06 .06 .035 0 2000\r\n"
                           "0 6 0 1 1\r\n"
                           "3 0 3 3 3 .03 .03 .015 0 0 GND\r\n"
                           "1 1 .012 0 0 3 3 A\r\n"
                           "\r\nEND OF FILE\r\n";

const std::string kLibrary = "TRAZEL Version 4.0 -- Data File.\r\n\r\n"
                             "6 0 0 0 0 .4 .1 DIODE-B\x7F" "D?\r\n"
                             "3 0 1 .4 0 .06 .06 .035 0 1\r\n"
                             "3 0 1 0 0 .06 .06 .035 0 2\r\n"
                             "0 6 0 0 0\r\n"
                             "6 0 0 0 0 .3 .1 BLOCK\x7F" "X?\x7F" "V\r\n"
                             "3 0 1 0 0 .06 .06 .035 0 K\r\n"
                             "3 0 1 .3 0 .06 .06 .035 0 A\r\n"
                             "4 1 .05 0 .1 0 0 0 0 &1\r\n"
                             "0 6 0 0 0\r\n\r\nEND OF FILE\r\n";

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

struct Run {
    std::string log, board;
};

// One NI of the netlist file into a fresh copy of the board.
Run netlist_in(const model::FormatTable& formats, const library::LibrarySet& libs, const std::string& net,
               const std::string& log_path, nets::NetlistInOptions o, bool plain) {
    Run r;
    model::Model m;
    model::Document* d = model::NewDocument("fuzz.pcb");
    if (d == nullptr || model::open_document_bytes(formats, kBoard, 0) == 0) {
        std::fprintf(stderr, "the fixed board did not read\n");
        std::abort();
    }
    nets::Log log;
    std::tm date{};
    date.tm_year = 126;
    date.tm_mday = 1;
    if (!log.open(log_path, nets::kNetlistInLogTitle, "fuzz.pcb", nets::kNetlistInLogWidth, date)) {
        std::fprintf(stderr, "the log could not be opened\n");
        std::abort();
    }
    nets::NetState s(*d);
    s.plain = plain;
    nets::netlist_in(s, {net}, libs, o, log);
    log.close();
    r.log = slurp(log_path);
    model::walk_tree(d->ring(), [](model::Ref item, int depth) {
        if (depth == 0 && model::node(item).item_kind() == model::kComponent && model::node(item).hidden()) {
            std::fprintf(stderr, "a placeholder Component was left behind\n");
            std::abort();
        }
    });
    if (!model::save_document_bytes(formats, r.board, 'C')) {
        std::fprintf(stderr, "the board did not write\n");
        std::abort();
    }
    edit::release_undo(*d);
    model::close_document(d);
    // What was written reads back and writes the same again.
    model::Document* back = model::NewDocument("back.pcb");
    std::string again;
    if (back == nullptr || model::open_document_bytes(formats, r.board, 0) == 0 ||
        !model::save_document_bytes(formats, again, 'C') || again != r.board) {
        std::fprintf(stderr, "the annotated board did not read back as it was written\n");
        std::abort();
    }
    model::close_document(back);
    library::empty_scratch();
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static platform::Headless* ui = [] {
        auto* p = new platform::Headless;
        platform::install(p);
        return p;
    }();
    static model::FormatTable& formats = *[] {
        auto* t = new model::FormatTable;
        model::register_model_formats(*t);
        return t;
    }();
    static const std::filesystem::path dir = [] {
        auto p = std::filesystem::temp_directory_path() / ("fuzz_netin_" + std::to_string(::getpid()));
        std::filesystem::create_directories(p);
        std::ofstream(p / "T.LIB", std::ios::binary) << kLibrary;
        return p;
    }();
    static const library::LibrarySet libs = [] {
        library::LibrarySet l;
        l.directory = dir.string() + "/";
        l.names[0] = "T.LIB";
        return l;
    }();
    ui->boxes.clear();
    ui->sounds.clear();
    ui->reports.clear();

    const std::string net = (dir / "in.net").string(), log_path = (dir / "in.log").string();
    {
        std::ofstream f(net, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // The options come from the input's length, so that every seed tries a different pair.
    nets::NetlistInOptions o;
    o.update = (size & 1) != 0;
    o.replace = (size & 2) != 0;
    Run indexed = netlist_in(formats, libs, net, log_path, o, false);
    Run plain = netlist_in(formats, libs, net, log_path, o, true);
    if (indexed.log != plain.log || indexed.board != plain.board) {
        std::fprintf(stderr, "the index and the plain walk differ:\n--- index\n%s\n--- plain\n%s\n", indexed.log.c_str(),
                     plain.log.c_str());
        std::abort();
    }
    return 0;
}
