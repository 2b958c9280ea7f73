// What the verbs share: the batch platform, the model context, error lines and loading a file.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/cli/cli.h"
#include "cam/gerber_export.h"
#include "formats/register.h"
#include "images/readers.h"

namespace trazel::cli {

CliPlatform::CliPlatform() : bar_(isatty(STDOUT_FILENO) && isatty(STDERR_FILENO)) {
}

platform::Answer CliPlatform::message_box(std::string_view text, std::string_view title, platform::Buttons buttons,
                                          int default_button) {
    // One line on stderr: the title, then the text with its line breaks folded.
    std::string line(title);
    line += ": ";
    bool blank = false;
    for (char c : text) {
        if (c == '\n') {
            blank = true;
            continue;
        }
        if (blank && line.back() != ' ') {
            line.push_back(' ');
        }
        blank = false;
        line.push_back(c);
    }
    report(line);
    return Headless::message_box(text, title, buttons, default_button);
}

void CliPlatform::progress(std::string_view what, int percent) {
    Headless::progress(what, percent);
    if (!bar_) {
        return;
    }
    if (percent < 0) {
        if (bar_shown_) {
            std::fprintf(stderr, "\r\033[K");
            bar_shown_ = false;
        }
        return;
    }
    int filled = percent * 30 / 100;
    std::fprintf(stderr, "\r%.*s [%.*s%.*s] %3d%%", static_cast<int>(what.size() > 40 ? 40 : what.size()), what.data(),
                 filled, "==============================", 30 - filled, "                              ", percent);
    std::fflush(stderr);
    bar_shown_ = true;
}

void CliPlatform::report(std::string_view line) {
    Headless::report(line);
    if (bar_shown_) {
        std::fprintf(stderr, "\r\033[K");
        bar_shown_ = false;
    }
    std::fprintf(stderr, "trazel-cli: %.*s\n", static_cast<int>(line.size()), line.data());
    ++reports;
}

Cli::Cli() {
    platform::install(&ui);
    model::register_model_formats(formats);
    formats::register_import_formats(formats);
    cam::register_cam_formats(formats);
    images::register_image_readers(formats);
}

Cli::~Cli() {
    platform::install(nullptr);
}

int fail(const std::string& line) {
    std::fprintf(stderr, "trazel-cli: %s\n", line.c_str());
    return 1;
}

model::Document* load(Cli& cli, const std::string& path, char forced) {
    model::Document* d = model::NewDocument(path);
    if (!d) {
        fail("cannot make a Document for \"" + path + "\"");
        return nullptr;
    }
    // A reader that took the file and failed has said why on stderr: one line is enough.
    auto* shown = dynamic_cast<CliPlatform*>(&platform::P());
    int before = shown ? shown->reports : 0;
    std::string why;
    if (model::OpenDocumentFile(cli.formats, path, forced, &why) == 0) {
        if (!shown || shown->reports == before) {
            fail("cannot read \"" + path + "\": " + why);
        }
        return nullptr;
    }
    return d;
}

model::Document* load_plottable(Cli& cli, const std::string& path) {
    model::Document* d = load(cli, path, 0);
    if (!d) {
        return nullptr;
    }
    bool any = false;
    for (const model::GerberEntry& row : d->setup.gerber) {
        any |= row.in_use();
    }
    if (!any) {
        fail("\"" + path + "\" has no output rows (\"-dy\" directives): nothing to plot");
        return nullptr;
    }
    return d;
}

std::string inches(model::Coord v) {
    int64_t m = v;
    bool neg = m < 0;
    int64_t thou = ((neg ? -m : m) * 1000 + 32768) / 65536;
    char b[32];
    std::snprintf(b, sizeof b, "%s%lld.%03lld", neg && thou ? "-" : "", static_cast<long long>(thou / 1000),
                  static_cast<long long>(thou % 1000));
    return b;
}

} // namespace trazel::cli
