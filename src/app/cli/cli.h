#pragma once
// trazel-cli: the batch front end.  Each verb lives in a file of its own and is listed in the table of
// cli_main.cpp; this header is what they share.
#include <string>
#include <string_view>

#include "model/chooser.h"
#include "model/model.h"
#include "platform/headless.h"

namespace trazel::cli {

// The platform of the batch tool: message boxes and reports go to stderr, a progress bar is drawn on
// stderr while stdout is a terminal, and every question takes its default answer.
class CliPlatform : public platform::Headless {
  public:
    CliPlatform();
    platform::Answer message_box(std::string_view text, std::string_view title, platform::Buttons buttons,
                                 int default_button = 0) override;
    void progress(std::string_view what, int percent) override;
    void report(std::string_view line) override;

    int reports = 0; // lines reported so far

  private:
    bool bar_ = false;
    bool bar_shown_ = false;
};

// What every verb works with: the model, the file formats and the platform.
struct Cli {
    model::Model model;
    model::FormatTable formats;
    CliPlatform ui;

    Cli();
    ~Cli();
    Cli(const Cli&) = delete;
    Cli& operator=(const Cli&) = delete;
};

// One line on stderr, "trazel-cli: " first.  Returns the exit status 1 for `return fail(...)`.
int fail(const std::string& line);
// A usage error of a verb: its usage line on stderr, exit status 2.
int usage_error(std::string_view verb, const std::string& why);

// The value after the option at argv[i] into `to`, stepping i over it; false when none follows.
bool next_value(int argc, char** argv, int& i, std::string& to);

// Reads `path` into a new Document (forced code 0 = choose by content).  On failure the reason is
// printed and nullptr returned.
model::Document* load(Cli& cli, const std::string& path, char forced = 0);

// A board with output rows ("-dy") read from `path`, for the photoplot verbs; nullptr after saying why.
model::Document* load_plottable(Cli& cli, const std::string& path);

// A coordinate in inches with three decimals, for listings ("-0.125").
std::string inches(model::Coord v);

// The folder of the running program, "/" last ("" when unknown).
std::string program_dir();
// The library directory for a verb: its --library-path, else the "Library Path" setting, else the
// libraries beside the program.
std::string resolve_library_directory(const std::string& option);
// A LIB argument: a bare name is looked up in the library directory.
std::string library_file(const std::string& directory, const std::string& lib);

struct Verb {
    std::string_view name;
    std::string_view usage;            // arguments after the verb
    std::string_view summary;          // one line for the verb list
    int (*run)(int argc, char** argv); // argv[0] is the verb
};

int run_convert(int argc, char** argv);
int run_info(int argc, char** argv);
int run_library(int argc, char** argv);
int run_place(int argc, char** argv);
int run_gerber(int argc, char** argv);
int run_fab(int argc, char** argv);
int run_render(int argc, char** argv);
int run_macro(int argc, char** argv);
int run_query(int argc, char** argv);
int run_block(int argc, char** argv);
int run_netscan(int argc, char** argv);
int run_ratnest(int argc, char** argv);
int run_netlist(int argc, char** argv);
int run_bom(int argc, char** argv);
int run_pinlist(int argc, char** argv);
int run_wirelist(int argc, char** argv);
int run_netin(int argc, char** argv);
int run_route(int argc, char** argv);
int run_fill(int argc, char** argv);
int run_teardrops(int argc, char** argv);
int run_isolate(int argc, char** argv);
int run_millout(int argc, char** argv);
int run_plot(int argc, char** argv);
int run_image(int argc, char** argv);
int run_rectify(int argc, char** argv);

// The verb table, ended by an entry without name.
const Verb* verbs();
const Verb* find_verb(std::string_view name);

} // namespace trazel::cli
