#pragma once
// The drawing Place functions without the shell: the pad rules of the pad dialogs, where a pad or via may
// stand, the polyline with its take-back and automatic vias, the vertex split, the copies that hang on
// the cursor, the three-point arc, the polygon of a filled solid, and the outlines those last two show
// while they are being drawn.  Everything works on a Document, the grab list and a Display, so the
// batch tool and the tests can drive it; place_group.cpp adds the dialogs, prompts and clicks.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "display/display.h"
#include "edit/editor.h"
#include "model/model.h"

namespace trazel::edit {

using model::Angle;
using model::Coord;
using model::Point;
using model::Ref;

// --- Presets and floors of the place settings -----------------------------------------------------

constexpr Coord kPresetWidth = 655;   // 0.01 inch
constexpr Coord kPresetRadius = 6554; // 0.1 inch
// A width the line or arc dialog leaves below this becomes kPresetWidth.
constexpr Coord kWidthFloor = 6;
// A line width a click finds below this becomes kPresetWidth.
constexpr Coord kClickWidthFloor = 4;
constexpr Coord kRadiusFloor = 6;

Coord width_after_dialog(Coord w);
Coord width_at_click(Coord w);
Coord radius_after_dialog(Coord r);

// --- The pad rules ("PlacePadBox" and "EditPadBox" check them on OK, in this order) ----------------

enum class PadFault {
    None,
    SurfaceOnPadMaster, // a surface-mount type on layer 0
    SurfaceWithHole,    // a surface-mount type with a hole
    ThroughWithoutHole, // T1, T2 or T3 without a hole (T0 needs none)
    NullSize,           // width or height 0
};

struct PadMaking {
    int type = 0; // 0-3 through-hole T0-T3, 4-7 surface mount S0-S3
    int layer = 0;
    Coord width = 0, height = 0, hole = 0;
    Angle angle = 0;
};

PadFault check_pad(const PadMaking& p);

// The message box a fault shows, word for word.
struct FaultBox {
    const char* title;
    const char* text;
};
FaultBox pad_fault_box(PadFault f);

constexpr bool is_surface_type(int type) {
    return (type & 4) != 0;
}

// --- Where a pad or via may go ----------------------------------------------------------------------

// Whether a Pad already stands at `p` for a new pad on `layer`: without a hole, a through-hole Pad or a
// surface-mount Pad of that layer; with a hole, any Pad on a displayed layer.  `index` is used when it
// covers the Document.
bool pad_point_taken(const model::Document& doc, int layer, bool hole, Point p, Coord tolerance,
                     const SpatialIndex* index = nullptr);

// The Signal of what a new track starting at `p` on `layer` connects to: a Pad there, else a track end
// there on that layer, else one on any layer; "" when none carries one.
std::string signal_at(const model::Document& doc, int layer, Point p, Coord tolerance,
                      const SpatialIndex* index = nullptr);

// --- Items made directly (appended to the Document's ring, kept in the grab's index; not recorded) ---

struct ViaStyle {
    int layer = 0;
    Coord size = 0, hole = 0;
};
// A via: pad type 3 with a hole, 7 (a schematic dot) without.
Ref make_via(GrabList& g, model::Document& doc, const ViaStyle& via, Point at, std::string_view signal);
// A Solid (a Line of width 0) through `points` in order; kNone with fewer than three.
Ref make_solid(GrabList& g, model::Document& doc, int layer, const std::vector<Point>& points);

// --- The polyline (PL PO PW PI) ----------------------------------------------------------------------

struct TrackStyle {
    int layer = 0;
    Coord width = 0;
};

struct Polyline {
    uint16_t function = 0;     // the command drawing it
    Ref rubber = model::kNone; // the new Line hanging by its second end
    std::vector<Ref> fixed;    // the segments it fixed, oldest first, for taking them back
    std::string signal;        // the Signal its segments carry
};

// Whether the polyline's rubber segment hangs on the cursor.
bool polyline_active(const Polyline& pl, const GrabList& g);
// Its fixed start (the ortho anchor) and where its moving end is shown.
Point polyline_anchor(const Polyline& pl, const GrabList& g);
Point polyline_end(const Polyline& pl, const GrabList& g);

// The first click: a new Line from `at` to `at` hangs by its second end, carrying `signal`.
int start_polyline(Polyline& pl, GrabList& g, display::Display& d, model::Document& doc, uint16_t function,
                   const TrackStyle& style, Point at, std::string_view signal);
// The moving end follows the cursor under the ortho constraint; mode 3 turns from the direction the
// rubber segment has now.
void follow_polyline(Polyline& pl, GrabList& g, display::Display& d, Point cursor, int angle_mode);

enum class PolylineStep {
    Nothing,  // a click on the start with nothing to take back
    Fixed,    // the rubber segment became a Line; the next one starts at its end
    TookBack, // the last segment went; the rubber starts where it started
};
// A click: a rubber segment at least 4 units long in x or y becomes a Line (an undo group of its own,
// with an automatic via at its start when one is wanted) and the next rubber segment, in `next` style,
// starts at its end; a shorter one takes back the last segment if it ends at the start and has the
// rubber's layer and width.  `*back_to` receives the point the rubber starts from after a take-back.
PolylineStep polyline_click(Polyline& pl, GrabList& g, display::Display& d, Point cursor, int angle_mode,
                            const TrackStyle& next, const ViaStyle& via, Point* back_to = nullptr);

// A via while the polyline is drawn: the rubber segment is fixed (when at least 4 units long), a
// segment joins its end to `cursor` when the ortho constraint left them apart, the via goes at
// `cursor`, all in one undo group; the polyline goes on from the via in `next` style.
int polyline_via(Polyline& pl, GrabList& g, display::Display& d, Point cursor, int angle_mode, const ViaStyle& via,
                 const TrackStyle& next);

// The automatic via at the start of a new track: on a copper layer, where no Pad lies and exactly one
// other track ends (within 3 units), that one on another copper layer.  The via (layer 0, type T3, the
// via size and hole, the track's Signal) is recorded as `number` of the track's undo group.
bool wants_auto_via(const model::Document& doc, Ref track, const SpatialIndex* index = nullptr);
Ref auto_via(GrabList& g, model::Document& doc, Ref track, const ViaStyle& via, int number);

// --- Vertex (PE) -------------------------------------------------------------------------------------

struct VertexSplit {
    Ref old = model::kNone;         // the track being replaced (goes when the pair is dropped)
    Ref to_vertex = model::kNone;   // from its first end to the vertex
    Ref from_vertex = model::kNone; // from the vertex to its second end
};
// Replaces `track` by two new Lines meeting at `at` with its layer, width and Signal, both hanging on
// the cursor by the shared point (the one whose far end is nearer first).  0 when nothing was made.
int split_track(GrabList& g, display::Display& d, model::Document& doc, Ref track, Point at, uint16_t function,
                VertexSplit& out);
// A click fixes the vertex (the two new Lines created, the old one deleted, one undo group) and splits
// the Line on the far side of it, toward the track's second end, again at the vertex.
int fix_vertex(GrabList& g, display::Display& d, VertexSplit& split, uint16_t function);

// --- Copies hanging on the cursor (PA PP) ---------------------------------------------------------

struct ArcMaking {
    int layer = 0;
    Coord width = 0, radius = 0;
    Angle start = 0, sweep = 0;
    uint16_t ellipse = 0;
    Angle ellipse_angle = 0;
};
// A new Pad (with the pin text) or Arc at `at`, hanging on the cursor by its origin.
Ref hang_pad(GrabList& g, display::Display& d, model::Document& doc, const PadMaking& pad, std::string_view pin, Point at,
             uint16_t function);
Ref hang_arc(GrabList& g, display::Display& d, model::Document& doc, const ArcMaking& arc, Point at, uint16_t function);
// Drops the one Item that hangs (an undo group of its own) and returns it.
Ref place_hanging(GrabList& g, display::Display& d);

// --- Text (PT PN) ------------------------------------------------------------------------------------

struct TextStyle {
    int layer = 0;
    Coord height = 0;
    Angle angle = 0;
    int anchor = 0, font = 0;
    bool mirrored = false; // as the dialog shows it (relative to the layer's side)
};
// A new Text at `at` without characters yet.
Ref make_text(GrabList& g, model::Document& doc, const TextStyle& style, Point at);
// The same hanging on the cursor by its origin, for typing into.
Ref hang_text(GrabList& g, display::Display& d, model::Document& doc, const TextStyle& style, Point at,
              uint16_t function);
// The hanging Text takes the typed characters and its working copy shows them.
void retype_hanging(GrabList& g, display::Display& d, Ref text, std::string_view typed);

// An Item made directly becomes an undo group of its own; the Document is marked modified and the Item
// drawn.
void record_new(GrabList& g, display::Display& d, model::Document& doc, Ref item);

// --- Outlines shown while a polygon or a three-point arc is drawn ----------------------------------

// Lines and Arcs in Nodes of their own (in no ring), shown in XOR outline like what hangs on the
// cursor, so nothing of them is in the Document until the function makes its Item.
struct Sketch {
    std::vector<Ref> nodes;
    bool shown = false;
    Sketch() = default;
    Sketch(const Sketch&) = delete;
    Sketch& operator=(const Sketch&) = delete;
    ~Sketch();
};
void show_sketch(Sketch& s, display::Display& d, const model::Document& doc);
void hide_sketch(Sketch& s, display::Display& d, const model::Document& doc);
// Hides and frees every Node.
void clear_sketch(Sketch& s, display::Display& d, const model::Document* doc);
// Into one clip rectangle of a full redraw (the held-Items hook).
void draw_sketch(const Sketch& s, display::Display& d, display::Raster& r, const model::Document* doc);

// --- Three-point arc (PY) ----------------------------------------------------------------------------

struct ArcDraw {
    int step = 0; // 0 waits for the centre, 1 for the radius and start, 2 for the end
    Point centre{};
    Coord radius = 0;
    Angle start = 0;
    Sketch outline; // the rubber arc
};
// The radius from the centre to `p`, clamped to the coordinate range.
Coord radius_to(Point centre, Point p);
// The rubber arc follows the cursor: its radius while the radius is open, then its end.
void follow_arc(ArcDraw& a, display::Display& d, const model::Document& doc, Point cursor);
enum class ArcStep {
    Refused, // a radius of 3 units or less
    Centre,  // the centre is fixed
    Radius,  // radius and start are fixed
    Made,    // the Arc is in the Document
};
// A click; `style` gives the layer and width of the Arc the third click makes (recorded, its own group).
ArcStep arc_click(ArcDraw& a, GrabList& g, display::Display& d, model::Document& doc, Point p, const TrackStyle& style,
                  Ref* made = nullptr);
void cancel_arc(ArcDraw& a, display::Display& d, const model::Document* doc);

// --- Polygon (PF) ------------------------------------------------------------------------------------

struct PolygonDraw {
    std::vector<Point> points;
    Point cursor{};
    Sketch outline; // the edges so far and the rubber edge to the cursor
};
// Appends a vertex, or removes the last one when `p` is within 3 units of it in both axes.  Returns the
// number of vertices afterwards.
size_t polygon_click(PolygonDraw& pg, display::Display& d, const model::Document& doc, Point p);
void follow_polygon(PolygonDraw& pg, display::Display& d, const model::Document& doc, Point cursor);
// The finish event: a Solid on `layer` through the vertices (one undo record) when there are three or
// more, else nothing.  The outline goes either way.
Ref finish_polygon(PolygonDraw& pg, GrabList& g, display::Display& d, model::Document& doc, int layer);
void cancel_polygon(PolygonDraw& pg, display::Display& d, const model::Document* doc);
// The status message that asks for the next vertex of a polygon with `points` so far.
int polygon_prompt(size_t points);

// --- Document rules ---------------------------------------------------------------------------------

// A plain text listing (a log shown as a Document) takes no new Items.
bool read_only(const model::Document& doc);
// On a bottom-side layer a Text the dialog calls mirrored is stored unmirrored and the other way round.
bool stored_mirror(const model::Setup& s, int layer, bool mirrored_in_dialog);

} // namespace trazel::edit
