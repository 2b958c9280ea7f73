#pragma once
// The RS-274-X writer: apertures selected, pen moves, flashes, arcs as chords, painted areas, and stroke
// text drawn through it.
#include <cstdint>
#include <functional>
#include <string_view>

#include "cam/apertures.h"
#include "cam/text_out.h"
#include "model/geometry.h"
#include "model/node.h"
#include "model/units.h"

namespace trazel::cam {

using model::Angle;
using model::Coord;
using model::Length;
using model::Ref;

// --- Gerber writer -----------------------------------------------------------------------------

// Pen state of the writer.  Flash and Unknown both make the next move name its D-code, because a
// coordinate line without one repeats the last operation, which after a flash would flash again.
enum class Pen : uint8_t { Unknown, Up, Down, Flash };

// A pad's plot form after the size increase of a file type.
struct PadForm {
    enum class Kind : uint8_t { None, Flash, Segment, Painted } kind = Kind::None;
    ApertureShape shape = kRoundShape; // Flash: aperture shape; Segment: always round
    Length width = 0;            // Flash: aperture size; Segment: the round aperture; Painted: pad size
    Length height = 0;
    Coord dx = 0; // Segment: half the distance between the two end centres, rotated
    Coord dy = 0;
};
PadForm pad_form(const model::Node& pad, int increase);

class GerberWriter {
  public:
    GerberWriter(TextOut& out, const ApertureTable& apertures, Coord origin_x, Coord origin_y)
        : out_(out), apertures_(apertures), origin_x_(origin_x), origin_y_(origin_y) {
    }

    // Forget the pen, the aperture and the last point: each file starts afresh.
    void reset();
    // "%FSLAX24Y24*%" and one aperture definition per table entry.
    void header();
    void trailer(); // "M02*"

    void select(ApertureShape shape, Length width, Length height = 0);
    void select_round(Length width) {
        select(kRoundShape, width, width);
    }
    void move_or_draw(bool down, Coord x, Coord y);
    void segment(Coord x1, Coord y1, Coord x2, Coord y2);
    void flash(Coord x, Coord y);
    // Chords of an arc; sweep 0 is a full circle.  `ellipse` squeezes Y by ellipse/65536 before the
    // rotation when it is not 0.
    void arc(Coord x0, Coord y0, Coord radius, Angle start, Angle sweep, uint16_t ellipse = 0, Angle rotation = 0);
    void flash_pad(const model::Node& pad, int increase);
    // A rectangle turned by an angle, outlined and filled with the 0.002-inch aperture.
    void paint_rotated_rect(Coord x0, Coord y0, Length width, Length height, Angle angle);
    // A filled polygon, with the fill aperture of the given width (already raised to 0.002 inch).
    void paint_polygon(const model::Point* pts, int n, Length fill_width);
    void paint_solid(Ref solid, Length fill_width);

    int current_code() const {
        return code_;
    }
    Pen pen() const {
        return pen_;
    }

  private:
    void span_fill(const model::Point* pts, int n, Coord step);
    void put_line(const char* begin, const char* end);
    void emit(bool down, int64_t gx, int64_t gy);
    int64_t gx(Coord x) const {
        return gerber_units(static_cast<int64_t>(x) - origin_x_);
    }
    int64_t gy(Coord y) const {
        return gerber_units(static_cast<int64_t>(y) - origin_y_);
    }

    TextOut& out_;
    const ApertureTable& apertures_;
    Coord origin_x_;
    Coord origin_y_;
    int code_ = 0;      // 0: no aperture selected yet
    Aperture overflow_; // what D1023 stands for when it is current
    Pen pen_ = Pen::Unknown;
    bool have_x_ = false;
    bool have_y_ = false;
    int64_t last_x_ = 0; // in 1/10000 inch after the origin
    int64_t last_y_ = 0;
};

// --- Plot geometry shared with the vector plots ------------------------------------------------

// One straight stroke from (x1, y1) to (x2, y2).
using StrokeFn = std::function<void(Coord, Coord, Coord, Coord)>;
// The chords of an arc at the radius-dependent step, each from where the last ended; sweep 0 is a full
// circle, `ellipse` squeezes Y as in GerberWriter::arc.
void arc_chords(Coord x0, Coord y0, Coord radius, Angle start, Angle sweep, uint16_t ellipse, Angle rotation,
                const StrokeFn& chord);
// The horizontal strokes `step` apart that the point-in-polygon span search finds inside a polygon.
void span_strokes(const model::Point* pts, int n, Coord step, const StrokeFn& stroke);
// A filled polygon painted with a round pen of `fill_width` (raised to 0.002 inch): the outline moved half
// the pen inwards, then its spans.
void polygon_strokes(const model::Point* pts, int n, Length fill_width, const StrokeFn& stroke);

// --- Stroke text -------------------------------------------------------------------------------

// Draws a Text Item with the stroke font through the writer: each stroke selects the round aperture
// of its stroke width and is one segment.  The Item is left exactly as it was.
void stroke_text(GerberWriter& w, Ref text);
// Draws a string at angle 0 from (x, y), with the given character unit (the glyph step) and every stroke
// drawn with the round aperture `aperture`; `across` moves the baseline up (or down) from y.
void stroke_string(GerberWriter& w, std::string_view s, Coord x, Coord y, Coord unit, Length aperture,
                   Coord across = 0);
// The stroke widths a Text Item is drawn with: the first, then one per 192/193 size code.
void text_stroke_widths(Ref text, const std::function<void(Length)>& f);

// --- The run -----------------------------------------------------------------------------------

struct DateTime {
    int year = 2000; // full year
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;
};
// "MM/DD/YY" and "hh:mm am".
std::string plot_date(const DateTime& t);
std::string plot_time(const DateTime& t);

} // namespace trazel::cam
