// trazel-cli rectify IN OUT --pair SX,SY=TX,TY ... [--slot N]: straightens a picture as S5 does, with the
// pairs given in inches (source point on the picture = target point on the drawing).  Prints the twelve
// coefficients and the new rectangle; any failure writes nothing.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "images/rectify.h"
#include "platform/run_context.h"
#include "shell/keys.h"

namespace trazel::cli {

namespace {

constexpr std::string_view kVerb = "rectify";

// A message box text on one line.
std::string one_line(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '\n') {
            out.push_back(c);
        } else if (!out.empty() && out.back() != ' ') {
            out.push_back(' ');
        }
    }
    return out;
}

bool point(const std::string& text, model::Point& p) {
    return shell::parse_typed_point(text, 0, 0, p.x, p.y);
}

// "SX,SY=TX,TY" in inches (or with '"' or "mm").
bool parse_pair(const std::string& text, images::ReferencePair& pair) {
    size_t eq = text.find('=');
    return eq != std::string::npos && point(text.substr(0, eq), pair.source) && point(text.substr(eq + 1), pair.target);
}

// Inches with at most five decimals (halves away from zero) and no trailing zeros.
std::string inch_text(int32_t units) {
    int64_t m = units < 0 ? -int64_t{units} : int64_t{units};
    int64_t q = (m * 100000 + 32768) / 65536;
    char b[32];
    std::snprintf(b, sizeof b, "%s%lld.%05lld", units < 0 && q != 0 ? "-" : "", static_cast<long long>(q / 100000),
                  static_cast<long long>(q % 100000));
    std::string t = b;
    while (t.back() == '0') {
        t.pop_back();
    }
    if (t.back() == '.') {
        t.pop_back();
    }
    return t;
}

} // namespace

int run_rectify(int argc, char** argv) {
    std::vector<std::string> files;
    std::vector<images::ReferencePair> pairs;
    int slot = -1;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i], value;
        if (a == "--pair") {
            images::ReferencePair p;
            if (!next_value(argc, argv, i, value) || !parse_pair(value, p)) {
                return usage_error(kVerb, "--pair takes SX,SY=TX,TY in inches");
            }
            pairs.push_back(p);
        } else if (a == "--slot") {
            char* end = nullptr;
            long n = next_value(argc, argv, i, value) ? std::strtol(value.c_str(), &end, 10) : -1;
            if (value.empty() || *end != 0 || n < 0 || n >= model::kImageSlots) {
                return usage_error(kVerb, "--slot takes a slot number 0-" + std::to_string(model::kImageSlots - 1));
            }
            slot = static_cast<int>(n);
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error(kVerb, "unknown option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) {
        return usage_error(kVerb, "an input and an output file are needed");
    }
    if (pairs.empty()) {
        return usage_error(kVerb, "four or more --pair SX,SY=TX,TY are needed");
    }
    if (pairs.size() < static_cast<size_t>(images::kMinimumPairs)) {
        return fail(one_line(images::too_few_pairs_line(static_cast<int>(pairs.size()))));
    }

    Cli cli;
    model::Document* d = load(cli, files[0]);
    if (!d) {
        return 1;
    }
    if (slot < 0) {
        slot = cli.model.current_image;
    }
    std::vector<uint8_t>& block = cli.model.images[static_cast<size_t>(slot)];
    images::BlockHeader h;
    if (block.empty() || !images::read_header(block, h)) {
        return fail("slot " + std::to_string(slot) + " holds no picture");
    }
    for (const images::ReferencePair& p : pairs) {
        if (p.source.x < h.left || p.source.x > h.right || p.source.y < h.bottom || p.source.y > h.top) {
            return fail("the source point " + inch_text(p.source.x) + "," + inch_text(p.source.y) +
                        " lies outside the picture");
        }
    }
    platform::RunContext run(cli.ui);
    images::RectifyResult r = images::rectify(block, pairs, run);
    if (r.status != images::RectifyStatus::Done) {
        return fail(one_line(r.message));
    }
    block = std::move(r.block);
    // A picture read from its own file is written as a Data file.
    char code = d->setup.format_code == 'B' ? 'C' : 0;
    if (code) {
        d->setup.format_code = code;
    }
    model::set_document_name(d, files[1]);
    std::string why;
    if (!model::SaveDocumentFile(cli.formats, files[1], code, &why)) {
        return fail("cannot write \"" + files[1] + "\": " + why);
    }
    for (size_t k = 0; k < r.mapping.c.size(); ++k) {
        double v = r.mapping.c[k];
        std::printf("c%zu %.10g\n", k, std::fabs(v) < 1e-12 ? 0.0 : v);
    }
    const images::Placement& p = r.placement;
    std::printf("rectangle %s,%s %s,%s (%d x %d pixels at %d dpi, slot %d)\n", inch_text(p.left).c_str(),
                inch_text(p.bottom).c_str(), inch_text(p.right).c_str(), inch_text(p.top).c_str(), p.width, p.height,
                h.dpi, slot);
    return 0;
}

} // namespace trazel::cli
