// The Document written as one photoplot through the photoplot run's own Gerber file writer.
#include "cam/gerber_export.h"

#include <string>

#include "cam/photoplot.h"

namespace trazel::cam {

namespace {

bool plots_gerber(const model::GerberEntry& row) {
    switch (row.kind & kFileTypeMask) {
    case kDrill:
    case kAperture:
        return false;
    case kSymbols:
        // The drill symbols are a Gerber file only under the extension "SYM".
        return row_extension(row) == "SYM" || row_extension(row) == "sym";
    default:
        return true;
    }
}

} // namespace

model::GerberEntry export_row(const model::Setup& s) {
    for (const model::GerberEntry& row : s.gerber) {
        if (row.in_use() && plots_gerber(row)) {
            return row;
        }
    }
    model::GerberEntry all;
    all.ext[0] = 'G', all.ext[1] = 'E', all.ext[2] = 'R';
    all.kind = kCopper;
    for (size_t k = 1; k < s.layers.size(); ++k) {
        all.layers.set(k, s.layers[k].in_use());
    }
    return all;
}

bool write_gerber_document(model::OutBuffer& out) {
    const model::Document* d = model::M().current;
    if (!d) {
        return false;
    }
    model::GerberEntry row = export_row(d->setup);
    PlotContext ctx;
    prepare_plot(ctx, d->setup, d->ring(), d->name(), local_now());
    TextOut text;
    text.drain = [&out](std::string_view bytes) {
        out.put(bytes);
        return !out.failed();
    };
    std::string target = out.path().empty() ? d->name() : out.path();
    size_t sep = target.find_last_of("/\\");
    std::string name = sep == std::string::npos ? target : target.substr(sep + 1);
    if ((row.kind & kFileTypeMask) == kSymbols) {
        write_symbols_gerber(ctx, row, name, text);
    } else {
        write_gerber_file(ctx, row, name, text);
    }
    return text.flush() && !out.failed();
}

void register_cam_formats(model::FormatTable& t) {
    model::register_writer(t, 'G', write_gerber_document);
}

} // namespace trazel::cam
