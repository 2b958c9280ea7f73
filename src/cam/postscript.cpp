// The PostScript plot job: the fixed prologue, the pad procedures, one colour per plotted layer and the
// Items of each layer as stroked paths.
#include "cam/postscript.h"

#include <algorithm>
#include <ctime>
#include <vector>

#include "cam/gerber_writer.h"
#include "cam/plot_types.h"
#include "display/stroke_font.h"
#include "model/model.h"
#include "model/numbers.h"

namespace trazel::cam {

namespace {

using model::Node;
using model::Ref;

constexpr size_t kWrapColumn = 66;        // a path line is ended once it holds this many characters
constexpr int64_t kComponentGrow = 32768; // a Component box grown by half an inch before the window test
constexpr int64_t kTextSlack = 8192;
constexpr int kMaxSolidVertices = 511;

class PsJob {
  public:
    PsJob(const PageTransform& t, const PlotSink& sink) : t_(t), sink_(sink) {
    }

    // --- text lines ---
    void text(std::string_view s) {
        end_line();
        out_ += s;
        out_ += "\r\n";
        maybe_send();
    }
    void end_line() {
        while (!line_.empty() && line_.back() == ' ') {
            line_.pop_back();
        }
        if (!line_.empty()) {
            out_ += line_;
            out_ += "\r\n";
            line_.clear();
            maybe_send();
        }
    }
    bool send() {
        if (!ok_) {
            return false;
        }
        if (!out_.empty()) {
            ok_ = sink_(out_);
            out_.clear();
        }
        return ok_;
    }
    void raw(std::string_view s) {
        out_ += s;
    }

    // --- numbers ---
    void num(int64_t v16) {
        char buf[32];
        char* e = model::write_fixed(buf, static_cast<int32_t>(std::clamp<int64_t>(v16, -INT32_MAX, INT32_MAX)));
        line_.append(buf, e);
        line_ += ' ';
    }
    void op(std::string_view o) {
        line_ += o;
        line_ += ' ';
    }

    // --- paths ---
    // A stroke of `width` Document units from (x1, y1) to (x2, y2), joined to the open path when it ends
    // at the first point.
    void stroke(Coord x1, Coord y1, Coord x2, Coord y2, int64_t width) {
        int64_t w = t_.scaled(width);
        if (w != width_) {
            close_path();
            num(w);
            op("W");
            width_ = w;
        }
        int64_t ax = t_.page_x(x1), ay = t_.page_y(y1);
        if (!open_ || ax != end_x_ || ay != end_y_) {
            num(ax);
            num(ay);
            op("M");
        }
        end_x_ = t_.page_x(x2);
        end_y_ = t_.page_y(y2);
        num(end_x_);
        num(end_y_);
        op("L");
        open_ = true;
        if (line_.size() >= kWrapColumn) {
            end_line();
        }
    }
    void close_path() {
        if (open_) {
            op("S");
            open_ = false;
        }
    }
    // Anything that is not a path: the open path is stroked and its line ended first.
    void other_output() {
        close_path();
        end_line();
    }
    // A pad operator sets the line width itself.
    void forget_width() {
        width_ = -1;
    }

  private:
    void maybe_send() {
        if (out_.size() >= kPostScriptPiece) {
            send();
        }
    }

    const PageTransform& t_;
    const PlotSink& sink_;
    std::string out_;
    std::string line_;
    bool ok_ = true;
    bool open_ = false;
    int64_t end_x_ = 0, end_y_ = 0;
    int64_t width_ = -1;
};

std::string colour_component(int c) {
    char buf[32];
    char* e = model::write_fixed(buf, static_cast<int32_t>((c * 65536 + 127) / 255));
    return std::string(buf, e);
}

std::string fixed_text(int64_t v16) {
    char buf[32];
    char* e = model::write_fixed(buf, static_cast<int32_t>(std::clamp<int64_t>(v16, -INT32_MAX, INT32_MAX)));
    return std::string(buf, e);
}

class Plot {
  public:
    Plot(const model::Document& doc, const PlotSettings& s, const PageTransform& t, PsJob& job)
        : doc_(doc), s_(s), t_(t), job_(job) {
    }

    void item(Ref r) {
        const Node& n = model::node(r);
        if (track_omitted(n, doc_.setup, s_.flags)) {
            return;
        }
        switch (n.item_kind()) {
        case model::kLine:
            if (n.size != 0) {
                job_.stroke(n.line.x1, n.line.y1, n.line.x2, n.line.y2, n.size);
            } else if (n.link != model::kNone) {
                solid(n);
            }
            return;
        case model::kArc:
            if (n.size != 0) {
                int64_t w = n.size;
                arc_chords(n.arc.x0, n.arc.y0, n.arc.radius, n.arc.start, n.arc.sweep, n.arc.ellipse, n.arc.angle,
                           [&](Coord x1, Coord y1, Coord x2, Coord y2) { job_.stroke(x1, y1, x2, y2, w); });
            }
            return;
        case model::kPad:
            pad(n);
            return;
        case model::kText:
            text(r);
            return;
        default:
            return;
        }
    }

  private:
    void solid(const Node& n) {
        model::Point pts[kMaxSolidVertices];
        int count = 0;
        for (Ref v = n.link; v != model::kNone && count < kMaxSolidVertices; v = model::node(v).link) {
            pts[count++] = model::Point{model::node(v).line.x1, model::node(v).line.y1};
        }
        polygon_strokes(pts, count, kAperture002,
                        [&](Coord x1, Coord y1, Coord x2, Coord y2) { job_.stroke(x1, y1, x2, y2, kAperture002); });
    }

    void pad(const Node& n) {
        const model::PadFields& p = n.pad;
        if (pad_omitted(n, s_.flags) || p.width == 0 || p.height == 0) {
            return;
        }
        job_.other_output();
        job_.num(t_.page_x(p.x0));
        job_.num(t_.page_y(p.y0));
        bool rect = (n.size & 3) == 2;
        if (p.width == p.height) {
            job_.num(t_.scaled(p.width));
            job_.op(rect ? "Ps" : "Pc");
        } else {
            job_.num(t_.scaled(p.width));
            job_.num(t_.scaled(p.height));
            job_.op(rect ? "Pr" : "Po");
        }
        if ((s_.flags & kPlotNoHoles) == 0 && (n.size & 7) < 4 && p.hole >= kMinHole) {
            // A white dot of the hole's size, then back to the colour of layer 0, where thru-hole Pads plot.
            job_.op("C256");
            job_.num(t_.page_x(p.x0));
            job_.num(t_.page_y(p.y0));
            job_.num(t_.scaled(p.hole));
            job_.op("W 2 copy M L S C0");
        }
        job_.end_line();
        job_.forget_width();
    }

    void text(Ref r) {
        Node& n = model::node(r);
        int64_t slack = t_.scaled(model::abs64(n.text.length) + kTextSlack);
        int64_t ax = t_.page_x(n.text.x0), ay = t_.page_y(n.text.y0);
        if (ax < t_.win_x1 - slack || ax > t_.win_x2 + slack || ay < t_.win_y1 - slack || ay > t_.win_y2 + slack) {
            return;
        }
        // Laying a text out writes its measured length back; the plot leaves the Document as it was.
        Coord length = n.text.length;
        uint8_t lines = n.text.lines;
        auto sink = display::StrokeFunction([&](const display::Stroke& st) {
            if (st.width > 0) {
                job_.stroke(st.x1, st.y1, st.x2, st.y2, st.width);
            }
        });
        display::draw_text_item(r, 3, sink);
        n.text.length = length;
        n.text.lines = lines;
    }

    const model::Document& doc_;
    const PlotSettings& s_;
    const PageTransform& t_;
    PsJob& job_;
};

void prologue(PsJob& job, const PlotSettings& s, const PageTransform& t) {
    const PlotDevice& d = s.device;
    job.text("%!PS-Adobe-3.0");
    job.text("");
    job.text("% ----- STANDARD SETUP COMMANDS.");
    job.text("");
    int64_t sheet_w = d.phys_w / std::max(d.dpi_x, 1), sheet_h = d.phys_h / std::max(d.dpi_y, 1);
    if ((sheet_w == 11 && sheet_h == 17) || (sheet_w == 17 && sheet_h == 11)) {
        job.text("%%IncludeFeature: input ( Ledger )");
    }
    bool portrait = d.horz_res <= d.vert_res;
    int64_t tx, ty;
    if (portrait) {
        tx = (d.offset_x << 16) / std::max(d.dpi_x, 1);
        ty = ((d.phys_h - d.offset_y - d.vert_res) << 16) / std::max(d.dpi_y, 1);
    } else {
        tx = ((d.vert_res + d.offset_y) << 16) / std::max(d.dpi_y, 1);
        ty = ((d.phys_w - d.offset_x - d.horz_res) << 16) / std::max(d.dpi_x, 1);
    }
    // The page window in points on the unrotated sheet: the landscape origin turns page X up the sheet
    // and page Y to its left.
    int64_t bx1, by1, bx2, by2;
    if (portrait) {
        bx1 = tx + t.win_x1, bx2 = tx + t.win_x2, by1 = ty + t.win_y1, by2 = ty + t.win_y2;
    } else {
        bx1 = tx - t.win_y2, bx2 = tx - t.win_y1, by1 = ty + t.win_x1, by2 = ty + t.win_x2;
    }
    auto points_down = [](int64_t v) { return model::floor_div(v * 72, 65536); };
    auto points_up = [](int64_t v) { return model::ceil_div(v * 72, 65536); };
    job.text("%%Title: " + s.title);
    job.text("%%Creator: TRAZEL'98");
    job.text("%%CreationDate: " + postscript_date(s.created));
    job.text("%%BoundingBox: " + std::to_string(points_down(bx1)) + " " + std::to_string(points_down(by1)) + " " +
             std::to_string(points_up(bx2)) + " " + std::to_string(points_up(by2)));
    for (const char* l :
         {"%%Pages: 1", "%%PageOrder: Ascending", "%%Requirements: ", "%%DocumentNeededFonts: ",
          "%%DocumentSuppliedFonts: ", "%%DocumentData: Clean7Bit", "%%LanguageLevel: 2", "%%EndComments"}) {
        job.text(l);
    }
    // Before any scaling: a spooler that splits pages gives each a fresh graphics state from here.
    job.text("%%Page: 1 1");
    job.text("72 72 scale");
    job.text(fixed_text(tx) + " " + fixed_text(ty) + " translate");
    if (!portrait) {
        job.text("90 rotate");
    }
    for (const char* l : {"1 setlinejoin",
                          "1 setlinecap",
                          "/B {bind def} bind def",
                          "/W {setlinewidth} B",
                          "/M {moveto} B",
                          "/L {lineto} B",
                          "/S {stroke} B",
                          "",
                          "% ----- PAD DEFINITIONS.",
                          "",
                          "/Pr {0 W 4 2 roll 2 index 2 div sub exch 3 index 2 div sub exch moveto",
                          " 0 1 index rlineto exch 0 rlineto 0 exch neg rlineto closepath fill} B",
                          "/Ps {dup Pr} B",
                          "/Px {dup W sub 3 1 roll exch 2 index 2 div sub exch M 0 rlineto S} B",
                          "/Py {exch dup W sub 2 div 3 copy sub M add L S} B",
                          "/Po {2 copy ge {Px} {Py} ifelse} B",
                          "/Pc {W 2 copy M L S} B",
                          "",
                          "% ----- COLOR DEFINITIONS.",
                          ""}) {
        job.text(l);
    }
}

void colours(PsJob& job, const model::Setup& setup, uint16_t flags) {
    bool keep = (flags & kPlotKeepColours) != 0;
    for (int layer = 0; layer < 256; ++layer) {
        const model::LayerEntry& e = setup.layers[static_cast<size_t>(layer)];
        if (!layer_plotted(e)) {
            continue;
        }
        std::string l = "/C" + std::to_string(layer) + " {";
        for (int shift : {16, 8, 0}) {
            int c = static_cast<int>((e.plot >> shift) & 0xFF);
            l += colour_component(keep ? c : 255 - c);
            l += ' ';
        }
        job.text(l + "setrgbcolor} B");
    }
    job.text("/C256 {255 255 255 setrgbcolor} B");
}

} // namespace

std::string postscript_date(int64_t seconds) {
    if (seconds < 0) {
        return {};
    }
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (gmtime_r(&t, &tm) == nullptr) {
        return {};
    }
    char buf[64];
    size_t n = std::strftime(buf, sizeof buf, "%a %b %e %H:%M:%S %Y", &tm);
    return std::string(buf, n);
}

int write_postscript(const model::Document& doc, const PlotSettings& settings, const PlotSink& sink,
                     platform::RunContext& run) {
    PageTransform t = page_transform(doc, settings);
    PsJob job(t, sink);
    prologue(job, settings, t);
    colours(job, doc.setup, settings.flags);
    job.text("");
    job.text("% ----- DATA FILE.");
    job.text("");
    if (!job.send()) {
        return 0;
    }

    Plot plot(doc, settings, t, job);
    bool whole = for_each_plot_layer(
        doc, [&](const Node& c) { return t.meets_window(c.box.x1, c.box.y1, c.box.x2, c.box.y2, kComponentGrow); },
        run, [&](int layer, const std::vector<Ref>& items) {
            job.other_output();
            job.text("C" + std::to_string(layer));
            for (Ref r : items) {
                plot.item(r);
            }
            return true;
        });
    if (!whole) {
        return 0;
    }
    job.other_output();
    job.text("showpage");
    job.text("%%EOF");
    job.raw("\x04");
    return job.send() ? 1 : 0;
}

} // namespace trazel::cam
