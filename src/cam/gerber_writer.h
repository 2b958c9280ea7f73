#pragma once
// The RS-274-X writer: apertures selected, pen moves, flashes, arcs as chords, painted areas, and stroke
// text drawn through it.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <tuple>

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

// A coordinate relative to the origin in nanometres (25.4 mm = 65536 units), rounded to nearest with
// halves away from zero: exact integer arithmetic, so no value is off by more than half a nanometre.
int64_t gerber_nanometres(int64_t v);
// A fixed-point value with `decimals` digits after the point ("-12.7", "0.0"): trailing zeros dropped,
// one digit always kept after the point.
std::string decimal_string(int64_t v, int decimals);

// What an aperture draws, for the X2 aperture attribute ("%TA.AperFunction,...*%").
enum class AperFunction : uint8_t {
    Drawing,      // "Other,Drawing"
    ComponentPad, // a through-hole pad
    SmdPad,       // "SMDPad,CuDef"
    ViaPad,
    WasherPad,     // a pad round a non-plated hole
    Conductor,     // tracks, arcs and poured areas on copper
    NonConductor,  // text and drawing on a copper film
    AntiPad,       // a plane's clearance
    ThermalRelief, // "Other,ThermalRelief": the gaps of a plane's thermal relief
    Profile,       // the board outline
    Legend,        // "Other,Legend"
    Drillmap,      // "Other,Drillmap"
    NonMaterial,   // the plot label, which is no part of the board
};
const char* aper_function_text(AperFunction f);

// The X2 object attributes of the flashes and strokes that follow: net, component, pin.
struct ObjectAttributes {
    std::string net;       // the Signal
    std::string component; // the Reference ID
    std::string pin;       // with a component: its pin

    bool empty() const {
        return net.empty() && component.empty();
    }
    bool operator==(const ObjectAttributes&) const = default;
};

// How the files of a run are written beyond plain RS-274-X in inches.
struct GerberStyle {
    bool x2 = false;           // file, aperture and object attributes; apertures defined per file on first use
    bool metric = false;       // millimetres, six decimals
    bool true_arcs = false;    // circular arcs as G75 G02/G03 instead of chords
    std::string creation_date; // ISO 8601 with the UTC offset
    std::string file_function; // of the file being written; empty: none written
    std::string file_polarity; // "Positive" or "Negative"
    AperFunction default_function = AperFunction::Drawing; // until the body says otherwise
};

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
    GerberWriter(TextOut& out, const ApertureTable& apertures, Coord origin_x, Coord origin_y,
                 const GerberStyle* style = nullptr)
        : out_(out), apertures_(apertures), origin_x_(origin_x), origin_y_(origin_y),
          style_(style != nullptr ? *style : GerberStyle{}), function_(style_.default_function) {
    }

    // Forget the pen, the aperture and the last point: each file starts afresh.
    void reset();
    // "%FSLAX24Y24*%" and one aperture definition per table entry; in millimetres "%FSLAX46Y46*%" and
    // "%MOMM*%"; with X2 the file attributes follow and the apertures are defined where first used.
    void header();
    void trailer(); // "M02*"

    const GerberStyle& style() const {
        return style_;
    }
    // What the apertures selected from now on draw (X2 only; ignored otherwise).
    void set_function(AperFunction f) {
        function_ = f;
    }
    // The object attributes of what is drawn from now on (X2 only); an empty set ends them.
    void set_object(const ObjectAttributes& a);

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
    // An aperture of an X2 file: function, form (0 round, 1 rectangle, 2 turned rectangle, 3 turned
    // oblong) and the sizes; a and b are the turn (2) or the half offset of the oblong's ends (3).
    using X2Key = std::tuple<uint8_t, uint8_t, Length, Length, int32_t, int32_t>;

    void span_fill(const model::Point* pts, int n, Coord step);
    void put_line(const char* begin, const char* end);
    void emit(bool down, int64_t gx, int64_t gy);
    void select_x2(const X2Key& key);
    void define_x2(const X2Key& key, int code);
    char* write_aperture_size(char* p, Length size) const;
    std::string fine(int64_t twice_units) const;
    void interpolation(char mode);
    bool true_arc(Coord x0, Coord y0, Coord radius, Angle start, Angle sweep, Angle rotation);
    int64_t to_file(int64_t v) const {
        return style_.metric ? gerber_nanometres(v) : gerber_units(v);
    }
    int64_t gx(Coord x) const {
        return to_file(static_cast<int64_t>(x) - origin_x_);
    }
    int64_t gy(Coord y) const {
        return to_file(static_cast<int64_t>(y) - origin_y_);
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
    int64_t last_x_ = 0; // in 1/10000 inch (metric: nanometres) after the origin
    int64_t last_y_ = 0;

    GerberStyle style_;
    AperFunction function_;
    // X2: the apertures this file has defined, the function of the last "%TA" and the current key.
    std::map<X2Key, int> x2_codes_;
    int next_code_ = kFirstCode;
    int ta_function_ = -1;
    X2Key current_key_{};
    ObjectAttributes object_;
    char interpolation_ = '1'; // the G code of D01: '1' straight, '3' counter-clockwise arc
    bool g75_ = false;
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
    int second = 0;
    int utc_offset = 0; // minutes east of UTC
};
// "MM/DD/YY" and "hh:mm am".
std::string plot_date(const DateTime& t);
std::string plot_time(const DateTime& t);
// "2024-03-07T14:05:00+01:00".
std::string iso_date_time(const DateTime& t);

} // namespace trazel::cam
