// trazel-cli image: puts pictures into the image slots of a file, or takes them out, and saves the file.
// Only the pixel readers are asked (a board given as --add is refused); the file's setup and Items stay
// as they are.  Each --add may be followed by its own --slot, --at and --dpi.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "images/block.h"
#include "images/readers.h"

namespace trazel::cli {

namespace {

constexpr std::string_view kVerb = "image";

struct Add {
    std::string path;
    int slot = -1;    // -1: the slot rule
    bool at = false;  // bottom-left corner given
    double x = 0, y = 0;
    int dpi = 0;      // 0: the file's own
};

struct Step {
    bool remove = false;
    int slot = -1; // --remove
    Add add;
};

bool whole(const std::string& text, int low, int high, int& out) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    out = std::atoi(text.c_str());
    return out >= low && out <= high;
}

// "X,Y" in inches.
bool point(const std::string& text, double& x, double& y) {
    size_t comma = text.find(',');
    if (comma == std::string::npos) {
        return false;
    }
    std::string a = text.substr(0, comma), b = text.substr(comma + 1);
    char* end = nullptr;
    x = std::strtod(a.c_str(), &end);
    if (a.empty() || *end != 0 || !std::isfinite(x)) {
        return false;
    }
    y = std::strtod(b.c_str(), &end);
    return !b.empty() && *end == 0 && std::isfinite(y);
}

// Moves the block to its corner and resolution; false when it would leave the drawing area.
bool place(std::vector<uint8_t>& block, const Add& a) {
    images::BlockHeader h;
    images::read_header(block, h);
    if (a.dpi > 0) {
        h.dpi = a.dpi;
    }
    images::place_new(h);
    double left = a.at ? std::round(a.x * 65536.0) : 0.0;
    double bottom = a.at ? std::round(a.y * 65536.0) : 0.0;
    double right = left + h.right, top = bottom + h.top;
    double limit = model::kCoordLimit;
    if (std::fabs(left) > limit || std::fabs(bottom) > limit || std::fabs(right) > limit || std::fabs(top) > limit) {
        return false;
    }
    h.left = static_cast<int32_t>(left);
    h.bottom = static_cast<int32_t>(bottom);
    h.right = static_cast<int32_t>(right);
    h.top = static_cast<int32_t>(top);
    images::write_header(h, block);
    return true;
}

} // namespace

int run_image(int argc, char** argv) {
    std::vector<std::string> files;
    std::vector<Step> steps;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        std::string v;
        bool per_add = a == "--slot" || a == "--at" || a == "--dpi";
        if (a != "--add" && a != "--remove" && !per_add) {
            if (a.size() > 1 && a[0] == '-') {
                return usage_error(kVerb, "unknown option " + a);
            }
            files.push_back(a);
            continue;
        }
        if (!next_value(argc, argv, i, v)) {
            return usage_error(kVerb, a + " needs a value");
        }
        if (per_add && (steps.empty() || steps.back().remove)) {
            return usage_error(kVerb, a + " belongs to the --add before it");
        }
        if (a == "--add") {
            steps.push_back(Step{});
            steps.back().add.path = v;
        } else if (a == "--remove") {
            steps.push_back(Step{true, -1, {}});
            if (!whole(v, 0, model::kImageSlots - 1, steps.back().slot)) {
                return usage_error(kVerb, "bad --remove \"" + v + "\": a slot 0-127");
            }
        } else if (a == "--slot" && !whole(v, 0, model::kImageSlots - 1, steps.back().add.slot)) {
            return usage_error(kVerb, "bad --slot \"" + v + "\": a slot 0-127");
        } else if (a == "--dpi" && !whole(v, 1, 100000, steps.back().add.dpi)) {
            return usage_error(kVerb, "bad --dpi \"" + v + "\": dots per inch, 1-100000");
        } else if (a == "--at") {
            steps.back().add.at = point(v, steps.back().add.x, steps.back().add.y);
            if (!steps.back().add.at) {
                return usage_error(kVerb, "bad --at \"" + v + "\": X,Y in inches");
            }
        }
    }
    if (files.size() != 2) {
        return usage_error(kVerb, "an input and an output file are needed");
    }
    if (steps.empty()) {
        return usage_error(kVerb, "nothing to do: give --add PICTURE or --remove N");
    }
    Cli cli;
    model::Document* d = load(cli, files[0], 0);
    if (!d) {
        return 1;
    }
    std::vector<std::string> summary;
    for (const Step& s : steps) {
        if (s.remove) {
            cli.model.images[static_cast<size_t>(s.slot)].clear();
            summary.push_back("slot " + std::to_string(s.slot) + " emptied");
            continue;
        }
        model::LineReader in;
        std::string why;
        if (!in.open_file(s.add.path, &why)) {
            return fail("cannot read \"" + s.add.path + "\": " + why);
        }
        images::Picture p;
        images::DecodeError error;
        if (!images::decode_picture(in, p, error)) {
            return fail(images::source_name(s.add.path) + ": " + error.message);
        }
        std::string size = std::to_string(p.width) + " x " + std::to_string(p.height);
        std::vector<uint8_t> block = images::make_block(std::move(p), s.add.path);
        if (!place(block, s.add)) {
            return fail(images::source_name(s.add.path) + ": the picture would reach past the drawing area");
        }
        int slot = s.add.slot;
        if (slot >= 0) {
            cli.model.images[static_cast<size_t>(slot)] = std::move(block);
            cli.model.current_image = slot;
        } else {
            bool replaced = false;
            slot = images::take_slot(cli.model, std::move(block), &replaced);
            if (replaced) {
                summary.push_back("all " + std::to_string(model::kImageSlots) + " slots were in use: slot " +
                                  std::to_string(slot) + " replaced");
            }
        }
        if (static_cast<unsigned char>(d->setup.layers[0].name[0]) <= ' ') {
            images::install_pixel_setup(d->setup);
        }
        summary.push_back("slot " + std::to_string(slot) + ": " + images::source_name(s.add.path) + ", " +
                          size);
    }
    const std::string& out = files[1];
    model::set_document_name(d, out);
    std::string why;
    if (!model::SaveDocumentFile(cli.formats, out, 0, &why)) {
        return fail("cannot write \"" + out + "\": " + why);
    }
    for (const std::string& line : summary) {
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

} // namespace trazel::cli
