// The HPGL plot through the pen path writer.
#include "cam/hpgl_plot.h"

#include <algorithm>
#include <vector>

#include "cam/gerber_writer.h"
#include "cam/pen_path.h"
#include "display/stroke_font.h"
#include "display/trig.h"
#include "model/model.h"

namespace trazel::cam {

namespace {

using model::Node;
using model::Ref;

constexpr int kMaxSolidVertices = 511;

class Hpgl {
  public:
    Hpgl(const model::Document& doc, const PlotSettings& s)
        : doc_(doc), s_(s), mirror_((s.flags & kPlotMirror) != 0), pen_(hpgl_units(kHpglPen, s.hpgl_units)) {
    }

    PenPath& pen() {
        return pen_;
    }

    void item(Ref r) {
        const Node& n = model::node(r);
        if (track_omitted(n, doc_.setup, s_.flags)) {
            return;
        }
        switch (n.item_kind()) {
        case model::kLine:
            if (n.size != 0) {
                pen_.segment(x(n.line.x1), y(n.line.y1), x(n.line.x2), y(n.line.y2));
            } else if (n.link != model::kNone) {
                solid(n);
            }
            return;
        case model::kArc:
            if (n.size != 0) {
                arc(n);
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
    int64_t x(int64_t v) const {
        return hpgl_units(v, s_.hpgl_units);
    }
    int64_t y(int64_t v) const {
        return mirror_ ? -hpgl_units(v, s_.hpgl_units) : hpgl_units(v, s_.hpgl_units);
    }

    // A closed or open run of points, started at whichever end of the run is nearer when it is open.
    void polyline(std::vector<std::pair<int64_t, int64_t>>& pts, bool closed) {
        if (pts.empty()) {
            return;
        }
        if (closed) {
            pts.push_back(pts.front());
        } else if (pen_.second_end_nearer(pts.front().first, pts.front().second, pts.back().first, pts.back().second)) {
            std::reverse(pts.begin(), pts.end());
        }
        pen_.move(pts.front().first, pts.front().second);
        for (size_t i = 1; i < pts.size(); ++i) {
            pen_.draw(pts[i].first, pts[i].second);
        }
    }

    void solid(const Node& n) {
        pts_.clear();
        for (Ref v = n.link; v != model::kNone && pts_.size() < kMaxSolidVertices; v = model::node(v).link) {
            pts_.emplace_back(x(model::node(v).line.x1), y(model::node(v).line.y1));
        }
        polyline(pts_, true);
    }

    void arc(const Node& n) {
        pts_.clear();
        arc_chords(n.arc.x0, n.arc.y0, n.arc.radius, n.arc.start, n.arc.sweep, n.arc.ellipse, n.arc.angle,
                   [&](Coord x1, Coord y1, Coord x2, Coord y2) {
                       if (pts_.empty()) {
                           pts_.emplace_back(x(x1), y(y1));
                       }
                       pts_.emplace_back(x(x2), y(y2));
                   });
        polyline(pts_, false);
    }

    void text(Ref r) {
        Node& n = model::node(r);
        // Laying a text out writes its measured length back; the plot leaves the Document as it was.
        Coord length = n.text.length;
        uint8_t lines = n.text.lines;
        auto sink = display::StrokeFunction(
            [&](const display::Stroke& st) { pen_.segment(x(st.x1), y(st.y1), x(st.x2), y(st.y2)); });
        display::draw_text_item(r, 3, sink);
        n.text.length = length;
        n.text.lines = lines;
    }

    // A point `along` and `across` the pad's axes from its centre, turned by its angle.
    std::pair<int64_t, int64_t> pad_point(const Node& n, int64_t along, int64_t across) const {
        display::Rotation rot = display::Rotation::of(n.pad.angle);
        return {x(n.pad.x0 + rot.x(along, across)), y(n.pad.y0 + rot.y(along, across))};
    }

    void pad(const Node& n) {
        const model::PadFields& p = n.pad;
        if ((n.size & 3) == 0 || pad_omitted(n, s_.flags) || p.width == 0 || p.height == 0) {
            return;
        }
        int64_t hw = std::max<int64_t>(p.width / 2 - kHpglPen / 2, 0);
        int64_t hh = std::max<int64_t>(p.height / 2 - kHpglPen / 2, 0);
        if ((n.size & 3) == 2) {
            pts_.clear();
            for (auto [sx, sy] : {std::pair{-1, -1}, {1, -1}, {1, 1}, {-1, 1}}) {
                pts_.push_back(pad_point(n, sx * hw, sy * hh));
            }
            polyline(pts_, true);
            return;
        }
        // Counter-clockwise on the board; a mirrored plot turns the other way.
        int64_t half_turn = mirror_ ? -180000 : 180000;
        if (p.width == p.height) {
            int64_t sx = x(p.x0 + hw), sy = y(p.y0);
            pen_.move(sx, sy);
            pen_.arc_to(x(p.x0), y(p.y0), 2 * half_turn, sx, sy);
            return;
        }
        // An oblong: the end circles' centres lie `d` from the middle along the long side.
        bool wide = p.width > p.height;
        int64_t r = wide ? hh : hw;
        int64_t d = (wide ? p.width - p.height : p.height - p.width) / 2;
        auto at = [&](int64_t along, int64_t across) {
            return wide ? pad_point(n, along, across) : pad_point(n, -across, along);
        };
        auto a1 = at(-d, -r), a2 = at(d, -r), b2 = at(d, r), b1 = at(-d, r);
        auto c1 = at(-d, 0), c2 = at(d, 0);
        pen_.move(a1.first, a1.second);
        pen_.draw(a2.first, a2.second);
        pen_.arc_to(c2.first, c2.second, half_turn, b2.first, b2.second);
        pen_.draw(b1.first, b1.second);
        pen_.arc_to(c1.first, c1.second, half_turn, a1.first, a1.second);
    }

    const model::Document& doc_;
    const PlotSettings& s_;
    bool mirror_;
    PenPath pen_;
    std::vector<std::pair<int64_t, int64_t>> pts_;
};

} // namespace

int64_t hpgl_units(int64_t v, int units_per_inch) {
    int64_t a = model::abs64(v);
    int64_t u;
    if (units_per_inch == kHpglOldUnit) {
        // 1.021 as 1 + 90194313 / 2^32, then thousandths, as the older plots were made.
        u = ((a + ((a * 90194313) >> 32)) * 1000 + 32768) >> 16;
    } else {
        u = (a * units_per_inch + 32768) >> 16;
    }
    return v < 0 ? -u : u;
}

int write_hpgl(const model::Document& doc, const PlotSettings& settings, const PlotSink& sink,
               platform::RunContext& run) {
    Hpgl plot(doc, settings);
    PenPath& pen = plot.pen();
    bool whole = for_each_plot_layer(doc, {}, run, [&](int layer, const std::vector<Ref>& items) {
        // Colour numbers whose low three bits are 0 would select pen 0, which is no pen at all.
        uint32_t colour = doc.setup.layers[static_cast<size_t>(layer)].plot & 0xFFFFFF;
        uint32_t number = colour % 8 == 0 ? 1 : colour % 8;
        pen.command("SP" + std::to_string(number));
        for (Ref r : items) {
            plot.item(r);
        }
        pen.pen_up();
        return sink(pen.take());
    });
    if (!whole) {
        return 0;
    }
    pen.home();
    return sink(pen.take()) ? 1 : 0;
}

} // namespace trazel::cam
