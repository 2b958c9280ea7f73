// The ASCII listing of a run: draft codes, drill tools and the files the rows produce.
#include "cam/photoplot.h"
#include "cam/plot_items.h"

namespace trazel::cam {

namespace {

// A listing line laid out in columns.  A field that would start inside the previous one moves right
// to one blank after it, so a long name is never overwritten by the column beside it.
class Columns {
  public:
    Columns& at(size_t col, std::string_view text) {
        size_t pos = col;
        if (!text_.empty() && text_.size() >= col) {
            pos = text_.size() + 1;
        }
        if (text_.size() < pos) {
            text_.append(pos - text_.size(), ' ');
        }
        text_.append(text);
        return *this;
    }
    // Right-aligned so that the last character stands in column `last`.
    Columns& right(size_t last, std::string_view text) {
        size_t start = text.size() > last + 1 ? 0 : last + 1 - text.size();
        return at(start, text);
    }
    const std::string& str() const {
        return text_;
    }

  private:
    std::string text_;
};

} // namespace

void write_aperture_listing(PlotContext& ctx, TextOut& out) {
    const model::Setup& s = *ctx.setup;
    std::string doc_name = base_name(ctx.doc_path);
    out.line(doc_name + "    " + ctx.date + "    " + ctx.time);
    out.line("");
    out.line("");

    out.line("GERBER DRAFT CODES");
    out.line("");
    out.line("Code   Size           Shape");
    out.line("----   -----------    ---------");
    for (int code = kFirstCode; code < ctx.apertures.end; ++code) {
        const Aperture& a = ctx.apertures.at(code);
        if (a.width == 0) {
            continue;
        }
        std::string size = size_string(a.width, 4) + "\"";
        if (a.height != a.width) {
            size += "x" + size_string(a.height, 4) + "\"";
        }
        const char* shape = a.shape == kRectShape ? (a.width == a.height ? "Square" : "Rectangle") : "Round";
        Columns c;
        c.at(0, "D" + std::to_string(code)).at(7, size).at(22, shape);
        out.line(c.str());
    }

    out.line("");
    out.line("EXCELLON TOOL CODES");
    out.line("");
    out.line("Code   Size     Count");
    out.line("----   -----    -----");
    for (int i = 1; i <= ctx.tools.count; ++i) {
        const Tool& t = ctx.tools.tools[static_cast<size_t>(i)];
        if (t.hits == 0) {
            continue;
        }
        std::string size = size_string(t.diameter, 3) + "\"";
        if (t.non_plated) {
            size += " np";
        }
        Columns c;
        c.at(0, "T" + std::to_string(i)).at(7, size).right(20, std::to_string(t.hits));
        out.line(c.str());
    }

    out.line("");
    out.line("DOS DATA FILES");
    out.line("");
    out.line("File Name       Type        View");
    out.line("------------    --------    --------");
    std::string stem = base_name(path_stem(ctx.doc_path));
    for (const model::GerberEntry& row : s.gerber) {
        if (!row.in_use()) {
            continue;
        }
        Columns c;
        c.at(0, stem + "." + row_extension(row))
            .at(16, kFileTypeNames[row.kind & kFileTypeMask])
            .at(28, (row.kind & kFileBottom) ? "Bottom" : "Normal");
        out.line(c.str());
    }
    out.line("");
    out.line("END OF FILE");
}

} // namespace trazel::cam
