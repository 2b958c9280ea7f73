// trazel-cli VERB ...: dispatches to the verbs of the table below.
#include <cstdio>
#include <string>

#include "platform/version.h"
#include "app/cli/cli.h"

namespace trazel::cli {

namespace {

// New verbs are added here, each with a file of its own.
constexpr Verb kVerbs[] = {
    {"convert",
     "IN OUT [--format CODE] [--as G|I|X|T|P] [--dxf-units inch|mm] [--merge FILE]... [--field FORM.FIELD=VALUE]... "
     "[--answer TITLE=BUTTON]... [--strict]",
     "read any file and write it in another format (C Data file, 3 version 3.8, G Gerber, X DXF, T Tango, "
     "P AutoTrax, Z text)",
     run_convert},
    {"info", "IN", "show the format, Items, layers, extents and Signals of a file", run_info},
    {"gerber", "IN [--outdir DIR] [--excellon-header] [--x2] [--mm] [--arcs]",
     "photoplot a board: one file per output row of the board (X2 attributes, millimetres, true arcs)",
     run_gerber},
    {"fab", "IN --out DIR|FILE.zip [--x2] [--mm] [--arcs] [--no-excellon-header] [--all]",
     "the fabrication package: photoplots, drill file, pick and place, IPC-D-356A netlist, BOM, job file",
     run_fab},
    {"render",
     "IN OUT.png|OUT.bmp [--depth N] [--size WxH] [--view ...] [--scale DPI] [--layer N] [--image N|none]",
     "draw a file as the screen shows it, into a picture", run_render},
    {"macro",
     "IN [OUT] --keys TEXT [--answer TITLE=BUTTON[,...]]... [--field FORM.FIELD=VALUE]... [--library-path DIR] "
     "[--max-ticks N]",
     "play a keystroke macro on a file through the key handler and save the result", run_macro},
    {"query", "IN X,Y [--layer N]",
     "what the query boxes show with the cursor at X,Y (inches, or with mm): one line per box", run_query},
    {"block",
     "IN OUT (--box X1,Y1,X2,Y2 | --polygon X,Y;X,Y;...) [--ref X,Y] [--layers N,...] [--rotate DEG] [--scale F] "
     "[--mirror-x] [--mirror-y] (--move X,Y | --copy X,Y... [--increment N] | --delete-inside | --delete-outside | "
     "--compare X,Y | --build F0[,F1...] | --pseudo F0[,F1...])",
     "the Block commands on an area of a file: move, copy, delete, compare, build a component", run_block},
    {"netscan", "IN [--log FILE] [--save OUT] [--plain] [--fail-on-errors]",
     "the logged net scan of every signal: discontinuities, crosslinks, drill holes and clearances", run_netscan},
    {"ratnest", "IN OUT [--signal NAME] [--delete]",
     "build the rat lines of every signal (or of one), or delete them", run_ratnest},
    {"netlist", "IN OUT [--bracketed] [--single-node] [--name-nets]",
     "write the parts list and net list (column or bracketed layout)", run_netlist},
    {"bom", "IN OUT [--csv] [--symbols]", "write the bill of materials", run_bom},
    {"pinlist", "IN OUT", "write the component pin list", run_pinlist},
    {"wirelist", "IN OUT", "write the signal wire list", run_wirelist},
    {"netin", "IN MASK OUT [--update] [--replace] [--log FILE] [--library-path DIR]",
     "read netlists into a board: place, update or replace components and give every pin its signal", run_netin},
    {"route", "IN OUT [--passes LIST] [--direction LAYER=X|Y|E|N]... [--log FILE]",
     "autoroute a board: Ratnest lines made and sorted, then the routing passes; the statistics log", run_route},
    {"fill",
     "IN OUT (--box X1,Y1,X2,Y2 | --polygon X,Y;X,Y;...) [--layers N,...] [--hatch [--mesh L]] [--layer N] "
     "[--sources N,...] [--thermal NAME] [--direct NAME] [--width L] [--isolation LINES,PADS] [--stop-unconnected]",
     "pour copper (or a cross-hatch) into an area on one layer, joining the pads of its signal", run_fill},
    {"teardrops", "IN OUT (--box X1,Y1,X2,Y2 | --polygon X,Y;X,Y;...) [--layers N,...]",
     "add teardrops where tracks leave the pads of an area", run_teardrops},
    {"isolate", "IN OUT (--box X1,Y1,X2,Y2 | --polygon X,Y;X,Y;...) [--layers N,...] [--side top|bottom|both]",
     "draw the milling tool paths that isolate the copper of an area", run_isolate},
    {"millout", "IN [--prefix P] --row drill|top|bottom|route=FILE[:LAYER][:mirror]...",
     "write the drill holes and isolation tool paths as milling files", run_millout},
    {"plot",
     "IN (OUT | --printer QUEUE) --format ps|hpgl|pcl|bmp|dib [--page letter|legal|a4|a3|ledger|WxH] [--landscape] "
     "[--margin IN] [--dpi N] [--window X1,Y1,X2,Y2|extents] [--scale S | --fit] [--center] [--mirror] "
     "[--keep-colours] [--colour mono|planes] [--no-holes] [--no-vias] [--no-pads] [--hpgl-unit N]",
     "plot a file as PostScript, HPGL, PCL raster or a bitmap, to a file or a CUPS queue", run_plot},
    {"library", "LIB [PATTERN] | --find NAME LIB... [--library-path DIR]",
     "list a component library, or find a pattern in libraries as placing does", run_library},
    {"place", "IN OUT --component P --at X,Y [--ref R] [--value V] [--modifier M] [--field5 F] [--angle DEG] | "
              "--list FILE  [--lib NAME]... [--library-path DIR]",
     "place library Components as the Place Component function does", run_place},
    {"image", "IN OUT [--add PICTURE [--slot N] [--at X,Y] [--dpi R]]... [--remove N]...",
     "put pictures into the image slots of a file, or take them out", run_image},
    {"rectify", "IN OUT --pair SX,SY=TX,TY... [--slot N]",
     "straighten a picture: fit a mapping through four or more point pairs (inches) and resample it", run_rectify},
    {"", "", "", nullptr},
};

void print_usage(std::FILE* to) {
    std::fprintf(to, "usage: trazel-cli VERB ARGUMENTS\n       trazel-cli --version\n\nverbs:\n");
    for (const Verb* v = verbs(); v->run; ++v) {
        std::fprintf(to, "  %.*s %.*s\n      %.*s\n", static_cast<int>(v->name.size()), v->name.data(),
                     static_cast<int>(v->usage.size()), v->usage.data(), static_cast<int>(v->summary.size()),
                     v->summary.data());
    }
}

} // namespace

const Verb* verbs() {
    return kVerbs;
}

const Verb* find_verb(std::string_view name) {
    for (const Verb* v = verbs(); v->run; ++v) {
        if (v->name == name) {
            return v;
        }
    }
    return nullptr;
}

bool next_value(int argc, char** argv, int& i, std::string& to) {
    if (i + 1 >= argc) {
        return false;
    }
    to = argv[++i];
    return true;
}

int usage_error(std::string_view verb, const std::string& why) {
    const Verb* v = find_verb(verb);
    std::fprintf(stderr, "trazel-cli %.*s: %s\nusage: trazel-cli %.*s %.*s\n", static_cast<int>(verb.size()),
                 verb.data(), why.c_str(), static_cast<int>(verb.size()), verb.data(),
                 v ? static_cast<int>(v->usage.size()) : 0, v ? v->usage.data() : "");
    return 2;
}

} // namespace trazel::cli

int main(int argc, char** argv) {
    using namespace trazel::cli;
    if (argc < 2) {
        print_usage(stderr);
        return 2;
    }
    std::string verb = argv[1];
    if (verb == "help" || verb == "--help" || verb == "-h") {
        print_usage(stdout);
        return 0;
    }
    if (verb == "--version") {
        std::printf("trazel %s\n", trazel::platform::program_version()); // the desktop program prints the same line
        return 0;
    }
    const Verb* v = find_verb(verb);
    if (!v) {
        std::fprintf(stderr, "trazel-cli: unknown verb \"%s\" (try \"trazel-cli help\")\n", verb.c_str());
        return 2;
    }
    return v->run(argc - 1, argv + 1);
}
